// Statements that change many rows: what they write, and that a failed or stopped one leaves
// every row as it was, alone or inside an explicit transaction.

#include "sqlengine/SqlApi.h"

namespace vader::testing {
namespace {

using namespace vader::sqlengine;

constexpr size_t kQuantity = 10;  // OrderLines: OrderId 4, LineNo 2, ProductId 4, Quantity 4

// Every record of a file in physical order, as stored.
std::vector<std::string> Records(const std::string& path) {
  BtrReader file(path);
  std::vector<std::string> out;
  for (uint16_t op = 33;; op = 24) {  // Step First, then Step Next
    std::string record(4096, '\0');
    uint32_t len = static_cast<uint32_t>(record.size());
    uint8_t key[255] = {};
    if (Api::Get().BTRCALL(op, file.pb, record.data(), &len, key, 255, 0) != 0) break;
    record.resize(len);
    out.push_back(record);
  }
  return out;
}

// The records with `delta` added to the 4-byte integer at `offset` of those whose id (their
// first 4 bytes) is `remainder` modulo `modulus`: what an UPDATE ... WHERE Id % m = r leaves.
std::vector<std::string> Added(std::vector<std::string> records, size_t offset, int32_t delta,
                               int32_t modulus, int32_t remainder) {
  for (std::string& r : records)
    if (At<int32_t>(r, 0) % modulus == remainder) {
      const int32_t v = At<int32_t>(r, offset) + delta;
      std::memcpy(r.data() + offset, &v, 4);
    }
  return records;
}

int RunTool(const std::string& args) {
  return WEXITSTATUS(std::system((BinDir() + "/vbutil " + args + " >/dev/null 2>&1").c_str()));
}

class BulkWriteTest : public SqlTest {
 protected:
  std::string lines = db + "/ORDLINE.BTR";
  std::string customers = db + "/CUSTOMER.BTR";

