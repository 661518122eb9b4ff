#include "framework/DBFilter.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <optional>

#include "framework/DBConsts.h"
#include "framework/FilterExpression.h"
#include "framework/FrameworkErrors.h"
#include "platform/TextCase.h"

namespace vader {
namespace {

namespace fx = filterexpr;

// Engine field types of constant values.
constexpr std::uint16_t kString = 1, kDate = 2, kBool = 4, kInt16 = 5, kInt32 = 6, kFloat = 7,
                        kBytes = 9, kTime = 10, kTimestamp = 11, kUInt16 = 12, kInt64 = 18;
constexpr std::uint16_t kExpressionVersion = 2;

enum class Tok { End, Name, QuotedName, Text, Number, Op, LParen, RParen };

struct Token {
  Tok kind = Tok::End;
  std::string text;
  std::size_t pos = 0;
};

bool IsNameStart(char c) {
  return std::isalpha(static_cast<unsigned char>(c)) || c == '_' ||
         static_cast<unsigned char>(c) >= 0x80;
}
bool IsNameChar(char c) {
  return IsNameStart(c) || std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == '$';
}

// Fills each %s of `format` with the next argument, left to right; an argument is never
// scanned again, so a typed "%s" stays as typed.
std::string FillIn(std::string format, std::initializer_list<std::string> args) {
  std::size_t from = 0;
  for (const std::string& arg : args) {
    const std::size_t at = format.find("%s", from);
    if (at == std::string::npos) break;
    format.replace(at, 2, arg);
    from = at + arg.size();
  }
  return format;
}

[[noreturn]] void SyntaxError(std::size_t pos, const std::string& problem) {
  DatabaseError(
      FormatMessage(FormatMessage(dbconsts::SExprError, std::to_string(pos + 1)), problem));
}

// A field named in a filter: by its name, else by the label the person sees (the column
// title, in the current language), both without regard to case.
const TField* FieldNamed(const TDataSet& dataSet, const std::string& name) {
  if (const TField* field = dataSet.FindField(name)) return field;
  const std::string key = platform::LocaleFoldKey(name);
  for (int i = 0; i < dataSet.FieldCount(); ++i)
    if (platform::LocaleFoldKey(dataSet.Fields(i)->DisplayLabel()) == key) return dataSet.Fields(i);
  return nullptr;
}

class Lexer {
 public:
  explicit Lexer(const std::string& text) : s_(text) {}
  // Where the next token's reading begins: the end of the token just read.
  std::size_t Position() const { return i_; }

  Token Next() {
    while (i_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[i_]))) ++i_;
    Token t;
    t.pos = i_;
    if (i_ >= s_.size()) return t;
    const char c = s_[i_];
    if (c == '\'') return Quoted(t, '\'', Tok::Text);
    if (c == '"') return Quoted(t, '"', Tok::QuotedName);
    if (c == '[') return Quoted(t, ']', Tok::QuotedName);
    if (c == '(' || c == ')') {
      ++i_;
      t.kind = c == '(' ? Tok::LParen : Tok::RParen;
      return t;
    }
    if (std::isdigit(static_cast<unsigned char>(c)) || c == '-' || c == '+' ||
        (c == '.' && i_ + 1 < s_.size() && std::isdigit(static_cast<unsigned char>(s_[i_ + 1]))))
      return NumberToken(t);
    if (IsNameStart(c)) {
      while (i_ < s_.size() && IsNameChar(s_[i_])) t.text += s_[i_++];
      t.kind = Tok::Name;
      return t;
    }
    for (const char* op : {"<>", "!=", "<=", ">=", "=", "<", ">"}) {
      if (s_.compare(i_, std::strlen(op), op) == 0) {
        i_ += std::strlen(op);
        t.kind = Tok::Op;
        t.text = std::string(op) == "!=" ? "<>" : op;
        return t;
      }
    }
    SyntaxError(i_, FormatMessage(dbconsts::SFilterUnexpectedChar, std::string(1, c)));
  }

 private:
  Token Quoted(Token& t, char close, Tok kind) {
    ++i_;
    for (;;) {
      if (i_ >= s_.size())
        SyntaxError(t.pos, kind == Tok::Text ? dbconsts::SFilterUnterminatedText
                                                : dbconsts::SFilterUnterminatedName);
      if (s_[i_] == close) {
        if (close == '\'' && i_ + 1 < s_.size() && s_[i_ + 1] == '\'') {
          t.text += '\'';
          i_ += 2;
          continue;
        }
        ++i_;
        break;
      }
      t.text += s_[i_++];
    }
    t.kind = kind;
    return t;
  }

