// The driver against doubles of the client libraries: loading and resolving, the version check,
// statement text and parameters, execution, login, transactions, result-table layout and
// positioning, and the database list.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "SqlFixture.h"
#include "common/EngineErrorCode.h"
#include "engine/BseErrs.h"
#include "framework/DateTimes.h"
#include "framework/Dialogs.h"
#include "sql/SqlErrs.h"
#include "sql/SqlTable.h"

namespace vader {
namespace {

using testing::DoubleFile;

class FakeSqlTest : public testing::SqlFixture {
 protected:
  void SetUp() override {
    previousHandler_ = SetMessageDialogHandler([this](const MessageDialogRequest& request) {
      messages_.push_back(request.message);
      return mrOk;
    });
    fake_ = platform::LoadLibrary(DoubleFile("fakessql"));
    ASSERT_NE(fake_, nullptr);
    Control<void (*)()>("FakeSqlReset")();
    Start(DoubleFile("fakessql"), DoubleFile("fakedbnm"));
  }
  void TearDown() override {
    SqlFixture::TearDown();
    platform::FreeLibrary(fake_);
    SetMessageDialogHandler(previousHandler_);
  }

  template <class Fn>
  Fn Control(const char* name) {
    return reinterpret_cast<Fn>(platform::GetProcAddress(fake_, name));
  }
  std::string Log() { return Control<const char* (*)()>("FakeSqlLog")(); }
  void ClearLog() { Control<void (*)()>("FakeSqlClearLog")(); }
  void DefineView(const char* spec, int rows) {
    Control<void (*)(const char*, int)>("FakeSqlDefineView")(spec, rows);
  }

  // A database logged in to the double.
  TBtrSqlDatabase& Connected() {
    TBtrSqlDatabase& db = OpenDatabase(dir_.Path(), "Anna");
    db.Connect();
    EXPECT_TRUE(db.Connected());
    return db;
  }

  // The result table of `sql` over the double's view.
  template <class Table = TBtrSqlBaseTable>
  Table& Result(TBtrSqlDatabase& db, const char* sql, int32_t kind = kSqlStmtOrdinary) {
    TSqlStmt* stmt = nullptr;
    db.QPrepareExt(qrylangSQL, sql, static_cast<uint32_t>(kind), stmt);
    TBaseTable* cursor = nullptr;
    stmt->Execute(&cursor);
    return *CheckParam(dynamic_cast<Table*>(cursor));
  }

  platform::HMODULE fake_ = nullptr;
  std::vector<std::string> messages_;
  MessageDialogHandler previousHandler_;
};

TEST_F(FakeSqlTest, LoadingResolvingAndTheVersionCheck) {
  EXPECT_TRUE(SQLLoaded());
  EXPECT_TRUE(DbNamesLibraryLoaded());
  EXPECT_TRUE(messages_.empty());
  EXPECT_TRUE(SQLAvailable());
  EXPECT_EQ(Log(), "xReset;");
  SQLAvailable();
  EXPECT_EQ(Log(), "xReset;") << "the check runs once";

  // Another interface version: not available.
  UnloadSQLLibrary();
  ResetSQLVersionCheck();
  Control<void (*)(int16_t)>("FakeSqlSetVersion")(3);
  EXPECT_FALSE(SQLAvailable());

  // No library: status 200, and SQL is not loaded; a database needing it raises 2103.
  UnloadSQLLibrary();
  ClearSQLLoaded();
  SetSQLLibraryFiles(dir_.File("missing.so"), "");
  EXPECT_EQ(LoadSQLLibrary(), SQL_NOT_LOADED);
  EXPECT_FALSE(SQLLoaded());
  TSqlStmt* stmt = nullptr;
  try {
    OpenDatabase(dir_.Path()).QAlloc(qrylangSQL, stmt);
    FAIL();
  } catch (const EScalableSQLEngineError& e) {
    EXPECT_EQ(e.NativeError(), SQL_NOT_ACTIVE);
  }
}

TEST_F(FakeSqlTest, MissingExportsAndMissingNamesLibrary) {
  UnloadSQLLibrary();
  SetSQLLibraryFiles(DoubleFile("partialssql"), DoubleFile("fakedbnm"));
  EXPECT_EQ(LoadSQLLibrary(), 0);
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0], "Error Loading Dynamic Function XQLDescribe from WSSQL32.DLL");
  // Resolving stopped there: a later export answers 200; the names library was not loaded.
  EXPECT_EQ(sqlapi::Exec(1), SQL_NOT_LOADED);
  EXPECT_FALSE(DbNamesLibraryLoaded());
  EXPECT_FALSE(BtrSettings().IgnoreSQLDatabases);

