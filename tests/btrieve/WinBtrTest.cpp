// TWinBtr and the loader against a recording double of the client library: which operation
// codes, key numbers and lengths reach the library, and how the object reacts to its statuses.

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "BtrTestSupport.h"
#include "btrieve/BtrConst.h"
#include "btrieve/BtrErrs.h"
#include "btrieve/BtrIntrf.h"
#include "btrieve/BtrWObj.h"
#include "platform/DynamicLibrary.h"

namespace vader {
namespace {

using testing::Double;
using testing::StatusOf;

// The recording library's controls, reached through a handle of the test's own so that its
// state outlives the loader's unloading.
class FakeLibrary {
 public:
  FakeLibrary() : module_(platform::LoadLibrary(Double("libfakebtrv.so"))) {
    Reset = Get<void (*)()>("FakeReset");
    Configure = Get<void (*)(uint16_t, uint8_t, uint32_t)>("FakeConfigure");
    Fail = Get<void (*)(uint16_t, int16_t)>("FakeFail");
    SetStat = Get<void (*)(const uint8_t*, uint32_t)>("FakeSetStat");
    InitCount = Get<int (*)()>("FakeInitCount");
    StopCount = Get<int (*)()>("FakeStopCount");
    OpCount = Get<int (*)()>("FakeOpCount");
    Op = Get<uint16_t (*)(int)>("FakeOp");
    KeyNumber = Get<int8_t (*)(int)>("FakeKeyNumber");
  }
  ~FakeLibrary() { platform::FreeLibrary(module_); }

  std::vector<uint16_t> Ops() const {
    std::vector<uint16_t> ops;
    for (int i = 0; i < OpCount(); ++i) ops.push_back(Op(i));
    return ops;
  }

  void (*Reset)();
  void (*Configure)(uint16_t recordLength, uint8_t keyCount, uint32_t returnLength);
  void (*Fail)(uint16_t op, int16_t status);
  void (*SetStat)(const uint8_t* image, uint32_t length);
  int (*InitCount)();
  int (*StopCount)();
  int (*OpCount)();
  uint16_t (*Op)(int);
  int8_t (*KeyNumber)(int);

 private:
  template <class Fn>
  Fn Get(const char* name) {
    return reinterpret_cast<Fn>(platform::GetProcAddress(module_, name));
  }
  platform::HMODULE module_;
};

TEST(BtrieveLoader, MissingLibraryLeavesNothingLoaded) {
  EXPECT_EQ(UnloadBtrieveLibrary(), 0);
  EXPECT_EQ(LoadBtrieveLibrary("", Double("libnosuchbtrv.so")), B_RECORD_MANAGER_INACTIVE);
  EXPECT_FALSE(BtrieveLibraryLoaded());
  EXPECT_LE(BtrieveLibraryHandle(), BTRIEVE_NOT_LOADED);
  EXPECT_EQ(UnloadBtrieveLibrary(), 0);
  EXPECT_EQ(BtrieveLibraryHandle(), BTRIEVE_NOT_LOADED);
  uint8_t position[128] = {};
  uint32_t length = 0;
  EXPECT_EQ(BtrCall(B_STAT, position, nullptr, &length, nullptr, 0, 0), B_RECORD_MANAGER_INACTIVE);
}

TEST(BtrieveLoader, LibraryWithoutAnExportIsNotLoaded) {
  EXPECT_EQ(LoadBtrieveLibrary("", Double("libpartialbtrv.so")), B_RECORD_MANAGER_INACTIVE);
  EXPECT_FALSE(BtrieveLibraryLoaded());
  uint8_t position[128] = {};
  uint32_t length = 0;
  EXPECT_EQ(BtrCallId(B_STAT, position, nullptr, &length, nullptr, 0, 0, nullptr),
            B_RECORD_MANAGER_INACTIVE);
}

TEST(BtrieveLoader, StartsTheRequesterOnEveryRequest) {
  FakeLibrary fake;
  fake.Reset();
  EXPECT_EQ(LoadBtrieveLibrary("", Double("libfakebtrv.so")), 0);
  EXPECT_TRUE(BtrieveLibraryLoaded());
  EXPECT_GT(BtrieveLibraryHandle(), BTRIEVE_NOT_LOADED);
  // Already loaded: the name is not looked at again, the requester is started again.
  EXPECT_EQ(LoadBtrieveLibrary("", Double("libnosuchbtrv.so")), 0);
  EXPECT_EQ(fake.InitCount(), 2);
  EXPECT_EQ(UnloadBtrieveLibrary(), 0);
  EXPECT_EQ(fake.StopCount(), 1);
  EXPECT_EQ(BtrieveLibraryHandle(), BTRIEVE_NOT_LOADED);
  EXPECT_EQ(UnloadBtrieveLibrary(), 0);
  EXPECT_EQ(fake.StopCount(), 1);
}

class WinBtrMechanics : public ::testing::Test {
 protected:
  void SetUp() override {
    fake_.Reset();
    ASSERT_EQ(LoadBtrieveLibrary("", Double("libfakebtrv.so")), 0);
  }
  void TearDown() override { UnloadBtrieveLibrary(); }

