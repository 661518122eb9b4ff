#pragma once
// The records of a CSV or JSON file (ImportFile) moved into a table through the batch move: each
// column goes to the field it is matched with (by name, by position or as chosen), the field
// converts the text as it converts a typed value, and a record the table refuses (a duplicate key,
// a value that does not fit) is reported with the line of the file it came from and lands in the
// side tables named, never stored cut or wrapped.

#include <functional>
#include <string>
#include <vector>

#include "components/BseMainTable.h"
#include "components/ImportFile.h"

namespace vader {

enum class TImportMatch { imByName, imByPosition, imChosen };

// The column each field of the table takes its value from; fields not named keep their
// value (a new record: blank).
struct TImportMapping {
  std::vector<std::pair<std::string, std::size_t>> fieldColumns;
};

// Fields of Destination with the columns of Rows: equal names (letter case aside), or the
// Nth column for the Nth field, or Chosen lines "FIELD=COLUMN" (a column's name or number
// from 1). A chosen field or column that does not exist raises EDatabaseError.
TImportMapping MatchColumns(const TImportRows& rows, TDataSet& destination, TImportMatch match,
                            const std::vector<std::string>& chosen = {});

// A record the table did not take, with the line of the file it came from.
struct TImportRefusal {
  int line = 0;
  bool keyViolation = false;
  std::string reason;
};

struct TImportResult {
  int imported = 0;
  bool stopped = false;
  std::vector<TImportRefusal> refused;
};

struct TImportSettings {
  TBatchMode mode = TBatchMode::batAppend;
  // Tables of the destination's database that receive the refused records (empty: none).
  std::string keyViolTableName;
  std::string problemTableName;
};

// Called every few records with the number processed; answering false stops the import after
// the records so far.
using TImportProgress = std::function<bool(int processed)>;

// Moves Rows into Destination by Mapping through the batch move.
TImportResult ImportRows(const TImportRows& rows, const TImportMapping& mapping,
                         TttTable& destination, const TImportSettings& settings,
                         const TImportProgress& progress = {});

}  // namespace vader
