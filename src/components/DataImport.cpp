#include "components/DataImport.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>

#include "components/DataExport.h"
#include "framework/DBConsts.h"
#include "framework/DBFields.h"
#include "framework/FrameworkErrors.h"
#include "platform/CodePage.h"
#include "platform/TextCase.h"

namespace vader {
namespace {

constexpr int kProgressStep = 200;  // records between two progress reports

std::string ColumnName(std::size_t index) { return "Column " + std::to_string(index + 1); }

// The value of a hex digit, -1 for another character.
int HexDigit(char c) {
  const auto u = static_cast<unsigned char>(c);
  if (!std::isxdigit(u)) return -1;
  return std::isdigit(u) ? c - '0' : (c | 0x20) - 'a' + 10;
}

// Column and field names match with letter case aside, as the person's locale compares them.
bool SameName(const std::string& a, const std::string& b) {
  return platform::CompareTextLocale(a, b) == 0;
}

// ---- CSV ----

// Splits CSV text into records of fields: quoted fields may hold separators, doubled quotes
// and line breaks; a record ends at LF, CR LF or CR outside quotes.
class CsvReader {
 public:
  CsvReader(const std::string& text, char separator) : text_(text), separator_(separator) {}

  // The next record; false at the end of the text.
  bool Next(std::vector<std::string>& fields, int& line) {
    fields.clear();
    while (at_ < text_.size() && IsBlankLine()) SkipLineEnd();
    if (at_ >= text_.size()) return false;
    line = line_;
    for (;;) {
      fields.push_back(Field());
      if (at_ >= text_.size()) return true;
      if (text_[at_] == separator_) {
        ++at_;
        continue;
      }
      SkipLineEnd();
      return true;
    }
  }

 private:
  bool IsBlankLine() const { return text_[at_] == '\n' || text_[at_] == '\r'; }

  void SkipLineEnd() {
    if (text_[at_] == '\r' && at_ + 1 < text_.size() && text_[at_ + 1] == '\n') ++at_;
    ++at_;
    ++line_;
  }

  std::string Field() {
    if (at_ < text_.size() && text_[at_] == '"') return QuotedField();
    const std::size_t end = text_.find_first_of(std::string("\r\n") + separator_, at_);
    std::string field = text_.substr(at_, end == std::string::npos ? std::string::npos : end - at_);
    at_ = end == std::string::npos ? text_.size() : end;
    return field;
  }

  std::string QuotedField() {
    const int started = line_;
    std::string field;
    for (++at_; at_ < text_.size(); ++at_) {
      const char c = text_[at_];
      if (c == '"') {
        if (at_ + 1 < text_.size() && text_[at_ + 1] == '"') {
          field += '"';
          ++at_;
          continue;
        }
        ++at_;
        if (at_ < text_.size() && text_[at_] != separator_ && !IsBlankLine())
          throw EImportFormatError(line_, "text after the closing quote of a field");
        return field;
      }
      if (c == '\n' || (c == '\r' && (at_ + 1 >= text_.size() || text_[at_ + 1] != '\n'))) ++line_;
      field += c;
    }
    throw EImportFormatError(started, "a quoted field is not closed");
  }

  const std::string& text_;
  char separator_;
  std::size_t at_ = 0;
  int line_ = 1;
};

std::string CsvText(const std::string& bytes, const TImportFileOptions& options) {
  if (!options.codePage.empty()) return platform::NativeTextToAnsi(bytes, options.codePage);
  const bool bom = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0;
  return platform::Utf8ToAnsi(bom ? bytes.substr(3) : bytes);
}

// Header names, each once: an empty or repeated name is told apart by its column number.
std::vector<std::string> ColumnNames(const std::vector<std::string>& header) {
  std::vector<std::string> names;
  for (std::size_t c = 0; c < header.size(); ++c) {
    const bool taken = std::find(names.begin(), names.end(), header[c]) != names.end();
    names.push_back(header[c].empty() || taken ? ColumnName(c) : header[c]);
  }
  return names;
}

// ---- JSON ----

// A JSON array of objects whose values are texts, numbers, true, false or null.
class JsonReader {
 public:
  explicit JsonReader(const std::string& text) : text_(text) {}

