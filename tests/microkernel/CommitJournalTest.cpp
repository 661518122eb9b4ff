// Multi-file commits interrupted by a crash: the journals left beside the files decide, at the
// next open, whether the writes that missed their file are replayed.

#include <limits.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <unistd.h>

#include "Fixture.h"
#include "microkernel/CommitJournal.h"

namespace vader::microkernel::test {
namespace {

class CommitJournalTest : public ApiTest {
 protected:
  void SetUp() override {
    if (ServerBackend()) GTEST_SKIP() << "the journals belong to local files";
    ApiTest::SetUp();
    char real[PATH_MAX];
    dir_ = ::realpath(dir_.c_str(), real);
    File a, b;
    MakePeople(a, {1, 2}, "a");
    MakePeople(b, {1, 2}, "b");
  }
  // The journal of a transaction that inserted id 10 (at position 3) into both files.
  Journal InsertTen() {
    Journal j;
    j.id = 77;
    j.participants = {Path("a"), Path("b")};
    j.entries.push_back({JournalEntry::kInsert, 3, Person(10, "ten")});
    return j;
  }
  void MarkCommitted(const std::string& file, uint64_t id) {
    sqlite3* db = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open(Path(file).c_str(), &db));
    const std::string sql = "UPDATE vader_file SET last_txn = " + std::to_string(id);
    EXPECT_EQ(SQLITE_OK, sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr));
    sqlite3_close(db);
  }
  std::vector<int32_t> Ids(const std::string& file) {
    File f;
    if (f.Open(Path(file)) != 0) return {-1};
    return Walk(f, 0);
  }
  bool JournalLeft(const std::string& file) {
    return ::access(JournalPath(Path(file)).c_str(), F_OK) == 0;
  }
};

TEST_F(CommitJournalTest, ADecidedCommitIsReplayedWhereItWasMissed) {
  // The crash came after file a committed (with its marker) and before b did.
  File a;
  ASSERT_EQ(0, a.Open(Path("a")));
  ASSERT_EQ(0, a.Insert(Person(10, "ten")));
  ASSERT_EQ(0, a.Close());
  MarkCommitted("a", 77);
  ASSERT_TRUE(WriteJournal(Path("a"), InsertTen()));
  ASSERT_TRUE(WriteJournal(Path("b"), InsertTen()));
  EXPECT_EQ((std::vector<int32_t>{1, 2, 10}), Ids("b"));
  EXPECT_EQ((std::vector<int32_t>{1, 2, 10}), Ids("a"));  // not applied twice
  EXPECT_FALSE(JournalLeft("a"));
  EXPECT_FALSE(JournalLeft("b"));
  File b;
  ASSERT_EQ(0, b.Open(Path("b")));
  ASSERT_EQ(0, b.Get(kGetEqual, 1, NameKey("ten")));  // the indexes were replayed too
}

TEST_F(CommitJournalTest, AnUndecidedCommitIsDropped) {
  // The crash came while the journals were written: b's never completed.
  ASSERT_TRUE(WriteJournal(Path("a"), InsertTen()));
  EXPECT_EQ((std::vector<int32_t>{1, 2}), Ids("a"));
  EXPECT_EQ((std::vector<int32_t>{1, 2}), Ids("b"));
  EXPECT_FALSE(JournalLeft("a"));
}

TEST_F(CommitJournalTest, TransactionsOverSeveralFilesLeaveNoJournal) {
  ClientId c(1);
  File a(&c), b(&c);
  ASSERT_EQ(0, a.Open(Path("a")));
  ASSERT_EQ(0, b.Open(Path("b")));
  ASSERT_EQ(0, Op(kBegin, &c));
  ASSERT_EQ(0, a.Insert(Person(3, "x")));
  ASSERT_EQ(0, b.Get(kGetEqual, 0, Le(1, 4)));
  ASSERT_EQ(0, b.Delete());
  ASSERT_EQ(0, Op(kEnd, &c));
  EXPECT_FALSE(JournalLeft("a"));
  EXPECT_FALSE(JournalLeft("b"));
  EXPECT_EQ((std::vector<int32_t>{1, 2, 3}), Ids("a"));
  EXPECT_EQ((std::vector<int32_t>{2}), Ids("b"));
}

}  // namespace
}  // namespace vader::microkernel::test