  Token NumberToken(Token& t) {
    std::size_t j = i_;
    if (s_[j] == '-' || s_[j] == '+') ++j;
    if (j >= s_.size() || !(std::isdigit(static_cast<unsigned char>(s_[j])) || s_[j] == '.'))
      SyntaxError(i_, FormatMessage(dbconsts::SFilterUnexpectedChar, std::string(1, s_[i_])));
    while (j < s_.size() &&
           (std::isalnum(static_cast<unsigned char>(s_[j])) || s_[j] == '.' ||
            ((s_[j] == '-' || s_[j] == '+') && (s_[j - 1] == 'e' || s_[j - 1] == 'E'))))
      ++j;
    t.text = s_.substr(i_, j - i_);
    t.kind = Tok::Number;
    i_ = j;
    return t;
  }

  const std::string& s_;
  std::size_t i_ = 0;
};

// ---- syntax tree ----

struct Operand {
  enum Kind { Field, Text, Number, Bool, Null } kind = Null;
  std::string text;  // name, text or number as written
  const TField* field = nullptr;
  std::size_t pos = 0;
};

struct Node {
  enum Kind { Compare, And, Or, Not, IsNull, NotNull, Value } kind = Value;
  std::uint32_t op = 0;  // comparison operator
  Operand left, right;   // Compare: both; IsNull/NotNull/Value: left
  std::unique_ptr<Node> a, b;
};

class Parser {
 public:
  Parser(const std::string& text, const TDataSet* dataSet) : lexer_(text), dataSet_(dataSet) {
    Advance();
  }

  std::unique_ptr<Node> ParseAll() {
    if (token_.kind == Tok::End) SyntaxError(token_.pos, dbconsts::SFilterExpressionExpected);
    auto root = ParseOr();
    if (token_.kind != Tok::End) SyntaxError(token_.pos, FormatMessage(dbconsts::SFilterUnexpected, Shown()));
    return root;
  }

 private:
  void Advance() { token_ = lexer_.Next(); }
  bool IsKeyword(const char* word) const {
    return token_.kind == Tok::Name && platform::EqualsIgnoringAsciiCase(token_.text, word);
  }
  std::string Shown() const { return token_.kind == Tok::End ? dbconsts::SFilterEndOfText : token_.text; }

  // Every node takes at least 10 bytes of a buffer of at most 64 KB, so a longer text can
  // never compile; refusing it early also bounds the recursion of parsing and writing.
  void Count(std::size_t nodes) {
    nodes_ += nodes;
    if (nodes_ > kMaxNodes) DatabaseError(dbconsts::SExprTooLong);
  }

  std::unique_ptr<Node> Join(Node::Kind kind, std::unique_ptr<Node> a, std::unique_ptr<Node> b) {
    Count(1);
    auto node = std::make_unique<Node>();
    node->kind = kind;
    node->a = std::move(a);
    node->b = std::move(b);
    return node;
  }

  // Operands of Next joined by Keyword, left to right.
  std::unique_ptr<Node> ParseChain(const char* keyword, Node::Kind kind,
                                   std::unique_ptr<Node> (Parser::*next)()) {
    auto left = (this->*next)();
    while (IsKeyword(keyword)) {
      Advance();
      left = Join(kind, std::move(left), (this->*next)());
    }
    return left;
  }
  std::unique_ptr<Node> ParseOr() { return ParseChain("or", Node::Or, &Parser::ParseAnd); }
  std::unique_ptr<Node> ParseAnd() { return ParseChain("and", Node::And, &Parser::ParseNot); }

  // Brackets and NOTs nest by recursion; a bound keeps deep nesting from exhausting the stack.
  void Nest(std::size_t pos) {
    if (++depth_ > kMaxDepth) SyntaxError(pos, dbconsts::SFilterTooDeep);
  }

  std::unique_ptr<Node> ParseNot() {
    if (!IsKeyword("not")) return ParsePrimary();
    Nest(token_.pos);
    Advance();
    auto node = Join(Node::Not, ParseNot(), nullptr);
    --depth_;
    return node;
  }

