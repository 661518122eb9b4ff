#include "StructureForm.h"

#include <cstring>

#include "AppTexts.h"
#include "BrowseTable.h"
#include "DatabaseForm.h"
#include "platform/CodePage.h"

namespace vader::app {

std::string EngineTypeName(uint16_t type, uint16_t subType) {
  static const char* const names[] = {
      "Unknown",    "String",   "Date",  "Blob",   "Logical",   "Integer16",  "Integer32",
      "Float",      "BCD",      "Bytes", "Time",   "Timestamp", "Unsigned16", "Unsigned32",
      "Float IEEE", "Varbytes", "Lock",  "Cursor", "Integer64", "Unsigned64"};
  std::string name = type < std::size(names) ? names[type] : "Type " + std::to_string(type);
  switch (subType) {
    case fldstMONEY:
      return name + " (money)";
    case fldstMEMO:
      return name + " (memo)";
    case fldstBINARY:
      return name + " (binary)";
    case fldstGRAPHIC:
      return name + " (graphic)";
    case fldstAUTOINC:
      return name + " (autoincrement)";
    default:
      return name;
  }
}

TStructureForm::TStructureForm(TComponent* owner, TDatabaseForm* database, const std::string& table)
    : TAppForm(owner), tableName_(table) {
  BeginLoading();
  SetName("StructureForm");
  SetCaption("Structure");
  SetBounds(100, 80, 700, 536);
  // The fields above, the indexes below, the border between them dragged as the person likes.
  TPanel* top = AddPane(this, "FieldsPane", alTop, 270);
  AddSplitter(this, "Splitter", alTop);
  TPanel* bottom = AddPane(this, "IndexesPane", alClient);
  Place<TLabel>(top, "FieldsLabel", 12, 8, 300, 22)->SetCaption("Fields");
  auto* fields = Place<TListView>(top, "FieldList", 12, 32, 676, 234);
  fields->SetAnchors({akLeft, akTop, akRight, akBottom});
  fields->AddColumn("Field", 220);
  fields->AddColumn("Type", 200);
  fields->AddColumn("Offset", 100);
  fields->AddColumn("Size", 100);
  Place<TLabel>(bottom, "IndexesLabel", 12, 4, 300, 22)->SetCaption("Indexes");
  auto* indexes = Place<TListView>(bottom, "IndexList", 12, 28, 676, bottom->Height() - 40);
  indexes->SetAnchors({akLeft, akTop, akRight, akBottom});
  indexes->AddColumn("Index", 220);
  indexes->AddColumn("Segments", 340);
  indexes->AddColumn("Unique", 100);

  // The field list of the database gives the stored layout: offsets and sizes as in the file.
  TBrowseTable open(nullptr);
  open.SetDatabaseName(database->DatabaseName());
  open.SetTableName(database->TableNameFor(table));
  open.SetReadOnly(true);
  open.Open();
  {
    TSessionLock lock(*open.DBSession());
    TVirtEng* engine = open.Engine();
    TBaseTable* list = nullptr;
    open.Check(engine->OpenFieldList(open.DBHandle(), open.EngineTableName().c_str(), nullptr,
                                     false, list));
    FieldDesc desc{};
    while (engine->GetNextRecord(list, dbiNOLOCK, reinterpret_cast<uint8_t*>(&desc), nullptr) ==
           0) {
      const std::string name(desc.FieldName, strnlen(desc.FieldName, sizeof desc.FieldName));
      fields->AddRow({platform::NativeTextToAnsi(name, open.TextCodePage()),
                      EngineTypeName(desc.FieldType, desc.FieldSubType),
                      std::to_string(desc.FieldOffset), std::to_string(desc.FieldLength)});
    }
    engine->CloseCursor(list);
  }
  for (const TIndexInfo& info : open.Indexes()) {
    std::string segments;
    for (const auto& field : info.fields) segments += (segments.empty() ? "" : " + ") + field;
    indexes->AddRow({info.name, segments, ""});
    uniqueIndexes_.push_back(info.unique);
  }
  open.Close();
}

void TStructureForm::ShowState() {
  const std::string title = Format(texts::kStructureOf, {tableName_});
  if (Caption() != title) SetCaption(title);
  auto* indexes = dynamic_cast<TListView*>(FindComponent("IndexList"));
  for (std::size_t row = 0; indexes && row < uniqueIndexes_.size(); ++row)
    indexes->SetCell(static_cast<int>(row), 2, Tr(uniqueIndexes_[row] ? "Yes" : "No"));
}

}  // namespace vader::app
