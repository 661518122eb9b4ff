#include "ui/LongWorkWindow.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/QtText.h"

namespace vader::ui {
namespace {

class TLongWorkWindow : public TLongWorkView {
 public:
  ~TLongWorkWindow() override {
    if (arrowCursor_) QApplication::restoreOverrideCursor();
  }

  void Show(const std::string& title, const std::string& text, std::string stopCaption,
            std::function<void()> onStop) override {
    dialog_ = std::make_unique<QDialog>();
    dialog_->setObjectName("LongWorkDialog");
    dialog_->setWindowTitle(ToQString(title));
    // Input goes to this window alone: the others show the data the work is changing.
    dialog_->setWindowModality(Qt::ApplicationModal);
    auto* layout = new QVBoxLayout(dialog_.get());
    text_ = new QLabel(ToQString(text), dialog_.get());
    text_->setObjectName("LongWorkText");
    text_->setMinimumWidth(360);
    layout->addWidget(text_);
    auto* stop = new QPushButton(ToQString(stopCaption), dialog_.get());
    stop->setObjectName("StopButton");
    QObject::connect(stop, &QPushButton::clicked, [onStop = std::move(onStop), stop] {
      stop->setEnabled(false);
      onStop();
    });
    layout->addWidget(stop, 0, Qt::AlignRight);
    // Esc or closing the window asks to stop as well.
    QObject::connect(dialog_.get(), &QDialog::rejected, stop, &QPushButton::click);
    // A wait cursor of the work would hide that the Stop button can be clicked.
    QApplication::setOverrideCursor(Qt::ArrowCursor);
    arrowCursor_ = true;
    dialog_->show();
    dialog_->raise();
  }

  void SetText(const std::string& text) override {
    if (text_) text_->setText(ToQString(text));
  }

  void ProcessEvents() override {
    QApplication::processEvents(dialog_ ? QEventLoop::AllEvents
                                        : QEventLoop::ExcludeUserInputEvents);
  }

 private:
  std::unique_ptr<QDialog> dialog_;
  QLabel* text_ = nullptr;
  bool arrowCursor_ = false;
};

}  // namespace

std::unique_ptr<TLongWorkView> MakeLongWorkWindow() { return std::make_unique<TLongWorkWindow>(); }

}  // namespace vader::ui
