// Locks between clients and between processes, transactions, and a crash mid-load.

#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <set>
#include <thread>

#include "ChildProcess.h"
#include "Fixture.h"

namespace vader::microkernel::test {
namespace {

constexpr uint16_t kSingleWait = 100, kSingleNoWait = 200, kMultiNoWait = 400;

class LockTest : public ApiTest {
 protected:
  void SetUp() override {
    ApiTest::SetUp();
    ::setenv("VADER_BTRV_WAIT_MS", "50", 1);
    File f;
    MakePeople(f, {1, 2, 3});
  }
  void TearDown() override {
    ::unsetenv("VADER_BTRV_WAIT_MS");
    ApiTest::TearDown();
  }
  ClientId a_{1}, b_{2};
};

TEST_F(LockTest, SingleRecordLocksBetweenClients) {
  File fa(&a_), fb(&b_);
  ASSERT_EQ(0, fa.Open(Path("people")));
  ASSERT_EQ(0, fb.Open(Path("people")));
  ASSERT_EQ(0, fa.Get(kGetEqual + kSingleNoWait, 0, Le(1, 4)));
  EXPECT_EQ(84, fb.Get(kGetEqual + kSingleNoWait, 0, Le(1, 4)));
  EXPECT_EQ(84, fb.Get(kGetEqual + kSingleWait, 0, Le(1, 4)));  // waits, then gives up
  ASSERT_EQ(0, fb.Get(kGetEqual, 0, Le(1, 4)));                 // reading without a lock works
  EXPECT_EQ(84, fb.Update(Person(1, "b")));
  EXPECT_EQ(84, fb.Delete());
  ASSERT_EQ(0, fa.Update(Person(1, "a")));  // releases the lock
  EXPECT_EQ(0, fb.Get(kGetEqual + kSingleNoWait, 0, Le(1, 4)));
  // A new single lock on the same block releases the previous one.
  ASSERT_EQ(0, fb.Get(kGetEqual + kSingleNoWait, 0, Le(2, 4)));
  EXPECT_EQ(0, fa.Get(kGetEqual + kSingleNoWait, 0, Le(1, 4)));
  // Close releases too.
  ASSERT_EQ(0, fb.Close());
  EXPECT_EQ(0, fa.Get(kGetEqual + kSingleNoWait, 0, Le(2, 4)));
}

TEST_F(LockTest, MultipleRecordLocksAndUnlock) {
  File fa(&a_), fb(&b_);
  ASSERT_EQ(0, fa.Open(Path("people")));
  ASSERT_EQ(0, fb.Open(Path("people")));
  ASSERT_EQ(0, fa.Get(kGetEqual + kMultiNoWait, 0, Le(1, 4)));
  uint32_t pos1 = 0;
  ASSERT_EQ(0, fa.Position(pos1));
  ASSERT_EQ(0, fa.Get(kGetNext + kMultiNoWait, 0));
  EXPECT_EQ(93, fa.Get(kGetNext + kSingleNoWait, 0));
  EXPECT_EQ(84, fb.Get(kGetEqual + kSingleNoWait, 0, Le(1, 4)));
  EXPECT_EQ(84, fb.Get(kGetEqual + kSingleNoWait, 0, Le(2, 4)));
  uint32_t len = 4;
  ASSERT_EQ(0, fa.Call(kUnlock, &pos1, len, fa.key, 255, -1));
  EXPECT_EQ(81, fa.Call(kUnlock, &pos1, len, fa.key, 255, -1));  // not locked, others are
  EXPECT_EQ(0, fb.Get(kGetEqual + kSingleNoWait, 0, Le(1, 4)));
  ASSERT_EQ(0, fa.Call(kUnlock, nullptr, len, fa.key, 255, -2));
  EXPECT_EQ(0, fb.Get(kGetEqual + kSingleNoWait, 0, Le(2, 4)));
  // Unlocking a single lock that is not held is not an error.
  EXPECT_EQ(0, fa.Call(kUnlock, nullptr, len, fa.key, 255, 0));
}

TEST_F(LockTest, LocksBetweenProcessesVanishWithTheProcess) {
  Child child("lock", {Path("people"), "2"});
  ASSERT_EQ("locked", child.Line());
  File f;
  ASSERT_EQ(0, f.Open(Path("people")));
  EXPECT_EQ(84, f.Get(kGetEqual + kSingleNoWait, 0, Le(2, 4)));
  EXPECT_EQ(0, f.Get(kGetEqual + kSingleNoWait, 0, Le(3, 4)));
  child.Kill();
  // On a server the killed client's sessions end a moment after the process: allow them 5 s.
  int16_t status = 84;
  for (int tries = 0; tries < 100 && status == 84; ++tries) {
    status = f.Get(kGetEqual + kSingleNoWait, 0, Le(2, 4));
    if (status == 84) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_EQ(0, status);
  EXPECT_EQ(0, f.Update(Person(2, "after")));
}

class TransactionTest : public ApiTest {
 protected:
  void SetUp() override {
    ApiTest::SetUp();
    File f, g;
    MakePeople(f, {1, 2}, "a");
    MakePeople(g, {1, 2}, "b");
  }
  std::vector<int32_t> Ids(const std::string& file) {
    File f;
    if (f.Open(Path(file)) != 0) return {-1};
    return Walk(f, 0);
  }
  ClientId a_{1}, b_{2};
};

TEST_F(TransactionTest, AbortUndoesEveryWriteInEveryFile) {
  File fa(&a_), fb(&a_);
  ASSERT_EQ(0, fa.Open(Path("a")));
  ASSERT_EQ(0, fb.Open(Path("b")));
  ASSERT_EQ(0, Op(kBegin, &a_));
  ASSERT_EQ(0, fa.Insert(Person(3, "new")));
  ASSERT_EQ(0, fa.Get(kGetEqual, 0, Le(1, 4)));
  ASSERT_EQ(0, fa.Delete());
  ASSERT_EQ(0, fb.Get(kGetEqual, 0, Le(2, 4)));
  ASSERT_EQ(0, fb.Update(Person(2, "changed", 9)));
  EXPECT_EQ((std::vector<int32_t>{2, 3}), Walk(fa, 0));  // the client sees its own writes
  ASSERT_EQ(0, Op(kAbort, &a_));
  EXPECT_EQ((std::vector<int32_t>{1, 2}), Ids("a"));
  ASSERT_EQ(0, fb.Get(kGetEqual, 0, Le(2, 4)));
  EXPECT_EQ(0, static_cast<int32_t>(FromLe(fb.record, 24, 4)));
}

TEST_F(TransactionTest, EndCommitsAndOthersSeeOnlyCommittedData) {
  File fa(&a_), fb(&a_), other(&b_);
  ASSERT_EQ(0, fa.Open(Path("a")));
  ASSERT_EQ(0, fb.Open(Path("b")));
  ASSERT_EQ(0, other.Open(Path("a")));
  ASSERT_EQ(0, Op(1019, &a_));  // concurrent transaction
  ASSERT_EQ(0, fa.Insert(Person(3, "new")));
  ASSERT_EQ(0, fb.Insert(Person(3, "new")));
  EXPECT_EQ((std::vector<int32_t>{1, 2}), Walk(other, 0));
  EXPECT_EQ(2u, other.RecordCount());
  EXPECT_EQ(3u, fa.RecordCount());                    // the transaction sees its own insert
  EXPECT_EQ(85, other.Insert(Person(4, "blocked")));  // the file's writer is busy
  ASSERT_EQ(0, Op(kEnd, &a_));
  EXPECT_EQ((std::vector<int32_t>{1, 2, 3}), Walk(other, 0));
  EXPECT_EQ(3u, other.RecordCount());  // Stat's cached counts follow other writers
  EXPECT_EQ((std::vector<int32_t>{1, 2, 3}), Ids("b"));
  EXPECT_EQ(0, other.Insert(Person(4, "free")));
}

TEST_F(TransactionTest, ChangedRecordsStayLockedUntilTheEnd) {
  File fa(&a_), own(&a_), other(&b_);
  ASSERT_EQ(0, fa.Open(Path("a")));
  ASSERT_EQ(0, own.Open(Path("a")));
  ASSERT_EQ(0, other.Open(Path("a")));
  ASSERT_EQ(0, Op(1019, &a_));
  ASSERT_EQ(0, fa.Get(kGetEqual, 0, Le(1, 4)));
  ASSERT_EQ(0, fa.Update(Person(1, "changed")));
  EXPECT_EQ(84, other.Get(kGetEqual + 200, 0, Le(1, 4)));
  EXPECT_EQ(0, other.Get(kGetEqual + 200, 0, Le(2, 4)));
  EXPECT_EQ(0, own.Get(kGetEqual + 200, 0, Le(1, 4)));  // the same client is not kept out
  ASSERT_EQ(0, Op(kEnd, &a_));
  ASSERT_EQ(0, own.Close());
  EXPECT_EQ(0, other.Get(kGetEqual + 200, 0, Le(1, 4)));
}

TEST_F(TransactionTest, MisuseStatuses) {
  File fa(&a_);
  ASSERT_EQ(0, fa.Open(Path("a")));
  EXPECT_EQ(39, Op(kEnd, &a_));
  EXPECT_EQ(39, Op(kAbort, &a_));
  ASSERT_EQ(0, Op(kBegin, &a_));
  EXPECT_EQ(37, Op(kBegin, &a_));
  auto seg = Layout::SegmentBytes({{25, 4, kDup, tInteger}});
  uint32_t len = static_cast<uint32_t>(seg.size());
  EXPECT_EQ(41, fa.Call(kCreateIndex, seg.data(), len, fa.key, 255, 0));
  EXPECT_EQ(41, fa.Call(kDropIndex, nullptr, len, fa.key, 255, 1));
  ASSERT_EQ(0, Op(kAbort, &a_));
}

TEST_F(TransactionTest, StopAbortsTheTransactionAndCloseKeepsIt) {
  File fa(&a_);
  ASSERT_EQ(0, fa.Open(Path("a")));
  ASSERT_EQ(0, Op(kBegin, &a_));
  ASSERT_EQ(0, fa.Insert(Person(3, "kept")));
  ASSERT_EQ(0, fa.Close());  // the transaction goes on without the open file
  ASSERT_EQ(0, Op(kEnd, &a_));
  EXPECT_EQ((std::vector<int32_t>{1, 2, 3}), Ids("a"));
  ASSERT_EQ(0, fa.Open(Path("a")));
  ASSERT_EQ(0, Op(kBegin, &a_));
  ASSERT_EQ(0, fa.Insert(Person(4, "lost")));
  ASSERT_EQ(0, Op(kStop, &a_));
  fa.open = false;
  EXPECT_EQ((std::vector<int32_t>{1, 2, 3}), Ids("a"));
}

TEST_F(TransactionTest, AnotherProcessDyingMidTransactionLeavesNoTrace) {
  {
    Child child("txn", {Path("a"), Path("b"), "50"});
    ASSERT_EQ("inserted", child.Line());
    EXPECT_EQ((std::vector<int32_t>{1, 2}), Ids("a"));  // not visible before the end
    child.Kill();
  }
  EXPECT_EQ((std::vector<int32_t>{1, 2}), Ids("a"));
  EXPECT_EQ((std::vector<int32_t>{1, 2}), Ids("b"));
  File f;
  ASSERT_EQ(0, f.Open(Path("b")));
  EXPECT_EQ(0, f.Insert(Person(50, "mine")));  // the dead writer's lock is gone
}

class ThreadTest : public ApiTest {};

TEST_F(ThreadTest, ClientsOnSeveralThreadsShareOneFile) {
  File setup;
  MakePeople(setup, {});
  ASSERT_EQ(0, setup.Close());
  constexpr int kPerThread = 150;
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  for (uint16_t t = 0; t < 3; ++t)
    threads.emplace_back([&, t] {
      ClientId client(static_cast<uint16_t>(100 + t));
      File f(&client);
      if (f.Open(Path("people")) != 0) ++failures;
      for (int i = 0; i < kPerThread; ++i)
        if (f.Insert(Person(t * 1000 + i, "t")) != 0) ++failures;
    });
  for (auto& th : threads) th.join();
  EXPECT_EQ(0, failures.load());
  ASSERT_EQ(0, setup.Open(Path("people")));
  EXPECT_EQ(3u * kPerThread, setup.RecordCount());
}

TEST_F(ThreadTest, TwoProcessesWriteOneFileAtOnce) {
  File f;
  MakePeople(f, {});
  Child child("insert", {Path("people"), "1", "300"});
  for (int32_t id = 100000; id < 100300; ++id) ASSERT_EQ(0, f.Insert(Person(id, "parent")));
  for (int i = 0; i < 300; ++i) ASSERT_FALSE(child.Line().empty());
  EXPECT_EQ(600u, f.RecordCount());
  EXPECT_EQ(600u, Walk(f, 0).size());
}

class CrashTest : public ApiTest {};

TEST_F(CrashTest, AcknowledgedRecordsSurviveAKilledWriter) {
  File f;
  MakePeople(f, {});
  ASSERT_EQ(0, f.Close());
  std::set<int32_t> acknowledged;
  {
    Child child("insert", {Path("people"), "1", "100000"});
    for (int i = 0; i < 300; ++i) {
      const std::string line = child.Line();
      ASSERT_FALSE(line.empty());
      acknowledged.insert(std::atoi(line.c_str()));
    }
    child.Kill();  // mid-load
  }
  ASSERT_EQ(0, f.Open(Path("people")));
  for (int32_t id : acknowledged)
    EXPECT_EQ(0, f.Get(kGetEqual, 0, Le(static_cast<uint32_t>(id), 4))) << id;
  // The file checks clean: the key path, the physical order and Stat agree.
  const std::vector<int32_t> byKey = Walk(f, 0);
  size_t stepped = 0;
  for (int16_t s = f.Step(kStepFirst); s == 0; s = f.Step(kStepNext)) ++stepped;
  EXPECT_GE(byKey.size(), acknowledged.size());
  EXPECT_EQ(byKey.size(), stepped);
  EXPECT_EQ(byKey.size(), f.RecordCount());
  EXPECT_TRUE(std::is_sorted(byKey.begin(), byKey.end()));
  EXPECT_EQ(0, f.Insert(Person(999999, "after")));
  ASSERT_EQ(0, f.Close());
  if (ServerBackend()) return;  // the server checks its own storage
  sqlite3* db = nullptr;
  ASSERT_EQ(SQLITE_OK, sqlite3_open(Path("people").c_str(), &db));
  std::string check;
  sqlite3_exec(
      db, "PRAGMA integrity_check",
      [](void* out, int, char** values, char**) {
        *static_cast<std::string*>(out) += values[0] ? values[0] : "";
        return 0;
      },
      &check, nullptr);
  sqlite3_close(db);
  EXPECT_EQ("ok", check);
}

// The record count survives a writer killed amid inserts and deletes, each of which changes it.
TEST_F(CrashTest, TheRecordCountIsExactAfterAWriterIsKilledAmidInsertsAndDeletes) {
  File f;
  MakePeople(f, {});
  ASSERT_EQ(0, f.Close());
  {
    Child child("write", {Path("people")});
    for (int32_t id = 1; id <= 60; ++id) {
      ASSERT_EQ("0", child.Ask("i " + std::to_string(id) + " 0"));
      if (id % 3 == 0) {
        ASSERT_EQ("0", child.Ask("d " + std::to_string(id - 1) + " 0"));
      }
    }
    // Sent without waiting for the answers: the kill lands in the middle of these.
    for (int32_t id = 61; id <= 90; ++id)
      child.AskWithin((id % 2 ? "i " : "d ") + std::to_string(id % 2 ? id : id - 59) + " 0", 0);
    child.Kill();
  }
  ASSERT_EQ(0, f.Open(Path("people")));
  const std::vector<int32_t> byKey = Walk(f, 0);
  size_t stepped = 0;
  for (int16_t s = f.Step(kStepFirst); s == 0; s = f.Step(kStepNext)) ++stepped;
  EXPECT_EQ(byKey.size(), stepped);
  EXPECT_EQ(byKey.size(), f.RecordCount());
  ASSERT_EQ(0, f.Insert(Person(999999, "after")));
  EXPECT_EQ(byKey.size() + 1, f.RecordCount());
}

}  // namespace
}  // namespace vader::microkernel::test
