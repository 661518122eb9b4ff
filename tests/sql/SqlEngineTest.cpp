// The driver over the real relational engine (libwssql32.so, libwdbnm32.so) and the record
// manager, on copies of the sample database: result tables, stored procedures, transactions,
// login failures and the named databases.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "SqlFixture.h"
#include "common/EngineErrorCode.h"
#include "engine/BseRgtry.h"
#include "platform/CodePage.h"
#include "sql/SqlErrs.h"
#include "sql/SqlTable.h"

namespace vader {
namespace {

class SqlEngineTest : public testing::SqlFixture {
 protected:
  void SetUp() override {
    Start("", "");
    sample_ = SampleCopy();
  }

  TBtrSqlDatabase& Sample() {
    TBtrSqlDatabase& db = OpenDatabase(sample_);
    db.Connect();
    EXPECT_TRUE(db.Connected());
    return db;
  }

  static TBaseTable& Query(TBtrSqlDatabase& db, const char* sql) {
    TSqlStmt* stmt = nullptr;
    db.QPrepare(stmt, sql);
    TBaseTable* cursor = nullptr;
    stmt->Execute(&cursor);
    return *CheckParam(cursor);
  }

  static std::string Text(TBaseTable& table, uint16_t field, uint8_t* row) {
    char value[256] = {};
    bool blank = false;
    table.GetField(field, row, value, blank);
    return value;
  }
  static int32_t Integer(TBaseTable& table, uint16_t field, uint8_t* row) {
    int32_t value = 0;
    bool blank = false;
    table.GetField(field, row, &value, blank);
    return value;
  }

  // City of customer `id` read through Btrieve.
  std::string BtrieveCity(TBtrSqlDatabase& db, int32_t id) {
    TBaseTable* cursor = nullptr;
    db.OpenTable("Customers", nullptr, nullptr, nullptr, 0, kOpenReadOnly, kShareShared, 0, false,
                 nullptr, cursor);
    std::unique_ptr<TBaseTable> table(cursor);
    std::vector<uint8_t> row(table->GetRecordSize());
    for (;;) {
      table->GetNextRecord(dbiNOLOCK, row.data(), nullptr);
      if (Integer(*table, 1, row.data()) == id) return Text(*table, 4, row.data());
    }
  }

