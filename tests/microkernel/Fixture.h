#pragma once
// Shared fixture: a temporary directory and a clean library state for every test.

#include <gtest/gtest.h>

#include <unistd.h>

#include <string>

#include "BtrieveApi.h"
#include "TestServer.h"

namespace vader::microkernel::test {

enum Op : uint16_t {
  kOpen = 0,
  kClose = 1,
  kInsert = 2,
  kUpdate = 3,
  kDelete = 4,
  kGetEqual = 5,
  kGetNext = 6,
  kGetPrevious = 7,
  kGetGreater = 8,
  kGetGreaterEqual = 9,
  kGetLess = 10,
  kGetLessEqual = 11,
  kGetFirst = 12,
  kGetLast = 13,
  kCreate = 14,
  kStat = 15,
  kSetDir = 17,
  kGetDir = 18,
  kBegin = 19,
  kEnd = 20,
  kAbort = 21,
  kGetPosition = 22,
  kGetDirect = 23,
  kStepNext = 24,
  kStop = 25,
  kVersion = 26,
  kUnlock = 27,
  kReset = 28,
  kSetOwner = 29,
  kClearOwner = 30,
  kCreateIndex = 31,
  kDropIndex = 32,
  kStepFirst = 33,
  kStepLast = 34,
  kStepPrevious = 35,
  kGetByPercentage = 44,
  kFindPercentage = 45,
  kKeyBias = 50,
};

enum KeyFlags : uint16_t {
  kDup = 0x01,
  kMod = 0x02,
  kNullAll = 0x08,
  kAcsFlag = 0x20,
  kDesc = 0x40,
  kNullAny = 0x200,
  kNoCase = 0x400,
};

enum Types : uint8_t {
  tString = 0,
  tInteger = 1,
  tFloat = 2,
  tDate = 3,
  tTime = 4,
  tDecimal = 5,
  tLogical = 7,
  tNumeric = 8,
  tBFloat = 9,
  tLString = 10,
  tZString = 11,
  tUnsigned = 14,
  tAutoInc = 15,
  tNumericSts = 17,
  tCurrency = 19,
  tTimestamp = 20,
  tWString = 25,
  tNullIndicator = 255,
};

// A record of the people file (see ApiTest::PeopleLayout).
inline std::string PersonRecord(int32_t id, const std::string& name, int32_t amount) {
  std::string r = Le(static_cast<uint32_t>(id), 4) + name;
  r.resize(24, ' ');
  return r + Le(static_cast<uint32_t>(amount), 4) + std::string(4, '\0');
}

// One write to a people file through `f`: 'i' inserts the person, 'u' updates and 'd' deletes
// the record with that id.
inline int16_t WritePerson(File& f, char verb, int32_t id, int32_t amount) {
  const std::string rec = PersonRecord(id, "w" + std::to_string(id), amount);
  if (verb == 'i') return f.Insert(rec);
  if (int16_t s = f.Get(kGetEqual, 0, Le(static_cast<uint32_t>(id), 4)); s != 0) return s;
  return verb == 'u' ? f.Update(rec) : f.Delete();
}

class ApiTest : public ::testing::Test {
 protected:
  // Files live in a temporary directory, or below a fresh prefix on the test server when the
  // suite runs against the server backend.
  void SetUp() override {
    if (!ServerBackend()) {
      dir_ = TempDir();
      return;
    }
    TestServer& server = TestServer::Shared();
    if (!server.Running()) GTEST_SKIP() << "no PostgreSQL server for the tests: " << server.Reason();
    static int run = 0;
    dir_ = server.Location("t" + std::to_string(::getpid()) + "_" + std::to_string(++run));
  }
  void TearDown() override {
    Api::Get().stop();
    RemoveTree(dir_);
  }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  // The people file: id (INTEGER 4 at 1, unique), name (STRING 20 at 5, duplicates,
  // modifiable), amount (INTEGER 4 at 25), 4 spare bytes.
  static std::vector<uint8_t> PeopleLayout(uint16_t fileFlags = 0) {
    return Layout(32, 4096, fileFlags)
        .Key({{1, 4, 0, tInteger}})
        .Key({{5, 20, kDup | kMod, tString}})
        .Bytes();
  }
  static std::string Person(int32_t id, const std::string& name, int32_t amount = 0) {
    return PersonRecord(id, name, amount);
  }
  static int32_t IdOf(const std::string& record) {
    return static_cast<int32_t>(FromLe(record, 0, 4));
  }
  static std::string NameKey(const std::string& name) {
    std::string k = name;
    k.resize(20, ' ');
    return k;
  }
  // Opens a new people file holding the given ids, named "p<id>" (lower-case letters).
  void MakePeople(File& f, const std::vector<int32_t>& ids, const std::string& file = "people") {
    ASSERT_EQ(0, Create(Path(file), PeopleLayout()));
    ASSERT_EQ(0, f.Open(Path(file)));
    for (int32_t id : ids) ASSERT_EQ(0, f.Insert(Person(id, "p" + std::to_string(id)))) << id;
  }
  // Ids in the order a walk with `first` then `next` on key `keyNumber` visits them.
  std::vector<int32_t> Walk(File& f, int8_t keyNumber, uint16_t first = kGetFirst,
                            uint16_t next = kGetNext) {
    std::vector<int32_t> ids;
    for (int16_t s = f.Get(first, keyNumber); s == 0; s = f.Get(next, keyNumber))
      ids.push_back(IdOf(f.record));
    return ids;
  }

  std::string dir_;
};

}  // namespace vader::microkernel::test
