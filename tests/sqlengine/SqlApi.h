#pragma once
// The exports of the relational engine and the record manager, loaded with dlopen from the
// test's directory, and a sample database made by vsampledb for each test.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "common/TempDir.h"
#include "sqlengine/XqlApi.h"

namespace vader::testing {

inline std::string BinDir() {
  return std::filesystem::canonical("/proc/self/exe").parent_path().string();
}

struct Library {
  void* handle;
  explicit Library(const char* name) : handle(dlopen((BinDir() + "/" + name).c_str(), RTLD_NOW)) {}
  template <typename F>
  F Get(const char* symbol) const {
    return reinterpret_cast<F>(handle ? dlsym(handle, symbol) : nullptr);
  }
};

using BtrCall = int16_t (*)(uint16_t, void*, void*, uint32_t*, void*, uint8_t, int8_t);

struct Api {
  Library sql{"libwssql32.so"}, names{"libwdbnm32.so"}, btr{"libwbtrv32.so"};
#define X(name) decltype(&::name) name = sql.Get<decltype(&::name)>(#name);
  X(_xGetSessionID) X(_xPutSessionID) X(_XQLLogin) X(_XQLLogout) X(_XQLStop) X(_XQLCursor)
  X(_XQLCompile) X(XQLDescribe) X(XQLExec) X(_XQLFetch) X(_XQLFree) X(XQLSubst) X(XQLVersion)
  X(XQLStatus) X(xFetch) X(xInsert) X(xUpdate) X(xRemove) X(xReset) X(xJoin) X(_XQLCallback)
#undef X
#define X(name) decltype(&::name) name = names.Get<decltype(&::name)>(#name);
  X(SQLGetCountDatabaseNames) X(SQLGetDatabaseNames) X(SQLGetCountRemoteDatabaseNames)
#undef X
  BtrCall BTRCALL = btr.Get<BtrCall>("BTRCALL");

  static Api& Get() {
    static Api api;
    return api;
  }
};

// A sample database of its own and a login to it.
class SqlTest : public ::testing::Test {
 protected:
  Api& api = Api::Get();
  TempDir dir;
  std::string db = dir.File("db");

  void SetUp() override {
    ASSERT_NE(nullptr, api.sql.handle) << dlerror();
    ASSERT_NE(nullptr, api.BTRCALL);
    setenv("VADER_REGISTRY", dir.File("registry.reg").c_str(), 1);
    static TempDir sample;  // generated once, copied for each test
    static const int made = std::system((BinDir() + "/vsampledb --quiet " + sample.File("db")).c_str());
    ASSERT_EQ(0, made);
    std::filesystem::copy(sample.File("db"), db, std::filesystem::copy_options::recursive);
    ASSERT_EQ(0, api._XQLLogin("", "", db.c_str(), "", "", 1));
  }
  void TearDown() override { api._XQLStop(); }

  // A compiled cursor; `status` receives the compile status.
  int16_t Compile(const std::string& text, int16_t* status = nullptr) {
    int16_t cursor = -1;
    EXPECT_EQ(0, api._XQLCursor(&cursor));
    int16_t length = static_cast<int16_t>(text.size());
    const int16_t s = api._XQLCompile(cursor, &length, text.c_str());
    if (status) *status = s;
    else EXPECT_LE(s, 0) << text;
    return cursor;
  }
  // The status of compiling `text` (a cursor of its own).
  int16_t StatusOf(const std::string& text) {
    int16_t s = 0;
    Compile(text, &s);
    return s;
  }
  // One row with `option`: the status, and the row in `row`.
  int16_t Fetch(int16_t cursor, int16_t option, std::string& row, int32_t* got = nullptr) {
    row.assign(4096, '\0');
    uint16_t length = static_cast<uint16_t>(row.size());
    int32_t count = 1;
    const int16_t s = api._XQLFetch(cursor, option, &length, row.data(), &count, 0, 0);
    row.resize(count ? length : 0);
    if (got) *got = count;
    return s;
  }
  // All rows of a query as display texts, "a|b|c" each.
  std::vector<std::string> Rows(const std::string& text) {
    const int16_t c = Compile(text);
    std::vector<std::string> out;
    for (int16_t option = 1;; option = 2) {
      char buf[4096];
      uint16_t length = sizeof buf;
      int32_t count = 1;
      const int16_t s = api._XQLFetch(c, option, &length, buf, &count, 1, 0);
      EXPECT_LE(s, 0);
      if (count == 0) break;
      std::string row;
      for (size_t at = 2; at < length; at += std::strlen(buf + at) + 1)
        row += (at > 2 ? "|" : "") + std::string(buf + at);
      out.push_back(row);
    }
    api._XQLFree(c);
    return out;
  }
};

// A Btrieve client of its own on one file (the implicit client of BTRCALL).
struct BtrReader {
  Api& api = Api::Get();
  uint8_t pb[128] = {};
  explicit BtrReader(const std::string& path) {
    char key[255] = {};
    std::memcpy(key, path.data(), path.size());
    uint32_t len = 0;
    EXPECT_EQ(0, api.BTRCALL(0, pb, nullptr, &len, key, 255, 0));
  }
  ~BtrReader() {
    uint32_t len = 0;
    api.BTRCALL(1, pb, nullptr, &len, nullptr, 0, 0);
  }
  // Get Equal on key 0 with a 4-byte integer.
  int16_t ById(int32_t id, std::string& record) {
    record.assign(4096, '\0');
    uint32_t len = static_cast<uint32_t>(record.size());
    uint8_t key[255] = {};
    std::memcpy(key, &id, 4);
    const int16_t s = api.BTRCALL(5, pb, record.data(), &len, key, 255, 0);
    record.resize(s == 0 ? len : 0);
    return s;
  }
  int16_t Call(uint16_t op, std::string& record, int8_t keyNumber = 0) {
    uint32_t len = static_cast<uint32_t>(record.size());
    uint8_t key[255] = {};
    return api.BTRCALL(op, pb, record.data(), &len, key, 255, keyNumber);
  }
};

inline std::string Trimmed(const std::string& s, size_t at, size_t n) {
  std::string t = s.substr(at, n);
  while (!t.empty() && (t.back() == ' ' || t.back() == 0)) t.pop_back();
  return t;
}

template <typename T>
T At(const std::string& s, size_t at) {
  T v{};
  std::memcpy(&v, s.data() + at, sizeof v);
  return v;
}

}  // namespace vader::testing
