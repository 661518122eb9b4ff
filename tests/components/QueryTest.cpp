// The query component over a copy of the sample database, through the call layer, the driver,
// the relational engine and the record manager: rows, aggregates, editing through a view of
// one table, statements without rows, and the engine's errors.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "SampleFixture.h"
#include "common/ErrorOf.h"
#include "common/TempDir.h"
#include "components/BtrMainQuery.h"
#include "components/BtrMainTable.h"
#include "platform/Registry.h"

namespace vader {
namespace {

using testing::ErrorOf;

class Query : public testing::SampleFixture {
 protected:
  TtbQuery& Make(const std::string& sql) {
    auto* q = new TtbQuery(owner.get());
    q->SetDatabaseName(db);
    q->SetSQL(sql);
    return *q;
  }
  // A column of every row, in the order the query gives them.
  static std::vector<std::string> Column(TDataSet& q, const char* field) {
    std::vector<std::string> out;
    for (q.First(); !q.Eof(); q.Next()) out.push_back(q.FieldByName(field)->AsString());
    return out;
  }
  // The city of a customer as the Btrieve file holds it.
  std::string BtrieveCity(int64_t id) {
    TtbTable customers(nullptr);
    customers.SetDatabaseName(db);
    customers.SetTableName("Customers");
    customers.Open();
    EXPECT_TRUE(customers.FindKey({id}));
    return customers.FieldByName("City")->AsString();
  }
};

TEST_F(Query, SelectsFiltersOrdersAndAggregates) {
  TtbQuery& q = Make("SELECT Id, Name, Country FROM Customers WHERE Id <= 5 ORDER BY Id DESC");
  q.Open();
  EXPECT_EQ(Column(q, "Id"), (std::vector<std::string>{"5", "4", "3", "2", "1"}));
  EXPECT_EQ(q.RecordCount(), 5);
  q.Last();
  q.Prior();
  EXPECT_EQ(q.FieldByName("Id")->AsInteger(), 2);

  TtbQuery& french = Make("SELECT Country FROM Customers WHERE Country = 'France'");
  french.Open();
  EXPECT_EQ(Column(french, "Country"), std::vector<std::string>(69, "France"));
  TtbQuery& count = Make("SELECT COUNT(*) FROM Orders WHERE Id > 1000");
  count.Open();
  ASSERT_EQ(count.FieldCount(), 1);
  EXPECT_EQ(count.Fields(0)->AsInteger(), 500);
  EXPECT_FALSE(count.CanModify());  // computed rows cannot be changed
  TtbQuery& join = Make(
      "SELECT o.Id, c.Name FROM Orders o JOIN Customers c ON c.Id = o.CustomerId WHERE o.Id < 4");
  join.Open();
  EXPECT_EQ(join.RecordCount(), 3);
  EXPECT_FALSE(join.CanModify());
  EXPECT_EQ(ErrorOf([&] { join.Edit(); }), "Cannot modify a read-only dataset");
}

TEST_F(Query, EditsThroughAViewOfOneTableAndRunsStatementsWithoutRows) {
  TtbQuery& q = Make("SELECT Id, City FROM Customers WHERE Id BETWEEN 3 AND 4 ORDER BY Id");
  q.Open();
  ASSERT_TRUE(q.CanModify());
  q.Edit();
  q.FieldByName("City")->SetAsString("Lower Wallop");
  q.Post();
  EXPECT_EQ(q.FieldByName("City")->AsString(), "Lower Wallop");
  EXPECT_EQ(BtrieveCity(3), "Lower Wallop");
  q.Close();

  TtbQuery& update = Make("UPDATE Customers SET City = 'Nether Stowey' WHERE Id IN (3, 4, 5)");
  update.ExecSQL();
  EXPECT_EQ(update.RowsAffected(), 3);
  EXPECT_EQ(BtrieveCity(5), "Nether Stowey");

  // A statement without rows runs once, whichever way it is started.
  TtbQuery& insert =
      Make("INSERT INTO Customers (Id, Name, City) VALUES (9001, 'Once Ltd', 'Upper Slaughter')");
  EXPECT_FALSE(insert.Execute());
  EXPECT_EQ(insert.RowsAffected(), 1);
  EXPECT_EQ(ErrorOf([&] { Make("DELETE FROM Customers WHERE Name = 'Once Ltd'").Open(); }),
            "Error creating cursor handle");
  TtbQuery& left = Make("SELECT COUNT(*) FROM Customers WHERE Name = 'Once Ltd'");
  EXPECT_TRUE(left.Execute());
  EXPECT_EQ(left.Fields(0)->AsInteger(), 0);
  EXPECT_EQ(left.RowsAffected(), -1);
}

TEST_F(Query, ReportsTheEnginesErrors) {
  const std::string syntax = ErrorOf([&] { Make("SELEC Id FROM Customers").Open(); });
  EXPECT_NE(syntax.find("The SQL statement contains invalid syntax"), std::string::npos) << syntax;
  const std::string table = ErrorOf([&] { Make("SELECT * FROM Nowhere").Execute(); });
  EXPECT_NE(table.find("The table is not defined in the dictionary"), std::string::npos) << table;
  EXPECT_EQ(ErrorOf([&] { Make("  ").ExecSQL(); }), "No SQL statement available");
}

}  // namespace
}  // namespace vader
