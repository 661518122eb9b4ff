#include "tools/Dictionary.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <stdexcept>

#include "microkernel/FileNames.h"
#include "microkernel/ServerLocation.h"
#include "tools/FileSwap.h"
#include "tools/NativeTypes.h"
#include "tools/Records.h"

namespace vader::tools {
namespace {

constexpr const char* kFileDdf = "FILE.DDF";
constexpr const char* kFieldDdf = "FIELD.DDF";
constexpr const char* kIndexDdf = "INDEX.DDF";
// Field type overrides: table id, field id and the type the driver reads the field as.
constexpr const char* kFieldExtDdf = "FIELDEXT.DDF";
constexpr size_t kFieldExtRecordSize = 6;
constexpr uint16_t kDictionaryPage = 512;
// FIELD.DDF rows that are not columns: named-index and constraint-name rows.
constexpr uint8_t kNamedIndexRow = 255;
constexpr uint8_t kConstraintRow = 227;
// INDEX.DDF's key on table id, index number and part.
constexpr int8_t kIndexPartKey = 2;

void PutText(Bytes& record, size_t offset, size_t size, const std::string& text) {
  Bytes padded = text.substr(0, size);
  padded.resize(size, ' ');
  record.replace(offset, size, padded);
}

FieldDef Field(const char* name, uint8_t type, uint16_t offset, uint16_t size, uint16_t flags = 0) {
  FieldDef f;
  f.name = name;
  f.type = type;
  f.offset = offset;
  f.size = size;
  f.flags = flags;
  return f;
}

IndexDef Index(uint16_t number, uint16_t flags, std::vector<std::string> fields,
               uint16_t lastPartExtra = 0) {
  IndexDef index;
  index.number = number;
  for (const std::string& f : fields) index.parts.push_back({f, flags});
  index.parts.back().flags |= lastPartExtra;
  return index;
}

TableDef System(const char* name, const char* location, std::vector<FieldDef> fields,
                std::vector<IndexDef> indexes) {
  TableDef t;
  t.name = name;
  t.location = location;
  t.flags = kTableDictionary;
  t.pageSize = kDictionaryPage;
  t.fields = std::move(fields);
  t.indexes = std::move(indexes);
  return t;
}

// The data types whose FIELDEXT.DDF override the driver looks up.
bool MayHaveExtension(uint8_t type) {
  return type == kTypeString || type == kTypeInteger || type == kTypeFloat ||
         type == kTypeDecimal || type == kTypeUnsigned;
}

// Every record of `ddf` whose 2-byte table id at `idOffset` is `id`, found through key `key`
// (which starts with that id), in key order.
template <typename Visit>
void ForTable(BtrFile& ddf, int8_t key, size_t idOffset, uint16_t id, Visit visit) {
  Bytes keyBuf(kKeyBufferSize, '\0'), record;
  WriteLe(keyBuf, 0, 2, id);
  for (int16_t s = ddf.Get(kOpGetGreaterEqual, key, keyBuf, record);
       s == 0 && ReadLe(record, idOffset, 2) == id; s = ddf.Get(kOpGetNext, key, keyBuf, record))
    if (!visit(record)) break;
}

// Deletes every record of table `id` from `ddf`.
void DeleteRows(BtrFile& ddf, int8_t key, size_t idOffset, uint16_t id) {
  bool found = true;
  while (found) {
    found = false;
    ForTable(ddf, key, idOffset, id, [&](const Bytes&) {
      ddf.Delete(key);
      found = true;
      return false;
    });
  }
}

}  // namespace

Bytes FileRecord(const TableDef& t) {
  Bytes r(kFileRecordSize, '\0');
  WriteLe(r, 0, 2, t.id);
  PutText(r, 2, kTableNameSize, t.name);
  PutText(r, 22, kLocationSize, t.location);
  r[86] = static_cast<char>(t.flags);
  return r;
}

Bytes FieldRecord(const FieldDef& f, uint16_t tableId) {
  Bytes r(kFieldRecordSize, '\0');
  WriteLe(r, 0, 2, f.id);
  WriteLe(r, 2, 2, tableId);
  PutText(r, 4, kFieldNameSize, f.name);
  r[24] = static_cast<char>(f.type);
  WriteLe(r, 25, 2, f.offset);
  WriteLe(r, 27, 2, f.size);
  r[29] = static_cast<char>(f.decimals);
  WriteLe(r, 30, 2, f.flags);
  return r;
}

Bytes IndexRecord(uint16_t tableId, uint16_t fieldId, uint16_t number, uint16_t part,
                  uint16_t flags) {
  Bytes r(kIndexRecordSize, '\0');
  WriteLe(r, 0, 2, tableId);
  WriteLe(r, 2, 2, fieldId);
  WriteLe(r, 4, 2, number);
  WriteLe(r, 6, 2, part);
  WriteLe(r, 8, 2, flags);
  return r;
}

std::string TrimmedText(const Bytes& record, size_t offset, size_t size) {
  std::string s = offset < record.size() ? record.substr(offset, size) : "";
  s = s.substr(0, s.find('\0'));
  const size_t end = s.find_last_not_of(' ');
  return end == std::string::npos ? "" : s.substr(0, end + 1);
}

std::vector<TableDef> SystemTables() {
  const uint16_t kMod = kIndexModifiable, kDup = kIndexDuplicates, kNc = kIndexNoCase;
  return {
      System(
          "X$File", kFileDdf,
          {Field("Xf$Id", kTypeUnsigned, 0, 2), Field("Xf$Name", kTypeString, 2, 20, kFieldNoCase),
           Field("Xf$Loc", kTypeString, 22, 64), Field("Xf$Flags", kTypeUnsigned, 86, 1),
           Field("Xf$Reserved", kTypeString, 87, 10)},
          {Index(0, 0, {"Xf$Id"}), Index(1, kMod | kNc, {"Xf$Name"})}),
      System("X$Field", kFieldDdf,
             {Field("Xe$Id", kTypeUnsigned, 0, 2), Field("Xe$File", kTypeUnsigned, 2, 2),
              Field("Xe$Name", kTypeString, 4, 20, kFieldNoCase),
              Field("Xe$DataType", kTypeUnsigned, 24, 1), Field("Xe$Offset", kTypeUnsigned, 25, 2),
              Field("Xe$Size", kTypeUnsigned, 27, 2), Field("Xe$Dec", kTypeUnsigned, 29, 1),
              Field("Xe$Flags", kTypeUnsigned, 30, 2)},
             {Index(0, 0, {"Xe$Id"}), Index(1, kDup, {"Xe$File"}),
              Index(2, kDup | kMod | kNc, {"Xe$Name"}), Index(3, kMod, {"Xe$File", "Xe$Name"}, kNc),
              Index(4, kDup | kMod, {"Xe$File", "Xe$Offset", "Xe$Dec"})}),
      System("X$Index", kIndexDdf,
             {Field("Xi$File", kTypeUnsigned, 0, 2), Field("Xi$Field", kTypeUnsigned, 2, 2),
              Field("Xi$Number", kTypeUnsigned, 4, 2), Field("Xi$Part", kTypeUnsigned, 6, 2),
              Field("Xi$Flags", kTypeUnsigned, 8, 2)},
             {Index(0, kDup, {"Xi$File"}), Index(1, kDup, {"Xi$Field"}),
              Index(2, 0, {"Xi$File", "Xi$Number", "Xi$Part"})}),
  };
}

Dictionary::Dictionary(std::string directory, std::string owner)
    : directory_(std::move(directory)), owner_(std::move(owner)) {
  if (!microkernel::IsServerLocation(directory_) &&
      !std::filesystem::exists(microkernel::FindIgnoringCase(DdfPath(kFileDdf))))
    throw std::invalid_argument("no dictionary in " + directory_ + " (FILE.DDF is missing)");
}

void Dictionary::Create(const std::string& directory, const std::string& owner, int level,
                        bool replace) {
  if (!microkernel::IsServerLocation(directory)) std::filesystem::create_directories(directory);
  const std::vector<TableDef> system = SystemTables();
  for (const TableDef& t : system)
    CreateFromDef(directory + "/" + t.location, FileDefFor(t), replace);
  Dictionary dictionary(directory);
  for (const TableDef& t : system) dictionary.Define(t, false, false);
  if (owner.empty()) return;
  for (const TableDef& t : system) {
    BtrFile file(directory + "/" + t.location, "", -4);
    file.SetOwner(owner, level);
  }
}

std::string Dictionary::DdfPath(const char* name) const { return directory_ + "/" + name; }

std::string Dictionary::Resolve(const std::string& location) const {
  std::string path = location;
  for (char& c : path)
    if (c == '\\') c = '/';
  return !path.empty() && path[0] == '/' ? path : directory_ + "/" + path;
}

uint16_t Dictionary::NextId(const char* ddf) const {
  BtrFile file(DdfPath(ddf), owner_, -2);
  Bytes key(kKeyBufferSize, '\0'), record;
  if (file.Get(kOpGetLast, 0, key, record) != 0) return 1;
  const uint64_t last = ReadLe(record, 0, 2);
  if (last >= 0xFFFF) throw std::runtime_error(std::string(ddf) + " has no free id left");
  return static_cast<uint16_t>(last + 1);
}

TableDef Dictionary::FromFileRecord(const Bytes& record) {
  TableDef t;
  t.id = static_cast<uint16_t>(ReadLe(record, 0, 2));
  t.name = TrimmedText(record, 2, kTableNameSize);
  t.location = TrimmedText(record, 22, kLocationSize);
  t.flags = record.size() > 86 ? static_cast<uint8_t>(record[86]) : 0;
  return t;
}

std::vector<TableDef> Dictionary::Tables(bool includeDictionary) const {
  BtrFile file(DdfPath(kFileDdf), owner_, -2);
  std::vector<TableDef> tables;
  Bytes key(kKeyBufferSize, '\0'), record;
  for (int16_t s = file.Get(kOpGetFirst, 0, key, record); s == 0;
       s = file.Get(kOpGetNext, 0, key, record)) {
    TableDef t = FromFileRecord(record);
    if (includeDictionary || !(t.flags & kTableDictionary)) tables.push_back(t);
  }
  return tables;
}

void Dictionary::LoadFields(TableDef& t) const {
  BtrFile file(DdfPath(kFieldDdf), owner_, -2);
  ForTable(file, 1, 2, t.id, [&](const Bytes& r) {
    if (r.size() < kFieldRecordSize) return true;  // not a field row of this layout
    const uint8_t type = static_cast<uint8_t>(r[24]);
    if (type == kNamedIndexRow || type == kConstraintRow) return true;
    FieldDef f;
    f.id = static_cast<uint16_t>(ReadLe(r, 0, 2));
    f.name = TrimmedText(r, 4, kFieldNameSize);
    f.type = type;
    f.offset = static_cast<uint16_t>(ReadLe(r, 25, 2));
    f.size = static_cast<uint16_t>(ReadLe(r, 27, 2));
    f.decimals = static_cast<uint8_t>(r[29]);
    f.flags = static_cast<uint16_t>(ReadLe(r, 30, 2));
    t.fields.push_back(f);
    return true;
  });
}

std::vector<Bytes> Dictionary::IndexRows(uint16_t tableId) const {
  const std::string path = DdfPath(kIndexDdf);
  const FileDef def = StatFile(path, owner_);
  const bool byPart = std::any_of(def.keys.begin(), def.keys.end(),
                                  [](const KeyDef& k) { return k.number == kIndexPartKey; });
  BtrFile file(path, owner_, -2);
  std::vector<Bytes> rows;
  ForTable(file, byPart ? kIndexPartKey : 0, 0, tableId, [&](const Bytes& r) {
    if (r.size() >= kIndexRecordSize) rows.push_back(r);
    return true;
  });
  // Older tools wrote INDEX.DDF with its first key only: its rows come in the order they were
  // added, so they are put in index and part order here.
  const auto numberAndPart = [](const Bytes& r) {
    return std::pair(ReadLe(r, 4, 2), ReadLe(r, 6, 2));
  };
  if (!byPart)
    std::stable_sort(rows.begin(), rows.end(), [&](const Bytes& a, const Bytes& b) {
      return numberAndPart(a) < numberAndPart(b);
    });
  return rows;
}

void Dictionary::LoadIndexes(TableDef& t) const {
  std::map<uint16_t, std::string> names;
  for (const FieldDef& f : t.fields) names[f.id] = f.name;
  for (const Bytes& r : IndexRows(t.id)) {
    const uint16_t number = static_cast<uint16_t>(ReadLe(r, 4, 2));
    const uint16_t fieldId = static_cast<uint16_t>(ReadLe(r, 2, 2));
    if (t.indexes.empty() || t.indexes.back().number != number) {
      t.indexes.emplace_back();
      t.indexes.back().number = number;
    }
    const auto it = names.find(fieldId);
    const std::string name = it == names.end() ? "#" + std::to_string(fieldId) : it->second;
    const uint16_t flags = static_cast<uint16_t>(ReadLe(r, 8, 2)) & ~kIndexSegmented;
    t.indexes.back().parts.push_back({name, flags});
  }
}

void Dictionary::ApplyFieldExtensions(TableDef& t) const {
  BtrFile file;
  try {
    file.Open(DdfPath(kFieldExtDdf), owner_, -2);
  } catch (const BtrieveError& e) {
    if (e.Status() == kStatusFileNotFound) return;  // a dictionary without overrides
    throw;
  }
  for (FieldDef& f : t.fields) {
    if (!MayHaveExtension(f.type)) continue;
    Bytes key(kKeyBufferSize, '\0'), record;
    WriteLe(key, 0, 2, t.id);
    WriteLe(key, 2, 2, f.id);
    if (file.Get(kOpGetEqual, 0, key, record) != 0 || record.size() < kFieldExtRecordSize)
      continue;
    // Only the low byte fits a field's data type; overrides are 0 to 255.
    if (const uint64_t type = ReadLe(record, 4, 2); type <= 0xFF)
      f.type = static_cast<uint8_t>(type);
  }
}

TableDef Dictionary::Table(const std::string& name) const {
  if (name.empty() || name.size() > kTableNameSize)
    throw std::invalid_argument("table name '" + name + "' must have 1 to 20 characters");
  BtrFile file(DdfPath(kFileDdf), owner_, -2);
  Bytes key = name, record;
  key.resize(kTableNameSize, ' ');
  if (file.Get(kOpGetEqual, 1, key, record) != 0)
    throw std::invalid_argument("no table " + name + " in the dictionary " + directory_);
  TableDef t = FromFileRecord(record);
  LoadFields(t);
  LoadIndexes(t);
  try {
    const FileDef def = StatFile(Resolve(t.location), owner_);
    t.pageSize = def.pageSize;
    t.variable = def.flags & kFileVariable;
    t.recordLength = def.recordLength;
  } catch (const BtrieveError&) {
    // A table whose data file is missing or guarded by another owner is still described.
  }
  return t;
}

void Dictionary::Insert(const TableDef& t) const {
  BtrFile files(DdfPath(kFileDdf), owner_);
  BtrFile fields(DdfPath(kFieldDdf), owner_);
  BtrFile indexes(DdfPath(kIndexDdf), owner_);
  Transaction txn;
  Bytes record = FileRecord(t);
  files.Insert(record);
  for (const FieldDef& f : t.fields) {
    record = FieldRecord(f, t.id);
    fields.Insert(record);
  }
  for (const IndexDef& index : t.indexes)
    for (size_t p = 0; p < index.parts.size(); ++p) {
      const bool more = p + 1 < index.parts.size();
      const uint16_t flags = index.parts[p].flags | (more ? kIndexSegmented : 0);
      record = IndexRecord(t.id, t.Field(index.parts[p].field)->id, index.number,
                           static_cast<uint16_t>(p), flags);
      indexes.Insert(record);
    }
  txn.Commit();
}

TableDef Dictionary::Define(TableDef t, bool createFile, bool replaceFile) {
  ValidateTable(t);
  for (const TableDef& existing : Tables(true))
    if (SameName(existing.name, t.name))
      throw std::invalid_argument("table " + t.name + " is already defined");
  t.id = NextId(kFileDdf);
  uint16_t fieldId = NextId(kFieldDdf);
  for (FieldDef& f : t.fields) f.id = fieldId++;
  if (!createFile) {
    Insert(t);
    return t;
  }
  const std::string path = Resolve(t.location);
  CreateFromDef(path, FileDefFor(t), replaceFile);
  try {
    Insert(t);
  } catch (...) {
    // Entries that could not be written leave no data file behind them.
    if (!microkernel::IsServerLocation(path)) RemoveDataFile(path);
    throw;
  }
  return t;
}

void Dictionary::Drop(const std::string& name, bool deleteFile) {
  const TableDef t = Table(name);
  if (t.flags & kTableDictionary)
    throw std::invalid_argument(t.name + " is a dictionary table and cannot be dropped");
  {
    BtrFile files(DdfPath(kFileDdf), owner_);
    BtrFile fields(DdfPath(kFieldDdf), owner_);
    BtrFile indexes(DdfPath(kIndexDdf), owner_);
    Transaction txn;
    DeleteRows(files, 0, 0, t.id);
    DeleteRows(fields, 1, 2, t.id);
    DeleteRows(indexes, 0, 0, t.id);
    txn.Commit();
  }
  if (deleteFile) std::filesystem::remove(Resolve(t.location));
}

}  // namespace vader::tools
