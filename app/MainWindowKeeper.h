#pragma once
// Owns the main window and rebuilds it after a language switch, so that the whole window
// shows the new language (windows translate themselves only when they are created).

#include <memory>

#include "framework/Forms.h"
#include "ui/QtEventLoop.h"

namespace vader::app {

class MainWindowKeeper {
 public:
  explicit MainWindowKeeper(ui::TQtEventLoop& loop) : loop_(loop) {}
  ~MainWindowKeeper();

  // Creates the main window (translating itself) and makes it the application's main form.
  TForm* Create();
  TForm* Form() const { return form_.get(); }

 private:
  // Runs once the menu click that asked for it has returned.
  void ScheduleRebuild();
  void Rebuild();

  ui::TQtEventLoop& loop_;
  std::unique_ptr<TForm> form_;
};

}  // namespace vader::app
