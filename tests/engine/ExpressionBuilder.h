#pragma once
// Test helper: assembles filter-expression buffers node by node. The root is moved to offset 0
// of the node area when the buffer is built.

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "engine/BseTable.h"
#include "framework/FilterExpression.h"

namespace vader::test {

class ExpressionBuilder {
 public:
  // Room for the largest node at offset 0, filled by Build.
  ExpressionBuilder() : nodes_(sizeof(filterexpr::CompareNode)) {}

  uint16_t Field(const std::string& name) {
    filterexpr::FieldNode node{
        {filterexpr::nodeFIELD, 0}, 0, Literal(name.c_str(), name.size() + 1)};
    return Add(node);
  }
  uint16_t Constant(uint16_t type, const void* data, uint16_t size) {
    filterexpr::ConstantNode node{{filterexpr::nodeCONST, 0}, type, size, Literal(data, size)};
    return Add(node);
  }
  uint16_t Text(const std::string& text) {
    return Constant(fldZSTRING, text.c_str(), static_cast<uint16_t>(text.size() + 1));
  }
  uint16_t Int32(int32_t value) { return Constant(fldINT32, &value, sizeof value); }
  uint16_t Int16(int16_t value) { return Constant(fldINT16, &value, sizeof value); }
  uint16_t Unary(uint32_t op, uint16_t operand) {
    return Add(filterexpr::UnaryNode{{filterexpr::nodeUNARY, op}, operand});
  }
  uint16_t Binary(uint32_t op, uint16_t left, uint16_t right) {
    return Add(filterexpr::BinaryNode{{filterexpr::nodeBINARY, op}, left, right});
  }
  uint16_t Compare(uint32_t op, uint16_t left, uint16_t right, bool caseInsensitive,
                   uint16_t partialLength) {
    return Add(filterexpr::CompareNode{
        {filterexpr::nodeCOMPARE, op}, Bool16(caseInsensitive), partialLength, left, right});
  }
  uint16_t Continue(uint16_t value) {
    return Add(filterexpr::ContinueNode{{filterexpr::nodeCONTINUE, 0}, value});
  }
  // field <op> text constant
  uint16_t FieldIs(uint32_t op, const std::string& field, const std::string& text) {
    return Binary(op, Field(field), Text(text));
  }

  std::vector<uint8_t> Build(uint16_t root) {
    const size_t rootSize = NodeSize(root);
    std::memcpy(nodes_.data(), nodes_.data() + root, rootSize);
    filterexpr::Header header{};
    header.iVer = 1;
    header.iNodes = count_;
    header.iNodeStart = sizeof header;
    header.iLiteralStart = static_cast<uint16_t>(sizeof header + nodes_.size());
    header.iTotalSize = static_cast<uint16_t>(header.iLiteralStart + literals_.size());
    std::vector<uint8_t> buffer(header.iTotalSize);
    std::memcpy(buffer.data(), &header, sizeof header);
    std::memcpy(buffer.data() + header.iNodeStart, nodes_.data(), nodes_.size());
    if (!literals_.empty())
      std::memcpy(buffer.data() + header.iLiteralStart, literals_.data(), literals_.size());
    return buffer;
  }

 private:
  template <class Node>
  uint16_t Add(const Node& node) {
    const auto offset = static_cast<uint16_t>(nodes_.size());
    nodes_.resize(nodes_.size() + sizeof node);
    std::memcpy(nodes_.data() + offset, &node, sizeof node);
    ++count_;
    return offset;
  }
  uint16_t Literal(const void* data, size_t size) {
    const auto offset = static_cast<uint16_t>(literals_.size());
    const auto* bytes = static_cast<const uint8_t*>(data);
    literals_.insert(literals_.end(), bytes, bytes + size);
    return offset;
  }
  size_t NodeSize(uint16_t offset) const {
    uint32_t nodeClass = 0;
    std::memcpy(&nodeClass, nodes_.data() + offset, sizeof nodeClass);
    switch (nodeClass) {
      case filterexpr::nodeUNARY:
        return sizeof(filterexpr::UnaryNode);
      case filterexpr::nodeBINARY:
        return sizeof(filterexpr::BinaryNode);
      case filterexpr::nodeCOMPARE:
        return sizeof(filterexpr::CompareNode);
      case filterexpr::nodeFIELD:
        return sizeof(filterexpr::FieldNode);
      case filterexpr::nodeCONST:
        return sizeof(filterexpr::ConstantNode);
      default:
        return sizeof(filterexpr::ContinueNode);
    }
  }

  std::vector<uint8_t> nodes_;
  std::vector<uint8_t> literals_;
  uint16_t count_ = 0;
};

}  // namespace vader::test
