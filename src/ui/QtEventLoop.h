#pragma once
// The Qt side of the application object: shows windows, runs the message loop, delivers
// posted broadcasts through it, and answers the framework's dialogs (messages and the
// database login) and cursor changes.

#include <QStringList>
#include <map>
#include <memory>

#include "framework/Forms.h"

class QWidget;

namespace vader::ui {

class TFormWindow;

class TQtEventLoop : public TEventLoop {
 public:
  // Requires a QApplication. Installs the dialog handler, the cursor hook and the wake-up
  // for posted messages; the destructor removes them again.
  TQtEventLoop();
  ~TQtEventLoop() override;

  void Show(TForm* form) override;
  void Run(TForm* mainForm) override;
  void ProcessMessages() override;
  void Quit() override;

  // Closes and destroys the window of Form (the form itself stays).
  void Hide(TForm* form);
  TFormWindow* WindowOf(TForm* form) const;

 private:
  std::map<TForm*, std::unique_ptr<TFormWindow>> windows_;
  TForm* lastShown_ = nullptr;  // the window shown last, which stays in front
};

// One line per visible widget under Root, depth first: "<class> <name>: <text> [<tip>]",
// with menu entries as "menu <name>: <text>". For tests and diagnostics.
QStringList DescribeWidgets(QWidget* root);

}  // namespace vader::ui
