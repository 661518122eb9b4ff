#include "engine/BseFilt.h"

#include <algorithm>
#include <cctype>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <vector>

#include "engine/BseErrs.h"
#include "engine/BseTable.h"
#include "engine/BseUtils.h"
#include "framework/FilterExpression.h"
#include "platform/Bytes.h"

namespace vader {
namespace fe = filterexpr;

namespace {

constexpr size_t kMaxTextLength = 255;
// Deepest nesting evaluated; a deeper (or cyclic) expression is malformed.
constexpr int kMaxDepth = 512;

// A node or literal outside the expression buffer, or nesting beyond kMaxDepth.
class EExpressionRange : public std::runtime_error {
 public:
  EExpressionRange() : std::runtime_error("filter expression out of range") {}
};

using platform::Load;

std::optional<long double> NumberOf(const FilterValue& value);

class TExpressionEvaluator {
 public:
  TExpressionEvaluator(TBaseTable& table, const uint8_t* expression, size_t size, uint8_t* record)
      : table_(table), expr_(expression), size_(size), record_(record) {
    if (expression == nullptr || size < sizeof(fe::Header)) throw EExpressionRange();
    header_ = Load<fe::Header>(expression);
  }

  bool EvaluateRoot() {
    FilterValue value;
    return Evaluate(0, value, 0);
  }

  // Walks the "and" nodes from the root; only their comparison terms bound every accepted record.
  void NarrowInterval(uint16_t offset, uint16_t field, FilterFieldInterval& interval, int depth) {
    if (depth > kMaxDepth) throw EExpressionRange();
    const auto node = ReadNode<fe::NodeHeader>(offset);
    if (node.nodeClass == fe::nodeBINARY && node.canOp == fe::canAND) {
      const auto binary = ReadNode<fe::BinaryNode>(offset);
      NarrowInterval(binary.iOperand1, field, interval, depth + 1);
      NarrowInterval(binary.iOperand2, field, interval, depth + 1);
      return;
    }
    if (node.nodeClass == fe::nodeCOMPARE) {
      const auto compare = ReadNode<fe::CompareNode>(offset);
      if (compare.iPartialLen == 0)
        NarrowByTerm(node.canOp, compare.iOperand1, compare.iOperand2, field, interval);
    } else if (node.nodeClass == fe::nodeBINARY) {
      const auto binary = ReadNode<fe::BinaryNode>(offset);
      NarrowByTerm(node.canOp, binary.iOperand1, binary.iOperand2, field, interval);
    }
  }

 private:
  // Offset of `length` bytes at `offset` inside the area starting at `start`, checked against
  // both the buffer's size and the largest address a 16-bit offset may name.
  size_t Address(uint16_t start, uint32_t offset, size_t length) const {
    const size_t address = size_t{start} + offset;
    if (address > fe::kMaxAddress || address > size_ || length > size_ - address)
      throw EExpressionRange();
    return address;
  }

  template <class Node>
  Node ReadNode(uint16_t offset) const {
    return Load<Node>(expr_ + Address(header_.iNodeStart, offset, sizeof(Node)));
  }

  // The NUL-terminated literal at `offset`; it must end inside the buffer.
  std::string_view LiteralText(uint16_t offset) const {
    const size_t address = Address(header_.iLiteralStart, offset, 0);
    const auto* begin = reinterpret_cast<const char*>(expr_ + address);
    const void* nul = std::memchr(begin, 0, size_ - address);
    if (nul == nullptr) throw EExpressionRange();
    return {begin, static_cast<size_t>(static_cast<const char*>(nul) - begin)};
  }

  bool Evaluate(uint16_t offset, FilterValue& value, int depth) {
    std::memset(&value, 0, sizeof value);
    if (depth > kMaxDepth) throw EExpressionRange();
    const auto node = ReadNode<fe::NodeHeader>(offset);
    switch (node.nodeClass) {
      case fe::nodeUNARY:
        return SetTruth(value, Unary(ReadNode<fe::UnaryNode>(offset), depth));
      case fe::nodeBINARY:
        return SetTruth(value, Binary(ReadNode<fe::BinaryNode>(offset), depth));
      case fe::nodeCOMPARE:
        return SetTruth(value, Compare(ReadNode<fe::CompareNode>(offset), depth));
      case fe::nodeFIELD:
        return Field(ReadNode<fe::FieldNode>(offset), value);
      case fe::nodeCONST:
        return Constant(ReadNode<fe::ConstantNode>(offset), value);
      case fe::nodeCONTINUE:
        return ReadNode<fe::ContinueNode>(offset).iContOperand != 0;
      default:
        return false;
    }
  }

