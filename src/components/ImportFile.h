#pragma once
// CSV and JSON files read into records of texts in the system's code page: CSV with a chosen
// separator, quoted fields holding separators, doubled quotes and line breaks, an optional
// header row, in UTF-8 or a code page; JSON as an array of objects whose values are texts,
// numbers, true, false or null. Each record keeps the line of the file it starts on.

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace vader {

enum class TImportFormat { ifCsv, ifJson };

struct TImportFileOptions {
  TImportFormat format = TImportFormat::ifCsv;
  // CSV: the code page of the file's texts; empty: UTF-8 (a byte-order mark is skipped).
  std::string codePage;
  char separator = ',';
  bool header = true;  // CSV: the first row names the columns
};

// One record of the file: the line it starts on, and a value per column (none: null).
struct TImportRow {
  int line = 0;
  std::vector<std::optional<std::string>> values;
};

// The records of a file with their texts in the system's code page. Columns are named by
// the header row or the JSON keys, else "Column 1", "Column 2" ...
struct TImportRows {
  std::vector<std::string> columns;
  std::vector<TImportRow> rows;
};

// A file that is no CSV or JSON of records: the line where it goes wrong and what is wrong.
class EImportFormatError : public std::runtime_error {
 public:
  EImportFormatError(int line, const std::string& problem)
      : std::runtime_error("Line " + std::to_string(line) + ": " + problem), line_(line) {}
  int Line() const { return line_; }

 private:
  int line_;
};

// Reads Path (ETransferFileError when it cannot be read; EImportFormatError when malformed).
TImportRows ReadImportFile(const std::string& path, const TImportFileOptions& options);
TImportRows ParseCsv(const std::string& bytes, const TImportFileOptions& options);
TImportRows ParseJson(const std::string& utf8);

// The value of a hex digit, -1 for another character.
int HexDigit(char c);

}  // namespace vader