  UnloadSQLLibrary();
  SetSQLLibraryFiles(DoubleFile("fakessql"), dir_.File("missing.so"));
  EXPECT_EQ(LoadSQLLibrary(), 0);
  EXPECT_TRUE(BtrSettings().IgnoreSQLDatabases);
  EXPECT_EQ(messages_.size(), 1u);
}

TEST(StatementText, RewritingOfVariablesAndMarkers) {
  EXPECT_EQ(RewriteStatementText("SELECT * FROM T WHERE A = ':x' AND B = :y AND C = ? OR D = ?"),
            "SELECT * FROM T WHERE A = ':x' AND B = @y AND C = @QVAR0000 OR D = @QVAR0001");
  EXPECT_EQ(RewriteStatementText("SELECT '?' , \"a:b\" , ?"), "SELECT '@QVAR0000' , \"a:b\" , @QVAR0001");
  // A double quote also closes a single-quoted text: the two are not told apart.
  EXPECT_EQ(RewriteStatementText("'a\" :b"), "'a\" @b");
  // Many markers in a short text are all kept.
  EXPECT_EQ(RewriteStatementText("???"), "@QVAR0000@QVAR0001@QVAR0002");
}

TEST(StatementText, ParameterTextOfEveryEngineType) {
  const auto text = [](uint16_t type, auto value) {
    return ParameterText(type, &value, sizeof value);
  };
  EXPECT_EQ(ParameterText(fldZSTRING, "abc\0def", 8), "abc");
  EXPECT_EQ(text(fldDATE, DayNumber(1996, 1, 5)), "1996-01-05");
  EXPECT_EQ(text(fldBOOL, uint16_t{0xFFFF}), "true");
  EXPECT_EQ(text(fldBOOL, uint16_t{0}), "false");
  EXPECT_EQ(text(fldINT16, int16_t{-12}), "-12");
  EXPECT_EQ(text(fldINT32, int32_t{-70000}), "-70000");
  EXPECT_EQ(text(fldUINT16, uint16_t{65535}), "65535");
  EXPECT_EQ(text(fldUINT32, uint32_t{4000000000u}), "4000000000");
  EXPECT_EQ(text(fldINT64, int64_t{-9000000000}), "-9000000000");
  EXPECT_EQ(text(fldUINT64, uint64_t{18000000000000000000u}), "18000000000000000000");
  EXPECT_EQ(text(fldFLOAT, 2.5), "2.5");
  EXPECT_EQ(text(fldBCD, 1234.125), "1234.125");
  EXPECT_EQ(text(fldFLOATIEEE, 0.1), "0.1");
  const int32_t time = ((13 * 60 + 4) * 60 + 9) * 1000;
  EXPECT_EQ(text(fldTIME, time + 50), "13:04:09:05");
  EXPECT_EQ(text(fldTIME, time + 5), "13:04:09:00");
  EXPECT_EQ(text(fldTIME, time), "13:04:09");
  const double stamp = DayNumber(1996, 1, 5) * kMSecsPerDay + time + 50;
  EXPECT_EQ(text(fldTIMESTAMP, stamp), "1996-01-05 13:04:09");
  EXPECT_EQ(text(fldBLOB, 1), "");
}

