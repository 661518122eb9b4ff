#include "ui/DBGrid.h"

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTimer>
#include <algorithm>
#include <climits>
#include <utility>

#include "framework/FrameworkErrors.h"
#include "framework/LongWork.h"
#include "language/zInter.h"
#include "ui/ErrorDisplay.h"
#include "ui/QtText.h"

namespace vader::ui {

namespace {
// A cell shows a blob field by its kind, not its contents: those can be large and are read
// through their own stream, which the rows read ahead of the active record may not open.
QString CellText(const TField* field) {
  switch (field->DataType()) {
    case TFieldType::ftMemo: return QStringLiteral("(Memo)");
    case TFieldType::ftGraphic: return QStringLiteral("(Graphic)");
    case TFieldType::ftBlob: return QStringLiteral("(Blob)");
    default: return ToQString(field->DisplayText());
  }
}

constexpr int kColumnPadding = 16;  // room beside a column's widest text
// Texts longer than this many characters are cut in their column until the person widens it.
constexpr int kWidestTextColumn = 80;

bool IsLogical(const TField* field) { return field->DataType() == TFieldType::ftBoolean; }

bool IsNumeric(const TField* field) {
  switch (field->DataType()) {
    case TFieldType::ftSmallint:
    case TFieldType::ftInteger:
    case TFieldType::ftWord:
    case TFieldType::ftFloat:
    case TFieldType::ftCurrency:
    case TFieldType::ftBCD:
    case TFieldType::ftAutoInc:
    case TFieldType::ftLargeint: return true;
    default: return false;
  }
}

// The characters a column needs to show its field's values whole: text fields by their size
// (kept within reason for long ones), the other kinds by the widest value they print.
int ValueCharacters(const TField* field) {
  constexpr int kLongestTextColumn = 24;
  switch (field->DataType()) {
    case TFieldType::ftString:
    case TFieldType::ftFixedChar: return std::min(field->Size(), kLongestTextColumn);
    case TFieldType::ftSmallint:
    case TFieldType::ftWord: return 6;
    case TFieldType::ftBoolean: return 6;
    case TFieldType::ftDate: return 10;
    case TFieldType::ftTime: return 8;
    case TFieldType::ftDateTime: return 19;
    case TFieldType::ftLargeint: return 20;
    case TFieldType::ftFloat:
    case TFieldType::ftCurrency:
    case TFieldType::ftBCD: return 12;
    default: return 10;
  }
}

// Logical values are kept as designed ("True", "False") and shown in the current language, so
// a language switch needs no new read.
QString Shown(const TField* field, const QString& cell) {
  return IsLogical(field) && !cell.isEmpty() ? ToQString(TranslateText(FromQString(cell))) : cell;
}

// A logical value typed in the current language, back in the form the field reads.
std::string Typed(const TField* field, const QString& text) {
  if (IsLogical(field))
    for (const char* designed : {"True", "False"})
      if (text.trimmed().compare(ToQString(TranslateText(designed)), Qt::CaseInsensitive) == 0)
        return designed;
  return FromQString(text);
}

// A typed or pasted value goes into Field through the field's conversion; a text longer than
// a text field holds is refused whole, not cut.
void PutCell(TField* field, const QString& text) {
  const std::string typed = Typed(field, text);
  if (const auto* string = dynamic_cast<const TStringField*>(field)) {
    const TDataSet* dataSet = field->DataSet();
    const std::size_t stored =
        dataSet ? dataSet->FieldTextToNative(*field, typed).size() : typed.size();
    if (stored >= string->DataSize())
      throw EDatabaseError(std::string("A value is too large for its field.") + "\n" +
                           field->DisplayLabel() + ": " + typed);
  }
  field->SetAsString(typed);
}

// Lines of tab-separated cells; a line break at the end of the text ends the last line.
std::vector<QStringList> PastedLines(const QString& text) {
  QStringList lines =
      QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")).split(QLatin1Char('\n'));
  if (!lines.isEmpty() && lines.back().isEmpty()) lines.removeLast();
  std::vector<QStringList> cells;
  for (const QString& line : lines) cells.push_back(line.split(QLatin1Char('\t')));
  return cells;
}
}  // namespace

using S = TDataSetState;

// Passes the dataset's notifications to the model, except while the model itself moves the
// dataset to read rows.
class TDBGridModel::Link : public TDataLink {
 public:
  explicit Link(TDBGridModel* model) : model_(model) {}