  TImportRows Records() {
    TImportRows result;
    SkipBlanks();
    if (text_.compare(at_, 3, "\xEF\xBB\xBF") == 0) at_ += 3;
    Expect('[');
    if (!Peek(']')) do {
        AddRecord(result);
      } while (Peek(',') && (++at_, true));
    Expect(']');
    SkipBlanks();
    if (at_ < text_.size()) Fail("text after the end of the array");
    return result;
  }

 private:
  void AddRecord(TImportRows& result) {
    SkipBlanks();
    TImportRow row;
    row.line = line_;
    row.values.assign(result.columns.size(), std::nullopt);
    Expect('{');
    if (!Peek('}')) do {
        const std::string key = platform::Utf8ToAnsi(String());
        Expect(':');
        std::optional<std::string> value = Value();
        auto column = std::find(result.columns.begin(), result.columns.end(), key);
        if (column == result.columns.end()) {
          result.columns.push_back(key);
          for (TImportRow& earlier : result.rows) earlier.values.push_back(std::nullopt);
          row.values.push_back(std::nullopt);
          column = result.columns.end() - 1;
        }
        row.values[static_cast<std::size_t>(column - result.columns.begin())] = std::move(value);
      } while (Peek(',') && (++at_, true));
    Expect('}');
    result.rows.push_back(std::move(row));
  }

  std::optional<std::string> Value() {
    SkipBlanks();
    if (at_ >= text_.size()) Fail("a value is missing");
    const char c = text_[at_];
    if (c == '"') return platform::Utf8ToAnsi(String());
    if (Word("null")) return std::nullopt;
    if (Word("true")) return std::string("True");
    if (Word("false")) return std::string("False");
    if (c == '-' || (c >= '0' && c <= '9')) return Number();
    Fail(c == '{' || c == '[' ? "a value holds an object or an array" : "a value is no JSON value");
  }

  std::string Number() {
    const std::size_t start = at_;
    while (at_ < text_.size() && std::strchr("+-0123456789.eE", text_[at_])) ++at_;
    return text_.substr(start, at_ - start);
  }

  std::string String() {
    SkipBlanks();
    if (at_ >= text_.size() || text_[at_] != '"') Fail("a text in double quotes is expected");
    std::string out;
    for (++at_; at_ < text_.size(); ++at_) {
      const char c = text_[at_];
      if (c == '"') {
        ++at_;
        return out;
      }
      if (c == '\n') Fail("a text is not closed on its line");
      if (c != '\\') {
        out += c;
        continue;
      }
      if (++at_ >= text_.size()) break;
      Escape(text_[at_], out);
    }
    Fail("a text is not closed");
  }

  void Escape(char c, std::string& out) {
    switch (c) {
      case 'n':
        out += '\n';
        return;
      case 'r':
        out += '\r';
        return;
      case 't':
        out += '\t';
        return;
      case 'b':
        out += '\b';
        return;
      case 'f':
        out += '\f';
        return;
      case 'u':
        out += platform::Utf8Of(CodePoint());
        return;
      case '"':
      case '\\':
      case '/':
        out += c;
        return;
      default:
        Fail(std::string("unknown escape \\") + c);
    }
  }

  // The character of \uXXXX (with its low surrogate when one follows); at_ on its last digit.
  char32_t CodePoint() {
    char32_t code = Hex4();
    if (code >= 0xD800 && code < 0xDC00 && text_.compare(at_ + 1, 2, "\\u") == 0) {
      at_ += 2;
      const char32_t low = Hex4();
      if (low < 0xDC00 || low > 0xDFFF) Fail("a broken surrogate pair");
      code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
    }
    return code;
  }

