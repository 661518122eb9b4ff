#include "btrieve/BtrCreate.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <stdexcept>
#include <vector>

#include "btrieve/BtrConst.h"
#include "btrieve/BtrDbase.h"
#include "btrieve/BtrDict.h"
#include "btrieve/BtrErrs.h"
#include "btrieve/BtrWObj.h"
#include "engine/BseUtils.h"
#include "platform/Bytes.h"
#include "tools/FileDef.h"
#include "tools/FileSwap.h"
#include "tools/TextLines.h"

namespace vader {
namespace {

constexpr char kDefaultExtension[] = ".BTR";

// Everything a new table is made of; ids are those of the definition it came from, replaced
// by free ones when the entries are written.
struct TableImage {
  DictionaryFile file{};
  std::vector<DictionaryField> fields;
  std::vector<DictionaryIndexSegment> indexSegments;
  std::vector<DictionaryFieldExt> fieldExtensions;
  std::string createBuffer;
};

void SetPaddedText(char* field, size_t size, const std::string& text) {
  std::memset(field, ' ', size);
  std::memcpy(field, text.data(), std::min(size, text.size()));
}

// The highest id of an open dictionary file by its key 0 (which starts with the id); 0 when
// the file is empty.
uint16_t LastId(TWinBtr& file) {
  try {
    file.GetLast();
  } catch (const EVaderBoundryError&) {
    return 0;
  }
  return platform::Load<uint16_t>(file.Buffer());
}

uint16_t NextId(TWinBtr& file, const char* ddf) {
  const uint16_t last = LastId(file);
  if (last == 0xFFFF) RaiseEngineErrorContext(DBIERR_INVALIDTABLECREATE, ddf);
  return static_cast<uint16_t>(last + 1);
}

template <class Row>
void InsertRow(TWinBtr& file, const Row& row) {
  const auto size = static_cast<size_t>(file.BufferSize());
  std::memset(file.Buffer(), 0, size);
  std::memcpy(file.Buffer(), &row, std::min(size, sizeof row));
  file.SetDataLength(file.BufferSize());
  file.Insert();
}

// The INDEX.DDF rows of index `number` of table `tableId`, one per part; every part but the
// last is marked as followed by another.
std::vector<DictionaryIndexSegment> SegmentRows(uint16_t tableId, uint16_t number,
                                                const std::vector<TIndexEntryPart>& parts) {
  std::vector<DictionaryIndexSegment> rows;
  for (size_t p = 0; p < parts.size(); ++p) {
    const bool more = p + 1 < parts.size();
    rows.push_back({tableId, parts[p].fieldId, number, static_cast<uint16_t>(p),
                    static_cast<uint16_t>(parts[p].flags | (more ? tools::kIndexSegmented : 0))});
  }
  return rows;
}

// Replaces every INDEX.DDF entry of table `tableId` by `rows`, in one dictionary transaction.
// Entries keyed on their numbers cannot be changed in place, so they are written anew.
void ReplaceIndexEntries(TBtrDatabase& db, uint16_t tableId,
                         const std::vector<DictionaryIndexSegment>& rows) {
  db.RunInTransaction([&] {
    db.DeleteDictionaryRows(kIndexDdf, 0, tableId);
    TWinBtr indexes(db.ClientIDRef());
    indexes.Open(db.Directory() + kIndexDdf, kDictionaryOwner, OpenNormal);
    for (const DictionaryIndexSegment& row : rows) InsertRow(indexes, row);
  });
}

// Writes the entries of `image` with free ids: FILE.DDF's next table id, FIELD.DDF's next
// field ids (index segments follow their fields).
void InsertEntries(TBtrDatabase& db, TableImage image) {
  const auto open = [&](TWinBtr& file, const char* ddf) {
    file.Open(db.Directory() + ddf, kDictionaryOwner, OpenNormal);
  };
  TWinBtr files(db.ClientIDRef()), fields(db.ClientIDRef()), indexes(db.ClientIDRef());
  open(files, kFileDdf);
  open(fields, kFieldDdf);
  open(indexes, kIndexDdf);
  image.file.TableId = NextId(files, kFileDdf);
  InsertRow(files, image.file);
  std::map<uint16_t, uint16_t> fieldIds;
  uint16_t nextField = NextId(fields, kFieldDdf);
  for (DictionaryField& field : image.fields) {
    if (nextField == 0) RaiseEngineErrorContext(DBIERR_INVALIDTABLECREATE, kFieldDdf);
    fieldIds[field.FieldId] = nextField;
    field.FieldId = nextField++;
    field.TableId = image.file.TableId;
    InsertRow(fields, field);
  }
  for (DictionaryIndexSegment& segment : image.indexSegments) {
    segment.TableId = image.file.TableId;
    segment.FieldId = fieldIds[segment.FieldId];
    InsertRow(indexes, segment);
  }
  if (image.fieldExtensions.empty()) return;
  TWinBtr extensions(db.ClientIDRef());
  open(extensions, kFieldExtDdf);
  for (DictionaryFieldExt& extension : image.fieldExtensions) {
    const auto field = fieldIds.find(extension.FieldId);
    if (field == fieldIds.end()) continue;  // an override of no field of the table
    extension.TableId = image.file.TableId;
    extension.FieldId = field->second;
    InsertRow(extensions, extension);
  }
}

// Creates the data file and the entries of `image`; a failure removes what was made.
void CreateTable(TBtrDatabase& db, const TableImage& image) {
  const std::string name = DictionaryText(image.file.Name);
  if (db.IsTableDefined(name)) RaiseEngineErrorContext(DBIERR_TABLEEXISTS, name);
  const std::string path = db.LocationPath(DictionaryText(image.file.Location));
  TWinBtr file(db.ClientIDRef());
  file.Create(path, image.createBuffer.data(), image.createBuffer.size(), false);
  try {
    db.RunInTransaction([&] { InsertEntries(db, image); });
  } catch (...) {
    tools::RemoveDataFile(path);
    throw;
  }
}

// The image of a definition; field ids are the fields' places (1, 2, ...).
TableImage ImageOf(const tools::TableDef& def) {
  TableImage image;
  SetPaddedText(image.file.Name, sizeof image.file.Name, def.name);
  SetPaddedText(image.file.Location, sizeof image.file.Location, def.location);
  image.file.Flags = def.flags;
  std::map<std::string, uint16_t> ids;
  for (const tools::FieldDef& f : def.fields) {
    DictionaryField field{};
    field.FieldId = static_cast<uint16_t>(image.fields.size() + 1);
    SetPaddedText(field.Name, sizeof field.Name, f.name);
    field.DataType = f.type;
    field.Offset = f.offset;
    field.Size = f.size;
    field.Decimals = f.decimals;
    field.Flags = f.flags;
    ids[tools::AsciiUpper(f.name)] = field.FieldId;
    image.fields.push_back(field);
  }
  for (const tools::IndexDef& index : def.indexes) {
    std::vector<TIndexEntryPart> parts;
    for (const tools::IndexPart& part : index.parts)
      parts.push_back({ids[tools::AsciiUpper(part.field)], part.flags});
    for (const DictionaryIndexSegment& segment : SegmentRows(0, index.number, parts))
      image.indexSegments.push_back(segment);
  }
  image.createBuffer = tools::CreateBuffer(tools::FileDefFor(def));
  return image;
}

// Dictionary records as records of type Row.
template <class Row>
std::vector<Row> RowsAs(const std::vector<std::vector<uint8_t>>& records) {
  std::vector<Row> rows;
  for (const std::vector<uint8_t>& bytes : records) {
    Row row{};
    std::memcpy(&row, bytes.data(), std::min(bytes.size(), sizeof row));
    rows.push_back(row);
  }
  return rows;
}

// The rows of `ddf` of `db` that belong to table `tableId`, as records of type Row.
template <class Row>
std::vector<Row> RowsOfTable(TBtrDatabase& db, const char* ddf, size_t idOffset,
                             uint16_t tableId) {
  return RowsAs<Row>(db.DictionaryRows(ddf, idOffset, tableId));
}

std::vector<tools::FieldDef> FieldsOf(TBtrDatabase& db, uint16_t tableId) {
  std::vector<tools::FieldDef> fields;
  for (const DictionaryField& row : FieldEntries(db, tableId)) {
    if (row.Size == 0) continue;  // named-index and constraint rows are no fields
    tools::FieldDef f;
    f.id = row.FieldId;
    f.name = DictionaryText(row.Name);
    f.type = row.DataType;
    f.offset = row.Offset;
    f.size = row.Size;
    f.decimals = row.Decimals;
    f.flags = row.Flags;
    fields.push_back(f);
  }
  return fields;
}

std::vector<tools::IndexDef> IndexesOf(TBtrDatabase& db, const tools::TableDef& def) {
  auto rows = RowsOfTable<DictionaryIndexSegment>(db, kIndexDdf, 0, def.id);
  std::stable_sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) {
    return std::pair(a.IndexNumber, a.SegmentNumber) < std::pair(b.IndexNumber, b.SegmentNumber);
  });
  std::vector<tools::IndexDef> indexes;
  for (const DictionaryIndexSegment& row : rows) {
    if (indexes.empty() || indexes.back().number != row.IndexNumber)
      indexes.push_back({row.IndexNumber, {}});
    std::string field = "#" + std::to_string(row.FieldId);
    for (const tools::FieldDef& f : def.fields)
      if (f.id == row.FieldId) field = f.name;
    indexes.back().parts.push_back(
        {field, static_cast<uint16_t>(row.Flags & ~tools::kIndexSegmented)});
  }
  return indexes;
}

