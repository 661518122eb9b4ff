// The data-aware grid over an in-memory table: rows read in chunks, the current-row marker,
// and edits through edit and post.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>

#include "common/MemoryDataSet.h"
#include "common/TempDir.h"
#include "framework/Dialogs.h"
#include "framework/Forms.h"
#include "language/DesignedTexts.h"
#include "language/zInter.h"
#include "platform/ProcessInfo.h"
#include "platform/WindowMessages.h"
#include "ui/DBGrid.h"
#include "ui/FormWindow.h"
#include "ui/QtFixture.h"

namespace vader::ui {
namespace {

using testing::TMemoryDataSet;

class DBGridTest : public QtTest {
 protected:
  void SetUp() override {
    previous_ = SetMessageDialogHandler([this](const MessageDialogRequest& r) {
      shown.push_back(r.message);
      return mrOk;
    });
    table.SetName("Table");
    table.FieldDefs().Add("ID", TFieldType::ftInteger);
    table.FieldDefs().Add("NAME", TFieldType::ftString, 20);
    table.FieldDefs().Add("AGE", TFieldType::ftSmallint);
    source.SetDataSet(&table);
  }
  void TearDown() override { SetMessageDialogHandler(previous_); }
  void Fill(int rows) {
    for (int i = 1; i <= rows; ++i)
      table.AddRow({std::int64_t{i}, "Name" + std::to_string(i), std::int64_t{i % 90}});
  }
  QString Cell(int row, int column) {
    return model.data(model.index(row, column), Qt::DisplayRole).toString();
  }
  QString Marker(int row) {
    return model.headerData(row, Qt::Vertical, Qt::DisplayRole).toString();
  }
  std::int64_t Id() { return table.FieldByName("ID")->AsInteger(); }

  TMemoryDataSet table;
  TDataSource source{nullptr};
  TDBGridModel model;
  std::vector<std::string> shown;

 private:
  MessageDialogHandler previous_;
};

TEST_F(DBGridTest, AHundredThousandRowsAppearWithoutBeingReadWhole) {
  Fill(100000);
  table.Open();
  table.getRecordCalls = 0;
  model.SetDataSource(&source);
  EXPECT_EQ(model.rowCount(), TDBGridModel::kFetchChunk);
  EXPECT_LT(table.getRecordCalls, 2000);
  ASSERT_EQ(model.columnCount(), 3);
  EXPECT_EQ(model.headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), "NAME");
  EXPECT_EQ(Cell(0, 1), "Name1");
  EXPECT_TRUE(model.canFetchMore(QModelIndex()));
  int scrolls = 0;
  table.AfterScroll = [&](TDataSet*) { ++scrolls; };
  model.fetchMore(QModelIndex());
  EXPECT_EQ(model.rowCount(), 2 * TDBGridModel::kFetchChunk);
  EXPECT_EQ(scrolls, 0);  // reading rows is no move of the dataset
  EXPECT_EQ(Cell(300, 0), "301");
  EXPECT_EQ(Id(), 1);  // reading did not move the dataset

  // The last row reads only the rows before it; scrolling up brings in more, to the first.
  table.getRecordCalls = 0;
  table.Last();
  EXPECT_LT(table.getRecordCalls, 2000);
  int last = model.CurrentRow();
  EXPECT_EQ(Cell(last, 0), "100000");
  EXPECT_EQ(Cell(0, 0), QString::number(100000 - last));
  EXPECT_EQ(model.RowFromLast(last), 0);
  EXPECT_EQ(model.FetchBefore(), TDBGridModel::kFetchChunk);
  EXPECT_EQ(model.CurrentRow(), last + TDBGridModel::kFetchChunk);
  table.Prior();
  last = model.CurrentRow() + 1;
  EXPECT_EQ(Cell(last - 1, 0), "99999");
  EXPECT_EQ(model.RowFromLast(last - 1), 1);
  EXPECT_EQ(model.RowFromFirst(last), -1);
  table.getRecordCalls = 0;
  table.First();  // far back again: read afresh from the first
  EXPECT_LT(table.getRecordCalls, 2000);
  EXPECT_EQ(model.CurrentRow(), 0);
  EXPECT_EQ(model.RowFromFirst(0), 0);