  static bool SetTruth(FilterValue& value, bool result) {
    value.Data[0] = result ? 1 : 0;
    return result;
  }

  // "Not" looks only at the operand's truth byte, as "and" and "or" do: a comparison that is
  // false has a false result flag too, which would otherwise make every negation false.
  bool Unary(const fe::UnaryNode& node, int depth) {
    FilterValue operand;
    const bool evaluated = Evaluate(node.iOperand1, operand, depth + 1);
    const uint32_t op = node.node.canOp;
    if (op == fe::canNOT) return operand.Data[0] == 0;
    if (!evaluated) return false;
    const size_t length = std::min<size_t>(operand.DataLength, kFilterValueSize);
    const bool blank = IsZeroMem(operand.Data, length);
    if (op == fe::canISBLANK) return blank;
    if (op == fe::canNOTBLANK) return !blank;
    return false;
  }

  // And/or look only at the operands' truth bytes and skip the right operand when the left one
  // decides.
  bool Binary(const fe::BinaryNode& node, int depth) {
    const uint32_t op = node.node.canOp;
    if (op != fe::canAND && op != fe::canOR)
      return Relation(op, node.iOperand1, node.iOperand2, false, 0, depth);
    FilterValue side;
    Evaluate(node.iOperand1, side, depth + 1);
    const bool left = side.Data[0] != 0;
    if (op == fe::canAND && !left) return false;
    if (op == fe::canOR && left) return true;
    Evaluate(node.iOperand2, side, depth + 1);
    return side.Data[0] != 0;
  }

  bool Compare(const fe::CompareNode& node, int depth) {
    return Relation(node.node.canOp, node.iOperand1, node.iOperand2, node.bCaseInsensitive != 0,
                    node.iPartialLen, depth);
  }

  bool Relation(uint32_t op, uint16_t operand1, uint16_t operand2, bool caseInsensitive,
                uint16_t length, int depth) {
    FilterValue left;
    FilterValue right;
    if (!Evaluate(operand1, left, depth + 1)) return false;
    if (!Evaluate(operand2, right, depth + 1)) return false;
    if (op == fe::canCONTAINS) return FilterValueContains(left, right, caseInsensitive);
    const int r = CompareFilterValues(table_, left, right, caseInsensitive, length);
    switch (op) {
      case fe::canEQ:
        return r == 0;
      case fe::canNE:
        return r != 0;
      case fe::canGT:
        return r > 0;
      case fe::canLT:
        return r < 0;
      case fe::canGE:
        return r >= 0;
      case fe::canLE:
        return r <= 0;
      default:
        return false;
    }
  }

  bool Field(const fe::FieldNode& node, FilterValue& value) {
    const std::string_view name = LiteralText(node.iNameOffset);
    if (name.empty()) return false;
    const uint16_t number = table_.FieldCache().FieldNumberByName(name);
    if (number == 0) {
      NameAsText(name, value);
      return true;
    }
    try {
      ReadField(table_.FieldCache().GetItem(number), value);
      return true;
    } catch (const EVaderEngineError&) {
      std::memset(&value, 0, sizeof value);
      return false;
    }
  }

  // An unknown name stands for itself: a length byte and the characters, quotes removed.
  static void NameAsText(std::string_view name, FilterValue& value) {
    const std::string text = RemoveChar(name, '"').substr(0, kMaxTextLength);
    value.DataType = kFilterNameType;
    value.DataLength = static_cast<uint16_t>(text.size());
    value.Data[0] = static_cast<uint8_t>(text.size());
    std::memcpy(value.Data + 1, text.data(), text.size());
  }

  // The field's local value may be longer than a working value; it is read whole into scratch
  // space and cut to the working value's size.
  void ReadField(TFieldCacheItem& item, FilterValue& value) {
    const FieldDesc& d = item.Desc();
    const size_t needed =
        std::max({size_t{d.FieldLength}, size_t{d.LocalSize},
                  static_cast<size_t>(std::max<int16_t>(d.FieldUnits1, 0)), kFilterValueSize});
    std::vector<uint8_t> scratch(needed + 1);
    bool blank = false;
    table_.GetFieldValue(item, record_, scratch.data(), blank);
    std::memcpy(value.Data, scratch.data(), kFilterValueSize);
    value.DataType = d.FieldType;
    value.DataLength = LocalValueLength(d);
  }

  // Numbers of every stored width (4-byte floats, packed decimals of any size, money) are
  // read as a double, so they compare over its 8 bytes, not over their stored width.
  static uint16_t LocalValueLength(const FieldDesc& d) {
    if (d.FieldType == fldFLOAT) return sizeof(double);
    if (d.FieldType == fldINT16 || d.FieldType == fldUINT16) return sizeof(int16_t);
    return static_cast<uint16_t>(std::min<size_t>(d.FieldLength, kFilterValueSize));
  }

