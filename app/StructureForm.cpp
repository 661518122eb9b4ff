#include "StructureForm.h"

#include <cstring>

#include "AppTexts.h"
#include "BrowseTable.h"
#include "DatabaseForm.h"
#include "btrieve/BtrDbase.h"
#include "btrieve/BtrConst.h"
#include "engine/BseErrs.h"
#include "platform/CodePage.h"
#include "tools/NativeTypes.h"
#include "tools/TextLines.h"

namespace vader::app {
namespace {

const char* OwnerLevelText(TOwnerLevel level) {
  switch (level) {
    case TOwnerLevel::None: return texts::kOwnerLevelNone;
    case TOwnerLevel::ReadOnlyWithoutName: return texts::kOwnerLevelReadOnly;
    case TOwnerLevel::NameForAnyAccess: return texts::kOwnerLevelNameNeeded;
    case TOwnerLevel::ReadOnlyWithoutNameEncrypted: return texts::kOwnerLevelReadOnlyEncrypted;
    case TOwnerLevel::NameForAnyAccessEncrypted: return texts::kOwnerLevelNameNeededEncrypted;
    case TOwnerLevel::NotRecorded: return texts::kOwnerLevelNotRecorded;
    case TOwnerLevel::Unknown: break;
  }
  return texts::kOwnerLevelUnknown;
}

}  // namespace

std::vector<const char*> IndexFlagTexts(uint16_t flags) {
  std::vector<const char*> texts;
  if (flags & tools::kIndexDuplicates) texts.push_back(texts::kFlagDuplicates);
  if (flags & tools::kIndexModifiable) texts.push_back(texts::kFlagModifiable);
  if (flags & tools::kIndexDescending) texts.push_back(texts::kFlagDescending);
  if (flags & tools::kIndexNoCase) texts.push_back(texts::kFlagCaseInsensitive);
  if (flags & tools::kIndexAcs) texts.push_back(texts::kFlagAcs);
  if (flags & tools::kIndexNull) texts.push_back(texts::kFlagNullValue);
  return texts;
}

TStructureForm::TStructureForm(TComponent* owner, TDatabaseForm* database, const std::string& table)
    : TAppForm(owner), database_(database), tableName_(table) {
  BeginLoading();
  SetName("StructureForm");
  SetCaption("Structure");
  SetBounds(100, 80, 700, 620);
  // The fields above, the indexes below, the border between them dragged as the person likes;
  // the file's facts and the Restructure button along the bottom.
  TPanel* top = AddPane(this, "FieldsPane", alTop, 270);
  AddSplitter(this, "Splitter", alTop);
  TPanel* foot = AddPane(this, "FactsPane", alBottom, 100);
  TPanel* bottom = AddPane(this, "IndexesPane", alClient);
  Place<TLabel>(top, "FieldsLabel", 12, 8, 300, 22)->SetCaption("Fields");
  auto* fields = Place<TListView>(top, "FieldList", 12, 32, 676, 234);
  fields->SetAnchors({akLeft, akTop, akRight, akBottom});
  fields->AddColumn("Field", 220);
  fields->AddColumn("Type", 200);
  fields->AddColumn("Offset", 100);
  fields->AddColumn("Size", 80);
  fields->AddColumn("Decimals", 80);
  Place<TLabel>(bottom, "IndexesLabel", 12, 4, 300, 22)->SetCaption("Indexes");
  auto* indexes = Place<TListView>(bottom, "IndexList", 12, 28, 676, bottom->Height() - 40);
  indexes->SetAnchors({akLeft, akTop, akRight, akBottom});
  indexes->AddColumn("Index", 60);
  indexes->AddColumn("Segments", 260);
  indexes->AddColumn("Unique", 80);
  indexes->AddColumn("Flags", 270);

  Place<TLabel>(foot, "FactsLabel", 12, 4, 676, 22)->SetAnchors({akLeft, akTop, akRight});
  Place<TLabel>(foot, "OwnerLabel", 12, 28, 676, 22)->SetAnchors({akLeft, akTop, akRight});
  AddButton(
      foot, "RestructureButton", "&Restructure...", 12, 56, 140,
      [this] { database_->RestructureTable(tableName_); },
      "Change the fields and indexes of the table, keeping its records");

  // The dictionary and the data file give the stored layout, in Btrieve's terms.
  auto* btrieve = dynamic_cast<TBtrDatabase*>(database->Database()->Handle());
  if (btrieve == nullptr) return;
  TTableDescription description;
  {
    TSessionLock lock(*database->Database()->Session());
    CallEngineObject(
        [&] { description = DescribeBtrieveTable(*btrieve, database->TableNameFor(table)); });
  }
  const std::string codePage = database->Database()->Handle()->TextCodePage();
  for (const tools::FieldDef& f : description.def.fields)
    fields->AddRow({platform::NativeTextToAnsi(f.name, codePage),
                    tools::AsciiUpper(tools::TypeName(f.type)), std::to_string(f.offset),
                    std::to_string(f.size), f.decimals ? std::to_string(f.decimals) : ""});
  for (const tools::IndexDef& index : description.def.indexes) {
    std::string segments;
    for (const tools::IndexPart& part : index.parts)
      segments += (segments.empty() ? "" : " + ") + platform::NativeTextToAnsi(part.field, codePage);
    indexes->AddRow({std::to_string(index.number), segments, "", ""});
    uniqueIndexes_.push_back(!(index.parts.front().flags & tools::kIndexDuplicates));
    uint16_t flags = 0;
    for (const tools::IndexPart& part : index.parts) flags |= part.flags;
    indexFlags_.push_back(flags);
  }
  pageSize_ = description.def.pageSize;
  recordLength_ = description.def.RecordLength();
  records_ = description.records;
  ownerLevel_ = description.ownerLevel;
}

void TStructureForm::ShowState() {
  const std::string title = Format(texts::kStructureOf, {tableName_});
  if (Caption() != title) SetCaption(title);
  auto* indexes = dynamic_cast<TListView*>(FindComponent("IndexList"));
  for (std::size_t row = 0; indexes && row < uniqueIndexes_.size(); ++row) {
    indexes->SetCell(static_cast<int>(row), 2, Tr(uniqueIndexes_[row] ? "Yes" : "No"));
    std::string flags;
    for (const char* text : IndexFlagTexts(indexFlags_[row]))
      flags += (flags.empty() ? "" : ", ") + Tr(text);
    indexes->SetCell(static_cast<int>(row), 3, flags);
  }
  if (auto* facts = dynamic_cast<TLabel*>(FindComponent("FactsLabel")))
    facts->SetCaption(Format(texts::kTableFileFacts,
                             {std::to_string(pageSize_), std::to_string(recordLength_),
                              records_ < 0 ? "?" : std::to_string(records_)}));
  if (auto* owner = dynamic_cast<TLabel*>(FindComponent("OwnerLabel")))
    owner->SetCaption(Format(texts::kOwnerLevel, {Tr(OwnerLevelText(ownerLevel_))}));
}

}  // namespace vader::app
