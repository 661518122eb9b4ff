#include "TableDesignRules.h"

#include <algorithm>
#include <charconv>

#include "tools/NativeTypes.h"
#include "tools/TextLines.h"

namespace vader::app {
namespace {

using namespace tools;

// How many decimals a type holds: none, up to the digits of a packed number (2 * size - 1),
// up to its size in digits, or a display precision of a binary number.
enum class TDecimals { None, Packed, Digits, Binary };

struct TTypeRule {
  uint8_t type;
  std::vector<uint16_t> sizes;  // the only sizes it has; empty: Min to Max
  uint16_t min, max;
  TTypeDefault start;
  TDecimals decimals;
};

const std::vector<TTypeRule>& Rules() {
  static const std::vector<TTypeRule> rules = {
      {kTypeZString, {}, 2, 65535, {31, 0}, TDecimals::None},
      {kTypeString, {}, 1, 65535, {30, 0}, TDecimals::None},
      {kTypeLString, {}, 2, 256, {31, 0}, TDecimals::None},
      {kTypeInteger, {1, 2, 4, 8}, 1, 8, {4, 0}, TDecimals::None},
      {kTypeUnsigned, {1, 2, 4, 8}, 1, 8, {4, 0}, TDecimals::None},
      {kTypeAutoIncrement, {2, 4, 8}, 2, 8, {4, 0}, TDecimals::None},
      {kTypeFloat, {4, 8}, 4, 8, {8, 0}, TDecimals::Binary},
      {kTypeBFloat, {4, 8}, 4, 8, {8, 0}, TDecimals::Binary},
      {kTypeDecimal, {}, 1, 20, {8, 2}, TDecimals::Packed},
      {kTypeMoney, {}, 1, 20, {8, 2}, TDecimals::Packed},
      {kTypeNumeric, {}, 1, 40, {10, 2}, TDecimals::Digits},
      {kTypeNumericSts, {}, 2, 40, {11, 2}, TDecimals::Digits},
      {kTypeNumericSa, {}, 1, 40, {10, 2}, TDecimals::Digits},
      {kTypeCurrency, {8}, 8, 8, {8, 0}, TDecimals::None},
      {kTypeDate, {4}, 4, 4, {4, 0}, TDecimals::None},
      {kTypeTime, {4}, 4, 4, {4, 0}, TDecimals::None},
      {kTypeTimestamp, {8}, 8, 8, {8, 0}, TDecimals::None},
      {kTypeLogical, {1, 2}, 1, 2, {1, 0}, TDecimals::None},
      {kTypeBit, {1}, 1, 1, {1, 0}, TDecimals::None},
      {kTypeNote, {}, 2, 65535, {100, 0}, TDecimals::None},
      {kTypeLVar, {}, 1, 65535, {100, 0}, TDecimals::None},
  };
  return rules;
}

const TTypeRule* RuleOf(uint8_t type) {
  for (const TTypeRule& rule : Rules())
    if (rule.type == type) return &rule;
  return nullptr;
}

std::string Shown(uint8_t type) { return AsciiUpper(TypeName(type)); }

std::optional<int64_t> NumberIn(const std::string& text) {
  const auto first = text.find_first_not_of(' ');
  const auto last = text.find_last_not_of(' ');
  if (first == std::string::npos) return std::nullopt;
  int64_t value = 0;
  const char* end = text.data() + last + 1;
  const auto [stop, error] = std::from_chars(text.data() + first, end, value);
  if (error != std::errc() || stop != end) return std::nullopt;
  return value;
}

// The sizes of a rule in words: "1, 2, 4, 8" or "1 - 20".
std::string SizesOf(const TTypeRule& rule) {
  if (rule.sizes.empty()) return std::to_string(rule.min) + " - " + std::to_string(rule.max);
  std::string out;
  for (uint16_t size : rule.sizes) out += (out.empty() ? "" : ", ") + std::to_string(size);
  return out;
}

int MostDecimals(const TTypeRule& rule, uint16_t size) {
  switch (rule.decimals) {
    case TDecimals::Packed:
      return 2 * size - 1;
    case TDecimals::Digits:
      return rule.type == kTypeNumericSts ? size - 1 : size;
    case TDecimals::Binary:
      return 15;
    case TDecimals::None:
      break;
  }
  return 0;
}

TRowProblem Problem(int column, const char* designed, std::vector<std::string> values = {}) {
  return TRowProblem{column, designed, std::move(values)};
}

constexpr const char* kFieldNeedsName = "A field needs a name of 1 to 20 characters.";
constexpr const char* kNameTwice = "Another field has the name %s.";
constexpr const char* kUnknownType = "Choose the type of the field.";
constexpr const char* kSizeOfType = "A field of type %s has a size of %s bytes.";
constexpr const char* kDecimalsOfType = "A field of type %s and %s bytes holds 0 to %s decimals.";
constexpr const char* kNoDecimals = "A field of type %s has no decimals.";
constexpr const char* kIndexNumber = "The index number is a number from 0 to 118.";
constexpr const char* kNoSuchField = "There is no field %s.";
constexpr const char* kNotAKey = "The field %s cannot be part of an index.";

}  // namespace

const std::vector<const char*> kDesignProblems = {kFieldNeedsName, kNameTwice,      kUnknownType,
                                                  kSizeOfType,     kDecimalsOfType, kNoDecimals,
                                                  kIndexNumber,    kNoSuchField,    kNotAKey};

std::vector<std::string> DesignerTypeNames() {
  std::vector<std::string> names;
  for (const TTypeRule& rule : Rules()) names.push_back(Shown(rule.type));
  return names;
}

TTypeDefault DefaultOfType(uint8_t type) {
  const TTypeRule* rule = RuleOf(type);
  return rule ? rule->start : TTypeDefault{};
}

bool SizeFitsType(uint8_t type, uint16_t size) {
  const TTypeRule* rule = RuleOf(type);
  if (!rule) return false;
  if (!rule->sizes.empty())
    return std::find(rule->sizes.begin(), rule->sizes.end(), size) != rule->sizes.end();
  return size >= rule->min && size <= rule->max;
}

std::optional<TRowProblem> FieldOfRow(const std::vector<std::string>& cells,
                                      const std::vector<std::string>& namesBefore,
                                      FieldDef& field) {
  field.name = cells.at(fcName);
  if (field.name.empty() || field.name.size() > kFieldNameSize)
    return Problem(fcName, kFieldNeedsName);
  if (std::find(namesBefore.begin(), namesBefore.end(), AsciiUpper(field.name)) !=
      namesBefore.end())
    return Problem(fcName, kNameTwice, {field.name});
  const auto type = TypeCode(cells.at(fcType));
  const TTypeRule* rule = type ? RuleOf(*type) : nullptr;
  if (!rule) return Problem(fcType, kUnknownType);
  field.type = *type;
  const auto size = NumberIn(cells.at(fcSize));
  if (!size || *size < 0 || *size > 65535 || !SizeFitsType(*type, static_cast<uint16_t>(*size)))
    return Problem(fcSize, kSizeOfType, {Shown(*type), SizesOf(*rule)});
  field.size = static_cast<uint16_t>(*size);
  const std::string& decimalsText = cells.at(fcDecimals);
  const auto decimals = decimalsText.find_first_not_of(' ') == std::string::npos
                            ? std::optional<int64_t>(0)
                            : NumberIn(decimalsText);
  if (rule->decimals == TDecimals::None && decimals != std::optional<int64_t>(0))
    return Problem(fcDecimals, kNoDecimals, {Shown(*type)});
  const int most = MostDecimals(*rule, field.size);
  if (!decimals || *decimals < 0 || *decimals > most)
    return Problem(fcDecimals, kDecimalsOfType,
                   {Shown(*type), std::to_string(field.size), std::to_string(most)});
  field.decimals = static_cast<uint8_t>(*decimals);
  return std::nullopt;
}

std::optional<TRowProblem> PartOfRow(const std::vector<std::string>& cells,
                                     const std::vector<FieldDef>& fields, uint16_t& number,
                                     IndexPart& part) {
  const auto given = NumberIn(cells.at(icNumber));
  if (!given || *given < 0 || *given > 118) return Problem(icNumber, kIndexNumber);
  number = static_cast<uint16_t>(*given);
  part.field = cells.at(icField);
  const auto field = std::find_if(fields.begin(), fields.end(),
                                  [&](const FieldDef& f) { return SameName(f.name, part.field); });
  if (field == fields.end()) return Problem(icField, kNoSuchField, {part.field});
  if (!Indexable(field->type) || field->size > 255) return Problem(icField, kNotAKey, {part.field});
  const auto ticked = [&](int column) {
    return !cells.at(static_cast<std::size_t>(column)).empty();
  };
  part.flags = 0;
  if (ticked(icDuplicates)) part.flags |= kIndexDuplicates;
  if (ticked(icModifiable)) part.flags |= kIndexModifiable;
  if (ticked(icNull)) part.flags |= kIndexNull;
  if (ticked(icDescending)) part.flags |= kIndexDescending;
  if (ticked(icNoCase)) part.flags |= kIndexNoCase;
  if (ticked(icAcs)) part.flags |= kIndexAcs;
  return std::nullopt;
}

}  // namespace vader::app
