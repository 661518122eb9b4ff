#include "ui/NumberedTextEdit.h"

#include <QPainter>
#include <QTextBlock>

namespace vader::ui {
namespace {

constexpr int kMarginPadding = 4;  // pixels on either side of the numbers

// The margin widget paints through its editor, which knows where the lines are.
class TNumberMargin : public QWidget {
 public:
  explicit TNumberMargin(TNumberedTextEdit* editor) : QWidget(editor), editor_(editor) {}
  QSize sizeHint() const override { return {editor_->MarginWidth(), 0}; }

 protected:
  void paintEvent(QPaintEvent* event) override { editor_->PaintMargin(event->rect()); }

 private:
  TNumberedTextEdit* editor_;
};

}  // namespace

TNumberedTextEdit::TNumberedTextEdit(QWidget* parent)
    : QPlainTextEdit(parent), margin_(new TNumberMargin(this)) {
  connect(this, &QPlainTextEdit::blockCountChanged, this, [this] { FitMargin(); });
  connect(this, &QPlainTextEdit::updateRequest, this,
          [this](const QRect& area, int dy) { ScrollMargin(area, dy); });
  FitMargin();
}

void TNumberedTextEdit::SetNumbersShown(bool shown) {
  if (shown == numbersShown_) return;
  numbersShown_ = shown;
  FitMargin();
}

int TNumberedTextEdit::MarginWidth() const {
  if (!numbersShown_) return 0;
  const int digits = static_cast<int>(QString::number(std::max(1, blockCount())).size());
  return 2 * kMarginPadding + fontMetrics().horizontalAdvance(u'9') * digits;
}

void TNumberedTextEdit::FitMargin() {
  setViewportMargins(MarginWidth(), 0, 0, 0);
  margin_->setVisible(numbersShown_);
  const QRect content = contentsRect();
  margin_->setGeometry(content.left(), content.top(), MarginWidth(), content.height());
}

void TNumberedTextEdit::ScrollMargin(const QRect& area, int dy) {
  if (dy != 0)
    margin_->scroll(0, dy);
  else
    margin_->update(0, area.y(), margin_->width(), area.height());
}

void TNumberedTextEdit::resizeEvent(QResizeEvent* event) {
  QPlainTextEdit::resizeEvent(event);
  FitMargin();
}

// Numbers the lines that lie in `area` of the margin, each level with its line's first row.
void TNumberedTextEdit::PaintMargin(const QRect& area) {
  QPainter painter(margin_);
  painter.fillRect(area, palette().color(QPalette::AlternateBase));
  painter.setPen(palette().color(QPalette::PlaceholderText));
  const int width = margin_->width() - kMarginPadding;
  for (QTextBlock block = firstVisibleBlock(); block.isValid(); block = block.next()) {
    const QRectF bounds = blockBoundingGeometry(block).translated(contentOffset());
    if (bounds.top() > area.bottom()) break;
    if (!block.isVisible() || bounds.bottom() < area.top()) continue;
    const QRect row(0, static_cast<int>(bounds.top()), width, fontMetrics().height());
    painter.drawText(row, Qt::AlignRight | Qt::AlignVCenter,
                     QString::number(block.blockNumber() + 1));
  }
}

}  // namespace vader::ui
