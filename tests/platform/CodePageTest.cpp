#include <gtest/gtest.h>

#include "platform/CodePage.h"
#include "platform/TextCase.h"

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

TEST(CodePage, LocalesChooseTheirLanguagesPairAndUtf8ForTheAnsiSide) {
  const auto pair = [](const char* locale) {
    const CodePagePair p = CodePagesForLocale(locale);
    return p.ansi + "/" + p.oem;
  };
  EXPECT_EQ(pair(""), "WINDOWS-1252/CP437");
  EXPECT_EQ(pair("en_US.ISO-8859-1"), "WINDOWS-1252/CP437");
  EXPECT_EQ(pair("en_GB"), "WINDOWS-1252/CP850");
  EXPECT_EQ(pair("de_DE@euro"), "WINDOWS-1252/CP850");
  EXPECT_EQ(pair("ru_RU.KOI8-R"), "WINDOWS-1251/CP866");
  EXPECT_EQ(pair("ru_RU.UTF-8"), "UTF-8/CP866");
  EXPECT_EQ(pair("pl_PL.utf8"), "UTF-8/CP852");
  EXPECT_EQ(pair("el_GR"), "WINDOWS-1253/CP737");
  EXPECT_EQ(pair("tr_TR"), "WINDOWS-1254/CP857");
  EXPECT_EQ(pair("he_IL"), "WINDOWS-1255/CP862");
  EXPECT_EQ(pair("C.UTF-8"), "UTF-8/CP437");
  EXPECT_EQ(CodePageName("866"), "CP866");
  EXPECT_EQ(CodePageName(" Windows-1251 "), "WINDOWS-1251");
  EXPECT_EQ(CodePageName("1250"), "WINDOWS-1250");
  EXPECT_EQ(CodePageName("utf8"), "UTF-8");
  EXPECT_EQ(CodePageName("no-such-page"), "");
}

TEST(CodePage, DatabaseTextDecodesEveryByteAndEncodesBackOrRefuses) {
  EXPECT_EQ(DecodeText("\x88\x97\x8F \"\x83\x85\x8E\"", "CP866"),
            "\u0418\u0427\u041F \"\u0413\u0415\u041E\"");  // ИЧП "ГЕО"
  for (const char* page : {"CP437", "CP850", "CP852", "CP857", "CP866", "CP737", "WINDOWS-1252"}) {
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    const EncodedText back = EncodeText(DecodeText(all, page), page);
    ASSERT_TRUE(back.ok) << page;
    EXPECT_EQ(back.bytes, all) << page;  // bytes the page leaves undefined come back too
  }
  const EncodedText refused = EncodeText("M\u00FCller \u0416\u0443\u043A", "CP866");
  EXPECT_FALSE(refused.ok);
  EXPECT_EQ(refused.refused, "\u00FC");
  EXPECT_EQ(refused.bytes, "");
  EXPECT_EQ(CharacterCodeText("\u4E2D"), "U+4E2D");
  EXPECT_EQ(EncodeText("\u0141\u00F3d\u017A", "CP852").bytes, "\x9D\xA2\x64\xAB");
  EXPECT_EQ(DecodeText("\xFF\xC3\xA9", "UTF-8"), "\uF7FF\u00E9");  // a stray byte kept apart
  EXPECT_EQ(EncodeText("\uF7FF\u00E9", "UTF-8").bytes, "\xFF\xC3\xA9");
}

TEST(CodePage, Utf8TextsCompareIgnoringCaseAcrossScripts) {
  EXPECT_EQ(Utf8FoldKey("\u041A\u043B\u0438\u0435\u043D\u0442\u044B"),
            Utf8FoldKey("\u043A\u041B\u0418\u0415\u041D\u0422\u042B"));  // Клиенты
  EXPECT_EQ(Utf8FoldKey("Stra\u00DFe \u0141\u00F3d\u017A \u0394"),
            Utf8FoldKey("STRASSE \u0142\u00D3D\u0179 \u03B4"));
  EXPECT_NE(Utf8FoldKey("\u0416"), Utf8FoldKey("\u0417"));
  const std::string ansi = AnsiCodePage();
  SetAnsiCodePage("UTF-8");
  EXPECT_EQ(CompareTextLocale("\u00C9t\u00E9", "\u00E9T\u00C9"), 0);
  EXPECT_LT(CompareTextLocale("\u0430", "\u0411"), 0);  // а before Б
  SetAnsiCodePage(ansi);
  EXPECT_EQ(LocaleFoldKey("\xC9t\xE9"), LocaleFoldKey("\xE9T\xC9"));  // Windows-1252 as before
}

}  // namespace
}  // namespace vader::platform
