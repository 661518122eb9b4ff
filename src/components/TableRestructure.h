#pragma once
// Restructuring a table of a Btrieve database: fields added, dropped, renamed, moved, resized or
// given another type, indexes added or dropped. The records are copied into a new data file
// record by record through the cursors: fields that keep their type and size move as bytes,
// the others are converted as the table components' fields convert typed values. The old file
// and its dictionary entries stay as they are until the copy is complete and counted, then one
// dictionary transaction makes the new structure the table's and the files change places. Stopped, failed or cut off at any moment, the table is the old one or
// the new one, whole.

#include <cstdint>
#include <functional>
#include <string>

#include "tools/TableSchema.h"

namespace vader {

// A value that the new field cannot hold.
struct TBadValue {
  int64_t record = 0;  // 1-based, in the order of the table's first index
  std::string field;   // the new field
  std::string value;   // the value as text
  std::string reason;  // the conversion's message
};

enum class TBadValueAction { Stop, Blank };

struct TRestructureOptions {
  // Asked for each value that does not convert; without it the copy stops.
  std::function<TBadValueAction(const TBadValue&)> onBadValue;
  // Called every `progressInterval` records and at the end; setting `stop` ends the copy and
  // leaves the table as it was.
  std::function<void(int64_t done, int64_t total, bool& stop)> onProgress;
  int64_t progressInterval = 1000;
  // Records written per transaction.
  int64_t commitCount = 10000;
};

struct TRestructureResult {
  int64_t records = 0;
  int64_t blanked = 0;  // values set blank
};

// The fields of `def` are laid out one after another in their order (see tools::LaidOut).
// Each field of `def` takes its value from the old field named in its `from` (or, when that
// is empty, from the old field of its own name; none: the field starts blank). `def`'s name and
// location are ignored: the table keeps both. Errors are raised as the components raise them;
// a stop raises EDatabaseError with the text "The restructure was stopped".
TRestructureResult RestructureTable(const std::string& databaseName, const std::string& tableName,
                                    const tools::TableDef& def,
                                    const TRestructureOptions& options = {});

extern const char* const SRestructureStopped;
extern const char* const SRestructureCountMismatch;

}  // namespace vader