  char32_t Hex4() {
    if (at_ + 4 >= text_.size()) Fail("a \\u escape needs four hex digits");
    char32_t code = 0;
    for (int i = 1; i <= 4; ++i) {
      const char c = text_[at_ + static_cast<std::size_t>(i)];
      const int digit = HexDigit(c);
      if (digit < 0) Fail("a \\u escape needs four hex digits");
      code = code * 16 + static_cast<char32_t>(digit);
    }
    at_ += 4;
    return code;
  }

  bool Word(const char* word) {
    const std::size_t n = std::strlen(word);
    if (text_.compare(at_, n, word) != 0) return false;
    at_ += n;
    return true;
  }

  void SkipBlanks() {
    for (; at_ < text_.size() && std::strchr(" \t\r\n", text_[at_]) && text_[at_]; ++at_)
      if (text_[at_] == '\n') ++line_;
  }

  bool Peek(char c) {
    SkipBlanks();
    return at_ < text_.size() && text_[at_] == c;
  }

  void Expect(char c) {
    if (!Peek(c)) Fail(std::string("'") + c + "' is expected");
    ++at_;
  }

  [[noreturn]] void Fail(const std::string& problem) const {
    throw EImportFormatError(line_, problem);
  }

  const std::string& text_;
  std::size_t at_ = 0;
  int line_ = 1;
};

// ---- the rows as a dataset ----

// The rows of a file as a read-only dataset with one text field per matched table field
// (named as that field), so that the batch move pairs them by name. A record buffer holds
// the row's index (its bookmark) and the bookmark flag.
class TImportDataSet : public TDataSet {
 public:
  TImportDataSet(const TImportRows& rows, const TImportMapping& mapping, TDataSet& destination)
      : TDataSet(nullptr), rows_(rows), mapping_(mapping) {
    for (const auto& [field, column] : mapping.fieldColumns) {
      const bool binary = IsBinaryField(destination.FieldByName(field)->DataType());
      binary_.push_back(binary);
      if (binary)  // the hex digits of the file give half as many bytes
        FieldDefs().Add(field, TFieldType::ftVarBytes,
                        std::clamp(Widest(column) / 2, 1, kMaxBytes));
      else
        FieldDefs().Add(field, TFieldType::ftString, std::max(1, Widest(column)));
    }
  }
  ~TImportDataSet() override { Close(); }
  TImportDataSet(const TImportDataSet&) = delete;
  TImportDataSet& operator=(const TImportDataSet&) = delete;

  int RecordCount() override { return static_cast<int>(rows_.rows.size()); }
  // The line of the file the current record starts on.
  int CurrentLine() const {
    const TRecordBuffer* buffer = ActiveBuffer();
    return buffer ? rows_.rows.at(RowOf(*buffer)).line : 0;
  }

 protected:
  void InternalOpen() override { position_ = -1; }
  std::size_t RecordBufferSize() const override { return sizeof(std::int32_t) + 1; }
  void InternalFirst() override { position_ = -1; }
  void InternalLast() override { position_ = static_cast<int>(rows_.rows.size()); }

  TGetResult GetRecord(TRecordBuffer& buffer, TGetMode mode, bool) override {
    const int count = static_cast<int>(rows_.rows.size());
    int next = position_;
    if (mode == TGetMode::gmNext) next = std::max(next, -1) + 1;
    if (mode == TGetMode::gmPrior) next = std::min(next, count) - 1;
    if (next < 0 || next >= count) {
      if (mode == TGetMode::gmCurrent) return TGetResult::grError;
      position_ = next < 0 ? -1 : count;
      return next < 0 ? TGetResult::grBOF : TGetResult::grEOF;
    }
    position_ = next;
    const auto row = static_cast<std::int32_t>(next);
    std::memcpy(buffer.data.data(), &row, sizeof row);
    buffer.data[sizeof row] = static_cast<std::uint8_t>(TBookmarkFlag::bfCurrent);
    return TGetResult::grOK;
  }

