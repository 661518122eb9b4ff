#include "ui/StringGridView.h"

#include <QComboBox>
#include <QHeaderView>
#include <QStyledItemDelegate>

#include "ui/ErrorDisplay.h"
#include "ui/QtText.h"

namespace vader::ui {
namespace {

using TColumnKind = TStringGrid::TColumnKind;

// The editor of a column of choices: a drop-down list of its texts.
class ChoiceDelegate : public QStyledItemDelegate {
 public:
  ChoiceDelegate(QStringList choices, QObject* parent)
      : QStyledItemDelegate(parent), choices_(std::move(choices)) {}
  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&,
                        const QModelIndex&) const override {
    auto* box = new QComboBox(parent);
    box->addItems(choices_);
    return box;
  }
  void setEditorData(QWidget* editor, const QModelIndex& index) const override {
    auto* box = static_cast<QComboBox*>(editor);
    box->setCurrentIndex(box->findText(index.data().toString()));
  }
  void setModelData(QWidget* editor, QAbstractItemModel* model,
                    const QModelIndex& index) const override {
    model->setData(index, static_cast<QComboBox*>(editor)->currentText());
  }

 private:
  QStringList choices_;
};

QStringList ToQStrings(const TStrings& texts) {
  QStringList out;
  for (const std::string& text : texts) out << ToQString(text);
  return out;
}

}  // namespace

TStringGridView::TStringGridView(TStringGrid* grid, QWidget* parent)
    : QTableWidget(parent), grid_(grid) {
  verticalHeader()->setVisible(false);
  horizontalHeader()->setStretchLastSection(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::AllEditTriggers);
  connect(this, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
    if (!syncing_) TakeEdit(item);
  });
  connect(this, &QTableWidget::currentCellChanged, this, [this](int row, int, int, int) {
    if (!syncing_) grid_->SelectedOnScreen(row);
  });
  connect(horizontalHeader(), &QHeaderView::sectionResized, this,
          [this](int column, int, int width) {
            if (!syncing_) grid_->ColumnResizedOnScreen(column, width);
          });
}

void TStringGridView::TakeEdit(QTableWidgetItem* item) {
  const int row = item->row(), column = item->column();
  std::string text;
  if (grid_->ColumnKind(column) == TColumnKind::Check)
    text = item->checkState() == Qt::Checked ? "1" : "";
  else
    text = FromQString(item->text());
  // Handled after the table has finished with the item: the grid may change every row.
  QMetaObject::invokeMethod(
      this,
      [this, row, column, text] { Guarded([&] { grid_->EditedOnScreen(row, column, text); }); },
      Qt::QueuedConnection);
}

void TStringGridView::ShowColumns() {
  const auto& columns = grid_->Columns();
  setColumnCount(static_cast<int>(columns.size()));
  QStringList titles;
  for (const auto& column : columns) titles << ToQString(column.caption);
  setHorizontalHeaderLabels(titles);
  for (int i = 0; i < static_cast<int>(columns.size()); ++i) {
    setColumnWidth(i, columns[static_cast<std::size_t>(i)].width);
    // A new editor only when the choices changed: one may be open on screen.
    const QStringList choices =
        grid_->ColumnKind(i) == TColumnKind::Choice ? ToQStrings(grid_->Choices(i)) : QStringList();
    if (choices_.size() <= static_cast<std::size_t>(i))
      choices_.resize(static_cast<std::size_t>(i) + 1);
    if (choices_[static_cast<std::size_t>(i)] == choices && itemDelegateForColumn(i)) continue;
    QAbstractItemDelegate* old = itemDelegateForColumn(i);
    setItemDelegateForColumn(i, choices.isEmpty() ? nullptr : new ChoiceDelegate(choices, this));
    choices_[static_cast<std::size_t>(i)] = choices;
    if (old) old->deleteLater();
  }
}

void TStringGridView::ShowCell(int row, int column, const std::string& text) {
  QTableWidgetItem* cell = item(row, column);
  if (!cell) {
    cell = new QTableWidgetItem;
    setItem(row, column, cell);
  }
  const TColumnKind kind = grid_->ColumnKind(column);
  Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  if (kind == TColumnKind::Check) {
    flags |= Qt::ItemIsUserCheckable;
    cell->setCheckState(text.empty() ? Qt::Unchecked : Qt::Checked);
  } else {
    if (kind != TColumnKind::Shown) flags |= Qt::ItemIsEditable;
    if (cell->text() != ToQString(text)) cell->setText(ToQString(text));
  }
  cell->setFlags(flags);
  const bool marked = grid_->MarkedColumn(row) == column;
  cell->setBackground(marked ? QBrush(QColor(255, 200, 200)) : QBrush());
}

void TStringGridView::Sync() {
  syncing_ = true;
  setToolTip(ToQString(grid_->Hint()));
  ShowColumns();
  const auto& rows = grid_->Rows();
  setRowCount(static_cast<int>(rows.size()));
  for (int row = 0; row < static_cast<int>(rows.size()); ++row) {
    const TStrings& cells = rows[static_cast<std::size_t>(row)];
    for (int column = 0; column < columnCount(); ++column)
      ShowCell(row, column,
               static_cast<std::size_t>(column) < cells.size()
                   ? cells[static_cast<std::size_t>(column)]
                   : std::string());
  }
  const int selected = grid_->Selected();
  if (selected != currentRow() && selected < rowCount())
    setCurrentCell(selected, std::max(currentColumn(), 0));
  syncing_ = false;
}

}  // namespace vader::ui