TEST_F(FakeSqlTest, StatementsCompileSubstituteAndExecute) {
  TBtrSqlDatabase& db = Connected();
  ClearLog();
  TSqlStmt* stmt = nullptr;
  db.QPrepareExt(qrylangSQL, "UPDATE T SET A = ? WHERE B = :b AND C = ?", 0, stmt);
  // Parameters by position; a named descriptor is left to the caller.
  FieldDesc descs[3]{};
  descs[0].FieldType = fldZSTRING;
  descs[0].FieldLength = 8;
  descs[1].FieldType = fldINT32;
  std::strcpy(descs[1].FieldName, "b");
  descs[1].FieldOffset = 8;
  descs[2].FieldType = fldINT32;
  descs[2].FieldOffset = 8;
  descs[2].FieldLength = 4;
  uint8_t record[12] = {'M', 0xFC, 'l', 'l', 'e', 'r', 0, 0, 42, 0, 0, 0};
  stmt->SetParams(3, descs, record);
  EXPECT_EQ(Log(),
            "Compile UPDATE T SET A = @QVAR0000 WHERE B = @b AND C = @QVAR0001;"
            "Subst 1 QVAR0000=M\x81ller;Subst 1 QVAR0002=42;");
  ClearLog();
  stmt->Execute(nullptr);
  EXPECT_EQ(Log(), "Exec 1;") << "compiled already: executed";

  TSqlStmt* fresh = nullptr;
  db.QPrepareExt(qrylangSQL, "DELETE FROM T", 0, fresh);
  ClearLog();
  fresh->Execute(nullptr);
  EXPECT_EQ(Log(), "Compile DELETE FROM T;") << "the compile is the first execution";
  fresh->Execute(nullptr);
  EXPECT_EQ(Log(), "Compile DELETE FROM T;Exec 2;");
  delete fresh;
  EXPECT_NE(Log().find("Free 2"), std::string::npos);

  EXPECT_EQ(testing::ErrorCode([&] { db.QPrepareExt(qrylangQBE, "x", 0, stmt); }),
            DBIERR_NOTSUPPORTED);
}

TEST_F(FakeSqlTest, LoginStatuses) {
  auto status = Control<void (*)(int16_t)>("FakeSqlSetLoginStatus");
  TBtrSqlDatabase& db = OpenDatabase(dir_.Path(), "Anna");
  db.SetParam("PASSWORD", "secret");
  status(SQL_PASSWORD_INVALID);
  try {
    db.Connect();
    FAIL();
  } catch (const EScalableSQLEngineError& e) {
    EXPECT_EQ(e.NativeError(), SQL_PASSWORD_INVALID);
    EXPECT_NE(std::string(e.ExtraText()).find("Anna"), std::string::npos);
  }
  status(SQL_LOGIN_SKIPPED);
  db.Connect();
  EXPECT_FALSE(db.Connected());
  status(SQL_SYSTEM_TABLES);
  try {
    db.Connect();
    FAIL();
  } catch (const EScalableSQLEngineError& e) {
    EXPECT_NE(std::string(e.ExtraText()).find(dir_.Path()), std::string::npos);
  }
  status(0);
  ClearLog();
  db.Connect();
  EXPECT_TRUE(db.Connected());
  EXPECT_EQ(db.SessionID(), 7);
  EXPECT_EQ(Log(), "Login Anna/secret " + dir_.Path() + "/ " + dir_.Path() + "/ 1;");
  db.Disconnect();
  EXPECT_FALSE(db.Connected());
}

TEST_F(FakeSqlTest, TransactionsThroughSqlAndThroughBtrieve) {
  TBtrSqlDatabase& db = Connected();
  ClearLog();
  TTranHandle handle = nullptr;
  db.BeginTran(0, handle);
  EXPECT_EQ(handle, &db);
  EXPECT_FALSE(db.BtrieveTransaction());
  EXPECT_EQ(testing::ErrorCode([&] { db.BeginTran(0, handle); }), DBIERR_ACTIVETRAN);
  db.EndTran(handle, xendABORT);
  db.BeginTran(0, handle);
  db.EndTran(handle, xendCOMMIT);
  EXPECT_EQ(Log(),
            "Compile START TRANSACTION;Free 1;Compile ROLLBACK WORK;Free 2;"
            "Compile START TRANSACTION;Free 3;Compile COMMIT WORK;Free 4;");
  EXPECT_EQ(testing::ErrorCode([&] { db.EndTran(handle, xendCOMMIT); }), DBIERR_NOACTIVETRAN);

  // Not logged in: a Btrieve transaction of the session's client.
  TBtrSqlDatabase& plain = OpenDatabase(dir_.Path());
  ClearLog();
  plain.BeginTran(0, handle);
  EXPECT_TRUE(plain.BtrieveTransaction());
  EXPECT_EQ(plain.TranState(), xsACTIVE);
  plain.EndTran(handle, xendABORT);
  EXPECT_EQ(plain.TranState(), xsINACTIVE);
  EXPECT_FALSE(plain.BtrieveTransaction());
  EXPECT_EQ(Log(), "");
}

