// The driver against doubles of the client libraries: loading and resolving, the version check,
// statement text and parameters, execution, login statuses, SQL transactions, the layout of a
// result table, and the database list.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "SqlFixture.h"
#include "common/EngineErrorCode.h"
#include "framework/DateTimes.h"
#include "framework/Dialogs.h"
#include "sql/SqlErrs.h"

namespace vader {
namespace {

using testing::DoubleFile;
using testing::ErrorCode;

class FakeSqlTest : public testing::SqlFixture {
 protected:
  void SetUp() override {
    previousHandler_ = SetMessageDialogHandler([this](const MessageDialogRequest& request) {
      messages_.push_back(request.message);
      return mrOk;
    });
    fake_ = platform::LoadLibrary(DoubleFile("fakessql"));
    ASSERT_NE(fake_, nullptr);
    Reset(0, 4);
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
  void Reset(int16_t loginStatus, int16_t version) {
    Control<void (*)(int16_t, int16_t)>("FakeSqlReset")(loginStatus, version);
  }
  std::string Log() { return Control<const char* (*)()>("FakeSqlLog")(); }
  // The log of what `work` calls.
  template <class F>
  std::string LogOf(F&& work) {
    const size_t before = Log().size();
    work();
    return Log().substr(before);
  }

  TBtrSqlDatabase& Connected() {
    TBtrSqlDatabase& db = OpenDatabase(dir_.Path(), "Anna");
    db.Connect();
    return db;
  }

  platform::HMODULE fake_ = nullptr;
  std::vector<std::string> messages_;
  MessageDialogHandler previousHandler_;
};

TEST_F(FakeSqlTest, LoadingResolvingAndTheVersionCheck) {
  EXPECT_TRUE(SQLLoaded());
  EXPECT_TRUE(DbNamesLibraryLoaded());
  EXPECT_EQ(LogOf([] { EXPECT_TRUE(SQLAvailable()); }), "xReset;");
  EXPECT_EQ(LogOf([] { EXPECT_TRUE(SQLAvailable()); }), "") << "the check runs once";
  UnloadSQLLibrary();
  ResetSQLVersionCheck();
  Reset(0, 3);
  EXPECT_FALSE(SQLAvailable()) << "another interface version";

  // The first missing export is reported, and resolving stops there.
  UnloadSQLLibrary();
  SetSQLLibraryFiles(DoubleFile("partialssql"), DoubleFile("fakedbnm"));
  EXPECT_EQ(LoadSQLLibrary(), 0);
  EXPECT_EQ(messages_, std::vector<std::string>{
                           "Error Loading Dynamic Function XQLDescribe from WSSQL32.DLL"});
  EXPECT_EQ(sqlapi::Exec(1), SQL_NOT_LOADED);
  EXPECT_FALSE(DbNamesLibraryLoaded());

  // Without the names library the named databases are ignored from then on.
  UnloadSQLLibrary();
  SetSQLLibraryFiles(DoubleFile("fakessql"), dir_.File("missing.so"));
  EXPECT_EQ(LoadSQLLibrary(), 0);
  EXPECT_TRUE(BtrSettings().IgnoreSQLDatabases);

  // Without the engine library: 200, and a statement needs SQL: 2103.
  UnloadSQLLibrary();
  ClearSQLLoaded();
  SetSQLLibraryFiles(dir_.File("missing.so"), "");
  EXPECT_EQ(LoadSQLLibrary(), SQL_NOT_LOADED);
  TSqlStmt* stmt = nullptr;
  try {
    OpenDatabase(dir_.Path()).QAlloc(qrylangSQL, stmt);
    FAIL();
  } catch (const EScalableSQLEngineError& e) {
    EXPECT_EQ(e.NativeError(), SQL_NOT_ACTIVE);
  }
}

TEST(StatementText, RewritingOfVariablesAndMarkers) {
  EXPECT_EQ(RewriteStatementText("SELECT * FROM T WHERE A = ':x' AND B = :y AND C = ? OR D = ?"),
            "SELECT * FROM T WHERE A = ':x' AND B = @y AND C = @QVAR0000 OR D = @QVAR0001");
  EXPECT_EQ(RewriteStatementText("SELECT '?', \"a:b\", ?"),
            "SELECT '@QVAR0000', \"a:b\", @QVAR0001");
  EXPECT_EQ(RewriteStatementText("'a\" :b"), "'a\" @b") << "either quote ends a quoted text";
  EXPECT_EQ(RewriteStatementText("???"), "@QVAR0000@QVAR0001@QVAR0002") << "nothing cut off";
}

TEST(StatementText, ParameterTextOfEveryEngineType) {
  const auto text = [](uint16_t type, auto value) {
    return ParameterText(type, &value, sizeof value);
  };
  EXPECT_EQ(ParameterText(fldZSTRING, "abc\0def", 8), "abc");
  EXPECT_EQ(text(fldDATE, DayNumber(1996, 1, 5)), "1996-01-05");
  EXPECT_EQ(text(fldBOOL, uint16_t{0xFFFF}), "true");
  EXPECT_EQ(text(fldBOOL, uint16_t{0}), "false");
  EXPECT_EQ(text(fldINT16, int16_t{-12}) + text(fldINT32, -70000) + text(fldUINT16, uint16_t{65535}),
            "-12-7000065535");
  EXPECT_EQ(text(fldUINT32, 4000000000u) + " " + text(fldINT64, int64_t{-9000000000}) + " " +
                text(fldUINT64, uint64_t{18000000000000000000u}),
            "4000000000 -9000000000 18000000000000000000");
  EXPECT_EQ(text(fldFLOAT, 2.5) + " " + text(fldBCD, 1234.125) + " " + text(fldFLOATIEEE, 0.1),
            "2.5 1234.125 0.1");
  const int32_t time = ((13 * 60 + 4) * 60 + 9) * 1000;
  EXPECT_EQ(text(fldTIME, time + 50), "13:04:09:05");
  EXPECT_EQ(text(fldTIME, time + 5), "13:04:09:00");
  EXPECT_EQ(text(fldTIME, time), "13:04:09");
  EXPECT_EQ(text(fldTIMESTAMP, DayNumber(1996, 1, 5) * kMSecsPerDay + time + 50),
            "1996-01-05 13:04:09");
  EXPECT_EQ(text(fldBLOB, 1), "");
}

TEST_F(FakeSqlTest, StatementsCompileSubstituteAndExecute) {
  TBtrSqlDatabase& db = Connected();
  TSqlStmt* stmt = nullptr;
  db.QPrepareExt(qrylangSQL, "UPDATE T SET A = ? WHERE B = :b AND C = ?", 0, stmt);
  // By position; a named descriptor is left out. The string goes in the OEM character set.
  const auto param = [](const char* name, uint16_t type, uint16_t offset, uint16_t length) {
    FieldDesc desc{};
    std::strcpy(desc.FieldName, name);
    desc.FieldType = type;
    desc.FieldOffset = offset;
    desc.FieldLength = length;
    return desc;
  };
  const FieldDesc descs[3] = {param("", fldZSTRING, 0, 8), param("b", fldINT32, 8, 4),
                              param("", fldINT32, 8, 4)};
  uint8_t record[12] = {'M', 0xFC, 'l', 'l', 'e', 'r', 0, 0, 42, 0, 0, 0};
  EXPECT_EQ(LogOf([&] { stmt->SetParams(3, descs, record); }),
            "Compile UPDATE T SET A = @QVAR0000 WHERE B = @b AND C = @QVAR0001;"
            "Subst 1 QVAR0000=M\x81ller;Subst 1 QVAR0002=42;");
  EXPECT_EQ(LogOf([&] { stmt->Execute(nullptr); }), "Exec 1;");

  TSqlStmt* fresh = nullptr;
  db.QPrepareExt(qrylangSQL, "DELETE FROM T", 0, fresh);
  EXPECT_EQ(LogOf([&] { fresh->Execute(nullptr); }), "Compile DELETE FROM T;")
      << "the compile is the first execution";
  EXPECT_EQ(LogOf([&] { fresh->Execute(nullptr); }), "Exec 2;");
  EXPECT_EQ(LogOf([&] { delete fresh; }), "Free 2;");
  EXPECT_EQ(ErrorCode([&] { db.QPrepareExt(qrylangQBE, "x", 0, stmt); }), DBIERR_NOTSUPPORTED);
}

TEST_F(FakeSqlTest, LoginStatusesAndSqlTransactions) {
  TBtrSqlDatabase& db = OpenDatabase(dir_.Path(), "Anna");
  db.SetParam("PASSWORD", "secret");
  const auto failure = [&](int16_t status) {
    Reset(status, 4);
    try {
      db.Connect();
    } catch (const EScalableSQLEngineError& e) {
      return std::to_string(e.NativeError()) + " " + std::string(e.ExtraText());
    }
    return std::string(db.Connected() ? "connected" : "not connected");
  };
  EXPECT_EQ(failure(SQL_PASSWORD_INVALID), "205 Anna");
  EXPECT_EQ(failure(SQL_SYSTEM_TABLES), "285 " + dir_.Path() + "/");
  EXPECT_EQ(failure(SQL_LOGIN_SKIPPED), "not connected");
  EXPECT_EQ(failure(0), "connected");
  EXPECT_EQ(Log(), "Login Anna/secret " + dir_.Path() + "/ " + dir_.Path() + "/ 1;");
  EXPECT_EQ(db.SessionID(), 7);

  TTranHandle handle = nullptr;
  const std::string log = LogOf([&] {
    db.BeginTran(0, handle);
    EXPECT_EQ(ErrorCode([&] { db.BeginTran(0, handle); }), DBIERR_ACTIVETRAN);
    db.EndTran(handle, xendABORT);
    db.BeginTran(0, handle);
    db.EndTran(handle, xendCOMMIT);
  });
  EXPECT_EQ(handle, &db);
  EXPECT_EQ(log,
            "Compile START TRANSACTION;Free 1;Compile ROLLBACK WORK;Free 2;"
            "Compile START TRANSACTION;Free 3;Compile COMMIT WORK;Free 4;");
  EXPECT_EQ(ErrorCode([&] { db.EndTran(handle, xendCOMMIT); }), DBIERR_NOACTIVETRAN);
  EXPECT_EQ(LogOf([&] { db.Disconnect(); }), "Logout;");
}

TEST_F(FakeSqlTest, ResultLayoutAndComputedColumns) {
  TBtrSqlDatabase& db = Connected();
  const auto result = [&](const char* columns) -> TBaseTable& {
    Control<void (*)(const char*)>("FakeSqlDefineView")(columns);
    TBaseTable* cursor = nullptr;
    db.QExecDirect(qrylangSQL, "SELECT", &cursor);
    return *CheckParam(cursor);
  };
  TBaseTable& table = result("1:4:ID|0:20:NAME|2:8:PRICE");
  EXPECT_EQ(table.GetRecordSize(), 38u);
  EXPECT_EQ(table.FieldCache().GetItem(1).Desc().FieldOffset, 2);
  EXPECT_EQ(table.FieldCache().GetItem(2).Desc().FieldOffset, 6);
  EXPECT_EQ(table.FieldCache().GetItem(3).Desc().FieldOffset, 26);
  // Property 0 is the caller's byte; the cursor is read-only.
  table.SetProp(0, 9);
  uint8_t flag = 0;
  uint16_t len = 0;
  table.GetProp(0, &flag, 1, len);
  EXPECT_EQ(flag, 9);
  EXPECT_EQ(ErrorCode([&] { table.SetProp(1, 5); }), DBIERR_NOTSUPPORTED);
  uint8_t a[100] = {8}, b[100] = {4};
  int order = 0;
  EXPECT_EQ(ErrorCode([&] { table.CompareBookMarks(a, b, order); }), DBIERR_INVALIDBOOKMARK);

  TBaseTable& computed = result("0:0:count(*)|0:0:SUM(PRICE)");
  const FieldDesc& count = computed.FieldCache().GetItem(1).Desc();
  const FieldDesc& sum = computed.FieldCache().GetItem(2).Desc();
  EXPECT_EQ(count.FieldType, fldINT32);
  EXPECT_EQ(count.FieldLength, 4);
  EXPECT_EQ(sum.FieldType, fldFLOAT);
  EXPECT_EQ(sum.FieldLength, 8);
  EXPECT_EQ(sum.FieldOffset, 6);
}

TEST_F(FakeSqlTest, DatabaseListWithAndWithoutTheNamesLibrary) {
  session_->AddAliasToRegistry("Orders", "PATH: \"/data/orders\"");
  const auto names = [&] {
    TBaseTable* list = nullptr;
    session_->OpenDatabaseList(list);
    std::unique_ptr<TBaseTable> owned(list);
    std::string rows;
    try {
      for (DatabaseDesc desc{};;) {
        list->GetNextRecord(dbiNOLOCK, reinterpret_cast<uint8_t*>(&desc), nullptr);
        rows += std::string(desc.DbName) + " " + desc.DbText + " " + desc.PhysicalPath + ";";
      }
    } catch (const EVaderEOFError&) {
    }
    return rows;
  };
  const std::string all = names();
  EXPECT_EQ(all.substr(0, 7), "Orders ");
  EXPECT_EQ(all.substr(all.find(';') + 1),
            "@SALES LOCAL @SALES;@STOCK LOCAL @STOCK;@FAR1 REMOTE @FAR1;");
  BtrSettings().IgnoreSQLDatabases = true;
  EXPECT_EQ(names(), all.substr(0, all.find(';') + 1));
}

}  // namespace
}  // namespace vader
