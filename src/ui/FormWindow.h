#pragma once
// A window on screen for a TForm: a Qt main window with the form's menu bar and one widget
// per control, placed where the control says. Each control gets a peer that keeps its
// widget's texts and bounds in step with the control's. The form's bounds are the window's
// place and the size of its client area; a window resized on screen lays its controls out
// anew through their alignment and anchors.

#include <QMainWindow>
#include <memory>
#include <vector>

#include "framework/Forms.h"

class QWidget;

namespace vader::ui {

class TFormWindow : public QMainWindow {
 public:
  // Realises Form; the window does not own the form.
  explicit TFormWindow(TForm* form);
  ~TFormWindow() override;

  TForm* Form() const { return form_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void moveEvent(QMoveEvent* event) override;

 private:
  // Gives the window the form's place and client size.
  void PlaceWindow();
  void BuildMenuBar();
  void RealiseChildren(TWinControl* parent, QWidget* container);
  QWidget* Realise(TControl* control, QWidget* container);

  TForm* form_;
  std::vector<std::unique_ptr<TControlPeer>> peers_;
  QObject* followSize_ = nullptr;  // tells the form the size of the client area
};

}  // namespace vader::ui
