#include "ui/ErrorDisplay.h"

#include <cstdio>
#include <string_view>

#include "framework/DBConsts.h"
#include "framework/Dialogs.h"
#include "framework/FrameworkErrors.h"
#include "language/zInter.h"

namespace vader::ui {

std::string ShownErrorText(const std::string& message) {
  std::string shown;
  std::size_t start = 0;
  while (start <= message.size()) {
    std::size_t end = message.find('\n', start);
    if (end == std::string::npos) end = message.size();
    std::string line = message.substr(start, end - start);
    const bool carriageReturn = !line.empty() && line.back() == '\r';
    if (carriageReturn) line.pop_back();
    shown += TranslateText(line);
    if (end < message.size()) shown += carriageReturn ? "\r\n" : "\n";
    start = end + 1;
  }
  return shown;
}

std::string ShownErrorText(const std::exception& error) {
  // A refused character: the designed sentence translated, then the character and field.
  if (const auto* refused = dynamic_cast<const ECharacterNotStored*>(&error))
    return FormatMessage(
        FormatMessage(TranslateText(dbconsts::SCharacterNotStored), refused->Character()),
        refused->Field());
  return ShownErrorText(std::string(error.what()));
}

namespace {
constexpr std::string_view kCodePrefix = "DBIERR_";

// The codes a person meets most, in words; the first whose name a message holds tells it.
struct TCodeWords {
  const char* code;
  const char* words;
};
constexpr TCodeWords kCodeWords[] = {
    {"DBIERR_KEYVIOL", "Another record already has this key value."},
    {"DBIERR_INVALIDBLOBLEN", "A value is too large for its field."},
    {"DBIERR_LOCKED", "The record is locked by another user. Try again later."},
    {"DBIERR_FILELOCKED", "The file is locked by another user. Try again later."},
    {"DBIERR_FILEBUSY", "The file is in use by another user. Try again later."},
    {"DBIERR_OPTRECLOCKFAILED", "Another user changed the record since it was read."},
    {"DBIERR_RECDELETED", "The record was deleted by another user."},
    {"DBIERR_RECNOTFOUND", "The record was not found."},
    {"DBIERR_REQDERR", "A field that must have a value is empty."},
    {"DBIERR_TABLEREADONLY", "The table can only be read, not changed."},
    {"DBIERR_READONLYDB", "The database can only be read, not changed."},
    {"DBIERR_NOTSUFFTABLERIGHTS", "You do not have the rights to change this table."},
    {"DBIERR_INVALIDPASSWORD", "The password or owner name is wrong."},
    {"DBIERR_NOSUCHFILE", "A file of the table is missing."},
};
constexpr const char* kFailedInWords = "The operation could not be completed.";

// "Btrieve Status 5 - The record has ...": the status number is a code, the rest words.
constexpr std::string_view kStatusPrefix = "Btrieve Status ";
constexpr std::string_view kStatusSeparator = " - ";

bool IsCodeLine(std::string_view line) {
  return line.find(kCodePrefix) != std::string_view::npos || line.substr(0, 14) == "DBI Error Code";
}

std::string WordsForCodes(const std::string& details) {
  for (const TCodeWords& entry : kCodeWords)
    if (details.find(entry.code) != std::string::npos) return TranslateText(entry.words);
  return TranslateText(kFailedInWords);
}

void AddLine(std::string& text, const std::string& line) {
  if (!text.empty()) text += "\n";
  text += line;
}
}  // namespace

const std::vector<const char*>& ErrorExplanations() {
  static const std::vector<const char*> texts = [] {
    std::vector<const char*> all;
    for (const TCodeWords& entry : kCodeWords) all.push_back(entry.words);
    all.push_back(kFailedInWords);
    return all;
  }();
  return texts;
}

TShownError SplitErrorText(const std::string& message) {
  TShownError shown;
  bool statusWords = false;
  std::size_t start = 0;
  while (start <= message.size()) {
    std::size_t end = message.find('\n', start);
    if (end == std::string::npos) end = message.size();
    std::string line = message.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::string translated = TranslateText(line);
    const std::size_t words = translated.find(kStatusSeparator);
    if (IsCodeLine(line)) {
      AddLine(shown.details, line);
    } else if (line.substr(0, kStatusPrefix.size()) == kStatusPrefix &&
               words != std::string::npos) {
      AddLine(shown.details, line);
      AddLine(shown.text, translated.substr(words + kStatusSeparator.size()));
      statusWords = true;
    } else if (!line.empty()) {
      AddLine(shown.text, translated);
    }
    start = end + 1;
  }
  // A message of codes alone starts with what the code means, in words.
  if (!shown.details.empty() && !statusWords)
    shown.text = WordsForCodes(shown.details) + (shown.text.empty() ? "" : "\n" + shown.text);
  return shown;
}

void ShowException(const std::exception& error) {
  if (!IsShownToUser(error)) return;
  std::fprintf(stderr, "vader: %s\n", error.what());
  // A refused character is told in a sentence of its own; other errors in words, with their
  // codes under the details.
  if (dynamic_cast<const ECharacterNotStored*>(&error)) {
    MessageDlg(ShownErrorText(error), TMsgDlgType::mtError, mbOK, 0);
    return;
  }
  const TShownError shown = SplitErrorText(error.what());
  ErrorDlg(shown.text, shown.details);
}

void Guarded(const std::function<void()>& action) {
  try {
    action();
  } catch (const std::exception& error) {
    ShowException(error);
  }
}

}  // namespace vader::ui
