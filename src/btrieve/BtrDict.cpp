#include "btrieve/BtrDict.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "btrieve/BtrConst.h"
#include "btrieve/BtrConv.h"
#include "btrieve/BtrErrs.h"
#include "engine/BseUtils.h"
#include "platform/CodePage.h"
#include "platform/TextCase.h"

namespace vader {
namespace {

constexpr int8_t kTableIdKey = 1;
// Key length given with the first FIELD.DDF lookup: the table id and two bytes after it.
constexpr int32_t kTableIdKeyLength = 4;
constexpr int32_t kFieldExtKeyLength = 6;

// Data types whose FIELDEXT.DDF override is looked up.
bool MayHaveExtension(uint8_t type) {
  return type == BT_STRING || type == BT_INTEGER || type == BT_FLOAT || type == BT_DECIMAL ||
         type == BT_UNSIGNED_BINARY;
}

// Refuses a dictionary file whose records cannot hold an entry of `needed` bytes.
void CheckRecordLength(TWinBtr& btr, const std::string& path, size_t needed) {
  const int32_t length = btr.GetRecordLength();
  if (length >= static_cast<int32_t>(needed)) return;
  RaiseEngineErrorContext(DBIERR_FILECORRUPT,
                          path + ": records of " + std::to_string(length) +
                              " bytes are too short for dictionary entries of " +
                              std::to_string(needed));
}

std::string DictionaryPath(const std::string& directory, const char* file) {
  return WithSeparator(directory) + file;
}

std::string DictionaryTableName(const std::string& directory, const char* file,
                                std::string_view owner) {
  std::string name = DictionaryPath(directory, file);
  if (!owner.empty()) name += ";OWNER:" + std::string(owner);
  return name;
}

// Lets go of a scratch record buffer when the read is over, so that the cursor never keeps a
// pointer to it.
class ScratchBufferScope {
 public:
  explicit ScratchBufferScope(TBaseTable& table) : table_(table) {}
  ~ScratchBufferScope() { table_.SetDataBuffer(nullptr); }
  ScratchBufferScope(const ScratchBufferScope&) = delete;
  ScratchBufferScope& operator=(const ScratchBufferScope&) = delete;

