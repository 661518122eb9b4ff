// Call sequences of the Btrieve client binding: locked read, Update then Unlock of the kept
// position, Find Percentage followed by Get Direct to restore the position, and Stop with the
// binding's scratch buffers.

#include "Fixture.h"

namespace vader::microkernel::test {
namespace {

class DriverFlowTest : public ApiTest {
 protected:
  ClientId session_{7};
};

TEST_F(DriverFlowTest, LockedReadUpdateThenUnlock) {
  File f(&session_), other;
  MakePeople(f, {1, 2, 3});
  ASSERT_EQ(0, other.Open(Path("people")));
  ASSERT_EQ(0, f.Get(kGetEqual + 200, 0, Le(2, 4)));
  uint32_t locked = 0;
  ASSERT_EQ(0, f.Position(locked));
  ASSERT_EQ(0, f.Update(Person(2, "edited")));
  for (int8_t keyNumber : {0, -1}) {  // the binding unlocks with its current key number
    uint32_t len = 4;
    EXPECT_EQ(0, f.Call(kUnlock, &locked, len, f.key, 255, keyNumber));
  }
  EXPECT_EQ(0, other.Get(kGetEqual + 200, 0, Le(2, 4)));
}

TEST_F(DriverFlowTest, FindPercentageThenGetDirectRestoresThePosition) {
  File f(&session_);
  MakePeople(f, {10, 20, 30, 40, 50});
  ASSERT_EQ(0, f.Get(kGetEqual, 0, Le(30, 4)));
  uint32_t pos = 0;
  ASSERT_EQ(0, f.Position(pos));
  uint8_t result[4];
  std::memcpy(result, &pos, 4);
  uint32_t len = 4;
  ASSERT_EQ(0, f.Call(kFindPercentage, result, len, f.key, 255, -1));
  EXPECT_EQ(5000u, FromLe(std::string(reinterpret_cast<char*>(result), 4), 0, 4));
  // The binding then clears 12 bytes, stores the position and reads it back on its key path.
  std::string buffer(32, '\0');
  std::memcpy(buffer.data(), &pos, 4);
  len = 32;
  ASSERT_EQ(0, f.Call(kGetDirect, buffer.data(), len, f.key, 255, 0));
  EXPECT_EQ(30, IdOf(buffer));
  ASSERT_EQ(0, f.Get(kGetNext, 0));
  EXPECT_EQ(40, IdOf(f.record));
}

TEST_F(DriverFlowTest, StatIntoTheCachedAreaAndStopWithScratchBuffers) {
  File f(&session_);
  MakePeople(f, {1});
  std::vector<uint8_t> area;
  ASSERT_EQ(0, f.Stat(area, -1, 1920));
  EXPECT_EQ(32, area[0]);
  EXPECT_EQ(2, area[4]);
  // The second key's segment: the binding reads bit 0x10 and 0x20 of the flags.
  EXPECT_EQ(0, (area[16 + 4] | area[16 + 5] << 8) & 0x30);
  uint8_t scratch[5] = {};
  uint8_t key[4] = {};
  uint32_t len = 5;
  EXPECT_EQ(0, Api::Get().callId(kStop, f.pb, scratch, &len, key, 0, 0, session_.bytes));
  EXPECT_EQ(3, f.Get(kGetFirst, 0));
  f.open = false;
}

}  // namespace
}  // namespace vader::microkernel::test
