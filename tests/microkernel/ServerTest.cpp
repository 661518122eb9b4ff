// What only the server backend has: a server that goes away, directories mapped to a server,
// and a client transaction that meets another client's write lock.

#include <cstdlib>

#include "Fixture.h"

namespace vader::microkernel::test {
namespace {

class ServerTest : public ApiTest {
 protected:
  static void SetUpTestSuite() { server_ = new TestServer(); }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }
  void SetUp() override {
    if (!server_->Running()) GTEST_SKIP() << "no PostgreSQL server: " << server_->Reason();
    ApiTest::SetUp();
    static int run = 0;
    dir_ = server_->Location("s" + std::to_string(++run));
  }
  static TestServer* server_;
};

TestServer* ServerTest::server_ = nullptr;

TEST_F(ServerTest, ALostServerGivesStatus95AndKeepsEveryAcknowledgedWrite) {
  File f;
  MakePeople(f, {1, 2, 3});
  ClientId client(4);
  File g(&client);
  ASSERT_EQ(0, g.Open(Path("people")));
  ASSERT_EQ(0, Op(kBegin, &client));
  ASSERT_EQ(0, g.Insert(Person(50, "uncommitted")));  // never acknowledged by End Transaction
  {
    File idle;  // leaves an idle lock connection behind, which the restart makes stale
    ASSERT_EQ(0, idle.Open(Path("people")));
  }
  server_->Crash();
  EXPECT_EQ(95, f.Get(kGetEqual, 0, Le(2, 4)));
  EXPECT_EQ(95, f.Insert(Person(4, "lost")));
  EXPECT_EQ(95, Op(kEnd, &client));
  ASSERT_TRUE(server_->Start());
  // The file's users open it again; the acknowledged records are there, nothing else is.
  EXPECT_EQ(95, f.Get(kGetFirst, 0));
  ASSERT_EQ(0, f.Close());
  ASSERT_EQ(0, g.Close());
  ASSERT_EQ(0, f.Open(Path("people")));
  EXPECT_EQ((std::vector<int32_t>{1, 2, 3}), Walk(f, 0));
  EXPECT_EQ(0, f.Insert(Person(4, "again")));
  EXPECT_EQ(12, File().Open(server_->Location("s0/none")));
}

TEST_F(ServerTest, AMappedDirectoryOpensOnTheServer) {
  const std::string local = TempDir();
  ::setenv("VADER_BTRV_SERVERS", ("/nowhere=x;" + local + "/=" + dir_).c_str(), 1);
  File f;
  ASSERT_EQ(0, Create(local + "/people", PeopleLayout()));
  ASSERT_EQ(0, f.Open(local + "/sub/../people"));
  ASSERT_EQ(0, f.Insert(Person(7, "mapped")));
  ::unsetenv("VADER_BTRV_SERVERS");
  File g;
  ASSERT_EQ(0, g.Open(Path("people")));  // the same file by its location
  EXPECT_EQ(1u, g.RecordCount());
  EXPECT_EQ(12, File().Open(local + "/people"));  // nothing was written locally
  RemoveTree(local);
}

TEST_F(ServerTest, ATransactionThatMeetsAnotherWriterGoesOn) {
  ::setenv("VADER_BTRV_WAIT_MS", "100", 1);
  File people, other;
  MakePeople(people, {1, 2});
  MakePeople(other, {}, "other");
  ClientId a(1), b(2);
  File fa(&a), fb(&b), fbOther(&b);
  ASSERT_EQ(0, fa.Open(Path("people")));
  ASSERT_EQ(0, fb.Open(Path("people")));
  ASSERT_EQ(0, fbOther.Open(Path("other")));
  ASSERT_EQ(0, Op(kBegin, &a));
  ASSERT_EQ(0, fa.Get(kGetEqual, 0, Le(1, 4)));
  ASSERT_EQ(0, fa.Update(Person(1, "by a")));
  ASSERT_EQ(0, Op(kBegin, &b));
  ASSERT_EQ(0, fbOther.Insert(Person(9, "by b")));
  ASSERT_EQ(0, fb.Get(kGetEqual, 0, Le(2, 4)));
  EXPECT_EQ(85, fb.Update(Person(2, "by b")));  // a's transaction holds the file's writers
  ASSERT_EQ(0, Op(kEnd, &a));
  EXPECT_EQ(0, fb.Update(Person(2, "by b")));
  ASSERT_EQ(0, Op(kEnd, &b));
  EXPECT_EQ(1u, other.RecordCount());
  ASSERT_EQ(0, people.Get(kGetEqual, 1, NameKey("by b")));
  EXPECT_EQ(2, IdOf(people.record));
  ::unsetenv("VADER_BTRV_WAIT_MS");
}

// Many more writes than the server's lock table has room for, in one transaction; a write
// refused in the middle of it takes back only itself.
TEST_F(ServerTest, ALongTransactionCommitsWholeAndARefusedInsertInItGoesAlone) {
  constexpr int32_t kRecords = 50000;
  File f;
  ASSERT_EQ(0, Create(Path("long"), Layout(32, 4096).Key({{1, 4, kMod, tInteger}}).Bytes()));
  ASSERT_EQ(0, f.Open(Path("long")));
  ASSERT_EQ(0, Op(kBegin));
  for (int32_t id = 1; id <= kRecords; ++id) {
    ASSERT_EQ(0, f.Insert(Person(id, "in"))) << id;
    if (id == kRecords / 2) {
      ASSERT_EQ(5, f.Insert(Person(id, "twice")));
    }
  }
  ASSERT_EQ(0, f.Get(kGetEqual, 0, Le(7, 4)));
  ASSERT_EQ(5, f.Update(Person(8, "moved")));  // a key value another record holds
  ASSERT_EQ(0, Op(kEnd));
  File g;
  ASSERT_EQ(0, g.Open(Path("long")));
  EXPECT_EQ(static_cast<uint32_t>(kRecords), g.RecordCount());
  ASSERT_EQ(0, g.Get(kGetEqual, 0, Le(7, 4)));
  EXPECT_EQ(Person(7, "in"), g.record);
  ASSERT_EQ(0, g.Get(kGetEqual, 0, Le(kRecords / 2, 4)));
  EXPECT_EQ(Person(kRecords / 2, "in"), g.record);
  ASSERT_EQ(0, g.Get(kGetLast, 0));
  EXPECT_EQ(kRecords, IdOf(g.record));
}

}  // namespace
}  // namespace vader::microkernel::test
