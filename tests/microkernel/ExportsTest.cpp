// The exports, position-block validation, clients, Version and directories.

#include <unistd.h>

#include "Fixture.h"

namespace vader::microkernel::test {
namespace {

class ExportsTest : public ApiTest {};

TEST_F(ExportsTest, InitAndStopSucceed) {
  EXPECT_EQ(0, Api::Get().init("-m:64"));
  EXPECT_EQ(0, Api::Get().stop());
}

TEST_F(ExportsTest, GarbagePositionBlocksGiveStatus3) {
  File f;
  uint32_t len = 16;
  uint8_t data[16] = {};
  EXPECT_EQ(3, f.Call(kGetFirst, data, len, f.key, 255, 0));  // zeroed block
  std::memset(f.pb, 0xA5, sizeof f.pb);
  EXPECT_EQ(3, f.Call(kStepNext, data, len, f.key, 255, 0));
  std::memcpy(f.pb, "VdPB", 4);  // right tag, nonsense slot and nonce
  EXPECT_EQ(3, f.Call(kInsert, data, len, f.key, 255, 0));
  EXPECT_EQ(3, Api::Get().call(kGetFirst, nullptr, data, &len, f.key, 255, 0));
  EXPECT_EQ(3, Api::Get().call(kClose, nullptr, nullptr, nullptr, nullptr, 0, 0));
}

TEST_F(ExportsTest, ClosedOrForeignPositionBlockGivesStatus3) {
  ClientId a(1), b(2);
  File fa(&a);
  ASSERT_EQ(0, Create(Path("f"), PeopleLayout()));
  ASSERT_EQ(0, fa.Open(Path("f")));
  // The same block presented by another client is not that client's file.
  File fb(&b);
  std::memcpy(fb.pb, fa.pb, sizeof fa.pb);
  EXPECT_EQ(3, fb.Get(kGetFirst, 0));
  // A stale copy of a closed block stays invalid, also after the slot is reused.
  uint8_t stale[128];
  std::memcpy(stale, fa.pb, sizeof stale);
  ASSERT_EQ(0, fa.Close());
  EXPECT_EQ(3, fa.Close());
  File again(&a);
  ASSERT_EQ(0, again.Open(Path("f")));
  std::memcpy(fa.pb, stale, sizeof stale);
  EXPECT_EQ(3, fa.Get(kGetFirst, 0));
}

TEST_F(ExportsTest, UnknownOperationsAndBiasesGiveStatus1) {
  File f;
  MakePeople(f, {1});
  uint32_t len = 0;
  EXPECT_EQ(1, f.Call(16, nullptr, len, f.key, 255, 0));  // Extend
  EXPECT_EQ(1, f.Call(99, nullptr, len, f.key, 255, 0));
  EXPECT_EQ(1, f.Call(2 + 200, nullptr, len, f.key, 255, 0));  // no lock bias on Insert
  EXPECT_EQ(1, f.Call(512, nullptr, len, f.key, 255, 0));
}

TEST_F(ExportsTest, VersionFillsWhatTheBufferHolds) {
  uint8_t data[15] = {};
  uint32_t len = 10;
  uint8_t pb[128] = {};
  ASSERT_EQ(0, Api::Get().call(kVersion, pb, data, &len, nullptr, 0, 0));
  EXPECT_EQ(10u, len);
  EXPECT_GT(data[0] | data[1], 0);
  EXPECT_EQ(0, data[10]);
  len = 4;
  EXPECT_EQ(22, Api::Get().call(kVersion, pb, data, &len, nullptr, 0, 0));
}

TEST_F(ExportsTest, DirectoriesArePerClientAndResolveRelativeNames) {
  ClientId a(1), b(2);
  char key[255] = {};
  std::strcpy(key, dir_.c_str());
  uint8_t pb[128] = {};
  uint32_t len = 0;
  ASSERT_EQ(0, Api::Get().callId(kSetDir, pb, nullptr, &len, key, 255, 0, a.bytes));
  ASSERT_EQ(0, Create("rel.dat", PeopleLayout(), 0, &a));
  EXPECT_EQ(0, ::access(Path("rel.dat").c_str(), F_OK));
  File fa(&a);
  EXPECT_EQ(0, fa.Open("rel.dat"));
  File fb(&b);
  EXPECT_EQ(12, fb.Open("rel.dat"));  // b still uses the process directory
  char out[255] = {};
  ASSERT_EQ(0, Api::Get().callId(kGetDir, pb, nullptr, &len, out, 255, 0, a.bytes));
  char real[4096];
  EXPECT_STREQ(::realpath(dir_.c_str(), real), out);
  std::strcpy(key, "/no/such/dir");
  EXPECT_EQ(35, Api::Get().callId(kSetDir, pb, nullptr, &len, key, 255, 0, a.bytes));
}

TEST_F(ExportsTest, StopClosesOnlyThatClientsFiles) {
  ClientId a(1), b(2);
  ASSERT_EQ(0, Create(Path("f"), PeopleLayout()));
  File fa(&a), fb(&b);
  ASSERT_EQ(0, fa.Open(Path("f")));
  ASSERT_EQ(0, fb.Open(Path("f")));
  ASSERT_EQ(0, Op(kStop, &a));
  EXPECT_EQ(3, fa.Get(kGetFirst, 0));
  EXPECT_EQ(9, fb.Get(kGetFirst, 0));
  fa.open = false;
}

}  // namespace
}  // namespace vader::microkernel::test
