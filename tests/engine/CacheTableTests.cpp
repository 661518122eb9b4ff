// Delayed updates: a cache cursor over the keyed test table, what browsing through it shows, and
// how its changes reach the source or are thrown away.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/BseCache.h"
#include "engine/KeyedTestTable.h"

namespace vader {
namespace {

using test::ErrorCode;
using test::IdOf;
using test::KeyedTestTable;
using test::MakeRecord;
using test::Person;

std::string NameOf(const std::vector<uint8_t>& record) {
  return std::string(reinterpret_cast<const char*>(record.data() + 4));
}

struct CacheFixture : ::testing::Test {
  void SetUp() override {
    source = TBaseTable::Create<KeyedTestTable>(&db, &db.tables);
    source->PutIds({1, 2, 3, 4, 5});
    source->BeginDelayedUpdates(cache);
  }
  std::vector<int32_t> Walk(bool forward = true) { return test::Walk(*cache, forward); }
  // Puts the cache (or `cursor`) on record `id` and returns what it shows.
  std::vector<uint8_t> Go(int32_t id, TBaseTable* cursor = nullptr) {
    cursor = cursor ? cursor : cache;
    std::vector<uint8_t> record(source->GetRecordBufferSize());
    cursor->SetToBegin();
    do cursor->GetNextRecord(dbiNOLOCK, record.data(), nullptr);
    while (IdOf(record.data()) != id);
    return record;
  }
  void Rename(int32_t id, const std::string& name) {
    Go(id);
    auto record = MakeRecord(Person{.id = id, .name = name});
    cache->ModifyRecord(record.data(), true);
  }
  void Remove(int32_t id) {
    Go(id);
    cache->DeleteRecord(nullptr);
  }
  uint32_t CachedCount() {
    uint32_t n = 0;
    uint16_t len = 0;
    cache->GetProp(kPropCachedRecordCount, &n, sizeof n, len);
    return n;
  }
  std::string SourceName(int32_t id) { return NameOf(Go(id, source)); }