 protected:
  void ActiveChanged() override {
    if (!model_->reading_) model_->Reload(kFetchChunk);
  }
  void DataSetChanged() override {
    if (!model_->reading_) model_->DataSetChanged();
  }
  void DataSetScrolled(int) override {
    if (!model_->reading_) model_->ActiveMoved();
  }
  void LayoutChanged() override {
    if (!model_->reading_)
      model_->Reload(std::max<int>(kFetchChunk, static_cast<int>(model_->rows_.size())));
  }
  void RecordChanged(TField*) override {
    if (!model_->reading_) model_->RecordChanged();
  }
  void EditingChanged() override {
    if (!model_->reading_) model_->EditingChanged();
  }

 private:
  TDBGridModel* model_;
};

TDBGridModel::TDBGridModel(QObject* parent)
    : QAbstractTableModel(parent), link_(std::make_unique<Link>(this)) {}

TDBGridModel::~TDBGridModel() = default;

void TDBGridModel::SetDataSource(TDataSource* source) {
  if (source == link_->DataSource()) return;
  link_->SetDataSource(source);
  Reload(kFetchChunk);
}

TDataSource* TDBGridModel::DataSource() const { return link_->DataSource(); }

TDataSet* TDBGridModel::DataSet() const { return link_->Active() ? link_->DataSet() : nullptr; }

void TDBGridModel::RefreshTexts() {
  if (columns_.empty()) return;
  emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
  if (rowCount() > 0) emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
}

// Starts over: columns from the visible fields, then the first Rows rows and the active one.
void TDBGridModel::Reload(int rows) {
  beginResetModel();
  columns_.clear();
  rows_.clear();
  insertRow_ = -1;
  currentRow_ = -1;
  atEnd_ = true;
  atStart_ = true;
  TDataSet* dataSet = DataSet();
  lastState_ = dataSet ? dataSet->State() : S::dsInactive;
  rowsVersion_ = dataSet ? dataSet->RowsVersion() : 0;
  if (dataSet) {
    for (int i = 0; i < dataSet->FieldCount(); ++i)
      if (dataSet->Fields(i)->Visible()) columns_.push_back(dataSet->Fields(i));
    atEnd_ = false;
    rows_ = ReadRows(rows);
  }
  endResetModel();
  ActiveMoved();
}

// The dataset stays on its active record and no scroll event or link notice results.
std::vector<TDBGridModel::Row> TDBGridModel::ReadRowsFrom(const TBookmark& from, int count,
                                                          bool backward, bool& ended) {
  std::vector<Row> read;
  TDataSet* dataSet = DataSet();
  if (!dataSet || count <= 0 || dataSet->State() != S::dsBrowse) return read;
  reading_ = true;
  const auto visit = [&] {
    Row row{dataSet->ReadingBookmark(), {}};
    for (TField* field : columns_) row.cells << CellText(field);
    read.push_back(std::move(row));
    return static_cast<int>(read.size()) < count;
  };
  try {
    ended = !(backward ? dataSet->ReadRecordsBefore(from, visit)
                       : dataSet->ReadRecords(from, visit));
  } catch (const std::exception& error) {
    ended = true;  // a row that vanished meanwhile: what was read is kept
    ShowException(error);
  }
  reading_ = false;
  return read;
}

// Reads up to Count rows after the last one read.
std::vector<TDBGridModel::Row> TDBGridModel::ReadRows(int count) {
  if (atEnd_) return {};
  return ReadRowsFrom(rows_.empty() ? TBookmark() : rows_.back().bookmark, count, false, atEnd_);
}

void TDBGridModel::ReloadAround(const TBookmark& active) {
  beginResetModel();
  rows_.clear();
  insertRow_ = -1;
  currentRow_ = -1;
  atEnd_ = false;
  std::vector<Row> before = ReadRowsFrom(active, kFetchChunk / 2, true, atStart_);
  rows_.assign(std::make_move_iterator(before.rbegin()), std::make_move_iterator(before.rend()));
  for (Row& row : ReadRows(kFetchChunk)) rows_.push_back(std::move(row));
  endResetModel();
  SetCurrentRow(Find(active));
}

int TDBGridModel::FetchBefore() {
  if (atStart_ || rows_.empty() || insertRow_ >= 0) return 0;
  std::vector<Row> read = ReadRowsFrom(rows_.front().bookmark, kFetchChunk, true, atStart_);
  const int added = static_cast<int>(read.size());
  if (added == 0) return 0;
  beginInsertRows(QModelIndex(), 0, added - 1);
  rows_.insert(rows_.begin(), std::make_move_iterator(read.rbegin()),
               std::make_move_iterator(read.rend()));
  const int current = currentRow_;
  currentRow_ = -1;
  endInsertRows();
  if (current >= 0) SetCurrentRow(current + added);
  return added;
}

int TDBGridModel::Find(const TBookmark& bookmark, std::size_t from) const {
  for (std::size_t i = from; i < rows_.size(); ++i)
    if (rows_[i].bookmark == bookmark) return static_cast<int>(i);
  return -1;
}

void TDBGridModel::AppendRows(int count) {
  std::vector<Row> read = ReadRows(count);
  if (read.empty()) return;
  const int first = rowCount();
  beginInsertRows(QModelIndex(), first, first + static_cast<int>(read.size()) - 1);
  for (Row& row : read) rows_.push_back(std::move(row));
  endInsertRows();
}

void TDBGridModel::DataSetChanged() {
  TDataSet* dataSet = DataSet();
  if (!dataSet) return;
  const S state = dataSet->State();
  if (state == S::dsInsert && insertRow_ < 0) {
    const bool append = dataSet->ActiveBookmarkFlag() == TBookmarkFlag::bfEOF;
    const int at = append || currentRow_ < 0 ? static_cast<int>(rows_.size()) : currentRow_;
    beginInsertRows(QModelIndex(), at, at);
    insertRow_ = at;
    currentRow_ = -1;  // the view's current row moved down with the rows: it follows back
    endInsertRows();
    SetCurrentRow(at);
    return;
  }
  // After an edit of a row already read only that row changes (it stays where it is until
  // the rows are next read); a move only moves the marker; anything else may have added,
  // removed or reordered rows, so they are read again.
  const TBookmark active = dataSet->GetBookmark();
  const int row = currentRow_;
  if (lastState_ == S::dsEdit && state == S::dsBrowse && row >= 0 && insertRow_ < 0 &&
      rows_[static_cast<std::size_t>(row)].bookmark == active) {
    QStringList cells;
    for (TField* field : columns_) cells << CellText(field);
    rows_[static_cast<std::size_t>(row)].cells = cells;
    rowsVersion_ = dataSet->RowsVersion();
    emit dataChanged(index(row, 0), index(row, columnCount() - 1));
    return;
  }
  if (insertRow_ < 0 && dataSet->RowsVersion() == rowsVersion_) return ActiveMoved();
  Reload(std::max<int>(kFetchChunk, static_cast<int>(rows_.size())));
}

void TDBGridModel::EditingChanged() {
  TDataSet* dataSet = DataSet();
  lastState_ = dataSet ? dataSet->State() : S::dsInactive;
  if (currentRow_ >= 0) emit headerDataChanged(Qt::Vertical, currentRow_, currentRow_);
}

void TDBGridModel::RecordChanged() {
  if (currentRow_ >= 0)
    emit dataChanged(index(currentRow_, 0), index(currentRow_, columnCount() - 1));
}

// Finds the active record among the rows; one chunk beyond either end of them, or else
// starts over around it, so that a jump reads only the rows near where it lands.
void TDBGridModel::ActiveMoved() {
  TDataSet* dataSet = DataSet();
  if (!dataSet) return SetCurrentRow(-1);
  if (insertRow_ >= 0) return SetCurrentRow(insertRow_);
  const TBookmark active = dataSet->GetBookmark();
  if (active.empty()) return SetCurrentRow(-1);
  if (int row = Find(active); row >= 0) return SetCurrentRow(row);
  const std::size_t read = rows_.size();
  AppendRows(kFetchChunk);
  if (int row = Find(active, read); row >= 0) return SetCurrentRow(row);
  if (const int added = FetchBefore(); added > 0)
    if (int row = Find(active); row >= 0 && row < added) return SetCurrentRow(row);
  if (atStart_ && atEnd_) return SetCurrentRow(-1);  // every row is read: it is not shown
  ReloadAround(active);
}

void TDBGridModel::SetCurrentRow(int row) {
  if (row == currentRow_) return;
  const int old = currentRow_;
  currentRow_ = row;
  if (old >= 0 && old < rowCount()) emit headerDataChanged(Qt::Vertical, old, old);
  if (row >= 0) emit headerDataChanged(Qt::Vertical, row, row);
  if (OnCurrentRowChanged) OnCurrentRowChanged(row);
}

void TDBGridModel::MoveTo(int row) {
  TDataSet* dataSet = DataSet();
  if (!dataSet || row == insertRow_ || row < 0 || row >= rowCount()) return;
  const TBookmark& target = rows_[static_cast<std::size_t>(CacheIndex(row))].bookmark;
  if (dataSet->GetBookmark() != target) dataSet->GotoBookmark(target);
}

bool TDBGridModel::IsLiveRow(int row) const {
  const TDataSet* dataSet = DataSet();
  return dataSet && row == currentRow_ &&
         (dataSet->State() == S::dsEdit || dataSet->State() == S::dsInsert);
}

int TDBGridModel::CacheIndex(int row) const {
  return insertRow_ >= 0 && row > insertRow_ ? row - 1 : row;
}

int TDBGridModel::rowCount(const QModelIndex& parent) const {
  if (parent.isValid()) return 0;
  return static_cast<int>(rows_.size()) + (insertRow_ >= 0 ? 1 : 0);
}

int TDBGridModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

QVariant TDBGridModel::data(const QModelIndex& index, int role) const {
  // Long work repaints the view while the rows are being read again: an index it still
  // holds may lie beyond them.
  if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount()) return {};
  const TField* field = columns_[static_cast<std::size_t>(index.column())];
  if (role == Qt::TextAlignmentRole)
    return QVariant::fromValue(Qt::AlignVCenter |
                               (IsNumeric(field) ? Qt::AlignRight : Qt::AlignLeft));
  if (role == Qt::CheckStateRole) {
    // A logical value as a check box; none for a null value or any other kind of field.
    const QString cell = IsLogical(field) ? StoredCell(index) : QString();
    if (cell.isEmpty()) return {};
    return cell == QStringLiteral("True") ? Qt::Checked : Qt::Unchecked;
  }
  if (role != Qt::DisplayRole && role != Qt::EditRole) return {};
  return Shown(field, StoredCell(index));
}

