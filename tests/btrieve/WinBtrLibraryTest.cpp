// TWinBtr against the real record manager, loaded as the product loads it: by the name
// "wbtrv32.dll", which resolves to libwbtrv32.so beside the test program.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "BtrTestSupport.h"
#include "btrieve/BtrConst.h"
#include "btrieve/BtrErrs.h"
#include "btrieve/BtrIntrf.h"
#include "btrieve/BtrWObj.h"
#include "common/TempDir.h"
#include "platform/DynamicLibrary.h"
#include "platform/ProcessInfo.h"

namespace vader {
namespace {

using testing::StatusOf;

constexpr uint16_t kRecordLength = 32;
constexpr uint16_t B_SET_OWNER = 29;

// A 16-byte client identifier; `thread` tells clients apart.
std::array<uint8_t, kClientIdSize> ClientId(uint16_t thread) {
  std::array<uint8_t, kClientIdSize> id{};
  id[12] = 'V';
  id[13] = 'T';
  std::memcpy(id.data() + 14, &thread, 2);
  return id;
}

class RecordManager : public ::testing::Test {
 protected:
  void SetUp() override {
    // The record manager keeps registries for the life of the process; a reference of the
    // test program's own keeps it mapped between tests, so that they stay reachable.
    static const platform::HMODULE resident = platform::LoadLibrary(kDefaultBtrieveLibrary);
    ASSERT_NE(resident, nullptr);
    ASSERT_EQ(LoadBtrieveLibrary("", kDefaultBtrieveLibrary), 0)
        << "the record manager was not found as " << platform::ExecutableDirectory()
        << "libwbtrv32.so";
  }
  void TearDown() override { UnloadBtrieveLibrary(); }

  // Creates a file of 32-byte records: an INTEGER id at offset 0 (unique) when keyed.
  std::string Create(const std::string& name, bool keyed) {
    uint8_t layout[32] = {};
    StatFileSpec file{};
    file.RecordLength = kRecordLength;
    file.PageSize = 4096;
    file.KeyCount = keyed ? 1 : 0;
    std::memcpy(layout, &file, sizeof file);
    KeySegmentSpec id{};
    id.Position = 1;
    id.Length = 4;
    id.Flags = 0x0100;  // extended type
    id.ExtendedType = BT_INTEGER;
    std::memcpy(layout + 16, &id, sizeof id);
    std::string path = dir_.File(name);
    Raw(B_CREATE, layout, keyed ? 32 : 16, path, 0);
    return path;
  }

  // One call on a position block of the test's own.
  int16_t Raw(uint16_t op, void* data, uint32_t length, std::string key, int8_t keyNumber) {
    key.resize(256, '\0');
    return BtrCall(op, rawPosition_, data, &length, key.data(), kFullKeyLength, keyNumber);
  }

  void Insert(TWinBtr& btr, int32_t id, const char* text) {
    std::memset(btr.Buffer(), 0, kRecordLength);
    std::memcpy(btr.Buffer(), &id, 4);
    std::strncpy(reinterpret_cast<char*>(btr.Buffer()) + 4, text, kRecordLength - 5);
    btr.Insert();
  }

  static int32_t IdOf(const TWinBtr& btr) {
    int32_t id = 0;
    std::memcpy(&id, btr.Buffer(), 4);
    return id;
  }

  // Ids visited by `first` then `next` until the end of the file.
  static std::vector<int32_t> Walk(TWinBtr& btr, void (TWinBtr::*first)(),
                                   void (TWinBtr::*next)()) {
    std::vector<int32_t> ids;
    try {
      for ((btr.*first)();; (btr.*next)()) ids.push_back(IdOf(btr));
    } catch (const EVaderEOFError&) {
    }
    return ids;
  }

