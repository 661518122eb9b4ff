#include "ui/QtEventLoop.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QTreeWidget>

#include "framework/Dialogs.h"
#include "platform/WindowMessages.h"
#include "ui/FormWindow.h"
#include "ui/LongWorkWindow.h"
#include "ui/QtText.h"

namespace vader::ui {
namespace {

QMessageBox::Icon IconOf(TMsgDlgType type) {
  switch (type) {
    case TMsgDlgType::mtWarning: return QMessageBox::Warning;
    case TMsgDlgType::mtError: return QMessageBox::Critical;
    case TMsgDlgType::mtInformation: return QMessageBox::Information;
    case TMsgDlgType::mtConfirmation: return QMessageBox::Question;
    case TMsgDlgType::mtCustom: return QMessageBox::NoIcon;
  }
  return QMessageBox::NoIcon;
}

TModalResult ShowMessageBox(const MessageDialogRequest& request) {
  QMessageBox box(IconOf(request.type), ToQString(request.title), ToQString(request.message));
  box.setObjectName("MessageDialog");
  if (!request.details.empty()) box.setDetailedText(ToQString(request.details));
  // Each button carries the caption the request gives it (translated), not Qt's own.
  const std::pair<TMsgDlgButtons, QMessageBox::StandardButton> buttons[] = {
      {mbYes, QMessageBox::Yes}, {mbNo, QMessageBox::No},
      {mbOK, QMessageBox::Ok},   {mbCancel, QMessageBox::Cancel}};
  for (const auto& [mask, button] : buttons) {
    if (!(request.buttons & mask)) continue;
    QAbstractButton* added = box.addButton(button);
    for (const auto& [which, caption] : request.buttonCaptions)
      if (which == mask) added->setText(ToQString(caption));
  }
  switch (box.exec()) {
    case QMessageBox::Yes: return mrYes;
    case QMessageBox::No: return mrNo;
    case QMessageBox::Ok: return mrOk;
    default: return mrCancel;
  }
}

// The database login: user name (filled in) and password, OK or Cancel.
bool ShowLoginDialog(const std::string& databaseName, std::string& userName,
                     std::string& password) {
  QDialog dialog;
  dialog.setObjectName("LoginDialog");
  dialog.setWindowTitle(ToQString("Database Login"));
  auto* layout = new QFormLayout(&dialog);
  auto* database = new QLabel(ToQString(databaseName), &dialog);
  auto* user = new QLineEdit(ToQString(userName), &dialog);
  user->setObjectName("UserName");
  auto* secret = new QLineEdit(&dialog);
  secret->setObjectName("Password");
  secret->setEchoMode(QLineEdit::Password);
  layout->addRow(ToQString("Database:"), database);
  layout->addRow(ToQString("User Name:"), user);
  layout->addRow(ToQString("Password:"), secret);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  layout->addRow(buttons);
  (userName.empty() ? user : secret)->setFocus();
  if (dialog.exec() != QDialog::Accepted) return false;
  userName = FromQString(user->text());
  password = FromQString(secret->text());
  return true;
}

void ApplyCursor(TCursor cursor) {
  while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
  if (cursor == crHourGlass) QApplication::setOverrideCursor(Qt::WaitCursor);
  if (cursor == crArrow) QApplication::setOverrideCursor(Qt::ArrowCursor);
}

QString Line(QWidget* w, const QString& kind, const QString& text) {
  QString line = kind + " " + w->objectName() + ": " + text;
  if (!w->toolTip().isEmpty()) line += " [" + w->toolTip() + "]";
  return line;
}

void Describe(QWidget* w, QStringList& out) {
  if (!w->isVisible()) return;
  if (auto* label = qobject_cast<QLabel*>(w)) {
    if (!label->text().isEmpty()) out << Line(w, "label", label->text());
  } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
    out << Line(w, "button", button->text());
  } else if (auto* box = qobject_cast<QGroupBox*>(w)) {
    out << Line(w, "group", box->title());
  } else if (auto* bar = qobject_cast<QTabBar*>(w)) {
    QStringList tabs;
    for (int i = 0; i < bar->count(); ++i) tabs << bar->tabText(i);
    out << Line(w, "tabs", tabs.join(" | "));
  } else if (auto* tree = qobject_cast<QTreeWidget*>(w)) {
    QStringList columns;
    for (int i = 0; i < tree->columnCount(); ++i) columns << tree->headerItem()->text(i);
    out << Line(w, "columns", columns.join(" | "));
  } else if (auto* table = qobject_cast<QTableView*>(w)) {
    QStringList columns;
    const QAbstractItemModel* model = table->model();
    for (int i = 0; model && i < model->columnCount(); ++i)
      columns << model->headerData(i, Qt::Horizontal).toString();
    out << Line(w, "grid", columns.join(" | "));
  } else if (auto* window = qobject_cast<QMainWindow*>(w)) {
    out << Line(w, "window", window->windowTitle());
    if (QMenuBar* bar = window->menuBar()) {
      std::function<void(const QList<QAction*>&, const QString&)> menus =
          [&](const QList<QAction*>& actions, const QString& path) {
            for (QAction* a : actions) {
              if (a->isSeparator()) continue;
              out << "menu " + path + a->text();
              if (a->menu()) menus(a->menu()->actions(), path + a->text() + " > ");
            }
          };
      menus(bar->actions(), "");
    }
  }
  for (QObject* child : w->children())
    if (auto* cw = qobject_cast<QWidget*>(child); cw && !qobject_cast<QMenuBar*>(cw))
      Describe(cw, out);
}

}  // namespace

