#include "engine/KeyedTestTable.h"

#include <algorithm>
#include <cstring>

#include "engine/BseErrs.h"
#include "engine/BseUtils.h"

namespace vader::test {
namespace {

constexpr size_t kBookmarkIdOffset = 252;

struct Layout {
  const char* name;
  uint16_t type;
  uint16_t offset;
  uint16_t length;
};
constexpr Layout kLayout[] = {
    {"ID", fldINT32, 0, 4},     {"NAME", fldZSTRING, 4, 16}, {"CITY", fldZSTRING, 20, 12},
    {"ZIP", fldZSTRING, 32, 6}, {"FLAG", fldBOOL, 38, 2},    {"SMALL", fldINT16, 40, 2},
};

void PutText(std::vector<uint8_t>& record, KeyedField field, const std::string& text) {
  const Layout& f = kLayout[field - 1];
  std::memcpy(record.data() + f.offset, text.data(), std::min<size_t>(text.size(), f.length - 1));
}

}  // namespace

std::vector<uint8_t> MakeRecord(const Person& person) {
  std::vector<uint8_t> record(kKeyedRecordSize);
  std::memcpy(record.data(), &person.id, 4);
  PutText(record, kName, person.name);
  PutText(record, kCity, person.city);
  PutText(record, kZip, person.zip);
  const int16_t flag = person.flag ? -1 : 0;
  std::memcpy(record.data() + 38, &flag, 2);
  std::memcpy(record.data() + 40, &person.small, 2);
  return record;
}

int32_t IdOf(const uint8_t* record) {
  int32_t id = 0;
  std::memcpy(&id, record, sizeof id);
  return id;
}

std::vector<int32_t> Walk(TBaseTable& table, bool forward) {
  std::vector<int32_t> ids;
  std::vector<uint8_t> record(kKeyedRecordSize);
  forward ? table.SetToBegin() : table.SetToEnd();
  try {
    for (;;) {
      if (forward)
        table.GetNextRecord(dbiNOLOCK, record.data(), nullptr);
      else
        table.GetPriorRecord(dbiNOLOCK, record.data(), nullptr);
      ids.push_back(IdOf(record.data()));
    }
  } catch (const EVaderBoundryError&) {
  }
  return ids;
}

KeyedTestTable::KeyedTestTable(TBapiListItem* owner, TVaderCollection* collection, const char* name,
                               uint32_t openMode, uint32_t shareMode)
    : TBaseTable(owner, collection, name, nullptr, nullptr, openMode, shareMode) {
  for (const Layout& f : kLayout) AddField(f.name, f.type, f.offset, f.length);
  SetRecordSize(kKeyedRecordSize);
  DefineIndex("ById", {kId});
  SelectIndex(0);
  TBaseTable::OpenCursor();
}

void KeyedTestTable::AddField(const char* name, uint16_t type, uint16_t offset, uint16_t length) {
  FieldDesc desc{};
  std::strncpy(desc.FieldName, name, sizeof desc.FieldName - 1);
  desc.FieldType = type;
  desc.FieldOffset = offset;
  desc.FieldLength = length;
  const auto n = static_cast<uint16_t>(FieldCache().Count() + 1);
  TFieldCacheItem::Create(FieldCache(), desc, n, type, length);
}

void KeyedTestTable::Put(const Person& person) {
  InsertSorted(Row{nextRowId_++, MakeRecord(person)});
}

void KeyedTestTable::PutIds(std::initializer_list<int32_t> ids) {
  for (int32_t id : ids) Put(Person{.id = id, .name = "N" + std::to_string(id)});
}

uint16_t KeyedTestTable::DefineIndex(const char* name, std::vector<uint16_t> fields) {
  IndexDesc desc{};
  std::strncpy(desc.IndexName, name, sizeof desc.IndexName - 1);
  desc.IndexId = static_cast<uint16_t>(indexes_.size());
  desc.FieldsInKey = static_cast<uint16_t>(fields.size());
  for (size_t i = 0; i < fields.size(); ++i) {
    desc.KeyFields[i] = fields[i];
    desc.KeyLength = static_cast<uint16_t>(desc.KeyLength + kLayout[fields[i] - 1].length);
  }
  indexes_.push_back(desc);
  return static_cast<uint16_t>(indexes_.size() - 1);
}

void KeyedTestTable::SelectIndex(uint16_t n) {
  MutableCurrentIndex() = indexes_.at(n);
  std::vector<Row> rows;
  rows.swap(rows_);
  for (Row& row : rows) InsertSorted(std::move(row));
  where_ = Where::None;
}

std::vector<int32_t> KeyedTestTable::Ids() const {
  std::vector<int32_t> ids;
  for (const Row& row : rows_) ids.push_back(IdOf(row.data.data()));
  return ids;
}

std::vector<uint8_t> KeyedTestTable::KeyOf(const uint8_t* record) {
  std::vector<uint8_t> key(kKeyBufferSize);
  uint16_t length = 0;
  ExtractKeyFields(record, key.data(), 0, 0, length);
  return key;
}

bool KeyedTestTable::RowBefore(const Row& a, const Row& b) {
  int r = 0;
  CompareKeys(KeyOf(a.data.data()).data(), KeyOf(b.data.data()).data(), 0, 0, r);
  return r < 0 || (r == 0 && a.id < b.id);
}

size_t KeyedTestTable::InsertSorted(Row row) {
  const auto at = std::upper_bound(rows_.begin(), rows_.end(), row,
                                   [this](const Row& a, const Row& b) { return RowBefore(a, b); });
  const auto index = static_cast<size_t>(at - rows_.begin());
  rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(index), std::move(row));
  if (where_ != Where::None && index <= pos_ && !(where_ == Where::Crack && index == pos_)) ++pos_;
  return index;
}