  // A unique, modifiable key on the customers' phone numbers (all different).
  void AddPhoneKey() {
    const std::string desc =
        dir.Write("phone.desc", "key modifiable\nsegment position=121 length=20 type=string\n");
    ASSERT_EQ(0, RunTool("index add " + customers + " " + desc));
  }
};

TEST_F(BulkWriteTest, AnUpdateOfManyRowsChangesExactlyTheBytesOfItsColumn) {
  const std::vector<std::string> before = Records(lines);
  ASSERT_GT(before.size(), 4096u);  // more than one batch
  EXPECT_EQ(kNoticeUpdate, StatusOf("UPDATE OrderLines SET Quantity = Quantity + 1 WHERE OrderId % 3 = 0"));
  std::vector<std::string> expected = Added(before, kQuantity, 1, 3, 0);
  EXPECT_EQ(expected, Records(lines));
  EXPECT_EQ(kNoticeDelete, StatusOf("DELETE FROM OrderLines WHERE OrderId % 3 = 1"));
  std::erase_if(expected, [](const std::string& r) { return At<int32_t>(r, 0) % 3 == 1; });
  EXPECT_EQ(expected, Records(lines));
  EXPECT_EQ(0, RunTool("check " + lines));
}

TEST_F(BulkWriteTest, KeysFollowTheirFieldsAndAUniqueKeyViolatedHalfWayChangesNothing) {
  AddPhoneKey();
  const std::vector<std::string> before = Records(customers);
  // Customer 200 is given customer 1's number: refused when its row is reached.
  EXPECT_EQ(5, StatusOf("UPDATE Customers SET Balance = Balance + 1, Phone = CASE WHEN Id = 200"
                        " THEN (SELECT Phone FROM Customers WHERE Id = 1) ELSE Phone END"));
  EXPECT_EQ(before, Records(customers));
  EXPECT_EQ(kNoticeUpdate, StatusOf("UPDATE Customers SET Phone = 'N' || Id, Country = 'Z'"
                                    " WHERE Id % 2 = 0"));
  EXPECT_EQ(0, RunTool("check " + customers));  // every index matches the records
  BtrReader file(customers);
  std::string record(4096, '\0');
  char key[255] = {};
  std::memset(key, ' ', 20);
  std::memcpy(key, "N10", 3);
  uint32_t len = static_cast<uint32_t>(record.size());
  ASSERT_EQ(0, api.BTRCALL(5, file.pb, record.data(), &len, key, 255, 3));
  EXPECT_EQ(10, At<int32_t>(record, 0));
  EXPECT_EQ((std::vector<std::string>{"N10|Z"}),
            Rows("SELECT Phone, Country FROM Customers WHERE Id = 10"));
}

TEST_F(BulkWriteTest, AnUpdateAlongTheKeyItChangesMeetsEachRowOnce) {
  AddPhoneKey();
  const std::vector<std::string> all = Rows("SELECT COUNT(*) FROM Customers");
  // The rows are read along the phone key, and each new number sorts right after the old.
  const int16_t c = Compile("UPDATE Customers SET Phone = Phone || 'x', \"Name\" = 'a, WHERE b'"
                            " WHERE Phone >= '' AND Id <> (SELECT MIN(Id) FROM Customers WHERE Id > @skip)");
  const char name[] = "skip", value[] = "0";
  ASSERT_EQ(0, api.XQLSubst(c, 1, sizeof name, name, sizeof value, value));
  ASSERT_EQ(kNoticeUpdate, api.XQLExec(c));
  int32_t changed = 0;
  EXPECT_EQ(0, api.XQLStatus(c, kStatusChangedRows, reinterpret_cast<char*>(&changed)));
  EXPECT_EQ(std::stoi(all[0]) - 1, changed);
  EXPECT_EQ(Rows("SELECT COUNT(*) - 1 FROM Customers"),
            Rows("SELECT COUNT(*) FROM Customers WHERE Phone LIKE '%x' AND Phone NOT LIKE '%xx'"
                 " AND Name = 'a, WHERE b'"));
  EXPECT_EQ(0, RunTool("check " + customers));
}

// Products end in a variable part (a description): a change of a field of the fixed part keeps
// it as stored.
TEST_F(BulkWriteTest, AnUpdateOfTheFixedPartKeepsTheVariablePart) {
  constexpr size_t kStock = 66;
  const std::string products = db + "/PRODUCT.BTR";
  const std::vector<std::string> before = Records(products);
  EXPECT_EQ(kNoticeUpdate, StatusOf("UPDATE Products SET Stock = Stock + 3 WHERE Id % 2 = 1"));
  EXPECT_EQ(Added(before, kStock, 3, 2, 1), Records(products));
  EXPECT_GT(before[0].size(), 83u);  // records with their variable part
}

TEST_F(BulkWriteTest, AnUpdateLeavesTheBytesOfColumnsItDoesNotAssign) {
  constexpr size_t kContact = 44;  // ZSTRING 30: bytes past its end byte are kept as stored
  {
    BtrReader file(customers);
    std::string record(4096, '\0');
    int32_t id = 7;
    uint32_t len = static_cast<uint32_t>(record.size());
    ASSERT_EQ(0, api.BTRCALL(5, file.pb, record.data(), &len, &id, 255, 0));  // Get Equal
    std::memcpy(record.data() + kContact, "Ann\0left over", 14);
    ASSERT_EQ(0, api.BTRCALL(3, file.pb, record.data(), &len, &id, 255, 0));  // Update
  }
  const std::vector<std::string> before = Records(customers);
  EXPECT_EQ(kNoticeUpdate, StatusOf("UPDATE Customers SET Active = 1 - Active"));
  const std::vector<std::string> after = Records(customers);
  ASSERT_EQ(before.size(), after.size());
  for (size_t i = 0; i < before.size(); ++i) {
    constexpr size_t kActive = 156;  // the one byte the statement assigns
    EXPECT_EQ(before[i].substr(0, kActive), after[i].substr(0, kActive)) << i;
    EXPECT_EQ(before[i].substr(kActive + 1), after[i].substr(kActive + 1)) << i;
    EXPECT_NE(before[i][kActive], after[i][kActive]) << i;
  }
}

// The last order's lines cannot take a new line number (key 0 is not modifiable): the
// statement fails in its second batch, after the first went to the record manager.
const char* const kFailsLate =
    "UPDATE OrderLines SET Quantity = Quantity + 1, LineNo = CASE WHEN OrderId ="
    " (SELECT MAX(OrderId) FROM OrderLines) THEN LineNo + 10 ELSE LineNo END";

int gQuestions = 0;
int16_t StopAtOnce() { return ++gQuestions > 0 ? 1 : 0; }

TEST_F(BulkWriteTest, AFailedOrStoppedStatementIsUndoneAloneInsideATransaction) {
  const std::vector<std::string> before = Records(lines);
  EXPECT_EQ(10, StatusOf(kFailsLate));
  EXPECT_EQ(before, Records(lines));

  EXPECT_EQ(kNoticeStartTransaction, StatusOf("START TRANSACTION"));
  EXPECT_EQ(kNoticeUpdate, StatusOf("UPDATE OrderLines SET Quantity = 0 WHERE OrderId = 1"));
  EXPECT_EQ(10, StatusOf(kFailsLate));
  ProgressCallback previous = nullptr;
  ASSERT_EQ(0, api._XQLCallback(kCallbackProgress, 0, reinterpret_cast<void*>(&StopAtOnce), &previous));
  EXPECT_EQ(kStatusStopped, StatusOf("DELETE FROM OrderLines"));
  ASSERT_EQ(0, api._XQLCallback(kCallbackProgress, 0, nullptr, &previous));
  // Another client sees nothing of the transaction before it commits, and all of it after.
  EXPECT_EQ(before, Records(lines));
  EXPECT_EQ(kNoticeCommit, StatusOf("COMMIT WORK"));
  std::vector<std::string> expected = before;
  for (std::string& r : expected)
    if (At<int32_t>(r, 0) == 1) std::memset(r.data() + kQuantity, 0, 4);
  EXPECT_EQ(expected, Records(lines));
}

}  // namespace
}  // namespace vader::testing
