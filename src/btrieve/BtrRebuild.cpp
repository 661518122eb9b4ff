#include "btrieve/BtrRebuild.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "btrieve/BtrConst.h"
#include "btrieve/BtrCreate.h"
#include "btrieve/BtrDbase.h"
#include "btrieve/BtrDict.h"
#include "btrieve/BtrErrs.h"
#include "btrieve/BtrWObj.h"
#include "platform/Bytes.h"
#include "tools/FileSwap.h"

namespace vader {
namespace {

constexpr char kTempPrefix[] = "~REBUILD";

static_assert(offsetof(DictionaryFile, Reserved) == tools::kSwapMarkOffset);

std::string TempName(uint16_t tableId) { return kTempPrefix + std::to_string(tableId); }

// Inserts `rows` into `ddf` with the table id at `offset` replaced by `tableId`.
void InsertRows(TBtrDatabase& db, const char* ddf, size_t offset, uint16_t tableId,
                std::vector<std::vector<uint8_t>> rows) {
  if (rows.empty()) return;  // the file may not even be there (FIELDEXT.DDF)
  TWinBtr file(db.ClientIDRef());
  file.Open(db.Directory() + ddf, kDictionaryOwner, OpenNormal);
  for (std::vector<uint8_t>& row : rows) {
    platform::Store<uint16_t>(row.data() + offset, tableId);
    std::memcpy(file.Buffer(), row.data(),
                std::min(row.size(), static_cast<size_t>(file.BufferSize())));
    file.SetDataLength(file.BufferSize());
    file.Insert();
  }
}

DictionaryFile EntryOf(TBtrDatabase& db, const std::string& name, std::string& path) {
  DictionaryFile entry{};
  path = db.FindTableFile(name.c_str(), entry);
  return entry;
}

// The new field that takes its values from old field `oldName`; nullptr when it is dropped.
const tools::FieldDef* TakerOf(const tools::TableDef& def, const std::string& oldName) {
  for (const tools::FieldDef& field : def.fields)
    if (tools::SameName(field.from.empty() ? field.name : field.from, oldName)) return &field;
  return nullptr;
}

// The field of `fields` (named-index rows aside) that `matches`; nullptr for none.
template <class Match>
const DictionaryField* FindField(const std::vector<DictionaryField>& fields, Match matches) {
  for (const DictionaryField& field : fields)
    if (field.Size != 0 && matches(field)) return &field;
  return nullptr;
}

// The new field id for the override of old field `oldId`: the field taking its values with the
// same Btrieve type, size and decimals, whose bytes therefore mean what they meant. 0: none (a
// field converted into another type holds values of the type it declares).
uint16_t OverrideTaker(const std::vector<DictionaryField>& oldFields,
                       const std::vector<DictionaryField>& newFields, const tools::TableDef& def,
                       uint16_t oldId) {
  const DictionaryField* from =
      FindField(oldFields, [&](const DictionaryField& f) { return f.FieldId == oldId; });
  const tools::FieldDef* taker = from ? TakerOf(def, DictionaryText(from->Name)) : nullptr;
  if (taker == nullptr) return 0;
  const DictionaryField* to = FindField(newFields, [&](const DictionaryField& f) {
    return tools::SameName(DictionaryText(f.Name), taker->name);
  });
  const bool sameBytes = to && to->DataType == from->DataType && to->Size == from->Size &&
                         to->Decimals == from->Decimals;
  return sameBytes ? to->FieldId : 0;
}

// Gives the hidden table the type overrides (FIELDEXT.DDF) of the fields it keeps, so that its
// fields read their bytes as the old ones did; renamed fields keep theirs, dropped fields' go.
void CarryOverrides(TBtrDatabase& db, uint16_t oldId, uint16_t newId, const tools::TableDef& def) {
  std::vector<std::vector<uint8_t>> rows = FieldExtensionRows(db, oldId);
  if (rows.empty()) return;
  const std::vector<DictionaryField> oldFields = FieldEntries(db, oldId);
  const std::vector<DictionaryField> newFields = FieldEntries(db, newId);
  std::vector<std::vector<uint8_t>> kept;
  for (std::vector<uint8_t>& row : rows) {
    if (row.size() < sizeof(DictionaryFieldExt)) continue;
    const uint16_t field =
        OverrideTaker(oldFields, newFields, def,
                      platform::Load<uint16_t>(row.data() + offsetof(DictionaryFieldExt, FieldId)));
    if (field == 0) continue;
    platform::Store<uint16_t>(row.data() + offsetof(DictionaryFieldExt, FieldId), field);
    kept.push_back(std::move(row));
  }
  db.RunInTransaction([&] { InsertRows(db, kFieldExtDdf, 0, newId, std::move(kept)); });
}

}  // namespace

TRebuild BeginRebuild(TBtrDatabase& db, const std::string& name, tools::TableDef def) {
  TRebuild rebuild;
  const DictionaryFile entry = EntryOf(db, name, rebuild.path);  // finishes a marked swap
  rebuild.name = DictionaryText(entry.Name);
  rebuild.tableId = entry.TableId;
  rebuild.tempName = TempName(entry.TableId);
  if (db.IsTableDefined(rebuild.tempName)) db.DeleteTableEntries(rebuild.tempName.c_str());
  tools::DiscardSwapLeftovers(rebuild.path);
  def.name = rebuild.tempName;
  def.location = tools::RebuiltPath(DictionaryText(entry.Location));
  def.flags = static_cast<uint8_t>(entry.Flags | kFileFlagDictionary);  // hidden from lists
  const uint16_t hiddenId = CreateBtrieveTable(db, def).id;
  try {
    CarryOverrides(db, rebuild.tableId, hiddenId, def);
  } catch (...) {
    AbandonRebuild(db, rebuild);
    throw;
  }
  return rebuild;
}

void SwitchToRebuilt(TBtrDatabase& db, const TRebuild& rebuild) {
  std::string tempPath;
  const uint16_t tempId = EntryOf(db, rebuild.tempName, tempPath).TableId;
  auto fields = db.DictionaryRows(kFieldDdf, offsetof(DictionaryField, TableId), tempId);
  auto indexes = db.DictionaryRows(kIndexDdf, 0, tempId);
  auto overrides = FieldExtensionRows(db, tempId);
  db.RunInTransaction([&] {
    db.DeleteTableEntries(rebuild.tempName.c_str());
    db.DeleteDictionaryRows(kFieldDdf, offsetof(DictionaryField, TableId), rebuild.tableId);
    db.DeleteDictionaryRows(kIndexDdf, 0, rebuild.tableId);
    // Overrides name the old fields' ids; the kept ones come with the new fields' ids.
    db.DeleteDictionaryRows(kFieldExtDdf, 0, rebuild.tableId);
    InsertRows(db, kFieldDdf, offsetof(DictionaryField, TableId), rebuild.tableId,
               std::move(fields));
    InsertRows(db, kIndexDdf, 0, rebuild.tableId, std::move(indexes));
    InsertRows(db, kFieldExtDdf, 0, rebuild.tableId, std::move(overrides));
    db.SetEntryMark(rebuild.name, tools::kSwapMarkOffset, tools::kSwapMark);
  });
}

void AbandonRebuild(TBtrDatabase& db, const TRebuild& rebuild) {
  if (db.IsTableDefined(rebuild.tempName)) db.DeleteTableEntries(rebuild.tempName.c_str());
  tools::RemoveDataFile(tools::RebuiltPath(rebuild.path));
}

void FinishTableSwap(TBtrDatabase& db, const std::string& name, const std::string& path) {
  tools::CompleteSwap(path);
  // The old file goes while the mark still says so: cut off here, the next open removes it.
  tools::RemoveDataFile(tools::RetiredPath(path));
  db.SetEntryMark(name, tools::kSwapMarkOffset, 0);
}

}  // namespace vader
