#include "ui/ErrorDisplay.h"

#include <cstdio>

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

void ShowException(const std::exception& error) {
  if (!IsShownToUser(error)) return;
  std::fprintf(stderr, "vader: %s\n", error.what());
  MessageDlg(ShownErrorText(error), TMsgDlgType::mtError, mbOK, 0);
}

void Guarded(const std::function<void()>& action) {
  try {
    action();
  } catch (const std::exception& error) {
    ShowException(error);
  }
}

}  // namespace vader::ui
