// The batch move of BseMain: records of a source dataset appended to, updating, or deleted
// from a destination table, with side tables for refused records.

#include <memory>

#include "components/BseMainTable.h"
#include "framework/DBConsts.h"
#include "framework/FrameworkErrors.h"

namespace vader {

namespace {

constexpr const char* SNoBatchMoveTables = "Batch move needs a source and a destination";
constexpr const char* SNoDestinationIndex = "The destination needs an index for this mode";
constexpr const char* SNoKeySource = "No source field for key field '%s'";

std::string Trimmed(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

using Values = std::vector<std::pair<std::string, TValue>>;

// The values of every field of the dataset's current record, by field name.
Values Capture(const TDataSet& dataSet) {
  Values values;
  for (int i = 0; i < dataSet.FieldCount(); ++i)
    values.emplace_back(dataSet.Fields(i)->FieldName(), dataSet.Fields(i)->Value());
  return values;
}

// Whether a text fits the field whole; the length that counts is that of the bytes stored,
// in the code page of the field's dataset (a letter may take one byte there and two here).
bool FitsInto(const TValue& value, const TField& field) {
  const auto* text = std::get_if<std::string>(&value);
  if (!text || IsBlobType(field.DataType())) return true;
  const bool isText =
      field.DataType() == TFieldType::ftString || field.DataType() == TFieldType::ftFixedChar;
  const bool sized = isText || field.DataType() == TFieldType::ftBytes ||
                     field.DataType() == TFieldType::ftVarBytes;
  if (!sized || field.Size() <= 0) return true;
  const std::size_t stored =
      isText && field.DataSet() ? field.DataSet()->FieldTextToNative(field, *text).size()
                                : text->size();
  return stored <= static_cast<std::size_t>(field.Size());
}

}  // namespace

TttBatchMove::TttBatchMove(TComponent* owner) : TComponent(owner) {}

TttBatchMove::~TttBatchMove() = default;

TDataSet* TttBatchMove::Source() const { return sourceRef_.DataSet(); }

void TttBatchMove::SetSource(TDataSet* source) { sourceRef_.SetDataSet(source); }

TttTable* TttBatchMove::Destination() const {
  return dynamic_cast<TttTable*>(destinationRef_.DataSet());
}

void TttBatchMove::SetDestination(TttTable* destination) {
  destinationRef_.SetDataSet(destination);
}

void TttBatchMove::Notification(TComponent* component, TOperation operation) {
  TComponent::Notification(component, operation);
  if (operation != TOperation::opRemove) return;
  if (component == sourceRef_.DataSet()) SetSource(nullptr);
  if (component == destinationRef_.DataSet()) SetDestination(nullptr);
}

std::vector<TttBatchMove::Pairing> TttBatchMove::Pairings(TDataSet& source,
                                                          TDataSet& destination) const {
  std::vector<Pairing> pairs;
  if (mappings_.empty()) {
    for (int i = 0; i < std::min(source.FieldCount(), destination.FieldCount()); ++i)
      pairs.push_back({destination.Fields(i), source.Fields(i)});
    return pairs;
  }
  for (const std::string& line : mappings_) {
    const std::string mapping = Trimmed(line);
    if (mapping.empty()) continue;
    const std::size_t equals = mapping.find('=');
    const std::string to = Trimmed(mapping.substr(0, equals));
    const std::string from = equals == std::string::npos ? to : Trimmed(mapping.substr(equals + 1));
    pairs.push_back({destination.FieldByName(to), source.FieldByName(from)});
  }
  return pairs;
}

// One execution: the side tables, the open transaction and the counts.
class TttBatchMove::Run {
 public:
  Run(TttBatchMove& move, TDataSet& source, TttTable& destination)
      : move_(move), source_(source), destination_(destination),
        pairs_(move.Pairings(source, destination)) {}

  ~Run() {
    if (inTransaction_) EndTransaction(xendABORT);
  }
  Run(const Run&) = delete;
  Run& operator=(const Run&) = delete;

