#include "platform/ProgramFiles.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "common/TempDir.h"
#include "platform/ProcessInfo.h"

namespace vader::platform {
namespace {

namespace fs = std::filesystem;
using vader::testing::TempDir;

// A program under PREFIX/bin, with or without PREFIX/share/vader, and a home of its own.
class ProgramFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(root_.File("prefix/bin"));
    SetExecutablePathForTesting(bin() + "vader");
    setenv("XDG_CONFIG_HOME", root_.File("config").c_str(), 1);
    setenv("XDG_DATA_HOME", root_.File("data").c_str(), 1);
  }
  void TearDown() override {
    SetExecutablePathForTesting("");
    unsetenv("XDG_CONFIG_HOME");
    unsetenv("XDG_DATA_HOME");
  }
  std::string bin() const { return root_.File("prefix/bin/"); }
  std::string Install() const {
    const std::string sample = root_.File("prefix/share/vader/sample");
    fs::create_directories(sample);
    root_.Write("prefix/share/vader/sample/FILE.DDF", "shared");
    fs::permissions(sample + "/FILE.DDF", fs::perms::owner_read);
    return sample;
  }
  std::string UserConfig(const std::string& name) const { return root_.File("config/vader/" + name); }

  TempDir root_;
};

TEST_F(ProgramFiles, BuildTreeKeepsEverythingBesideTheExecutable) {
  EXPECT_FALSE(IsInstalledLayout());
  EXPECT_EQ(ProgramDataDirectory(), bin());
  EXPECT_EQ(SettingsFilePath("Vader.INI"), bin() + "Vader.INI");
  EXPECT_EQ(SampleDatabaseDirectory(), bin() + "sample");
}

TEST_F(ProgramFiles, InstalledProgramReadsSharedFilesAndWritesItsStateToTheUsersDirectories) {
  Install();
  EXPECT_TRUE(IsInstalledLayout());
  EXPECT_EQ(ProgramDataDirectory(), root_.File("prefix/share/vader/"));
  EXPECT_EQ(PrivateLibraryDirectory(), bin() + "../lib/vader/");
  EXPECT_EQ(SettingsFilePath("Vader.INI"), UserConfig("Vader.INI"));
  EXPECT_TRUE(fs::is_directory(root_.File("config/vader")));
  EXPECT_FALSE(fs::exists(bin() + "Vader.INI"));
  // A writable settings file beside the executable is used in place.
  root_.Write("prefix/bin/Language.INI", "[Setup]\n");
  EXPECT_EQ(SettingsFilePath("Language.INI"), bin() + "Language.INI");
}

TEST_F(ProgramFiles, ReadOnlySettingsBesideTheExecutableCarryOverToTheUsersCopy) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes read-only files";
  Install();
  const std::string beside = root_.Write("prefix/bin/Language.INI", "[Setup]\nRecStrFileName=x\n");
  fs::permissions(beside, fs::perms::owner_read);
  EXPECT_EQ(SettingsFilePath("Language.INI"), UserConfig("Language.INI"));
  EXPECT_EQ(TempDir::Read(UserConfig("Language.INI")), "[Setup]\nRecStrFileName=x\n");
  EXPECT_EQ(::access(UserConfig("Language.INI").c_str(), W_OK), 0);
  // The user's later changes are not replaced by the shared file again.
  root_.Write("config/vader/Language.INI", "[Setup]\nRecStrFileName=y\n");
  SettingsFilePath("Language.INI");
  EXPECT_EQ(TempDir::Read(UserConfig("Language.INI")), "[Setup]\nRecStrFileName=y\n");
}

TEST_F(ProgramFiles, SampleDatabaseIsCopiedOnceToTheUsersDataDirectoryAndStaysEditable) {
  Install();
  const std::string copy = root_.File("data/vader/sample");
  EXPECT_EQ(SampleDatabaseDirectory(), copy);
  EXPECT_EQ(TempDir::Read(copy + "/FILE.DDF"), "shared");
  EXPECT_EQ(::access((copy + "/FILE.DDF").c_str(), W_OK), 0);
  root_.Write("data/vader/sample/FILE.DDF", "edited");
  EXPECT_EQ(SampleDatabaseDirectory(), copy);
  EXPECT_EQ(TempDir::Read(copy + "/FILE.DDF"), "edited");
  for (const auto& entry : fs::directory_iterator(root_.File("data/vader")))
    EXPECT_EQ(entry.path().filename(), "sample");  // no partial copy left behind
}

}  // namespace
}  // namespace vader::platform
