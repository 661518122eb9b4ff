#pragma once
// The data-aware grid: a Qt table view over a dataset through a data link. The model keeps a
// window of rows, read in chunks as the view scrolls (never the whole table up front): from
// the first record on, and, when the active record jumps far beyond them (Last, a search),
// around that record instead, growing back towards the first as the view scrolls up. It
// keeps each row's bookmark and cell texts, marks the dataset's active record in the row
// header, and writes cell edits through the dataset's edit and post.

#include <QAbstractTableModel>
#include <QKeyEvent>
#include <QTableView>
#include <functional>
#include <memory>
#include <vector>

#include "framework/DBCtrls.h"
#include "ui/GridHeader.h"

namespace vader::ui {

class TDBGridModel : public QAbstractTableModel {
 public:
  static constexpr int kFetchChunk = 256;

  explicit TDBGridModel(QObject* parent = nullptr);
  ~TDBGridModel() override;

  void SetDataSource(TDataSource* source);
  TDataSource* DataSource() const;
  // The dataset shown, nullptr while there is none or it is closed.
  TDataSet* DataSet() const;
  void SetReadOnly(bool value) { readOnly_ = value; }
  // Shows the column titles and the cells again (after the fields' labels or the language
  // changed).
  void RefreshTexts();
  // The row of the dataset's active record, -1 when it is not among the rows read.
  int CurrentRow() const { return currentRow_; }
  // Row counted from the dataset's first record, and back from its last (0: the last); -1
  // when the window does not reach that end.
  int RowFromFirst(int row) const { return atStart_ ? row : -1; }
  int RowFromLast(int row) const { return atEnd_ && row >= 0 ? rowCount() - 1 - row : -1; }
  // Reads a chunk of the rows before the window; the number of rows added at its top.
  int FetchBefore();
  // Makes Row the dataset's active record.
  void MoveTo(int row);
  // Whether the rows read reach the dataset's first and last records.
  bool AtStart() const { return atStart_; }
  bool AtEnd() const { return atEnd_; }
  // Told whenever CurrentRow changes.
  std::function<void(int)> OnCurrentRowChanged;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  const TField* ColumnField(int column) const { return columns_[static_cast<std::size_t>(column)]; }
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  bool canFetchMore(const QModelIndex& parent) const override;
  void fetchMore(const QModelIndex& parent) override;
  // Puts the tab-separated Text into the cells from Row and Column on: each line into a row
  // (the rows after the last become new records), each posted before the next; counters and
  // fields that cannot be written are passed over; a value a
  // field refuses, or one longer than it holds, is shown and stops the paste with that row
  // as it was. True when every line was taken.
  bool Paste(int row, int column, const QString& text);

 private:
  class Link;
  struct Row {
    TBookmark bookmark;
    QStringList cells;
  };

  void Reload(int rows);
  // Starts over around the active record: a chunk before it, then it and a chunk after.
  void ReloadAround(const TBookmark& active);
  // Up to Count rows beyond From (after it, or going back before it, nearest first); Ended
  // tells whether the reading met the dataset's end in that direction.
  std::vector<Row> ReadRowsFrom(const TBookmark& from, int count, bool backward, bool& ended);
  std::vector<Row> ReadRows(int count);
  void AppendRows(int count);
  int Find(const TBookmark& bookmark, std::size_t from = 0) const;
  void DataSetChanged();
  void EditingChanged();
  void ActiveMoved();
  void RecordChanged();
  void SetCurrentRow(int row);
  bool IsLiveRow(int row) const;
  // The cell's text as read (logical values as designed, not translated).
  QString StoredCell(const QModelIndex& index) const;
  int CacheIndex(int row) const;
  // Puts one line of pasted cells into the record in edit, from Column on.
  void PasteLine(int column, const QStringList& cells);

  std::unique_ptr<Link> link_;
  std::vector<TField*> columns_;
  std::vector<Row> rows_;
  int insertRow_ = -1;  // the row shown for a record being inserted, -1: none
  int currentRow_ = -1;
  bool atEnd_ = true;     // the rows reach the last record
  bool atStart_ = true;   // ... and begin with the first one
  bool reading_ = false;
  bool readOnly_ = false;
  TDataSetState lastState_ = TDataSetState::dsInactive;
  std::uint64_t rowsVersion_ = 0;  // the dataset's RowsVersion when the rows were read
};

// The grid widget of a TwwDBGrid: selecting a row moves the dataset there, and the
// dataset's moves move the selection.
class TDBGridView : public QTableView {
 public:
  explicit TDBGridView(QWidget* parent = nullptr);
  TDBGridModel* Model() const { return model_; }
  TGridHeader* Header() const { return header_; }
  // The selected cells (the current one when none is) as tab-separated lines.
  QString SelectedText() const;
  // Takes data source, read-only flag and column titles from Grid.
  void Sync(TwwDBGrid* grid);

 protected:
  // Esc takes back the row being edited; Ctrl+Home and Ctrl+End go to the dataset's first
  // and last records, not just to the ends of the rows read so far; Delete is passed to the
  // grid's OnDeleteKey; Ctrl+C copies the selected cells, Ctrl+V pastes at the current one.
  void keyPressEvent(QKeyEvent* event) override;
  // A new font: the widths of its characters are measured again when next needed.
  void changeEvent(QEvent* event) override;

 private:
  std::vector<const TField*> ColumnFields() const;
  void SizeColumns();
  void WidenForRows(int first, int last);
  int WidestValue(int column, int first, int last) const;
  int TextWidth(const QString& text) const;
  void ApplyChosenWidths();
  bool WidthChosen(int column) const;
  const TField* ColumnOf(int column) const;
  // Selects the model's current row again (after a move the dataset refused).
  void FollowCurrentRow();
  // The thumb let go at either end of the scroll bar: the dataset's first or last record;
  // let go between them in a table read in part, the record at that share of it.
  void ThumbReleased();
  // The order marker on the title of the grid's sort field.
  void ShowSortMarker();
  std::string ColumnFieldName(int column) const;

  TDBGridModel* model_;
  TGridHeader* header_;
  TwwDBGrid* grid_ = nullptr;  // told of the row the dataset's record stands on
  bool following_ = false;
  int thumbEnd_ = 0;  // the end the thumb is dragged to: 1 the bottom, -1 the top, 0 neither
  bool thumbDragged_ = false;  // the thumb held down was moved
  std::vector<const TField*> sizedFields_;  // the columns SizeColumns last sized
  bool sizing_ = false;  // the columns are being sized by the grid, not by the person
  mutable std::vector<int> latin1Widths_;  // of each Latin-1 character in the grid's font
};

}  // namespace vader::ui
