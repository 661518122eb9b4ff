// Multi-file commits interrupted by a crash: the journals left beside the files decide, at the
// next open, whether the writes that missed their file are replayed.

#include <limits.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <unistd.h>

#include "Fixture.h"
#include "microkernel/CommitJournal.h"
#include "microkernel/SqliteStore.h"

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

// The journal a transaction leaves: replayed on the file as it was, it gives the file as the
// transaction left it. Ids are a unique key that may change here, and id 1 goes to a new record
// after the old one's moved away: replayed write by write with the records as they ended, the
// first write would meet id 1 twice.
TEST_F(CommitJournalTest, ATransactionsJournalReplaysToWhereItEnded) {
  const auto layout = Layout(32, 4096).Key({{1, 4, kMod, tInteger}}).Key({{5, 20, kDup | kMod, tString}});
  ASSERT_EQ(0, Create(Path("c"), layout.Bytes()));
  std::vector<uint32_t> at;  // the positions of ids 1, 2 and 3
  {
    std::unique_ptr<SqliteStore> setup;
    ASSERT_EQ(kOk, SqliteStore::Open(Path("c"), setup));
    for (int32_t id : {1, 2, 3}) {
      Bytes record = Person(id, "p" + std::to_string(id)), entry;
      uint32_t pos = 0;
      ASSERT_EQ(kOk, setup->BeginWrite(false, true));
      ASSERT_EQ(kOk, setup->Insert(record, pos, -1, entry));
      ASSERT_EQ(kOk, setup->EndWrite(true));
      at.push_back(pos);
    }
  }
  std::unique_ptr<SqliteStore> store;
  ASSERT_EQ(kOk, SqliteStore::Open(Path("c"), store));
  Bytes entry;
  const auto write = [&](char verb, uint32_t pos, int32_t id) {
    Bytes old, record = Person(id, "w" + std::to_string(id));
    ASSERT_EQ(kOk, store->BeginWrite(true, true));
    if (verb != 'i') {
      ASSERT_EQ(kOk, store->Read(pos, old));
    }
    const Status s = verb == 'i'   ? store->Insert(record, pos, -1, entry)
                     : verb == 'u' ? store->Update(pos, old, record, -1, entry)
                                   : store->Delete(pos, old);
    ASSERT_EQ(kOk, s) << verb << id;
    ASSERT_EQ(kOk, store->EndWrite(true));
  };
  write('u', at[0], 5);  // id 1 moves to 5 ...
  write('i', 0, 1);      // ... and a new record takes it
  write('u', at[1], 7);
  write('u', at[1], 9);  // written twice
  uint32_t gone = 0;
  ASSERT_EQ(kOk, store->BeginWrite(true, true));
  Bytes brief = Person(20, "brief");
  ASSERT_EQ(kOk, store->Insert(brief, gone, -1, entry));
  ASSERT_EQ(kOk, store->EndWrite(true));
  write('d', gone, 20);  // made and deleted by the transaction
  write('d', at[2], 3);
  Journal journal;
  journal.id = 78;
  journal.participants = {Path("c"), Path("b")};
  ASSERT_EQ(kOk, store->JournalEntries(journal.entries));
  ASSERT_EQ(kOk, store->EndTransaction(false));  // the crash: nothing of it committed
  store.reset();
  ASSERT_TRUE(WriteJournal(Path("c"), journal));
  journal.entries.clear();
  ASSERT_TRUE(WriteJournal(Path("b"), journal));
  EXPECT_EQ((std::vector<int32_t>{1, 5, 9}), Ids("c"));
  File c;
  ASSERT_EQ(0, c.Open(Path("c")));
  EXPECT_EQ((std::vector<int32_t>{1, 5, 9}), Walk(c, 1));  // names w1, w5, w9
  EXPECT_EQ(3u, c.RecordCount());
}

}  // namespace
}  // namespace vader::microkernel::test