  // Opens a file of `recordLength` bytes and `keyCount` keys; forgets the operations so far.
  void Open(TWinBtr& btr, uint16_t recordLength = 16, uint8_t keyCount = 1) {
    fake_.Configure(recordLength, keyCount, 0xFFFFFFFF);
    btr.Open("/data/file.btr", "", OpenNormal);
    fake_.Reset();
    fake_.Configure(recordLength, keyCount, 0xFFFFFFFF);
  }

  FakeLibrary fake_;
};

TEST_F(WinBtrMechanics, OpenSizesTheBufferFromStat) {
  TWinBtr btr;
  fake_.Configure(40, 2, 0xFFFFFFFF);
  btr.Open("/data/file.btr");
  EXPECT_TRUE(btr.IsOpen());
  EXPECT_EQ(btr.BufferSize(), 40);
  EXPECT_EQ(btr.KeyNumber(), 0);
  EXPECT_FALSE(btr.NoKeys());
  EXPECT_EQ(fake_.Ops(), (std::vector<uint16_t>{B_OPEN, B_STAT, B_STAT}));
  EXPECT_EQ(fake_.KeyNumber(1), kNoKeyNumber);  // Stat asks for the extended layout
}

TEST_F(WinBtrMechanics, DirectionOperationsFollowTheKeys) {
  TWinBtr keyed, unkeyed;
  Open(keyed, 16, 1);
  keyed.GetFirst();
  keyed.GetNext();
  keyed.GetPrev();
  keyed.GetLast();
  EXPECT_EQ(fake_.Ops(), (std::vector<uint16_t>{12, 6, 7, 13}));
  Open(unkeyed, 16, 0);
  EXPECT_TRUE(unkeyed.NoKeys());
  unkeyed.GetFirst();
  unkeyed.GetNext();
  unkeyed.GetPrev();
  unkeyed.GetLast();
  EXPECT_EQ(fake_.Ops(), (std::vector<uint16_t>{33, 24, 35, 34}));
}

TEST_F(WinBtrMechanics, LockBiasAppliesToOneCallOnly) {
  TWinBtr btr;
  Open(btr);
  btr.LockNext();
  btr.GetFirst();
  EXPECT_EQ(btr.LockBias(), 0);
  EXPECT_EQ(btr.LockedPosition(), 1234);
  btr.GetNext();
  btr.Update();
  EXPECT_EQ(btr.LockedPosition(), 0);
  EXPECT_EQ(fake_.Ops(), (std::vector<uint16_t>{212, B_GET_POSITION, 6, 3, B_UNLOCK}));
}

TEST_F(WinBtrMechanics, FailedCallClearsTheBiasAndRaises) {
  TWinBtr btr;
  Open(btr);
  btr.LockNext();
  fake_.Fail(206, 84);
  EXPECT_EQ(StatusOf([&] { btr.GetNext(); }), 84);
  EXPECT_EQ(btr.LockBias(), 0);
  EXPECT_EQ(btr.LockedPosition(), 0);
  fake_.Fail(6, 9);
  EXPECT_THROW(btr.GetNext(), EVaderEOFError);
  fake_.Fail(5, 4);
  try {
    uint8_t key[4] = {};
    btr.GetEqual(key, 4, 0);
    FAIL();
  } catch (const EBtrieveEngineError& e) {
    EXPECT_EQ(e.Code(), 0x2206);
  }
}

TEST_F(WinBtrMechanics, BorrowedBufferServesOneCall) {
  TWinBtr btr;
  Open(btr, 16);
  uint8_t own[16];
  std::memset(own, 0x22, sizeof own);
  std::memset(btr.Buffer(), 0x11, 16);
  fake_.Configure(16, 1, 4);
  btr.UseDataBuffer(own);
  btr.GetFirst();
  EXPECT_EQ(own[0], 0xAB);
  EXPECT_EQ(own[4], 0);  // zero fill in the buffer that was read
  EXPECT_EQ(btr.Buffer()[0], 0x11);
  btr.GetNext();
  EXPECT_EQ(btr.Buffer()[0], 0xAB);
  EXPECT_EQ(own[0], 0xAB);
}

TEST_F(WinBtrMechanics, WriteLengthIsTakenOnceAndBounded) {
  TWinBtr btr;
  Open(btr, 16);
  btr.SetDataLength(12);
  btr.Insert();
  EXPECT_EQ(btr.CallLength(), 12);
  btr.Insert();
  EXPECT_EQ(btr.CallLength(), 16);
  btr.SetDataLength(17);  // longer than the object's buffer
  EXPECT_EQ(StatusOf([&] { btr.Insert(); }), B_DATALENGTH_ERROR);
  EXPECT_EQ(fake_.OpCount(), 2);
  uint8_t record[24] = {};
  btr.SetDataLength(24);
  btr.UseDataBuffer(record);
  btr.Update();
  EXPECT_EQ(btr.CallLength(), 24);
}

TEST_F(WinBtrMechanics, ShortBufferStatusAcceptedOnRequest) {
  TWinBtr btr;
  Open(btr);
  fake_.Fail(6, B_DATALENGTH_ERROR);
  EXPECT_EQ(StatusOf([&] { btr.GetNext(); }), B_DATALENGTH_ERROR);
  btr.SetAcceptShortBuffer(true);
  EXPECT_EQ(StatusOf([&] { btr.GetNext(); }), 0);
  EXPECT_EQ(btr.GetStatus(), 0);
}

TEST_F(WinBtrMechanics, ArgumentChecks) {
  TWinBtr btr;
  Open(btr);
  uint8_t key[300] = {};
  EXPECT_EQ(StatusOf([&] { btr.GetByKey(B_GET_GE, nullptr, 1, 4); }), B_NULL_KEYPATH);
  EXPECT_EQ(StatusOf([&] { btr.GetByKey(B_GET_GE, key, 1, 257); }), B_INVALID_KEYLENGTH);
  EXPECT_EQ(StatusOf([&] { btr.Open(std::string(300, 'f')); }), B_FILENAME_BAD);
  EXPECT_EQ(fake_.OpCount(), 1);  // only the Close before the refused Open
}

TEST_F(WinBtrMechanics, StatKeepsTheKeyNumber) {
  TWinBtr btr;
  Open(btr);
  btr.SetKeyNumber(3);
  EXPECT_EQ(btr.GetRecordCount(), 3);
  EXPECT_EQ(btr.KeyNumber(), 3);
  EXPECT_EQ(fake_.KeyNumber(0), kNoKeyNumber);
}

// A Stat image of three keys: key 0 of two segments, key 1 on the alternate collating sequence
// number 1, key 2 plain; the two sequence definitions follow, filled with 'A' and 'B'.
std::vector<uint8_t> StatWithAcs() {
  std::vector<uint8_t> image(16 + 4 * 16 + 2 * kAcsDefinitionSize);
  StatFileSpec file{};
  file.RecordLength = 16;
  file.KeyCount = 3;
  std::memcpy(image.data(), &file, sizeof file);
  const uint16_t flags[] = {kKeyFlagSegmented, 0, kKeyFlagAltCollation, 0};
  for (int i = 0; i < 4; ++i) {
    KeySegmentSpec segment{};
    segment.Flags = flags[i];
    segment.AcsNumber = i == 2 ? 1 : 0;
    std::memcpy(image.data() + 16 + 16 * i, &segment, sizeof segment);
  }
  std::memset(image.data() + 80, 'A', kAcsDefinitionSize);
  std::memset(image.data() + 80 + kAcsDefinitionSize, 'B', kAcsDefinitionSize);
  return image;
}

TEST_F(WinBtrMechanics, AlternateCollatingSequenceOfTheCurrentKey) {
  const std::vector<uint8_t> image = StatWithAcs();
  fake_.SetStat(image.data(), static_cast<uint32_t>(image.size()));
  TWinBtr btr;
  btr.Open("/data/file.btr");
  EXPECT_FALSE(btr.KeyUsesACS());
  btr.SetKeyNumber(1);
  EXPECT_TRUE(btr.KeyUsesACS());
  uint8_t acs[kAcsDefinitionSize] = {};
  btr.GetACS(acs);
  EXPECT_EQ(acs[0], 'B');
  EXPECT_EQ(acs[kAcsDefinitionSize - 1], 'B');
  btr.SetKeyNumber(3);  // no such key
  EXPECT_FALSE(btr.KeyUsesACS());
  EXPECT_EQ(StatusOf([&] { btr.GetACS(acs); }), B_INVALID_ALT_SEQUENCE_DEF);
}

TEST_F(WinBtrMechanics, FindPercentageFailsQuietly) {
  TWinBtr btr;
  Open(btr);
  btr.SetKeyNumber(2);
  fake_.Fail(B_GET_PERCENT, 8);
  EXPECT_EQ(btr.FindPercentage(false), 0);
  EXPECT_EQ(btr.KeyNumber(), 2);
  EXPECT_EQ(fake_.Ops(), (std::vector<uint16_t>{B_GET_POSITION, B_GET_PERCENT}));
  EXPECT_EQ(fake_.KeyNumber(1), kNoKeyNumber);
}

TEST_F(WinBtrMechanics, IndexOperations) {
  TWinBtr btr;
  Open(btr);
  KeySegmentSpec segment{};
  btr.CreateIndex(&segment, 1, 3);
  EXPECT_EQ(fake_.Op(0), B_BUILD_INDEX);
  EXPECT_EQ(static_cast<uint8_t>(fake_.KeyNumber(0)), 0x83);
  btr.GetByPercentage(false, 5000);
  EXPECT_EQ(fake_.KeyNumber(2), kNoKeyNumber);
  EXPECT_EQ(btr.KeyNumber(), static_cast<int8_t>(0x83));
}

TEST_F(WinBtrMechanics, CloseTwiceAndStopClient) {
  TWinBtr btr;
  Open(btr);
  btr.Close();
  EXPECT_EQ(btr.BufferSize(), 0);
  EXPECT_EQ(btr.Buffer(), nullptr);
  EXPECT_EQ(StatusOf([&] { btr.Close(); }), B_FILE_NOT_OPEN);
  fake_.Fail(B_STOP, 3);
  btr.StopClient();  // never raises
  EXPECT_EQ(btr.GetStatus(), 3);
}

TEST_F(WinBtrMechanics, CallsWithoutALibraryReportAnInactiveRequester) {
  UnloadBtrieveLibrary();
  TWinBtr btr;
  try {
    btr.Open("/data/file.btr");
    FAIL();
  } catch (const EBtrieveEngineError& e) {
    EXPECT_EQ(e.NativeError(), B_RECORD_MANAGER_INACTIVE);
    EXPECT_EQ(e.Code(), DBIERR_NOTINITIALIZED);
    EXPECT_EQ(e.ExtraText(), "/data/file.btr");
  }
  EXPECT_FALSE(btr.IsOpen());
}

}  // namespace
}  // namespace vader