void KeyedTestTable::ReadRow(size_t index, uint8_t* dest) {
  pos_ = index;
  where_ = Where::On;
  if (dest != nullptr) std::memcpy(dest, rows_[index].data.data(), kKeyedRecordSize);
  MarkOnRecord();
}

void KeyedTestTable::FirstPhysical() {
  if (rows_.empty()) RaiseEOF();
  ReadRow(0, GetDataBuffer());
}

void KeyedTestTable::LastPhysical() {
  if (rows_.empty()) RaiseBOF();
  ReadRow(rows_.size() - 1, GetDataBuffer());
}

void KeyedTestTable::NextPhysical() {
  size_t target = 0;
  if (where_ == Where::On) target = pos_ + 1;
  if (where_ == Where::Crack) target = pos_;
  if (target >= rows_.size()) RaiseEOF();
  ReadRow(target, GetDataBuffer());
}

void KeyedTestTable::PriorPhysical() {
  const size_t target = where_ == Where::None ? rows_.size() : pos_;
  if (target == 0 || rows_.empty()) RaiseBOF();
  ReadRow(target - 1, GetDataBuffer());
}

void KeyedTestTable::SeekKey(uint16_t mode, bool keyIsPacked, uint16_t fieldCount,
                             uint16_t partialLength, const void* key, uint8_t* recordOut) {
  CheckParam(key);
  std::vector<uint8_t> wanted(kKeyBufferSize);
  uint16_t length = 0;
  if (keyIsPacked)
    std::memcpy(wanted.data(), key, CurrentIndex().KeyLength);
  else
    ExtractKeyFields(static_cast<const uint8_t*>(key), wanted.data(), fieldCount, partialLength,
                     length);
  std::vector<int> order;
  for (const Row& row : rows_) {
    int r = 0;
    CompareKeys(KeyOf(row.data.data()).data(), wanted.data(), fieldCount, partialLength, r);
    order.push_back(r);
  }
  const auto first = [&](auto pred) {
    for (size_t i = 0; i < order.size(); ++i)
      if (pred(order[i])) return static_cast<long>(i);
    return -1L;
  };
  const auto last = [&](auto pred) {
    for (size_t i = order.size(); i > 0; --i)
      if (pred(order[i - 1])) return static_cast<long>(i - 1);
    return -1L;
  };
  long found = -1;
  switch (mode) {
    case keySEARCHEQ:
      found = first([](int r) { return r == 0; });
      if (found < 0) RaiseEngineError(kRecordNotFound);
      break;
    case keySEARCHGEQ:
      found = first([](int r) { return r >= 0; });
      break;
    case keySEARCHGT:
      found = first([](int r) { return r > 0; });
      break;
    case keySEARCHLT:
      found = last([](int r) { return r < 0; });
      if (found < 0) RaiseBOF();
      break;
    default:
      found = last([](int r) { return r <= 0; });
      if (found < 0) RaiseBOF();
  }
  if (found < 0) RaiseEOF();
  ReadRow(static_cast<size_t>(found), recordOut);
}