  std::unique_ptr<Node> ParsePrimary() {
    if (token_.kind == Tok::LParen) {
      Nest(token_.pos);
      Advance();
      auto inner = ParseOr();
      if (token_.kind != Tok::RParen)
        SyntaxError(token_.pos, FormatMessage(dbconsts::SFilterParenExpected, Shown()));
      Advance();
      --depth_;
      return inner;
    }
    auto node = std::make_unique<Node>();
    node->left = ParseOperand();
    if (IsKeyword("is")) {
      Advance();
      node->kind = Node::IsNull;
      if (IsKeyword("not")) {
        node->kind = Node::NotNull;
        Advance();
      }
      if (!IsKeyword("null")) SyntaxError(token_.pos, FormatMessage(dbconsts::SFilterNullExpected, Shown()));
      Advance();
      return node;
    }
    if (IsKeyword("contains")) {
      node->kind = Node::Compare;
      node->op = fx::canCONTAINS;
      Advance();
      node->right = ParseOperand();
      return Contained(std::move(node));
    }
    if (token_.kind != Tok::Op) return node;  // an operand standing alone
    const std::string op = token_.text;
    const std::size_t opPos = token_.pos;
    Advance();
    node->kind = Node::Compare;
    node->op = op == "="    ? fx::canEQ
               : op == "<>" ? fx::canNE
               : op == "<"  ? fx::canLT
               : op == ">"  ? fx::canGT
               : op == "<=" ? fx::canLE
                            : fx::canGE;
    node->right = ParseOperand();
    return NullComparison(std::move(node), opPos);
  }

  // CONTAINS looks for a text in the values of a text field.
  std::unique_ptr<Node> Contained(std::unique_ptr<Node> node) const {
    const Operand& left = node->left;
    if (left.kind != Operand::Field || (left.field && FilterFieldType(left.field->DataType()) !=
                                                          FilterFieldType(TFieldType::ftString)))
      SyntaxError(left.pos, FormatMessage(dbconsts::SFilterNotComparable, left.text));
    if (node->right.kind != Operand::Text)
      SyntaxError(node->right.pos,
                  FormatMessage(dbconsts::SFilterOperandExpected, node->right.text));
    return node;
  }

  // "X = NULL" and "X <> NULL" are the blank tests; other comparisons with NULL are errors.
  std::unique_ptr<Node> NullComparison(std::unique_ptr<Node> node, std::size_t opPos) {
    const bool leftNull = node->left.kind == Operand::Null;
    if (!leftNull && node->right.kind != Operand::Null) return node;
    if (node->op != fx::canEQ && node->op != fx::canNE)
      SyntaxError(opPos, dbconsts::SFilterNullCompare);
    node->kind = node->op == fx::canEQ ? Node::IsNull : Node::NotNull;
    if (leftNull) node->left = node->right;
    return node;
  }

  Operand ParseOperand() {
    Count(2);  // the operand and, at most, its share of the comparison
    Operand o;
    o.pos = token_.pos;
    o.text = token_.text;
    switch (token_.kind) {
      case Tok::Text:
        o.kind = Operand::Text;
        break;
      case Tok::Number:
        o.kind = Operand::Number;
        break;
      case Tok::QuotedName:
        ResolveField(o);
        break;
      case Tok::Name:
        if (IsKeyword("null"))
          o.kind = Operand::Null;
        else if (IsKeyword("true") || IsKeyword("false"))
          o.kind = Operand::Bool;
        else if (IsKeyword("and") || IsKeyword("or") || IsKeyword("not") || IsKeyword("is"))
          SyntaxError(token_.pos, FormatMessage(dbconsts::SFilterOperandExpected, token_.text));
        else
          ResolveField(o);
        break;
      default:
        SyntaxError(token_.pos, FormatMessage(dbconsts::SFilterOperandExpected, Shown()));
    }
    Advance();
    return o;
  }

  void ResolveField(Operand& o) {
    o.kind = Operand::Field;
    if (!dataSet_) return;
    o.field = FieldNamed(*dataSet_, o.text);
    if (!o.field) SyntaxError(o.pos, FormatMessage(dbconsts::SFieldNotFound, o.text));
    if (IsBlobType(o.field->DataType()) && !dynamic_cast<const TMemoField*>(o.field))
      SyntaxError(o.pos, FormatMessage(dbconsts::SFilterNotComparable, o.text));
  }

  static constexpr std::size_t kMaxNodes = 0xFFFF / sizeof(filterexpr::UnaryNode);
  static constexpr std::size_t kMaxDepth = 128;
  Lexer lexer_;
  const TDataSet* dataSet_;
  Token token_;
  std::size_t nodes_ = 0;
  std::size_t depth_ = 0;
};

