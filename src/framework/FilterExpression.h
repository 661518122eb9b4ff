#pragma once
// The compiled filter-expression buffer that a dataset's filter text becomes and that a
// cursor's filter evaluates. Everything is packed and little-endian:
//
//   header | node area | literal area
//
// The header gives the buffer's total size and where the two areas start. Nodes are
// addressed by their byte offset inside the node area (the root is at offset 0), literals
// (field names, NUL-terminated; constant values as raw bytes) by their byte offset inside
// the literal area. Every node starts with its class and operator; the rest depends on
// the class.

#include <cstddef>
#include <cstdint>

namespace vader::filterexpr {

#pragma pack(push, 1)

struct Header {
  std::uint16_t iVer;
  std::uint16_t iTotalSize;     // size of the whole buffer
  std::uint16_t iNodes;
  std::uint16_t iNodeStart;     // offset of the node area
  std::uint16_t iLiteralStart;  // offset of the literal area
};

struct NodeHeader {
  std::uint32_t nodeClass;
  std::uint32_t canOp;
};

struct UnaryNode {
  NodeHeader node;
  std::uint16_t iOperand1;
};

struct BinaryNode {
  NodeHeader node;
  std::uint16_t iOperand1;
  std::uint16_t iOperand2;
};

struct CompareNode {
  NodeHeader node;
  std::uint16_t bCaseInsensitive;  // 16-bit boolean
  std::uint16_t iPartialLen;       // 0: compare whole values
  std::uint16_t iOperand1;
  std::uint16_t iOperand2;
};

struct FieldNode {
  NodeHeader node;
  std::uint16_t iFieldNum;
  std::uint16_t iNameOffset;  // literal: the field name, NUL-terminated
};

struct ConstantNode {
  NodeHeader node;
  std::uint16_t iType;  // engine field type of the value
  std::uint16_t iSize;
  std::uint16_t iOffset;  // literal: the value's bytes
};

struct ContinueNode {
  NodeHeader node;
  std::uint16_t iContOperand;
};

#pragma pack(pop)

static_assert(sizeof(Header) == 10);
static_assert(offsetof(Header, iLiteralStart) == 8);
static_assert(sizeof(NodeHeader) == 8);
static_assert(sizeof(UnaryNode) == 10);
static_assert(sizeof(BinaryNode) == 12);
static_assert(sizeof(CompareNode) == 16);
static_assert(offsetof(CompareNode, iOperand1) == 12);
static_assert(sizeof(FieldNode) == 12);
static_assert(sizeof(ConstantNode) == 14);
static_assert(sizeof(ContinueNode) == 10);

// Node classes.
constexpr std::uint32_t nodeUNARY = 1;
constexpr std::uint32_t nodeBINARY = 2;
constexpr std::uint32_t nodeCOMPARE = 3;
constexpr std::uint32_t nodeFIELD = 4;
constexpr std::uint32_t nodeCONST = 5;
constexpr std::uint32_t nodeCONTINUE = 7;

// Operators.
constexpr std::uint32_t canISBLANK = 1;
constexpr std::uint32_t canNOTBLANK = 2;
constexpr std::uint32_t canEQ = 3;
constexpr std::uint32_t canNE = 4;
constexpr std::uint32_t canGT = 5;
constexpr std::uint32_t canLT = 6;
constexpr std::uint32_t canGE = 7;
constexpr std::uint32_t canLE = 8;
constexpr std::uint32_t canNOT = 9;
constexpr std::uint32_t canAND = 10;
constexpr std::uint32_t canOR = 11;
// The left value, as text, holds the right one (a compare node: case as its flag says).
constexpr std::uint32_t canCONTAINS = 32;

// Node and literal addresses: an area start plus an offset beyond this is out of range.
constexpr std::size_t kMaxAddress = 65534;

}  // namespace vader::filterexpr