QString TDBGridModel::StoredCell(const QModelIndex& index) const {
  if (IsLiveRow(index.row())) return CellText(columns_[static_cast<std::size_t>(index.column())]);
  if (index.row() == insertRow_) return {};
  const Row& row = rows_[static_cast<std::size_t>(CacheIndex(index.row()))];
  return row.cells.value(index.column());
}

QVariant TDBGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole) return {};
  if (orientation == Qt::Horizontal) {
    if (section < 0 || section >= columnCount()) return {};
    return ToQString(columns_[static_cast<std::size_t>(section)]->DisplayLabel());
  }
  if (section != currentRow_) return QString();
  const TDataSet* dataSet = DataSet();
  const S state = dataSet ? dataSet->State() : S::dsInactive;
  // The row marker: an arrow while browsing, a pencil while editing, a star for a new row.
  return state == S::dsInsert ? QString::fromUtf8("\u2731")
         : state == S::dsEdit ? QString::fromUtf8("\u270E")
                              : QString::fromUtf8("\u25B6");
}

Qt::ItemFlags TDBGridModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags flags = QAbstractTableModel::flags(index);
  const TDataSet* dataSet = DataSet();
  if (!index.isValid() || index.column() >= columnCount() || !dataSet || readOnly_ ||
      !dataSet->CanModify())
    return flags;
  const TField* field = columns_[static_cast<std::size_t>(index.column())];
  // Blob contents are edited in the form view's panes, not in a cell that shows their kind.
  const TFieldType type = field->DataType();
  const bool blob =
      type == TFieldType::ftMemo || type == TFieldType::ftGraphic || type == TFieldType::ftBlob;
  if (!field->ReadOnly() && !field->Calculated() && !blob) flags |= Qt::ItemIsEditable;
  return flags;
}

