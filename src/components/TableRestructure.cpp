#include "components/TableRestructure.h"

#include <memory>
#include <vector>

#include "btrieve/BtrDbase.h"
#include "btrieve/BtrRebuild.h"
#include "components/BtrMainTable.h"
#include "framework/DBConsts.h"

namespace vader {

const char* const SRestructureStopped = "The restructure was stopped";
const char* const SRestructureCountMismatch =
    "The new table holds %s records instead of all the old ones; the table was left unchanged";

namespace {

struct Pairing {
  TField* to;
  TField* from;
};

std::unique_ptr<TtbTable> OpenTable(const std::string& database, const std::string& name) {
  auto table = std::make_unique<TtbTable>();
  table->SetDatabaseName(database);
  table->SetTableName(name);
  table->SetExclusive(true);  // nobody else writes the old file while it is copied
  table->Open();
  return table;
}

// A text value longer than a sized text field would be cut: it does not convert.
bool TextFits(const TValue& value, const TField& field) {
  const auto* text = std::get_if<std::string>(&value);
  const bool sized =
      field.DataType() == TFieldType::ftString || field.DataType() == TFieldType::ftFixedChar;
  return !text || !sized || field.Size() <= 0 || text->size() <= static_cast<size_t>(field.Size());
}

// One copy of the records into the hidden table of the new structure.
class Copier {
 public:
  Copier(TtbTable& from, TtbTable& to, const tools::TableDef& def,
         const TRestructureOptions& options)
      : from_(from), to_(to), options_(options) {
    for (int i = 0; i < to.FieldCount(); ++i) {
      const tools::FieldDef* field = def.Field(to.Fields(i)->FieldName());
      const std::string source = field && !field->from.empty() ? field->from
                                                               : to.Fields(i)->FieldName();
      if (TField* old = from.FindField(source)) pairs_.push_back({to.Fields(i), old});
    }
  }

  TRestructureResult Run() {
    const int64_t total = from_.RecordCount();
    TRestructureResult result;
    Transaction transaction(to_);
    for (from_.First(); !from_.Eof(); from_.Next()) {
      // Insert, not Append: an append first reads the last rows of the new table again.
      to_.Insert();
      for (const Pairing& pair : pairs_) CopyValue(pair, result);
      to_.Post();
      ++result.records;
      if (result.records % options_.commitCount == 0) transaction.Restart();
      if (result.records % options_.progressInterval == 0) Progress(result.records, total);
    }
    transaction.Commit();
    Progress(result.records, total);
    return result;
  }

 private:
  // Writes in transactions of many records: far fewer synchronous commits.
  class Transaction {
   public:
    explicit Transaction(TtbTable& table) : table_(table) { Begin(); }
    ~Transaction() {
      if (!active_) return;
      try {
        End(xendABORT);
      } catch (const std::exception&) {
        // the copy's own error is the one reported
      }
    }
    void Restart() {
      End(xendCOMMIT);
      Begin();
    }
    void Commit() { End(xendCOMMIT); }

   private:
    void Begin() {
      TSessionLock lock(*table_.DBSession());
      CallEngineObject([&] { table_.DBHandle()->BeginTran(0, handle_); });
      active_ = true;
    }
    void End(uint32_t kind) {
      active_ = false;
      TSessionLock lock(*table_.DBSession());
      CallEngineObject([&] { table_.DBHandle()->EndTran(handle_, kind); });
    }
    TtbTable& table_;
    TTranHandle handle_ = nullptr;
    bool active_ = false;
  };

  void CopyValue(const Pairing& pair, TRestructureResult& result) {
    if (pair.from->IsNull()) return;
    const TValue value = pair.from->Value();
    std::string reason;
    try {
      if (!TextFits(value, *pair.to))
        DatabaseError(FormatMessage(FormatMessage(dbconsts::SFieldRangeError, pair.from->AsString()),
                                    pair.to->DisplayLabel()));
      pair.to->SetValue(value);
      return;
    } catch (const EDatabaseError& e) {
      reason = e.what();
    }
    const TBadValue bad{result.records + 1, pair.to->FieldName(), pair.from->AsString(), reason};
    if (!options_.onBadValue || options_.onBadValue(bad) == TBadValueAction::Stop)
      DatabaseError(reason);
    pair.to->Clear();
    ++result.blanked;
  }

  void Progress(int64_t done, int64_t total) {
    if (!options_.onProgress) return;
    bool stop = false;
    options_.onProgress(done, total, stop);
    if (stop) DatabaseError(SRestructureStopped);
  }

  TtbTable& from_;
  TtbTable& to_;
  const TRestructureOptions& options_;
  std::vector<Pairing> pairs_;
};

TBtrDatabase& BtrieveDatabase(TtbTable& table) {
  auto* db = dynamic_cast<TBtrDatabase*>(table.DBHandle());
  if (db == nullptr) DatabaseError(dbconsts::SDataSetClosed, &table);
  return *db;
}

// Copies into the hidden table and checks the count; the new table is closed afterwards.
TRestructureResult CopyInto(TtbTable& source, const std::string& database, const TRebuild& rebuild,
                            const tools::TableDef& def, const TRestructureOptions& options) {
  std::unique_ptr<TtbTable> target = OpenTable(database, rebuild.tempName);
  const TRestructureResult result = Copier(source, *target, def, options).Run();
  if (target->RecordCount() != result.records || source.RecordCount() != result.records)
    DatabaseError(FormatMessage(SRestructureCountMismatch, std::to_string(target->RecordCount())));
  target->Close();
  return result;
}

}  // namespace

TRestructureResult RestructureTable(const std::string& databaseName, const std::string& tableName,
                                    const tools::TableDef& requested,
                                    const TRestructureOptions& options) {
  const tools::TableDef def = tools::LaidOut(requested);
  // Opening the table finishes a swap an earlier restructure left half done.
  std::unique_ptr<TtbTable> source = OpenTable(databaseName, tableName);
  TBtrDatabase& db = BtrieveDatabase(*source);
  TRebuild rebuild;
  {
    TSessionLock lock(*source->DBSession());
    CallEngineObject([&] { rebuild = BeginRebuild(db, tableName, def); });
  }
  TRestructureResult result;
  try {
    result = CopyInto(*source, databaseName, rebuild, def, options);
    TSessionLock lock(*source->DBSession());
    CallEngineObject([&] { SwitchToRebuilt(db, rebuild); });
  } catch (...) {
    TSessionLock lock(*source->DBSession());
    try {
      AbandonRebuild(db, rebuild);
    } catch (const std::exception&) {
      // the leftovers go with the next restructure; the failure is the one reported
    }
    throw;
  }
  source->Close();
  // The next open puts the new file in place; this one does it at once.
  OpenTable(databaseName, tableName)->Close();
  return result;
}

}  // namespace vader