  test::TestDatabase db;
  KeyedTestTable* source = nullptr;
  TBaseTable* cache = nullptr;
};

TEST_F(CacheFixture, UpdateRecordTypesDecideWhatBrowsingShows) {
  Rename(3, "CHANGED");
  Remove(2);
  EXPECT_EQ(CachedCount(), 2u);
  EXPECT_EQ(source->Ids(), (std::vector<int32_t>{1, 2, 3, 4, 5}));  // nothing written yet
  EXPECT_EQ(Walk(), (std::vector<int32_t>{1, 3, 4, 5}));
  EXPECT_EQ(Walk(false), (std::vector<int32_t>{5, 4, 3, 1}));

  cache->SetProp(kPropUpdateRecordTypes, rtypUNMODIFIED);
  EXPECT_EQ(Walk(), (std::vector<int32_t>{1, 4, 5}));
  cache->SetProp(kPropUpdateRecordTypes, rtypMODIFIED);
  EXPECT_EQ(Walk(), (std::vector<int32_t>{3}));
  cache->SetProp(kPropUpdateRecordTypes, rtypDELETED | rtypUNMODIFIED);
  EXPECT_EQ(Walk(), (std::vector<int32_t>{1, 2, 4, 5}));
  RecordProps props{};
  cache->GetRecord(dbiNOLOCK, Go(2).data(), &props);
  EXPECT_NE(+props.DeletedFlag, 0);
  EXPECT_EQ(+props.UpdateStatus, kUpdDeleted);
  // A hidden current record cannot be read.
  cache->SetProp(kPropUpdateRecordTypes, kDefaultUpdateRecordTypes);
  std::vector<uint8_t> record(test::kKeyedRecordSize);
  source->SetToBegin();
  source->GetRelativeRecord(2, dbiNOLOCK, record.data(), nullptr);
  EXPECT_EQ(ErrorCode([&] { cache->GetRecord(dbiNOLOCK, record.data(), nullptr); }),
            DBIERR_NOCURRREC);
}

TEST_F(CacheFixture, ShowsTheNewRecordOrTheOldOneOnRequest) {
  Rename(3, "CHANGED");
  EXPECT_EQ(NameOf(Go(3)), "CHANGED");
  std::vector<uint8_t> record(test::kKeyedRecordSize);
  RecordProps props{};
  cache->GetRecord(dbiNOLOCK, record.data(), &props);
  EXPECT_EQ(NameOf(record), "CHANGED");
  EXPECT_EQ(+props.UpdateStatus, kUpdModified);
  // Changed again: still one image, with the latest data.
  Rename(3, "AGAIN");
  EXPECT_EQ(CachedCount(), 1u);
  cache->SetProp(kPropGetOldRecord, 1);
  EXPECT_EQ(NameOf(Go(3)), "N3");
  cache->SetProp(kPropGetOldRecord, 0);
  EXPECT_EQ(NameOf(Go(3)), "AGAIN");
}

TEST_F(CacheFixture, CancelAndCancelCurrentThrowChangesAway) {
  Rename(1, "ONE");
  Remove(2);
  Go(4);
  cache->ApplyDelayedUpdates(dbiDelayedUpdCancelCurrent);  // never changed: nothing happens
  EXPECT_EQ(CachedCount(), 2u);
  Go(1);
  cache->ApplyDelayedUpdates(dbiDelayedUpdCancelCurrent);
  EXPECT_EQ(CachedCount(), 1u);
  EXPECT_EQ(NameOf(Go(1)), "N1");
  cache->ApplyDelayedUpdates(dbiDelayedUpdCancel);
  EXPECT_EQ(CachedCount(), 0u);
  EXPECT_EQ(Walk(), (std::vector<int32_t>{1, 2, 3, 4, 5}));
  cache->ApplyDelayedUpdates(dbiDelayedUpdPrepare);
  EXPECT_EQ(source->Ids(), (std::vector<int32_t>{1, 2, 3, 4, 5}));
}

TEST_F(CacheFixture, PrepareThenCommitWritesEveryKindOfChange) {
  Rename(1, "ONE");
  Remove(2);
  auto inserted = MakeRecord(Person{.id = 7, .name = "SEVEN"});
  cache->InsertRecord(dbiNOLOCK, inserted.data());
  auto appended = MakeRecord(Person{.id = 8, .name = "EIGHT"});
  cache->AppendRecord(appended.data());
  EXPECT_EQ(source->RowCount(), 5u);
  EXPECT_EQ(CachedCount(), 4u);

  cache->ApplyDelayedUpdates(dbiDelayedUpdPrepare);
  EXPECT_EQ(source->Ids(), (std::vector<int32_t>{1, 3, 4, 5, 7, 8}));
  EXPECT_EQ(SourceName(1), "ONE");
  EXPECT_EQ(SourceName(8), "EIGHT");
  cache->ApplyDelayedUpdates(dbiDelayedUpdCommit);
  EXPECT_EQ(CachedCount(), 0u);
  EXPECT_EQ(Walk(), (std::vector<int32_t>{1, 3, 4, 5, 7, 8}));
  cache->ApplyDelayedUpdates(99);  // unknown commands do nothing
}

TEST_F(CacheFixture, InsertedRecordsStayVisibleAndBookmarkableUntilApplied) {
  auto seven = MakeRecord(Person{.id = 7, .name = "SEVEN"});
  cache->InsertRecord(dbiNOLOCK, seven.data());
  std::vector<uint8_t> record(test::kKeyedRecordSize);
  RecordProps props{};
  cache->GetRecord(dbiNOLOCK, record.data(), &props);  // the cursor is on the new record
  EXPECT_EQ(IdOf(record.data()), 7);
  EXPECT_EQ(+props.UpdateStatus, kUpdInserted);
  std::vector<uint8_t> mark7(cache->GetBookmarkSize());
  cache->GetBookMark(mark7.data());
  auto eight = MakeRecord(Person{.id = 8, .name = "EIGHT"});
  cache->AppendRecord(eight.data());

  EXPECT_EQ(Walk(), (std::vector<int32_t>{1, 2, 3, 4, 5, 7, 8}));
  EXPECT_EQ(Walk(false), (std::vector<int32_t>{8, 7, 5, 4, 3, 2, 1}));
  uint32_t count = 0;
  cache->GetRecordCount(count);
  EXPECT_EQ(count, 7u);
  CursorProps cursorProps{};
  cache->GetCursorProps(cursorProps);
  EXPECT_EQ(+cursorProps.BookmarkSize, source->GetBookmarkSize() + 4);

  // Bookmarks of source and inserted records find their records and order them.
  std::vector<uint8_t> mark2(cache->GetBookmarkSize());
  Go(2);
  cache->GetBookMark(mark2.data());
  cache->SetToBookMark(mark7.data());
  cache->GetRecord(dbiNOLOCK, record.data(), nullptr);
  EXPECT_EQ(IdOf(record.data()), 7);
  cache->GetNextRecord(dbiNOLOCK, record.data(), nullptr);
  EXPECT_EQ(IdOf(record.data()), 8);
  int order = 0;
  cache->CompareBookMarks(mark2.data(), mark7.data(), order);
  EXPECT_EQ(order, -1);
  cache->ReadAtBookmark(mark2.data(), record.data(), dbiNOLOCK);
  EXPECT_EQ(IdOf(record.data()), 2);
  // Another cursor's shorter bookmark positions the cache on a record of the source.
  source->SetToBegin();
  source->GetRelativeRecord(3, dbiNOLOCK, record.data(), nullptr);
  cache->SetToBookMark(mark7.data());
  source->SetToCursor(cache);
  cache->GetRecord(dbiNOLOCK, record.data(), nullptr);
  EXPECT_EQ(IdOf(record.data()), 3);

  // Edited while cached: the inserted record stays one to insert, with its new data; deleted,
  // it is never written.
  cache->SetToBookMark(mark7.data());
  auto changed = MakeRecord(Person{.id = 7, .name = "SIEBEN"});
  cache->ModifyRecord(changed.data(), true);
  cache->GetNextRecord(dbiNOLOCK, record.data(), nullptr);
  cache->DeleteRecord(nullptr);
  EXPECT_EQ(ErrorCode([&] { cache->SetToBookMark(mark2.data()); }), 0);
  EXPECT_EQ(Walk(), (std::vector<int32_t>{1, 2, 3, 4, 5, 7}));
  cache->SetProp(kPropUpdateRecordTypes, rtypUNMODIFIED);
  EXPECT_EQ(Walk(false), (std::vector<int32_t>{5, 4, 3, 2, 1}));
  cache->SetProp(kPropUpdateRecordTypes, kDefaultUpdateRecordTypes);

  cache->ApplyDelayedUpdates(dbiDelayedUpdPrepare);
  cache->ApplyDelayedUpdates(dbiDelayedUpdCommit);
  EXPECT_EQ(source->Ids(), (std::vector<int32_t>{1, 2, 3, 4, 5, 7}));
  EXPECT_EQ(SourceName(7), "SIEBEN");
  EXPECT_EQ(ErrorCode([&] { cache->SetToBookMark(mark7.data()); }), DBIERR_RECDELETED);
}

TEST_F(CacheFixture, RefusesNestingAndIndexSwitchesAndHandsTheSourceBack) {
  TBaseTable* nested = nullptr;
  EXPECT_EQ(ErrorCode([&] { cache->BeginDelayedUpdates(nested); }), DBIERR_NOTSUPPORTED);
  EXPECT_EQ(ErrorCode([&] { cache->SwitchToIndex("ById", nullptr, 0, false); }),
            DBIERR_NOSUCHINDEX);
  EXPECT_EQ(cache->Owner(), &db);
  EXPECT_EQ(db.tables.Count(), 2);
  EXPECT_STREQ(cache->GetTableName(), "PEOPLE");
  Rename(1, "LOST");
  TBaseTable* cursor = cache;
  cursor->EndDelayedUpdates(cursor);
  EXPECT_EQ(cursor, source);
  EXPECT_EQ(db.tables.Count(), 1);
  EXPECT_EQ(SourceName(1), "N1");

  const FieldDesc field{};
  std::unique_ptr<TMemTable> alone(TMemTable::CreateStandAlone(nullptr, nullptr, "M", 1, &field));
  EXPECT_EQ(ErrorCode([&] { alone->ApplyCachedUpdates(); }), DBIERR_INVALIDHNDL);
}

// A source whose record reaches past its last field: 4 bytes that no field describes.
class WideRecordTable : public KeyedTestTable {
 public:
  using KeyedTestTable::KeyedTestTable;
  uint32_t GetRecordSize() const override { return test::kKeyedRecordSize + 4; }
};

TEST(CacheTable, ImagesHoldTheSourcesWholeRecord) {
  test::TestDatabase db;
  auto* source = TBaseTable::Create<WideRecordTable>(&db, &db.tables);
  source->PutIds({1});
  TBaseTable* cache = nullptr;
  source->BeginDelayedUpdates(cache);
  std::vector<uint8_t> record(source->GetRecordBufferSize());
  cache->SetToBegin();
  cache->GetNextRecord(dbiNOLOCK, record.data(), nullptr);
  std::memset(record.data() + test::kKeyedRecordSize, 0xAB, 4);
  cache->ModifyRecord(record.data(), true);
  std::vector<uint8_t> read(record.size());
  cache->GetRecord(dbiNOLOCK, read.data(), nullptr);
  EXPECT_EQ(read, record);
}

}  // namespace
}  // namespace vader
