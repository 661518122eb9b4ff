#pragma once
// A Btrieve session on a fresh copy of the sample database (made by vsampledb) with the
// registry stand-in in the test's own directory, and small helpers to open and read tables.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "btrieve/BtrConst.h"
#include "btrieve/BtrDbase.h"
#include "btrieve/BtrIntrf.h"
#include "btrieve/BtrSess.h"
#include "btrieve/BtrTable.h"
#include "common/TempDir.h"
#include "platform/Registry.h"

namespace vader::testing {

// Every record of an opened list cursor, `size` bytes each.
inline std::vector<std::vector<uint8_t>> ReadAll(TBaseTable& list, size_t size) {
  std::vector<std::vector<uint8_t>> rows;
  try {
    for (;;) {
      std::vector<uint8_t> row(size);
      list.GetNextRecord(dbiNOLOCK, row.data(), nullptr);
      rows.push_back(row);
    }
  } catch (const EVaderBoundryError&) {
  }
  return rows;
}

class BtrDatabaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv(platform::kRegistryEnvironmentVariable, dir_.File("registry.reg").c_str(), 1);
    std::filesystem::copy(SampleTemplate(), sample_);
    session_.reset(NewSession("Test"));
  }
  void TearDown() override {
    session_.reset();
    unsetenv(platform::kRegistryEnvironmentVariable);
  }

  // A session in the test's session list, as the call layer keeps them.
  TBtrSession* NewSession(const char* name) {
    return CreateItem<TBtrSession>(nullptr, &sessions_, name, nullptr);
  }

  // The sample database, made by vsampledb once per test program; each test gets a copy.
  static const std::string& SampleTemplate() {
    static TempDir made;
    static const std::string dir = [] {
      const std::string bin = std::filesystem::canonical("/proc/self/exe").parent_path().string();
      const std::string command = bin + "/vsampledb --quiet " + made.File("sample");
      EXPECT_EQ(0, WEXITSTATUS(std::system(command.c_str()))) << command;
      return made.File("sample");
    }();
    return dir;
  }

  TBtrDatabase& OpenDatabase(const std::string& name, TBtrSession* session = nullptr) {
    TBaseDatabase* db = nullptr;
    (session ? session : session_.get())
        ->OpenDatabase(name.c_str(), nullptr, kOpenReadWrite, kShareShared, nullptr, 0, nullptr,
                       nullptr, db);
    return *static_cast<TBtrDatabase*>(db);
  }
  TBtrDatabase& Sample() { return OpenDatabase(sample_); }

  static TBtrTable& OpenTable(TBtrDatabase& db, const std::string& name,
                              const char* index = nullptr) {
    TBaseTable* cursor = nullptr;
    db.OpenTable(name.c_str(), nullptr, index, nullptr, 0, kOpenReadWrite, kShareShared, 0, false,
                 nullptr, cursor);
    return static_cast<TBtrTable&>(*cursor);
  }

  // The text of field `n` of the table's next record.
  static std::string NextText(TBtrTable& table, uint16_t n) {
    CursorProps props{};
    table.GetCursorProps(props);
    std::vector<uint8_t> record(props.RecBufSize);
    table.GetNextRecord(dbiNOLOCK, record.data(), nullptr);
    std::vector<char> text(table.FieldCache().GetItem(n).FieldLength() + 8);
    bool blank = false;
    table.GetField(n, record.data(), text.data(), blank);
    return text.data();
  }

  TempDir dir_;
  std::string sample_ = dir_.File("sample");
  TVaderCollection sessions_;
  std::unique_ptr<TBtrSession> session_;
};

}  // namespace vader::testing
