// The byte plan of a record copy between two layouts.

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "btrieve/BtrConst.h"
#include "btrieve/BtrCopyPlan.h"

namespace vader {
namespace {

FieldDesc Field(uint16_t offset, uint16_t length, uint16_t nativeType = 0, int16_t decimals = 0) {
  FieldDesc desc{};
  desc.FieldOffset = offset;
  desc.FieldLength = length;
  desc.LocalSize = length;
  desc.LocalType = nativeType;
  desc.FieldUnits2 = decimals;
  return desc;
}

TEST(CopyPlan, MovesFieldsThatFollowEachOtherInBothLayoutsInOneRun) {
  TCopyPlan plan;
  plan.AddMove(Field(0, 4), Field(0, 4));
  plan.AddMove(Field(4, 10), Field(4, 10));
  plan.AddMove(Field(20, 2), Field(14, 2));  // a field between them was dropped
  plan.AddMove(Field(22, 3), Field(30, 3));  // a field was added before this one
  ASSERT_EQ(plan.Runs().size(), 3u);
  EXPECT_EQ(plan.Runs()[0].length, 14u);

  std::vector<uint8_t> from(25), to(33, 0xEE);
  for (size_t i = 0; i < from.size(); ++i) from[i] = static_cast<uint8_t>(i);
  plan.Apply(from.data(), to.data());
  EXPECT_EQ(std::memcmp(to.data(), from.data(), 14), 0);
  EXPECT_EQ(to[14], 20);
  EXPECT_EQ(to[16], 0xEE);  // the added field keeps what the new record held
  EXPECT_EQ(to[30], 22);
  EXPECT_EQ(to[32], 24);
}

TEST(CopyPlan, OnlyTheSameTypeSizeAndDecimalsMoveAsBytes) {
  const FieldDesc decimal = Field(0, 6, BT_DECIMAL, 2);
  EXPECT_TRUE(TCopyPlan::SameStorage(decimal, Field(10, 6, BT_DECIMAL, 2)));
  EXPECT_FALSE(TCopyPlan::SameStorage(decimal, Field(0, 6, BT_DECIMAL, 3)));
  EXPECT_FALSE(TCopyPlan::SameStorage(decimal, Field(0, 8, BT_DECIMAL, 2)));
  EXPECT_FALSE(TCopyPlan::SameStorage(decimal, Field(0, 6, BT_INTEGER, 2)));
  FieldDesc memo = Field(0, 6, BT_DECIMAL, 2);
  memo.FieldSubType = 1;  // the same bytes read another way
  EXPECT_FALSE(TCopyPlan::SameStorage(decimal, memo));
}

TEST(CopyPlan, WidenedTextsKeepTheirCharactersAndTakeTheNewForm) {
  const FieldDesc string6 = Field(0, 6, BT_STRING);
  const FieldDesc zstring4 = Field(6, 4, BT_ZSTRING);
  const FieldDesc lstring5 = Field(10, 5, BT_LSTRING);
  EXPECT_TRUE(TCopyPlan::TextWidens(string6, Field(0, 7, BT_ZSTRING)));
  EXPECT_FALSE(TCopyPlan::TextWidens(string6, Field(0, 6, BT_ZSTRING)));  // one character less
  EXPECT_FALSE(TCopyPlan::TextWidens(string6, Field(0, 5, BT_STRING)));
  EXPECT_FALSE(TCopyPlan::TextWidens(Field(0, 4, BT_INTEGER), Field(0, 8, BT_STRING)));

  TCopyPlan plan;
  plan.AddText(string6, Field(0, 7, BT_ZSTRING));
  plan.AddText(zstring4, Field(7, 6, BT_STRING));
  plan.AddText(lstring5, Field(13, 8, BT_LSTRING));
  EXPECT_TRUE(plan.Runs().empty());
  const uint8_t old[15] = {'a', 'b', ' ', ' ', ' ', ' ', 'x', 'y', 0, 0, 2, 'p', 'q', 0, 0};
  std::vector<uint8_t> record(21, 0);
  plan.Apply(old, record.data());
  const std::vector<uint8_t> expected = {'a', 'b', 0, 0,   0,   0, 0, 'x', 'y', ' ', ' ',
                                         ' ', ' ', 2, 'p', 'q', 0, 0, 0,   0,   0};
  EXPECT_EQ(record, expected);
}

}  // namespace
}  // namespace vader
