#include "TableDesignForm.h"

#include <algorithm>
#include <set>

#include "AppTexts.h"
#include "DatabaseForm.h"
#include "btrieve/BtrCreate.h"
#include "btrieve/BtrDbase.h"
#include "components/TableRestructure.h"
#include "framework/Dialogs.h"
#include "language/Zothrtns.h"
#include "platform/CodePage.h"
#include "tools/NativeTypes.h"
#include "tools/SchemaTexts.h"
#include "tools/TextLines.h"
#include "ui/ErrorDisplay.h"

namespace vader::app {
namespace {

using TColumnKind = TStringGrid::TColumnKind;

// What a new table starts from.
constexpr const char* kNewTableTemplate =
    "table name=NewTable file=NEWTABLE.BTR page=4096\n"
    "field name=Id type=autoincrement size=4\n"
    "field name=Name type=zstring size=40\n"
    "index number=0\n"
    "part field=Id\n";

constexpr const char* kPageSizes[] = {"512", "1024", "2048", "4096", "8192", "16384"};

// The definitions are written in the database's code page, as the dictionary stores names.
std::string StoredDefinition(const std::string& shown, const std::string& codePage) {
  platform::EncodedText stored = platform::AnsiTextToNative(shown, codePage);
  if (!stored.refused.empty())
    throw std::invalid_argument(Format(texts::kDefinitionCharacterNotStored,
                                       {platform::CharacterCodeText(stored.refused)}));
  return stored.bytes;
}

tools::TableDef OneTable(const std::string& text) {
  const std::vector<tools::TableDef> tables = tools::ParseSchema(text);
  if (tables.size() != 1) throw std::invalid_argument(Tr(texts::kDefineOneTable));
  return tables.front();
}

// A problem of the definition's text in the person's language.
std::string SchemaProblem(const std::string& message) {
  return TranslateFormatted(message, {std::begin(tools::texts::kSchemaProblems),
                                      std::end(tools::texts::kSchemaProblems)});
}

std::string Ticked(bool on) { return on ? "1" : ""; }

TStrings FieldCells(const tools::FieldDef& f) {
  return {f.name, tools::AsciiUpper(tools::TypeName(f.type)), std::to_string(f.size),
          f.decimals ? std::to_string(f.decimals) : "", ""};
}

TStrings PartCells(uint16_t number, const tools::IndexPart& p, uint16_t indexFlags) {
  return {std::to_string(number),
          p.field,
          Ticked(indexFlags & tools::kIndexDuplicates),
          Ticked(indexFlags & tools::kIndexModifiable),
          Ticked(p.flags & tools::kIndexDescending),
          Ticked(p.flags & tools::kIndexNoCase),
          Ticked(p.flags & tools::kIndexAcs),
          Ticked(indexFlags & tools::kIndexNull),
          ""};
}

// A button of a grid's column of buttons along its right edge.
constexpr int kButtonWidth = 150;

}  // namespace

TTableDesignForm::TTableDesignForm(TComponent* owner, TDatabaseForm* database,
                                   const std::string& table)
    : TAppForm(owner), database_(database), table_(table) {
  BeginLoading();
  SetName("TableDesignForm");
  SetCaption(table.empty() ? "New table" : "Restructure");
  SetBounds(120, 90, 760, 640);
  BuildHeader();
  BuildButtons();
  auto* pages = Place<TPageControl>(this, "DesignPages", 0, 0, 760, 400);
  pages->SetAlign(alClient);
  auto* gridPage = new TTabSheet(this);
  gridPage->SetName("GridPage");
  gridPage->SetCaption("Fields and indexes");
  gridPage->SetPageControl(pages);
  auto* textPage = new TTabSheet(this);
  textPage->SetName("TextPage");
  textPage->SetCaption("Definition as text");
  textPage->SetPageControl(pages);
  BuildGridPage(gridPage);
  BuildTextPage(textPage);
  pages->OnChange = [this](TComponent*) { PageChosen(); };

  LoadStored();
}

void TTableDesignForm::LoadStored() {
  std::string definition = kNewTableTemplate;
  if (!table_.empty()) {
    auto* btrieve = dynamic_cast<TBtrDatabase*>(database_->Database()->Handle());
    if (btrieve == nullptr) throw std::invalid_argument(Tr(texts::kOnlyBtrieveTables));
    TSessionLock lock(*database_->Database()->Session());
    CallEngineObject([&] {
      definition =
          tools::FormatSchema(DescribeBtrieveTable(*btrieve, database_->TableNameFor(table_)).def);
    });
    definition =
        platform::NativeTextToAnsi(definition, database_->Database()->Handle()->TextCodePage());
  }
  base_ = OneTable(definition);
  SetDefinition(definition);
}

void TTableDesignForm::BuildHeader() {
  // A restructure keeps the table's name and file (the window's title names it): only the
  // page size and the record kind are offered.
  const bool creating = table_.empty();
  const int top = creating ? 40 : 8;
  TPanel* header = AddPane(this, "TablePane", alTop, top + 32);
  Place<TLabel>(header, "TableNameLabel", 12, 10, 100, 22)->SetCaption("Table name:");
  Place<TEdit>(header, "TableNameEdit", 116, 8, 180, 26);
  Place<TLabel>(header, "FileLabel", 310, 10, 50, 22)->SetCaption("File:");
  Place<TEdit>(header, "FileEdit", 364, 8, 200, 26);
  for (const char* name : {"TableNameLabel", "TableNameEdit", "FileLabel", "FileEdit"})
    dynamic_cast<TControl*>(FindComponent(name))->SetVisible(creating);
  Place<TLabel>(header, "PageSizeLabel", 12, top + 2, 100, 22)->SetCaption("Page size:");
  Place<TComboBox>(header, "PageSizeCombo", 116, top, 110, 26)
      ->SetHint("The size of the data file's pages in bytes");
  Place<TCheckBox>(header, "VariableCheck", 310, top, 300, 26)
      ->SetCaption("Variable-length records");
}

void TTableDesignForm::BuildButtons() {
  TPanel* foot = AddPane(this, "ButtonsPane", alBottom, 72);
  Place<TLabel>(foot, "ProgressLabel", 12, 4, 736, 22)->SetAnchors({akLeft, akTop, akRight});
  AddButton(
      foot, "ApplyButton", table_.empty() ? "&Create" : "&Restructure", 12, 34, 140,
      [this] { Apply(); },
      table_.empty() ? "Create the table" : "Copy the records into the new structure");
  auto* stop = AddButton(
      foot, "StopButton", "&Stop", 164, 34, 140, [this] { Stop(); },
      "Stop the restructure; the table stays as it was");
  stop->SetVisible(false);
  AddButton(foot, "CloseButton", "&Close", 608, 34, 140, [this] {
    CloseWindow();
  })->SetAnchors({akRight, akTop});
}

void TTableDesignForm::BuildGridPage(TWinControl* page) {
  TPanel* top = AddPane(page, "FieldsPane", alTop, 250);
  AddSplitter(page, "Splitter", alTop);
  TPanel* bottom = AddPane(page, "IndexesPane", alClient);

  // Each grid under its title, growing with the pane; its buttons along its right edge.
  const int gridWidth = top->Width() - kButtonWidth - 28;
  const auto grid = [&](TPanel* pane, const char* titleName, const char* title, const char* name,
                        std::initializer_list<std::pair<const char*, int>> columns) {
    Place<TLabel>(pane, titleName, 8, 4, 300, 22)->SetCaption(title);
    auto* made = Place<TStringGrid>(pane, name, 8, 28, gridWidth, pane->Height() - 32);
    made->SetAnchors({akLeft, akTop, akRight, akBottom});
    for (const auto& [caption, width] : columns) made->AddColumn(caption, width);
    return made;
  };
  auto* fields =
      grid(top, "FieldsLabel", "Fields", "FieldGrid",
           {{"Field", 150}, {"Type", 130}, {"Size", 60}, {"Decimals", 70}, {"Problem", 200}});
  fields->SetColumnKind(fcType, TColumnKind::Choice, DesignerTypeNames());
  fields->SetColumnKind(fcProblem, TColumnKind::Shown);
  fields->OnCellEdited = [this](TComponent*, int row, int column) { FieldEdited(row, column); };
  const int buttonsLeft = gridWidth + 18;
  const auto button = [&](TPanel* pane, const char* name, const char* caption, int row,
                          std::function<void()> action) {
    AddButton(pane, name, caption, buttonsLeft, 28 + row * 34, kButtonWidth, std::move(action))
        ->SetAnchors({akRight, akTop});
  };
  button(top, "AddFieldButton", "&Add field", 0, [this] { AddField(); });
  button(top, "RemoveFieldButton", "Remove field", 1, [this] { RemoveField(); });
  button(top, "FieldUpButton", "Move up", 2, [this] { MoveField(-1); });
  button(top, "FieldDownButton", "Move down", 3, [this] { MoveField(1); });

  auto* indexes = grid(bottom, "IndexesLabel", "Indexes", "IndexGrid",
                       {{"Index", 46},
                        {"Field", 110},
                        {"Duplicates", 74},
                        {"Modifiable", 74},
                        {"Descending", 78},
                        {"Case-insensitive", 104},
                        {"ACS", 40},
                        {"Null value", 70},
                        {"Problem", 200}});
  for (int column : {icDuplicates, icModifiable, icDescending, icNoCase, icAcs, icNull})
    indexes->SetColumnKind(column, TColumnKind::Check);
  indexes->SetColumnKind(icProblem, TColumnKind::Shown);
  indexes->OnCellEdited = [this](TComponent*, int row, int column) { IndexEdited(row, column); };
  button(bottom, "AddIndexButton", "Add &index", 0, [this] { AddIndex(); });
  button(bottom, "AddSegmentButton", "Add se&gment", 1, [this] { AddSegment(); });
  button(bottom, "RemoveIndexButton", "Remove segment", 2, [this] { RemoveIndexRow(); });
  button(bottom, "IndexUpButton", "Move up", 3, [this] { MoveIndexRow(-1); });
  button(bottom, "IndexDownButton", "Move down", 4, [this] { MoveIndexRow(1); });
}

void TTableDesignForm::BuildTextPage(TWinControl* page) {
  const int width = page->Width(), height = page->Height();
  Place<TLabel>(page, "DefinitionLabel", 8, 4, width - 16, 22)
      ->SetCaption("One line for the table, each field, each index and each part of an index:");
  Place<TMemo>(page, "DefinitionMemo", 8, 28, width - 16, height - 84)
      ->SetAnchors({akLeft, akTop, akRight, akBottom});
  auto* types = Place<TLabel>(page, "TypesLabel", 8, height - 52, width - 16, 22);
  types->SetAnchors({akLeft, akRight, akBottom});
  types->SetCaption(
      "Types: string zstring lstring integer unsigned autoincrement float bfloat "
      "decimal money numeric date time logical currency timestamp");
  auto* flags = Place<TLabel>(page, "FlagsLabel", 8, height - 28, width - 16, 22);
  flags->SetAnchors({akLeft, akRight, akBottom});
  flags->SetCaption(
      "Index: duplicates modifiable null; part: nocase descending acs; "
      "a renamed field: from=OLDNAME");
}

TStringGrid* TTableDesignForm::FieldGrid() const {
  return dynamic_cast<TStringGrid*>(FindComponent("FieldGrid"));
}

TStringGrid* TTableDesignForm::IndexGrid() const {
  return dynamic_cast<TStringGrid*>(FindComponent("IndexGrid"));
}

void TTableDesignForm::SetDefinition(const std::string& text) {
  dynamic_cast<TMemo*>(FindComponent("DefinitionMemo"))->SetText(text);
  ShowDefinition(OneTable(text));
}

void TTableDesignForm::ShowDefinition(const tools::TableDef& def) {
  dynamic_cast<TEdit*>(FindComponent("TableNameEdit"))->SetText(def.name);
  dynamic_cast<TEdit*>(FindComponent("FileEdit"))->SetText(def.location);
  auto* pageSizes = dynamic_cast<TComboBox*>(FindComponent("PageSizeCombo"));
  TStrings sizes(std::begin(kPageSizes), std::end(kPageSizes));
  const std::string pageSize = std::to_string(def.pageSize);
  if (std::find(sizes.begin(), sizes.end(), pageSize) == sizes.end()) sizes.push_back(pageSize);
  pageSizes->SetItems(sizes);
  pageSizes->SetItemIndex(
      static_cast<int>(std::find(sizes.begin(), sizes.end(), pageSize) - sizes.begin()));
  dynamic_cast<TCheckBox*>(FindComponent("VariableCheck"))->SetChecked(def.variable);

  TStringGrid* fields = FieldGrid();
  fields->ClearRows();
  fieldRows_.clear();
  for (const tools::FieldDef& f : def.fields) {
    fields->AddRow(FieldCells(f));
    // A field given with from= takes that field's values; one of a stored name keeps its own.
    std::string origin = f.from.empty() && base_.Field(f.name) ? f.name : f.from;
    fieldRows_.push_back({table_.empty() ? std::string() : origin, f.flags});
  }
  TStringGrid* indexes = IndexGrid();
  indexes->ClearRows();
  for (const tools::IndexDef& index : def.indexes)
    for (const tools::IndexPart& part : index.parts)
      indexes->AddRow(PartCells(index.number, part, index.parts.front().flags));
  CheckRows();
}

std::string TTableDesignForm::ShownText() const {
  return dynamic_cast<TMemo*>(FindComponent("DefinitionMemo"))->Text();
}

void TTableDesignForm::OfferFieldNames() {
  TStrings names;
  for (const TStrings& row : FieldGrid()->Rows())
    if (!row[fcName].empty()) names.push_back(row[fcName]);
  IndexGrid()->SetColumnKind(icField, TColumnKind::Choice, names);
}

bool TTableDesignForm::CheckRows() {
  TStringGrid* fields = FieldGrid();
  std::vector<std::string> names;
  std::vector<tools::FieldDef> defined;
  fieldProblems_.clear();
  for (const TStrings& row : fields->Rows()) {
    tools::FieldDef field;
    fieldProblems_.push_back(FieldOfRow(row, names, field));
    names.push_back(tools::AsciiUpper(row[fcName]));
    // A field with a problem still names what the index rows may refer to.
    defined.push_back(field);
  }
  indexProblems_.clear();
  for (const TStrings& row : IndexGrid()->Rows()) {
    uint16_t number = 0;
    tools::IndexPart part;
    indexProblems_.push_back(PartOfRow(row, defined, number, part));
  }
  shownNames_.clear();
  for (const TStrings& row : fields->Rows()) shownNames_.push_back(row[fcName]);
  OfferFieldNames();
  ShowProblems();
  const auto fine = [](const auto& problem) { return !problem.has_value(); };
  return std::all_of(fieldProblems_.begin(), fieldProblems_.end(), fine) &&
         std::all_of(indexProblems_.begin(), indexProblems_.end(), fine);
}

void TTableDesignForm::FieldEdited(int row, int column) {
  TStringGrid* fields = FieldGrid();
  const TStrings cells = fields->Rows()[static_cast<std::size_t>(row)];
  if (column == fcType) {
    // A new type keeps the size when it suits it, else starts from the type's own.
    if (const auto type = tools::TypeCode(cells[fcType])) {
      const TTypeDefault start = DefaultOfType(*type);
      uint16_t size = 0;
      try {
        size = static_cast<uint16_t>(std::stoi(cells[fcSize]));
      } catch (const std::exception&) {
      }
      // Decimals too start from the type's own when the size does, or when they do not suit it.
      const std::string decimals = start.decimals ? std::to_string(start.decimals) : "";
      if (!SizeFitsType(*type, size)) {
        fields->SetCell(row, fcSize, std::to_string(start.size));
        fields->SetCell(row, fcDecimals, decimals);
      }
      tools::FieldDef field;
      const auto problem = FieldOfRow(fields->Rows()[static_cast<std::size_t>(row)], {}, field);
      if (problem && problem->column == fcDecimals) fields->SetCell(row, fcDecimals, decimals);
    }
  }
  if (column == fcName && static_cast<std::size_t>(row) < shownNames_.size()) {
    // The index parts follow a renamed field.
    const std::string& old = shownNames_[static_cast<std::size_t>(row)];
    TStringGrid* indexes = IndexGrid();
    for (int i = 0; i < static_cast<int>(indexes->Rows().size()); ++i)
      if (!old.empty() &&
          tools::SameName(indexes->Rows()[static_cast<std::size_t>(i)][icField], old))
        indexes->SetCell(i, icField, cells[fcName]);
  }
  CheckRows();
}

void TTableDesignForm::IndexEdited(int row, int column) {
  // Duplicates, modifiable and null value belong to the whole index: every part follows.
  TStringGrid* indexes = IndexGrid();
  const TStrings cells = indexes->Rows()[static_cast<std::size_t>(row)];
  const auto sameIndex = [&](int other) {
    return other != row &&
           indexes->Rows()[static_cast<std::size_t>(other)][icNumber] == cells[icNumber];
  };
  const int rows = static_cast<int>(indexes->Rows().size());
  if (column == icDuplicates || column == icModifiable || column == icNull) {
    for (int i = 0; i < rows; ++i)
      if (sameIndex(i)) indexes->SetCell(i, column, cells[static_cast<std::size_t>(column)]);
  } else if (column == icNumber) {
    // A part moved to another index takes that index's flags.
    for (int i = 0; i < rows; ++i) {
      if (!sameIndex(i)) continue;
      for (int flag : {icDuplicates, icModifiable, icNull})
        indexes->SetCell(
            row, flag,
            indexes->Rows()[static_cast<std::size_t>(i)][static_cast<std::size_t>(flag)]);
      break;
    }
  }
  CheckRows();
}

void TTableDesignForm::AddField() {
  TStringGrid* fields = FieldGrid();
  const int at =
      fields->Selected() >= 0 ? fields->Selected() + 1 : static_cast<int>(fields->Rows().size());
  std::set<std::string> taken;
  for (const TStrings& row : fields->Rows()) taken.insert(tools::AsciiUpper(row[fcName]));
  int n = static_cast<int>(fields->Rows().size()) + 1;
  while (taken.count("FIELD" + std::to_string(n))) ++n;
  tools::FieldDef field;
  field.name = "Field" + std::to_string(n);
  field.type = tools::kTypeZString;
  field.size = DefaultOfType(field.type).size;
  fields->InsertRow(at, FieldCells(field));
  fieldRows_.insert(fieldRows_.begin() + at, TFieldRow{});
  fields->SetSelected(at);
  CheckRows();
}

void TTableDesignForm::RemoveField() {
  TStringGrid* fields = FieldGrid();
  const int row = fields->Selected();
  if (row < 0 || row >= static_cast<int>(fieldRows_.size())) return;
  fields->DeleteRow(row);
  fieldRows_.erase(fieldRows_.begin() + row);
  CheckRows();
}

void TTableDesignForm::MoveField(int by) {
  TStringGrid* fields = FieldGrid();
  const int from = fields->Selected(), to = from + by;
  if (from < 0 || to < 0 || to >= static_cast<int>(fieldRows_.size())) return;
  fields->MoveRow(from, to);
  std::swap(fieldRows_[static_cast<std::size_t>(from)], fieldRows_[static_cast<std::size_t>(to)]);
  CheckRows();
}

void TTableDesignForm::AddIndex() {
  TStringGrid* indexes = IndexGrid();
  int number = 0;
  for (const TStrings& row : indexes->Rows()) {
    try {
      number = std::max(number, std::stoi(row[icNumber]) + 1);
    } catch (const std::exception&) {
    }
  }
  const TStrings& fields = IndexGrid()->Choices(icField);
  tools::IndexPart part;
  part.field = fields.empty() ? std::string() : fields.front();
  indexes->AddRow(PartCells(static_cast<uint16_t>(number), part, tools::kIndexModifiable));
  indexes->SetSelected(static_cast<int>(indexes->Rows().size()) - 1);
  CheckRows();
}

void TTableDesignForm::AddSegment() {
  TStringGrid* indexes = IndexGrid();
  const int row = indexes->Selected();
  if (row < 0 || row >= static_cast<int>(indexes->Rows().size())) return AddIndex();
  TStrings cells = indexes->Rows()[static_cast<std::size_t>(row)];
  // The same index and its flags; the next field of the table as the part's field.
  const TStrings& fields = indexes->Choices(icField);
  const auto named = std::find(fields.begin(), fields.end(), cells[icField]);
  if (named != fields.end() && named + 1 != fields.end()) cells[icField] = *(named + 1);
  cells[icProblem].clear();
  indexes->InsertRow(row + 1, cells);
  indexes->SetSelected(row + 1);
  CheckRows();
}

void TTableDesignForm::RemoveIndexRow() {
  TStringGrid* indexes = IndexGrid();
  if (indexes->Selected() < 0) return;
  indexes->DeleteRow(indexes->Selected());
  CheckRows();
}

void TTableDesignForm::MoveIndexRow(int by) {
  TStringGrid* indexes = IndexGrid();
  const int from = indexes->Selected();
  indexes->MoveRow(from, from + by);
  CheckRows();
}

std::optional<tools::TableDef> TTableDesignForm::DefinitionOfGrids() {
  if (!CheckRows()) return std::nullopt;
  tools::TableDef def = base_;
  def.name = dynamic_cast<TEdit*>(FindComponent("TableNameEdit"))->Text();
  def.location = dynamic_cast<TEdit*>(FindComponent("FileEdit"))->Text();
  if (!table_.empty()) {
    def.name = base_.name;
    def.location = base_.location;
  }
  if (def.name.empty() || def.name.size() > tools::kTableNameSize)
    throw std::invalid_argument(Tr(texts::kTableNeedsName));
  if (def.location.empty() || def.location.size() > tools::kLocationSize)
    throw std::invalid_argument(Tr(texts::kTableNeedsFile));
  const auto* pageSizes = dynamic_cast<TComboBox*>(FindComponent("PageSizeCombo"));
  if (pageSizes->ItemIndex() >= 0)
    def.pageSize = static_cast<uint16_t>(
        std::stoi(pageSizes->Items()[static_cast<std::size_t>(pageSizes->ItemIndex())]));
  def.variable = dynamic_cast<TCheckBox*>(FindComponent("VariableCheck"))->Checked();
  def.fields.clear();
  std::vector<std::string> names;
  const auto& fieldCells = FieldGrid()->Rows();
  for (std::size_t row = 0; row < fieldCells.size(); ++row) {
    tools::FieldDef field;
    FieldOfRow(fieldCells[row], names, field);
    names.push_back(tools::AsciiUpper(field.name));
    field.flags = fieldRows_[row].flags;
    const std::string& origin = fieldRows_[row].origin;
    if (!origin.empty() && field.name != origin) field.from = origin;
    def.fields.push_back(field);
  }
  def.indexes.clear();
  for (const TStrings& row : IndexGrid()->Rows()) {
    uint16_t number = 0;
    tools::IndexPart part;
    PartOfRow(row, def.fields, number, part);
    // The rows of one index need not stand together: a part joins its index's earlier rows.
    auto index = std::find_if(def.indexes.begin(), def.indexes.end(),
                              [&](const tools::IndexDef& i) { return i.number == number; });
    if (index == def.indexes.end()) {
      def.indexes.push_back(tools::IndexDef{number, {}});
      index = def.indexes.end() - 1;
    }
    index->parts.push_back(part);
  }
  return tools::LaidOut(def);
}

void TTableDesignForm::PageChosen() {
  const auto* pages = dynamic_cast<TPageControl*>(FindComponent("DesignPages"));
  progress_ = {};
  try {
    if (pages->ActivePageIndex() == 1) {
      // The text shows what the grids describe, when they describe a table.
      if (const auto def = DefinitionOfGrids())
        dynamic_cast<TMemo*>(FindComponent("DefinitionMemo"))->SetText(tools::FormatSchema(*def));
      else
        progress_ = {texts::kCorrectTheMarkedRows, {}};
    } else {
      ShowDefinition(OneTable(ShownText()));
    }
  } catch (const std::exception& error) {
    progress_ = {texts::kTheDefinitionIsWrong, {error.what()}};
  }
  ShowState();
}

void TTableDesignForm::ShowState() {
  const std::string title =
      table_.empty() ? Tr(texts::kNewTable) : Format(texts::kRestructureOf, {table_});
  if (Caption() != title) SetCaption(title);
  if (auto* label = dynamic_cast<TLabel*>(FindComponent("ProgressLabel"))) {
    std::vector<std::string> values;
    for (const std::string& value : progress_.values) values.push_back(SchemaProblem(value));
    label->SetCaption(*progress_.designed ? Format(progress_.designed, values) : std::string());
  }
  ShowProblems();
}

void TTableDesignForm::ShowProblems() {
  // Each row's problem in the current language, its cell marked.
  const auto show = [](TStringGrid* grid, const std::vector<std::optional<TRowProblem>>& problems,
                       int column) {
    if (!grid) return;
    for (std::size_t row = 0; row < problems.size() && row < grid->Rows().size(); ++row) {
      const auto& problem = problems[row];
      const std::string text = problem ? Format(problem->designed, problem->values) : "";
      if (grid->Rows()[row][static_cast<std::size_t>(column)] != text)
        grid->SetCell(static_cast<int>(row), column, text);
      if (grid->MarkedColumn(static_cast<int>(row)) != (problem ? problem->column : -1))
        grid->SetMarkedColumn(static_cast<int>(row), problem ? problem->column : -1);
    }
  };
  show(FieldGrid(), fieldProblems_, fcProblem);
  show(IndexGrid(), indexProblems_, icProblem);
}

bool TTableDesignForm::Apply() {
  if (running_) return false;
  try {
    const auto* pages = dynamic_cast<TPageControl*>(FindComponent("DesignPages"));
    std::string text;
    if (pages->ActivePageIndex() == 1) {
      text = ShownText();
      ShowDefinition(OneTable(text));
    } else {
      const auto def = DefinitionOfGrids();
      if (!def) {
        MessageDlg(Tr(texts::kCorrectTheMarkedRows), TMsgDlgType::mtError, mbOK, 0);
        return false;
      }
      text = tools::FormatSchema(*def);
    }
    const tools::TableDef def =
        OneTable(StoredDefinition(text, database_->Database()->Handle()->TextCodePage()));
    return table_.empty() ? CreateTable(def) : Restructure(def);
  } catch (const tools::ParseError& error) {
    MessageDlg(Format(texts::kTheDefinitionIsWrong, {SchemaProblem(error.what())}),
               TMsgDlgType::mtError, mbOK, 0);
  } catch (const std::invalid_argument& error) {
    MessageDlg(Format(texts::kTheDefinitionIsWrong, {SchemaProblem(error.what())}),
               TMsgDlgType::mtError, mbOK, 0);
  } catch (const std::exception& error) {
    ui::ShowException(error);
  }
  return false;
}

bool TTableDesignForm::CreateTable(const tools::TableDef& requested) {
  tools::TableDef def = requested;
  auto* btrieve = dynamic_cast<TBtrDatabase*>(database_->Database()->Handle());
  if (btrieve == nullptr) throw std::invalid_argument(Tr(texts::kOnlyBtrieveTables));
  {
    TSessionLock lock(*database_->Database()->Session());
    CallEngineObject([&] { CreateBtrieveTable(*btrieve, def); });
  }
  database_->RefreshTables();
  MessageDlg(Format(texts::kTheTableWasCreated, {def.name}), TMsgDlgType::mtInformation, mbOK, 0);
  CloseWindow();
  return true;
}

bool TTableDesignForm::Restructure(const tools::TableDef& def) {
  if (!ConfirmPrompt(Format(texts::kRestructureConfirm, {table_}))) return false;
  if (!database_->CloseWindowsOfTable(table_)) return false;
  TRestructureOptions options;
  options.onProgress = [this](int64_t done, int64_t total, bool& stop) {
    progress_ = {texts::kCopiedOfRecords, {std::to_string(done), std::to_string(total)}};
    ShowState();
    Application().ProcessMessages();  // shows the progress and lets Stop be clicked
    stop = stop_;
  };
  options.onBadValue = [](const TBadValue& bad) {
    const TModalResult answer = MessageDlg(
        Format(texts::kValueDoesNotConvert, {std::to_string(bad.record), bad.field, bad.value}) +
            "\n" + bad.reason,
        TMsgDlgType::mtConfirmation,
        {{mbYes, Tr(texts::kSetBlank)}, {mbNo, Tr(texts::kStopRestructure)}});
    return answer == mrYes ? TBadValueAction::Blank : TBadValueAction::Stop;
  };
  running_ = true;
  stop_ = false;
  dynamic_cast<TButton*>(FindComponent("StopButton"))->SetVisible(true);
  const auto finished = [this] {
    running_ = false;
    dynamic_cast<TButton*>(FindComponent("StopButton"))->SetVisible(false);
  };
  try {
    const TRestructureResult result =
        RestructureTable(database_->DatabaseName(), database_->TableNameFor(table_), def, options);
    finished();
    progress_ = {texts::kRestructuredRecords,
                 {std::to_string(result.records), std::to_string(result.blanked)}};
  } catch (...) {
    finished();
    progress_ = {stop_ ? texts::kRestructureStopped : "", {}};
    ShowState();
    if (stop_) return false;
    throw;
  }
  // The stored table is now the one shown: a further change starts from it.
  LoadStored();
  ShowState();
  database_->RefreshTables();
  return true;
}

}  // namespace vader::app
