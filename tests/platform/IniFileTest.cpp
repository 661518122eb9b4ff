#include "platform/IniFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "common/TempDir.h"

namespace vader::platform {
namespace {

using vader::testing::TempDir;

std::string Read(const std::string& file, const std::string& section, const std::string& key) {
  return GetPrivateProfileString(section, key, "", 2048, file);
}

TEST(IniFileRead, NamesMatchCaseInsensitivelyAndFirstMatchWins) {
  TempDir dir;
  const auto file = dir.Write("a.ini",
                              "[Other]\nKey=no\n[SETUP]\nrecstrfilename=first\n"
                              "RecStrFileName=second\n[setup]\nRecStrFileName=third\n");
  EXPECT_EQ(Read(file, "Setup", "RecStrFileName"), "first");
}

TEST(IniFileRead, BlanksAndSurroundingQuotesAreStripped) {
  TempDir dir;
  const auto file = dir.Write("a.ini",
                              "[S]\r\n  a  =   spaced value   \r\nb=\"quoted \"\r\nc='x'\r\n"
                              "d=\"unbalanced\r\ne=\r\n");
  EXPECT_EQ(Read(file, "S", "a"), "spaced value");
  EXPECT_EQ(Read(file, "S", "b"), "quoted ");
  EXPECT_EQ(Read(file, "S", "c"), "x");
  EXPECT_EQ(Read(file, "S", "d"), "\"unbalanced");
  EXPECT_EQ(Read(file, "S", "e"), "");
}

TEST(IniFileRead, MissingFileSectionOrKeyGivesTheDefault) {
  TempDir dir;
  const auto file = dir.Write("a.ini", "[S]\nk=v\n; comment=no\n");
  EXPECT_EQ(GetPrivateProfileString("S", "x", "dflt", 2048, file), "dflt");
  EXPECT_EQ(GetPrivateProfileString("T", "k", "dflt", 2048, file), "dflt");
  EXPECT_EQ(GetPrivateProfileString("S", "; comment", "dflt", 2048, file), "dflt");
  EXPECT_EQ(GetPrivateProfileString("S", "k", "dflt", 2048, dir.File("none.ini")), "dflt");
}

TEST(IniFileRead, ValueIsCutToTheBuffer) {
  TempDir dir;
  const auto file = dir.Write("a.ini", "[S]\nk=" + std::string(5000, 'v') + "\n");
  EXPECT_EQ(Read(file, "S", "k").size(), 2047u);
  EXPECT_EQ(GetPrivateProfileString("S", "k", "", 1, file), "");
}

TEST(IniFileWrite, CreatesFileSectionAndKey) {
  TempDir dir;
  const auto file = dir.File("new.ini");
  ASSERT_TRUE(WritePrivateProfileString("Setup", "RecStrFileName", "", file));
  EXPECT_EQ(TempDir::Read(file), "[Setup]\nRecStrFileName=\n");
  ASSERT_TRUE(WritePrivateProfileString("Setup", "Other", "x", file));
  ASSERT_TRUE(WritePrivateProfileString("Second", "k", "v", file));
  EXPECT_EQ(Read(file, "Setup", "Other"), "x");
  EXPECT_EQ(Read(file, "Second", "k"), "v");
}

TEST(IniFileWrite, ReplacesInPlaceAndKeepsTheRestOfTheFile) {
  TempDir dir;
  const std::string before =
      "; settings\r\n[setup]\r\nFirst=1\r\nRECSTRFILENAME=old.txt\r\nLast=3\r\n\r\n[Tail]\r\nx=y\r\n";
  const auto file = dir.Write("a.ini", before);
  ASSERT_TRUE(WritePrivateProfileString("Setup", "RecStrFileName", "new.txt", file));
  EXPECT_EQ(TempDir::Read(file),
            "; settings\r\n[setup]\r\nFirst=1\r\nRecStrFileName=new.txt\r\nLast=3\r\n\r\n"
            "[Tail]\r\nx=y\r\n");
  ASSERT_TRUE(WritePrivateProfileString("Setup", "Added", "a", file));
  EXPECT_EQ(TempDir::Read(file),
            "; settings\r\n[setup]\r\nFirst=1\r\nRecStrFileName=new.txt\r\nLast=3\r\nAdded=a\r\n"
            "\r\n[Tail]\r\nx=y\r\n");
}

TEST(IniFileWrite, ReadOnlyFileOrDirectoryAndBadPathsAreRefused) {
  TempDir dir;
  const auto file = dir.Write("ro.ini", "[S]\nk=v\n");
  chmod(file.c_str(), 0444);
  EXPECT_FALSE(WritePrivateProfileString("S", "k", "w", file));
  EXPECT_EQ(Read(file, "S", "k"), "v");

  const std::string roDir = dir.File("ro");
  mkdir(roDir.c_str(), 0555);
  EXPECT_FALSE(WritePrivateProfileString("S", "k", "w", roDir + "/new.ini"));
  EXPECT_FALSE(WritePrivateProfileString("S", "k", "w", dir.File("missing/dir/x.ini")));
  EXPECT_FALSE(WritePrivateProfileString("S", "k", "w", ""));
  EXPECT_FALSE(WritePrivateProfileString("S", "k", "w", dir.Path()));  // a directory
}

TEST(IniFileByteOrderMark, IsSkippedOnReadAndKeptOnWrite) {
  TempDir dir;
  const auto file = dir.Write("bom.ini", "\xEF\xBB\xBF[Setup]\r\nRecStrFileName=French.txt\r\n");
  EXPECT_EQ(Read(file, "Setup", "RecStrFileName"), "French.txt");
  ASSERT_TRUE(WritePrivateProfileString("Setup", "RecStrFileName", "German.txt", file));
  // One section, still marked: no second, empty-named one before it.
  EXPECT_EQ(TempDir::Read(file), "\xEF\xBB\xBF[Setup]\r\nRecStrFileName=German.txt\r\n");
  const auto marked = dir.Write("only-mark.ini", "\xEF\xBB\xBF");
  ASSERT_TRUE(WritePrivateProfileString("S", "k", "v", marked));
  EXPECT_EQ(TempDir::Read(marked), "\xEF\xBB\xBF[S]\nk=v\n");
}

}  // namespace
}  // namespace vader::platform
