#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "engine/BseUtils.h"

namespace vader {
namespace {

TEST(Utils, ReplaceOutsideQuotesSharesOneQuotedStateForBothQuoteKinds) {
  char text[] = "a,'b,\"c',d\",e";
  ReplaceCharOutsideQuotes(text, std::strlen(text), ',', ';');
  // The double quote inside the single-quoted run closes it, the next single quote reopens it.
  EXPECT_STREQ(text, "a;'b,\"c',d\";e");
  char plain[] = "x,y";
  ReplaceCharOutsideQuotes(plain, 1, ',', ';');
  EXPECT_STREQ(plain, "x,y");
}

TEST(Utils, ReplaceTextKeepsTheLimit) {
  char text[16] = "SELECT :T";
  EXPECT_TRUE(ReplaceText(text, ":T", "CUSTOMERS", 15));
  EXPECT_STREQ(text, "SELECT CUSTOMER");
  char other[16] = "abcabc";
  EXPECT_TRUE(ReplaceText(other, "bc", nullptr, 15));
  EXPECT_STREQ(other, "aabc");
  EXPECT_FALSE(ReplaceText(other, "zz", "y", 15));
  EXPECT_FALSE(ReplaceText(other, "", "y", 15));
  EXPECT_STREQ(other, "aabc");
}

TEST(Utils, IsPathNameLooksForDrivesBackslashesAndOptionallyDots) {
  EXPECT_TRUE(IsPathName("C:DATA", false));
  EXPECT_TRUE(IsPathName("\\\\server\\share", false));
  EXPECT_TRUE(IsPathName("/srv/data", false));
  EXPECT_FALSE(IsPathName("orders.dat", false));
  EXPECT_TRUE(IsPathName("orders.dat", true));
  EXPECT_FALSE(IsPathName("ALIAS", true));
  EXPECT_FALSE(IsPathName("", true));
}

TEST(Utils, PadShortStringFillsAfterTheTextWithinTheBlock) {
  TShortString s("ab");
  PadShortString(s, ' ', 5);
  EXPECT_EQ(s.Length(), 2u);
  EXPECT_EQ(s.Byte(3), ' ');
  EXPECT_EQ(s.Byte(4), ' ');
  EXPECT_EQ(s.Byte(5), 0);
  PadShortString(s, '*', 100000);  // bounded by the block
  EXPECT_EQ(s.Byte(255), '*');
  TShortString full(std::string(300, 'x'));
  EXPECT_EQ(full.Length(), 255u);
  AppendChar(full, 'y');
  EXPECT_EQ(full.Length(), 255u);
  TShortString one("a");
  AppendChar(one, 'b');
  EXPECT_EQ(one.Str(), "ab");
}

TEST(Utils, TrimmedStringsDropBlanksAndControls) {
  const char raw[] = "\t  NAME \0\r ";
  EXPECT_EQ(BufferToTrimmedString(raw, sizeof raw - 1), "NAME");
  EXPECT_EQ(BufferToTrimmedZString(raw, sizeof raw - 1), std::string("NAME\0", 5));
  EXPECT_EQ(BufferToTrimmedString("   ", 3), "");
  const std::string longText(400, 'q');
  EXPECT_EQ(BufferToTrimmedString(longText.data(), longText.size()).size(), 255u);
  EXPECT_EQ(BufferToTrimmedZString(longText.data(), longText.size()).size(), 255u);
}

TEST(Utils, SmallStringRoutines) {
  EXPECT_EQ(KeepNumericChars("$-1,234.50 EUR+"), "-1234.50+");
  EXPECT_EQ(AddBackslash(""), "\\");
  EXPECT_EQ(AddBackslash("C:\\DATA"), "C:\\DATA\\");
  EXPECT_EQ(AddBackslash("C:\\DATA\\"), "C:\\DATA\\");
  EXPECT_EQ(RemoveChar("a-b-c", '-'), "abc");
  char text[] = "name;opt";
  EXPECT_STREQ(TruncAtChar(text, ';'), "name");
  EXPECT_EQ(TruncAtChar(nullptr, ';'), nullptr);
  const unsigned char a[] = {1, 0x80};
  const unsigned char b[] = {1, 0x7F};
  EXPECT_EQ(CompareBytes(a, b, 2), 1);
  EXPECT_EQ(CompareBytes(a, b, 1), 0);
  EXPECT_TRUE(SameText("Name", "nAME"));
  EXPECT_FALSE(SameText("Name", "Names"));
}

}  // namespace
}  // namespace vader