  std::string sample_;
};

TEST_F(SqlEngineTest, ResultTableReadBothWaysBookmarkedAndUpdated) {
  TBtrSqlDatabase& db = Sample();
  TBaseTable& table = Query(db, "SELECT Id, Name, City FROM Customers WHERE Id <= 5");
  CursorProps props{};
  table.GetCursorProps(props);
  EXPECT_EQ(int{props.FieldCount}, 3);
  EXPECT_EQ(int{props.RecSize}, 2 + 4 + 40 + 25 + 4);
  std::vector<uint8_t> row(props.RecBufSize);
  // Every id in one direction; the loop ends at the end of that direction only.
  const auto ids = [&](bool forward) {
    std::vector<int32_t> seen;
    forward ? table.SetToBegin() : table.SetToEnd();
    try {
      for (;;) {
        forward ? table.GetNextRecord(dbiNOLOCK, row.data(), nullptr)
                : table.GetPriorRecord(dbiNOLOCK, row.data(), nullptr);
        seen.push_back(Integer(table, 1, row.data()));
      }
    } catch (const EVaderBoundryError& e) {
      EXPECT_EQ(e.Code(), forward ? 0x2202 : 0x2201);
    }
    return seen;
  };
  EXPECT_EQ(ids(true), (std::vector<int32_t>{1, 2, 3, 4, 5}));
  EXPECT_EQ(ids(false), (std::vector<int32_t>{5, 4, 3, 2, 1}));

  table.SetToBegin();
  for (int i = 0; i < 3; ++i) table.GetNextRecord(dbiNOLOCK, row.data(), nullptr);
  std::vector<uint8_t> three(props.BookmarkSize), other(props.BookmarkSize);
  table.GetBookMark(three.data());
  table.GetNextRecord(dbiNOLOCK, row.data(), nullptr);
  table.GetBookMark(other.data());
  int order = 0;
  table.CompareBookMarks(three.data(), other.data(), order);
  EXPECT_NE(order, 0);
  table.ReadAtBookmark(three.data(), row.data(), dbiNOLOCK);
  EXPECT_EQ(Integer(table, 1, row.data()), 3);

  const std::string city = "Lower Wallop";
  table.PutField(3, row.data(), city.c_str());
  table.ModifyRecord(row.data(), false);
  EXPECT_EQ(Text(table, 3, row.data()), city);
  EXPECT_EQ(BtrieveCity(db, 3), city);
}

TEST_F(SqlEngineTest, StoredProceduresListedAndRepositionedByRowNumber) {
  TBtrSqlDatabase& db = Sample();
  db.QExecDirect(qrylangSQL, "CREATE PROCEDURE FirstCustomers AS SELECT Id, Name FROM Customers "
                             "WHERE Id <= 6", nullptr);
  // A text longer than one PROC.DDF record: the procedure is still listed once.
  const std::string longer = "CREATE PROCEDURE Long AS SELECT Id FROM Customers WHERE Id IN (1" +
                             std::string(2500, ' ') + ")";
  db.QExecDirect(qrylangSQL, longer.c_str(), nullptr);
  TBaseTable* list = nullptr;
  db.OpenSPList(false, false, nullptr, list);
  std::unique_ptr<TBaseTable> procedures(list);
  char entry[TBtrSqlProcTable::kProcRowSize] = {};
  for (const char* name : {"FirstCustomers", "Long"}) {
    list->GetNextRecord(dbiNOLOCK, reinterpret_cast<uint8_t*>(entry), nullptr);
    EXPECT_STREQ(entry, name);
  }
  EXPECT_THROW(list->GetNextRecord(dbiNOLOCK, reinterpret_cast<uint8_t*>(entry), nullptr),
               EVaderEOFError);
  list->SetToEnd();
  for (const char* name : {"Long", "FirstCustomers"}) {
    list->GetPriorRecord(dbiNOLOCK, reinterpret_cast<uint8_t*>(entry), nullptr);
    EXPECT_STREQ(entry, name);
  }
  EXPECT_THROW(list->GetPriorRecord(dbiNOLOCK, reinterpret_cast<uint8_t*>(entry), nullptr),
               EVaderBoundryError);

  TSqlStmt* stmt = nullptr;
  db.QPrepareProc("FirstCustomers", 0, nullptr, nullptr, stmt);
  TBaseTable* cursor = nullptr;
  stmt->Execute(&cursor);
  auto& result = *CheckParam(dynamic_cast<TBtrSqlAggTable*>(cursor));
  delete stmt;  // the result keeps the engine cursor and frees it when it closes
  std::vector<uint8_t> row(result.GetRecordSize());
  for (int i = 0; i < 5; ++i) result.GetNextRecord(dbiNOLOCK, row.data(), nullptr);
  const int32_t two = 2;
  result.ReadAtBookmark(&two, row.data(), dbiNOLOCK);
  EXPECT_EQ(Integer(result, 1, row.data()), 2);
  result.GetNextRecord(dbiNOLOCK, row.data(), nullptr);
  EXPECT_EQ(Integer(result, 1, row.data()), 3);
  EXPECT_EQ(result.RowNumber(), 3);
}

TEST_F(SqlEngineTest, TransactionsThroughSqlAndThroughBtrieve) {
  TBtrSqlDatabase& db = Sample();
  const std::string before = BtrieveCity(db, 1);
  TTranHandle handle = nullptr;
  db.BeginTran(0, handle);
  db.QExecDirect(qrylangSQL, "UPDATE Customers SET City = 'Nowhere' WHERE Id = 1", nullptr);
  db.EndTran(handle, xendABORT);
  EXPECT_EQ(BtrieveCity(db, 1), before);
  db.BeginTran(0, handle);
  db.QExecDirect(qrylangSQL, "UPDATE Customers SET City = 'Somewhere' WHERE Id = 1", nullptr);
  db.EndTran(handle, xendCOMMIT);
  EXPECT_EQ(BtrieveCity(db, 1), "Somewhere");

  // Not logged in: the change goes through a Btrieve transaction of the session's client.
  TBtrSqlDatabase& plain = OpenDatabase(sample_);
  plain.BeginTran(0, handle);
  EXPECT_TRUE(plain.BtrieveTransaction());
  {
    TBaseTable* cursor = nullptr;
    plain.OpenTable("Customers", nullptr, nullptr, nullptr, 0, kOpenReadWrite, kShareShared, 0,
                    false, nullptr, cursor);
    std::unique_ptr<TBaseTable> table(cursor);
    std::vector<uint8_t> row(table->GetRecordSize());
    table->GetNextRecord(dbiNOLOCK, row.data(), nullptr);
    table->DeleteRecord(row.data());
  }
  plain.EndTran(handle, xendABORT);
  EXPECT_EQ(BtrieveCity(plain, 1), "Somewhere");
}

TEST_F(SqlEngineTest, RefusedValuesRaiseTheEnginesStatusWithItsText) {
  TBtrSqlDatabase& db = Sample();
  const auto message = [&](const char* sql) {
    try {
      db.QExecDirect(qrylangSQL, sql, nullptr);
    } catch (const EScalableSQLEngineError& e) {
      return e.GetNativeMessage();
    }
    return std::string("no error");
  };
  EXPECT_EQ(message("UPDATE Suppliers SET Rating = 70000 WHERE Id = 10"),
            "Btrieve Status 807 - The value is out of range for the column.");
  EXPECT_EQ(message("UPDATE Customers SET Since = '2024-02-30' WHERE Id = 1"),
            "Btrieve Status 808 - The date is not valid.");
  EXPECT_EQ(message("UPDATE Orders SET OrderTime = '25:61:00' WHERE Id = 1"),
            "Btrieve Status 809 - The time is not valid.");
  EXPECT_EQ(message("UPDATE Orders SET EmployeeId = 'abc' WHERE Id = 1"),
            "Btrieve Status 810 - The value is not a number.");
  EXPECT_EQ(message("CALL Missing()"),
            "Btrieve Status 803 - The stored procedure is not defined in the dictionary.");
  // A "?" or "@" typed inside a literal is stored as typed.
  EXPECT_EQ(message("UPDATE Customers SET City = 'Why? a@b' WHERE Id = 1"), "no error");
  EXPECT_EQ(BtrieveCity(db, 1), "Why? a@b");
}

// Where a statement is wrong is told in the text as given: the engine's text has the
// database's one-byte characters and every "?" as a longer variable name.
TEST_F(SqlEngineTest, CompileErrorsTellThePlaceInTheGivenText) {
  TBtrSqlDatabase& db = Sample();
  const auto place = [&](const char* sql) {
    try {
      db.QExecDirect(qrylangSQL, sql, nullptr);
    } catch (const EScalableSQLEngineError& e) {
      return std::to_string(e.StatementPosition().offset) + ":" + e.StatementPosition().token;
    }
    return std::string("no error");
  };
  const std::string ansi = platform::AnsiCodePage();
  ASSERT_TRUE(platform::SetAnsiCodePage("UTF-8"));  // as under a UTF-8 locale
  EXPECT_EQ(place("SELECT Id FROM Customers WHERE City = 'Z\xC3\xBCrich?' OR Nme = 1"), "52:Nme");
  platform::SetAnsiCodePage(ansi);
  EXPECT_EQ(place("UPDATE Custmers SET City = 'x'"), "7:Custmers");
}

TEST_F(SqlEngineTest, LoginFailuresAndNamedDatabases) {
  TBtrSqlDatabase& missing = OpenDatabase(dir_.File("nothing-here"));
  try {
    missing.Connect();
    FAIL();
  } catch (const EScalableSQLEngineError& e) {
    EXPECT_GT(e.NativeError(), 0);
    EXPECT_NE(std::string(e.ExtraText()).find("nothing-here"), std::string::npos);
  }
  EXPECT_FALSE(missing.Connected());

  TRightsRegistry registry;
  registry.SetRootKey(platform::HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(registry.OpenKey("\\Software\\Vader\\Scalable SQL\\Databases\\SHOP", true));
  registry.WriteString("Dictionary", sample_);
  registry.WriteString("Data", sample_);
  TBaseTable* cursor = nullptr;
  session_->OpenDatabaseList(cursor);
  std::unique_ptr<TBaseTable> list(cursor);
  DatabaseDesc desc{};
  list->GetNextRecord(dbiNOLOCK, reinterpret_cast<uint8_t*>(&desc), nullptr);
  EXPECT_STREQ(desc.DbName, "@SHOP");
  EXPECT_STREQ(desc.DbText, "LOCAL");

  TBaseDatabase* named = nullptr;
  session_->CreateDatabase(desc, kOpenReadWrite, kShareShared, nullptr, 0, nullptr, nullptr,
                           named);
  auto& shop = *static_cast<TBtrSqlDatabase*>(named);
  shop.Connect();
  EXPECT_TRUE(shop.Connected());
  TBaseTable& count = Query(shop, "SELECT COUNT(*) FROM Customers");
  std::vector<uint8_t> row(count.GetRecordSize());
  count.GetNextRecord(dbiNOLOCK, row.data(), nullptr);
  EXPECT_GT(Integer(count, 1, row.data()), 0);
  TBaseTable* tables = nullptr;
  EXPECT_EQ(testing::ErrorCode([&] { shop.OpenTableList(false, false, nullptr, tables); }),
            EScalableSQLEngineError(SQL_SYSTEM_TABLES).Code());
}

}  // namespace
}  // namespace vader
