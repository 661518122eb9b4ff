#pragma once
// The table designer: a grid of the table's fields (name, Btrieve type, size, decimals) and a
// grid of its index parts (index number, field, key flags), with the table's name, file and
// page size; each row's problem is shown beside it, with the cell concerned marked. The same
// definition can be read and edited as text, the form the utility reads and prints. For a new
// table it creates the table; for an existing one it restructures it, copying the records with
// their values converted, with progress and Stop, and asks what to do with a value that does
// not convert (stop, or set it blank). A field renamed or moved in the grid keeps its values.

#include <optional>
#include <string>
#include <vector>

#include "AppForm.h"
#include "TableDesignRules.h"
#include "tools/TableSchema.h"

namespace vader::app {

class TDatabaseForm;

class TTableDesignForm : public TAppForm {
 public:
  // `table` empty: a new table.
  TTableDesignForm(TComponent* owner, TDatabaseForm* database, const std::string& table);

  // Creates or restructures from the definition shown (the grids, or the text when its page is
  // in front); true when it was done. Problems and a stop are shown to the person.
  bool Apply();
  // Ends a restructure that is running; the table stays as it was.
  void Stop() { stop_ = true; }
  // Shows the definition given as text, in the grids and on the text page.
  void SetDefinition(const std::string& text);

  // The rows of the grids, as the buttons change them.
  void AddField();
  void RemoveField();
  void MoveField(int by);
  void AddIndex();
  void AddSegment();
  void RemoveIndexRow();
  void MoveIndexRow(int by);
  // The definition the grids describe; nothing when a row has a problem (it is marked).
  std::optional<tools::TableDef> DefinitionOfGrids();

 protected:
  void ShowState() override;

 private:
  struct TFieldRow {
    std::string origin;  // the stored field whose values it takes; empty: a new field
    uint16_t flags = 0;  // the dictionary's field flags, kept as they were
  };
  // Shows the table as stored (a new table: a first field and index to start from).
  void LoadStored();
  void BuildHeader();
  void BuildGridPage(TWinControl* page);
  void BuildTextPage(TWinControl* page);
  void BuildButtons();
  void ShowDefinition(const tools::TableDef& def);
  void FieldEdited(int row, int column);
  void IndexEdited(int row, int column);
  void PageChosen();
  // Checks every row again and shows the problems; true when there are none.
  bool CheckRows();
  // Each row's problem beside it, in the current language, its cell marked.
  void ShowProblems();
  void OfferFieldNames();
  TStringGrid* FieldGrid() const;
  TStringGrid* IndexGrid() const;
  std::string ShownText() const;
  bool CreateTable(const tools::TableDef& def);
  bool Restructure(const tools::TableDef& def);

  TDatabaseForm* database_;
  std::string table_;
  tools::TableDef base_;  // the table as loaded: what the grids do not show is kept from it
  std::vector<TFieldRow> fieldRows_;
  std::vector<std::string> shownNames_;  // the field names as last checked, by row
  std::vector<std::optional<TRowProblem>> fieldProblems_, indexProblems_;
  // What the line above the buttons tells (a designed text and its values), shown in the
  // language of the moment.
  struct {
    const char* designed = "";
    std::vector<std::string> values;
  } progress_;
  bool running_ = false;
  bool stop_ = false;
};

}  // namespace vader::app