// The row is the unit of editing: a cell's value goes into the record, which stays in edit
// (or insert) while the person moves between its cells; leaving the row or Post writes it,
// Esc or Cancel takes the whole row back.
bool TDBGridModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role == Qt::CheckStateRole) {
    // A click on a check box: the logical value, as it would be typed in the current language.
    const bool checked = value.toInt() == Qt::Checked;
    return setData(index, ToQString(TranslateText(checked ? "True" : "False")), Qt::EditRole);
  }
  TDataSet* dataSet = DataSet();
  if (!index.isValid() || role != Qt::EditRole || !dataSet || !(flags(index) & Qt::ItemIsEditable))
    return false;
  try {
    MoveTo(index.row());
    const bool wasEditing = dataSet->State() == S::dsEdit || dataSet->State() == S::dsInsert;
    dataSet->Edit();
    try {
      PutCell(columns_[static_cast<std::size_t>(index.column())], value.toString());
    } catch (const std::exception&) {
      // A refused value is not taken; the row keeps the values typed before it, and a row
      // that had no edit before goes back to browsing.
      if (!wasEditing && !dataSet->Modified() && dataSet->State() == S::dsEdit) dataSet->Cancel();
      throw;
    }
  } catch (const std::exception& error) {
    ShowException(error);
    return false;
  }
  return true;
}

