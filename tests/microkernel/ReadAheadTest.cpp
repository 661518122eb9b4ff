// Walks over a server file, which read rows ahead of the calls in batches: whatever changes the
// file between two steps, a step returns what a fresh read would.

#include <chrono>
#include <cstdio>
#include <thread>

#include "ChildProcess.h"
#include "Fixture.h"

namespace vader::microkernel::test {
namespace {

std::string Hex(const std::string& bytes) {
  std::string out;
  char two[3];
  for (unsigned char c : bytes) {
    std::snprintf(two, sizeof two, "%02x", c);
    out += two;
  }
  return out;
}

class ReadAheadTest : public ApiTest {
 protected:
  void SetUp() override {
    ApiTest::SetUp();
    if (IsSkipped()) return;
    TestServer& server = TestServer::Shared();
    if (!server.Running()) GTEST_SKIP() << "no PostgreSQL server: " << server.Reason();
    static int run = 0;
    prefix_ = "ra" + std::to_string(::getpid()) + "_" + std::to_string(++run);
    dir_ = server.Location(prefix_);
    std::vector<int32_t> ids;
    for (int32_t id = 10; id <= 2000; id += 10) ids.push_back(id);
    MakePeople(walker_, ids);
  }
  // Walks from the first record until the walker holds a batch of rows read ahead of it.
  void WalkInto(int32_t upTo) {
    ASSERT_EQ(0, walker_.Get(kGetFirst, 0));
    while (IdOf(walker_.record) < upTo) ASSERT_EQ(0, walker_.Get(kGetNext, 0));
  }
  int32_t Next(uint16_t bias = 0) {
    const int16_t s = walker_.Get(kGetNext + bias, 0);
    return s == 0 ? IdOf(walker_.record) : -s;
  }
  // Inserts a person straight into the file's table, as a writer whose change was not announced
  // yet would have it there.
  bool InsertUnannounced(int32_t id) {
    const std::string data = Hex(Person(id, "unannounced"));
    // The key as stored: big-endian with the sign bit flipped.
    const auto u = static_cast<uint32_t>(id) ^ 0x80000000u;
    const std::string key = Hex({static_cast<char>(u >> 24), static_cast<char>(u >> 16),
                                 static_cast<char>(u >> 8), static_cast<char>(u)});
    return TestServer::Shared().Sql(
        "DO $$ BEGIN EXECUTE format('INSERT INTO vader_f%s(data, k0) VALUES "
        "(''\\x" + data + "''::bytea, ''\\x" + key + "''::bytea)', (SELECT id FROM vader_files "
        "WHERE name = '" + prefix_ + "/people')); END $$");
  }

  std::string prefix_;
  File walker_;
};

TEST_F(ReadAheadTest, ALockingReadIsNeverAnsweredFromRowsReadAhead) {
  WalkInto(200);
  ASSERT_TRUE(InsertUnannounced(205));
  EXPECT_EQ(205, Next(100));  // single wait lock
  ASSERT_TRUE(InsertUnannounced(207));
  EXPECT_EQ(207, Next(100));
  EXPECT_EQ(210, Next(100));
}

TEST_F(ReadAheadTest, OtherClientsWritesBetweenTwoStepsAreSeen) {
  WalkInto(200);
  ClientId otherId(3);
  File other(&otherId);
  ASSERT_EQ(0, other.Open(Path("people")));
  ASSERT_EQ(0, WritePerson(other, 'd', 210, 0));  // the record the next step would return
  EXPECT_EQ(220, Next());
  ASSERT_EQ(0, WritePerson(other, 'i', 225, 0));
  EXPECT_EQ(225, Next());
  ASSERT_EQ(0, WritePerson(other, 'u', 230, 77));
  EXPECT_EQ(230, Next());
  EXPECT_EQ(77, static_cast<int32_t>(FromLe(walker_.record, 24, 4)));
  // Another process: its change is announced to the walker's connection when it commits, and
  // arrives there within moments.
  Child writer("write", {Path("people")});
  ASSERT_EQ("0", writer.Ask("d 240 0"));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(250, Next());
  ASSERT_EQ("0", writer.Ask("i 255 0"));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(255, Next());
}

TEST_F(ReadAheadTest, InsideATransactionEveryStepSeesOtherClientsCommits) {
  File second;
  MakePeople(second, {1}, "second");
  ASSERT_EQ(0, Op(kBegin));
  // A write to another file of the server opens the transaction there.
  ASSERT_EQ(0, WritePerson(second, 'u', 1, 1));
  WalkInto(200);
  Child writer("write", {Path("people")});
  ASSERT_EQ("0", writer.Ask("d 210 0"));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(220, Next());
  ASSERT_EQ(0, Op(kEnd));
}

// A walk left idle lets its rows read ahead go and stops listening, so that the server keeps no
// announcements of other writers for it; its next step reads the file afresh.
TEST_F(ReadAheadTest, AnIdleWalkStopsListeningAndGoesOnAfresh) {
  WalkInto(200);
  ASSERT_TRUE(InsertUnannounced(205));
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  // The walker's session ended its last statement by no longer listening to the file.
  EXPECT_TRUE(TestServer::Shared().Sql(
      "DO $$ BEGIN IF NOT EXISTS (SELECT 1 FROM pg_stat_activity WHERE query = format("
      "'UNLISTEN vader_f%s;', (SELECT id FROM vader_files WHERE name = '" + prefix_ +
      "/people'))) THEN RAISE EXCEPTION 'still listening'; END IF; END $$"));
  EXPECT_EQ(205, Next());
  EXPECT_EQ(210, Next());
}

}  // namespace
}  // namespace vader::microkernel::test