  TBookmark GetBookmarkData(const TRecordBuffer& buffer) const override {
    return TBookmark(reinterpret_cast<const char*>(buffer.data.data()), sizeof(std::int32_t));
  }
  void SetBookmarkData(TRecordBuffer& buffer, const TBookmark& bookmark) override {
    std::memcpy(buffer.data.data(), bookmark.data(),
                std::min(bookmark.size(), sizeof(std::int32_t)));
  }
  TBookmarkFlag GetBookmarkFlag(const TRecordBuffer& buffer) const override {
    return static_cast<TBookmarkFlag>(buffer.data[sizeof(std::int32_t)]);
  }
  void SetBookmarkFlag(TRecordBuffer& buffer, TBookmarkFlag flag) override {
    buffer.data[sizeof(std::int32_t)] = static_cast<std::uint8_t>(flag);
  }
  void InternalGotoBookmark(const TBookmark& bookmark) override {
    std::int32_t row = -1;
    if (bookmark.size() == sizeof row) std::memcpy(&row, bookmark.data(), sizeof row);
    if (row < 0 || row >= static_cast<int>(rows_.rows.size()))
      DatabaseError("Record not found", this);
    position_ = row;
  }

  bool GetFieldData(const TField* field, const TRecordBuffer& buffer, void* dest) const override {
    const std::size_t index = static_cast<std::size_t>(field->FieldNo() - 1);
    const std::size_t column = mapping_.fieldColumns.at(index).second;
    const std::vector<std::optional<std::string>>& values = rows_.rows.at(RowOf(buffer)).values;
    if (column >= values.size() || !values[column]) return false;
    if (!dest) return true;
    const std::size_t room = field->DataSize();
    std::memset(dest, 0, room);
    if (!binary_[index]) {
      std::memcpy(dest, values[column]->data(), std::min(values[column]->size(), room - 1));
      return true;
    }
    const std::string bytes = Bytes(*values[column], *field);
    const auto length = static_cast<std::uint16_t>(bytes.size());
    std::memcpy(dest, &length, sizeof length);
    std::memcpy(static_cast<char*>(dest) + sizeof length, bytes.data(), bytes.size());
    return true;
  }

 private:
  static constexpr int kMaxBytes = 65535;  // what a var-bytes value holds

  // The bytes a field's hex digits stand for; a value of other characters, or longer than a
  // var-bytes value holds, is refused as a value the field does not take.
  std::string Bytes(const std::string& hex, const TField& field) const {
    std::string bytes;
    for (std::size_t at = 0;
         at + 1 < hex.size() && HexDigit(hex[at]) >= 0 && HexDigit(hex[at + 1]) >= 0; at += 2)
      bytes += static_cast<char>(HexDigit(hex[at]) * 16 + HexDigit(hex[at + 1]));
    if (bytes.size() * 2 != hex.size() || bytes.size() > static_cast<std::size_t>(field.Size()))
      DatabaseError(
          FormatMessage(FormatMessage(dbconsts::SFieldRangeError, hex), field.FieldName()));
    return bytes;
  }

  static std::size_t RowOf(const TRecordBuffer& buffer) {
    std::int32_t row = 0;
    std::memcpy(&row, buffer.data.data(), sizeof row);
    return static_cast<std::size_t>(row);
  }

  int Widest(std::size_t column) const {
    std::size_t widest = 0;
    for (const TImportRow& row : rows_.rows)
      if (column < row.values.size() && row.values[column])
        widest = std::max(widest, row.values[column]->size());
    return static_cast<int>(widest);
  }

