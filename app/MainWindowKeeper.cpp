#include "MainWindowKeeper.h"

#include <QApplication>
#include <QTimer>

#include "MainForm.h"
#include "ui/ErrorDisplay.h"
#include "ui/FormWindow.h"

namespace vader::app {

MainWindowKeeper::~MainWindowKeeper() {
  if (form_) loop_.Hide(form_.get());
}

TForm* MainWindowKeeper::Create() {
  form_ = std::make_unique<TMainForm>(nullptr, [this] { ScheduleRebuild(); });
  form_->AfterConstruction();
  Application().SetMainForm(form_.get());
  return form_.get();
}

void MainWindowKeeper::ScheduleRebuild() {
  QTimer::singleShot(0, qApp, [this] { ui::Guarded([this] { Rebuild(); }); });
}

void MainWindowKeeper::Rebuild() {
  std::unique_ptr<TForm> old = std::move(form_);
  const ui::TFormWindow* oldWindow = loop_.WindowOf(old.get());
  const QRect where = oldWindow ? oldWindow->geometry() : QRect();
  const bool shown = oldWindow && oldWindow->isVisible();
  Create();
  if (shown) {
    loop_.Show(form_.get());
    loop_.WindowOf(form_.get())->setGeometry(where);
  }
  loop_.Hide(old.get());  // the new window is up first, so the loop does not end
}

}  // namespace vader::app