 private:
  TBaseTable& table_;
};

// The fields of a table-list record; the texts are NUL-terminated.
std::vector<DictionaryField> TableListFields(bool extended) {
  std::vector<DictionaryField> fields = {
      MakeDictionaryField("szName", BT_ZSTRING, offsetof(TableListRecord, Name), 256),
      MakeDictionaryField("szFileName", BT_ZSTRING, offsetof(TableListRecord, FileName), 256)};
  if (extended) {
    fields.push_back(MakeDictionaryField("iTableId", BT_UNSIGNED_BINARY,
                                         offsetof(ExtendedTableListRecord, TableId), 2));
    fields.push_back(MakeDictionaryField("iFlags", BT_UNSIGNED_BINARY,
                                         offsetof(ExtendedTableListRecord, Flags), 1));
  }
  return fields;
}

// The leading fields of a field descriptor.
std::vector<DictionaryField> FieldListFields() {
  return {MakeDictionaryField("iFldNum", BT_UNSIGNED_BINARY, offsetof(FieldDesc, FieldNumber), 2),
          MakeDictionaryField("szName", BT_ZSTRING, offsetof(FieldDesc, FieldName), 32),
          MakeDictionaryField("iFldType", BT_UNSIGNED_BINARY, offsetof(FieldDesc, FieldType), 2),
          MakeDictionaryField("iSubType", BT_UNSIGNED_BINARY, offsetof(FieldDesc, FieldSubType), 2),
          MakeDictionaryField("iUnits1", BT_INTEGER, offsetof(FieldDesc, FieldUnits1), 2),
          MakeDictionaryField("iUnits2", BT_INTEGER, offsetof(FieldDesc, FieldUnits2), 2),
          MakeDictionaryField("iOffset", BT_UNSIGNED_BINARY, offsetof(FieldDesc, FieldOffset), 2),
          MakeDictionaryField("iLen", BT_UNSIGNED_BINARY, offsetof(FieldDesc, FieldLength), 2)};
}

// A list cursor reports its own record, not the file's, and no index to its users.
void ListCursorProps(TBtrTable& table, CursorProps& props) {
  props.RecSize = props.RecBufSize = static_cast<uint16_t>(table.GetRecordSize());
  props.IndexCount = 0;
}

}  // namespace

DictionaryField MakeDictionaryField(std::string_view name, uint8_t type, uint16_t offset,
                                    uint16_t size) {
  DictionaryField f{};
  std::memcpy(f.Name, name.data(), std::min(name.size(), sizeof f.Name));
  f.DataType = type;
  f.Offset = offset;
  f.Size = size;
  return f;
}

std::string DictionaryText(const char* field, size_t size) {
  const size_t length = strnlen(field, size);
  size_t begin = 0, end = length;
  while (begin < end && static_cast<unsigned char>(field[begin]) <= ' ') ++begin;
  while (end > begin && static_cast<unsigned char>(field[end - 1]) <= ' ') --end;
  return std::string(field + begin, end - begin);
}

bool SameDictionaryName(std::string_view a, std::string_view b, const std::string& codePage) {
  if (platform::EqualsIgnoringAsciiCase(a, b)) return true;
  return platform::Utf8FoldKey(platform::DecodeText(a, codePage)) ==
         platform::Utf8FoldKey(platform::DecodeText(b, codePage));
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsBtrievePath(std::string_view name) {
  return name.find_first_of(":\\/.") != std::string_view::npos;
}

std::string WithSeparator(std::string_view directory) {
  std::string result(directory);
  if (!result.empty() && IsSeparator(result.back())) return result;
  const bool slashes =
      result.find('/') != std::string::npos && result.find('\\') == std::string::npos;
  result += slashes ? '/' : '\\';
  return result;
}

std::string DirectoryPart(std::string_view path) {
  const size_t at = path.find_last_of("\\/:");
  return at == std::string_view::npos ? std::string() : std::string(path.substr(0, at + 1));
}

std::string FileNamePart(std::string_view path) {
  const size_t at = path.find_last_of("\\/:");
  return std::string(at == std::string_view::npos ? path : path.substr(at + 1));
}

// ---- TBtrTblListTable ----

TBtrTblListTable::TBtrTblListTable(TBapiListItem* database, TVaderCollection* collection,
                                   const std::string& directory, const uint8_t* clientId,
                                   bool extended, bool withSystemTables, std::string_view owner)
    : TBtrTable(database, collection, DictionaryTableName(directory, kFileDdf, owner).c_str(),
                nullptr, kOpenReadOnly, kShareShared, clientId),
      extended_(extended),
      withSystemTables_(withSystemTables) {
  SetFileName(DictionaryPath(directory, kFileDdf).c_str());
}

void TBtrTblListTable::OpenCursor() {
  // The file is opened without fields, so that its own keys are not described.
  FieldCache().Clear();
  TBtrTable::OpenCursor();
  CheckRecordLength(Btr(), GetFileName(), kMinFileRecordSize);
  // Records of any length at least the entry's are read whole into a buffer of that length.
  Btr().SetBufferSize(std::max<int32_t>(Btr().GetRecordLength(), sizeof(DictionaryFile)));
  LoadFields(TableListFields(extended_));
}

void TBtrTblListTable::GetCursorProps(CursorProps& props) {
  TBtrTable::GetCursorProps(props);
  ListCursorProps(*this, props);
}

void TBtrTblListTable::ReadNextEntry(TMoveDirection direction, DictionaryFile& entry) {
  std::vector<uint8_t> buffer(static_cast<size_t>(std::max(Btr().BufferSize(), 1)));
  ScratchBufferScope scratch(*this);
  for (;;) {
    std::fill(buffer.begin(), buffer.end(), 0);
    if (direction == TMoveDirection::Backward)
      TBtrTable::GetPriorRecord(dbiNOLOCK, buffer.data(), nullptr);
    else
      TBtrTable::GetNextRecord(dbiNOLOCK, buffer.data(), nullptr);
    std::memcpy(&entry, buffer.data(), std::min(buffer.size(), sizeof entry));
    if (withSystemTables_ || (entry.Flags & kFileFlagDictionary) == 0) return;
  }
}

void TBtrTblListTable::GetNextRecord(TLockType /*lock*/, uint8_t* record, RecordProps* /*props*/) {
  CheckParam(record);
  DictionaryFile entry{};
  ReadNextEntry(TMoveDirection::Forward, entry);
  std::memset(record, 0, GetRecordSize());
  auto* out = reinterpret_cast<TableListRecord*>(record);
  CopyToBuffer(out->Name, DictionaryText(entry.Name));
  CopyToBuffer(out->FileName, DictionaryText(entry.Location));
  if (!extended_) return;
  auto* extended = reinterpret_cast<ExtendedTableListRecord*>(record);
  extended->TableId = entry.TableId;
  extended->Flags = entry.Flags;
}

// ---- TBtrFieldListTable ----

TBtrFieldListTable::TBtrFieldListTable(TBapiListItem* database, TVaderCollection* collection,
                                       const std::string& directory, const uint8_t* clientId,
                                       const DictionaryFile& table, std::string_view owner)
    : TBtrTable(database, collection, DictionaryTableName(directory, kFieldDdf, owner).c_str(),
                nullptr, kOpenReadOnly, kShareShared, clientId),
      fileRecord_(table),
      fieldExtPath_(DictionaryPath(directory, kFieldExtDdf)),
      owner_(owner) {
  SetFileName(DictionaryPath(directory, kFieldDdf).c_str());
}

TBtrFieldListTable::~TBtrFieldListTable() = default;

void TBtrFieldListTable::OpenCursor() {
  FieldCache().Clear();
  TBtrTable::OpenCursor();
  CheckRecordLength(Btr(), GetFileName(), sizeof(DictionaryField));
  Btr().SetBufferSize(std::max<int32_t>(Btr().GetRecordLength(), sizeof(DictionaryField)));
  LoadFields(FieldListFields());
  Btr().SetKeyNumber(kTableIdKey);
  fieldExt_ = std::make_unique<TWinBtr>(ClientIDRef());
  try {
    fieldExt_->Open(fieldExtPath_, owner_, OpenReadOnly);
    CheckRecordLength(*fieldExt_, fieldExtPath_, sizeof(DictionaryFieldExt));
  } catch (const EBtrieveEngineError& e) {
    // A dictionary without the driver's extension file has no overrides.
    if (e.NativeError() != B_FILE_NOT_FOUND) throw;
    fieldExt_.reset();
  }
  SetToBegin();
}

void TBtrFieldListTable::GetCursorProps(CursorProps& props) {
  TBtrTable::GetCursorProps(props);
  ListCursorProps(*this, props);
}

void TBtrFieldListTable::CloseCursor() {
  TBtrTable::CloseCursor();
  fieldExt_.reset();
}

void TBtrFieldListTable::SetToBegin() {
  TBtrTable::SetToBegin();
  started_ = false;
  fieldNumber_ = 0;
}

void TBtrFieldListTable::ReadNextEntry(TMoveDirection direction, DictionaryField& entry) {
  std::vector<uint8_t> buffer(static_cast<size_t>(std::max(Btr().BufferSize(), 1)));
  ScratchBufferScope scratch(*this);
  for (;;) {
    std::fill(buffer.begin(), buffer.end(), 0);
    if (!started_) {
      uint8_t key[kTableIdKeyLength] = {};
      std::memcpy(key, &fileRecord_.TableId, sizeof fileRecord_.TableId);
      SetDataBuffer(buffer.data());
      Btr().ClearKey(kBtrKeyBufferSize);
      Btr().GetByKey(B_GET_GE, key, kTableIdKey, kTableIdKeyLength);
      started_ = true;
      MarkOnRecord();
    } else if (direction == TMoveDirection::Backward) {
      TBtrTable::GetPriorRecord(dbiNOLOCK, buffer.data(), nullptr);
    } else {
      TBtrTable::GetNextRecord(dbiNOLOCK, buffer.data(), nullptr);
    }
    std::memcpy(&entry, buffer.data(), sizeof entry);
    if (entry.TableId != fileRecord_.TableId) RaiseEOF();
    if (entry.Size == 0) continue;
    ApplyFieldExtension(entry);
    return;
  }
}

void TBtrFieldListTable::ApplyFieldExtension(DictionaryField& entry) {
  if (!HasFieldExtensions() || !MayHaveExtension(entry.DataType)) return;
  DictionaryFieldExt key{entry.TableId, entry.FieldId, 0};
  std::vector<uint8_t> buffer(static_cast<size_t>(std::max(fieldExt_->BufferSize(), 1)));
  fieldExt_->UseDataBuffer(buffer.data());
  try {
    fieldExt_->GetEqual(&key, kFieldExtKeyLength, 0);
  } catch (const EVaderEngineError&) {
    return;  // no override for this field
  }
  DictionaryFieldExt found{};
  std::memcpy(&found, buffer.data(), sizeof found);
  // Only the low byte fits a field record's data type; overrides are 0 to 255.
  if (found.DataType <= 0xFF) entry.DataType = static_cast<uint8_t>(found.DataType);
}

void TBtrFieldListTable::GetNextRecord(TLockType /*lock*/, uint8_t* record,
                                       RecordProps* /*props*/) {
  CheckParam(record);
  DictionaryField entry{};
  ReadNextEntry(TMoveDirection::Forward, entry);
  FieldDesc desc{};
  BuildFieldDesc(entry, ++fieldNumber_, &desc);
  std::memcpy(record, &desc, sizeof desc);
}

void TBtrFieldListTable::GetRecordCount(uint32_t& n) {
  n = 0;
  FieldDesc desc{};
  SetToBegin();
  try {
    for (;;) {
      GetNextRecord(dbiNOLOCK, reinterpret_cast<uint8_t*>(&desc), nullptr);
      ++n;
    }
  } catch (const EVaderBoundryError&) {
  }
  SetToBegin();
}

}  // namespace vader