void KeyedTestTable::ExtractKeyFields(const uint8_t* record, uint8_t* key, uint16_t fieldCount,
                                      uint16_t partialLength, uint16_t& keyLength) {
  if (record == nullptr) record = CheckParam(GetRecordBuffer());
  if (unbuildableKeys.count(IdOf(record)) != 0) RaiseEngineError(DBIERR_INVALIDRECSTRUCT);
  const IndexDesc& index = CurrentIndex();
  int segments = fieldCount;
  if (fieldCount == 0) segments = partialLength == 0 ? index.FieldsInKey : 1;
  segments = std::min<int>(segments, index.FieldsInKey);
  keyLength = 0;
  for (int i = 0; i < segments; ++i) {
    const Layout& f = kLayout[index.KeyFields[i] - 1];
    size_t length = f.length;
    if (partialLength != 0 && i == segments - 1) length = std::min<size_t>(partialLength, length);
    std::memcpy(key + keyLength, record + f.offset, length);
    keyLength = static_cast<uint16_t>(keyLength + f.length);
  }
}

void KeyedTestTable::GetBookMark(void* bookmark) {
  if (where_ != Where::On) RaiseEngineError(DBIERR_NOCURRREC);
  auto* bytes = static_cast<uint8_t*>(bookmark);
  std::memset(bytes, 0, GetBookmarkSize());
  uint16_t length = 0;
  ExtractKeyFields(rows_[pos_].data.data(), bytes, 0, 0, length);
  std::memcpy(bytes + kBookmarkIdOffset, &rows_[pos_].id, sizeof(uint32_t));
}

size_t KeyedTestTable::RowIndexOfBookmark(const void* bookmark) const {
  uint32_t id = 0;
  std::memcpy(&id, static_cast<const uint8_t*>(CheckParam(bookmark)) + kBookmarkIdOffset,
              sizeof id);
  for (size_t i = 0; i < rows_.size(); ++i)
    if (rows_[i].id == id) return i;
  RaiseEngineError(DBIERR_RECDELETED);
}

void KeyedTestTable::SetToBookMark(const void* bookmark) {
  ReadRow(RowIndexOfBookmark(bookmark), GetDataBuffer());
}

void KeyedTestTable::ReadAtBookmark(const void* bookmark, uint8_t* record, TLockType lock) {
  const size_t index = RowIndexOfBookmark(bookmark);
  if (record != nullptr) std::memcpy(record, rows_[index].data.data(), kKeyedRecordSize);
  if (lock != dbiNOLOCK) lockedRows.insert(rows_[index].id);
}

void KeyedTestTable::GetRecordProps(RecordProps* props) {
  if (props != nullptr && where_ == Where::On) props->PhysRecNum = rows_[pos_].id;
}

void KeyedTestTable::ReleaseRecordLocks() {
  lockedRows.clear();
  ++lockReleases;
}

void KeyedTestTable::InsertRecord(TLockType, uint8_t* record) {
  CheckParam(record);
  InsertSorted(Row{nextRowId_++, std::vector<uint8_t>(record, record + kKeyedRecordSize)});
}

void KeyedTestTable::ModifyRecord(uint8_t* record, bool) {
  CheckParam(record);
  if (where_ != Where::On) RaiseEngineError(DBIERR_NOCURRREC);
  Row row{rows_[pos_].id, std::vector<uint8_t>(record, record + kKeyedRecordSize)};
  rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(pos_));
  where_ = Where::None;
  ReadRow(InsertSorted(std::move(row)), nullptr);
}

