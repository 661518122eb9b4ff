#pragma once
// Sessions of the Scalable SQL driver with the registry stand-in in the test's own directory,
// over either the doubles of the client libraries (tests/sql/doubles) or the real ones.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "btrieve/BtrSess.h"
#include "common/TempDir.h"
#include "platform/DynamicLibrary.h"
#include "platform/Registry.h"
#include "sql/SQLDbase.h"
#include "sql/SqlSess.h"
#include "sql/Sqlapi.h"

namespace vader::testing {

inline std::string DoubleFile(const char* name) {
  return std::string(VADER_TEST_DOUBLES) + "/lib" + name + ".so";
}

class SqlFixture : public ::testing::Test {
 protected:
  // `sqlLibrary`/`namesLibrary`: files to load, empty for the product's libraries.
  void Start(const std::string& sqlLibrary, const std::string& namesLibrary) {
    setenv(platform::kRegistryEnvironmentVariable, dir_.File("registry.reg").c_str(), 1);
    UnloadSQLLibrary();
    ClearSQLLoaded();
    ResetSQLVersionCheck();
    BtrSettings().IgnoreSQLDatabases = false;
    SetSQLLibraryFiles(sqlLibrary, namesLibrary);
    session_ = CreateItem<TBtrSqlSession>(nullptr, &sessions_, "Test", nullptr);
  }
  void TearDown() override {
    sessions_.FreeAll();
    UnloadSQLLibrary();
    SetSQLLibraryFiles("", "");
    unsetenv(platform::kRegistryEnvironmentVariable);
  }

  TBtrSqlDatabase& OpenDatabase(const std::string& dir, const char* user = nullptr) {
    DatabaseDesc desc{};
    std::snprintf(desc.DbName, sizeof desc.DbName, "%s", "PATH");
    std::snprintf(desc.PhysicalPath, sizeof desc.PhysicalPath, "%s/", dir.c_str());
    std::snprintf(desc.DbType, sizeof desc.DbType, "%s", "SQL");
    TBaseDatabase* db = nullptr;
    session_->CreateDatabase(desc, kOpenReadWrite, kShareShared, nullptr, 0, nullptr, nullptr, db);
    auto* sql = static_cast<TBtrSqlDatabase*>(db);
    if (user != nullptr) sql->SetParam("User", user);
    return *sql;
  }

  // The sample database, made by vsampledb once per test program; each call gets a copy.
  std::string SampleCopy() {
    static TempDir made;
    static const std::string dir = [] {
      const std::string bin = std::filesystem::canonical("/proc/self/exe").parent_path().string();
      const std::string command = bin + "/vsampledb --quiet " + made.File("sample");
      EXPECT_EQ(0, WEXITSTATUS(std::system(command.c_str()))) << command;
      return made.File("sample");
    }();
    const std::string copy = dir_.File("sample" + std::to_string(++copies_));
    std::filesystem::copy(dir, copy);
    return copy;
  }

  TempDir dir_;
  TVaderCollection sessions_;
  TBtrSqlSession* session_ = nullptr;
  int copies_ = 0;
};

}  // namespace vader::testing
