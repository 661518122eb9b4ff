#include "components/TableRestructure.h"

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include "btrieve/BtrCopyPlan.h"
#include "btrieve/BtrDbase.h"
#include "btrieve/BtrRebuild.h"
#include "btrieve/BtrTable.h"
#include "components/BtrMainTable.h"
#include "engine/BseErrs.h"
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

// A table component whose fields read and write a record image that the copy holds instead of
// the dataset's own buffers: a value converts exactly as the field converts it, while the
// records themselves move through the cursor, never read back.
class TImageTable : public TtbTable {
 public:
  TBtrTable& Cursor() const {
    auto* cursor = dynamic_cast<TBtrTable*>(Handle());
    if (cursor == nullptr) DatabaseError(dbconsts::SDataSetClosed, this);
    return *cursor;
  }
  // The description of data field `field` in the cursor's layout; nullptr for none.
  const FieldDesc* DescOf(const TField& field) const {
    TVaderFieldCache& cache = Cursor().FieldCache();
    const int number = field.FieldNo();
    return number >= 1 && number <= cache.Count() ? &cache.GetItem(number).Desc() : nullptr;
  }
  // An image of one record of this table, all zero.
  TRecordBuffer EmptyImage() const {
    TRecordBuffer image;
    image.data.assign(RecordBufferSize(), 0);
    return image;
  }
  // Puts the table in insert state and answers the new record as the engine initialises it.
  TRecordBuffer BlankImage() {
    Insert();
    return *ActiveBuffer();
  }
  // The fields read and write `image` (nullptr: the dataset's buffers again).
  void Show(TRecordBuffer* image) { image_ = image; }

 protected:
  TRecordBuffer* CurrentRecordBuffer() const override {
    return image_ != nullptr ? image_ : TtbTable::CurrentRecordBuffer();
  }

 private:
  TRecordBuffer* image_ = nullptr;
};

std::unique_ptr<TImageTable> OpenTable(const std::string& database, const std::string& name) {
  auto table = std::make_unique<TImageTable>();
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

// Runs a cursor request under the session's lock, with its error in the components' terms.
template <class F>
void OnCursor(TImageTable& table, F&& request) {
  TSessionLock lock(*table.DBSession());
  CallEngineObject(std::forward<F>(request));
}

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

// One copy of the records into the hidden table of the new structure, record by record through
// the cursors: the fields that keep their storage move as bytes, widened texts are re-encoded,
// the others convert through the fields.
class Copier {
 public:
  Copier(TImageTable& from, TImageTable& to, const tools::TableDef& def,
         const TRestructureOptions& options)
      : from_(from), to_(to), options_(options) {
    oldImage_ = from.EmptyImage();
    blank_ = to.BlankImage();
    newImage_ = blank_;
    for (int i = 0; i < to.FieldCount(); ++i) {
      const tools::FieldDef* field = def.Field(to.Fields(i)->FieldName());
      const std::string source = field && !field->from.empty() ? field->from
                                                               : to.Fields(i)->FieldName();
      if (TField* old = from.FindField(source)) Plan({to.Fields(i), old});
    }
  }
  ~Copier() {
    from_.Show(nullptr);
    to_.Show(nullptr);
    try {
      // The cursors read and write their own buffers again.
      from_.Cursor().SetDataBuffer(nullptr);
      to_.Cursor().SetDataBuffer(nullptr);
      to_.Cancel();
    } catch (const std::exception&) {
      // the tables are closed next; the copy's result or error is the one reported
    }
  }
  Copier(const Copier&) = delete;
  Copier& operator=(const Copier&) = delete;

  TRestructureResult Run() {
    const int64_t total = from_.RecordCount();
    TRestructureResult result;
    from_.Show(&oldImage_);
    to_.Show(&newImage_);
    Transaction transaction(to_);
    for (bool more = Read(true); more; more = Read(false)) {
      std::copy(blank_.data.begin(), blank_.data.end(), newImage_.data.begin());
      plan_.Apply(oldImage_.data.data(), newImage_.data.data());
      for (const Pairing& pair : converted_) CopyValue(pair, result);
      OnCursor(to_, [&] { to_.Cursor().InsertRecord(dbiNOLOCK, newImage_.data.data()); });
      ++result.records;
      if (result.records % options_.commitCount == 0) transaction.Restart();
      if (result.records % options_.progressInterval == 0) Progress(result.records, total);
    }
    transaction.Commit();
    Progress(result.records, total);
    return result;
  }

 private:
  // A field keeping its storage moves as bytes, a text into a text field at least as large is
  // re-encoded natively. A binary value that ends the record is written through its field,
  // which stores the record as long as the value.
  void Plan(const Pairing& pair) {
    const FieldDesc* from = from_.DescOf(*pair.from);
    const FieldDesc* to = to_.DescOf(*pair.to);
    // A field reaching past the record the cursor reads is left to the fields' own checks.
    const bool inside = from && to && TCopyPlan::End(*from) <= from_.Cursor().GetRecordSize() &&
                        TCopyPlan::End(*to) <= to_.Cursor().GetRecordSize();
    const bool endsRecord =
        inside && to->FieldType == fldBLOB && to->FieldNumber == to_.Cursor().FieldCache().Count();
    if (inside && !endsRecord && TCopyPlan::SameStorage(*from, *to))
      plan_.AddMove(*from, *to);
    else if (inside && TCopyPlan::TextWidens(*from, *to))
      plan_.AddText(*from, *to);
    else
      converted_.push_back(pair);
  }

  // Reads the first or the next record of the old table, in physical order.
  bool Read(bool first) {
    bool found = true;
    OnCursor(from_, [&] {
      TBtrTable& cursor = from_.Cursor();
      cursor.SetDataBuffer(oldImage_.data.data());
      try {
        first ? cursor.FirstPhysical() : cursor.NextPhysical();
      } catch (const EVaderEOFError&) {
        found = false;
      }
    });
    return found;
  }

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

  TImageTable& from_;
  TImageTable& to_;
  const TRestructureOptions& options_;
  TCopyPlan plan_;
  std::vector<Pairing> converted_;
  TRecordBuffer oldImage_, blank_, newImage_;
};

TBtrDatabase& BtrieveDatabase(TtbTable& table) {
  auto* db = dynamic_cast<TBtrDatabase*>(table.DBHandle());
  if (db == nullptr) DatabaseError(dbconsts::SDataSetClosed, &table);
  return *db;
}

// Copies into the hidden table and checks the count; the new table is closed afterwards.
TRestructureResult CopyInto(TImageTable& source, const std::string& database,
                            const TRebuild& rebuild, const tools::TableDef& def,
                            const TRestructureOptions& options) {
  std::unique_ptr<TImageTable> target = OpenTable(database, rebuild.tempName);
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
  std::unique_ptr<TImageTable> source = OpenTable(databaseName, tableName);
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
