#pragma once
// Writes the records of a dataset to a file, as the data window, the SQL window and the
// utility export them: CSV (UTF-8 or the database's code page, a chosen separator and quoting,
// an optional header row, the line ends asked for), JSON (an array of objects whose values keep
// their kind: numbers, true/false, ISO dates, null for blank) or an SQL script of INSERT
// statements that the relational engine runs back. Money and decimals keep their decimals.

#include <functional>
#include <stdexcept>
#include <string>

#include "framework/DB.h"

namespace vader {

enum class TExportFormat { efCsv, efJson, efSql };

enum class TCsvQuoting {
  cqNeeded,  // only fields holding the separator, a quote or a line break
  cqTexts,   // every text, date and time field, and those that need it
  cqAll,     // every field
};

struct TExportOptions {
  TExportFormat format = TExportFormat::efCsv;
  // CSV: texts in the code page the database stores them in instead of UTF-8.
  bool databaseCodePage = false;
  char separator = ',';
  TCsvQuoting quoting = TCsvQuoting::cqNeeded;
  bool header = true;
  std::string lineEnd = "\r\n";
  // SQL: the table the INSERT statements name.
  std::string tableName;
};

// Called every few records with the number written so far; answering false stops the export.
using TExportProgress = std::function<bool(int written)>;

struct TExportResult {
  int records = 0;
  bool stopped = false;
};

// The file of an export could not be written, or the file of an import not read.
class ETransferFileError : public std::runtime_error {
 public:
  ETransferFileError(const std::string& path, bool writing)
      : std::runtime_error((writing ? "Cannot write to " : "Cannot read ") + path),
        path_(path) {}
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

// Writes the records of Data from the first (its filter and range in effect) to Path and puts
// the dataset back on the record it stood on. A stopped or failed export leaves Path as it
// was; a failure raises (ETransferFileError when the file cannot be written).
TExportResult ExportDataSet(TDataSet& data, const std::string& path, const TExportOptions& options,
                            const TExportProgress& progress = {});

// Path with the extension of Format added when its name has none ("list" -> "list.csv").
std::string ExportFileName(const std::string& path, TExportFormat format);

// One CSV field: quoted when asked to, or when it holds the separator, a quote or a line break.
std::string CsvField(const std::string& text, char separator = ',', bool quoted = false);

// Binary contents (bytes, blobs, pictures) have no text of their own: they are exported as
// hex digits and imported from them.
bool IsBinaryField(TFieldType type);

// The text a field's value is exported as (the system's code page): money and decimals with
// their decimals as the grid shows them, dates and times in ISO form; empty for null.
std::string ExportText(const TField& field);

}  // namespace vader
