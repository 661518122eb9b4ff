// Filter texts on the table component agree with the relational engine: for every field type
// of the sample database, the rows a filter shows are the rows a WHERE clause of the same
// condition counts. A malformed filter is refused with the position of its mistake.

#include <gtest/gtest.h>

#include <string>
#include <vector>

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

// What a filtered walk shows: the rows forward and backward as "order/line" texts, the row
// count, and the rows of First and Last.
struct Walk {
  std::vector<std::string> forward, backward;
  int count = 0;
  std::string first, last;
  bool operator==(const Walk&) const = default;
};

std::string RowOf(TDataSet& t) {
  return t.FieldByName("OrderId")->AsString() + "/" + t.FieldByName("LineNo")->AsString();
}

Walk WalkFiltered(TtbTable& t, const std::string& condition) {
  t.SetFiltered(false);
  t.SetFilterText(condition);
  t.SetFiltered(true);
  Walk walk;
  for (t.First(); !t.Eof(); t.Next()) walk.forward.push_back(RowOf(t));
  for (t.Last(); !t.Bof(); t.Prior()) walk.backward.push_back(RowOf(t));
  walk.count = t.RecordCount();
  t.First();
  walk.first = t.Eof() ? "" : RowOf(t);
  t.Last();
  walk.last = t.Eof() ? "" : RowOf(t);
  return walk;
}

// A bound on the current index's leading field lets the walk start at the bound's key and stop
// past it. The rows must stay exactly those of the same condition written as an "or", which no
// key bounds, on both an index's first and last keys, inside, outside and empty.
TEST_F(Filter, BoundsOnTheIndexLeadingFieldShowTheRowsOfTheFullWalk) {
  TtbTable lines(nullptr);
  lines.SetDatabaseName(db);
  lines.SetTableName("OrderLines");
  lines.Open();
  lines.First();
  const std::string low = lines.FieldByName("OrderId")->AsString();
  lines.Last();
  const std::string high = lines.FieldByName("OrderId")->AsString();
  ASSERT_GT(lines.RecordCount(), 2000);
  // An order with more than one line: a bound on it holds rows that fail the other terms
  // before and after rows that pass them.
  std::string multi;
  for (lines.First(); !lines.Eof() && multi.empty(); lines.Next())
    if (lines.FieldByName("LineNo")->AsInteger() == 3 &&
        lines.FieldByName("OrderId")->AsInteger() > 1000)
      multi = lines.FieldByName("OrderId")->AsString();
  ASSERT_FALSE(multi.empty());
  struct Bounded {
    std::string keyed, unkeyed;
  };
  const std::vector<Bounded> conditions = {
      {"OrderId = " + low, "(OrderId = " + low + " or OrderId = " + low + ")"},
      {"OrderId = " + high + " and Quantity > 3",
       "(OrderId = " + high + " or OrderId = " + high + ") and Quantity > 3"},
      {"OrderId <= " + low + " and Quantity > 3",
       "(OrderId <= " + low + " or OrderId < " + low + ") and Quantity > 3"},
      {"OrderId >= " + high, "(OrderId >= " + high + " or OrderId > " + high + ")"},
      {"Quantity > 3 and OrderId > 700 and OrderId < 760 and OrderId >= 690",
       "Quantity > 3 and (OrderId > 700 or OrderId > 701) and (OrderId < 760 or OrderId < 759)"},
      {"900 >= OrderId and 890 < OrderId and LineNo = 2",
       "(OrderId <= 900 or OrderId < 900) and (OrderId > 890 or OrderId > 891) and LineNo = 2"},
      {"OrderId <= " + multi + " and OrderId > 1000 and LineNo = 2",
       "(OrderId <= " + multi + " or OrderId < " + multi + ") and OrderId > 1000 and LineNo = 2"},
      {"OrderId >= " + multi + " and LineNo = 2 and OrderId < " + high,
       "(OrderId >= " + multi + " or OrderId > " + multi + ") and LineNo = 2 and OrderId < " +
           high},
      {"OrderId > " + high, "(OrderId > " + high + " or OrderId > " + high + ")"},
      {"OrderId < " + low + " and Quantity > 0",
       "(OrderId < " + low + " or OrderId < 0) and Quantity > 0"},
      {"OrderId > 500 and OrderId < 501", "(OrderId > 500 or OrderId > 501) and OrderId < 501"},
  };
  for (const Bounded& c : conditions) {
    const Walk keyed = WalkFiltered(lines, c.keyed);
    EXPECT_TRUE(keyed == WalkFiltered(lines, c.unkeyed)) << c.keyed;
  }
  // On another index the same bounds come from its own leading field.
  lines.SetFiltered(false);
  lines.SetIndexFieldNames("ProductId");
  const Walk keyed = WalkFiltered(lines, "ProductId >= 3 and ProductId < 6 and OrderId > 100");
  EXPECT_FALSE(keyed.forward.empty());
  EXPECT_TRUE(keyed == WalkFiltered(lines,
                                    "(ProductId >= 3 or ProductId > 3) and (ProductId < 6 or "
                                    "ProductId < 5) and OrderId > 100"));
}

TEST_F(Filter, MalformedTextIsRefusedWithItsPosition) {
  EXPECT_EQ(ErrorOf([&] { FilteredRows("Customers", "Balance >> 0"); }),
            "Error in filter expression at position 10: operand expected instead of '>'");
}

}  // namespace
}  // namespace vader