  TDBGridView view;
  view.Model()->SetDataSource(&source);
  view.resize(400, 300);
  view.show();
  QApplication::processEvents();
  EXPECT_LT(view.Model()->rowCount(), 100000);
}

TEST_F(DBGridTest, TheMarkerFollowsTheDataSetAndRowsFollowTheMarker) {
  Fill(600);
  table.Open();
  model.SetDataSource(&source);
  EXPECT_EQ(Marker(0), QString::fromUtf8("\u25B6"));
  table.MoveBy(3);
  EXPECT_EQ(model.CurrentRow(), 3);
  EXPECT_EQ(Marker(3), QString::fromUtf8("\u25B6"));
  EXPECT_EQ(Marker(0), "");
  model.MoveTo(10);
  EXPECT_EQ(Id(), 11);
  // Far beyond the rows read so far: the rows around it are read instead.
  ASSERT_TRUE(table.Locate("ID", {std::int64_t{580}}, 0));
  const int row = model.CurrentRow();
  EXPECT_EQ(Cell(row, 1), "Name580");
  EXPECT_EQ(Cell(row - 1, 1), "Name579");
  EXPECT_EQ(model.RowFromFirst(row), -1);
  EXPECT_EQ(model.RowFromLast(row), 20);
  table.Close();
  EXPECT_EQ(model.rowCount(), 0);
  EXPECT_EQ(model.CurrentRow(), -1);
}

TEST_F(DBGridTest, MovesKeepTheRowsAndChangesReadThemAgain) {
  Fill(50);
  table.Open();
  model.SetDataSource(&source);
  int resets = 0;
  QObject::connect(&model, &QAbstractItemModel::modelReset, [&] { ++resets; });
  table.Last();
  table.First();
  ASSERT_TRUE(table.Locate("ID", {std::int64_t{30}}, 0));
  model.MoveTo(4);
  EXPECT_EQ(resets, 0);
  EXPECT_EQ(model.CurrentRow(), 4);
  table.SetOnFilterRecord(
      [](TDataSet* d, bool& accept) { accept = d->FieldByName("ID")->AsInteger() > 45; });
  table.SetFiltered(true);
  EXPECT_EQ(resets, 1);
  EXPECT_EQ(model.rowCount(), 5);
  EXPECT_EQ(Cell(0, 0), "46");
  table.Refresh();
  EXPECT_EQ(resets, 2);
}

TEST_F(DBGridTest, TheRowIsTheUnitOfEditingLeavingItPostsCancelTakesItBack) {
  Fill(5);
  table.Open();
  model.SetDataSource(&source);
  int posts = 0;
  table.AfterPost = [&](TDataSet*) { ++posts; };
  ASSERT_TRUE(model.flags(model.index(2, 1)) & Qt::ItemIsEditable);
  ASSERT_TRUE(model.setData(model.index(2, 1), "Edited", Qt::EditRole));
  ASSERT_TRUE(model.setData(model.index(2, 2), "77", Qt::EditRole));  // the next cell: same edit
  EXPECT_EQ(posts, 0);
  EXPECT_EQ(table.State(), TDataSetState::dsEdit);
  EXPECT_EQ(Marker(2), QString::fromUtf8("\u270E"));
  EXPECT_EQ(Cell(2, 1), "Edited");
  model.MoveTo(3);  // leaving the row posts it
  EXPECT_EQ(posts, 1);
  EXPECT_EQ(table.State(), TDataSetState::dsBrowse);
  EXPECT_EQ(Cell(2, 1), "Edited");
  EXPECT_EQ(Cell(2, 2), "77");

  // Two cells typed, then Cancel: the whole row comes back as stored.
  ASSERT_TRUE(model.setData(model.index(1, 1), "Gone", Qt::EditRole));
  ASSERT_TRUE(model.setData(model.index(1, 2), "55", Qt::EditRole));
  table.Cancel();
  EXPECT_EQ(posts, 1);
  EXPECT_EQ(Cell(1, 1), "Name2");
  EXPECT_EQ(Cell(1, 2), "2");
  EXPECT_EQ(Marker(1), QString::fromUtf8("\u25B6"));

  // A refused value keeps what was typed before it in the row.
  ASSERT_TRUE(model.setData(model.index(1, 1), "Kept", Qt::EditRole));
  EXPECT_FALSE(model.setData(model.index(1, 2), "old", Qt::EditRole));  // not a number
  EXPECT_EQ(shown, std::vector<std::string>{"'old' is not a valid integer value"});
  EXPECT_EQ(table.State(), TDataSetState::dsEdit);
  EXPECT_EQ(Cell(1, 1), "Kept");
  table.Cancel();
  EXPECT_FALSE(model.setData(model.index(1, 2), "old", Qt::EditRole));
  EXPECT_EQ(table.State(), TDataSetState::dsBrowse);

  table.readOnly = true;
  EXPECT_FALSE(model.flags(model.index(0, 1)) & Qt::ItemIsEditable);
}

TEST_F(DBGridTest, EscTakesBackTheRowAndCtrlEndAndTheThumbReachTheLastRecord) {
  Fill(100000);
  table.Open();
  TDBGridView view;
  view.Model()->SetDataSource(&source);
  view.resize(400, 300);
  view.show();
  QApplication::processEvents();
  TDBGridModel& shownModel = *view.Model();
  const auto cell = [&](int row) {
    return shownModel.data(shownModel.index(row, 1), Qt::DisplayRole).toString();
  };

  ASSERT_TRUE(shownModel.setData(shownModel.index(0, 1), "Typed", Qt::EditRole));
  QTest::keyClick(&view, Qt::Key_Escape);
  EXPECT_EQ(table.State(), TDataSetState::dsBrowse);
  EXPECT_EQ(cell(0), "Name1");

  QTest::keyClick(&view, Qt::Key_End, Qt::ControlModifier);
  EXPECT_EQ(Id(), 100000);
  EXPECT_EQ(shownModel.RowFromLast(shownModel.CurrentRow()), 0);
  EXPECT_EQ(view.currentIndex().row(), shownModel.CurrentRow());
  QTest::keyClick(&view, Qt::Key_Home, Qt::ControlModifier);
  EXPECT_EQ(Id(), 1);
  EXPECT_EQ(shownModel.RowFromFirst(shownModel.CurrentRow()), 0);

  // The thumb dragged to the bottom: the last record, however few rows were read.
  QScrollBar* bar = view.verticalScrollBar();
  bar->setSliderDown(true);
  bar->setSliderPosition(bar->maximum());
  bar->setSliderDown(false);
  EXPECT_EQ(Id(), 100000);
  EXPECT_LT(shownModel.rowCount(), 2000);
  QApplication::processEvents();  // the view shows the last rows, the thumb at the bottom
  EXPECT_GT(bar->value(), bar->minimum());
  bar->setSliderDown(true);
  bar->setSliderPosition(bar->minimum());
  bar->setSliderDown(false);
  EXPECT_EQ(Id(), 1);
}

TEST_F(DBGridTest, ANewRowShowsUntilItIsPostedThenTheRowsAreReadAgain) {
  Fill(3);
  table.Open();
  model.SetDataSource(&source);
  table.Append();
  EXPECT_EQ(model.rowCount(), 4);
  EXPECT_EQ(model.CurrentRow(), 3);
  EXPECT_EQ(Marker(3), QString::fromUtf8("\u2731"));
  ASSERT_TRUE(model.setData(model.index(3, 0), "9", Qt::EditRole));
  ASSERT_TRUE(model.setData(model.index(3, 1), "New", Qt::EditRole));
  EXPECT_EQ(table.State(), TDataSetState::dsInsert);  // a new row is posted when left
  EXPECT_EQ(Cell(3, 1), "New");
  table.Post();
  EXPECT_EQ(model.rowCount(), 4);
  EXPECT_EQ(Cell(3, 1), "New");
  EXPECT_EQ(model.CurrentRow(), 3);

  table.First();
  table.Insert();
  EXPECT_EQ(model.CurrentRow(), 0);
  EXPECT_EQ(Cell(1, 1), "Name1");  // the stored rows moved down
  table.Cancel();
  EXPECT_EQ(model.rowCount(), 4);
  table.Delete();
  EXPECT_EQ(model.rowCount(), 3);
  EXPECT_EQ(Cell(0, 1), "Name2");
}

TEST_F(DBGridTest, TheFormWindowRealisesTheGridAsThisView) {
  Fill(2);
  TForm form(nullptr);
  auto* grid = new TwwDBGrid(&form);
  grid->SetName("Grid");
  grid->SetParent(&form);
  TFormWindow window(&form);
  auto* view = window.findChild<TDBGridView*>("Grid");
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->Model()->rowCount(), 0);
  grid->SetDataSource(&source);  // reaches the view through the control's peer
  table.Open();
  EXPECT_EQ(view->Model()->rowCount(), 2);
  view->selectRow(1);
  EXPECT_EQ(Id(), 2);  // selecting a row moves the dataset
  table.Prior();
  EXPECT_EQ(view->currentIndex().row(), 0);
}

