#include "btrieve/BtrRebuild.h"

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
  CreateBtrieveTable(db, def);
  return rebuild;
}

void SwitchToRebuilt(TBtrDatabase& db, const TRebuild& rebuild) {
  std::string tempPath;
  const uint16_t tempId = EntryOf(db, rebuild.tempName, tempPath).TableId;
  auto fields = db.DictionaryRows(kFieldDdf, offsetof(DictionaryField, TableId), tempId);
  auto indexes = db.DictionaryRows(kIndexDdf, 0, tempId);
  db.RunInTransaction([&] {
    db.DeleteTableEntries(rebuild.tempName.c_str());
    db.DeleteDictionaryRows(kFieldDdf, offsetof(DictionaryField, TableId), rebuild.tableId);
    db.DeleteDictionaryRows(kIndexDdf, 0, rebuild.tableId);
    // Overrides name the old fields' ids; the new fields carry their own types.
    db.DeleteDictionaryRows(kFieldExtDdf, 0, rebuild.tableId);
    InsertRows(db, kFieldDdf, offsetof(DictionaryField, TableId), rebuild.tableId,
               std::move(fields));
    InsertRows(db, kIndexDdf, 0, rebuild.tableId, std::move(indexes));
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