std::vector<DictionaryFieldExt> ExtensionsOf(TBtrDatabase& db, uint16_t tableId) {
  return RowsAs<DictionaryFieldExt>(FieldExtensionRows(db, tableId));
}

// Makes `db`'s FIELDEXT.DDF like `source`'s when it has none; answers whether it made one.
bool ProvideExtensionFile(TBtrDatabase& db, TBtrDatabase& source) {
  const std::string path = db.Directory() + kFieldExtDdf;
  TWinBtr file(db.ClientIDRef());
  try {
    file.Open(path, kDictionaryOwner, OpenReadOnly);
    return false;
  } catch (const EBtrieveEngineError& e) {
    if (e.NativeError() != B_FILE_NOT_FOUND) throw;
  }
  TWinBtr like(source.ClientIDRef());
  like.Open(source.Directory() + kFieldExtDdf, kDictionaryOwner, OpenReadOnly);
  like.CreateLike(path);
  return true;
}

}  // namespace

TOwnerLevel OwnerLevelOfFileFlags(uint16_t fileFlags) {
  if (!(fileFlags & tools::kFileOwnerName)) return TOwnerLevel::None;
  if (fileFlags & tools::kFileOwnerLevelUnknown) return TOwnerLevel::NotRecorded;
  const bool readOnly = fileFlags & tools::kFileOwnerReadOnly;
  if (fileFlags & tools::kFileEncrypted)
    return readOnly ? TOwnerLevel::ReadOnlyWithoutNameEncrypted
                    : TOwnerLevel::NameForAnyAccessEncrypted;
  return readOnly ? TOwnerLevel::ReadOnlyWithoutName : TOwnerLevel::NameForAnyAccess;
}