TEST_F(DBGridTest, TranslatingTheWindowAgainKeepsTheRowAndRetitlesTheColumns) {
  testing::TempDir dir;
  platform::SetMessageTableFile(dir.File("messages"));
  platform::SetExecutablePathForTesting(dir.File("vader"));
  ZInterStartup();
  Fill(300);
  TForm form(nullptr);
  auto* grid = new TwwDBGrid(&form);
  grid->SetName("Grid");
  grid->SetParent(&form);
  grid->SetDataSource(&source);
  table.Open();
  TDesignedTexts designed;
  designed.Capture(&form);
  TranslateComponent(&form);
  TFormWindow window(&form);
  auto* view = window.findChild<TDBGridView*>("Grid");
  ASSERT_NE(view, nullptr);
  table.MoveBy(250);  // beyond the first rows read
  ASSERT_EQ(view->currentIndex().row(), 250);

  SetLanguageFile(dir.Write("fr.txt", "NAME~|~Nom\nAGE~|~\xC2ge\n"));
  designed.TranslateAgain(&form);
  EXPECT_EQ(view->Model()->headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), "Nom");
  EXPECT_EQ(view->Model()->headerData(2, Qt::Horizontal, Qt::DisplayRole).toString(),
            QString::fromUtf8("\u00C2ge"));
  EXPECT_TRUE(table.Active());
  EXPECT_EQ(Id(), 251);
  EXPECT_EQ(view->currentIndex().row(), 250);
  ZInterShutdown();
  platform::SetExecutablePathForTesting("");
}

