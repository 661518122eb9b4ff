// Sessions over the keyed test databases and a registry file of the test's own: database names,
// alias parameters, configuration lists, information counts; the rights registry's keys and
// access masks.

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/TempDir.h"
#include "engine/BseRgtry.h"
#include "engine/BseSess.h"
#include "engine/BseUtils.h"
#include "engine/KeyedTestTable.h"

namespace vader::test {
namespace {

constexpr char kTestRegistryPath[] = "\\Software\\Vader\\Test";

class TestSession : public TBaseSession {
 public:
  using TBaseSession::TBaseSession;
  void InitRegistryRoot() override { SetRegistry(platform::HKEY_LOCAL_MACHINE, kTestRegistryPath); }
  void CreateDatabase(const DatabaseDesc& desc, uint32_t openMode, uint32_t shareMode,
                      const char* password, uint16_t optCount, const FieldDesc* optDescs,
                      const void* optParams, TBaseDatabase*& database) override {
    database = TBaseDatabase::Create<TestDatabase>(this, &Databases(), &desc, openMode, shareMode,
                                                   password, optCount, optDescs, optParams);
  }
};

class SessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv(platform::kRegistryEnvironmentVariable, dir_.File("registry.reg").c_str(), 1);
    session_ = static_cast<TBaseSession*>(
        ClassOf<TestSession>()(nullptr, &sessions_, "Main", "/net/dir"));
  }
  void TearDown() override {
    sessions_.FreeAll();
    unsetenv(platform::kRegistryEnvironmentVariable);
  }

  // Writes a registry alias with string values, and DWORD values for names starting with '#'.
  void RegisterAlias(const std::string& name,
                     const std::vector<std::pair<std::string, std::string>>& values) {
    platform::RegistryKey key;
    ASSERT_EQ(key.Open(platform::HKEY_LOCAL_MACHINE,
                       std::string(kTestRegistryPath) + "\\Aliases\\" + name,
                       platform::KEY_ALL_ACCESS, true),
              0);
    for (const auto& [value, text] : values) {
      if (value[0] == '#')
        key.WriteDword(value.substr(1), static_cast<uint32_t>(std::stoul(text)));
      else
        key.WriteString(value, text);
    }
  }

  TBaseDatabase* OpenDatabase(const char* name, uint16_t count = 0, const FieldDesc* descs = nullptr,
                              const void* values = nullptr) {
    TBaseDatabase* db = nullptr;
    session_->OpenDatabase(name, nullptr, kOpenReadWrite, kShareShared, nullptr, count, descs,
                           values, db);
    return db;
  }

  // Rows of a configuration list as "node=value".
  std::vector<std::string> CfgRows(const char* path) {
    TBaseTable* list = nullptr;
    session_->OpenCfgInfoList(nullptr, 0, 0, path, list);
    std::vector<std::string> rows;
    CfgInfoRecord row{};
    try {
      for (;;) {
        list->GetNextRecord(dbiNOLOCK, reinterpret_cast<uint8_t*>(&row), nullptr);
        EXPECT_EQ(+row.DataType, 1);
        rows.push_back(BoundedString(row.NodeName) + "=" + BoundedString(row.Value));
      }
    } catch (const EVaderBoundryError&) {
    }
    session_->CloseList(list);
    return rows;
  }

  std::vector<std::string> Params(const char* path) {
    int32_t count = 0;
    session_->GetCfgRecord(nullptr, path, count, nullptr, nullptr);
    std::vector<FieldDesc> descs(static_cast<size_t>(count));
    std::vector<char> values(kAliasValueBufferSize);
    session_->GetCfgRecord(nullptr, path, count, descs.data(), values.data());
    std::vector<std::string> params;
    for (const FieldDesc& d : descs)
      params.push_back(BoundedString(d.FieldName) + "=" + std::string(&values[d.FieldOffset]));
    return params;
  }

  testing::TempDir dir_;
  TVaderCollection sessions_;
  TBaseSession* session_ = nullptr;
};

