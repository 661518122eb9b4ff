#pragma once
// The screen side of the framework's string grid: a table whose cells are typed into, chosen
// from a drop-down list or ticked, with the cell a row's problem concerns marked.

#include <QTableWidget>
#include <vector>

#include "framework/Controls.h"

namespace vader::ui {

class TStringGridView : public QTableWidget {
 public:
  TStringGridView(TStringGrid* grid, QWidget* parent);
  // Shows the grid's columns, rows and marks; typing in progress elsewhere is not disturbed.
  void Sync();

 private:
  void ShowColumns();
  void ShowCell(int row, int column, const std::string& text);
  void TakeEdit(QTableWidgetItem* item);

  TStringGrid* grid_;
  std::vector<QStringList> choices_;  // by column, those its editor offers
  bool syncing_ = false;
};

}  // namespace vader::ui