bool TDBGridModel::canFetchMore(const QModelIndex& parent) const {
  // Not while long work reads the dataset: its moves are not to be mixed with the view's.
  return !parent.isValid() && DataSet() && !atEnd_ && !reading_ && !LongWorkRunning();
}

void TDBGridModel::fetchMore(const QModelIndex& parent) {
  if (!parent.isValid()) AppendRows(kFetchChunk);
}

bool TDBGridModel::Paste(int row, int column, const QString& text) {
  TDataSet* dataSet = DataSet();
  if (!dataSet || readOnly_ || !dataSet->CanModify() || column < 0) return false;
  try {
    // A new row takes the first line; a row in edit is posted first, as leaving it would.
    bool fresh = dataSet->State() == S::dsInsert && row == insertRow_;
    if (!fresh) dataSet->CheckBrowseMode();
    const TBookmark first = !fresh && row >= 0 && row < rowCount()
                                ? rows_[static_cast<std::size_t>(CacheIndex(row))].bookmark
                                : TBookmark();
    if (!first.empty()) dataSet->GotoBookmark(first);
    bool pastEnd = first.empty();
    for (const QStringList& cells : PastedLines(text)) {
      if (!fresh) pastEnd ? dataSet->Append() : dataSet->Edit();
      fresh = false;
      PasteLine(column, cells);
      dataSet->Post();
      if (!pastEnd) {
        dataSet->Next();
        pastEnd = dataSet->Eof();
      }
    }
  } catch (const std::exception& error) {
    if (dataSet->State() == S::dsEdit || dataSet->State() == S::dsInsert) dataSet->Cancel();
    ShowException(error);
    return false;
  }
  return true;
}

void TDBGridModel::PasteLine(int column, const QStringList& cells) {
  for (int i = 0; i < cells.size(); ++i) {
    const auto at = static_cast<std::size_t>(column + i);
    if (at >= columns_.size()) break;
    TField* field = columns_[at];
    // Counters are the engine's to give (a copied row pastes as a new record with its own).
    if (field->ReadOnly() || field->Calculated() || IsBlobType(field->DataType()) ||
        field->DataType() == TFieldType::ftAutoInc)
      continue;
    PutCell(field, cells[i]);
  }
}

// ---- the view ----

namespace {
// Draws logical cells as check boxes (a null value as an empty cell), toggled by a click on
// the box or the space bar, and a frame round the current cell, so that the cell a typed
// value goes to is in sight within the selected row.
class TGridDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    const QVariant check = index.data(Qt::CheckStateRole);
    if (IsLogicalColumn(index)) {
      QStyleOptionViewItem cell(option);
      initStyleOption(&cell, index);
      cell.text.clear();
      cell.features &= ~QStyleOptionViewItem::HasCheckIndicator;
      Style(option)->drawControl(QStyle::CE_ItemViewItem, &cell, painter, option.widget);
      if (check.isValid()) {
        QStyleOptionButton box;
        box.rect = BoxRect(option);
        box.state = QStyle::State_Enabled |
                    (check.toInt() == Qt::Checked ? QStyle::State_On : QStyle::State_Off);
        Style(option)->drawPrimitive(QStyle::PE_IndicatorCheckBox, &box, painter, option.widget);
      }
    } else {
      QStyledItemDelegate::paint(painter, option, index);
    }
    const auto* view = qobject_cast<const QAbstractItemView*>(option.widget);
    if (view && view->currentIndex() == index) {
      painter->save();
      const bool selected = option.state & QStyle::State_Selected;
      painter->setPen(QPen(option.palette.color(selected ? QPalette::HighlightedText
                                                         : QPalette::Highlight),
                           2));
      painter->drawRect(option.rect.adjusted(1, 1, -1, -1));
      painter->restore();
    }
  }

  // A logical cell is not typed into: its box is clicked.
  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const override {
    if (IsLogicalColumn(index)) return nullptr;
    return QStyledItemDelegate::createEditor(parent, option, index);
  }

  bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override {
    if (!IsLogicalColumn(index) || !(index.flags() & Qt::ItemIsEditable)) return false;
    bool toggle = false;
    if (event->type() == QEvent::MouseButtonRelease) {
      const auto* mouse = static_cast<QMouseEvent*>(event);
      toggle = mouse->button() == Qt::LeftButton &&
               BoxRect(option).contains(mouse->position().toPoint());
    } else if (event->type() == QEvent::KeyPress) {
      toggle = static_cast<QKeyEvent*>(event)->key() == Qt::Key_Space;
    }
    if (!toggle) return false;
    const bool checked = index.data(Qt::CheckStateRole).toInt() == Qt::Checked;
    model->setData(index, checked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
    return true;
  }

 private:
  static bool IsLogicalColumn(const QModelIndex& index) {
    const auto* model = dynamic_cast<const TDBGridModel*>(index.model());
    return model && index.column() < model->columnCount() &&
           IsLogical(model->ColumnField(index.column()));
  }
  static QStyle* Style(const QStyleOptionViewItem& option) {
    return option.widget ? option.widget->style() : QApplication::style();
  }
  static QRect BoxRect(const QStyleOptionViewItem& option) {
    QStyleOptionButton box;
    const QRect indicator =
        Style(option)->subElementRect(QStyle::SE_CheckBoxIndicator, &box, option.widget);
    QRect rect(QPoint(), indicator.size());
    rect.moveCenter(option.rect.center());
    return rect;
  }
};
}  // namespace