namespace {

// Opens the data file for reading with the table's owner name; a name that does not fit may
// still leave reading open without one (access levels 1 and 3).
void OpenForReading(TWinBtr& file, const std::string& path, const std::string& owner) {
  try {
    file.Open(path, owner, OpenReadOnly);
  } catch (const EBtrieveEngineError& e) {
    if (e.NativeError() != B_INVALID_OWNER || owner.empty()) throw;
    file.Open(path, {}, OpenReadOnly);
  }
}

// Reads the data file's record length, page size, record count and owner level into
// `description`; a file that cannot be read leaves them unknown.
void DescribeDataFile(TBtrDatabase& db, const std::string& path, const std::string& owner,
                      TTableDescription& description) {
  tools::TableDef& def = description.def;
  try {
    TWinBtr file(db.ClientIDRef());
    OpenForReading(file, path, owner);
    uint8_t stat[kStatAreaSize] = {};
    file.GetStat(stat);
    const auto fileFlags = platform::Load<uint16_t>(stat + 10);
    def.recordLength = static_cast<uint16_t>(file.GetRecordLength());
    def.pageSize = static_cast<uint16_t>(file.GetPageSize());
    def.variable = (fileFlags & tools::kFileVariable) != 0;
    description.records = file.GetRecordCount();
    description.ownerLevel = OwnerLevelOfFileFlags(fileFlags);
  } catch (const EBtrieveEngineError& e) {
    // Only the owner name opens the file: it guards reading as well as changing.
    if (e.NativeError() == B_INVALID_OWNER) description.ownerLevel = TOwnerLevel::NameForAnyAccess;
  } catch (const EVaderEngineError&) {
    // A missing file still has its dictionary description.
  }
}

}  // namespace

TTableDescription DescribeBtrieveTable(TBtrDatabase& db, const std::string& name) {
  TTableDescription description;
  tools::TableDef& def = description.def;
  DictionaryFile entry{};
  const std::string path = db.FindTableFile(name.c_str(), entry);
  def.id = entry.TableId;
  def.name = DictionaryText(entry.Name);
  def.location = DictionaryText(entry.Location);
  def.flags = entry.Flags;
  def.fields = FieldsOf(db, def.id);
  def.indexes = IndexesOf(db, def);
  DescribeDataFile(db, path, TableNameOption(name, ";OWNER:").value_or(""), description);
  return description;
}