TEST_F(DBGridTest, TheDataAwareEditAndCheckBoxShowAndChangeTheirFields) {
  table.FieldDefs().Add("VIP", TFieldType::ftBoolean);
  Fill(2);
  TForm form(nullptr);
  auto* edit = new TDBEdit(&form);
  edit->SetName("Edit");
  edit->SetParent(&form);
  edit->SetDataSource(&source);
  edit->SetDataField("NAME");
  auto* check = new TDBCheckBox(&form);
  check->SetName("Check");
  check->SetParent(&form);
  check->SetDataSource(&source);
  check->SetDataField("VIP");
  table.Open();
  TFormWindow window(&form);
  auto* line = window.findChild<QLineEdit*>("Edit");
  auto* box = window.findChild<QCheckBox*>("Check");
  ASSERT_TRUE(line && box);
  EXPECT_EQ(line->text(), "Name1");
  EXPECT_EQ(box->checkState(), Qt::PartiallyChecked);  // null
  line->setText("Typed");
  emit line->textEdited("Typed");
  box->click();
  EXPECT_EQ(table.State(), TDataSetState::dsEdit);
  table.Post();
  EXPECT_EQ(table.FieldByName("NAME")->AsString(), "Typed");
  EXPECT_TRUE(table.FieldByName("VIP")->AsBoolean());
  EXPECT_EQ(box->checkState(), Qt::Checked);
  table.Next();
  EXPECT_EQ(line->text(), "Name2");
  table.readOnly = true;
  emit line->textEdited("Refused");
  EXPECT_EQ(line->text(), "Name2");
}

}  // namespace
}  // namespace vader::ui