  bool Constant(const fe::ConstantNode& node, FilterValue& value) const {
    const size_t address = Address(header_.iLiteralStart, node.iOffset, node.iSize);
    const size_t length = std::min<size_t>(node.iSize, kFilterValueSize);
    std::memcpy(value.Data, expr_ + address, length);
    value.DataType = node.iType;
    value.DataLength = static_cast<uint16_t>(length);
    return true;
  }

  // `op` compares operand1 with operand2; with the constant on the left it is mirrored.
  void NarrowByTerm(uint32_t op, uint16_t operand1, uint16_t operand2, uint16_t field,
                    FilterFieldInterval& interval) {
    std::optional<long double> value = ConstantNumber(operand2);
    if (!(IsField(operand1, field) && value)) {
      value = ConstantNumber(operand1);
      if (!(IsField(operand2, field) && value)) return;
      op = Mirrored(op);
    }
    const bool low = op == fe::canEQ || op == fe::canGT || op == fe::canGE;
    const bool high = op == fe::canEQ || op == fe::canLT || op == fe::canLE;
    const bool inclusive = op == fe::canEQ || op == fe::canGE || op == fe::canLE;
    if (low &&
        (!interval.Low || *value > *interval.Low || (*value == *interval.Low && !inclusive))) {
      interval.Low = value;
      interval.LowInclusive = inclusive;
    }
    if (high &&
        (!interval.High || *value < *interval.High || (*value == *interval.High && !inclusive))) {
      interval.High = value;
      interval.HighInclusive = inclusive;
    }
  }

  static uint32_t Mirrored(uint32_t op) {
    switch (op) {
      case fe::canGT:
        return fe::canLT;
      case fe::canLT:
        return fe::canGT;
      case fe::canGE:
        return fe::canLE;
      case fe::canLE:
        return fe::canGE;
      default:
        return op;
    }
  }

  bool IsField(uint16_t offset, uint16_t field) const {
    const auto node = ReadNode<fe::NodeHeader>(offset);
    if (node.nodeClass != fe::nodeFIELD) return false;
    const std::string_view name = LiteralText(ReadNode<fe::FieldNode>(offset).iNameOffset);
    return !name.empty() && table_.FieldCache().FieldNumberByName(name) == field;
  }

  std::optional<long double> ConstantNumber(uint16_t offset) const {
    if (ReadNode<fe::NodeHeader>(offset).nodeClass != fe::nodeCONST) return std::nullopt;
    FilterValue value;
    std::memset(&value, 0, sizeof value);
    Constant(ReadNode<fe::ConstantNode>(offset), value);
    return NumberOf(value);
  }