// ---- constants ----

struct Constant {
  std::uint16_t type = kString;
  std::vector<std::uint8_t> bytes;
};

template <typename T>
Constant Binary(std::uint16_t type, T value) {
  Constant c{type, std::vector<std::uint8_t>(sizeof value)};
  std::memcpy(c.bytes.data(), &value, sizeof value);
  return c;
}

Constant TextConstant(const std::string& text) {
  Constant c{kString, std::vector<std::uint8_t>(text.begin(), text.end())};
  c.bytes.push_back(0);
  return c;
}

bool IsTrue(const Operand& o) { return platform::EqualsIgnoringAsciiCase(o.text, "true"); }

[[noreturn]] void BadValue(const Operand& o, const std::string& fieldName) {
  SyntaxError(o.pos, FillIn(dbconsts::SFilterInvalidValue, {o.text, fieldName}));
}

std::optional<double> NumberOf(const std::string& text) {
  double value = 0;
  const char* begin = text.data() + (!text.empty() && text[0] == '+' ? 1 : 0);
  const auto [end, error] = std::from_chars(begin, text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
    return std::nullopt;
  return value;
}

Constant IntegerConstant(const Operand& o, const TField& field, std::uint16_t type) {
  const auto number =
      o.kind == Operand::Bool ? std::optional<double>(IsTrue(o) ? 1 : 0) : NumberOf(o.text);
  if (!number || *number != std::floor(*number)) BadValue(o, field.FieldName());
  const double lo = type == kInt16    ? INT16_MIN
                    : type == kUInt16 ? 0
                    : type == kInt32  ? INT32_MIN
                                      : -9.2e18;
  const double hi = type == kInt16    ? INT16_MAX
                    : type == kUInt16 ? UINT16_MAX
                    : type == kInt32  ? INT32_MAX
                                      : 9.2e18;
  if (*number < lo || *number > hi) BadValue(o, field.FieldName());
  const auto value = static_cast<std::int64_t>(*number);
  switch (type) {
    case kInt16:
      return Binary(type, static_cast<std::int16_t>(value));
    case kUInt16:
      return Binary(type, static_cast<std::uint16_t>(value));
    case kInt32:
      return Binary(type, static_cast<std::int32_t>(value));
    default:
      return Binary(type, value);
  }
}

Constant DateConstant(const Operand& o, const TField& field, std::uint16_t type) {
  const auto value = o.kind == Operand::Text ? TextToDateTime(o.text) : std::nullopt;
  if (!value) BadValue(o, field.FieldName());
  if (type == kDate) return Binary(type, DateTimeToDayNumber(*value));
  if (type == kTime) return Binary(type, DateTimeToTimeMSecs(*value));
  return Binary(type, static_cast<double>(DateTimeToDayNumber(*value)) * kMSecsPerDay +
                          DateTimeToTimeMSecs(*value));
}

// The constant in the type of the field it is compared with.
Constant ConstantFor(const Operand& o, const TField& field) {
  const std::uint16_t type = FilterFieldType(field.DataType());
  switch (type) {
    case kString:  // compared with the stored bytes, so in the field's code page
      return TextConstant(field.DataSet() ? field.DataSet()->FieldTextToNative(field, o.text)
                                          : o.text);
    case kBytes:
      return Constant{kBytes, std::vector<std::uint8_t>(o.text.begin(), o.text.end())};
    case kBool: {
      std::optional<bool> value;
      if (o.kind == Operand::Bool)
        value = IsTrue(o);
      else if (o.text == "1" || platform::EqualsIgnoringAsciiCase(o.text, "true"))
        value = true;
      else if (o.text == "0" || platform::EqualsIgnoringAsciiCase(o.text, "false"))
        value = false;
      if (!value) BadValue(o, field.FieldName());
      return Binary(kBool, static_cast<std::int16_t>(*value ? -1 : 0));
    }
    case kFloat: {
      const auto number = NumberOf(o.text);
      if (!number || o.kind == Operand::Bool) BadValue(o, field.FieldName());
      return Binary(kFloat, *number);
    }
    case kDate:
    case kTime:
    case kTimestamp:
      return DateConstant(o, field, type);
    default:
      return IntegerConstant(o, field, type);
  }
}

// A constant with no field to take its type from.
Constant PlainConstant(const Operand& o) {
  if (o.kind == Operand::Bool) return Binary(kBool, static_cast<std::int16_t>(IsTrue(o) ? -1 : 0));
  if (o.kind != Operand::Number) return TextConstant(o.text);
  const auto number = NumberOf(o.text);
  if (!number) SyntaxError(o.pos, FormatMessage(dbconsts::SFilterInvalidNumber, o.text));
  if (*number == std::floor(*number) && std::fabs(*number) <= INT32_MAX)
    return Binary(kInt32, static_cast<std::int32_t>(*number));
  return Binary(kFloat, *number);
}

// ---- the buffer ----

class Writer {
 public:
  explicit Writer(TFilterOptions options) : options_(options) {}

  std::vector<std::uint8_t> Build(const Node& root) {
    Emit(root);
    const std::size_t total = sizeof(fx::Header) + nodes_.size() + literals_.size();
    if (total > 0xFFFF || nodeCount_ > 0xFFFF) DatabaseError(dbconsts::SExprTooLong);
    fx::Header header{};
    header.iVer = kExpressionVersion;
    header.iTotalSize = static_cast<std::uint16_t>(total);
    header.iNodes = static_cast<std::uint16_t>(nodeCount_);
    header.iNodeStart = sizeof(fx::Header);
    header.iLiteralStart = static_cast<std::uint16_t>(sizeof(fx::Header) + nodes_.size());
    std::vector<std::uint8_t> buffer(total);
    std::memcpy(buffer.data(), &header, sizeof header);
    std::memcpy(buffer.data() + sizeof header, nodes_.data(), nodes_.size());
    std::memcpy(buffer.data() + header.iLiteralStart, literals_.data(), literals_.size());
    return buffer;
  }

 private:
  // Reserves a node of type N (so a parent precedes its children, the root at 0).
  template <typename N>
  std::size_t Reserve() {
    const std::size_t at = nodes_.size();
    nodes_.resize(at + sizeof(N));
    ++nodeCount_;
    return at;
  }
  template <typename N>
  void Store(std::size_t at, const N& node) {
    std::memcpy(nodes_.data() + at, &node, sizeof node);
  }
  static std::uint16_t Offset(std::size_t at) {
    if (at + sizeof(fx::Header) > fx::kMaxAddress) DatabaseError(dbconsts::SExprTooLong);
    return static_cast<std::uint16_t>(at);
  }

  std::uint16_t Literal(const std::uint8_t* bytes, std::size_t size) {
    const std::size_t at = literals_.size();
    literals_.insert(literals_.end(), bytes, bytes + size);
    return Offset(at);
  }

  std::uint16_t Emit(const Node& n) {
    switch (n.kind) {
      case Node::And:
      case Node::Or: {
        const std::size_t at = Reserve<fx::BinaryNode>();
        fx::BinaryNode node{{fx::nodeBINARY, n.kind == Node::And ? fx::canAND : fx::canOR}, 0, 0};
        node.iOperand1 = Emit(*n.a);
        node.iOperand2 = Emit(*n.b);
        Store(at, node);
        return Offset(at);
      }
      case Node::Not:
      case Node::IsNull:
      case Node::NotNull: {
        const std::size_t at = Reserve<fx::UnaryNode>();
        const std::uint32_t op = n.kind == Node::Not      ? fx::canNOT
                                 : n.kind == Node::IsNull ? fx::canISBLANK
                                                          : fx::canNOTBLANK;
        fx::UnaryNode node{{fx::nodeUNARY, op}, 0};
        node.iOperand1 = n.kind == Node::Not ? Emit(*n.a) : EmitOperand(n.left, nullptr);
        Store(at, node);
        return Offset(at);
      }
      case Node::Compare:
        return EmitCompare(n);
      default:
        return EmitOperand(n.left, nullptr);
    }
  }

  std::uint16_t EmitCompare(const Node& n) {
    const TField* field = n.left.field ? n.left.field : n.right.field;
    Operand left = n.left, right = n.right;
    std::uint16_t partial = 0;
    const bool text = field ? FilterFieldType(field->DataType()) == kString
                            : n.left.kind != Operand::Number && n.right.kind != Operand::Number;
    Operand& constant = left.kind == Operand::Field ? right : left;
    // A trailing * after at least one character asks for a partial match.
    if (text && constant.kind == Operand::Text && !(options_ & foNoPartialCompare) &&
        (n.op == fx::canEQ || n.op == fx::canNE) && constant.text.size() > 1 &&
        constant.text.back() == '*') {
      constant.text.pop_back();
      partial = static_cast<std::uint16_t>(std::min<std::size_t>(constant.text.size(), 0xFFFF));
    }
    const bool caseless = text && ((options_ & foCaseInsensitive) || n.op == fx::canCONTAINS);
    if (!caseless && partial == 0) {
      const std::size_t at = Reserve<fx::BinaryNode>();
      fx::BinaryNode node{{fx::nodeBINARY, n.op}, 0, 0};
      node.iOperand1 = EmitOperand(left, field);
      node.iOperand2 = EmitOperand(right, field);
      Store(at, node);
      return Offset(at);
    }
    const std::size_t at = Reserve<fx::CompareNode>();
    fx::CompareNode node{
        {fx::nodeCOMPARE, n.op}, static_cast<std::uint16_t>(caseless ? 1 : 0), partial, 0, 0};
    node.iOperand1 = EmitOperand(left, field);
    node.iOperand2 = EmitOperand(right, field);
    Store(at, node);
    return Offset(at);
  }

  std::uint16_t EmitOperand(const Operand& o, const TField* compared) {
    if (o.kind == Operand::Field) {
      const std::size_t at = Reserve<fx::FieldNode>();
      // The engine finds the field by its stored name, in the dataset's code page.
      const std::string name =
          o.field ? (o.field->DataSet()
                         ? o.field->DataSet()->FieldTextToNative(*o.field, o.field->FieldName())
                         : o.field->FieldName())
                  : o.text;
      fx::FieldNode node{{fx::nodeFIELD, 0}, 0, 0};
      node.iFieldNum = static_cast<std::uint16_t>(o.field ? std::max(o.field->FieldNo(), 0) : 0);
      node.iNameOffset =
          Literal(reinterpret_cast<const std::uint8_t*>(name.c_str()), name.size() + 1);
      Store(at, node);
      return Offset(at);
    }
    const Constant c = compared ? ConstantFor(o, *compared) : PlainConstant(o);
    if (c.bytes.size() > 0xFFFF) DatabaseError(dbconsts::SExprTooLong);
    const std::size_t at = Reserve<fx::ConstantNode>();
    fx::ConstantNode node{
        {fx::nodeCONST, 0}, c.type, static_cast<std::uint16_t>(c.bytes.size()), 0};
    node.iOffset = Literal(c.bytes.data(), c.bytes.size());
    Store(at, node);
    return Offset(at);
  }

  TFilterOptions options_;
  std::vector<std::uint8_t> nodes_, literals_;
  std::size_t nodeCount_ = 0;
};

}  // namespace

