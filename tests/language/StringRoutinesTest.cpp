#include <gtest/gtest.h>

#include "common/TempDir.h"
#include "framework/Dialogs.h"
#include "framework/Forms.h"
#include "framework/FrameworkErrors.h"
#include "language/Zothrtns.h"
#include "language/Zstrrtns.h"
#include "platform/ProcessInfo.h"
#include "platform/WindowMessages.h"

namespace vader {
namespace {

using vader::testing::TempDir;
const std::string kSep = "~|~";

TEST(DelimitedFields, Counting) {
  EXPECT_EQ(CountDelimitedFields("", kSep), 1);
  EXPECT_EQ(CountDelimitedFields("a~|~b~|~c", kSep), 3);
  EXPECT_EQ(CountDelimitedFields("~|~", kSep), 2);
  EXPECT_EQ(CountDelimitedFields("a~|~|~b", kSep), 2);  // no overlapping occurrences
  EXPECT_EQ(CountDelimitedFields("abc", ""), 1);
}

TEST(DelimitedFields, Extraction) {
  EXPECT_EQ(GetDelimitedField("a~|~b~|~c", kSep, 0), "a");
  EXPECT_EQ(GetDelimitedField("a~|~b~|~c", kSep, 1), "a");
  EXPECT_EQ(GetDelimitedField("a~|~b~|~c", kSep, 2), "b");
  EXPECT_EQ(GetDelimitedField("a~|~b~|~c", kSep, 3), "c");
  EXPECT_EQ(GetDelimitedField("a~|~b~|~c", kSep, 4), "");
  EXPECT_EQ(GetDelimitedField("~|~b", kSep, 1), "");
  EXPECT_EQ(GetDelimitedField("~|~b", kSep, 2), "b");
  EXPECT_EQ(GetDelimitedField(" a ~|~ b ", kSep, 1), " a ");
  EXPECT_EQ(GetDelimitedField(" a ~|~ b ", kSep, 2), " b ");
  EXPECT_EQ(GetDelimitedField("", kSep, 1), "");
  EXPECT_EQ(GetDelimitedField("x~|~", kSep, 2), "");
  EXPECT_EQ(GetDelimitedField("whole", "", 1), "whole");
  EXPECT_EQ(GetDelimitedField("whole", "", 2), "");
}

TEST(DelimitedFields, CountSaturatesAtSixteenBits) {
  std::string many;
  for (int i = 0; i < 70000; ++i) many += ",";
  EXPECT_EQ(CountDelimitedFields(many, ","), 0xFFFF);
  EXPECT_EQ(GetDelimitedField(many, ",", 0xFFFF), "");
}

TEST(SmallStringRoutines, FilledStringsAndPrefixes) {
  EXPECT_EQ(MakeFilledString(0, 'x'), "");
  EXPECT_EQ(MakeFilledString(-3, 'x'), "");
  EXPECT_EQ(MakeFilledString(3, ' '), "   ");
  EXPECT_TRUE(StartsWithText("Hello", ""));
  EXPECT_TRUE(StartsWithText("Hello", "Hel"));
  EXPECT_FALSE(StartsWithText("HELLO", "hel"));
  EXPECT_FALSE(StartsWithText("He", "Hel"));
}

TEST(IniRoutines, NamesAreTrimmedAndValuesWrittenAsGiven) {
  TempDir dir;
  const auto file = dir.Write("Language.INI", "[Setup]\nRecStrFileName=fr.txt\n");
  EXPECT_EQ(ReadIniString(file, " Setup ", " RecStrFileName "), "fr.txt");
  EXPECT_EQ(ReadIniString(file, "\tSetup\r", "RecStrFileName"), "fr.txt");
  EXPECT_EQ(ReadIniString(file, "Setup", "Missing"), "");
  EXPECT_EQ(ReadIniString(dir.File("absent.ini"), "Setup", "RecStrFileName"), "");
  WriteIniString(file, " Setup ", " Other ", "  kept  ");
  EXPECT_NE(TempDir::Read(file).find("Other=  kept  "), std::string::npos);
}

TEST(IniRoutines, FailedWriteRaisesWithTheFileName) {
  TempDir dir;
  const std::string bad = dir.File("no/such/dir/Language.INI");
  try {
    WriteIniString(bad, "Setup", "RecStrFileName", "x");
    FAIL() << "no error raised";
  } catch (const EIniFileException& e) {
    EXPECT_EQ(e.Message(), "Unable to write to " + bad);
  }
}

class ConfirmPromptTest : public ::testing::Test {
 protected:
  void TearDown() override {
    SetMessageDialogHandler(nullptr);
    Screen().SetCursor(crDefault);
  }
};

TEST_F(ConfirmPromptTest, AsksAWarningWithYesAndNoUnderTheArrowCursor) {
  Screen().SetCursor(crHourGlass);
  MessageDialogRequest seen{};
  TCursor cursorWhileAsking = crHourGlass;
  SetMessageDialogHandler([&](const MessageDialogRequest& r) {
    seen = r;
    cursorWhileAsking = Screen().Cursor();
    return mrYes;
  });
  EXPECT_TRUE(ConfirmPrompt("Delete record?"));
  EXPECT_EQ(seen.message, "Delete record?");
  EXPECT_EQ(seen.title, "Warning");
  EXPECT_EQ(seen.type, TMsgDlgType::mtWarning);
  EXPECT_EQ(seen.buttons, mbYes | mbNo);
  EXPECT_EQ(seen.helpContext, 0);
  EXPECT_EQ(cursorWhileAsking, crDefault);
  EXPECT_EQ(Screen().Cursor(), crHourGlass);
}

TEST_F(ConfirmPromptTest, EveryOtherOutcomeIsNoAndAFailingDialogRestoresTheCursor) {
  SetMessageDialogHandler([](const MessageDialogRequest&) { return mrNo; });
  EXPECT_FALSE(ConfirmPrompt("?"));
  SetMessageDialogHandler([](const MessageDialogRequest&) { return mrCancel; });
  EXPECT_FALSE(ConfirmPrompt("?"));
  SetMessageDialogHandler(nullptr);
  EXPECT_FALSE(ConfirmPrompt("?"));  // no dialog can be shown

  Screen().SetCursor(crHourGlass);
  SetMessageDialogHandler([](const MessageDialogRequest&) -> TModalResult {
    throw Exception("dialog failed");
  });
  EXPECT_THROW(ConfirmPrompt("?"), Exception);
  EXPECT_EQ(Screen().Cursor(), crHourGlass);
}

TEST(DataChangeMessages, NamedAfterTheExecutablePath) {
  TempDir dir;
  platform::SetMessageTableFile(dir.File("messages"));
  platform::SetExecutablePathForTesting("/opt/app/PROG");
  ZothrtnsStartup();
  EXPECT_EQ(OpenDataMessage, RegisterAppMessage("/opt/app/PROGOpenData"));
  EXPECT_EQ(CloseDataMessage, RegisterAppMessage("/opt/app/PROGCloseData"));
  EXPECT_EQ(RefreshDataMessage, RegisterAppMessage("/opt/app/PROGRefreshData"));
  EXPECT_NE(OpenDataMessage, CloseDataMessage);
  const auto open = OpenDataMessage;

  platform::SetExecutablePathForTesting("/opt/other/PROG");
  ZothrtnsStartup();
  EXPECT_NE(OpenDataMessage, open);
  platform::SetExecutablePathForTesting("");
}

}  // namespace
}  // namespace vader