  const TImportRows& rows_;
  const TImportMapping& mapping_;
  std::vector<bool> binary_;  // by field: hex digits that stand for bytes
  int position_ = -1;
};

std::size_t ChosenColumn(const TImportRows& rows, const std::string& name) {
  for (std::size_t c = 0; c < rows.columns.size(); ++c)
    if (SameName(rows.columns[c], name)) return c;
  char* end = nullptr;
  const unsigned long number = std::strtoul(name.c_str(), &end, 10);
  if (!name.empty() && *end == '\0' && number >= 1 && number <= rows.columns.size())
    return number - 1;
  DatabaseError("The file has no column '" + name + "'");
}

}  // namespace

TImportRows ParseCsv(const std::string& bytes, const TImportFileOptions& options) {
  const std::string text = CsvText(bytes, options);
  CsvReader reader(text, options.separator);
  TImportRows result;
  std::vector<std::string> fields;
  int line = 0;
  if (options.header && reader.Next(fields, line)) result.columns = ColumnNames(fields);
  while (reader.Next(fields, line)) {
    TImportRow row;
    row.line = line;
    for (std::string& field : fields) row.values.emplace_back(std::move(field));
    for (std::size_t c = result.columns.size(); c < row.values.size(); ++c)
      result.columns.push_back(ColumnName(c));
    result.rows.push_back(std::move(row));
  }
  return result;
}

TImportRows ParseJson(const std::string& utf8) { return JsonReader(utf8).Records(); }

TImportRows ReadImportFile(const std::string& path, const TImportFileOptions& options) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw ETransferFileError(path, false);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw ETransferFileError(path, false);
  return options.format == TImportFormat::ifJson ? ParseJson(bytes) : ParseCsv(bytes, options);
}

TImportMapping MatchColumns(const TImportRows& rows, TDataSet& destination, TImportMatch match,
                            const std::vector<std::string>& chosen) {
  TImportMapping mapping;
  const int fields = destination.FieldCount();
  switch (match) {
    case TImportMatch::imByName:
      for (int f = 0; f < fields; ++f)
        for (std::size_t c = 0; c < rows.columns.size(); ++c)
          if (SameName(rows.columns[c], destination.Fields(f)->FieldName())) {
            mapping.fieldColumns.emplace_back(destination.Fields(f)->FieldName(), c);
            break;
          }
      break;
    case TImportMatch::imByPosition:
      for (int f = 0; f < fields && static_cast<std::size_t>(f) < rows.columns.size(); ++f)
        mapping.fieldColumns.emplace_back(destination.Fields(f)->FieldName(),
                                          static_cast<std::size_t>(f));
      break;
    case TImportMatch::imChosen:
      for (const std::string& line : chosen) {
        const std::size_t equals = line.find('=');
        const std::string field = line.substr(0, equals);
        const std::string column = equals == std::string::npos ? field : line.substr(equals + 1);
        mapping.fieldColumns.emplace_back(destination.FieldByName(field)->FieldName(),
                                          ChosenColumn(rows, column));
      }
      break;
  }
  return mapping;
}

TImportResult ImportRows(const TImportRows& rows, const TImportMapping& mapping,
                         TttTable& destination, const TImportSettings& settings,
                         const TImportProgress& progress) {
  if (mapping.fieldColumns.empty())
    DatabaseError("No column of the file is matched with a field of the table", &destination);
  TImportDataSet source(rows, mapping, destination);
  source.Open();
  std::unique_ptr<TttBatchMove> move(destination.GetBatchMoveClass()(nullptr));
  std::vector<std::string> names;
  for (const auto& pair : mapping.fieldColumns) names.push_back(pair.first);
  move->SetMappings(names);
  move->SetSource(&source);
  move->SetDestination(&destination);
  move->Mode = settings.mode;
  move->AbortOnKeyViol = false;
  move->AbortOnProblem = false;
  move->KeyViolTableName = settings.keyViolTableName;
  move->ProblemTableName = settings.problemTableName;
  TImportResult result;
  move->OnRefused = [&](TttBatchMove*, bool keyViolation, const std::string& reason) {
    // The first line says what happened; the engine's codes follow on the others.
    result.refused.push_back(
        {source.CurrentLine(), keyViolation, reason.substr(0, reason.find('\n'))});
  };
  move->ProgressInterval = kProgressStep;
  move->OnProgress = [&](TttBatchMove*, int processed, bool& abort) {
    if (progress && processed < static_cast<int>(rows.rows.size()) && !progress(processed))
      abort = result.stopped = true;
  };
  move->Execute();
  result.imported = move->MovedCount();
  return result;
}

}  // namespace vader
