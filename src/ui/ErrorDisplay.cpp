#include "ui/ErrorDisplay.h"

#include <cstdio>

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

void ShowException(const std::exception& error) {
  if (!IsShownToUser(error)) return;
  std::fprintf(stderr, "vader: %s\n", error.what());
  MessageDlg(ShownErrorText(error.what()), TMsgDlgType::mtError, mbOK, 0);
}

void Guarded(const std::function<void()>& action) {
  try {
    action();
  } catch (const std::exception& error) {
    ShowException(error);
  }
}

}  // namespace vader::ui
