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
                        const std::vector<std::string>& current, bool backwards) {
  if (current.empty()) return {};
  for (const TIndexInfo& index : indexes)
    if (index.fields == current) return {current.front(), index.descending != backwards};
  return {current.front(), backwards};
}

TSortOrder ClickedOrder(const TSortOrder& now, const std::string& field) {
  return {field, now.field == field && !now.descending};
}

TSortWay WayTo(const std::vector<TIndexInfo>& indexes, const TSortOrder& order) {
  for (bool backwards : {false, true})
    for (const TIndexInfo& index : indexes)
      if (LedBy(index, order.field) && (index.descending != backwards) == order.descending)
        return {index.name, backwards};
  return {};
}

std::string OrderedSelect(const std::string& table, const TSortOrder& order) {
  return "SELECT * FROM " + Quoted(table) + " ORDER BY " + Quoted(order.field) +
         (order.descending ? " DESC" : "");
}

}  // namespace vader::app