TQtEventLoop::TQtEventLoop() {
  SetMessageDialogHandler(ShowMessageBox);
  SetLoginDialogHandler(ShowLoginDialog);
  Screen().OnCursorChange = ApplyCursor;
  SetLongWorkViewFactory(MakeLongWorkWindow);
  platform::SetPostWakeUp([] {
    QTimer::singleShot(0, qApp, [] { platform::DeliverPostedMessages(); });
  });
}

TQtEventLoop::~TQtEventLoop() {
  platform::SetPostWakeUp(nullptr);
  SetLongWorkViewFactory(nullptr);
  Screen().OnCursorChange = nullptr;
  SetMessageDialogHandler(nullptr);
  SetLoginDialogHandler(nullptr);
  windows_.clear();
}

void TQtEventLoop::Show(TForm* form) {
  auto& window = windows_[form];
  if (!window) window = std::make_unique<TFormWindow>(form);
  window->show();
  lastShown_ = form;
}

void TQtEventLoop::Run(TForm* mainForm) {
  // The main window comes up behind the windows opened before it (a database from the
  // command line), which the person asked for.
  TForm* front = lastShown_;
  Show(mainForm);
  if (TFormWindow* window = front && front != mainForm ? WindowOf(front) : nullptr) {
    window->raise();
    window->activateWindow();
    lastShown_ = front;
  }
  platform::DeliverPostedMessages();  // what was posted before the loop ran
  QApplication::exec();
}

void TQtEventLoop::ProcessMessages() {
  QApplication::processEvents();
  platform::DeliverPostedMessages();
}

void TQtEventLoop::Quit() { QApplication::quit(); }

void TQtEventLoop::Hide(TForm* form) {
  auto it = windows_.find(form);
  if (it == windows_.end()) return;
  std::unique_ptr<TFormWindow> window = std::move(it->second);
  windows_.erase(it);
  if (lastShown_ == form) lastShown_ = nullptr;
  window->hide();
}

TFormWindow* TQtEventLoop::WindowOf(TForm* form) const {
  auto it = windows_.find(form);
  return it == windows_.end() ? nullptr : it->second.get();
}

QStringList DescribeWidgets(QWidget* root) {
  QStringList out;
  Describe(root, out);
  return out;
}

}  // namespace vader::ui
