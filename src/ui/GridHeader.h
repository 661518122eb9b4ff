#pragma once
// The column titles of the data-aware grid: a click on a title is passed on (the grid orders
// its rows by that column), the title of the ordering column carries the order marker, and an
// optional row of boxes under the titles, one per column, takes a filter text for each.

#include <QHeaderView>
#include <QLineEdit>
#include <functional>
#include <vector>

namespace vader::ui {

class TGridHeader : public QHeaderView {
 public:
  explicit TGridHeader(QWidget* parent);

  // Shows or hides the row of filter boxes (the view lays itself out again after); the boxes
  // keep their texts while hidden.
  void SetFilterRow(bool shown);
  bool FilterRowShown() const { return filterRow_; }
  // The filter box of Column, nullptr when there is none.
  QLineEdit* FilterBox(int column) const;
  // Told with the column and its box's text as the text changes.
  std::function<void(int column, const QString& text)> OnFilterTextChanged;

  QSize sizeHint() const override;
  // Puts the boxes under their columns again (after a sideways scroll).
  void PlaceBoxes();

 protected:
  void updateGeometries() override;
  void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;

 private:
  // One box per column: boxes are added or dropped when the columns change.
  void MatchColumns();
  int BoxHeight() const;

  std::vector<QLineEdit*> boxes_;
  bool filterRow_ = false;
};

}  // namespace vader::ui
