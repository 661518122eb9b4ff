// The file-backed registry: keys made on demand, values kept across openings, access rights,
// enumeration in file order, deletion of whole subtrees and REGEDIT4 files written elsewhere.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "common/TempDir.h"
#include "platform/Registry.h"

namespace vader::platform {
namespace {

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    file_ = dir_.File("registry.reg");
    setenv(kRegistryEnvironmentVariable, file_.c_str(), 1);
  }
  void TearDown() override { unsetenv(kRegistryEnvironmentVariable); }

  vader::testing::TempDir dir_;
  std::string file_;
};

TEST_F(RegistryTest, ValuesSurviveReopeningAndNamesIgnoreCase) {
  RegistryKey key;
  EXPECT_EQ(key.Open(HKEY_LOCAL_MACHINE, "\\Software\\Vader\\Btrieve", KEY_READ),
            ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(key.Open(HKEY_LOCAL_MACHINE, "\\Software\\Vader\\Btrieve", KEY_ALL_ACCESS, true),
            ERROR_SUCCESS);
  EXPECT_EQ(key.WriteString("Path", "C:\\DATA \"quoted\""), ERROR_SUCCESS);
  EXPECT_EQ(key.WriteDword("Count", 42), ERROR_SUCCESS);
  EXPECT_EQ(key.WriteDword("count", 43), ERROR_SUCCESS);  // replaces, does not add

  RegistryKey again;
  ASSERT_EQ(again.Open(HKEY_LOCAL_MACHINE, "software\\VADER\\btrieve", KEY_READ), ERROR_SUCCESS);
  std::string text;
  uint32_t number = 0;
  EXPECT_EQ(again.ReadString("PATH", text), ERROR_SUCCESS);
  EXPECT_EQ(text, "C:\\DATA \"quoted\"");
  EXPECT_EQ(again.ReadDword("Count", number), ERROR_SUCCESS);
  EXPECT_EQ(number, 43u);
  EXPECT_EQ(again.ReadString("Count", text), ERROR_FILE_NOT_FOUND);  // a DWORD is not a string
  EXPECT_EQ(again.ReadString("Missing", text), ERROR_FILE_NOT_FOUND);
  // Parents of a created key exist too.
  EXPECT_EQ(again.Open(HKEY_LOCAL_MACHINE, "Software\\Vader", KEY_READ), ERROR_SUCCESS);
}

TEST_F(RegistryTest, AccessRightsAreHonoured) {
  RegistryKey key;
  ASSERT_EQ(key.Open(HKEY_CURRENT_USER, "Software\\Vader", KEY_READ, true), ERROR_SUCCESS);
  EXPECT_EQ(key.WriteString("A", "x"), ERROR_ACCESS_DENIED);
  RegistryKey writer;
  ASSERT_EQ(writer.Open(HKEY_CURRENT_USER, "Software\\Vader", KEY_SET_VALUE), ERROR_SUCCESS);
  EXPECT_EQ(writer.WriteString("A", "x"), ERROR_SUCCESS);
  std::string text;
  EXPECT_EQ(writer.ReadString("A", text), ERROR_ACCESS_DENIED);
  std::vector<std::string> names;
  EXPECT_EQ(writer.SubKeyNames(names), ERROR_ACCESS_DENIED);
}

TEST_F(RegistryTest, EnumeratesAndDeletesSubtrees) {
  dir_.Write("registry.reg",
             "REGEDIT4\r\n\r\n"
             "[HKEY_LOCAL_MACHINE\\Software\\Vader\\Btrieve\\Aliases\\SALES]\r\n"
             "\"PhysicalName\"=\"C:\\\\DATA\"\r\n"
             "[HKEY_LOCAL_MACHINE\\Software\\Vader\\Btrieve\\Aliases\\STOCK\\Sub]\r\n"
             "@=\"default\"\r\n"
             "[HKEY_LOCAL_MACHINE\\Software\\Vader\\Btrieve\\Aliases\\ARCHIVE]\r\n");
  RegistryKey aliases;
  ASSERT_EQ(aliases.Open(HKEY_LOCAL_MACHINE, "Software\\Vader\\Btrieve\\Aliases", KEY_ALL_ACCESS),
            ERROR_SUCCESS);
  std::vector<std::string> names;
  EXPECT_EQ(aliases.SubKeyNames(names), ERROR_SUCCESS);
  EXPECT_EQ(names, (std::vector<std::string>{"SALES", "STOCK", "ARCHIVE"}));
  RegistryKey sales;
  ASSERT_EQ(sales.Open(HKEY_LOCAL_MACHINE, "Software\\Vader\\Btrieve\\Aliases\\Sales", KEY_READ),
            ERROR_SUCCESS);
  std::string text;
  EXPECT_EQ(sales.ReadString("PhysicalName", text), ERROR_SUCCESS);
  EXPECT_EQ(text, "C:\\DATA");

  EXPECT_EQ(aliases.DeleteSubKey("stock"), ERROR_SUCCESS);
  EXPECT_EQ(aliases.DeleteSubKey("stock"), ERROR_FILE_NOT_FOUND);
  aliases.SubKeyNames(names);
  EXPECT_EQ(names, (std::vector<std::string>{"SALES", "ARCHIVE"}));
  EXPECT_EQ(vader::testing::TempDir::Read(file_).rfind("REGEDIT4", 0), 0u);
}

}  // namespace
}  // namespace vader::platform
