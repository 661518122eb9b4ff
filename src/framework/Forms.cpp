#include "framework/Forms.h"

#include "platform/WindowMessages.h"

namespace vader {

std::function<void()> InitProc;

void TForm::AfterConstruction() {
  if (Loading()) {
    EndLoading();  // runs Loaded(), which runs the creation handler
  } else {
    FormCreate();
  }
}

// Owned components have finished loading by now, so datasets stored as active are open
// when the creation handler runs.
void TForm::Loaded() { FormCreate(); }

void TScreen::SetCursor(TCursor cursor) {
  if (cursor == cursor_) return;
  cursor_ = cursor;
  if (OnCursorChange) OnCursorChange(cursor);
}

TScreen& Screen() {
  static TScreen screen;
  return screen;
}

void TApplication::Initialize() {
  if (initialized_) return;
  initialized_ = true;
  if (InitProc) InitProc();
}

void TApplication::Run() {
  if (loop_ && mainForm_) loop_->Run(mainForm_);
}

void TApplication::ProcessMessages() {
  if (loop_) {
    loop_->ProcessMessages();
  } else {
    platform::DeliverPostedMessages();
  }
}

void TApplication::Terminate() {
  if (loop_) loop_->Quit();
}

TApplication& Application() {
  static TApplication* app = new TApplication();  // lives until the process exits
  return *app;
}

}  // namespace vader
