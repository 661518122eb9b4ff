// Logins, sessions, named databases, users, the version check and the statuses of failures.

#include <algorithm>

#include "platform/Registry.h"
#include "sqlengine/SqlApi.h"

namespace vader::testing {
namespace {

using namespace vader::sqlengine;

TEST_F(SqlTest, SessionsAreSeparateLoginsSelectedByTheirIds) {
  int16_t first = 0, second = 0;
  ASSERT_EQ(0, api._xGetSessionID(&first));
  const int16_t inFirst = Compile("SELECT Id FROM Customers WHERE Id = 3");
  ASSERT_EQ(0, api._XQLLogin("", "", db.c_str(), db.c_str(), "", 1));
  ASSERT_EQ(0, api._xGetSessionID(&second));
  EXPECT_NE(first, second);
  std::string row;
  EXPECT_EQ(kStatusInvalidCursor, Fetch(inFirst, kFetchFirst, row));  // not this session's
  ASSERT_EQ(0, api._xPutSessionID(first));
  EXPECT_EQ(0, Fetch(inFirst, kFetchFirst, row));
  EXPECT_EQ(3, At<int32_t>(row, 2));
  EXPECT_EQ(kStatusNoSession, api._xPutSessionID(999));
  EXPECT_EQ(0, api._XQLLogout());
  int16_t none = 0;
  EXPECT_EQ(kStatusNoSession, api._xGetSessionID(&none));
  EXPECT_EQ(kStatusNoSession, api._XQLCursor(&none));
  ASSERT_EQ(0, api._xPutSessionID(second));
  EXPECT_EQ(kStatusInvalidCursor, api._XQLFree(777));
}

TEST_F(SqlTest, LoginFailures) {
  EXPECT_EQ(kStatusNoSystemTables, api._XQLLogin("", "", dir.File("nothing").c_str(), "", "", 1));
  EXPECT_EQ(kStatusUnknownDatabase, api._XQLLogin("", "", "@NOSUCH", "", "", 1));
  EXPECT_EQ(kStatusUnknownDatabase, api._XQLLogin("", "", db.c_str(), "", "remote", 1));
  // A data directory without the files: the login works, the first read reports the file.
  ASSERT_EQ(0, api._XQLLogin("", "", db.c_str(), dir.Path().c_str(), "", 1));
  EXPECT_EQ(12, StatusOf("SELECT * FROM Customers"));
}

// USER.DDF: user id, name (30), password (9), flags.
void WriteUsers(const std::string& path) {
  Api& api = Api::Get();
  uint8_t definition[32] = {};
  definition[0] = 43, definition[3] = 0x10, definition[4] = 1;
  // name: extended string, case-insensitive
  definition[16] = 3, definition[18] = 30, definition[21] = 0x05;
  char key[255] = {};
  std::memcpy(key, path.data(), path.size());
  uint8_t pb[128] = {};
  uint32_t len = sizeof definition;
  ASSERT_EQ(0, api.BTRCALL(14, pb, definition, &len, key, 255, 0));
  ASSERT_EQ(0, api.BTRCALL(0, pb, nullptr, &(len = 0), key, 255, 0));
  const auto add = [&](uint16_t id, const char* name, const char* password, uint16_t flags) {
    char rec[43] = {};
    std::memcpy(rec, &id, 2);
    std::memset(rec + 2, ' ', 30);
    std::memcpy(rec + 2, name, std::strlen(name));
    std::memcpy(rec + 32, password, std::strlen(password));
    std::memcpy(rec + 41, &flags, 2);
    uint32_t n = sizeof rec;
    EXPECT_EQ(0, api.BTRCALL(2, pb, rec, &n, key, 255, 0));
  };
  add(1, "Ada", "secret", 0);
  add(2, "Staff", "", 0x40);
  api.BTRCALL(1, pb, nullptr, &(len = 0), key, 255, 0);
}

TEST_F(SqlTest, UsersOfTheDictionaryLogInWithTheirPasswords) {
  WriteUsers(db + "/USER.DDF");
  EXPECT_EQ(0, api._XQLLogin("ADA", "secret", db.c_str(), "", "", 1));
  EXPECT_EQ(kStatusBadPassword, api._XQLLogin("Ada", "Secret", db.c_str(), "", "", 1));
  EXPECT_EQ(kStatusBadUser, api._XQLLogin("Bob", "secret", db.c_str(), "", "", 1));
  EXPECT_EQ(kStatusBadUser, api._XQLLogin("Staff", "", db.c_str(), "", "", 1));  // a group
  EXPECT_EQ(kStatusBadUser, api._XQLLogin("", "", db.c_str(), "", "", 1));
}

TEST_F(SqlTest, NamedDatabasesComeFromTheRegistry) {
  int16_t count = -1;
  ASSERT_EQ(0, api.SQLGetCountDatabaseNames(&count));
  EXPECT_EQ(0, count);
  for (const char* name : {"SALES", "Archive"}) {
    platform::RegistryKey key;
    ASSERT_EQ(0, key.Open(platform::HKEY_LOCAL_MACHINE,
                          std::string("Software\\Vader\\Scalable SQL\\Databases\\") + name,
                          platform::KEY_ALL_ACCESS, true));
    key.WriteString("Dictionary", db);
    key.WriteString("Data", db);
  }
  ASSERT_EQ(0, api.SQLGetCountDatabaseNames(&count));
  ASSERT_EQ(2, count);
  char name[kDatabaseNameSize];
  int16_t length = sizeof name;
  ASSERT_EQ(0, api.SQLGetDatabaseNames(&length, name, 2));
  EXPECT_STREQ("Archive", name);
  EXPECT_EQ(7, length);
  length = 4;
  ASSERT_EQ(0, api.SQLGetDatabaseNames(&length, name, 1));
  EXPECT_STREQ("SAL", name);  // cut to the buffer
  EXPECT_EQ(kStatusNoMoreNames, api.SQLGetDatabaseNames(&(length = 20), name, 3));
  ASSERT_EQ(0, api.SQLGetCountRemoteDatabaseNames(&count));
  EXPECT_EQ(0, count);
  ASSERT_EQ(0, api._XQLLogin("", "", "@sales", "", "", 1));
  EXPECT_EQ(std::vector<std::string>{"400"}, Rows("SELECT COUNT(*) FROM Customers"));
}

TEST_F(SqlTest, VersionAndResetAndUnsupportedPrimitives) {
  uint8_t buf[kVersionBufferSize] = {'X', 'V', 'E', 'R', kVersionBufferSize, 0};
  ASSERT_EQ(0, api.XQLVersion(buf));
  EXPECT_EQ(kInterfaceVersion, At<int16_t>(std::string(reinterpret_cast<char*>(buf), sizeof buf), 12));
  uint8_t wrong[kVersionBufferSize] = {'X', 'V', 'E', 'X', kVersionBufferSize, 0};
  EXPECT_NE(0, api.XQLVersion(wrong));
  EXPECT_EQ(kStatusNotSupported, api.xJoin(1));
  const char zero = 0;
  EXPECT_EQ(0, api.xReset(&zero));  // ends every session
  int16_t id = 0;
  EXPECT_EQ(kStatusNoSession, api._xGetSessionID(&id));
}

TEST_F(SqlTest, StatementErrors) {
  EXPECT_EQ(kStatusSyntax, StatusOf("SELEKT * FROM Customers"));
  EXPECT_EQ(kStatusNoSuchTable, StatusOf("SELECT * FROM Nowhere"));
  EXPECT_EQ(5, StatusOf("INSERT INTO Customers (Id, Name) VALUES (5, 'Twice')"));  // the unique key 0 refuses it
  EXPECT_EQ(kStatusNoSuchProcedure, StatusOf("CALL Missing()"));
  EXPECT_EQ(kStatusNoTransaction, StatusOf("COMMIT WORK"));
  const int16_t c = Compile("UPDATE Customers SET Name = 'x' WHERE Id = 1");
  std::string row;
  EXPECT_EQ(kStatusNoColumns, Fetch(c, kFetchFirst, row));
  int16_t type, size, dec, width, nameLength = 10;
  char name[10];
  EXPECT_EQ(kStatusNoColumns, api.XQLDescribe(c, 1, &type, &size, &dec, &width, &nameLength, name));
  int16_t length = 5;
  EXPECT_EQ(1, api._XQLCompile(c, &length, nullptr));
}

// The caller's progress callback stops a statement part way; what it changed is undone.
int gQuestionsBeforeStop = 0;
int16_t StopAfterSomeQuestions() { return --gQuestionsBeforeStop < 0 ? 1 : 0; }

TEST_F(SqlTest, AStoppedStatementLeavesEveryRowAsItWas) {
  const std::vector<std::string> before = Rows("SELECT SUM(Quantity), COUNT(*) FROM OrderLines");
  ProgressCallback previous = nullptr;
  gQuestionsBeforeStop = 3;
  void* stopper = reinterpret_cast<void*>(&StopAfterSomeQuestions);
  ASSERT_EQ(0, api._XQLCallback(kCallbackProgress, 0, stopper, &previous));
  EXPECT_EQ(kStatusStopped, StatusOf("UPDATE OrderLines SET Quantity = Quantity + 1"));
  EXPECT_EQ(kStatusStopped, StatusOf("DELETE FROM OrderLines"));
  ASSERT_EQ(0, api._XQLCallback(kCallbackProgress, 0, nullptr, &previous));
  EXPECT_EQ(reinterpret_cast<void*>(previous), stopper);
  EXPECT_EQ(Rows("SELECT SUM(Quantity), COUNT(*) FROM OrderLines"), before);
  // Without a callback the same statement runs to its end.
  EXPECT_EQ(kNoticeUpdate, StatusOf("UPDATE OrderLines SET Quantity = Quantity + 1"));
  EXPECT_NE(Rows("SELECT SUM(Quantity), COUNT(*) FROM OrderLines"), before);
  EXPECT_EQ(kStatusNotSupported, api._XQLCallback(99, 0, nullptr, nullptr));
}

TEST_F(SqlTest, OwnerNamesOpenProtectedFiles) {
  {
    // Owner needed for any access to the products.
    BtrReader file(db + "/PRODUCT.BTR");
    char owner[9] = "Boss";
    char key[255] = "Boss";
    uint32_t len = 5;
    ASSERT_EQ(0, api.BTRCALL(29, file.pb, owner, &len, key, 255, 0));
  }
  ASSERT_EQ(0, api._XQLLogin("", "", db.c_str(), "", "", 1));
  EXPECT_EQ(51, StatusOf("SELECT COUNT(*) FROM Products"));
  EXPECT_EQ(kNoticeSet, StatusOf("SET OWNER = 'Boss'"));
  EXPECT_EQ(std::vector<std::string>{"250"}, Rows("SELECT COUNT(*) FROM Products"));
  EXPECT_EQ(kStatusSyntax, StatusOf("SET OWNER = TooLongName"));
}

TEST_F(SqlTest, ShellPrintsAlignedTablesAndFailsReadably) {
  const auto run = [&](const std::string& args, std::string& out) {
    FILE* p = popen((BinDir() + "/vbutil sql " + args + " 2>&1").c_str(), "r");
    char buf[4096];
    out.clear();
    for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    return WEXITSTATUS(pclose(p));
  };
  std::string out;
  // The expected table from the records themselves.
  BtrReader suppliers(db + "/SUPPLIER.BTR");
  std::string ten, twenty;
  ASSERT_EQ(0, suppliers.ById(10, ten));
  ASSERT_EQ(0, suppliers.ById(20, twenty));
  const std::string a = Trimmed(ten, 4, 40), b = Trimmed(twenty, 4, 40);
  const size_t width = std::max({a.size(), b.size(), size_t{4}});
  ASSERT_EQ(0, run(db + " \"SELECT Id, Name FROM Suppliers WHERE Id <= 20\"", out)) << out;
  EXPECT_EQ("Id  Name\n--  " + std::string(width, '-') + "\n10  " + a + "\n20  " + b + "\n(2 rows)\n", out);
  EXPECT_EQ(1, run(db + " \"SELECT * FROM Nowhere\"", out));
  EXPECT_NE(std::string::npos, out.find("status 204 (the table is not defined in the dictionary)"));
  EXPECT_EQ(1, run(dir.File("none") + " \"SELECT 1\"", out));
  EXPECT_EQ(0, run("--help", out));
  EXPECT_NE(std::string::npos, out.find("DIRECTORY [STATEMENT]"));
  const std::string script = dir.Write("script.sql", "SELECT COUNT(*) AS n\nFROM Products;\nSELECT 'a;b' AS t;\n");
  ASSERT_EQ(0, run(db + " < " + script, out)) << out;
  EXPECT_EQ("n\n---\n250\n(1 row)\nt\n---\na;b\n(1 row)\n", out);
}

// A statement that does not compile tells where: the offset in the text as it was given and
// the word there ("offset:word").
TEST_F(SqlTest, CompileFailuresTellWhereTheStatementIsWrong) {
  const auto where = [&](const std::string& text, int16_t expected) {
    int16_t status = 0;
    const int16_t cursor = Compile(text, &status);
    EXPECT_EQ(expected, status) << text;
    int32_t offset = -2, length = -2;
    EXPECT_EQ(0, api.XQLStatus(cursor, kStatusErrorOffset, reinterpret_cast<char*>(&offset)));
    EXPECT_EQ(0, api.XQLStatus(cursor, kStatusErrorLength, reinterpret_cast<char*>(&length)));
    if (offset < 0 || length < 0 || static_cast<size_t>(offset + length) > text.size())
      return std::to_string(offset) + ":?";
    return std::to_string(offset) + ":" +
           text.substr(static_cast<size_t>(offset), static_cast<size_t>(length));
  };
  EXPECT_EQ("13:FORM", where("  SELECT *\n  FORM Customers", kStatusSyntax));
  EXPECT_EQ("14:Custmers", where("SELECT * FROM Custmers WHERE Id = 1", kStatusNoSuchTable));
  EXPECT_EQ("28:custmers", where("SELECT Id FROM Customers c, custmers o", kStatusNoSuchTable));
  EXPECT_EQ("39:Nme", where("SELECT Id FROM Customers WHERE 'Nme' = Nme", kStatusSyntax));
  // The driver's long names of "?" in a literal are counted as given.
  EXPECT_EQ("56:Nme", where("SELECT Id FROM Customers WHERE Name = 'Why@QVAR0000' OR Nme = 1",
                            kStatusSyntax));
  EXPECT_EQ("10:SELEC", where("SELECT 1; SELEC 2", kStatusSyntax));
  EXPECT_EQ("29:", where("SELECT * FROM Customers WHERE ;", kStatusSyntax));
  const int16_t good = Compile("SELECT Id FROM Customers");
  int32_t offset = 0;
  EXPECT_EQ(0, api.XQLStatus(good, kStatusErrorOffset, reinterpret_cast<char*>(&offset)));
  EXPECT_EQ(-1, offset);
}

}  // namespace
}  // namespace vader::testing
