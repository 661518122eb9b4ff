#pragma once
// Ordering the rows of a data window by a column: a click on a column title asks for the
// rows in that column's order, a second click for the reverse. An index led by the column's
// field gives the order, read forwards, or backwards for the other direction; without such an
// index the relational engine can give the rows in that order (ORDER BY), for reading only.

#include <string>
#include <vector>

#include "BrowseTable.h"

namespace vader::app {

struct TSortOrder {
  std::string field;  // empty: no order by a field
  bool descending = false;
};

// The order the rows are in through the index with the fields Current (the table's current
// index), read forwards or Backwards: led by its first field, in the index's direction or the
// reverse.
TSortOrder OrderOfIndex(const std::vector<TIndexInfo>& indexes,
                        const std::vector<std::string>& current, bool backwards);

// The order a click on Field's title asks for, the rows being in order Now: the reverse of
// Now when it is Field's order already, else Field upwards.
TSortOrder ClickedOrder(const TSortOrder& now, const std::string& field);

// How an index gives an order: its name ("" when no index can) and the direction it is read in.
struct TSortWay {
  std::string index;
  bool backwards = false;
};
// The first index led by Order's field in Order's direction, read forwards; else the first
// led by it in the other direction, read backwards.
TSortWay WayTo(const std::vector<TIndexInfo>& indexes, const TSortOrder& order);

// The statement that reads Table's rows in Order through the relational engine.
std::string OrderedSelect(const std::string& table, const TSortOrder& order);

}  // namespace vader::app