TEST_F(SessionTest, DatabaseNamesResolveToDirectoriesOrAliases) {
  EXPECT_EQ(session_->RegistryPath(), kTestRegistryPath);  // set by the second construction step
  DatabaseDesc desc{};
  session_->GetDatabaseDesc("C:\\DATA", desc, true);
  EXPECT_STREQ(desc.DbName, "PATH");
  EXPECT_STREQ(desc.PhysicalPath, "C:\\DATA\\");
  EXPECT_STREQ(desc.DbType, "STANDARD");

  RegisterAlias("Sales", {{"PhysicalName", "/srv/sales"}, {"Description", "Sales data"}});
  session_->GetDatabaseDesc("SALES", desc, true);
  EXPECT_STREQ(desc.DbName, "Sales");
  EXPECT_STREQ(desc.PhysicalPath, "/srv/sales\\");
  EXPECT_STREQ(desc.DbType, "VADER");
  session_->GetDatabaseDescStd("sales", desc);
  EXPECT_STREQ(desc.DbType, "STANDARD");
  try {
    session_->GetDatabaseDesc("STOCK", desc, true);
    ADD_FAILURE();
  } catch (const EVaderEngineError& e) {
    EXPECT_EQ(e.Code(), DBIERR_UNKNOWNDB);
    EXPECT_EQ(e.Context(), "STOCK");
  }
  EXPECT_EQ(session_->MemTables().Count(), 0);  // the alias lists are freed

  TBaseDatabase* sales = OpenDatabase("Sales");
  EXPECT_STREQ(sales->Desc().DbText, "Sales data");
  // With a description and a physical name given, the name needs no alias.
  FieldDesc params[2] = {};
  std::strcpy(params[0].FieldName, "DESCRIPTION");
  std::strcpy(params[1].FieldName, "PhysicalName");
  params[1].FieldOffset = 8;
  TBaseDatabase* stock = OpenDatabase("STOCK", 2, params, "Stock\0\0\0/srv/stock");
  EXPECT_STREQ(stock->Desc().PhysicalPath, "/srv/stock");
  EXPECT_STREQ(stock->Desc().DbType, "VADER");
  EXPECT_EQ(ErrorCode([&] { OpenDatabase(nullptr); }), DBIERR_INVALIDPARAM);
  EXPECT_EQ(ErrorCode([&] { OpenDatabase("STOCK", 1, params, "Stock"); }), DBIERR_UNKNOWNDB);
}

TEST_F(SessionTest, AliasParametersKeepQuotedSeparatorsAndDropUnquotedValues) {
  session_->AddAlias(nullptr, "SALES", nullptr,
                     "PATH:\"C:\\DATA;X:Y\"; USER NAME :\"bob\";PASSWORD:secret", false);
  EXPECT_EQ(Params("\\DATABASES\\SALES\\DB INFO"),
            (std::vector<std::string>{"PATH=C:\\DATA;X:Y", "USER NAME=bob"}));
  // Adding again replaces the record; the database list shows it before registry aliases.
  session_->AddAlias(nullptr, "SALES", nullptr, "PATH:\"/srv/sales\"", false);
  session_->AddAlias(nullptr, "SALES2", nullptr, "PATH:\"/srv/sales2\"", false);
  EXPECT_EQ(session_->CfgRecords().Count(), 2);
  DatabaseDesc desc{};
  session_->GetDatabaseDesc("SALES", desc, true);
  EXPECT_STREQ(desc.PhysicalPath, "/srv/sales");

  std::string seventeen;
  for (int i = 1; i <= 17; ++i) seventeen += "P" + std::to_string(i) + ":\"v\";";
  session_->AddAlias(nullptr, "MANY", nullptr, seventeen.c_str(), false);
  EXPECT_EQ(Params("\\DATABASES\\MANY\\DB INFO").size(), 17u);
  EXPECT_THROW(session_->AddAlias(nullptr, "MANY", nullptr, (seventeen + "P18:\"v\"").c_str(),
                                  false),
               ERangeError);
  const std::string big(600, 'x');
  EXPECT_THROW(session_->AddAlias(nullptr, "BIG", nullptr,
                                  ("A:\"" + big + "\";B:\"" + big + "\"").c_str(), false),
               ERangeError);

  // Deleting one alias leaves the aliases whose names contain it.
  session_->DeleteAlias(nullptr, "SALES");
  EXPECT_EQ(ErrorCode([&] { Params("\\DATABASES\\SALES\\DB INFO"); }), DBIERR_EOF);
  EXPECT_EQ(Params("\\DATABASES\\SALES2\\DB INFO").size(), 1u);
  session_->DeleteAlias(nullptr, "SALES");  // nothing left to delete: silent
  EXPECT_EQ(ErrorCode([&] { session_->DeleteCfgRecords(nullptr, "STOCK"); }), DBIERR_EOF);
}

