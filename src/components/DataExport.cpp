#include "components/DataExport.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <memory>

#include "framework/DBFields.h"
#include "platform/CodePage.h"

namespace vader {
namespace {

constexpr int kProgressStep = 200;  // records between two progress reports

bool IsTextType(TFieldType type) {
  return type == TFieldType::ftString || type == TFieldType::ftFixedChar ||
         type == TFieldType::ftMemo || type == TFieldType::ftFmtMemo;
}

bool IsDateType(TFieldType type) {
  return type == TFieldType::ftDate || type == TFieldType::ftTime || type == TFieldType::ftDateTime;
}

bool IsNumberType(TFieldType type) {
  switch (type) {
    case TFieldType::ftSmallint:
    case TFieldType::ftInteger:
    case TFieldType::ftWord:
    case TFieldType::ftAutoInc:
    case TFieldType::ftLargeint:
    case TFieldType::ftFloat:
    case TFieldType::ftCurrency:
    case TFieldType::ftBCD:
      return true;
    default:
      return false;
  }
}

std::string Hex(const std::string& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (unsigned char c : bytes) {
    out += kDigits[c >> 4];
    out += kDigits[c & 15];
  }
  return out;
}

// The file being written, under a name of its own beside Path until Keep puts it in Path's
// place: a file that Path named before stays whole when the export stops or fails.
class OutputFile {
 public:
  explicit OutputFile(const std::string& path)
      : path_(path), partial_(path + ".part"), file_(std::fopen(partial_.c_str(), "wb")) {
    if (!file_) throw ETransferFileError(path, true);
  }
  ~OutputFile() {
    if (file_) std::fclose(file_);
    if (!kept_) std::remove(partial_.c_str());
  }
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  void Write(const std::string& text) {
    if (!text.empty() && std::fwrite(text.data(), 1, text.size(), file_) != text.size())
      throw ETransferFileError(path_, true);
  }
  void Keep() {
    const int closed = std::fclose(file_);
    file_ = nullptr;
    if (closed != 0 || std::rename(partial_.c_str(), path_.c_str()) != 0)
      throw ETransferFileError(path_, true);
    kept_ = true;
  }

 private:
  std::string path_;
  std::string partial_;
  std::FILE* file_;
  bool kept_ = false;
};

// One way of writing records: what comes before them, each record, and what ends the file.
class RecordWriter {
 public:
  RecordWriter(TDataSet& data, const TExportOptions& options) : data_(data), options_(options) {}
  virtual ~RecordWriter() = default;
  virtual std::string Begin() { return {}; }
  virtual std::string Record(bool first) = 0;
  virtual std::string End(bool /*any*/) { return {}; }

 protected:
  // The fields exported: every field, or those the storage holds (not calculated ones).
  std::vector<TField*> Fields(bool storedOnly = false) const {
    std::vector<TField*> fields;
    for (int f = 0; f < data_.FieldCount(); ++f)
      if (!storedOnly || !data_.Fields(f)->Calculated()) fields.push_back(data_.Fields(f));
    return fields;
  }

  TDataSet& data_;
  const TExportOptions& options_;
};

class CsvWriter : public RecordWriter {
 public:
  using RecordWriter::RecordWriter;

  std::string Begin() override {
    if (!options_.header) return {};
    std::string line;
    for (TField* field : Fields())
      line += Separated(CsvField(Encoded(*field, field->FieldName()), options_.separator,
                                 options_.quoting == TCsvQuoting::cqAll),
                        line.empty());
    return line + options_.lineEnd;
  }

  std::string Record(bool) override {
    std::string line;
    bool first = true;
    for (TField* field : Fields()) {
      const bool quoted = options_.quoting == TCsvQuoting::cqAll ||
                          (options_.quoting == TCsvQuoting::cqTexts && !field->IsNull() &&
                           (IsTextType(field->DataType()) || IsDateType(field->DataType())));
      line += Separated(CsvField(Encoded(*field, ExportText(*field)), options_.separator, quoted),
                        first);
      first = false;
    }
    return line + options_.lineEnd;
  }

