#include "QuickFilter.h"

#include <cstring>

#include "framework/DBFilter.h"

namespace vader::app {
namespace {

std::string Trimmed(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// A value as a quoted text of the filter language: the field gives it its type.
std::string Literal(const std::string& value) {
  std::string out = "'";
  for (char c : value) {
    if (c == '\'') out += '\'';
    out += c;
  }
  return out + "'";
}

bool IsTextField(const TField& field) {
  return FilterFieldType(field.DataType()) == FilterFieldType(TFieldType::ftString);
}

// The comparison a typed text begins with ("=" when it begins with none), and the rest.
std::pair<std::string, std::string> SplitComparison(const std::string& typed) {
  for (const char* op : {">=", "<=", "<>", "!=", "=", ">", "<"})
    if (typed.compare(0, std::strlen(op), op) == 0)
      return {op, Trimmed(typed.substr(std::strlen(op)))};
  return {"=", typed};
}

}  // namespace

std::string QuickFilterTerm(const TField& field, const std::string& typed) {
  const std::string text = Trimmed(typed);
  if (text.empty()) return {};
  const std::string name = "[" + field.FieldName() + "]";
  if (IsTextField(field)) return name + " contains " + Literal(text);
  const auto [op, value] = SplitComparison(text);
  return name + " " + op + " " + Literal(value);
}

std::string AllOf(const std::vector<std::string>& parts) {
  std::string text;
  for (const std::string& part : parts) {
    if (part.empty()) continue;
    text += (text.empty() ? "(" : " and (") + part + ")";
  }
  return text;
}

void TQuickFilter::Set(const std::string& field, const std::string& typed) {
  auto at = texts_.begin();
  while (at != texts_.end() && at->first != field) ++at;
  if (Trimmed(typed).empty()) {
    if (at != texts_.end()) texts_.erase(at);
  } else if (at == texts_.end()) {
    texts_.emplace_back(field, typed);
  } else {
    at->second = typed;
  }
}

const std::string& TQuickFilter::TextOf(const std::string& field) const {
  static const std::string kNone;
  for (const auto& [name, text] : texts_)
    if (name == field) return text;
  return kNone;
}

std::string TQuickFilter::FilterText(const TDataSet& dataSet, std::string& problem) const {
  problem.clear();
  std::vector<std::string> terms;
  for (const auto& [name, text] : texts_) {
    const TField* field = dataSet.FindField(name);
    if (!field) continue;
    const std::string term = QuickFilterTerm(*field, text);
    try {
      BuildFilterExpression(term, 0, &dataSet);
      terms.push_back(term);
    } catch (const std::exception& error) {
      if (problem.empty()) problem = error.what();
    }
  }
  return AllOf(terms);
}

}  // namespace vader::app