void KeyedTestTable::DeleteRecord(uint8_t*) {
  if (where_ != Where::On) RaiseEngineError(DBIERR_NOCURRREC);
  rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(pos_));
  where_ = Where::Crack;
  state_ = TCursorState::AtCrack;
}

void KeyedTestTable::GetIndexDesc(uint16_t n, IndexDesc& desc) {
  sawReadingIndexList = sawReadingIndexList || ReadingIndexList();
  if (n >= indexes_.size()) return TBaseTable::GetIndexDesc(n, desc);
  desc = indexes_[n];
}

void KeyedTestTable::GetCursorProps(CursorProps& props) {
  TBaseTable::GetCursorProps(props);
  props.IndexCount = static_cast<uint16_t>(indexes_.size());
}

void KeyedTestTable::OpenCursor() {
  ++opens;
  where_ = Where::None;
  TBaseTable::OpenCursor();
}

void KeyedTestTable::CloseCursor() {
  ++closes;
  TBaseTable::CloseCursor();
}

void KeyedTestTable::NativeToLocal(uint16_t, uint16_t, int16_t, uint16_t length, const uint8_t* src,
                                   void* dest, bool& blank) {
  std::memcpy(dest, src, length);
  blank = std::all_of(src, src + length, [](uint8_t b) { return b == 0; });
}

void KeyedTestTable::LocalToNative(uint16_t, uint16_t, int16_t, uint16_t length, const void* src,
                                   uint8_t* dest) {
  if (src == nullptr)
    std::memset(dest, 0, length);
  else
    std::memcpy(dest, src, length);
}

void KeyedTestTable::GetFieldValue(TFieldCacheItem& item, uint8_t* record, void* dest,
                                   bool& blank) {
  ++fieldReads[item.FieldNumber()];
  TBaseTable::GetFieldValue(item, record, dest, blank);
}

void TestDatabase::OpenTable(const char* name, const char*, const char*, const char*,
                             uint16_t indexId, uint32_t openMode, uint32_t shareMode, uint32_t,
                             bool uniDirectional, const void*, TBaseTable*& cursor) {
  lastUniDirectional = uniDirectional;
  opens.push_back({name, openMode, shareMode, uniDirectional, indexId});
  cursor = TBaseTable::Create<KeyedTestTable>(this, &Tables(), name, openMode, shareMode);
  cursor->SetFileName(("/data/" + std::string(name) + ".dat").c_str());
  if (failingOpens.count(name) != 0) RaiseEngineErrorContext(DBIERR_NOSUCHTABLE, name);
}

namespace {

// Table names, one 32-byte string field per record.
class NameListTable : public TBaseListTable {
 public:
  NameListTable(TBapiListItem* database, TVaderCollection* collection, const void* items,
                uint16_t count)
      : TBaseListTable(database, collection, items, count, kNameSize) {}
  void LoadFieldDesc(uint16_t, const void*, FieldDesc& desc, uint16_t&, uint16_t&) override {
    desc.FieldType = fldZSTRING;
    desc.FieldLength = kNameSize;
  }
  void NativeToLocal(uint16_t, uint16_t, int16_t, uint16_t length, const uint8_t* src, void* dest,
                     bool& blank) override {
    std::memcpy(dest, src, length);
    blank = false;
  }
  static constexpr uint16_t kNameSize = 32;
};

}  // namespace

void TestDatabase::OpenTableList(bool, bool, const char*, TBaseTable*& cursor) {
  std::vector<char> names(tableNames.size() * NameListTable::kNameSize);
  for (size_t i = 0; i < tableNames.size(); ++i)
    CopyBounded(&names[i * NameListTable::kNameSize], NameListTable::kNameSize, tableNames[i]);
  cursor = TBaseTable::Create<NameListTable>(this, &Tables(), names.data(),
                                             static_cast<uint16_t>(tableNames.size()));
}

void TestDatabase::OpenFieldList(const char*, const char*, bool, TBaseTable*&) {
  RaiseEngineError(DBIERR_NA);
}

}  // namespace vader::test