  TBaseTable& table_;
  const uint8_t* expr_;
  size_t size_;
  uint8_t* record_;
  fe::Header header_{};
};

// The number a value of an integer or floating type holds; nullopt for other types. A long
// double holds every 64-bit integer exactly.
std::optional<long double> NumberOf(const FilterValue& value) {
  switch (value.DataType) {
    case fldINT16:
      return Load<int16_t>(value.Data);
    case fldUINT16:
      return Load<uint16_t>(value.Data);
    case fldINT32:
      return Load<int32_t>(value.Data);
    case fldUINT32:
      return Load<uint32_t>(value.Data);
    case fldINT64:
      return Load<int64_t>(value.Data);
    case fldUINT64:
      return Load<uint64_t>(value.Data);
    case fldFLOAT:
      return Load<double>(value.Data);
    default:
      return std::nullopt;
  }
}

std::string Formatted(const char* format, auto value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// Day 1 is 1 January of year 1 in the proleptic Gregorian calendar.
std::string DateText(int32_t dayNumber) {
  // Day 1 lies 719,162 days before 1 January 1970, which lies 719,468 days after 1 March 0000.
  const int64_t z = int64_t{dayNumber} - 1 - 719162 + 719468;  // days since 0000-03-01
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t day = doy - (153 * mp + 2) / 5 + 1;
  const int64_t month = mp < 10 ? mp + 3 : mp - 9;
  const int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
  char text[48];
  std::snprintf(text, sizeof text, "%04" PRId64 "-%02" PRId64 "-%02" PRId64, year, month, day);
  return text;
}

std::string TimeText(int32_t milliseconds) {
  const int64_t ms = milliseconds;
  char text[48];
  std::snprintf(text, sizeof text, "%02" PRId64 ":%02" PRId64 ":%02" PRId64 ".%03" PRId64,
                ms / 3600000, ms / 60000 % 60, ms / 1000 % 60, ms % 1000);
  return text;
}

}  // namespace

// ---- TFilterListItem ----

TFilterListItem::TFilterListItem(TBaseTable* table, uintptr_t clientData, uint16_t priority,
                                 bool canAbort, const void* expression, TFilterProc filterProc)
    : TBapiListItem(table, table ? &table->Filters() : nullptr),
      table_(table),
      clientData_(clientData),
      priority_(priority),
      canAbort_(canAbort),
      filterProc_(filterProc) {
  if (expression == nullptr) return;
  expressionSize_ =
      Load<uint16_t>(static_cast<const uint8_t*>(expression) + offsetof(fe::Header, iTotalSize));
  expression_ = std::make_unique<uint8_t[]>(expressionSize_ ? expressionSize_ : 1);
  std::memcpy(expression_.get(), expression, expressionSize_);
}

bool TFilterListItem::TestRecord(uint8_t* record) {
  if (!active_) return false;
  currentRecord_ = record;
  if (filterProc_ != nullptr && filterProc_(clientData_, record, 0) == 0) return false;
  if (!expression_) return true;
  try {
    return EvaluateFilterExpression(*CheckHandle(table_), expression_.get(), expressionSize_,
                                    record);
  } catch (...) {
    return false;
  }
}

void TFilterListItem::FillFilterInfo(uint16_t position, FilterInfo& info) const {
  info = FilterInfo{};
  info.FilterId = position;
  info.Filter = const_cast<TFilterListItem*>(this);
  info.ClientData = clientData_;
  info.Priority = priority_;
  info.CanAbort = Bool16(canAbort_);
  info.FilterProc = filterProc_;
  info.Expression = expression_.get();
  info.Active = Bool16(active_);
}

// ---- evaluation ----

bool EvaluateFilterExpression(TBaseTable& table, const uint8_t* expression, size_t size,
                              uint8_t* record) {
  return TExpressionEvaluator(table, expression, size, record).EvaluateRoot();
}

void NarrowByFilterExpression(TBaseTable& table, const uint8_t* expression, size_t size,
                              uint16_t field, FilterFieldInterval& interval) {
  FilterFieldInterval narrowed = interval;
  try {
    TExpressionEvaluator(table, expression, size, nullptr).NarrowInterval(0, field, narrowed, 0);
  } catch (const EExpressionRange&) {
    return;
  }
  interval = narrowed;
}

int CompareFilterValues(TBaseTable& table, const FilterValue& left, const FilterValue& right,
                        bool caseInsensitive, uint16_t length) {
  const uint32_t count = std::min<uint32_t>(length ? length : left.DataLength, kFilterValueSize);
  if (left.DataType == right.DataType) {
    const int r =
        table.CompareValues(left.DataType, nullptr, count, caseInsensitive, left.Data, right.Data);
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
  }
  // Numbers of different types (an unsigned field and a constant of the signed type its
  // field class has, say) compare by value.
  const auto x = NumberOf(left), y = NumberOf(right);
  if (x && y) return *x < *y ? -1 : (*x > *y ? 1 : 0);
  const int r = FilterValueText(left).compare(FilterValueText(right));
  return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

bool FilterValueContains(const FilterValue& value, const FilterValue& part, bool caseInsensitive) {
  std::string text = FilterValueText(value), wanted = FilterValueText(part);
  if (caseInsensitive)
    for (std::string* side : {&text, &wanted})
      for (char& c : *side) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text.find(wanted) != std::string::npos;
}

std::string FilterValueText(const FilterValue& value) {
  const size_t length = std::min<size_t>(value.DataLength, kMaxTextLength);
  switch (value.DataType) {
    case fldZSTRING: {
      const auto* text = reinterpret_cast<const char*>(value.Data);
      return std::string(text, strnlen(text, kMaxTextLength));
    }
    case fldBOOL:
      return IsZeroMem(value.Data, std::min<size_t>(value.DataLength, kFilterValueSize)) ? "0"
                                                                                         : "1";
    case fldINT16:
      return Formatted("%5.5d", static_cast<int>(Load<uint16_t>(value.Data)));
    case fldINT32:
      return Formatted("%10.10d", static_cast<int>(Load<int32_t>(value.Data)));
    case fldFLOAT:
      return Formatted("%f", Load<double>(value.Data));
    case fldBYTES:
      return std::string(reinterpret_cast<const char*>(value.Data), length);
    case kFilterNameType:
      return std::string(reinterpret_cast<const char*>(value.Data) + 1,
                         std::min<size_t>(value.Data[0], kMaxTextLength));
    case fldDATE:
      return DateText(Load<int32_t>(value.Data));
    case fldTIME:
      return TimeText(Load<int32_t>(value.Data));
    default:
      return {};
  }
}

}  // namespace vader
