#pragma once
// Ordering the rows of a data window by a column: a click on a column title asks for the
// rows in that column's order, a second click for the reverse. An index led by the column's
// field gives the order when the table has one in that direction; otherwise the relational
// engine can give the rows in that order (ORDER BY), for reading only.

#include <string>
#include <vector>

#include "BrowseTable.h"

namespace vader::app {

struct TSortOrder {
  std::string field;  // empty: no order by a field
  bool descending = false;
};

// The order the rows are in through the index with the fields Current (the table's current
// index): led by its first field, in the index's direction.
TSortOrder OrderOfIndex(const std::vector<TIndexInfo>& indexes,
                        const std::vector<std::string>& current);

// The order a click on Field's title asks for, the rows being in order Now: the reverse of
// Now when it is Field's order already, else Field upwards (or downwards, when the table has
// an index led by Field in that direction only).
TSortOrder ClickedOrder(const std::vector<TIndexInfo>& indexes, const TSortOrder& now,
                        const std::string& field);

// The name of the first index led by Order's field in Order's direction; "" when none is.
std::string IndexFor(const std::vector<TIndexInfo>& indexes, const TSortOrder& order);

// The statement that reads Table's rows in Order through the relational engine.
std::string OrderedSelect(const std::string& table, const TSortOrder& order);

}  // namespace vader::app