TDBGridView::TDBGridView(QWidget* parent)
    : QTableView(parent), model_(new TDBGridModel(this)), header_(new TGridHeader(this)) {
  setHorizontalHeader(header_);
  setModel(model_);
  setItemDelegate(new TGridDelegate(this));
  // Cells are selected one by one or in blocks (for copying); a move of the dataset selects
  // the whole row it lands on.
  setSelectionBehavior(QAbstractItemView::SelectItems);
  setSelectionMode(QAbstractItemView::ContiguousSelection);
  connect(header_, &QHeaderView::sectionClicked, this, [this](int column) {
    if (grid_ && grid_->OnTitleClick)
      Guarded([&] { grid_->OnTitleClick(grid_, ColumnFieldName(column)); });
  });
  header_->OnFilterTextChanged = [this](int column, const QString& text) {
    if (grid_ && grid_->OnFilterTextChange)
      Guarded(
          [&] { grid_->OnFilterTextChange(grid_, ColumnFieldName(column), FromQString(text)); });
  };
  connect(horizontalScrollBar(), &QScrollBar::valueChanged, header_,
          [this] { header_->PlaceBoxes(); });
  connect(model_, &QAbstractItemModel::modelReset, this, [this] { ShowSortMarker(); });
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
  connect(model_, &QAbstractItemModel::modelReset, this, [this] { SizeColumns(); });
  connect(model_, &QAbstractItemModel::rowsInserted, this,
          [this](const QModelIndex&, int first, int last) { WidenForRows(first, last); });
  connect(model_, &QAbstractItemModel::dataChanged, this,
          [this](const QModelIndex& from, const QModelIndex& to) {
            WidenForRows(from.row(), to.row());
          });
  // A column the person resizes keeps its width, also for the next time the table is shown.
  connect(horizontalHeader(), &QHeaderView::sectionResized, this,
          [this](int column, int, int width) {
            if (sizing_ || !grid_ || column >= static_cast<int>(sizedFields_.size())) return;
            grid_->ColumnResizedOnScreen(ColumnOf(column)->FieldName(), width);
          });
  model_->OnCurrentRowChanged = [this](int row) {
    if (grid_) grid_->RowOnScreen(model_->RowFromFirst(row), model_->RowFromLast(row));
    FollowCurrentRow();
  };
  // At the top of a window that does not begin with the first record, the rows before it
  // come in above, the view staying on the rows it showed.
  connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
    if (value != verticalScrollBar()->minimum()) return;
    int added = 0;
    Guarded([&] { added = model_->FetchBefore(); });
    if (added == 0) return;
    const int end = thumbEnd_;  // the thumb follows the rows it showed, not the drag
    verticalScrollBar()->setValue(value + added);
    thumbEnd_ = end;
  });
  // Where the thumb was last dragged to: the rows read grow as it nears either end, so that
  // end is noted while it is dragged, not looked up when it is let go.
  connect(verticalScrollBar(), &QScrollBar::sliderMoved, this, [this](int value) {
    const QScrollBar* bar = verticalScrollBar();
    thumbEnd_ = value >= bar->maximum() ? 1 : value <= bar->minimum() ? -1 : 0;
    thumbDragged_ = true;
  });
  connect(verticalScrollBar(), &QScrollBar::sliderPressed, this, [this] {
    thumbEnd_ = 0;
    thumbDragged_ = false;
  });
  connect(verticalScrollBar(), &QScrollBar::sliderReleased, this, [this] { ThumbReleased(); });
  // Leaving a row posts its edit; when the post is refused the selection goes back to the
  // row still in edit, so what the person typed stays in sight.
  connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current) {
            if (following_ || !current.isValid()) return;
            bool moved = false;
            Guarded([&] {
              model_->MoveTo(current.row());
              moved = true;
            });
            if (!moved) QTimer::singleShot(0, this, [this] { FollowCurrentRow(); });
          });
}

