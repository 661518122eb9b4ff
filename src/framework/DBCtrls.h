#pragma once
// Data-aware controls: each shows data of the dataset behind its data source. The
// user-interface layer realises them and keeps its own links on the data source; a change
// of data source reaches it through the control's peer.

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "framework/Controls.h"
#include "framework/DataLinks.h"
#include "framework/DateTimes.h"

namespace vader {

class TDataAwareControl : public TWinControl {
 public:
  using TWinControl::TWinControl;
  TDataSource* DataSource() const { return dataSource_; }
  void SetDataSource(TDataSource* source);

 protected:
  void Notification(TComponent* component, TOperation operation) override;
  virtual void DataSourceChanged() {}

 private:
  TDataSource* dataSource_ = nullptr;
};

// The data-aware grid: one column per visible field of its dataset.
class TwwDBGrid : public TDataAwareControl {
 public:
  using TDataAwareControl::TDataAwareControl;
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool value) { readOnly_ = value; }
  // Where the active record stands, as the grid on screen reports it: its row counted from
  // the first record (0-based), and counted back from the last one (0: the last); -1 where
  // not known (the grid reads only the rows around the ones it shows).
  int Row() const { return row_; }
  int RowFromEnd() const { return rowFromEnd_; }
  void RowOnScreen(int row, int rowFromEnd = -1) {
    row_ = row;
    rowFromEnd_ = rowFromEnd;
    if (OnRowChange) OnRowChange(this);
  }
  std::function<void(TComponent*)> OnRowChange;
  // The Delete key pressed on a row (not while a cell is being typed into): the row's
  // record is to go.
  std::function<void(TComponent*)> OnDeleteKey;

  // The field whose column title shows the order marker ("" none) and its direction.
  const std::string& SortField() const { return sortField_; }
  bool SortDescending() const { return sortDescending_; }
  void SetSortMarker(const std::string& field, bool descending) {
    sortField_ = field;
    sortDescending_ = descending;
    Changed();
  }
  // A click on the title of the column of Field.
  std::function<void(TComponent*, const std::string& field)> OnTitleClick;
  // A row of boxes under the titles, one per column, told as each is typed into.
  bool FilterRow() const { return filterRow_; }
  void SetFilterRow(bool value) {
    filterRow_ = value;
    Changed();
  }
  std::function<void(TComponent*, const std::string& field, const std::string& text)>
      OnFilterTextChange;
  // Copy (Ctrl+C) and paste (Ctrl+V) of cells as tab-separated text; Paste gets the text and
  // the field names of the columns from the one pasted into on, and answers whether it took it.
  std::function<bool(TComponent*, const std::string& text, const std::vector<std::string>& fields)>
      OnPaste;

  // The widths (in pixels) the person gave columns, by field name; the other columns are as
  // wide as their contents. Setting one tells the grid on screen.
  const std::map<std::string, int>& ColumnWidths() const { return columnWidths_; }
  void SetColumnWidth(const std::string& fieldName, int width) {
    columnWidths_[fieldName] = width;
    Changed();
  }
  // A column resized by the person on screen.
  void ColumnResizedOnScreen(const std::string& fieldName, int width) {
    columnWidths_[fieldName] = width;
  }

 private:
  std::map<std::string, int> columnWidths_;
  bool readOnly_ = false;
  int row_ = -1;
  int rowFromEnd_ = -1;
  std::string sortField_;
  bool sortDescending_ = false;
  bool filterRow_ = false;
};

// Controls that show one field of the current record.
class TDBFieldControl : public TDataAwareControl {
 public:
  explicit TDBFieldControl(TComponent* owner);
  const std::string& DataField() const { return link_.FieldName(); }
  void SetDataField(const std::string& field) { link_.SetFieldName(field); }
  TField* Field() const { return link_.Field(); }
  TFieldDataLink& DataLink() { return link_; }

 protected:
  void DataSourceChanged() override { link_.SetDataSource(DataSource()); }

 private:
  TFieldDataLink link_;
};

// Checked while the field is true (a boolean field) or holds ValueChecked (any other).
class TDBCheckBox : public TDBFieldControl {
 public:
  explicit TDBCheckBox(TComponent* owner);
  enum class TCheckState { cbUnchecked, cbChecked, cbGrayed };
  TCheckState State() const;  // grayed for null or no field
  // Puts the dataset in edit and stores the value; false when the field cannot change.
  bool SetChecked(bool checked);
  std::string ValueChecked = "True";
  std::string ValueUnchecked = "False";
};

// Shows the field as text; typed text waits in the control until the record is posted.
class TDBEdit : public TDBFieldControl {
 public:
  explicit TDBEdit(TComponent* owner);
  const std::string& Text() const { return text_; }
  // Starts editing and keeps Text as a pending edit; false when the field cannot change.
  bool SetText(const std::string& text);

 private:
  std::string text_;
};

// Shows a date, time or date-time field as a value to pick; a null field shows as no value and
// stays null until a value is picked. A pick puts the dataset in edit and writes the field.
class TDBDateTimePicker : public TDBFieldControl {
 public:
  enum class TDateTimeKind { dtkDate, dtkTime, dtkDateTime };
  explicit TDBDateTimePicker(TComponent* owner);
  TDateTimeKind Kind() const { return kind_; }
  void SetKind(TDateTimeKind kind);
  // The field's value; nullopt for a null field or no field.
  const std::optional<TDateTime>& Value() const { return value_; }
  // Starts editing and writes the value (its date or time part for those kinds); false when
  // the field cannot change.
  bool SetValue(TDateTime value);

 private:
  TDateTimeKind kind_ = TDateTimeKind::dtkDate;
  std::optional<TDateTime> value_;
};

}  // namespace vader