 private:
  std::string Separated(const std::string& text, bool first) const {
    return first ? text : options_.separator + text;
  }
  std::string Encoded(const TField& field, const std::string& text) const {
    return options_.databaseCodePage ? data_.FieldTextToNative(field, text)
                                     : platform::AnsiToUtf8(text);
  }
};

std::string JsonString(const std::string& utf8) {
  std::string out = "\"";
  for (unsigned char c : utf8) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04X", c);
          out += escaped;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

// A number as it is exported, when it is a finite one (infinities and NaN have no literal).
bool NumberLiteral(const TField& field, std::string& literal) {
  literal = ExportText(field);
  if (field.DataType() == TFieldType::ftFloat || field.DataType() == TFieldType::ftCurrency ||
      field.DataType() == TFieldType::ftBCD)
    return std::isfinite(field.AsFloat());
  return !literal.empty();
}

class JsonWriter : public RecordWriter {
 public:
  using RecordWriter::RecordWriter;

  std::string Begin() override { return "["; }

  std::string Record(bool first) override {
    std::string object = first ? options_.lineEnd + "  {" : "," + options_.lineEnd + "  {";
    bool firstField = true;
    for (TField* field : Fields()) {
      object += (firstField ? "" : ", ") + JsonString(platform::AnsiToUtf8(field->FieldName())) +
                ": " + Value(*field);
      firstField = false;
    }
    return object + "}";
  }

  std::string End(bool any) override {
    return (any ? options_.lineEnd : "") + "]" + options_.lineEnd;
  }

 private:
  static std::string Value(const TField& field) {
    if (field.IsNull()) return "null";
    const TFieldType type = field.DataType();
    if (type == TFieldType::ftBoolean) return field.AsBoolean() ? "true" : "false";
    std::string number;
    if (IsNumberType(type) && NumberLiteral(field, number)) return number;
    return JsonString(platform::AnsiToUtf8(ExportText(field)));
  }
};

// A name the statement can hold as it is, else in double quotes.
std::string SqlName(const std::string& name) {
  bool plain = !name.empty() && !std::isdigit(static_cast<unsigned char>(name[0]));
  for (unsigned char c : name) plain = plain && (std::isalnum(c) || c == '_');
  if (plain) return name;
  std::string quoted = "\"";
  for (char c : name) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

std::string SqlString(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("''") : std::string(1, c);
  return out + "'";
}

class SqlWriter : public RecordWriter {
 public:
  SqlWriter(TDataSet& data, const TExportOptions& options) : RecordWriter(data, options) {
    prefix_ = "INSERT INTO " + SqlName(options.tableName) + " (";
    bool first = true;
    for (TField* field : Fields(true)) {
      prefix_ += (first ? "" : ", ") + SqlName(field->FieldName());
      first = false;
    }
    prefix_ += ") VALUES (";
  }

  std::string Record(bool) override {
    std::string statement = prefix_;
    bool first = true;
    for (TField* field : Fields(true)) {
      statement += (first ? "" : ", ") + Value(*field);
      first = false;
    }
    return statement + ");" + options_.lineEnd;
  }

 private:
  static std::string Value(const TField& field) {
    if (field.IsNull()) return "NULL";
    const TFieldType type = field.DataType();
    if (type == TFieldType::ftBoolean) return field.AsBoolean() ? "1" : "0";
    std::string number;
    if (IsNumberType(type) && NumberLiteral(field, number)) return number;
    if (IsBinaryField(type)) return "X'" + Hex(field.AsString()) + "'";
    return SqlString(ExportText(field));
  }

  std::string prefix_;
};

std::unique_ptr<RecordWriter> WriterFor(TDataSet& data, const TExportOptions& options) {
  switch (options.format) {
    case TExportFormat::efJson:
      return std::make_unique<JsonWriter>(data, options);
    case TExportFormat::efSql:
      return std::make_unique<SqlWriter>(data, options);
    case TExportFormat::efCsv:
      break;
  }
  return std::make_unique<CsvWriter>(data, options);
}

// Writes the records from the first; false when the progress callback stopped it.
bool WriteRecords(TDataSet& data, RecordWriter& writer, OutputFile& file,
                  const TExportProgress& progress, int& written) {
  file.Write(writer.Begin());
  for (data.First(); !data.Eof(); data.Next()) {
    file.Write(writer.Record(written == 0));
    ++written;
    if (progress && written % kProgressStep == 0 && !progress(written)) return false;
  }
  file.Write(writer.End(written > 0));
  return true;
}

}  // namespace

std::string CsvField(const std::string& text, char separator, bool quoted) {
  if (!quoted && text.find_first_of(std::string("\"\r\n") + separator) == std::string::npos)
    return text;
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

bool IsBinaryField(TFieldType type) {
  return !IsTextType(type) &&
         (IsBlobType(type) || type == TFieldType::ftBytes || type == TFieldType::ftVarBytes);
}

std::string ExportText(const TField& field) {
  if (field.IsNull()) return {};
  const TFieldType type = field.DataType();
  if (IsBinaryField(type)) return Hex(field.AsString());
  // The grid's form of money and decimals: every decimal of the field's scale.
  if (type == TFieldType::ftFloat || type == TFieldType::ftCurrency || type == TFieldType::ftBCD)
    return field.DisplayText();
  std::string text = field.AsString();
  if (type == TFieldType::ftDateTime && text.size() > 10 && text[10] == ' ') text[10] = 'T';
  return text;
}

std::string ExportFileName(const std::string& path, TExportFormat format) {
  const std::size_t slash = path.rfind('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.empty() || name.find('.', 1) != std::string::npos) return path;
  switch (format) {
    case TExportFormat::efJson:
      return path + ".json";
    case TExportFormat::efSql:
      return path + ".sql";
    case TExportFormat::efCsv:
      break;
  }
  return path + ".csv";
}

TExportResult ExportDataSet(TDataSet& data, const std::string& path, const TExportOptions& options,
                            const TExportProgress& progress) {
  data.CheckBrowseMode();
  OutputFile file(path);
  const std::unique_ptr<RecordWriter> writer = WriterFor(data, options);
  TExportResult result;
  const TBookmark here = data.GetBookmark();
  data.DisableControls();
  try {
    result.stopped = !WriteRecords(data, *writer, file, progress, result.records);
  } catch (...) {
    data.EnableControls();
    throw;
  }
  if (!here.empty() && data.BookmarkValid(here)) data.GotoBookmark(here);
  data.EnableControls();
  if (!result.stopped) file.Keep();
  return result;
}

}  // namespace vader