void TDBGridView::FollowCurrentRow() {
  const int row = model_->CurrentRow();
  // A row the person moved to keeps the cells they selected on it.
  if (row >= 0 && currentIndex().row() == row && selectionModel()->hasSelection()) return;
  following_ = true;
  if (row >= 0)
    selectionModel()->setCurrentIndex(
        model_->index(row, std::max(currentIndex().column(), 0)),
        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  following_ = false;
}

void TDBGridView::ThumbReleased() {
  TDataSet* dataSet = model_->DataSet();
  if (!dataSet) return;
  const int end = std::exchange(thumbEnd_, 0);
  const bool dragged = std::exchange(thumbDragged_, false);
  if (end > 0 && !model_->AtEnd()) {
    Guarded([&] { dataSet->Last(); });
  } else if (end < 0 && !model_->AtStart()) {
    Guarded([&] { dataSet->First(); });
  } else if (dragged && end == 0 && !(model_->AtStart() && model_->AtEnd()) &&
             !dataSet->Filtered()) {
    // Of a table read only in part the thumb stands for the whole table: the record at its
    // share of the scroll bar.
    const QScrollBar* bar = verticalScrollBar();
    const double share = double(bar->value() - bar->minimum()) /
                         std::max(1, bar->maximum() - bar->minimum());
    Guarded([&] {
      const int count = dataSet->RecordCount();
      if (count > 0) dataSet->SetRecNo(1 + static_cast<int>(share * (count - 1) + 0.5));
    });
  } else {
    return;
  }
  scrollTo(model_->index(std::max(model_->CurrentRow(), 0), 0));
}

void TDBGridView::keyPressEvent(QKeyEvent* event) {
  TDataSet* dataSet = model_->DataSet();
  const bool control = event->modifiers() & Qt::ControlModifier;
  const bool home = event->key() == Qt::Key_Home, end = event->key() == Qt::Key_End;
  if (state() != QAbstractItemView::EditingState && event == QKeySequence::Copy) {
    QApplication::clipboard()->setText(SelectedText());
    return event->accept();
  }
  if (dataSet && state() != QAbstractItemView::EditingState) {
    if (event == QKeySequence::Paste && !grid_->ReadOnly()) {
      const QModelIndex at = currentIndex();
      model_->Paste(at.isValid() ? at.row() : model_->CurrentRow(), std::max(at.column(), 0),
                    QApplication::clipboard()->text());
      return event->accept();
    }
    if (event->key() == Qt::Key_Escape && (dataSet->State() == TDataSetState::dsEdit ||
                                           dataSet->State() == TDataSetState::dsInsert)) {
      Guarded([&] { dataSet->Cancel(); });
      return event->accept();
    }
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier && grid_ &&
        grid_->OnDeleteKey) {
      grid_->OnDeleteKey(grid_);
      return event->accept();
    }
    if (control && (home || end)) {
      Guarded([&] { home ? dataSet->First() : dataSet->Last(); });
      scrollTo(
          model_->index(std::max(model_->CurrentRow(), 0), std::max(currentIndex().column(), 0)));
      return event->accept();
    }
  }
  QTableView::keyPressEvent(event);
}

void TDBGridView::changeEvent(QEvent* event) {
  if (event->type() == QEvent::FontChange) latin1Widths_.clear();
  QTableView::changeEvent(event);
}

void TDBGridView::Sync(TwwDBGrid* grid) {
  grid_ = grid;
  model_->SetReadOnly(grid->ReadOnly());
  model_->SetDataSource(grid->DataSource());
  model_->RefreshTexts();
  SizeColumns();
  ApplyChosenWidths();
  if (header_->FilterRowShown() != grid->FilterRow()) {
    header_->SetFilterRow(grid->FilterRow());
    updateGeometries();  // the rows start below the header's new height
  }
  ShowSortMarker();
}

// The widths the person chose (on screen, or kept from an earlier time) over the sized ones.
void TDBGridView::ApplyChosenWidths() {
  if (!grid_) return;
  sizing_ = true;
  for (int column = 0; column < static_cast<int>(sizedFields_.size()); ++column) {
    const auto chosen = grid_->ColumnWidths().find(ColumnOf(column)->FieldName());
    if (chosen != grid_->ColumnWidths().end() && chosen->second > 0 &&
        chosen->second != columnWidth(column))
      setColumnWidth(column, chosen->second);
  }
  sizing_ = false;
}

bool TDBGridView::WidthChosen(int column) const {
  return grid_ && grid_->ColumnWidths().count(ColumnOf(column)->FieldName());
}

