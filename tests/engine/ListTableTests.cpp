// List cursors: forward-only reads of copied records, index lists, and the database list built
// from a session's configuration records.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/TempDir.h"
#include "engine/BseDbase.h"
#include "engine/BseTable.h"
#include "platform/Registry.h"

namespace vader {
namespace {

std::vector<std::string> Names(TBaseTable& list) {
  std::vector<std::string> names;
  DatabaseDesc desc{};
  try {
    for (;;) {
      list.GetNextRecord(dbiNOLOCK, reinterpret_cast<uint8_t*>(&desc), nullptr);
      names.push_back(std::string(desc.DbName) + "|" + desc.PhysicalPath + "|" + desc.DbType);
    }
  } catch (const EVaderEOFError&) {
  }
  return names;
}

FieldDesc Value(const char* name, uint16_t offset, uint16_t length) {
  FieldDesc d{};
  std::strncpy(d.FieldName, name, sizeof d.FieldName - 1);
  d.FieldOffset = offset;
  d.FieldLength = length;
  return d;
}

TEST(ListTable, IndexListYieldsItsCopyInOrderAndRestarts) {
  std::vector<IndexDesc> indexes(3);
  for (uint16_t i = 0; i < 3; ++i) indexes[i].IndexId = static_cast<uint16_t>(10 + i);
  std::unique_ptr<TIndexListTable> list(
      TBaseTable::Create<TIndexListTable>(nullptr, nullptr, indexes.data(), uint16_t{3}));
  indexes.clear();  // the list keeps its own copy
  IndexDesc desc{};
  for (uint16_t id : {10, 11, 12}) {
    list->GetNextRecord(dbiNOLOCK, reinterpret_cast<uint8_t*>(&desc), nullptr);
    EXPECT_EQ(+desc.IndexId, id);
  }
  EXPECT_THROW(list->GetNextRecord(dbiNOLOCK, reinterpret_cast<uint8_t*>(&desc), nullptr),
               EVaderEOFError);
  list->SetToBegin();
  list->GetNextRecord(dbiNOLOCK, reinterpret_cast<uint8_t*>(&desc), nullptr);
  EXPECT_EQ(+desc.IndexId, 10);
}

TEST(ListTable, ListWithoutRecordsIsEmptyWhateverItsCount) {
  std::unique_ptr<TBaseListTable> list(
      TBaseTable::Create<TBaseListTable>(nullptr, nullptr, nullptr, uint16_t{5}, uint16_t{8}));
  uint8_t record[8];
  EXPECT_EQ(list->ItemCount(), 0);
  EXPECT_THROW(list->GetNextRecord(dbiNOLOCK, record, nullptr), EVaderEOFError);
}

class DatabaseListTest : public ::testing::Test {
 protected:
  ~DatabaseListTest() override { cfgRecords_.FreeAll(); }

  void AddConfig(const std::string& path, const char* valueName, const char* value) {
    const FieldDesc desc = Value(valueName, 0, 64);
    char values[64] = {};
    std::strncpy(values, value, sizeof values - 1);
    new TBaseCfgrecord(nullptr, &cfgRecords_, path, 1, &desc, values);
  }

  TVaderCollection cfgRecords_;
};

TEST_F(DatabaseListTest, ListsConfigurationDatabasesWithDbInfo) {
  AddConfig("\\DATABASES\\SALES\\DB INFO", "PATH", "C:\\SALES");
  AddConfig("\\DATABASES\\OTHER\\SETTINGS", "PATH", "C:\\OTHER");
  AddConfig("\\DATABASES\\STOCK\\DB INFO", "PhysicalName", "D:\\STOCK");
  AddConfig("\\DATABASES\\EMPTY\\DB INFO", "SOMETHING", "X");
  std::unique_ptr<TBaseDBListTable> list(
      TBaseTable::Create<TBaseDBListTable>(nullptr, nullptr, &cfgRecords_, "BTRIEVE", nullptr));
  EXPECT_EQ(Names(*list), (std::vector<std::string>{"SALES|C:\\SALES|BTRIEVE",
                                                    "STOCK|D:\\STOCK|BTRIEVE", "EMPTY||BTRIEVE"}));
}

class RegistryListTest : public DatabaseListTest {
 protected:
  void SetUp() override {
    setenv(platform::kRegistryEnvironmentVariable, dir_.File("registry.reg").c_str(), 1);
    location_.Root = platform::HKEY_LOCAL_MACHINE;
    std::strcpy(location_.Path, "\\Software\\Vader\\Btrieve");
  }
  void TearDown() override { unsetenv(platform::kRegistryEnvironmentVariable); }

