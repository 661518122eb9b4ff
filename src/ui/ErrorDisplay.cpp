#include "ui/ErrorDisplay.h"

#include <cstdio>

#include "framework/Dialogs.h"
#include "framework/FrameworkErrors.h"

namespace vader::ui {

void ShowException(const std::exception& error) {
  if (!IsShownToUser(error)) return;
  std::fprintf(stderr, "vader: %s\n", error.what());
  MessageDlg(error.what(), TMsgDlgType::mtError, mbOK, 0);
}

void Guarded(const std::function<void()>& action) {
  try {
    action();
  } catch (const std::exception& error) {
    ShowException(error);
  }
}

}  // namespace vader::ui
