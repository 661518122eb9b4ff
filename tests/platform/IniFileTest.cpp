#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "common/TempDir.h"
#include "platform/IniFile.h"

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
      "; "
      "settings\r\n[setup]\r\nFirst=1\r\nRECSTRFILENAME=old.txt\r\nLast=3\r\n\r\n[Tail]\r\nx=y\r\n";
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

// Runs Body as a user without privileges: in a child process that gives up root when this one
// is root. Returns Body's result, or -1 (with Why) when no such user can be had.
int AsUnprivilegedUser(const std::function<bool()>& body, std::string& why) {
  if (geteuid() != 0) return body() ? 0 : 1;
  const passwd* nobody = getpwnam("nobody");
  if (nobody == nullptr || nobody->pw_uid == 0) {
    why = "there is no user 'nobody'";
    return -1;
  }
  const pid_t child = fork();
  if (child == 0) {
    if (setgid(nobody->pw_gid) != 0 || setuid(nobody->pw_uid) != 0) _exit(100);
    _exit(body() ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 100) {
    why = "cannot switch to the user 'nobody'";
    return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 2;
}

TEST(IniFileWrite, WritableFileInAFolderTheUserCannotWriteIsRewrittenInPlace) {
  TempDir dir;
  chmod(dir.Path().c_str(), 0711);
  const std::string folder = dir.File("installed");
  mkdir(folder.c_str(), 0755);
  const std::string file = folder + "/Language.INI";
  std::ofstream(file, std::ios::binary)
      << "[Setup]\nRecStrFileName=a-rather-long-old-name.txt\n[Tail]\nx=y\n";
  chmod(file.c_str(), 0666);
  chmod(folder.c_str(), 0555);
  struct stat before {};
  stat(file.c_str(), &before);
  std::string why;
  const int result = AsUnprivilegedUser(
      [&] {
        return WritePrivateProfileString("Setup", "RecStrFileName", "new.txt", file) &&
               !WritePrivateProfileString("Setup", "k", "v", folder + "/Other.INI");
      },
      why);
  if (result < 0) GTEST_SKIP() << "not tested as an unprivileged user: " << why;
  EXPECT_EQ(result, 0);
  EXPECT_EQ(TempDir::Read(file), "[Setup]\nRecStrFileName=new.txt\n[Tail]\nx=y\n");
  struct stat after {};
  stat(file.c_str(), &after);
  EXPECT_EQ(after.st_ino, before.st_ino);  // the same file, rewritten
  EXPECT_EQ(after.st_mode & 07777, 0666u);
  EXPECT_FALSE(std::filesystem::exists(file + ".tmp~"));
  chmod(folder.c_str(), 0755);
}

}  // namespace
}  // namespace vader::platform
