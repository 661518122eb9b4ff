#include "ui/GridHeader.h"

#include <QPainter>

namespace vader::ui {

TGridHeader::TGridHeader(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {
  setSectionsClickable(true);
  setHighlightSections(false);
  setSortIndicatorShown(false);
  connect(this, &QHeaderView::sectionResized, this, [this] { PlaceBoxes(); });
  connect(this, &QHeaderView::sectionCountChanged, this, [this] {
    MatchColumns();
    PlaceBoxes();
  });
}

int TGridHeader::BoxHeight() const { return filterRow_ ? fontMetrics().height() + 10 : 0; }

QSize TGridHeader::sizeHint() const {
  QSize size = QHeaderView::sizeHint();
  size.setHeight(size.height() + BoxHeight());
  return size;
}

void TGridHeader::SetFilterRow(bool shown) {
  if (shown == filterRow_) return;
  filterRow_ = shown;
  MatchColumns();
  updateGeometry();
  PlaceBoxes();
}

QLineEdit* TGridHeader::FilterBox(int column) const {
  if (column < 0 || column >= static_cast<int>(boxes_.size())) return nullptr;
  return boxes_[static_cast<std::size_t>(column)];
}

void TGridHeader::MatchColumns() {
  const auto wanted = static_cast<std::size_t>(count());
  while (boxes_.size() > wanted) {
    delete boxes_.back();
    boxes_.pop_back();
  }
  while (boxes_.size() < wanted) {
    auto* box = new QLineEdit(this);
    box->setObjectName(QStringLiteral("FilterBox%1").arg(boxes_.size()));
    box->setClearButtonEnabled(true);
    const int column = static_cast<int>(boxes_.size());
    connect(box, &QLineEdit::textChanged, this, [this, column](const QString& text) {
      if (OnFilterTextChanged) OnFilterTextChanged(column, text);
    });
    boxes_.push_back(box);
  }
}

void TGridHeader::updateGeometries() {
  QHeaderView::updateGeometries();
  PlaceBoxes();
}

// Each box under its column's title, following the column's width and the sideways scroll.
void TGridHeader::PlaceBoxes() {
  const int height = BoxHeight();
  const int top = QHeaderView::sizeHint().height();
  for (std::size_t i = 0; i < boxes_.size(); ++i) {
    const int column = static_cast<int>(i);
    QLineEdit* box = boxes_[i];
    if (!filterRow_ || isSectionHidden(column)) {
      box->hide();
      continue;
    }
    box->setGeometry(sectionViewportPosition(column), top, sectionSize(column), height);
    box->show();
  }
}

// The title keeps the top of the header; the boxes take the rest.
void TGridHeader::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const {
  QHeaderView::paintSection(painter, rect.adjusted(0, 0, 0, -BoxHeight()), logicalIndex);
}

}  // namespace vader::ui
