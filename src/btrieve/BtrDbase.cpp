#include "btrieve/BtrDbase.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "btrieve/Bseres.h"
#include "btrieve/BtrCreate.h"
#include "btrieve/BtrRebuild.h"
#include "btrieve/BtrConst.h"
#include "btrieve/BtrErrs.h"
#include "btrieve/BtrWObj.h"
#include "engine/BseUtils.h"
#include "platform/Bytes.h"
#include "tools/FileSwap.h"

namespace vader {
namespace {

// Characters of a location that count when it is resolved.
constexpr size_t kLocationCharsUsed = 63;
constexpr size_t kMaxDictionaryNameLength = 19;

// The table name proper: the text before the first ";".
std::string NameProper(const char* name) {
  const std::string text = name ? name : "";
  return text.substr(0, text.find(';'));
}

bool IsAbsolute(const std::string& path) {
  return path.find(':') != std::string::npos || (!path.empty() && IsSeparator(path[0]));
}

// Creates a dictionary list with `args` and opens it: with the driver's owner name of
// dictionaries, and when its files are guarded by another one, with the owner name given with
// the table name `name` (the one a database copied from another system was protected with).
template <typename List, typename... Args>
std::unique_ptr<List> OpenDictionaryList(const char* name, const Args&... args) {
  std::unique_ptr<List> list(TBaseTable::Create<List>(args...));
  std::optional<std::string> owner;
  try {
    list->OpenCursor();
    return list;
  } catch (const EBtrieveEngineError& e) {
    owner = name ? TableNameOption(name, ";OWNER:") : std::nullopt;
    if (e.NativeError() != B_INVALID_OWNER || !owner || owner->empty()) throw;
  }
  list.reset(TBaseTable::Create<List>(args..., std::string_view(*owner)));
  list->OpenCursor();
  return list;
}

// Position of the first separator; npos when there is none.
size_t FirstSeparator(const std::string& path) { return path.find_first_of("\\/"); }

// Every entry of an open field list, from its start.
std::vector<DictionaryField> ReadFieldEntries(TBtrFieldListTable& list) {
  std::vector<DictionaryField> entries;
  try {
    for (;;) {
      DictionaryField entry{};
      list.ReadNextEntry(TMoveDirection::Forward, entry);
      entries.push_back(entry);
    }
  } catch (const EVaderBoundryError&) {
  }
  return entries;
}

void CopyFieldCache(TVaderFieldCache& from, TVaderFieldCache& to) {
  to.Clear();
  for (int n = 1; n <= from.Count(); ++n) {
    const TFieldCacheItem& item = from.GetItem(n);
    TFieldCacheItem::Create(to, item.Desc(), item.FieldNumber(), item.LocalType(),
                            item.LocalSize());
  }
}

// The entry in the buffer of `file`, zero-filled past a short record.
DictionaryFile EntryOf(TWinBtr& file) {
  DictionaryFile entry{};
  std::memcpy(&entry, file.Buffer(),
              std::min<size_t>(static_cast<size_t>(file.BufferSize()), sizeof entry));
  return entry;
}

// Positions `files` (FILE.DDF, open) on the first entry named `name`; false when none is.
bool SeekEntry(TWinBtr& files, const std::string& name, const std::string& codePage) {
  try {
    for (files.GetFirst();; files.GetNext()) {
      const DictionaryFile entry = EntryOf(files);
      if (SameDictionaryName(DictionaryText(entry.Name), name, codePage)) return true;
    }
  } catch (const EVaderBoundryError&) {
    return false;
  }
}

// Runs `work` inside a Btrieve transaction of `clientId` unless the database already has one
// (which then holds the work), so that entries in several files go together or not at all.
template <class F>
void InTransaction(const uint8_t* clientId, bool active, F&& work) {
  if (active) return work();
  TWinBtr transaction(clientId);
  transaction.BeginTransaction(true);
  try {
    work();
  } catch (...) {
    transaction.AbortTransaction();
    throw;
  }
  transaction.EndTransaction();
}

}  // namespace

TBtrDatabase::TBtrDatabase(TBapiListItem* session, TVaderCollection* collection,
                           const DatabaseDesc* desc, uint32_t openMode, uint32_t shareMode,
                           const char* password, uint16_t optParamCount,
                           const FieldDesc* optParamDescs, const void* optParams,
                           const uint8_t* clientId)
    : TBaseDatabase(session, collection, desc, openMode, shareMode, password, optParamCount,
                    optParamDescs, optParams),
      clientId_(clientId) {}

TBtrDatabase::~TBtrDatabase() = default;

std::string TBtrDatabase::Directory() const {
  std::string dir = BoundedString(Desc().PhysicalPath);
  // A Linux directory given a Windows-style trailing backslash (aliases get one) ends in "/".
  if (dir.size() > 1 && dir.back() == '\\' && dir.find('/') != std::string::npos &&
      dir.find('\\') == dir.size() - 1)
    dir.back() = '/';
  return WithSeparator(dir);
}

void TBtrDatabase::SetDirectory(const char* dir) {
  TWinBtr(clientId_).SetDirectory(CheckParam(dir));
}

void TBtrDatabase::GetDirectory(char* dir) {
  TWinBtr(clientId_).GetDirectory(CheckParam(dir), kMaxPathLength);
}

// ---- tables ----

void TBtrDatabase::OpenTable(const char* name, const char* /*driverType*/, const char* indexName,
                             const char* /*indexTagName*/, uint16_t /*indexId*/, uint32_t openMode,
                             uint32_t shareMode, uint32_t /*translateMode*/,
                             bool /*uniDirectional*/, const void* /*optParams*/,
                             TBaseTable*& cursor) {
  cursor = nullptr;
  CheckParam(name);
  std::unique_ptr<TBtrTable> table(TBaseTable::Create<TBtrTable>(this, &Tables(), name, indexName,
                                                                 openMode, shareMode, clientId_));
  const std::string proper = table->GetTableName();
  std::string path;
  bool fromResource = false;
  if (table->HasResource() && IsBtrievePath(proper)) {
    fromResource = TTblResReader(*table).ReadDefinition(table->ResourceName());
    if (fromResource)
      path = IsAbsolute(proper) ? proper : Directory() + proper;
    else
      table->DropResource();
  }
  if (!fromResource) path = FindTableFile(*table, name);
  table->SetFileName(path.c_str());
  table->OpenCursor();
  try {
    if (!fromResource) {
      DictionaryFile record{};
      std::memcpy(&record, table->FileRecord(), sizeof record);
      LoadFieldDefinitions(*table, name, record.TableId);
    }
    table->RegisterBlobFields();
    CursorProps props{};
    table->GetCursorProps(props);  // the record buffer takes the field layout's size
    if (table->Btr().KeyCount() > 0)
      table->SwitchToIndex(indexName != nullptr && indexName[0] != '\0' ? indexName : nullptr,
                           nullptr, 0, false);
  } catch (const EVaderEngineError&) {
    table->CloseCursor();
    throw;
  }
  cursor = table.release();
}

void TBtrDatabase::OpenTableList(bool extended, bool system, const char* /*wild*/,
                                 TBaseTable*& cursor) {
  cursor = nullptr;
  std::unique_ptr<TBtrTblListTable> list(TBaseTable::Create<TBtrTblListTable>(
      this, &Tables(), Directory(), clientId_, extended, system));
  list->OpenCursor();
  cursor = list.release();
}

void TBtrDatabase::OpenFieldList(const char* tableName, const char* /*driverType*/,
                                 bool /*physTypes*/, TBaseTable*& cursor) {
  cursor = OpenFieldList(CheckParam(tableName), nullptr);
}

TBaseTable* TBtrDatabase::OpenFieldList(const char* name, const DictionaryFile* fileRecord) {
  if (const auto resource = TableNameOption(CheckParam(name), ";RES:")) {
    try {
      std::unique_ptr<TResFieldListTable> list(
          TBaseTable::Create<TResFieldListTable>(this, &Tables(), resource->c_str()));
      list->OpenCursor();
      return list.release();
    } catch (const EVaderEngineError&) {
      // No usable resource: the dictionary describes the table.
    }
  }
  DictionaryFile record{};
  if (fileRecord != nullptr)
    record = *fileRecord;
  else
    FindTableFile(name, record);
  return OpenDictionaryList<TBtrFieldListTable>(name, this, &Tables(), Directory(), clientId_,
                                                record)
      .release();
}

// ---- dictionary routines ----

std::string TBtrDatabase::ResolveLocation(const std::string& name,
                                          const DictionaryFile& entry) const {
  const std::string location = DictionaryText(entry.Location).substr(0, kLocationCharsUsed);
  if (!DirectoryPart(location).empty()) {
    // A relative location with a subdirectory lies below the database directory.
    const size_t separator = FirstSeparator(location);
    const bool relative =
        location.find(':') == std::string::npos && separator != std::string::npos && separator > 0;
    return relative ? Directory() + location : location;
  }
  const std::string nameDirectory = DirectoryPart(name);
  if (nameDirectory.empty()) return Directory() + location;
  return IsAbsolute(nameDirectory) ? nameDirectory + location
                                   : Directory() + nameDirectory + location;
}

std::string TBtrDatabase::FindTableFile(const char* name, DictionaryFile& record) {
  record = DictionaryFile{};
  const std::string proper = NameProper(CheckParam(name));
  TBaseTable* open = nullptr;
  try {
    FindOpenTable(proper.c_str(), open);
  } catch (const EVaderEngineError&) {
    open = nullptr;  // not open in this database
  }
  if (auto* btr = dynamic_cast<TBtrBaseTable*>(open);
      btr != nullptr && btr->GetDriverDataSize() == sizeof record) {
    std::memcpy(&record, btr->FileRecord(), sizeof record);
    return btr->GetFileName();
  }

  const bool byFileName = IsBtrievePath(proper);
  const std::unique_ptr<TBtrTblListTable> list = OpenDictionaryList<TBtrTblListTable>(
      name, this, nullptr, Directory(), clientId_, false, true);
  try {
    for (;;) {
      DictionaryFile entry{};
      list->ReadNextEntry(TMoveDirection::Forward, entry);
      const std::string location = ResolveLocation(proper, entry);
      const bool match =
          byFileName
              ? SameDictionaryName(FileNamePart(location), FileNamePart(proper), TextCodePage())
              : SameDictionaryName(DictionaryText(entry.Name), proper, TextCodePage());
      if (!match) continue;
      // A restructure that switched the dictionary but was cut off before its files changed
      // places is finished before anyone reads the file.
      if (entry.Reserved[0] == tools::kSwapMark) {
        FinishTableSwap(*this, DictionaryText(entry.Name), location);
        entry.Reserved[0] = 0;
      }
      record = entry;
      return proper.find(':') != std::string::npos || IsAbsolute(proper) ? proper : location;
    }
  } catch (const EVaderBoundryError&) {
  }
  record = DictionaryFile{};
  BtrieveErrorText(B_TABLE_NOT_DEFINED, proper);
}

std::string TBtrDatabase::FindTableFile(TBtrBaseTable& table, const char* name) {
  DictionaryFile record{};
  std::string path = FindTableFile(name, record);
  std::memcpy(table.FileRecord(), &record, sizeof record);
  return path;
}

TBtrBaseTable* TBtrDatabase::OpenTableWithFields(const TBtrBaseTable& like) {
  for (int i = 0; i < Tables().Count(); ++i) {
    auto* table = dynamic_cast<TBtrBaseTable*>(Tables().At(i));
    if (table == nullptr || table == &like || table->State() == TCursorState::Closed ||
        table->FieldCache().Count() == 0 || table->GetFileName()[0] == '\0')
      continue;
    // Fields are shared only between tables that take them from the same place.
    if (table->HasResource() != like.HasResource() ||
        (like.HasResource() && !SameText(table->ResourceName(), like.ResourceName())))
      continue;
    if (SameDictionaryName(table->GetTableName(), like.GetTableName(), TextCodePage()))
      return table;
  }
  return nullptr;
}

void TBtrDatabase::LoadFieldDefinitions(TBtrTable& table, const char* name, uint16_t tableId) {
  if (TBtrBaseTable* other = OpenTableWithFields(table)) {
    CopyFieldCache(other->FieldCache(), table.FieldCache());
    return;
  }
  DictionaryFile record{};
  std::memcpy(&record, table.FileRecord(), sizeof record);
  record.TableId = tableId;
  std::unique_ptr<TBaseTable> list(OpenFieldList(name, &record));
  auto* fields = dynamic_cast<TBtrFieldListTable*>(list.get());
  if (fields == nullptr) {
    CopyFieldCache(list->FieldCache(), table.FieldCache());  // a resource's fields
    return;
  }
  table.DropResource();  // a resource named with the table could not be read
  TVaderFieldCache& cache = table.FieldCache();
  cache.Clear();
  uint16_t n = 0;
  for (const DictionaryField& entry : ReadFieldEntries(*fields)) {
    FieldDesc desc{};
    uint16_t localType = 0, localSize = 0;
    table.LoadFieldDesc(++n, &entry, desc, localType, localSize);
    TFieldCacheItem::Create(cache, desc, n, localType, localSize);
  }
}

std::vector<DictionaryField> TBtrDatabase::FieldEntries(const char* name,
                                                        const DictionaryFile& record) {
  return ReadFieldEntries(*OpenDictionaryList<TBtrFieldListTable>(name, this, &Tables(),
                                                                  Directory(), clientId_, record));
}

void TBtrDatabase::DeleteTableEntries(const char* name) {
  const std::string proper = NameProper(CheckParam(name));
  TWinBtr files(clientId_);
  files.Open(Directory() + kFileDdf, kDictionaryOwner, OpenNormal);
  InTransaction(clientId_, TranState() == xsACTIVE, [&] {
    if (!SeekEntry(files, proper, TextCodePage())) BtrieveErrorText(B_TABLE_NOT_DEFINED, proper);
    const uint16_t tableId = EntryOf(files).TableId;
    files.Delete();
    DeleteDictionaryRows(kFieldDdf, 2, tableId);
    DeleteDictionaryRows(kIndexDdf, 0, tableId);
    DeleteDictionaryRows(kFieldExtDdf, 0, tableId);
  });
}

void TBtrDatabase::RenameTableEntry(const char* oldName, const char* newName) {
  const std::string proper = NameProper(CheckParam(oldName));
  const std::string replacement =
      NameProper(CheckParam(newName)).substr(0, kMaxDictionaryNameLength);
  TWinBtr files(clientId_);
  // The owner name opens dictionaries that need it and is harmless on those that do not.
  files.Open(Directory() + kFileDdf, kDictionaryOwner, OpenNormal);
  // Names are unique whatever their padding, which the file's key cannot see.
  const std::string codePage = TextCodePage();
  if (!SameDictionaryName(proper, replacement, codePage) && SeekEntry(files, replacement, codePage))
    RaiseEngineErrorContext(DBIERR_TABLEEXISTS, replacement);
  if (!SeekEntry(files, proper, codePage)) BtrieveErrorText(B_TABLE_NOT_DEFINED, proper);
  const int32_t position = files.GetPosition();
  files.LockNext();
  files.GetDirect(position);
  DictionaryFile entry = EntryOf(files);
  // The new name is padded as the old one was, with NULs or with blanks, so that the name key
  // compares it with the other entries.
  const bool nulPadded = std::memchr(entry.Name, '\0', sizeof entry.Name) != nullptr;
  std::memset(entry.Name, nulPadded ? '\0' : ' ', sizeof entry.Name);
  std::memcpy(entry.Name, replacement.data(), replacement.size());
  std::memcpy(files.Buffer(), &entry, offsetof(DictionaryFile, Location));
  files.Update();
}

void TBtrDatabase::DeleteDictionaryRows(const char* file, size_t offset, uint16_t tableId) {
  TWinBtr btr(clientId_);
  try {
    btr.Open(Directory() + file, kDictionaryOwner, OpenNormal);
  } catch (const EBtrieveEngineError& e) {
    if (e.NativeError() == B_FILE_NOT_FOUND) return;  // the dictionary has no such file
    throw;
  }
  const auto matches = [&] {
    return btr.BufferSize() >= static_cast<int32_t>(offset + 2) &&
           platform::Load<uint16_t>(btr.Buffer() + offset) == tableId;
  };
  // A read that fails ends the pass; a delete that fails is reported, not skipped.
  try {
    btr.GetFirst();
  } catch (const EVaderEngineError&) {
    return;
  }
  for (;;) {
    if (matches()) btr.Delete();
    try {
      btr.GetNext();
    } catch (const EVaderEngineError&) {
      return;
    }
  }
}

std::vector<std::vector<uint8_t>> TBtrDatabase::DictionaryRows(const char* file, size_t offset,
                                                               uint16_t tableId) {
  TWinBtr btr(clientId_);
  btr.Open(Directory() + file, kDictionaryOwner, OpenReadOnly);
  std::vector<std::vector<uint8_t>> rows;
  try {
    for (btr.GetFirst();; btr.GetNext())
      if (btr.BufferSize() >= static_cast<int32_t>(offset + 2) &&
          platform::Load<uint16_t>(btr.Buffer() + offset) == tableId)
        rows.emplace_back(btr.Buffer(), btr.Buffer() + btr.BufferSize());
  } catch (const EVaderBoundryError&) {
  }
  return rows;
}

void TBtrDatabase::SetEntryMark(const std::string& name, size_t offset, uint8_t mark) {
  TWinBtr files(clientId_);
  files.Open(Directory() + kFileDdf, kDictionaryOwner, OpenNormal);
  const std::string proper = NameProper(name.c_str());
  if (!SeekEntry(files, proper, TextCodePage())) BtrieveErrorText(B_TABLE_NOT_DEFINED, proper);
  if (files.BufferSize() <= static_cast<int32_t>(offset))
    RaiseEngineErrorContext(DBIERR_FILECORRUPT, kFileDdf);  // an entry without reserved bytes
  files.Buffer()[offset] = mark;
  files.SetDataLength(files.BufferSize());
  files.Update();
}

bool TBtrDatabase::IsTableDefined(const std::string& name) {
  TWinBtr files(clientId_);
  files.Open(Directory() + kFileDdf, kDictionaryOwner, OpenReadOnly);
  return SeekEntry(files, NameProper(name.c_str()), TextCodePage());
}

std::string TBtrDatabase::LocationPath(const std::string& location) const {
  DictionaryFile entry{};
  std::memcpy(entry.Location, location.data(), std::min(location.size(), sizeof entry.Location));
  return ResolveLocation("", entry);
}

void TBtrDatabase::RunInTransaction(const std::function<void()>& work) {
  if (TranState() == xsACTIVE) return work();
  // The database's own transaction, so that the dictionary routines run inside it join it.
  TTranHandle transaction = nullptr;
  BeginTran(0, transaction);
  try {
    work();
  } catch (...) {
    try {
      EndTran(transaction, xendABORT);
    } catch (const EVaderEngineError&) {
      // the work's own failure is the one reported
    }
    throw;
  }
  EndTran(transaction, xendCOMMIT);
}

void TBtrDatabase::CreateTableLike(TBaseTable* source, const char* name, const char* location) {
  auto* btrieve = dynamic_cast<TBtrTable*>(CheckParam(source));
  if (btrieve == nullptr) RaiseEngineErrorContext(DBIERR_INVALIDTABLECREATE, CheckParam(name));
  CreateBtrieveTableLike(*this, *btrieve, NameProper(CheckParam(name)), location ? location : "");
}

void TBtrDatabase::RenameTable(const char* oldName, const char* newName) {
  RenameTableEntry(oldName, newName);
}

void TBtrDatabase::DeleteTable(const char* name) { DeleteTableEntries(name); }

// ---- transactions ----

void TBtrDatabase::BeginTran(uint32_t /*isolation*/, TTranHandle& transaction) {
  if (tranState_ == xsACTIVE) RaiseEngineError(DBIERR_ACTIVETRAN);
  TWinBtr(clientId_).BeginTransaction(true);
  transaction = this;
  tranState_ = xsACTIVE;
}

void TBtrDatabase::EndTran(TTranHandle /*transaction*/, uint32_t endKind) {
  TWinBtr btr(clientId_);
  // The transaction is over whatever the record manager answers.
  tranState_ = xsINACTIVE;
  if (endKind == xendABORT)
    btr.AbortTransaction();
  else
    btr.EndTransaction();
}

}  // namespace vader
