// The relational engine's own operations: a statement inside a transaction, undone alone, and
// many updates and deletes by position in one call.

#include "Fixture.h"

namespace vader::microkernel::test {
namespace {

constexpr uint16_t kWriteBatch = 90, kStatement = 91;
constexpr int8_t kStatementBegin = 0, kStatementKeep = 1, kStatementUndo = 2;

int16_t StatementStep(ClientId& client, int8_t step) {
  uint8_t pb[128] = {}, key[255] = {};
  uint32_t len = 0;
  return Api::Get().callId(kStatement, pb, nullptr, &len, key, 0, step, client.bytes);
}

class StatementTest : public ApiTest {
 protected:
  int32_t AmountOf(File& f, int32_t id) {
    if (f.Get(kGetEqual, 0, Le(static_cast<uint32_t>(id), 4)) != 0) return -1;
    return static_cast<int32_t>(FromLe(f.record, 24, 4));
  }
  uint32_t PositionOf(File& f, int32_t id) {
    uint32_t pos = 0;
    EXPECT_EQ(0, f.Get(kGetEqual, 0, Le(static_cast<uint32_t>(id), 4)));
    EXPECT_EQ(0, f.Position(pos));
    return pos;
  }
  // A batch that sets the amounts (the 4 bytes at 24) of `updates` and deletes `deletes`.
  std::string Batch(const std::vector<std::pair<uint32_t, int32_t>>& updates,
                    const std::vector<uint32_t>& deletes) {
    std::string b = Le(static_cast<uint32_t>(updates.size() + deletes.size()), 2) + Le(1, 2) +
                    Le(24, 2) + Le(4, 2);
    for (const auto& [pos, amount] : updates)
      b += Le(pos, 4) + std::string(1, '\0') + Le(static_cast<uint32_t>(amount), 4);
    for (uint32_t pos : deletes) b += Le(pos, 4) + std::string(1, '\1');
    return b;
  }
  int16_t SendBatch(File& f, std::string batch) {
    uint32_t len = static_cast<uint32_t>(batch.size());
    uint8_t key[255] = {};
    const int16_t s = f.Call(kWriteBatch, batch.data(), len, key, 255, -1);
    failedEntry = len >= 2 ? static_cast<int>(FromLe(batch, 0, 2)) : -1;
    return s;
  }
  int failedEntry = -1;
};

TEST_F(StatementTest, AnUndoneStatementTakesBackOnlyItsOwnWritesInEveryFile) {
  ClientId c(1);
  File a(&c), b(&c);
  MakePeople(a, {1, 2, 3}, "a");
  MakePeople(b, {1, 2}, "b");
  EXPECT_EQ(39, StatementStep(c, kStatementBegin));  // only inside a transaction
  ASSERT_EQ(0, Op(kBegin, &c));
  ASSERT_EQ(0, WritePerson(a, 'u', 1, 10));
  ASSERT_EQ(0, StatementStep(c, kStatementBegin));
  ASSERT_EQ(0, WritePerson(a, 'u', 2, 20));
  ASSERT_EQ(0, WritePerson(a, 'd', 3, 0));
  ASSERT_EQ(0, WritePerson(a, 'i', 5, 0));
  ASSERT_EQ(0, WritePerson(b, 'd', 1, 0));  // b joins the transaction in the statement
  ASSERT_EQ(0, StatementStep(c, kStatementUndo));
  EXPECT_EQ(39, StatementStep(c, kStatementKeep));
  EXPECT_EQ(10, AmountOf(a, 1));  // the transaction goes on with what came before
  EXPECT_EQ(0, AmountOf(a, 2));
  ASSERT_EQ(0, StatementStep(c, kStatementBegin));
  ASSERT_EQ(0, WritePerson(a, 'u', 2, 30));
  ASSERT_EQ(0, WritePerson(b, 'u', 2, 7));
  ASSERT_EQ(0, StatementStep(c, kStatementKeep));
  ASSERT_EQ(0, Op(kEnd, &c));
  EXPECT_EQ((std::vector<int32_t>{1, 2, 3}), Walk(a, 0));
  EXPECT_EQ((std::vector<int32_t>{1, 2}), Walk(b, 0));
  EXPECT_EQ(3u, a.RecordCount());  // the undone insert and deletes left the counts too
  EXPECT_EQ(2u, b.RecordCount());
  EXPECT_EQ(10, AmountOf(a, 1));
  EXPECT_EQ(30, AmountOf(a, 2));
  EXPECT_EQ(7, AmountOf(b, 2));
}

TEST_F(StatementTest, ABatchWritesAllOfItsRecordsOrNone) {
  ClientId c(1), other(2);
  File f(&c), g(&other);
  MakePeople(f, {1, 2, 3, 4, 5});
  ASSERT_EQ(0, g.Open(Path("people")));
  const uint32_t p1 = PositionOf(f, 1), p2 = PositionOf(f, 2), p4 = PositionOf(f, 4);
  // Another client's lock on record 2 refuses the whole batch, naming the entry.
  ASSERT_EQ(0, g.Get(kGetEqual + 100, 0, Le(2, 4)));
  ASSERT_EQ(0, Op(kBegin, &c));
  EXPECT_EQ(84, SendBatch(f, Batch({{p1, 11}, {p2, 12}}, {p4})));
  EXPECT_EQ(1, failedEntry);
  ASSERT_EQ(0, Op(kAbort, &c));
  EXPECT_EQ(0, AmountOf(f, 1));
  // Without the lock, in a transaction that another client cannot see into before it ends.
  ASSERT_EQ(0, g.Close());
  ASSERT_EQ(0, g.Open(Path("people")));
  ASSERT_EQ(0, Op(kBegin, &c));
  ASSERT_EQ(0, SendBatch(f, Batch({{p2, 12}, {p1, 11}}, {p4})));
  EXPECT_EQ(0, AmountOf(g, 1));
  EXPECT_EQ(84, g.Get(kGetEqual + 200, 0, Le(2, 4)));  // held for the transaction
  ASSERT_EQ(0, Op(kEnd, &c));
  EXPECT_EQ((std::vector<int32_t>{1, 2, 3, 5}), Walk(g, 0));
  EXPECT_EQ(11, AmountOf(g, 1));
  EXPECT_EQ(12, AmountOf(g, 2));
  // A record that is gone fails the batch: the update before it is not made.
  EXPECT_EQ(43, SendBatch(f, Batch({{p1, 21}, {p4, 1}}, {})));
  EXPECT_EQ(1, failedEntry);
  EXPECT_EQ(11, AmountOf(g, 1));
}

}  // namespace
}  // namespace vader::microkernel::test
