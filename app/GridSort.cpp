#include "GridSort.h"

namespace vader::app {
namespace {

bool LedBy(const TIndexInfo& index, const std::string& field) {
  return !index.fields.empty() && index.fields.front() == field;
}

// A name as an SQL identifier: in double quotes, a quote inside doubled.
std::string Quoted(const std::string& name) {
  std::string out = "\"";
  for (char c : name) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

}  // namespace

TSortOrder OrderOfIndex(const std::vector<TIndexInfo>& indexes,
                        const std::vector<std::string>& current) {
  if (current.empty()) return {};
  for (const TIndexInfo& index : indexes)
    if (index.fields == current) return {current.front(), index.descending};
  return {current.front(), false};
}

TSortOrder ClickedOrder(const std::vector<TIndexInfo>& indexes, const TSortOrder& now,
                        const std::string& field) {
  if (now.field == field) return {field, !now.descending};
  const bool upwards = !IndexFor(indexes, {field, false}).empty();
  const bool downwards = !IndexFor(indexes, {field, true}).empty();
  return {field, downwards && !upwards};
}

std::string IndexFor(const std::vector<TIndexInfo>& indexes, const TSortOrder& order) {
  for (const TIndexInfo& index : indexes)
    if (LedBy(index, order.field) && index.descending == order.descending) return index.name;
  return {};
}

std::string OrderedSelect(const std::string& table, const TSortOrder& order) {
  return "SELECT * FROM " + Quoted(table) + " ORDER BY " + Quoted(order.field) +
         (order.descending ? " DESC" : "");
}

}  // namespace vader::app
