#pragma once
// Owns the main window: creates it (it translates itself) as the application's main form, and
// closes and frees it when the keeper goes, which the application does only after the modules
// have shut down.

#include <memory>

#include "framework/Forms.h"
#include "ui/QtEventLoop.h"

namespace vader::app {

class TMainForm;

class MainWindowKeeper {
 public:
  explicit MainWindowKeeper(ui::TQtEventLoop& loop) : loop_(loop) {}
  ~MainWindowKeeper();

  // Creates the main window and makes it the application's main form.
  TMainForm* Create();
  TMainForm* Form() const { return form_.get(); }

 private:
  ui::TQtEventLoop& loop_;
  std::unique_ptr<TMainForm> form_;
};

}  // namespace vader::app
