#include <sys/stat.h>
#include <unistd.h>

#include "framework/FrameworkErrors.h"
#include "language/LanguageFixture.h"
#include "platform/TextCase.h"

namespace vader {
namespace {

using TranslateText_ = vader::testing::LanguageTest;
using LanguageFile = vader::testing::LanguageTest;

TEST_F(TranslateText_, KeysAreTrimmedAndMatchedCaseInsensitively) {
  StartWith("  &Save ~|~&Enregistrer\nOpen~|~Ouvrir~|~note\n");
  EXPECT_EQ(TranslateText("&Save"), "&Enregistrer");
  EXPECT_EQ(TranslateText("OPEN"), "Ouvrir");
  EXPECT_EQ(TranslateText(" open "), "Ouvrir");  // input blanks are not carried over
  EXPECT_EQ(TranslateText("Open"), "Ouvrir");     // a second separator ends the translation
  EXPECT_EQ(TranslateText("Close"), "Close");
}

TEST_F(TranslateText_, TranslationKeepsItsOwnBlanksAndTheFirstLineWins) {
  StartWith("Name~|~ Nom \nName~|~Other\nNAME~|~Third\n");
  EXPECT_EQ(TranslateText("name"), " Nom ");
}

TEST_F(TranslateText_, EntriesWithoutTranslationLeaveTheTextAsDesigned) {
  StartWith("Exit\nQuit~|~\nStop~|~Arr\xEAt\nQuit~|~Quitter\n");
  EXPECT_EQ(TranslateText("Exit"), "Exit");
  EXPECT_EQ(TranslateText(" Quit "), " Quit ");  // the first entry decides, even when empty
  EXPECT_EQ(TranslateText("stop"), "Arr\xEAt");
}

TEST_F(TranslateText_, EmptyTextsUseTheFirstEntryWithAnEmptyKey) {
  StartWith("Open~|~Ouvrir\n\n~|~(vide)\n");
  EXPECT_EQ(TranslateText(""), "");  // the empty line comes first and changes nothing
  ZInterShutdown();
  StartWith("~|~(vide)\nOpen~|~Ouvrir\n");
  EXPECT_EQ(TranslateText(""), "(vide)");
  EXPECT_EQ(TranslateText("   "), "(vide)");
}

TEST_F(TranslateText_, AccentedKeysFoldInTheAnsiCodePage) {
  StartWith("\xC9t\xE9~|~Summer\n");  // Été
  EXPECT_EQ(TranslateText("\xE9T\xC9"), "Summer");
}

TEST_F(TranslateText_, DictionaryWithAUtf8MarkIsReadAsUtf8) {
  // "Été" saved as UTF-8 with a byte-order mark: the first entry matches, accents intact.
  StartWith("\xEF\xBB\xBF\xC3\x89t\xC3\xA9~|~\xC3\x89t\xC3\xA9 \xC5\x93uvre\r\nOpen~|~Ouvrir\r\n");
  EXPECT_EQ(TranslateText("\xC9t\xE9"), "\xC9t\xE9 \x9Cuvre");  // in the system code page
  EXPECT_EQ(DictionaryKeys().front(), "\xC9t\xE9");
  EXPECT_EQ(TranslateText("Open"), "Ouvrir");
  ZInterShutdown();
  // Without the mark the same bytes are 8-bit text of the system code page.
  StartWith("\xC3\x89t\xC3\xA9~|~Summer\n");
  EXPECT_EQ(TranslateText("\xC3\x89t\xC3\xA9"), "Summer");
  EXPECT_EQ(TranslateText("\xC9t\xE9"), "\xC9t\xE9");
}

TEST_F(TranslateText_, QuorvelDictionariesPadEveryTranslation) {
  const std::string sub = dir.File("QuorVel");
  mkdir(sub.c_str(), 0755);
  dir.Write("QuorVel/de.txt", "Save~|~Sichern!\nOpen~|~Offen\nNo~|~Nie\n");
  dir.Write("Language.INI", "[Setup]\nRecStrFileName=" + sub + "/de.txt\n");
  ZInterStartup();
  EXPECT_EQ(TranslateText("Save"), "Sichern!  ");  // 8 characters: 2 blanks
  EXPECT_EQ(TranslateText("Open"), "Offen ");      // 5 characters: 1 blank
  EXPECT_EQ(TranslateText("No"), "Nie");           // 3 characters: none
  EXPECT_EQ(TranslateText("Close"), "Close");      // untranslated texts are not padded
}

TEST_F(TranslateText_, LineBreaksOfEveryKindAndANulEndingTheText) {
  StartWith(std::string("A~|~1\rB~|~2\r\nC~|~3\n\nD~|~4\0E~|~5\n", 25));
  EXPECT_EQ(DictionaryKeys(), (std::vector<std::string>{"A", "B", "C", "", "D"}));
  EXPECT_EQ(TranslateText("D"), "4");
  EXPECT_EQ(TranslateText("E"), "E");  // lost after the NUL
}

TEST_F(TranslateText_, GarbageAndVeryLongLinesStillGiveOneEntryPerLine) {
  std::string garbage;
  for (int i = 1; i < 256; ++i) garbage += static_cast<char>(i == '\r' || i == '\n' ? 'x' : i);
  const std::string longKey(100000, 'k');
  StartWith(garbage + "\n" + longKey + "~|~long\n~|~\n~|~~|~~|~\n");
  EXPECT_EQ(DictionaryKeys().size(), 4u);
  EXPECT_EQ(DictionaryTexts().size(), 4u);
  EXPECT_EQ(TranslateText(longKey), "long");
}

TEST_F(LanguageFile, MissingLanguageIniIsCreatedWithAnEmptyName) {
  ZInterStartup();
  EXPECT_EQ(LanguageIniFile(), dir.File("Language.INI"));
  EXPECT_EQ(vader::testing::TempDir::Read(LanguageIniFile()), "[Setup]\nRecStrFileName=\n");
  EXPECT_TRUE(DictionaryKeys().empty());
  EXPECT_EQ(TranslateText("Open"), "Open");
}

TEST_F(LanguageFile, EachStartPostsExactlyOneLanguageBroadcast) {
  ZInterStartup();
  const auto pending = platform::PendingBroadcasts();
  ASSERT_EQ(pending.size(), 1u);
  EXPECT_EQ(pending[0].message, LanguageChangeMessage());
  EXPECT_EQ(LanguageChangeMessage(),
            platform::RegisterWindowMessage("Tolvex International Language Changing"));
  EXPECT_EQ(pending[0].wParam, 0u);
  EXPECT_EQ(pending[0].lParam, 0);
}

TEST_F(LanguageFile, SwitchingStoresTheNameReloadsAndBroadcasts) {
  ZInterStartup();
  platform::DiscardPendingBroadcasts();
  const auto de = dir.Write("de.txt", "Open~|~\xD6" "ffnen\n");
  SetLanguageFile("  \"" + de + "\"  ");  // the reader strips blanks and quotes
  EXPECT_EQ(DictionaryFileName(), de);
  EXPECT_EQ(TranslateText("open"), "\xD6" "ffnen");
  EXPECT_EQ(platform::PendingBroadcasts().size(), 1u);

  SetLanguageFile(dir.File("missing.txt"));  // a missing dictionary empties the lists
  EXPECT_TRUE(DictionaryKeys().empty());
  EXPECT_EQ(TranslateText("Open"), "Open");
}

TEST_F(LanguageFile, UnwritableLanguageIniStopsBeforeReloadingOrBroadcasting) {
  StartWith("Open~|~Ouvrir\n");
  platform::DiscardPendingBroadcasts();
  chmod(LanguageIniFile().c_str(), 0444);
  try {
    SetLanguageFile(dir.File("other.txt"));
    FAIL() << "no error raised";
  } catch (const EIniFileException& e) {
    EXPECT_EQ(e.Message(), "Unable to write to " + LanguageIniFile());
  }
  EXPECT_EQ(TranslateText("Open"), "Ouvrir");
  EXPECT_TRUE(platform::PendingBroadcasts().empty());
}

TEST_F(LanguageFile, DictionaryThatCannotBeOpenedRaisesAfterEmptyingTheLists) {
  if (geteuid() == 0) GTEST_SKIP() << "root can open any file";
  StartWith("Open~|~Ouvrir\n");
  chmod(DictionaryFileName().c_str(), 0);
  platform::DiscardPendingBroadcasts();
  EXPECT_THROW(SetLanguageFile(DictionaryFileName()), EFOpenError);
  EXPECT_TRUE(DictionaryKeys().empty());
  EXPECT_TRUE(platform::PendingBroadcasts().empty());
}

TEST_F(LanguageFile, ADirectoryIsNoDictionary) {
  StartWith("");
  SetLanguageFile(dir.Path());
  EXPECT_TRUE(DictionaryKeys().empty());
}

// The index must find exactly what the reference scan in file order finds.
TEST_F(TranslateText_, IndexedLookupAgreesWithALinearScan) {
  std::string content;
  const char* words[] = {"Open", "OPEN", "open ", "Stra\xDF\x65", "STRASSE", "", " ", "\xC9t\xE9",
                         "\xE9T\xC9", "x", "X"};
  int n = 0;
  for (const char* w : words) content += std::string(w) + "~|~t" + std::to_string(n++) + "\n";
  StartWith(content);
  for (const char* w : words) {
    std::string expected = w;
    const std::string key = w;
    for (std::size_t i = 0; i < DictionaryKeys().size(); ++i) {
      std::string trimmed = key;
      while (!trimmed.empty() && trimmed.back() == ' ') trimmed.pop_back();
      if (platform::CompareTextLocale(DictionaryKeys()[i], trimmed) == 0) {
        if (!DictionaryTexts()[i].empty()) expected = DictionaryTexts()[i];
        break;
      }
    }
    EXPECT_EQ(TranslateText(w), expected) << w;
  }
}

}  // namespace
}  // namespace vader
