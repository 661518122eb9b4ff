// Windows realised with Qt on the offscreen platform: the widgets show the controls' texts,
// follow later changes, and survive either side going first.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include "framework/DB.h"
#include "framework/DBCtrls.h"
#include "language/Zothrtns.h"
#include "platform/WindowMessages.h"
#include "ui/ErrorDisplay.h"
#include "ui/FormWindow.h"
#include "ui/QtEventLoop.h"
#include "ui/QtFixture.h"

namespace vader::ui {
namespace {

template <typename Control>
Control* Make(TForm& form, const char* name, const std::string& caption) {
  auto* control = new Control(&form);
  control->SetName(name);
  control->SetParent(&form);
  control->SetCaption(caption);
  return control;
}

TEST_F(QtTest, WidgetsShowTheTextsAndFollowChanges) {
  TForm form(nullptr);
  form.SetCaption("Main \x80");  // the euro sign of the ANSI code page
  auto* label = Make<TLabel>(form, "Label", "Hello");
  label->SetHint("A hint");
  auto* check = Make<TCheckBox>(form, "Check", "Check me");
  TFormWindow window(&form);
  EXPECT_EQ(window.windowTitle(), QString::fromUtf8("Main \u20AC"));
  auto* qlabel = window.findChild<QLabel*>("Label");
  ASSERT_NE(qlabel, nullptr);
  EXPECT_EQ(qlabel->text(), "Hello");
  EXPECT_EQ(qlabel->toolTip(), "A hint");
  EXPECT_EQ(window.findChild<QCheckBox*>("Check")->text(), "Check me");

  label->SetCaption("Bonjour");
  EXPECT_EQ(qlabel->text(), "Bonjour");
  delete check;  // the control goes first: its widget stays, unconnected
  SUCCEED();
}

TEST_F(QtTest, ControlsOutliveTheirWindow) {
  TForm form(nullptr);
  auto* label = Make<TLabel>(form, "Label", "x");
  {
    TFormWindow window(&form);
    EXPECT_NE(label->Peer(), nullptr);
  }
  EXPECT_EQ(label->Peer(), nullptr);
  label->SetCaption("still fine");
}

TEST_F(QtTest, ListColumnsGridHeadersAndPages) {
  TForm form(nullptr);
  auto* list = Make<TListView>(form, "List", "");
  list->AddColumn("Name");
  list->AddColumn("City");
  list->AddRow({"Smith", "Paris"});
  auto* data = new TDataSet(&form);
  data->FieldDefs().Add("CODE", TFieldType::ftInteger);
  data->Open();
  data->Fields(0)->SetDisplayLabel("Code");
  auto* source = new TDataSource(&form);
  source->SetDataSet(data);
  auto* grid = Make<TwwDBGrid>(form, "Grid", "");
  grid->SetDataSource(source);
  TFormWindow window(&form);
  window.show();
  const QStringList lines = DescribeWidgets(&window);
  EXPECT_TRUE(lines.contains("columns List: Name | City")) << lines.join("\n").toStdString();
  EXPECT_TRUE(lines.contains("grid Grid: Code")) << lines.join("\n").toStdString();
  EXPECT_EQ(window.findChild<QTreeWidget*>("List")->topLevelItem(0)->text(1), "Paris");
}

TEST_F(QtTest, ButtonClicksReachTheControlThroughTheEventLoop) {
  TForm form(nullptr);
  auto* button = Make<TButton>(form, "Button", "&Go");
  int clicks = 0;
  button->OnClick = [&](TComponent*) { ++clicks; };
  TFormWindow window(&form);
  window.findChild<QPushButton*>("Button")->click();
  EXPECT_EQ(clicks, 0);  // queued, so a handler may close its own window
  QApplication::processEvents();
  EXPECT_EQ(clicks, 1);
}

TEST_F(QtTest, PostedBroadcastsArriveThroughTheQtEventLoop) {
  TQtEventLoop loop;
  platform::DiscardPendingBroadcasts();
  std::vector<std::uint32_t> received;
  const int id = platform::AddBroadcastReceiver(
      [&](const platform::PostedMessage& m) { received.push_back(m.message); });
  platform::PostBroadcastMessage(0xC123, 0, 0);
  EXPECT_TRUE(received.empty());
  QApplication::processEvents();
  EXPECT_EQ(received, std::vector<std::uint32_t>{0xC123});
  platform::RemoveBroadcastReceiver(id);
}

TEST_F(QtTest, ConfirmPromptShowsAQtWarningAndReportsTheAnswer) {
  TQtEventLoop loop;
  Screen().SetCursor(crHourGlass);
  QString title, text;
  bool arrowWhileAsking = false;
  auto answer = [&](QMessageBox::StandardButton button) {
    QTimer::singleShot(0, [&, button] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      ASSERT_NE(box, nullptr);
      title = box->windowTitle();
      text = box->text();
      arrowWhileAsking = QApplication::overrideCursor() == nullptr;
      box->button(button)->click();
    });
  };
  answer(QMessageBox::Yes);
  EXPECT_TRUE(ConfirmPrompt("Delete the record?"));
  EXPECT_EQ(title, "Warning");
  EXPECT_EQ(text, "Delete the record?");
  EXPECT_TRUE(arrowWhileAsking);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);  // hourglass is back
  answer(QMessageBox::No);
  EXPECT_FALSE(ConfirmPrompt("Again?"));
  Screen().SetCursor(crDefault);
}

TEST_F(QtTest, AnErrorShowsWordsInFrontAndItsCodesInTheDetails) {
  TQtEventLoop loop;
  QString text, details;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    text = box->text();
    details = box->detailedText();
    box->button(QMessageBox::Ok)->click();
  });
  ShowException(std::runtime_error("DBIERR_INVALIDBLOBLEN\nTable: Employees"));
  EXPECT_EQ(text, "A value is too large for its field.\nTable: Employees");
  EXPECT_EQ(details, "DBIERR_INVALIDBLOBLEN");

  // The engine's status line keeps its words in front; its number goes with the code.
  const TShownError status = SplitErrorText(
      "Btrieve Status 5 - The record has a duplicate key value.\r\nDBI Error Code = "
      "DBIERR_KEYVIOL");
  EXPECT_EQ(status.text, "The record has a duplicate key value.");
  EXPECT_EQ(
      status.details,
      "Btrieve Status 5 - The record has a duplicate key value.\nDBI Error Code = DBIERR_KEYVIOL");
  EXPECT_EQ(SplitErrorText("Cannot open the table.").details, "");
}

}  // namespace
}  // namespace vader::ui