std::string TDBGridView::ColumnFieldName(int column) const {
  if (column < 0 || column >= model_->columnCount()) return {};
  return model_->ColumnField(column)->FieldName();
}

void TDBGridView::ShowSortMarker() {
  int marked = -1;
  for (int column = 0; grid_ && column < model_->columnCount(); ++column)
    if (!grid_->SortField().empty() && ColumnFieldName(column) == grid_->SortField())
      marked = column;
  header_->setSortIndicatorShown(marked >= 0);
  if (marked >= 0)
    header_->setSortIndicator(marked,
                              grid_->SortDescending() ? Qt::DescendingOrder : Qt::AscendingOrder);
}

QString TDBGridView::SelectedText() const {
  QModelIndexList cells = selectionModel()->selectedIndexes();
  if (cells.isEmpty() && currentIndex().isValid()) cells << currentIndex();
  std::sort(cells.begin(), cells.end(), [](const QModelIndex& a, const QModelIndex& b) {
    return a.row() != b.row() ? a.row() < b.row() : a.column() < b.column();
  });
  QString text;
  for (int i = 0; i < cells.size(); ++i) {
    if (i > 0) text += cells[i].row() == cells[i - 1].row() ? QLatin1Char('\t') : QLatin1Char('\n');
    text += model_->data(cells[i], Qt::DisplayRole).toString();
  }
  return cells.isEmpty() ? text : text + QLatin1Char('\n');
}

std::vector<const TField*> TDBGridView::ColumnFields() const {
  std::vector<const TField*> fields;
  for (int column = 0; column < model_->columnCount(); ++column)
    fields.push_back(model_->ColumnField(column));
  return fields;
}

// Each column as wide as its title, its field's values or the widest value among the rows
// read, whichever is widest; only when the columns are new, so widths the person set stay
// across reloads and language switches.
void TDBGridView::SizeColumns() {
  std::vector<const TField*> fields = ColumnFields();
  if (fields == sizedFields_) return;
  sizedFields_ = std::move(fields);
  const QFontMetrics titles = horizontalHeader()->fontMetrics();
  const int characterWidth = fontMetrics().averageCharWidth();
  sizing_ = true;
  for (int column = 0; column < model_->columnCount(); ++column) {
    const QString title = model_->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
    const int width =
        std::max({titles.horizontalAdvance(title), characterWidth * ValueCharacters(ColumnOf(column)),
                  WidestValue(column, 0, model_->rowCount() - 1)});
    setColumnWidth(column, width + kColumnPadding);
  }
  sizing_ = false;
  ApplyChosenWidths();
}

// Rows read later, or a row edited, may hold wider values than those sized for: their
// columns grow (never shrink), as a number cut short reads as another number; a column whose
// width the person chose keeps it.
void TDBGridView::WidenForRows(int first, int last) {
  if (sizedFields_ != ColumnFields()) return;  // the columns are sized anew when they change
  sizing_ = true;
  for (int column = 0; column < model_->columnCount(); ++column) {
    if (WidthChosen(column)) continue;
    const int width = WidestValue(column, first, last) + kColumnPadding;
    if (width > columnWidth(column)) setColumnWidth(column, width);
  }
  sizing_ = false;
}

// The widest of the column's values in rows First to Last; texts count up to a limit, beyond
// which the person widens the column.
int TDBGridView::WidestValue(int column, int first, int last) const {
  const QFontMetrics values = fontMetrics();
  const bool text = !IsNumeric(ColumnOf(column));
  const int limit = text ? values.averageCharWidth() * kWidestTextColumn : INT_MAX;
  int width = 0;
  for (int row = std::max(first, 0); row <= last && row < model_->rowCount() && width < limit;
       ++row)
    width = std::max(
        width, TextWidth(model_->data(model_->index(row, column), Qt::DisplayRole).toString()));
  return std::min(width, limit);
}

// Laying a text out costs far more than adding up the widths of its characters, which is
// what a text of Latin-1 characters takes (or a little more, where pairs of letters are
// set closer); other texts are laid out.
int TDBGridView::TextWidth(const QString& text) const {
  if (latin1Widths_.empty()) {
    const QFontMetrics metrics = fontMetrics();
    for (int c = 0; c < 256; ++c) latin1Widths_.push_back(metrics.horizontalAdvance(QChar(c)));
  }
  int width = 0;
  for (const QChar c : text) {
    if (c.unicode() > 255) return fontMetrics().horizontalAdvance(text);
    width += latin1Widths_[c.unicode()];
  }
  return width;
}

const TField* TDBGridView::ColumnOf(int column) const {
  return sizedFields_[static_cast<std::size_t>(column)];
}

}  // namespace vader::ui
