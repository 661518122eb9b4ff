// Stat's record and key-value counts, which the file keeps current with every write: after
// inserts, updates of key values, deletes, rollbacks, index changes, other clients and other
// processes, and for a file written before it kept them.

#include "ChildProcess.h"
#include "Fixture.h"
#include "microkernel/Sqlite.h"

namespace vader::microkernel::test {
namespace {

class CountsTest : public ApiTest {
 protected:
  // Records, then the unique values of each key (one segment per key).
  static std::vector<uint32_t> Counts(File& f) {
    std::vector<uint8_t> stat;
    if (f.Stat(stat) != 0) return {};
    auto u32 = [&](size_t at) {
      return std::string(reinterpret_cast<const char*>(stat.data()) + at, 4);
    };
    std::vector<uint32_t> counts{static_cast<uint32_t>(FromLe(u32(6), 0, 4))};
    for (size_t key = 0; key < stat[4]; ++key)
      counts.push_back(static_cast<uint32_t>(FromLe(u32(16 + 16 * key + 6), 0, 4)));
    return counts;
  }
  using C = std::vector<uint32_t>;
  int16_t Rename(File& f, int32_t id, const std::string& name) {
    if (int16_t s = f.Get(kGetEqual, 0, Le(static_cast<uint32_t>(id), 4)); s != 0) return s;
    return f.Update(Person(id, name));
  }
  int16_t Remove(File& f, int32_t id) {
    if (int16_t s = f.Get(kGetEqual, 0, Le(static_cast<uint32_t>(id), 4)); s != 0) return s;
    return f.Delete();
  }
};

TEST_F(CountsTest, CountsFollowWritesRollbacksIndexesClientsAndProcesses) {
  ClientId a(1), b(2);
  File f(&a), other(&b);
  MakePeople(f, {});
  ASSERT_FALSE(HasFailure());
  for (auto [id, name] : {std::pair{1, "ann"}, {2, "bob"}, {3, "ann"}})
    ASSERT_EQ(0, f.Insert(Person(id, name)));
  EXPECT_EQ((C{3, 3, 2}), Counts(f));
  ASSERT_EQ(0, Rename(f, 3, "cy"));  // a duplicate becomes a new value
  EXPECT_EQ((C{3, 3, 3}), Counts(f));
  ASSERT_EQ(0, Rename(f, 1, "bob"));  // the last "ann" joins an existing value
  EXPECT_EQ((C{3, 3, 2}), Counts(f));
  ASSERT_EQ(0, Remove(f, 2));  // "bob" stays with record 1
  EXPECT_EQ((C{2, 2, 2}), Counts(f));
  ASSERT_EQ(0, Remove(f, 1));
  EXPECT_EQ((C{1, 1, 1}), Counts(f));

  // A rolled-back transaction leaves the counts as they were; a committed one as it made them.
  ASSERT_EQ(0, Op(kBegin, &a));
  ASSERT_EQ(0, f.Insert(Person(4, "dee")));
  ASSERT_EQ(0, Rename(f, 3, "dee"));
  EXPECT_EQ((C{2, 2, 1}), Counts(f));
  ASSERT_EQ(0, Op(kAbort, &a));
  EXPECT_EQ((C{1, 1, 1}), Counts(f));
  ASSERT_EQ(0, Op(kBegin, &a));
  ASSERT_EQ(0, f.Insert(Person(5, "eve")));
  ASSERT_EQ(0, Op(kEnd, &a));
  ASSERT_EQ(0, other.Open(Path("people")));
  EXPECT_EQ((C{2, 2, 2}), Counts(other));

  // Another process and this one insert at once, each under one duplicate name.
  Child child("insert", {Path("people"), "1000", "150"});
  for (int32_t id = 2000; id < 2150; ++id) ASSERT_EQ(0, other.Insert(Person(id, "parent")));
  for (int i = 0; i < 150; ++i) ASSERT_FALSE(child.Line().empty());
  EXPECT_EQ((C{302, 302, 4}), Counts(f));

  // A built index starts with its counts; dropping one renumbers the rest.
  ASSERT_EQ(0, f.Insert(Person(6, "eve", 7)));
  auto seg = Layout::SegmentBytes({{25, 4, kDup | kMod, tInteger}});
  uint32_t len = static_cast<uint32_t>(seg.size());
  ASSERT_EQ(0, f.Call(kCreateIndex, seg.data(), len, f.key, 255, 0));
  EXPECT_EQ((C{303, 303, 4, 3}), Counts(f));
  len = 0;
  ASSERT_EQ(0, f.Call(kDropIndex, nullptr, len, f.key, 255, 1));
  EXPECT_EQ((C{303, 303, 3}), Counts(other));
  len = static_cast<uint32_t>(seg.size());
  ASSERT_EQ(0, f.Call(kCreateIndex, seg.data(), len, f.key, 255, 0));
  len = 0;
  ASSERT_EQ(0, f.Call(kDropIndex, nullptr, len, f.key, 255, 1));
  EXPECT_EQ((C{303, 303, 3}), Counts(f));

  ASSERT_EQ(0, f.Close());
  ASSERT_EQ(0, f.Open(Path("people")));
  EXPECT_EQ((C{303, 303, 3}), Counts(f));
}

TEST_F(CountsTest, AFileWithoutCountsIsCountedOnceAndKeptFromThen) {
  if (ServerBackend()) GTEST_SKIP() << "takes the count table out of an SQLite file";
  File f;
  MakePeople(f, {1, 2, 3});
  ASSERT_EQ(0, f.Close());
  {
    Connection db;
    ASSERT_EQ(SQLITE_OK, db.Open(Path("people"), false));
    ASSERT_EQ(SQLITE_OK, db.Exec("DROP TABLE vader_counts"));
  }
  ASSERT_EQ(0, f.Open(Path("people")));
  EXPECT_EQ((C{3, 3, 3}), Counts(f));
  ASSERT_EQ(0, f.Insert(Person(4, "p1")));
  ASSERT_EQ(0, f.Close());
  {
    Connection db;
    ASSERT_EQ(SQLITE_OK, db.Open(Path("people"), false));
    Statement stored(db.Handle(), "SELECT count(*) FROM vader_counts");
    ASSERT_EQ(SQLITE_ROW, stored.Step());
    EXPECT_EQ(3, stored.Int(0));  // the records and each key
  }
  ASSERT_EQ(0, f.Open(Path("people")));
  EXPECT_EQ((C{4, 4, 3}), Counts(f));
}

// The record count is kept beside the records, above every position: no read reaches it.
TEST_F(CountsTest, TheKeptRecordCountIsNeverReadAsARecord) {
  File f;
  MakePeople(f, {1, 2});
  ASSERT_FALSE(HasFailure());
  ASSERT_EQ(0, Remove(f, 2));
  ASSERT_EQ(0, f.Insert(Person(3, "p3")));
  for (uint32_t pos : {0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu}) EXPECT_EQ(43, f.Direct(pos, 0));
  ASSERT_EQ(0, f.Step(kStepLast));
  uint32_t last = 0;
  ASSERT_EQ(0, f.Position(last));
  // The freed position is taken again, as before.
  if (!ServerBackend()) {
    EXPECT_EQ(2u, last);
  }
  EXPECT_EQ(9, f.Step(kStepNext));
  EXPECT_EQ((C{2, 2, 2}), Counts(f));
}

}  // namespace
}  // namespace vader::microkernel::test