  void AddAlias(const std::string& name, const char* physical) {
    platform::RegistryKey key;
    ASSERT_EQ(key.Open(platform::HKEY_LOCAL_MACHINE, "Software\\Vader\\Btrieve\\Aliases\\" + name,
                       platform::KEY_ALL_ACCESS, true),
              platform::ERROR_SUCCESS);
    if (physical != nullptr) key.WriteString("PhysicalName", physical);
    key.WriteString("Description", "Alias " + name);
  }

  std::unique_ptr<TRegDBListTable> OpenList() {
    std::unique_ptr<TRegDBListTable> list(
        TBaseTable::Create<TRegDBListTable>(nullptr, nullptr, &cfgRecords_, "BTRIEVE", &location_));
    list->OpenCursor();
    return list;
  }

  testing::TempDir dir_;
  RegistryLocation location_{};
};

TEST_F(RegistryListTest, ConfigurationDatabasesComeBeforeRegistryAliases) {
  AddConfig("\\DATABASES\\SALES\\DB INFO", "PATH", "C:\\SALES");
  AddAlias("BOOKS", "C:\\DATA");
  AddAlias("MUSIC", "D:\\MUSIC\\");
  AddAlias("NOWHERE", nullptr);
  std::unique_ptr<TRegDBListTable> list = OpenList();
  EXPECT_EQ(Names(*list),
            (std::vector<std::string>{"SALES|C:\\SALES|BTRIEVE", "BOOKS|C:\\DATA\\|BTRIEVE",
                                      "MUSIC|D:\\MUSIC\\|BTRIEVE", "NOWHERE||BTRIEVE"}));
}

TEST_F(RegistryListTest, MissingAliasesKeyOrVanishedAliasEndsTheList) {
  EXPECT_TRUE(Names(*OpenList()).empty());
  AddAlias("BOOKS", "C:\\DATA");
  AddAlias("MUSIC", "D:\\MUSIC");
  std::unique_ptr<TRegDBListTable> list = OpenList();
  platform::RegistryKey aliases;
  aliases.Open(platform::HKEY_LOCAL_MACHINE, "Software\\Vader\\Btrieve\\Aliases",
               platform::KEY_ALL_ACCESS);
  aliases.DeleteSubKey("BOOKS");
  EXPECT_TRUE(Names(*list).empty());
  std::unique_ptr<TRegDBListTable> unplaced(
      TBaseTable::Create<TRegDBListTable>(nullptr, nullptr, &cfgRecords_, "BTRIEVE", nullptr));
  try {
    unplaced->OpenCursor();
    FAIL();
  } catch (const EVaderEngineError& e) {
    EXPECT_EQ(e.Code(), DBIERR_NOSUCHTABLE);
  }
}

TEST(CfgRecord, SetFieldsReplacesOrClearsTheValues) {
  const FieldDesc descs[2] = {Value("A", 0, 4), Value("B", 4, 8)};
  const char values[12] = "abc\0defghij";
  TBaseCfgrecord record(nullptr, nullptr, "\\X", 2, descs, values);
  EXPECT_EQ(record.ValuesSize(), 12u);
  EXPECT_EQ(record.TextValue({"B"}), "defghij");
  // A descriptor pointing outside the values reads as empty rather than past the buffer.
  const FieldDesc outside = Value("C", 100, 8);
  record.SetFields(1, &outside, values);
  EXPECT_EQ(record.TextValue({"C"}), "");
  record.SetFields(0, descs, values);
  EXPECT_EQ(record.FieldCount(), 0);
  EXPECT_EQ(record.Values(), nullptr);
}

}  // namespace
}  // namespace vader