  void Execute() {
    const TBatchMode mode = move_.Mode;
    if (mode == TBatchMode::batUpdate || mode == TBatchMode::batAppendUpdate ||
        mode == TBatchMode::batDelete)
      FindKeySources();
    keyViol_ = OpenSide(move_.KeyViolTableName);
    problem_ = OpenSide(move_.ProblemTableName);
    if (mode == TBatchMode::batUpdate || mode == TBatchMode::batAppendUpdate)
      changed_ = OpenSide(move_.ChangedTableName);
    // A copy replaces the records of a destination that was there before the move.
    if (mode == TBatchMode::batCopy) EmptyTable(destination_);
    if (move_.CommitCount > 0) BeginTransaction();
    if (move_.RecordCount <= 0) source_.First();
    int processed = 0;
    bool abort = false;
    while (!source_.Eof() && (move_.RecordCount <= 0 || processed < move_.RecordCount) && !abort) {
      MoveRecord(mode);
      ++processed;
      if (move_.CommitCount > 0 && pending_ >= move_.CommitCount) {
        EndTransaction(xendCOMMIT);
        BeginTransaction();
      }
      if (move_.OnProgress && move_.ProgressInterval > 0 && processed % move_.ProgressInterval == 0)
        move_.OnProgress(&move_, processed, abort);
      source_.Next();
    }
    if (inTransaction_) EndTransaction(xendCOMMIT);
    if (move_.OnProgress && !abort) move_.OnProgress(&move_, processed, abort);
  }

  // Records of an open transaction are undone when the move fails: they do not count.
  void Failed() {
    if (!inTransaction_) return;
    EndTransaction(xendABORT);
    move_.movedCount_ -= pending_;
    pending_ = 0;
  }

 private:
  void FindKeySources() {
    const int count = destination_.KeyFieldCount();
    if (count == 0) DatabaseError(SNoDestinationIndex, &destination_);
    for (int i = 0; i < count; ++i) {
      TField* key = nullptr;
      for (int f = 0; f < destination_.FieldCount() && !key; ++f)
        if (destination_.Fields(f)->FieldNo() == destination_.KeyFieldNumber(i))
          key = destination_.Fields(f);
      TField* from = nullptr;
      for (const Pairing& pair : pairs_)
        if (key && pair.destination == key) from = pair.source;
      if (!from)
        DatabaseError(FormatMessage(SNoKeySource, key ? key->FieldName() : std::to_string(i + 1)),
                      &move_);
      keySources_.push_back(from);
    }
  }

  std::unique_ptr<TttTable> OpenSide(const std::string& name) {
    if (name.empty()) return nullptr;
    std::unique_ptr<TttTable> table(move_.CreateTable(nullptr));
    table->SetSessionName(destination_.SessionName());
    table->SetDatabaseName(destination_.DatabaseName());
    table->SetTableName(name);
    table->Open();
    // Like the destination of a copy, a side table holds the records of this move only.
    EmptyTable(*table);
    return table;
  }

  static void EmptyTable(TttTable& table) {
    table.First();
    while (!table.IsEmpty()) table.Delete();
  }

  void BeginTransaction() {
    TBaseDatabase* database = destination_.DBHandle();
    if (!database) return;
    TSessionLock lock(*destination_.DBSession());
    CallEngineObject([&] {
      database->BeginTran(static_cast<uint32_t>(destination_.Database()->TransIsolation()),
                          transaction_);
    });
    inTransaction_ = true;
    pending_ = 0;
  }

  void EndTransaction(uint32_t kind) {
    inTransaction_ = false;
    TBaseDatabase* database = destination_.DBHandle();
    if (!database) return;
    TSessionLock lock(*destination_.DBSession());
    if (kind == xendABORT) {
      try {
        database->EndTran(transaction_, kind);
      } catch (const EVaderEngineError&) {
        // undoing a failed move: the original error is the one reported
      }
      return;
    }
    CallEngineObject([&] { database->EndTran(transaction_, kind); });
    pending_ = 0;
  }

  void MoveRecord(TBatchMode mode) {
    switch (mode) {
      case TBatchMode::batAppend:
      case TBatchMode::batCopy:
        destination_.Append();
        WriteRecord();
        break;
      case TBatchMode::batUpdate:
        if (FindInDestination()) UpdateRecord();
        break;
      case TBatchMode::batAppendUpdate:
        if (FindInDestination()) {
          UpdateRecord();
        } else {
          destination_.Append();
          WriteRecord();
        }
        break;
      case TBatchMode::batDelete:
        if (FindInDestination()) {
          destination_.Delete();
          Counted();
        }
        break;
    }
  }

  bool FindInDestination() {
    std::vector<TValue> key;
    for (const TField* field : keySources_) key.push_back(field->Value());
    return destination_.FindKey(key);
  }

