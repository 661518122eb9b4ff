// The record manager under faults: lock sessions the server ends, a wait lock whose holder
// changes the record, a wait on one thread while another holds the lock, and a full disk.

#include <fcntl.h>
#include <libpq-fe.h>
#include <sys/mount.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "ChildProcess.h"
#include "Fixture.h"

namespace vader::microkernel::test {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

int32_t AmountOf(const std::string& record) { return static_cast<int32_t>(FromLe(record, 24, 4)); }

// Everything written to this process's stderr while it lives.
class StderrCapture {
 public:
  StderrCapture() : path_(TempDir() + "/stderr") {
    std::fflush(stderr);
    saved_ = ::dup(2);
    const int fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(fd, 2);
    ::close(fd);
  }
  ~StderrCapture() { Restore(); }
  std::string Text() {
    Restore();
    std::ifstream in(path_);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

 private:
  void Restore() {
    if (saved_ < 0) return;
    std::fflush(stderr);
    ::dup2(saved_, 2);
    ::close(saved_);
    saved_ = -1;
  }
  std::string path_;
  int saved_ = -1;
};

// A small tmpfs of its own, to fill up.
class SmallDisk {
 public:
  explicit SmallDisk(const char* size) : dir_(TempDir()) {
    if (::geteuid() != 0)
      reason_ = "mounting a small file system needs root";
    else if (::mount("tmpfs", dir_.c_str(), "tmpfs", 0, (std::string("size=") + size).c_str()) != 0)
      reason_ = "cannot mount a tmpfs here";
    else
      mounted_ = true;
  }
  ~SmallDisk() {
    if (mounted_) ::umount2(dir_.c_str(), MNT_DETACH);
    RemoveTree(dir_);
  }
  bool Mounted() const { return mounted_; }
  const std::string& Reason() const { return reason_; }
  const std::string& Dir() const { return dir_; }

 private:
  std::string dir_;
  bool mounted_ = false;
  std::string reason_;
};

// Inserts people until a write fails; returns its status and counts the records written.
int16_t InsertUntilFailure(File& f, int32_t& written) {
  const std::string name(20, 'x');
  for (written = 0; written < 2000000; ++written)
    if (int16_t s = f.Insert(PersonRecord(written + 1, name, written)); s != 0) return s;
  return 0;
}

// A server of the tests' own whose idle sessions end after 300 ms.
class LockSessionTest : public ApiTest {
 protected:
  static void SetUpTestSuite() {
    server_ = new TestServer({"127.0.0.1"}, std::string(), "-c idle_session_timeout=300");
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }
  void SetUp() override {
    if (!server_->Running()) GTEST_SKIP() << "no PostgreSQL server: " << server_->Reason();
    static int run = 0;
    dir_ = server_->Location("l" + std::to_string(++run));
  }
  // Ends the server sessions of the position blocks that have a file open, and only those.
  void TerminateLockSessions() {
    ASSERT_TRUE(server_->Sql(
        "SELECT pg_terminate_backend(pid, 5000) FROM pg_locks WHERE locktype = 'advisory'"
        " AND objsubid = 2 AND objid = 4294967295"));
  }
  // Whether another program can replace the file now (it must not while the file is open).
  bool Replaceable() {
    Child creator("people", {Path("people")});
    return creator.Line() == "created";
  }
  static TestServer* server_;
  ClientId a_{1}, b_{2};
};

TestServer* LockSessionTest::server_ = nullptr;

TEST_F(LockSessionTest, LocksOutliveTheServersIdleTimeout) {
  File holder(&a_), other(&b_);
  MakePeople(holder, {1, 2});
  ASSERT_EQ(0, holder.Get(kGetEqual + 200, 0, Le(2, 4)));
  std::this_thread::sleep_for(milliseconds(900));
  EXPECT_EQ(88, other.Open(Path("people"), -4));
  ASSERT_EQ(0, other.Open(Path("people")));
  EXPECT_EQ(84, other.Get(kGetEqual + 200, 0, Le(2, 4)));
  EXPECT_FALSE(Replaceable());
  EXPECT_EQ(0, holder.Update(Person(2, "kept")));
}

TEST_F(LockSessionTest, AnEndedLockSessionIsReplacedBeforeAnyoneTakesItsLocks) {
  File holder(&a_), other(&b_);
  MakePeople(holder, {1, 2});
  ASSERT_EQ(0, holder.Get(kGetEqual + 200, 0, Le(2, 4)));
  StderrCapture stderrText;
  TerminateLockSessions();
  // The holder's own session still marks the file open.
  EXPECT_EQ(88, other.Open(Path("people"), -4));
  EXPECT_FALSE(Replaceable());
  // The holder's next call takes its locks again in a new session: nobody else holds them.
  EXPECT_EQ(0, holder.Update(Person(2, "kept")));
  ASSERT_EQ(0, holder.Get(kGetEqual + 200, 0, Le(1, 4)));
  ASSERT_EQ(0, other.Open(Path("people")));
  EXPECT_EQ(84, other.Get(kGetEqual + 200, 0, Le(1, 4)));
  // Before the holder notices, its mark keeps the record locked against the others.
  TerminateLockSessions();
  EXPECT_EQ(84, other.Get(kGetEqual + 200, 0, Le(1, 4)));
  EXPECT_EQ(0, holder.Update(Person(1, "kept")));
  ASSERT_EQ(0, other.Get(kGetEqual + 200, 0, Le(1, 4)));
  EXPECT_EQ(0, other.Update(Person(1, "other")));
  // The server's goodbyes are not the application's output.
  EXPECT_EQ("", stderrText.Text());
}

class WaitLockTest : public ApiTest {
 protected:
  // Client 1 holds record 1 of a file of people locked; client 2 may wait for it up to 5 s.
  void HoldRecordOne() {
    ::setenv("VADER_BTRV_WAIT_MS", "5000", 1);
    MakePeople(setup, {1});
    ASSERT_EQ(0, holder.Open(Path("people")));
    ASSERT_EQ(0, waiter.Open(Path("people")));
    ASSERT_EQ(0, holder.Get(kGetEqual + 200, 0, Le(1, 4)));
  }
  void TearDown() override {
    ::unsetenv("VADER_BTRV_WAIT_MS");
    for (File* file : {&holder, &waiter, &setup})
      if (file->open) file->Close();
    ApiTest::TearDown();
  }

