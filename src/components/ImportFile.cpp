#include "components/ImportFile.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <iterator>

#include "components/DataExport.h"
#include "platform/CodePage.h"

namespace vader {
namespace {

std::string ColumnName(std::size_t index) { return "Column " + std::to_string(index + 1); }

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

}  // namespace

// The value of a hex digit, -1 for another character.
int HexDigit(char c) {
  const auto u = static_cast<unsigned char>(c);
  if (!std::isxdigit(u)) return -1;
  return std::isdigit(u) ? c - '0' : (c | 0x20) - 'a' + 10;
}

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

}  // namespace vader