  testing::TempDir dir_;
  uint8_t rawPosition_[kPositionBlockSize] = {};
};

TEST_F(RecordManager, OpenWithAndWithoutOwnerName) {
  const std::string path = Create("owned.btr", true);
  ASSERT_EQ(Raw(B_OPEN, nullptr, 0, path, OpenNormal), 0);
  char owner[] = "SECRET";
  ASSERT_EQ(Raw(B_SET_OWNER, owner, sizeof owner, owner, 0), 0);
  Raw(B_CLOSE, nullptr, 0, "", 0);

  TWinBtr btr;
  EXPECT_EQ(StatusOf([&] { btr.Open(path); }), 51);
  EXPECT_FALSE(btr.IsOpen());
  btr.Open(path, "SECRET");
  EXPECT_TRUE(btr.IsOpen());
  EXPECT_EQ(btr.BufferSize(), kRecordLength);
  EXPECT_EQ(btr.GetRecordLength(), kRecordLength);
  EXPECT_EQ(btr.GetPageSize(), 4096);
}

TEST_F(RecordManager, MissingFileNamesItInTheMessage) {
  TWinBtr btr;
  const std::string path = dir_.File("missing.btr");
  try {
    btr.Open(path);
    FAIL();
  } catch (const EBtrieveEngineError& e) {
    EXPECT_EQ(e.NativeError(), 12);
    const std::string message = e.GetNativeMessage();
    EXPECT_EQ(message.substr(message.rfind("\r\n") + 2), "Key=[" + path + "]");
  }
}

TEST_F(RecordManager, FileWithoutKeysIsWalkedPhysically) {
  const std::string path = Create("plain.btr", false);
  TWinBtr btr;
  btr.Open(path);
  EXPECT_TRUE(btr.NoKeys());
  for (int32_t id : {3, 1, 2}) Insert(btr, id, "plain");
  EXPECT_EQ(Walk(btr, &TWinBtr::GetFirst, &TWinBtr::GetNext), (std::vector<int32_t>{3, 1, 2}));
  EXPECT_EQ(Walk(btr, &TWinBtr::GetLast, &TWinBtr::GetPrev), (std::vector<int32_t>{2, 1, 3}));
  EXPECT_EQ(btr.RecordCount(), 3);
  EXPECT_EQ(btr.KeyCount(), 0);
}

TEST_F(RecordManager, KeyedFileIsWalkedInKeyOrder) {
  const std::string path = Create("keyed.btr", true);
  TWinBtr btr;
  btr.Open(path);
  EXPECT_FALSE(btr.NoKeys());
  for (int32_t id : {3, 1, 2}) Insert(btr, id, "keyed");
  EXPECT_EQ(Walk(btr, &TWinBtr::GetFirst, &TWinBtr::GetNext), (std::vector<int32_t>{1, 2, 3}));
  EXPECT_EQ(Walk(btr, &TWinBtr::GetLast, &TWinBtr::GetPrev), (std::vector<int32_t>{3, 2, 1}));
  const int32_t wanted = 2;
  btr.GetEqual(&wanted, 4, 0);
  EXPECT_EQ(IdOf(btr), 2);
  const int32_t absent = 7;
  try {
    btr.GetEqual(&absent, 4, 0);
    FAIL();
  } catch (const EBtrieveEngineError& e) {
    EXPECT_EQ(e.Code(), 0x2206);
    EXPECT_EQ(e.GetNativeMessage(),
              "Btrieve Status 4 - The application cannot find the key value.");
  }
}

TEST_F(RecordManager, LockBiasLocksExactlyOneRecordUntilUpdate) {
  const std::string path = Create("locks.btr", true);
  const auto idA = ClientId(1), idB = ClientId(2);
  TWinBtr a(idA.data()), b(idB.data());
  a.Open(path);
  b.Open(path);
  for (int32_t id : {1, 2}) Insert(a, id, "lock");

  a.LockNext();
  a.GetFirst();  // locks record 1
  EXPECT_EQ(a.LockBias(), 0);
  EXPECT_NE(a.LockedPosition(), 0);
  a.GetNext();  // no lock on record 2

  b.LockNext();
  EXPECT_EQ(StatusOf([&] { b.GetFirst(); }), 84);
  EXPECT_EQ(b.LockBias(), 0);
  b.LockNext();
  b.GetLast();  // record 2 is free
  EXPECT_EQ(IdOf(b), 2);
  b.Unlock();

  const int32_t one = 1;
  a.GetEqual(&one, 4, 0);
  a.Update();  // releases the lock
  EXPECT_EQ(a.LockedPosition(), 0);
  b.LockNext();
  b.GetFirst();
  EXPECT_EQ(IdOf(b), 1);
}

TEST_F(RecordManager, ShortReadLeavesZerosBehind) {
  const std::string path = Create("short.btr", true);
  TWinBtr btr;
  btr.Open(path);
  Insert(btr, 1, "abc");
  btr.SetBufferSize(64);
  std::memset(btr.Buffer(), 0xFF, 64);
  btr.GetFirst();
  EXPECT_EQ(btr.CallLength(), kRecordLength);
  EXPECT_EQ(IdOf(btr), 1);
  for (int i = kRecordLength; i < 64; ++i) ASSERT_EQ(btr.Buffer()[i], 0) << i;
}

TEST_F(RecordManager, FindPercentage) {
  const std::string path = Create("percent.btr", true);
  TWinBtr btr;
  btr.Open(path);
  btr.SetKeyNumber(0);
  EXPECT_EQ(btr.FindPercentage(true), 0);  // no current record: fails quietly
  EXPECT_EQ(btr.KeyNumber(), 0);
  for (int32_t id = 1; id <= 5; ++id) Insert(btr, id, "pct");
  btr.GetLast();
  const int32_t position = btr.GetPosition();
  EXPECT_GT(btr.FindPercentage(false), 5000);
  EXPECT_EQ(btr.KeyNumber(), 0);
  EXPECT_EQ(btr.GetPosition(), position);
  EXPECT_EQ(IdOf(btr), 5);
}

TEST_F(RecordManager, CloseTwiceAndCloneByStat) {
  const std::string path = Create("close.btr", true);
  TWinBtr btr;
  btr.Open(path);
  btr.CreateLike(dir_.File("clone.btr"));
  btr.Close();
  EXPECT_EQ(btr.GetRecordLength(), 0);
  EXPECT_EQ(StatusOf([&] { btr.Close(); }), B_FILE_NOT_OPEN);
  btr.Open(dir_.File("clone.btr"));
  EXPECT_EQ(btr.GetKeyCount(), 1);
  EXPECT_EQ(btr.GetRecordCount(), 0);
}

TEST_F(RecordManager, TransactionAbortUndoesTheInsert) {
  const std::string path = Create("tx.btr", true);
  TWinBtr btr;
  btr.Open(path);
  btr.BeginTransaction(false);
  Insert(btr, 1, "tx");
  btr.AbortTransaction();
  EXPECT_EQ(btr.RecordCount(), 0);
}

}  // namespace
}  // namespace vader
