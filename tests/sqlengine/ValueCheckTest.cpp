// Values a column cannot hold: numbers beyond its bytes or digits, impossible dates and times,
// texts that are no numbers. Each is refused with its status and the statement changes nothing.

#include "sqlengine/SqlApi.h"

namespace vader::testing {
namespace {

using namespace vader::sqlengine;

TEST_F(SqlTest, NumbersThatDoNotFitTheColumnAreRefusedAndChangeNothing) {
  const std::string lines = "SELECT OrderId, LineNo, Quantity, UnitPrice FROM OrderLines WHERE OrderId <= 3 ORDER BY 1, 2";
  const std::string ratings = "SELECT Id, Rating FROM Suppliers WHERE Id IN (10, 20) ORDER BY Id";
  const auto linesBefore = Rows(lines), ratingsBefore = Rows(ratings);
  for (const char* statement : {
           "UPDATE OrderLines SET Quantity = 4294967297 WHERE OrderId = 1",
           "UPDATE Suppliers SET Rating = 70000 WHERE Id = 10",
           "UPDATE Suppliers SET Rating = '-32769' WHERE Id = 10",
           "UPDATE Suppliers SET Rating = 1e300 WHERE Id = 10",
           "UPDATE OrderLines SET UnitPrice = 1000000000 WHERE OrderId = 1",  // 11 digits, 2 of them decimals
           // One row that does not fit stops the whole statement.
           "UPDATE OrderLines SET Quantity = Quantity * 400000000 WHERE OrderId <= 3",
           "INSERT INTO OrderLines (OrderId, LineNo, Quantity) VALUES (1, 99, -2147483649)",
       })
    EXPECT_EQ(kStatusOutOfRange, StatusOf(statement)) << statement;
  EXPECT_EQ(linesBefore, Rows(lines));
  EXPECT_EQ(ratingsBefore, Rows(ratings));
  // The limits themselves fit, also written as text.
  EXPECT_EQ(kNoticeUpdate, StatusOf("UPDATE Suppliers SET Rating = -32768 WHERE Id = 10"));
  EXPECT_EQ(kNoticeUpdate, StatusOf("UPDATE Suppliers SET Rating = ' 32767 ' WHERE Id = 20"));
  EXPECT_EQ((std::vector<std::string>{"10|-32768", "20|32767"}), Rows(ratings));
  EXPECT_EQ(kNoticeUpdate, StatusOf("UPDATE OrderLines SET UnitPrice = '999999999.99' WHERE OrderId = 1 AND LineNo = 1"));
  EXPECT_EQ(std::vector<std::string>{"999999999.99"},
            Rows("SELECT UnitPrice FROM OrderLines WHERE OrderId = 1 AND LineNo = 1"));
}

TEST_F(SqlTest, ImpossibleDatesTimesAndNonNumbersAreRefused) {
  const std::string customer = "SELECT Since, City FROM Customers WHERE Id = 1";
  const std::string order = "SELECT OrderTime, EmployeeId, Total, Paid FROM Orders WHERE Id = 1";
  const auto customerBefore = Rows(customer), orderBefore = Rows(order);
  const std::vector<std::pair<const char*, int16_t>> refused = {
      {"UPDATE Customers SET Since = '2024-02-30' WHERE Id = 1", kStatusInvalidDate},
      {"UPDATE Customers SET Since = '2023-02-29' WHERE Id = 1", kStatusInvalidDate},
      {"UPDATE Customers SET Since = '13/01/2024' WHERE Id = 1", kStatusInvalidDate},
      {"UPDATE Customers SET Since = 'garbage' WHERE Id = 1", kStatusInvalidDate},
      {"UPDATE Customers SET Since = '2024-01-01 garbage' WHERE Id = 1", kStatusInvalidDate},
      {"UPDATE Customers SET Since = 20240101 WHERE Id = 1", kStatusInvalidDate},
      {"UPDATE Orders SET OrderTime = '25:61:00' WHERE Id = 1", kStatusInvalidTime},
      {"UPDATE Orders SET OrderTime = '12:00:60' WHERE Id = 1", kStatusInvalidTime},
      {"UPDATE Orders SET OrderTime = 'noon' WHERE Id = 1", kStatusInvalidTime},
      {"UPDATE Orders SET EmployeeId = 'abc' WHERE Id = 1", kStatusNotANumber},
      {"UPDATE Orders SET EmployeeId = '' WHERE Id = 1", kStatusNotANumber},
      {"UPDATE Orders SET Total = '12,50' WHERE Id = 1", kStatusNotANumber},
      {"UPDATE Orders SET Paid = 'yes' WHERE Id = 1", kStatusNotANumber},
  };
  for (const auto& [statement, status] : refused) EXPECT_EQ(status, StatusOf(statement)) << statement;
  EXPECT_EQ(customerBefore, Rows(customer));
  EXPECT_EQ(orderBefore, Rows(order));
  // Well-formed values are stored as written.
  EXPECT_EQ(kNoticeUpdate, StatusOf("UPDATE Customers SET Since = '02/29/2024' WHERE Id = 1"));
  EXPECT_EQ(kNoticeUpdate, StatusOf("UPDATE Orders SET ShipDate = '0000-00-00' WHERE Id = 1"));
  EXPECT_EQ(std::vector<std::string>{""}, Rows("SELECT ShipDate FROM Orders WHERE Id = 1"));
  EXPECT_EQ(kNoticeUpdate, StatusOf("UPDATE Orders SET OrderTime = '23:59:59.99', EmployeeId = ' 7 ' WHERE Id = 1"));
  EXPECT_EQ(std::vector<std::string>{"2024-02-29"}, Rows("SELECT Since FROM Customers WHERE Id = 1"));
  EXPECT_EQ(std::vector<std::string>{"23:59:59.99|7"}, Rows("SELECT OrderTime, EmployeeId FROM Orders WHERE Id = 1"));
  // A date another program stored, not of the calendar, does not stop a change of another field.
  {
    BtrReader reader(db + "/CUSTOMER.BTR");
    std::string rec;
    ASSERT_EQ(0, reader.ById(2, rec));
    rec[157] = 31, rec[158] = 2;
    ASSERT_EQ(0, reader.Call(3, rec));
  }
  EXPECT_EQ(kNoticeUpdate, StatusOf("UPDATE Customers SET City = 'Bergen' WHERE Id = 2"));
  const auto stored = Rows("SELECT Since, City FROM Customers WHERE Id = 2");
  ASSERT_EQ(1u, stored.size());
  EXPECT_EQ("-02-31|Bergen", stored[0].substr(4));
}

}  // namespace
}  // namespace vader::testing