TEST_F(SessionTest, ConfigurationListsShowTheRegistryValuesOfAnAlias) {
  RegisterAlias("X", {{"PATH", "/srv/x"}, {"user", "alice"}, {"#TIMEOUT", "30"}});
  EXPECT_EQ(CfgRows("\\DATABASES\\X\\DB OPEN"),
            (std::vector<std::string>{"PATH=/srv/x", "USER NAME=alice", "TIMEOUT=30"}));
  RegisterAlias("Y", {{"PATH", "/srv/y"}});
  EXPECT_EQ(CfgRows("\\DATABASES\\Y\\DB INFO"),
            (std::vector<std::string>{"PATH=/srv/y", "USER NAME="}));
  EXPECT_EQ(CfgRows("\\DATABASES\\/srv/z\\DB INFO"),
            (std::vector<std::string>{"PATH=/srv/z", "USER NAME="}));
  EXPECT_TRUE(CfgRows("\\DATABASES\\NOSUCH\\DB INFO").empty());
  EXPECT_TRUE(CfgRows("\\DRIVERS\\X").empty());
  EXPECT_EQ(session_->MemTables().Count(), 0);

  // Aliases written to the registry persist and are listed; deleting removes the key.
  session_->AddAliasToRegistry("Z", "PhysicalName:\"/srv/zz\";Description:\"Zed\"");
  DatabaseDesc desc{};
  session_->GetDatabaseDesc("z", desc, true);
  EXPECT_STREQ(desc.PhysicalPath, "/srv/zz\\");
  EXPECT_STREQ(desc.DbText, "Zed");
  session_->DeleteAliasFromRegistry("Z");
  EXPECT_EQ(ErrorCode([&] { session_->GetDatabaseDesc("Z", desc, true); }), DBIERR_UNKNOWNDB);
}

TEST_F(SessionTest, InformationCountsSessionsDatabasesAndCursors) {
  auto* second = static_cast<TBaseSession*>(ClassOf<TestSession>()(nullptr, &sessions_, nullptr,
                                                                   nullptr));
  TBaseDatabase* a = OpenDatabase("/data/a");
  TBaseDatabase* b = OpenDatabase("/data/b");
  TBaseTable* cursor = nullptr;
  for (const char* name : {"PEOPLE", "ORDERS", "PEOPLE"})
    a->OpenTable(name, nullptr, nullptr, nullptr, 0, 0, 0, 0, false, nullptr, cursor);
  b->OpenTable("PEOPLE", nullptr, nullptr, nullptr, 0, 0, 0, 0, false, nullptr, cursor);

  SessionInfo info{};
  session_->GetSesInfo(info);
  EXPECT_EQ(+info.SessionIndex, 0);
  EXPECT_EQ(+info.DatabaseCount, 2);
  EXPECT_EQ(+info.CursorCount, 4);
  EXPECT_STREQ(info.NetDir, "/net/dir");
  second->SetPrivateDir("/private");
  second->GetSesInfo(info);
  EXPECT_EQ(+info.SessionIndex, 1);
  EXPECT_EQ(+info.CursorCount, 0);
  EXPECT_STREQ(info.PrivateDir, "/private");
  ClientInfo client{};
  session_->GetClientInfo(client);
  EXPECT_EQ(+client.SessionCount, 2);
  SysInfo sys{};
  session_->GetSysInfo(sys);
  EXPECT_EQ(+sys.Sessions, 2);

  uint32_t count = 0;
  EXPECT_EQ(ErrorCode([&] { session_->GetTableOpenCount(true, "ORDERS", nullptr, count); }),
            DBIERR_NOSUCHTABLE);
  session_->GetTableOpenCount(true, "PEOPLE", nullptr, count);
  EXPECT_EQ(count, 3u);

  char dir[512] = {};
  uint16_t len = 0;
  session_->SetProp(kSessionCurrentDirProp, 5);  // accepted, no effect
  session_->GetProp(kSessionCurrentDirProp, dir, sizeof dir - 1, len);
  char cwd[512] = {};
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  EXPECT_STREQ(dir, cwd);
  EXPECT_EQ(len, std::strlen(cwd) + 1);
  session_->SetProp(kSessionOptionAliasProp, 9);
  int32_t option = 0;
  session_->GetProp(kSessionOptionProp, &option, sizeof option, len);
  EXPECT_EQ(option, 9);

  delete second;
  delete a;  // closing a database gives its cursors back
  session_->GetSesInfo(info);
  EXPECT_EQ(+info.DatabaseCount, 1);
  EXPECT_EQ(+info.CursorCount, 1);
}

class RightsRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv(platform::kRegistryEnvironmentVariable, dir_.File("registry.reg").c_str(), 1);
    registry_.SetRootKey(platform::HKEY_LOCAL_MACHINE);
  }
  void TearDown() override { unsetenv(platform::kRegistryEnvironmentVariable); }

  testing::TempDir dir_;
  TRightsRegistry registry_;
};

TEST_F(RightsRegistryTest, KeysOpenAbsoluteOrRelativeToTheCurrentKey) {
  EXPECT_FALSE(registry_.OpenKey("\\Software\\Vader", false));
  ASSERT_TRUE(registry_.OpenKey("\\Software\\Vader", true));
  EXPECT_EQ(registry_.CurrentPath(), "Software\\Vader");
  ASSERT_TRUE(registry_.OpenKey("Btrieve", true));
  EXPECT_EQ(registry_.CurrentPath(), "Software\\Vader\\Btrieve");
  registry_.WriteString("Name", "main");
  registry_.WriteInteger("Count", -2);
  // A failed open keeps the current key.
  EXPECT_FALSE(registry_.OpenKey("Missing", false));
  EXPECT_EQ(registry_.CurrentPath(), "Software\\Vader\\Btrieve");
  EXPECT_EQ(registry_.GetValueNames(), (std::vector<std::string>{"Name", "Count"}));
  EXPECT_EQ(registry_.ReadInteger("COUNT"), -2);
  EXPECT_THROW(registry_.ReadInteger("Name"), ERegistryException);

  ASSERT_TRUE(registry_.OpenKey("\\Software", false));
  EXPECT_EQ(registry_.CurrentPath(), "Software");
  EXPECT_EQ(registry_.GetKeyNames(), (std::vector<std::string>{"Vader"}));
  EXPECT_TRUE(registry_.KeyExists("Vader\\Btrieve"));
  EXPECT_TRUE(registry_.DeleteKey("Vader"));
  EXPECT_FALSE(registry_.KeyExists("\\Software\\Vader\\Btrieve"));
  EXPECT_FALSE(registry_.DeleteKey("Vader"));
}

TEST_F(RightsRegistryTest, KeysOpenedWithoutCreatingThemGetTheAccessMask) {
  ASSERT_TRUE(registry_.OpenKey("\\Software\\Vader", true));
  registry_.WriteString("Name", "main");
  registry_.Access = platform::KEY_READ;
  ASSERT_TRUE(registry_.OpenKey("\\Software\\Vader", false));
  EXPECT_EQ(registry_.ReadString("Name"), "main");
  EXPECT_THROW(registry_.WriteString("Name", "changed"), ERegistryException);
  // Creating asks for all access whatever the mask.
  ASSERT_TRUE(registry_.OpenKey("\\Software\\Vader", true));
  registry_.WriteString("Name", "changed");
  registry_.Access = platform::KEY_SET_VALUE;
  ASSERT_TRUE(registry_.OpenKey("\\Software\\Vader", false));
  EXPECT_EQ(registry_.ReadString("Name"), "");
  EXPECT_TRUE(registry_.GetValueNames().empty());
  registry_.WriteString("Other", "x");
  registry_.Access = platform::KEY_READ;
  ASSERT_TRUE(registry_.OpenKey("\\Software\\Vader", false));
  EXPECT_EQ(registry_.ReadString("Name"), "changed");
  EXPECT_EQ(registry_.ReadString("Other"), "x");
}

}  // namespace
}  // namespace vader::test
