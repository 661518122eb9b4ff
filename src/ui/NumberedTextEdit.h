#pragma once
// The editor of a memo: a plain-text editor that can show the number of each line in a
// margin at its left.

#include <QPlainTextEdit>

namespace vader::ui {

class TNumberedTextEdit : public QPlainTextEdit {
 public:
  explicit TNumberedTextEdit(QWidget* parent);

  bool NumbersShown() const { return numbersShown_; }
  void SetNumbersShown(bool shown);
  // The width of the margin: room for the highest line number, 0 while numbers are hidden.
  int MarginWidth() const;
  void PaintMargin(const QRect& area);

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void FitMargin();
  void ScrollMargin(const QRect& area, int dy);

  QWidget* margin_;
  bool numbersShown_ = false;
};

}  // namespace vader::ui
