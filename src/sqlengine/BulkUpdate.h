#pragma once
// An UPDATE of one table that the engine runs itself. SQLite hands an UPDATE of a virtual
// table to it row by row only after copying every row it changes into a temporary table (it
// has no single pass over many rows of a virtual table), which costs about as much as the
// writes themselves. The engine instead reads the row positions and the new values with a
// SELECT of the same expressions and WHERE clause, and writes them in batches. Every value is
// read before the first write, so rows the changes move along a key are not met twice.

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <vector>

#include "sqlengine/Catalog.h"

namespace vader::sqlengine {

class Session;

// The parts of `UPDATE table SET column = expression, ... [WHERE condition]` as written: the
// names without their quotes, the expressions and the condition as they stand in the text.
struct UpdateText {
  std::string table;        // as written, quotes and all
  std::string tableName;
  std::vector<std::string> columns;
  std::vector<std::string> values;
  std::string where;        // empty: every row
};

// Reads a statement of that form; false for anything else (other clauses, comments, a
// statement SQLite would not take).
bool ParseUpdate(const std::string& statement, UpdateText& out);

struct BulkUpdate {
  Table* table = nullptr;
  std::vector<uint16_t> columns;  // the columns assigned, in the order of the SELECT
  std::string select;             // row position, then the new values
};

// The plan for `statement` when it is `UPDATE table SET column = expression, ... [WHERE ...]`
// of one of the session's tables; false for anything else (other clauses, comments, a column
// assigned twice), which SQLite runs.
bool PlanBulkUpdate(const std::string& statement, const Session& session, BulkUpdate& plan);

// Runs the plan's SELECT (prepared and bound by the caller) and writes its rows. `done` is
// false when the rows need SQLite's way (a column past the fixed part of the record, a value a
// column refuses, changes too large to hold in memory): nothing has been written then.
// Otherwise returns the status and sets `changed` to the rows changed.
int16_t RunBulkUpdate(Session& session, const BulkUpdate& plan, sqlite3_stmt* select,
                      int32_t& changed, bool& done);

}  // namespace vader::sqlengine