TEST_F(FakeSqlTest, ResultLayoutAndComputedColumns) {
  TBtrSqlDatabase& db = Connected();
  DefineView("1:4:ID|0:20:NAME|2:8:PRICE", 3);
  TBtrSqlBaseTable& table = Result(db, "SELECT ID, NAME, PRICE FROM T");
  CursorProps props{};
  table.GetCursorProps(props);
  EXPECT_EQ(props.FieldCount, 3);
  EXPECT_EQ(props.RecSize, 38);
  EXPECT_EQ(table.FieldCache().GetItem(1).Desc().FieldOffset, 2);
  EXPECT_EQ(table.FieldCache().GetItem(2).Desc().FieldOffset, 6);
  EXPECT_EQ(table.FieldCache().GetItem(3).Desc().FieldOffset, 26);
  // Property 0 is the caller's byte; the cursor is read-only.
  table.SetProp(0, 9);
  uint8_t flag = 0;
  uint16_t len = 0;
  table.GetProp(0, &flag, 1, len);
  EXPECT_EQ(flag, 9);
  EXPECT_EQ(testing::ErrorCode([&] { table.SetProp(1, 5); }), DBIERR_NOTSUPPORTED);

  DefineView("0:0:count(*)|0:0:SUM(PRICE)", 1);
  TBtrSqlBaseTable& computed = Result(db, "SELECT COUNT(*), SUM(PRICE) FROM T");
  const FieldDesc& count = computed.FieldCache().GetItem(1).Desc();
  EXPECT_EQ(count.FieldType, fldINT32);
  EXPECT_EQ(count.FieldLength, 4);
  const FieldDesc& sum = computed.FieldCache().GetItem(2).Desc();
  EXPECT_EQ(sum.FieldType, fldFLOAT);
  EXPECT_EQ(sum.FieldLength, 8);
  EXPECT_EQ(sum.FieldOffset, 6);
  EXPECT_EQ(computed.GetRecordSize(), 2u + 4 + 8 + 4);
}

TEST_F(FakeSqlTest, EndsBookmarksAndChangesOfAView) {
  TBtrSqlDatabase& db = Connected();
  DefineView("1:4:ID|0:20:NAME", 3);
  TBtrSqlBaseTable& table = Result(db, "SELECT ID, NAME FROM T");
  std::vector<uint8_t> row(table.GetRecordSize());
  const auto id = [&] {
    int32_t v = 0;
    std::memcpy(&v, row.data() + 2, 4);
    return v;
  };
  table.SetToEnd();
  table.GetPriorRecord(dbiNOLOCK, row.data(), nullptr);
  EXPECT_EQ(id(), 3);
  table.GetPriorRecord(dbiNOLOCK, row.data(), nullptr);
  std::vector<uint8_t> mark(table.GetBookmarkSize());
  table.GetBookMark(mark.data());
  table.GetPriorRecord(dbiNOLOCK, row.data(), nullptr);
  EXPECT_EQ(id(), 1);
  EXPECT_EQ(testing::ErrorCode([&] { table.GetPriorRecord(dbiNOLOCK, row.data(), nullptr); }),
            0x2201);
  table.ReadAtBookmark(mark.data(), row.data(), dbiNOLOCK);
  EXPECT_EQ(id(), 2);
  table.GetNextRecord(dbiNOLOCK, row.data(), nullptr);
  EXPECT_EQ(testing::ErrorCode([&] { table.GetNextRecord(dbiNOLOCK, row.data(), nullptr); }),
            0x2202);

  std::vector<uint8_t> other(table.GetBookmarkSize());
  table.SetToBookMark(mark.data());
  table.GetBookMark(other.data());
  int result = 9;
  table.CompareBookMarks(mark.data(), other.data(), result);
  EXPECT_EQ(result, 0);
  other[2] = 3;
  table.CompareBookMarks(mark.data(), other.data(), result);
  EXPECT_EQ(result, -1);
  other[0] = 8;
  EXPECT_EQ(testing::ErrorCode([&] { table.CompareBookMarks(mark.data(), other.data(), result); }),
            DBIERR_INVALIDBOOKMARK);
  other[0] = 120;
  EXPECT_EQ(testing::ErrorCode([&] { table.SetToBookMark(other.data()); }), DBIERR_INVALIDBOOKMARK);

  ClearLog();
  std::vector<uint8_t> fresh(table.GetRecordSize(), 0);
  table.InsertRecord(dbiWRITELOCK, fresh.data());
  table.ModifyRecord(fresh.data(), true);
  table.DeleteRecord(fresh.data());
  EXPECT_EQ(Log(), "xInsert 1 30;Fetch 1024;xUpdate 26;Fetch 7;Fetch 0;xRemove;");
  EXPECT_EQ(table.State(), TCursorState::AtCrack);

  uint32_t count = 5;
  std::vector<uint8_t> block(5 * table.GetRecordSize());
  table.SetToBegin();
  table.GetNextRecord(dbiNOLOCK, row.data(), nullptr);
  EXPECT_EQ(testing::ErrorCode([&] { table.ReadBlock(count, block.data()); }), 0x2202);
  EXPECT_EQ(count, 3u);
}

