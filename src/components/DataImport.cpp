#include "components/DataImport.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>

#include "components/DataExport.h"
#include "framework/DBConsts.h"
#include "framework/DBFields.h"
#include "framework/FrameworkErrors.h"
#include "platform/CodePage.h"
#include "platform/TextCase.h"

namespace vader {
namespace {

constexpr int kProgressStep = 200;  // records between two progress reports

// Column and field names match with letter case aside, as the person's locale compares them.
bool SameName(const std::string& a, const std::string& b) {
  return platform::CompareTextLocale(a, b) == 0;
}

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
