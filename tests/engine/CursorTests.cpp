// The base cursor over the keyed test table: states and navigation, current-record reads,
// bookmarks, counting, blocks, emptying, cursor properties, cloning and index descriptors.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "engine/BseErrs.h"
#include "engine/BseTable.h"
#include "engine/KeyedTestTable.h"
#include "framework/Forms.h"

namespace vader::test {
namespace {

class CursorTest : public ::testing::Test {
 protected:
  void SetUp() override { table.PutIds({1, 2, 3, 4, 5, 6, 7, 8, 9}); }

  int32_t Next() {
    table.GetNextRecord(dbiNOLOCK, record.data(), nullptr);
    return IdOf(record.data());
  }
  int32_t Prior() {
    table.GetPriorRecord(dbiNOLOCK, record.data(), nullptr);
    return IdOf(record.data());
  }
  int32_t Current() {
    table.GetRecord(dbiNOLOCK, record.data(), nullptr);
    return IdOf(record.data());
  }
  void MoveTo(int32_t id) {
    table.SetToBegin();
    while (Next() != id) {
    }
  }

  KeyedTestTable table;
  std::vector<uint8_t> record = std::vector<uint8_t>(kKeyedRecordSize);
};

// ---- states and navigation ----

TEST_F(CursorTest, FreshCursorStartsAtEitherEnd) {
  EXPECT_EQ(Next(), 1);
  table.OpenCursor();
  EXPECT_EQ(Prior(), 9);
  EXPECT_EQ(table.State(), TCursorState::OnRecord);
  EXPECT_EQ(table.Direction(), TMoveDirection::Backward);
}

TEST_F(CursorTest, WalksBothWaysAndStopsAtTheEnds) {
  const std::vector<int32_t> forward = Walk(table);
  EXPECT_EQ(forward, table.Ids());
  // A failed move keeps the cursor on the last record.
  EXPECT_EQ(table.State(), TCursorState::OnRecord);
  EXPECT_EQ(Current(), 9);
  EXPECT_EQ(Prior(), 8);
}

TEST_F(CursorTest, EndsRaiseTheirBoundaryAndKeepTheState) {
  table.SetToEnd();
  EXPECT_THROW(Next(), EVaderEOFError);
  EXPECT_EQ(table.State(), TCursorState::AtEnd);
  table.SetToBegin();
  EXPECT_THROW(Prior(), EVaderBOFError);
  EXPECT_EQ(table.State(), TCursorState::AtBegin);
  table.CloseCursor();
  EXPECT_THROW(Next(), EVaderEOFError);
  EXPECT_THROW(Prior(), EVaderBOFError);
  EXPECT_EQ(table.State(), TCursorState::Closed);
}

TEST_F(CursorTest, CurrentRecordOffARecordRaisesTheReverseBoundary) {
  table.SetToBegin();
  EXPECT_THROW(Current(), EVaderEOFError);
  table.SetToEnd();
  EXPECT_THROW(Current(), EVaderBOFError);
  table.OpenCursor();
  EXPECT_EQ(ErrorCode([&] { Current(); }), DBIERR_NOCURRREC);
  table.CloseCursor();
  EXPECT_EQ(ErrorCode([&] { Current(); }), DBIERR_NOCURRREC);
}

TEST_F(CursorTest, AfterADeleteTheCurrentRecordIsTheFollowingOrThePrecedingOne) {
  MoveTo(4);
  table.DeleteRecord(nullptr);
  EXPECT_EQ(table.State(), TCursorState::AtCrack);
  EXPECT_EQ(Current(), 5);

  MoveTo(9);
  table.DeleteRecord(nullptr);
  EXPECT_EQ(Current(), 8);
}

TEST_F(CursorTest, CurrentRecordOfAnEmptiedTableIsTheEnd) {
  KeyedTestTable single;
  single.PutIds({1});
  single.GetNextRecord(dbiNOLOCK, record.data(), nullptr);
  single.DeleteRecord(nullptr);
  EXPECT_THROW(single.GetRecord(dbiNOLOCK, record.data(), nullptr), EVaderEOFError);
  EXPECT_EQ(single.State(), TCursorState::Unpositioned);
}

TEST_F(CursorTest, MakeCrackPropertyMovesPhysicallyFromTheCrack) {
  MoveTo(3);
  table.SetProp(0x00040014, 1);
  EXPECT_EQ(table.State(), TCursorState::AtCrack);
  EXPECT_EQ(Next(), 4);
}

TEST_F(CursorTest, RelativeMoves) {
  MoveTo(5);
  EXPECT_EQ(ErrorCode([&] { table.GetRelativeRecord(0, dbiNOLOCK, record.data(), nullptr); }),
            DBIERR_INVALIDPARAM);
  table.GetRelativeRecord(-2, dbiNOLOCK, record.data(), nullptr);
  EXPECT_EQ(IdOf(record.data()), 3);
  // Only the last step takes the lock.
  table.GetRelativeRecord(3, dbiWRITELOCK, record.data(), nullptr);
  EXPECT_EQ(IdOf(record.data()), 6);
  EXPECT_EQ(table.lockedRows.size(), 1u);
  EXPECT_THROW(table.GetRelativeRecord(10, dbiNOLOCK, record.data(), nullptr), EVaderEOFError);
  EXPECT_EQ(IdOf(record.data()), 9);
}

TEST_F(CursorTest, LockedFirstReadRereadsTheRecordItJustReached) {
  RecordProps props{};
  table.GetNextRecord(dbiWRITELOCK, record.data(), &props);
  EXPECT_EQ(IdOf(record.data()), 1);
  EXPECT_EQ(props.PhysRecNum, 1u);
  EXPECT_EQ(table.lockedRows.count(1), 1u);
}

TEST_F(CursorTest, NoRecordBufferMovesWithoutChecks) {
  TFilterListItem* filter = nullptr;
  table.AddFilter(
      0, 0, false, nullptr, [](uintptr_t, uint8_t*, int32_t) -> int16_t { return 0; }, filter);
  table.ActivateFilter(filter);
  table.GetNextRecord(dbiNOLOCK, nullptr, nullptr);
  EXPECT_EQ(table.State(), TCursorState::OnRecord);
  EXPECT_THROW(Next(), EVaderEOFError);
}

// ---- current record and rereads ----

TEST_F(CursorTest, PendingRereadOfARecordThatNoLongerPassesGoesToTheFirstThatDoes) {
  TFilterListItem* filter = nullptr;
  table.AddFilter(
      0, 0, false, nullptr, [](uintptr_t, uint8_t* r, int32_t) -> int16_t { return IdOf(r) % 2; },
      filter);
  table.ActivateFilter(filter);
  EXPECT_EQ(Next(), 1);
  EXPECT_EQ(Next(), 3);
  // The record changes under the cursor so that the filter refuses it.
  std::vector<uint8_t> changed = MakeRecord(Person{.id = 3});
  changed[0] = 10;
  table.ModifyRecord(changed.data(), true);
  table.ForceRecordReread(record.data());
  EXPECT_FALSE(table.RereadPending());
  EXPECT_EQ(IdOf(record.data()), 1);
}

TEST_F(CursorTest, FailedLockedRereadReleasesTheLock) {
  TFilterListItem* filter = nullptr;
  static bool accept = true;
  accept = true;
  table.AddFilter(
      0, 0, false, nullptr, [](uintptr_t, uint8_t*, int32_t) -> int16_t { return accept ? 1 : 0; },
      filter);
  table.ActivateFilter(filter);
  MoveTo(9);
  accept = false;
  EXPECT_THROW(table.GetRecord(dbiWRITELOCK, record.data(), nullptr), EVaderEOFError);
  EXPECT_EQ(table.lockReleases, 1);
  EXPECT_TRUE(table.lockedRows.empty());
}

// ---- bookmarks ----

TEST_F(CursorTest, BookmarksCompareByKeyAndPositionOtherCursors) {
  std::vector<uint8_t> first(table.GetBookmarkSize());
  std::vector<uint8_t> second(table.GetBookmarkSize());
  MoveTo(2);
  table.GetBookMark(first.data());
  MoveTo(7);
  table.GetBookMark(second.data());
  int result = 0;
  table.CompareBookMarks(first.data(), second.data(), result);
  EXPECT_EQ(result, -1);
  table.CompareBookMarks(second.data(), first.data(), result);
  EXPECT_EQ(result, 1);

  KeyedTestTable other;
  other.PutIds({1, 2, 3, 4, 5, 6, 7, 8, 9});
  table.SetToCursor(&other);
  other.GetRecord(dbiNOLOCK, record.data(), nullptr);
  EXPECT_EQ(IdOf(record.data()), 7);
  EXPECT_EQ(ErrorCode([&] { table.SetToCursor(nullptr); }), DBIERR_INVALIDPARAM);
}

// ---- counting ----

TEST_F(CursorTest, CountingLeavesTheCursorWhereItWas) {
  MoveTo(5);
  uint32_t n = 0;
  table.GetRecordCount(n);
  EXPECT_EQ(n, 9u);
  EXPECT_EQ(Current(), 5);
  EXPECT_EQ(Next(), 6);
}

TEST_F(CursorTest, CountingHonoursRangeAndFiltersAndRestartsAnUnpositionedCursor) {
  TFilterListItem* filter = nullptr;
  table.AddFilter(
      0, 0, false, nullptr, [](uintptr_t, uint8_t* r, int32_t) -> int16_t { return IdOf(r) != 4; },
      filter);
  table.ActivateFilter(filter);
  const auto low = MakeRecord(Person{.id = 3});
  const auto high = MakeRecord(Person{.id = 7});
  table.SetRange(false, 0, 0, low.data(), true, 0, 0, high.data(), true);
  uint32_t n = 0;
  table.GetExactRecordCount(n);
  EXPECT_EQ(n, 4u);  // 3, 5, 6, 7
  EXPECT_EQ(table.State(), TCursorState::AtBegin);
  // The data buffer is not left pointing at the count's scratch record.
  EXPECT_EQ(table.GetDataBuffer(), nullptr);
}

// Counts how often long loops let pending window messages run.
class CountingLoop : public TEventLoop {
 public:
  CountingLoop() { Application().SetEventLoop(this); }
  ~CountingLoop() override { Application().SetEventLoop(nullptr); }
  void Show(TForm*) override {}
  void Run(TForm*) override {}
  void ProcessMessages() override { ++processed; }
  void Quit() override {}
  int processed = 0;
};

TEST_F(CursorTest, LongLoopsLetWindowMessagesRun) {
  KeyedTestTable big;
  for (int32_t id = 1; id <= 40; ++id) big.Put(Person{.id = id});
  CountingLoop loop;
  uint32_t n = 0;
  big.GetRecordCount(n);
  EXPECT_EQ(loop.processed, 2);  // after the 16th and the 32nd record
  loop.processed = 0;
  big.DeleteAllRecords();
  EXPECT_EQ(loop.processed, 40);
  EXPECT_EQ(big.RowCount(), 0u);
}

// ---- blocks ----

TEST_F(CursorTest, ReadBlockStopsAtTheEndWithTheCountRead) {
  MoveTo(2);
  std::vector<uint8_t> block(10 * kKeyedRecordSize);
  uint32_t count = 10;
  EXPECT_THROW(table.ReadBlock(count, block.data()), EVaderEOFError);
  EXPECT_EQ(count, 7u);
  EXPECT_EQ(IdOf(block.data()), 3);
  EXPECT_EQ(IdOf(block.data() + 6 * kKeyedRecordSize), 9);
}

TEST_F(CursorTest, EmptyBlockRequestsMoveNothing) {
  uint8_t sentinel = 0xAB;
  uint32_t count = 0;
  table.ReadBlock(count, &sentinel);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(sentinel, 0xAB);
  EXPECT_EQ(table.State(), TCursorState::Unpositioned);
  table.WriteBlock(count, &sentinel);
  EXPECT_EQ(table.RowCount(), 9u);

  count = 3;
  EXPECT_EQ(ErrorCode([&] { table.ReadBlock(count, nullptr); }), DBIERR_INVALIDPARAM);
  EXPECT_EQ(count, 0u);
}

TEST_F(CursorTest, BlocksBeyondSixtyFourKilobytesLandWhereTheyBelong) {
  KeyedTestTable big;
  constexpr uint32_t kRecords = 2000;  // 84,000 bytes
  std::vector<uint8_t> block(kRecords * kKeyedRecordSize);
  for (uint32_t i = 0; i < kRecords; ++i) {
    const auto r = MakeRecord(Person{.id = static_cast<int32_t>(i + 1)});
    std::copy(r.begin(), r.end(), block.begin() + i * kKeyedRecordSize);
  }
  uint32_t count = kRecords;
  big.WriteBlock(count, block.data());
  EXPECT_EQ(count, kRecords);
  EXPECT_EQ(big.RowCount(), kRecords);

  std::vector<uint8_t> read(kRecords * kKeyedRecordSize + 1, 0xEE);
  big.ReadBlock(count, read.data());
  EXPECT_EQ(count, kRecords);
  EXPECT_EQ(IdOf(read.data() + (kRecords - 1) * kKeyedRecordSize), 2000);
  EXPECT_EQ(read.back(), 0xEE);
}

// ---- deleting and emptying ----

TEST_F(CursorTest, DeleteAllRecordsDeletesOnlyTheRange) {
  const auto low = MakeRecord(Person{.id = 3});
  const auto high = MakeRecord(Person{.id = 6});
  table.SetRange(false, 0, 0, low.data(), true, 0, 0, high.data(), false);
  table.DeleteAllRecords();
  EXPECT_EQ(table.Ids(), (std::vector<int32_t>{1, 2, 6, 7, 8, 9}));
  EXPECT_EQ(table.State(), TCursorState::AtBegin);
}

TEST_F(CursorTest, EmptyTableReopensAnOpenCursorWithItsShareMode) {
  table.EmptyTable();
  EXPECT_EQ(table.RowCount(), 0u);
  EXPECT_EQ(table.State(), TCursorState::Unpositioned);
  EXPECT_EQ(table.ShareMode(), kShareShared);

  KeyedTestTable exclusive(nullptr, nullptr, "X", kOpenReadWrite, kShareExclusive);
  exclusive.PutIds({1, 2});
  exclusive.EmptyTable();
  EXPECT_EQ(exclusive.RowCount(), 0u);
  EXPECT_NE(exclusive.State(), TCursorState::Closed);
  EXPECT_EQ(exclusive.ShareMode(), kShareExclusive);
}

TEST_F(CursorTest, EmptyTableLeavesAClosedCursorClosed) {
  table.CloseCursor();
  table.EmptyTable();
  EXPECT_EQ(table.RowCount(), 0u);
  EXPECT_EQ(table.State(), TCursorState::Closed);
  EXPECT_EQ(table.ShareMode(), kShareShared);
}

// ---- cloning and index descriptors ----

TEST_F(CursorTest, CloningGoesThroughTheOwningDatabase) {
  TBaseTable* clone = nullptr;
  EXPECT_EQ(ErrorCode([&] { table.CloneCursor(false, false, clone); }), DBIERR_INVALIDPARAM);

  TestDatabase database;
  auto* original = TBaseTable::Create<KeyedTestTable>(&database, &database.Tables(), "ORDERS",
                                                      kOpenReadOnly, kShareExclusive);
  original->CloneCursor(false, true, clone);
  ASSERT_NE(clone, nullptr);
  EXPECT_NE(clone, original);
  EXPECT_STREQ(clone->GetTableName(), "ORDERS");
  EXPECT_EQ(clone->OpenMode(), kOpenReadOnly);
  EXPECT_EQ(clone->ShareMode(), kShareExclusive);
  EXPECT_TRUE(database.lastUniDirectional);
  EXPECT_EQ(database.Tables().Count(), 2);
}

TEST_F(CursorTest, IndexDescriptorsAreReadUnderTheListFlag) {
  table.DefineIndex("ByName", {kName});
  std::vector<IndexDesc> descs(2);
  table.GetIndexDescs(descs.data());
  EXPECT_STREQ(descs[1].IndexName, "ByName");
  EXPECT_TRUE(table.sawReadingIndexList);
  EXPECT_FALSE(table.ReadingIndexList());
}

// ---- what the base leaves to drivers ----

class BareTable : public TBaseTable {
 public:
  BareTable() : TBaseTable(nullptr, nullptr, "BARE", nullptr, nullptr, 0, 0) {}
};

TEST(BaseCursor, PrimitivesWithoutADriverReportTheirErrors) {
  BareTable table;
  table.OpenCursor();
  uint8_t record[8] = {};
  EXPECT_THROW(table.GetNextRecord(dbiNOLOCK, record, nullptr), EVaderBOFError);
  EXPECT_EQ(table.State(), TCursorState::Unpositioned);
  EXPECT_EQ(ErrorCode([&] { table.SetToKey(keyCONDEQ, true, 0, 0, record); }), DBIERR_NA);
  EXPECT_EQ(ErrorCode([&] { table.GetRecordForKey(true, 0, 0, record, record); }),
            DBIERR_INVALIDHNDL);
  IndexDesc desc;
  std::memset(&desc, 0x5A, sizeof desc);
  EXPECT_EQ(ErrorCode([&] { table.GetIndexDesc(0, desc); }), DBIERR_INVALIDHNDL);
  EXPECT_EQ(desc.IndexName[0], 0);
  EXPECT_EQ(ErrorCode([&] { table.TruncateBlob(record, 1, 0); }), DBIERR_NOTSUPPORTED);
}

}  // namespace
}  // namespace vader::test