TEST_F(FakeSqlTest, ProcedureResultsRepositionByRowNumber) {
  TBtrSqlDatabase& db = Connected();
  DefineView("1:4:ID", 5);
  TSqlStmt* stmt = nullptr;
  ClearLog();
  db.QPrepareProc("Totals", 0, nullptr, nullptr, stmt);
  TBaseTable* cursor = nullptr;
  stmt->Execute(&cursor);
  EXPECT_EQ(Log(), "Compile CALL Totals();;Exec 1;Exec 1;");
  auto& table = *CheckParam(dynamic_cast<TBtrSqlAggTable*>(cursor));
  EXPECT_EQ(table.GetBookmarkSize(), 4u);
  uint8_t row[16] = {};
  for (int i = 0; i < 4; ++i) table.GetNextRecord(dbiNOLOCK, row, nullptr);
  ClearLog();
  const int32_t three = 3;
  uint8_t target[16] = {};
  table.ReadAtBookmark(&three, target, dbiNOLOCK);
  EXPECT_EQ(Log(), "Fetch 1;Fetch 2;Fetch 2;Fetch 0;") << "three rows read from the start";
  EXPECT_EQ(table.RowNumber(), 3);
  int32_t id = 0;
  std::memcpy(&id, target + 2, 4);
  EXPECT_EQ(id, 3);
  int32_t mark = 0;
  table.GetBookMark(&mark);
  EXPECT_EQ(mark, 3);
  // The statement may go first: the table keeps reading and frees the cursor at its close.
  delete stmt;
  table.GetNextRecord(dbiNOLOCK, row, nullptr);
  EXPECT_EQ(Log().find("Free"), std::string::npos);
  delete &table;
  EXPECT_NE(Log().find("Free 1"), std::string::npos);
}

TEST_F(FakeSqlTest, DatabaseListWithAndWithoutTheNamesLibrary) {
  session_->AddAliasToRegistry("Orders", "PATH: \"/data/orders\"");
  const auto names = [&] {
    TBaseTable* list = nullptr;
    session_->OpenDatabaseList(list);
    std::unique_ptr<TBaseTable> owned(list);
    std::vector<std::string> rows;
    try {
      for (DatabaseDesc desc{};;) {
        list->GetNextRecord(dbiNOLOCK, reinterpret_cast<uint8_t*>(&desc), nullptr);
        rows.push_back(std::string(desc.DbName) + " " + desc.DbText + " " + desc.PhysicalPath);
      }
    } catch (const EVaderEOFError&) {
    }
    return rows;
  };
  const std::vector<std::string> all = names();
  ASSERT_EQ(all.size(), 4u);
  EXPECT_EQ(all[0].substr(0, 7), "Orders ");
  EXPECT_EQ(all[1], "@SALES LOCAL @SALES");
  EXPECT_EQ(all[2], "@STOCK LOCAL @STOCK");
  EXPECT_EQ(all[3], "@FAR1 REMOTE @FAR1") << "a status ends the names after that one";

  BtrSettings().IgnoreSQLDatabases = true;
  const std::vector<std::string> registered = names();
  ASSERT_EQ(registered.size(), 1u);
  EXPECT_EQ(registered[0].substr(0, 7), "Orders ");
}

}  // namespace
}  // namespace vader
