// Views: describe, the row layout, fetching in every direction, substitution, bookmarks,
// positioned changes seen by Btrieve and the other way round, transactions, joins, grouping,
// procedures and key-answered constraints.

#include <algorithm>
#include <cctype>
#include <map>
#include <tuple>

#include "sqlengine/SqlApi.h"
#include "sqlengine/Value.h"

namespace vader::testing {
namespace {

using namespace vader::sqlengine;

struct Described {
  int16_t type, size, decimals;
  std::string name;
};

Described Describe(Api& api, int16_t cursor, int16_t position, int16_t* status = nullptr) {
  Described d{};
  int16_t width = 0, length = 64;
  char name[64] = {};
  const int16_t s = api.XQLDescribe(cursor, position, &d.type, &d.size, &d.decimals, &width, &length, name);
  if (status) *status = s;
  d.name = name;
  return d;
}

TEST_F(SqlTest, DescribeGivesBtrieveTypesAndTheRowLayout) {
  const int16_t c = Compile("SELECT c.Id, c.Name, CreditLimit, Balance, Since, COUNT(*), SUM(Stock) "
                            "FROM Customers c, Products p WHERE c.Id = 2 AND p.Id = 3");
  const std::vector<std::tuple<int, int, int, const char*>> want = {
      {kAutoIncrement, 4, 0, "Id"}, {kString, 40, 0, "Name"}, {kCurrency, 8, 0, "CreditLimit"},
      {kDecimal, 8, 2, "Balance"},  {kDate, 4, 0, "Since"},   {kInteger, 4, 0, "COUNT(*)"},
      {kFloat, 8, 0, "SUM(Stock)"}};
  for (size_t i = 0; i < want.size(); ++i) {
    const Described d = Describe(api, c, static_cast<int16_t>(i + 1));
    EXPECT_EQ(std::get<0>(want[i]), d.type) << i;
    EXPECT_EQ(std::get<1>(want[i]), d.size) << i;
    EXPECT_EQ(std::get<2>(want[i]), d.decimals) << i;
    EXPECT_EQ(std::get<3>(want[i]), d.name) << i;
  }
  int16_t status = 0;
  Describe(api, c, 8, &status);
  EXPECT_EQ(kStatusBadColumn, status);
  Describe(api, c, 0, &status);
  EXPECT_EQ(kStatusBadColumn, status);
  std::string row;
  ASSERT_EQ(0, Fetch(c, kFetchFirst, row));
  ASSERT_EQ(2u + 4 + 40 + 8 + 8 + 4 + 4 + 8, row.size());
  EXPECT_EQ(row.size(), At<uint16_t>(row, 0));
  EXPECT_EQ(2, At<int32_t>(row, 2));
  BtrReader customers(db + "/CUSTOMER.BTR");
  std::string rec;
  ASSERT_EQ(0, customers.ById(2, rec));
  EXPECT_EQ(Trimmed(rec, 4, 40), Trimmed(row, 6, 40));
  EXPECT_EQ(At<int64_t>(rec, 140), At<int64_t>(row, 46));    // currency in ten-thousandths
  EXPECT_EQ(At<uint32_t>(rec, 157), At<uint32_t>(row, 62));  // date: day, month, year
  EXPECT_EQ(1, At<int32_t>(row, 66));
}

TEST_F(SqlTest, FetchInEveryDirectionWithEndStatuses) {
  const int16_t c = Compile("SELECT Id FROM Customers WHERE Id BETWEEN 10 AND 14");
  std::string row;
  int32_t got = 0;
  const auto id = [&] { return At<int32_t>(row, 2); };
  EXPECT_EQ(kNoticeNoMoreRows, Fetch(c, kFetchPrevious, row, &got));  // before the first
  EXPECT_EQ(0, got);
  ASSERT_EQ(0, Fetch(c, kFetchNext, row));
  EXPECT_EQ(10, id());
  ASSERT_EQ(0, Fetch(c, kFetchNext, row));
  EXPECT_EQ(11, id());
  ASSERT_EQ(0, Fetch(c, kFetchLast, row));
  EXPECT_EQ(14, id());
  EXPECT_EQ(kNoticeNoMoreRows, Fetch(c, kFetchNext, row, &got));
  EXPECT_EQ(0, got);
  ASSERT_EQ(0, Fetch(c, kFetchPrevious, row));  // from past the end back to the last
  EXPECT_EQ(14, id());
  ASSERT_EQ(0, Fetch(c, kFetchPrevious, row));
  EXPECT_EQ(13, id());
  ASSERT_EQ(0, Fetch(c, kFetchCurrent, row));
  EXPECT_EQ(13, id());
  ASSERT_EQ(0, Fetch(c, kFetchFirst | kFetchLock, row));
  EXPECT_EQ(10, id());
  // Several rows at once, each at the view's record size (row + 4); fewer than asked is the
  // end notice.
  char block[6 * 10];
  uint16_t length = sizeof block;
  int32_t count = 3;
  ASSERT_EQ(0, api._XQLFetch(c, kFetchNext, &length, block, &count, 0, 0));
  EXPECT_EQ(3, count);
  EXPECT_EQ(26, length);
  EXPECT_EQ(13, At<int32_t>(std::string(block, sizeof block), 2 + 20));
  count = 5;
  length = sizeof block;
  EXPECT_EQ(kNoticeNoMoreRows, api._XQLFetch(c, kFetchNext, &length, block, &count, 0, 0));
  EXPECT_EQ(1, count);
  length = 5;  // too small for one row
  EXPECT_EQ(kStatusBufferTooShort, api._XQLFetch(c, kFetchFirst, &length, block, &(count = 1), 0, 0));
  EXPECT_EQ(1, Fetch(c, 99, row));
  // An empty view is at its end in both directions.
  const int16_t empty = Compile("SELECT Id FROM Customers WHERE Id > 100000");
  EXPECT_EQ(kNoticeNoMoreRows, Fetch(empty, kFetchFirst, row));
  EXPECT_EQ(kNoticeNoMoreRows, Fetch(empty, kFetchLast, row));
}

TEST_F(SqlTest, SubstitutionVariablesAreValuesNotStatementText) {
  int16_t status = 0;
  const int16_t c = Compile("SELECT Id, Name FROM Customers WHERE Id = @id OR Name = @name", &status);
  EXPECT_EQ(kNoticeUnresolved, status);
  EXPECT_EQ(kNoticeUnresolved, api.XQLExec(c));
  const char names[] = "id\0@NAME";
  const char values[] = "7\0x' OR 1=1 --";
  ASSERT_EQ(0, api.XQLSubst(c, 2, sizeof names, names, sizeof values, values));
  ASSERT_EQ(0, api.XQLExec(c));
  std::string row;
  ASSERT_EQ(0, Fetch(c, kFetchFirst, row));
  EXPECT_EQ(7, At<int32_t>(row, 2));
  EXPECT_EQ(kNoticeNoMoreRows, Fetch(c, kFetchNext, row));  // the quote stayed inside the value
  // New values and a new execution give a new view.
  const int16_t q = Compile("SELECT COUNT(*) FROM Customers WHERE Country = @c AND Id < @n", &status);
  EXPECT_EQ(kNoticeUnresolved, status);
  const char n2[] = "C\0N";
  const char v2[] = "Spain\0" "100";
  ASSERT_EQ(0, api.XQLSubst(q, 2, sizeof n2, n2, sizeof v2, v2));
  ASSERT_EQ(0, api.XQLExec(q));
  ASSERT_EQ(0, Fetch(q, kFetchFirst, row));
  const int32_t spain = At<int32_t>(row, 2);
  EXPECT_GT(spain, 0);
  EXPECT_EQ(std::to_string(spain),
            Rows("SELECT COUNT(*) FROM Customers WHERE Country = 'Spain' AND Id < 100")[0]);
  EXPECT_EQ(1, api.XQLSubst(q, 2, 2, n2, sizeof v2, v2));  // fewer names than the count
}

TEST_F(SqlTest, OnlyVariablesOutsideQuotesAreParametersAndOtherMarkersAreRefused) {
  // An "@" inside a quoted literal is text, as in an e-mail address.
  EXPECT_EQ(std::vector<std::string>{"a@b.com"}, Rows("SELECT 'a@b.com' AS \"at@sign\""));
  EXPECT_EQ(kNoticeUpdate, StatusOf("UPDATE Customers SET Contact = 'sales@example.com' WHERE Id = 4"));
  EXPECT_EQ(std::vector<std::string>{"sales@example.com"}, Rows("SELECT Contact FROM Customers WHERE Id = 4"));
  int16_t status = 0;
  const int16_t c = Compile("SELECT Id FROM Customers WHERE Contact = 'sales@example.com' AND Id = @id", &status);
  EXPECT_EQ(kNoticeUnresolved, status);
  const char name[] = "id", value[] = "4";
  ASSERT_EQ(0, api.XQLSubst(c, 1, sizeof name, name, sizeof value, value));
  ASSERT_EQ(0, api.XQLExec(c));
  std::string row;
  ASSERT_EQ(0, Fetch(c, kFetchFirst, row));
  EXPECT_EQ(4, At<int32_t>(row, 2));
  // Markers of other SQL dialects would read as NULL and answer nothing with success.
  for (const char* marker : {"?", "?1", ":id", "$id"})
    EXPECT_EQ(kStatusSyntax, StatusOf(std::string("SELECT Id FROM Customers WHERE Id = ") + marker)) << marker;
  EXPECT_EQ(kStatusSyntax, StatusOf("UPDATE Customers SET City = ? WHERE Id = 4"));
  EXPECT_EQ(std::vector<std::string>{"?"}, Rows("SELECT '?'"));
}

TEST_F(SqlTest, PositionedChangesReachBtrieveAndBtrieveChangesReachViews) {
  const std::string file = db + "/CUSTOMER.BTR";
  const int16_t c = Compile("SELECT Id, Name, City FROM Customers WHERE Id >= 5 AND Id <= 6");
  std::string row;
  ASSERT_EQ(0, Fetch(c, kFetchFirst, row));
  // Update the current row through the view.
  std::memset(row.data() + 6, ' ', 40);
  std::memcpy(row.data() + 6, "Renamed Ltd", 11);
  ASSERT_EQ(0, api.xUpdate(c, 1, "*.*", 1, row.data()));
  ASSERT_EQ(0, Fetch(c, kFetchCurrent, row));
  EXPECT_EQ("Renamed Ltd", Trimmed(row, 6, 40));
  BtrReader reader(file);
  std::string rec;
  ASSERT_EQ(0, reader.ById(5, rec));
  EXPECT_EQ("Renamed Ltd", Trimmed(rec, 4, 40));
  // Bookmark it, move on, and come back.
  char mark[kBookmarkSize] = {};
  uint16_t length = sizeof mark;
  int32_t count = 1, rejected = -1;
  ASSERT_EQ(0, api.xFetch(c, &length, kFetchBookmark, &count, &rejected, mark));
  EXPECT_EQ(1, count);
  ASSERT_EQ(0, Fetch(c, kFetchNext, row));
  EXPECT_EQ(6, At<int32_t>(row, 2));
  std::string at(mark, sizeof mark);
  length = static_cast<uint16_t>(at.size());
  ASSERT_EQ(0, api.xFetch(c, &length, kFetchAtBookmark, &count, &rejected, at.data()));
  EXPECT_EQ(5, At<int32_t>(at, 2));
  // Remove it: Btrieve no longer finds it, the view skips it and has no current row.
  ASSERT_EQ(0, api.xRemove(c, 1, "*.*", 1));
  EXPECT_EQ(4, reader.ById(5, rec));
  EXPECT_EQ(kStatusPositioning, Fetch(c, kFetchCurrent, row));
  ASSERT_EQ(0, Fetch(c, kFetchFirst, row));
  EXPECT_EQ(6, At<int32_t>(row, 2));
  EXPECT_EQ(kStatusPositioning, api.xFetch(c, &(length = sizeof mark), kFetchAtBookmark, &count, &rejected, mark));
  // Insert a row through the view; it becomes the current row and Btrieve sees it.
  std::memset(row.data() + 6, ' ', 40);
  std::memcpy(row.data() + 6, "Newcomer", 8);
  row[2] = 0, row[3] = 0, row[4] = 0, row[5] = 0;  // autoincrement assigns the id
  ASSERT_EQ(0, api.xInsert(c, 1, "*.*", 1, row.data()));
  ASSERT_EQ(0, Fetch(c, kFetchCurrent, row));
  const int32_t id = At<int32_t>(row, 2);
  EXPECT_EQ(401, id);
  ASSERT_EQ(0, reader.ById(id, rec));
  EXPECT_EQ("Newcomer", Trimmed(rec, 4, 40));
  EXPECT_EQ(5, api.xInsert(c, 1, "*.*", 1, row.data()));  // the same id again
  // Two rows in one call, as far apart as fetched rows.
  std::string two(2 * (row.size() + 4), '\0');
  for (size_t r = 0; r < 2; ++r) {
    std::string one = row;
    std::memset(one.data() + 2, 0, 4);
    std::memset(one.data() + 6, ' ', 40);
    std::memcpy(one.data() + 6, r ? "Pair B" : "Pair A", 6);
    std::memcpy(two.data() + r * (row.size() + 4), one.data(), one.size());
  }
  ASSERT_EQ(0, api.xInsert(c, 1, "*.*", 2, two.data()));
  EXPECT_EQ((std::vector<std::string>{"402|Pair A", "403|Pair B"}),
            Rows("SELECT Id, Name FROM Customers WHERE Name LIKE 'Pair %' ORDER BY Id"));
  // A change made through Btrieve shows in the next view.
  ASSERT_EQ(0, reader.ById(6, rec));
  std::memcpy(rec.data() + 74, "Lyon\0", 5);
  ASSERT_EQ(0, reader.Call(3, rec));
  EXPECT_EQ(std::vector<std::string>{"6|Lyon"}, Rows("SELECT Id, City FROM Customers WHERE Id = 6"));
  // Views that join or compute are not changed at a row.
  const int16_t joined = Compile("SELECT c.Id FROM Customers c JOIN Orders o ON o.CustomerId = c.Id");
  ASSERT_EQ(0, Fetch(joined, kFetchFirst, row));
  EXPECT_EQ(kStatusNotUpdatable, api.xUpdate(joined, 1, "*.*", 1, row.data()));
  EXPECT_EQ(kStatusNotUpdatable, api.xRemove(joined, 1, "*.*", 1));
  EXPECT_EQ(kStatusNotSupported, api.xRemove(c, 1, "Name", 1));
}

TEST_F(SqlTest, TransactionsRollBackAndCommitOnTheFiles) {
  EXPECT_EQ(kNoticeStartTransaction, StatusOf("START TRANSACTION"));
  EXPECT_EQ(kStatusTransactionActive, StatusOf("START TRANSACTION"));
  EXPECT_EQ(kNoticeUpdate, StatusOf("UPDATE Customers SET City = 'Nowhere' WHERE Id <= 3"));
  EXPECT_EQ(kNoticeDelete, StatusOf("DELETE FROM OrderLines WHERE OrderId = 1"));
  EXPECT_EQ(std::vector<std::string>{"3"}, Rows("SELECT COUNT(*) FROM Customers WHERE City = 'Nowhere'"));
  {
    BtrReader other(db + "/CUSTOMER.BTR");  // another client, while the transaction is open
    std::string unchanged;
    EXPECT_EQ(0, other.ById(50, unchanged));
  }
  EXPECT_EQ(kNoticeRollback, StatusOf("ROLLBACK WORK"));
  EXPECT_EQ(std::vector<std::string>{"0"}, Rows("SELECT COUNT(*) FROM Customers WHERE City = 'Nowhere'"));
  EXPECT_NE(std::vector<std::string>{"0"}, Rows("SELECT COUNT(*) FROM OrderLines WHERE OrderId = 1"));
  BtrReader reader(db + "/CUSTOMER.BTR");
  std::string rec;
  ASSERT_EQ(0, reader.ById(1, rec));
  EXPECT_NE("Nowhere", Trimmed(rec, 74, 25));
  Compile("START TRANSACTION");
  Compile("UPDATE Customers SET City = 'Oslo' WHERE Id = 1");
  EXPECT_EQ(kNoticeCommit, StatusOf("COMMIT WORK"));
  ASSERT_EQ(0, reader.ById(1, rec));
  EXPECT_EQ("Oslo", Trimmed(rec, 74, 25));
}

TEST_F(SqlTest, JoinsAndGroupingAgreeWithTheRecords) {
  // The expected figures come from reading ORDLINE.BTR directly.
  BtrReader lines(db + "/ORDLINE.BTR");
  std::map<int32_t, std::pair<int64_t, int64_t>> perProduct;  // count, quantity sum
  std::string rec(4096, '\0');
  for (int16_t s = lines.Call(33, rec); s == 0; s = lines.Call(24, rec)) {
    auto& p = perProduct[At<int32_t>(rec, 6)];
    ++p.first;
    p.second += At<int32_t>(rec, 10);
    rec.assign(4096, '\0');
  }
  const auto rows = Rows("SELECT ProductId, COUNT(*), SUM(Quantity), AVG(Quantity) FROM OrderLines "
                         "GROUP BY ProductId ORDER BY ProductId");
  ASSERT_EQ(perProduct.size(), rows.size());
  auto it = perProduct.begin();
  for (const std::string& r : rows) {
    char avg[32];
    std::snprintf(avg, sizeof avg, "%.15g", static_cast<double>(it->second.second) / it->second.first);
    EXPECT_EQ(std::to_string(it->first) + "|" + std::to_string(it->second.first) + "|" +
                  std::to_string(it->second.second) + "|" + avg,
              r);
    ++it;
  }
  int64_t total = 0;
  for (auto& p : perProduct) total += p.second.first;
  EXPECT_EQ(std::vector<std::string>{std::to_string(total)},
            Rows("SELECT COUNT(*) FROM Orders o JOIN OrderLines l ON l.OrderId = o.Id "
                 "JOIN Products p ON p.Id = l.ProductId"));
}

TEST_F(SqlTest, KeyConstraintsGiveTheSameRowsAsScans) {
  // "+column" keeps SQLite from handing the constraint to the table: a full scan.
  const std::vector<std::pair<const char*, const char*>> queries = {
      {"OrderId = 10", "+OrderId = 10"},
      {"OrderId BETWEEN 5 AND 7", "+OrderId BETWEEN 5 AND 7"},
      {"OrderId > 1495", "+OrderId > 1495"},
      {"OrderId < 3 AND ProductId > 0", "+OrderId < 3 AND ProductId > 0"},
      {"OrderId = '10'", "+OrderId = 10"},
      // Bounds the field cannot hold exactly: the scan must not stop at their wrapped or cut image.
      {"OrderId < 4294967297", "+OrderId < 4294967297"},
      {"OrderId < 2.5", "+OrderId < 2.5"},
  };
  for (const auto& [keyed, scanned] : queries) {
    const std::string select = "SELECT OrderId, LineNo, ProductId FROM OrderLines WHERE ";
    const auto a = Rows(select + keyed + " ORDER BY OrderId, LineNo");
    EXPECT_FALSE(a.empty()) << keyed;
    EXPECT_EQ(a, Rows(select + scanned + " ORDER BY OrderId, LineNo")) << keyed;
  }
  EXPECT_EQ(Rows("SELECT Id FROM Orders WHERE OrderDate >= '2025-06-01' AND CustomerId = 9 ORDER BY Id"),
            Rows("SELECT Id FROM Orders WHERE +OrderDate >= '2025-06-01' AND +CustomerId = 9 ORDER BY Id"));
  EXPECT_EQ(Rows("SELECT Id FROM Products WHERE UnitPrice > 50.5"),
            Rows("SELECT Id FROM Products WHERE +UnitPrice > 50.5"));
}

TEST_F(SqlTest, ColumnsOfCaseInsensitiveKeysCompareAndSortAsTheKeyDoes) {
  // The customers' names in the order of their case-insensitive key, read through Btrieve.
  BtrReader customers(db + "/CUSTOMER.BTR");
  std::vector<std::string> keyOrder;
  std::string rec(4096, '\0');
  for (int16_t s = customers.Call(12, rec, 1); s == 0; s = customers.Call(6, rec, 1)) {
    keyOrder.push_back(Trimmed(rec, 4, 40));
    rec.assign(4096, '\0');
  }
  EXPECT_EQ(keyOrder, Rows("SELECT Name FROM Customers ORDER BY Name"));
  const auto lower = std::find_if(keyOrder.begin(), keyOrder.end(), [](const std::string& n) {
    return !n.empty() && std::islower(static_cast<unsigned char>(n[0]));
  });
  ASSERT_NE(lower, keyOrder.end());
  std::string upper = *lower;
  for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  EXPECT_EQ(std::vector<std::string>{*lower}, Rows("SELECT Name FROM Customers WHERE Name = '" + upper + "'"));
  EXPECT_EQ(std::vector<std::string>{"1"}, Rows("SELECT COUNT(DISTINCT Name) FROM Customers WHERE Name IN ('" +
                                                 upper + "', '" + *lower + "')"));
  // A column whose keys heed case keeps comparing with it.
  EXPECT_EQ(std::vector<std::string>{"0"}, Rows("SELECT COUNT(*) FROM Customers WHERE Country = 'SPAIN'"));
}

TEST_F(SqlTest, StoredProceduresRunFromTheDictionary) {
  EXPECT_EQ(kNoticeCreate, StatusOf("CREATE PROCEDURE Top3 AS SELECT Id, Name FROM Suppliers WHERE Id <= 30 ORDER BY Id"));
  const int16_t c = Compile("CALL Top3();");
  std::string row;
  ASSERT_EQ(0, Fetch(c, kFetchLast, row));
  EXPECT_EQ(30, At<int32_t>(row, 2));
  EXPECT_EQ(kString, Describe(api, c, 2).type);
  // A new definition replaces the old; another session sees PROC.DDF too.
  EXPECT_EQ(kNoticeCreate, StatusOf("CREATE PROCEDURE top3 AS SELECT COUNT(*) FROM Suppliers"));
  ASSERT_EQ(0, api._XQLLogin("", "", db.c_str(), "", "", 1));
  EXPECT_EQ(std::vector<std::string>{"40"}, Rows("CALL TOP3()"));
  EXPECT_EQ(kStatusSyntax, StatusOf("CALL Top3(1)"));
}

}  // namespace
TEST_F(SqlTest, ScansSeeOtherClientsCommitsAndTheSessionsOwnTransaction) {
  const auto key = [&] { return Rows("SELECT Name FROM Customers WHERE Id = 6"); };
  const auto range = [&] { return Rows("SELECT COUNT(*), SUM(Id) FROM Customers WHERE Id BETWEEN 3 AND 8"); };
  const auto all = [&] { return Rows("SELECT COUNT(*), SUM(Id) FROM Customers"); };
  const auto before = std::make_tuple(key(), range(), all());
  EXPECT_EQ(std::vector<std::string>{"6|33"}, range());
  // Another client's write between two statements.
  BtrReader other(db + "/CUSTOMER.BTR");
  std::string rec;
  ASSERT_EQ(0, other.ById(6, rec));
  std::memcpy(rec.data() + 4, "Elsewhere Ltd", 13);
  std::memset(rec.data() + 17, ' ', 27);
  ASSERT_EQ(0, other.Call(3, rec));
  EXPECT_EQ(std::vector<std::string>{"Elsewhere Ltd"}, key());
  // The session's own transaction, seen before it commits, and gone when it rolls back.
  const std::vector<std::string> counted = all();
  Compile("START TRANSACTION");
  EXPECT_EQ(kNoticeUpdate, StatusOf("UPDATE Customers SET Name = 'Within' WHERE Id = 6"));
  EXPECT_EQ(kNoticeDelete, StatusOf("DELETE FROM Customers WHERE Id = 7"));
  Compile("INSERT INTO Customers (Id, Name) VALUES (5000, 'Added')");
  EXPECT_EQ(std::vector<std::string>{"Within"}, key());
  EXPECT_EQ(std::vector<std::string>{"5|26"}, range());
  EXPECT_EQ(std::vector<std::string>{"Added"}, Rows("SELECT Name FROM Customers WHERE Id > 4999"));
  const auto [count, sum] = std::make_pair(std::stol(counted[0]), std::stol(counted[0].substr(counted[0].find('|') + 1)));
  EXPECT_EQ(std::vector<std::string>{std::to_string(count) + "|" + std::to_string(sum - 7 + 5000)}, all());
  EXPECT_EQ(kNoticeRollback, StatusOf("ROLLBACK WORK"));
  EXPECT_EQ(std::vector<std::string>{"Elsewhere Ltd"}, key());
  EXPECT_EQ(std::get<1>(before), range());
  EXPECT_EQ(counted, all());
  // A key with duplicates, read from it and scanned whole, and in its order.
  EXPECT_EQ(Rows("SELECT Id FROM Orders WHERE CustomerId BETWEEN 9 AND 11 ORDER BY Id"),
            Rows("SELECT Id FROM Orders WHERE +CustomerId BETWEEN 9 AND 11 ORDER BY Id"));
  std::vector<std::string> keyed = Rows("SELECT CustomerId, Id FROM Orders WHERE CustomerId >= 390");
  EXPECT_TRUE(std::is_sorted(keyed.begin(), keyed.end(), [](const std::string& a, const std::string& b) {
    return std::stoi(a) < std::stoi(b);
  }));
  std::vector<std::string> scanned = Rows("SELECT CustomerId, Id FROM Orders WHERE +CustomerId >= 390");
  std::sort(keyed.begin(), keyed.end());
  std::sort(scanned.begin(), scanned.end());
  EXPECT_EQ(keyed, scanned);
}

}  // namespace vader::testing
