#include "MainWindowKeeper.h"

#include "MainForm.h"
#include "WindowLayout.h"

namespace vader::app {

MainWindowKeeper::~MainWindowKeeper() {
  if (!form_) return;
  SaveWindowLayout(*form_);
  loop_.Hide(form_.get());
  if (Application().MainForm() == form_.get()) Application().SetMainForm(nullptr);
}

TMainForm* MainWindowKeeper::Create() {
  form_ = std::make_unique<TMainForm>(nullptr);
  form_->AfterConstruction();
  Application().SetMainForm(form_.get());
  return form_.get();
}

}  // namespace vader::app