tools::TableDef CreateBtrieveTable(TBtrDatabase& db, tools::TableDef def) {
  try {
    tools::ValidateTable(def);
  } catch (const std::invalid_argument& e) {
    RaiseEngineErrorContext(DBIERR_INVALIDTABLECREATE, e.what());
  }
  CreateTable(db, ImageOf(def));
  DictionaryFile entry{};
  db.FindTableFile(def.name.c_str(), entry);
  def.id = entry.TableId;
  return def;
}

void CreateBtrieveTableLike(TBtrDatabase& db, TBtrTable& source, const std::string& name,
                            const std::string& location) {
  auto* sourceDb = dynamic_cast<TBtrDatabase*>(source.Owner());
  if (sourceDb == nullptr || source.HasResource())
    RaiseEngineErrorContext(DBIERR_INVALIDTABLECREATE, source.GetTableName());
  DictionaryFile sourceEntry{};
  std::memcpy(&sourceEntry, source.FileRecord(), sizeof sourceEntry);
  TableImage image;
  SetPaddedText(image.file.Name, sizeof image.file.Name, name);
  SetPaddedText(image.file.Location, sizeof image.file.Location,
                location.empty() ? name + kDefaultExtension : location);
  image.fields = RowsOfTable<DictionaryField>(*sourceDb, kFieldDdf,
                                              offsetof(DictionaryField, TableId),
                                              sourceEntry.TableId);
  image.indexSegments =
      RowsOfTable<DictionaryIndexSegment>(*sourceDb, kIndexDdf, 0, sourceEntry.TableId);
  image.fieldExtensions = ExtensionsOf(*sourceDb, sourceEntry.TableId);
  uint8_t stat[kStatAreaSize] = {};
  source.Btr().GetStat(stat);
  image.createBuffer.assign(reinterpret_cast<const char*>(stat), sizeof stat);
  const bool madeExtensionFile =
      !image.fieldExtensions.empty() && ProvideExtensionFile(db, *sourceDb);
  try {
    CreateTable(db, image);
  } catch (...) {
    if (madeExtensionFile) tools::RemoveDataFile(db.Directory() + kFieldExtDdf);
    throw;
  }
}

std::vector<DictionaryField> FieldEntries(TBtrDatabase& db, uint16_t tableId) {
  return RowsOfTable<DictionaryField>(db, kFieldDdf, offsetof(DictionaryField, TableId), tableId);
}

std::vector<std::vector<uint8_t>> FieldExtensionRows(TBtrDatabase& db, uint16_t tableId) {
  try {
    return db.DictionaryRows(kFieldExtDdf, 0, tableId);
  } catch (const EBtrieveEngineError& e) {
    if (e.NativeError() == B_FILE_NOT_FOUND) return {};  // a dictionary without overrides
    throw;
  }
}

std::vector<DictionaryIndexSegment> IndexEntriesOf(TBtrDatabase& db, uint16_t tableId) {
  return RowsOfTable<DictionaryIndexSegment>(db, kIndexDdf, 0, tableId);
}

void AddIndexEntries(TBtrDatabase& db, uint16_t tableId, uint16_t number,
                     const std::vector<TIndexEntryPart>& parts) {
  std::vector<DictionaryIndexSegment> rows;
  for (const DictionaryIndexSegment& row : IndexEntriesOf(db, tableId))
    if (row.IndexNumber != number) rows.push_back(row);
  for (const DictionaryIndexSegment& row : SegmentRows(tableId, number, parts)) rows.push_back(row);
  ReplaceIndexEntries(db, tableId, rows);
}

void DropIndexEntries(TBtrDatabase& db, uint16_t tableId, uint16_t number) {
  std::vector<DictionaryIndexSegment> rows;
  for (DictionaryIndexSegment row : IndexEntriesOf(db, tableId)) {
    if (row.IndexNumber == number) continue;
    if (row.IndexNumber > number) --row.IndexNumber;
    rows.push_back(row);
  }
  ReplaceIndexEntries(db, tableId, rows);
}

void RestoreIndexEntries(TBtrDatabase& db, uint16_t tableId,
                         const std::vector<DictionaryIndexSegment>& entries) {
  ReplaceIndexEntries(db, tableId, entries);
}

}  // namespace vader