std::uint16_t FilterFieldType(TFieldType type) {
  using T = TFieldType;
  switch (type) {
    case T::ftString:
    case T::ftFixedChar:
    case T::ftMemo:
    case T::ftFmtMemo:
      return kString;
    case T::ftSmallint:
      return kInt16;
    case T::ftWord:
      return kUInt16;
    case T::ftInteger:
    case T::ftAutoInc:
      return kInt32;
    case T::ftLargeint:
      return kInt64;
    case T::ftFloat:
    case T::ftCurrency:
    case T::ftBCD:
      return kFloat;
    case T::ftBoolean:
      return kBool;
    case T::ftDate:
      return kDate;
    case T::ftTime:
      return kTime;
    case T::ftDateTime:
      return kTimestamp;
    case T::ftBytes:
    case T::ftVarBytes:
      return kBytes;
    default:
      return 0;
  }
}

std::vector<std::uint8_t> BuildFilterExpression(const std::string& text, TFilterOptions options,
                                                const TDataSet* dataSet) {
  Parser parser(text, dataSet);
  const auto root = parser.ParseAll();
  return Writer(options).Build(*root);
}

std::string FilterTextWithFieldNames(const std::string& text, const TDataSet& dataSet) {
  std::string out;
  std::size_t copied = 0;
  Lexer lexer(text);
  for (Token token = lexer.Next(); token.kind != Tok::End; token = lexer.Next()) {
    if (token.kind != Tok::Name && token.kind != Tok::QuotedName) continue;
    if (dataSet.FindField(token.text)) continue;
    const TField* field = FieldNamed(dataSet, token.text);
    if (!field) continue;
    out += text.substr(copied, token.pos - copied) + "[" + field->FieldName() + "]";
    copied = lexer.Position();
  }
  return out + text.substr(copied);
}

}  // namespace vader