  ClientId a{1}, b{2};
  File setup, holder{&a}, waiter{&b};
};

TEST_F(WaitLockTest, AGrantedWaitLockReadsTheRecordAsItsHolderLeftIt) {
  File f;
  MakePeople(f, {1});
  constexpr int kEach = 250;
  Child a("bump", {Path("people"), "1", std::to_string(kEach), "strict"});
  Child b("bump", {Path("people"), "1", std::to_string(kEach), "strict"});
  const std::string first = a.Line(), second = b.Line();
  EXPECT_EQ("done", first.substr(0, 4)) << first;
  EXPECT_EQ("done", second.substr(0, 4)) << second;
  ASSERT_EQ(0, f.Get(kGetEqual, 0, Le(1, 4)));
  EXPECT_EQ(2 * kEach, AmountOf(f.record));
}

TEST_F(WaitLockTest, AWaitOnOneThreadLetsAnotherThreadReleaseTheLock) {
  HoldRecordOne();
  std::atomic<int> waited{-1};
  std::thread waiting([&] { waited = waiter.Get(kGetEqual + 100, 0, Le(1, 4)); });
  std::this_thread::sleep_for(milliseconds(100));
  const auto start = steady_clock::now();
  ASSERT_EQ(0, holder.Update(Person(1, "holder", 7)));
  const auto updating = steady_clock::now() - start;
  waiting.join();
  EXPECT_LT(updating, milliseconds(2000));  // not until the wait gave up
  ASSERT_EQ(0, waited.load());
  EXPECT_EQ(7, AmountOf(waiter.record));
  EXPECT_EQ(0, waiter.Update(Person(1, "waiter", 8)));
}

std::atomic<int> gWaitAsks{0};
int16_t StopAtTheThirdAsk() { return ++gWaitAsks >= 3 ? 1 : 0; }

TEST_F(WaitLockTest, TheCallersHookIsAskedDuringAWaitAndCanEndIt) {
  HoldRecordOne();
  ASSERT_NE(nullptr, Api::Get().waitHook);
  void* before = Api::Get().waitHook(reinterpret_cast<void*>(&StopAtTheThirdAsk));
  const auto start = steady_clock::now();
  const int16_t waited = waiter.Get(kGetEqual + 100, 0, Le(1, 4));
  const auto took = steady_clock::now() - start;
  EXPECT_EQ(reinterpret_cast<void*>(&StopAtTheThirdAsk), Api::Get().waitHook(before));
  EXPECT_EQ(84, waited);
  EXPECT_EQ(3, gWaitAsks.load());
  EXPECT_LT(took, milliseconds(2000));  // not the 5 seconds the wait could take
}

class DiskFullTest : public ::testing::Test {
 protected:
  void TearDown() override { Api::Get().stop(); }
};

TEST_F(DiskFullTest, AFullDiskGivesStatus18AndKeepsWhatWasWritten) {
  SmallDisk disk("1m");
  if (!disk.Mounted()) GTEST_SKIP() << disk.Reason();
  const std::string path = disk.Dir() + "/people";
  ASSERT_EQ(0, Create(path, Layout(32, 4096).Key({{1, 4, 0, tInteger}}).Bytes()));
  File f;
  ASSERT_EQ(0, f.Open(path));
  int32_t written = 0;
  EXPECT_EQ(18, InsertUntilFailure(f, written));
  ASSERT_GT(written, 0);
  EXPECT_EQ(static_cast<uint32_t>(written), f.RecordCount());
  ASSERT_EQ(0, f.Get(kGetLast, 0));
  EXPECT_EQ(written, static_cast<int32_t>(FromLe(f.record, 0, 4)));
}

TEST_F(DiskFullTest, AFullDiskOnTheServerGivesStatus18) {
  SmallDisk disk("2m");
  if (!disk.Mounted()) GTEST_SKIP() << disk.Reason();
  // The server's tables go to the small disk; its log stays where it was.
  TestServer server({"127.0.0.1"}, std::string(), "-c default_tablespace=small");
  if (!server.Running()) GTEST_SKIP() << "no PostgreSQL server: " << server.Reason();
  ASSERT_EQ(0, server.AsServerUser("mkdir " + disk.Dir() + "/ts"));
  ASSERT_TRUE(server.Sql("CREATE TABLESPACE small LOCATION '" + disk.Dir() + "/ts'"));
  const std::string path = server.Location("full/people");
  ASSERT_EQ(0, Create(path, Layout(32, 4096).Key({{1, 4, 0, tInteger}}).Bytes()));
  File f;
  ASSERT_EQ(0, f.Open(path));
  int32_t written = 0;
  EXPECT_EQ(18, InsertUntilFailure(f, written));
  ASSERT_GT(written, 0);
  EXPECT_EQ(static_cast<uint32_t>(written), f.RecordCount());
  EXPECT_EQ(18, Create(server.Location("full/more"), Layout(32, 4096).Key({{1, 4, 0, tInteger}}).Bytes()));
}

}  // namespace
}  // namespace vader::microkernel::test
