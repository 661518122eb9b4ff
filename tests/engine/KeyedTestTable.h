#pragma once
// Test fixture: an in-memory keyed table that supplies the driver primitives of a cursor
// (physical moves over the current index, key search and key building, bookmarks, record
// writes) so that the base cursor's navigation, ranges, filters and key search can be checked.
// Native and local forms are the same bytes; an all-zero value is blank.

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "common/EngineErrorCode.h"
#include "engine/BseDbase.h"
#include "engine/BseTable.h"

namespace vader::test {

// Fields of every record (1-based numbers).
enum KeyedField : uint16_t { kId = 1, kName = 2, kCity = 3, kZip = 4, kFlag = 5, kSmall = 6 };

constexpr uint16_t kKeyedRecordSize = 42;
// Error the fixture raises for an equal search that finds nothing.
constexpr uint16_t kRecordNotFound = 0x2207;

struct Person {
  int32_t id = 0;
  std::string name{};
  std::string city{};
  std::string zip{};
  bool flag = false;
  int16_t small = 0;
};

std::vector<uint8_t> MakeRecord(const Person& person);
int32_t IdOf(const uint8_t* record);

using vader::testing::ErrorCode;

// Ids (the first 4 bytes) of every record the cursor shows, walking from the beginning forward
// or from the end backward until the boundary error.
std::vector<int32_t> Walk(TBaseTable& table, bool forward = true);

class KeyedTestTable : public TBaseTable {
 public:
  explicit KeyedTestTable(TBapiListItem* owner = nullptr, TVaderCollection* collection = nullptr,
                          const char* name = "PEOPLE", uint32_t openMode = kOpenReadWrite,
                          uint32_t shareMode = kShareShared);

  // Stores a record without moving the cursor.
  void Put(const Person& person);
  void PutIds(std::initializer_list<int32_t> ids);
  // Adds an index over `fields`; returns its number.
  uint16_t DefineIndex(const char* name, std::vector<uint16_t> fields);
  void SelectIndex(uint16_t n);
  IndexDesc& Index(uint16_t n) { return indexes_.at(n); }
  size_t RowCount() const { return rows_.size(); }
  // Ids in index order.
  std::vector<int32_t> Ids() const;

  // Observations.
  std::map<uint16_t, int> fieldReads;
  std::set<uint32_t> lockedRows;
  int lockReleases = 0;
  int opens = 0;
  int closes = 0;
  bool sawReadingIndexList = false;
  // Records whose key cannot be built (ExtractKeyFields raises for them).
  std::set<int32_t> unbuildableKeys;

  // Driver primitives.
  void FirstPhysical() override;
  void LastPhysical() override;
  void NextPhysical() override;
  void PriorPhysical() override;
  void SeekKey(uint16_t mode, bool keyIsPacked, uint16_t fieldCount, uint16_t partialLength,
               const void* key, uint8_t* recordOut) override;
  void ExtractKeyFields(const uint8_t* record, uint8_t* key, uint16_t fieldCount,
                        uint16_t partialLength, uint16_t& keyLength) override;
  void GetBookMark(void* bookmark) override;
  void SetToBookMark(const void* bookmark) override;
  void ReadAtBookmark(const void* bookmark, uint8_t* record, TLockType lock) override;
  void GetRecordProps(RecordProps* props) override;
  void ReleaseRecordLocks() override;
  void InsertRecord(TLockType lock, uint8_t* record) override;
  void ModifyRecord(uint8_t* record, bool freeLock) override;
  void DeleteRecord(uint8_t* record) override;
  void GetIndexDesc(uint16_t n, IndexDesc& desc) override;
  void GetCursorProps(CursorProps& props) override;
  void OpenCursor() override;
  void CloseCursor() override;
  void NativeToLocal(uint16_t localType, uint16_t localSize, int16_t units2, uint16_t length,
                     const uint8_t* src, void* dest, bool& blank) override;
  void LocalToNative(uint16_t localType, uint16_t localSize, int16_t units2, uint16_t length,
                     const void* src, uint8_t* dest) override;
  void GetFieldValue(TFieldCacheItem& item, uint8_t* record, void* dest, bool& blank) override;

 private:
  struct Row {
    uint32_t id;
    std::vector<uint8_t> data;
  };
  enum class Where { None, On, Crack };

  void AddField(const char* name, uint16_t type, uint16_t offset, uint16_t length);
  std::vector<uint8_t> KeyOf(const uint8_t* record);
  bool RowBefore(const Row& a, const Row& b);
  size_t InsertSorted(Row row);
  // Puts the position on row `index` and reads it into `dest` when given.
  void ReadRow(size_t index, uint8_t* dest);
  size_t RowIndexOfBookmark(const void* bookmark) const;

  std::vector<IndexDesc> indexes_;
  std::vector<Row> rows_;
  uint32_t nextRowId_ = 1;
  size_t pos_ = 0;
  Where where_ = Where::None;
};

// A database over fixture tables. OpenTable makes a KeyedTestTable named as asked, whose file
// name is "/data/<name>.dat", in Tables(); a name in `failingOpens` is refused with NOSUCHTABLE
// after its cursor was made, which is handed back as a driver hands back a half-built cursor.
// OpenTableList lists `tableNames`.
class TestDatabase : public TBaseDatabase {
 public:
  explicit TestDatabase(TBapiListItem* session = nullptr, TVaderCollection* collection = nullptr,
                        const DatabaseDesc* desc = nullptr, uint32_t openMode = kOpenReadWrite,
                        uint32_t shareMode = kShareShared, const char* password = nullptr,
                        uint16_t optCount = 0, const FieldDesc* optDescs = nullptr,
                        const void* optParams = nullptr)
      : TBaseDatabase(session, collection, desc, openMode, shareMode, password, optCount,
                      optDescs, optParams) {}

  void OpenTable(const char* name, const char* driverType, const char* indexName,
                 const char* indexTagName, uint16_t indexId, uint32_t openMode, uint32_t shareMode,
                 uint32_t translateMode, bool uniDirectional, const void* optParams,
                 TBaseTable*& cursor) override;
  void OpenTableList(bool extended, bool system, const char* wild, TBaseTable*& cursor) override;
  void OpenFieldList(const char* tableName, const char* driverType, bool physTypes,
                     TBaseTable*& cursor) override;

  struct OpenRequest {
    std::string name;
    uint32_t openMode;
    uint32_t shareMode;
    bool uniDirectional;
    uint16_t indexId;
  };
  std::vector<OpenRequest> opens;
  std::set<std::string> failingOpens;
  std::vector<std::string> tableNames;
  bool lastUniDirectional = false;
  // The cursors of the database, under the name tests of the cursor classes know it by.
  TVaderCollection& tables{Tables()};
};

}  // namespace vader::test
