// Filter texts on the table component agree with the relational engine: for every field type
// of the sample database, the rows a filter shows are the rows a WHERE clause of the same
// condition counts. A malformed filter is refused with the position of its mistake.

#include <gtest/gtest.h>

#include <string>

#include "SampleFixture.h"
#include "common/ErrorOf.h"
#include "components/BtrMainQuery.h"
#include "components/BtrMainTable.h"

namespace vader {
namespace {

using testing::ErrorOf;

class Filter : public testing::SampleFixture {
 protected:
  int FilteredRows(const std::string& table, const std::string& condition) {
    TtbTable t(nullptr);
    t.SetDatabaseName(db);
    t.SetTableName(table);
    t.Open();
    t.SetFilterText(condition);
    t.SetFiltered(true);
    int rows = 0;
    for (t.First(); !t.Eof(); t.Next()) ++rows;
    return rows;
  }
  int64_t SqlRows(const std::string& table, const std::string& condition) {
    TtbQuery q(nullptr);
    q.SetDatabaseName(db);
    q.SetSQL("SELECT COUNT(*) FROM " + table + " WHERE " + condition);
    q.Open();
    return q.Fields(0)->AsInteger();
  }
};

struct Condition {
  const char* table;
  const char* filter;
  const char* sql;  // nullptr: the same text as the filter
};

TEST_F(Filter, EveryFieldTypeShowsTheRowsTheRelationalEngineCounts) {
  const Condition conditions[] = {
      // decimal (BCD) of 6 and 8 bytes and 4-byte floats
      {"OrderLines", "UnitPrice > 99.5", nullptr},
      {"OrderLines", "UnitPrice = 59.08", nullptr},
      {"OrderLines", "UnitPrice < 10", nullptr},
      {"OrderLines", "Discount > 0.1", nullptr},
      {"Customers", "Balance < 0", nullptr},
      {"Customers", "Balance >= 10000.5", nullptr},
      // 8-byte float, currency, integers of 2 and 4 bytes, unsigned
      {"Products", "Weight > 2.5", nullptr},
      {"Customers", "CreditLimit >= 5000", nullptr},
      {"OrderLines", "LineNo = 3", nullptr},
      {"Suppliers", "Rating >= 4", nullptr},
      {"Employees", "Extension < 210", nullptr},
      {"Products", "Stock < 100", nullptr},
      {"Products", "Category = 2", nullptr},
      // logical of 1 and 2 bytes
      {"Customers", "Active = TRUE", "Active = 1"},
      {"Suppliers", "Active = FALSE", "Active = 0"},
      // date and time
      {"Customers", "Since < '2015-06-01'", nullptr},
      {"Employees", "StartTime < '09:00:00'", nullptr},
      {"Orders", "OrderTime > '12:30:00'", nullptr},
      // string, zstring and lstring
      {"Customers", "Country = 'France'", nullptr},
      {"Customers", "City = 'Paris'", nullptr},
      {"Orders", "Status = 'shipped'", nullptr},
  };
  for (const Condition& c : conditions) {
    const int64_t expected = SqlRows(c.table, c.sql ? c.sql : c.filter);
    EXPECT_EQ(FilteredRows(c.table, c.filter), expected) << c.table << ": " << c.filter;
  }
}

TEST_F(Filter, MalformedTextIsRefusedWithItsPosition) {
  EXPECT_EQ(ErrorOf([&] { FilteredRows("Customers", "Balance >> 0"); }),
            "Error in filter expression at position 10: operand expected instead of '>'");
}

}  // namespace
}  // namespace vader