  void UpdateRecord() {
    const Values old = changed_ ? Capture(destination_) : Values{};
    destination_.Edit();
    if (WriteRecord() && changed_) {
      WriteSide(*changed_, old);
      ++move_.changedCount_;
    }
  }

  // Assigns the mapped values to the record being appended or edited and posts it; false
  // when the record went to a side table instead.
  bool WriteRecord() {
    for (const Pairing& pair : pairs_) {
      try {
        const TValue value = pair.source->Value();
        if (!FitsInto(value, *pair.destination)) DatabaseError(RangeMessage(pair), &destination_);
        pair.destination->SetValue(value);
      } catch (const EDatabaseError& e) {
        return Problem(e.what());
      } catch (const ERangeError&) {
        // A number too large for the field is refused as a text too long for it is.
        return Problem(RangeMessage(pair));
      }
    }
    try {
      destination_.Post();
    } catch (const ETDBEngineError& e) {
      destination_.Cancel();
      if (e.ErrorCode() != kStatusKeyViolation && e.ErrorCode() != kStatusDuplicateKey) throw;
      ++move_.keyViolCount_;
      if (move_.OnRefused) move_.OnRefused(&move_, true, e.what());
      if (keyViol_) WriteSide(*keyViol_, Capture(source_));
      if (move_.AbortOnKeyViol) throw;
      return false;
    }
    Counted();
    return true;
  }

  static std::string RangeMessage(const Pairing& pair) {
    return FormatMessage(FormatMessage(dbconsts::SFieldRangeError, pair.source->AsString()),
                         pair.destination->DisplayLabel());
  }

  // A record whose values do not fit: counted, told and kept in the problem table; the move
  // stops (the error raised again) when it aborts on problems. Call only from a handler.
  bool Problem(const std::string& reason) {
    destination_.Cancel();
    ++move_.problemCount_;
    if (move_.OnRefused) move_.OnRefused(&move_, false, reason);
    if (problem_) WriteSide(*problem_, Capture(source_));
    if (move_.AbortOnProblem) throw;
    return false;
  }

  void Counted() {
    ++move_.movedCount_;
    ++pending_;
  }

  // A refused or overwritten record into a side table, field by field name; a value the
  // side table cannot hold stays empty there.
  static void WriteSide(TttTable& side, const Values& values) {
    side.Append();
    for (const auto& [name, value] : values)
      if (TField* field = side.FindField(name)) try {
          if (FitsInto(value, *field)) field->SetValue(value);
        } catch (const EDatabaseError&) {
        }
    try {
      side.Post();
    } catch (...) {
      side.Cancel();
      throw;
    }
  }

  TttBatchMove& move_;
  TDataSet& source_;
  TttTable& destination_;
  std::vector<Pairing> pairs_;
  std::vector<TField*> keySources_;
  std::unique_ptr<TttTable> keyViol_, problem_, changed_;
  TTranHandle transaction_ = nullptr;
  bool inTransaction_ = false;
  int pending_ = 0;
};

void TttBatchMove::Execute() {
  TDataSet* source = Source();
  TttTable* destination = Destination();
  if (!source || !destination) DatabaseError(SNoBatchMoveTables, this);
  movedCount_ = keyViolCount_ = problemCount_ = changedCount_ = 0;
  const bool openedSource = !source->Active();
  const bool openedDestination = !destination->Active();
  const auto closeOpened = [&] {
    if (openedSource) source->Close();
    if (openedDestination) destination->Close();
  };
  try {
    if (openedSource) source->Open();
    // A copy into a table that does not exist yet creates it with the structure of a source
    // that has one (a table or query of a database; rows read from a file have none).
    auto* tableSource = dynamic_cast<TttBDEDataset*>(source);
    if (openedDestination && Mode == TBatchMode::batCopy && tableSource)
      destination->CreateTableLike(*tableSource);
    if (openedDestination) destination->Open();
    source->CheckBrowseMode();
    destination->CheckBrowseMode();
    source->DisableControls();
    destination->DisableControls();
    try {
      Run run(*this, *source, *destination);
      try {
        run.Execute();
      } catch (...) {
        run.Failed();
        throw;
      }
    } catch (...) {
      source->EnableControls();
      destination->EnableControls();
      throw;
    }
    source->EnableControls();
    destination->EnableControls();
  } catch (...) {
    try {
      closeOpened();
    } catch (const std::exception&) {
      // the move's own error is the one reported
    }
    throw;
  }
  closeOpened();
}

}  // namespace vader
