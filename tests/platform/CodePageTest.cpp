#include "platform/CodePage.h"

#include <gtest/gtest.h>

namespace vader::platform {
namespace {

TEST(CodePage, AnsiIsWindows1252NotLatin1) {
  EXPECT_EQ(AnsiToUtf8("\x80 \xE9t\xE9"), "\u20AC \u00E9t\u00E9");  // euro sign, été
  EXPECT_EQ(Utf8ToAnsi("\u0152uvre \u00D6"), "\x8Cuvre \xD6");        // Œuvre Ö
  EXPECT_EQ(AnsiToUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
}

TEST(CodePage, UnmappableCharactersBecomeQuestionMarks) {
  EXPECT_EQ(Utf8ToAnsi("\u4E2D!"), "?!");
  EXPECT_EQ(AnsiToUtf8("\x81"), "?");  // undefined in 1252
  EXPECT_EQ(Utf8ToAnsi("\xFF\xFE"), "??");  // not UTF-8 at all
}

TEST(CodePage, OemRoundTripKeepsLengthAndLetters) {
  const std::string ansi = "Gr\xFC\xDF" "e \xC9t\xE9";  // Grüße Été
  const std::string oem = CharToOem(ansi);
  EXPECT_EQ(oem.size(), ansi.size());
  EXPECT_EQ(oem, "Gr\x81\xE1" "e \x90t\x82");
  EXPECT_EQ(OemToChar(oem), ansi);
  EXPECT_FALSE(SetOemCodePage("NO-SUCH-CODEPAGE"));
}

}  // namespace
}  // namespace vader::platform
