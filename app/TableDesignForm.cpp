#include "TableDesignForm.h"

#include "AppTexts.h"
#include "DatabaseForm.h"
#include "btrieve/BtrCreate.h"
#include "btrieve/BtrDbase.h"
#include "components/TableRestructure.h"
#include "framework/Dialogs.h"
#include "language/Zothrtns.h"
#include "platform/CodePage.h"
#include "tools/TextLines.h"
#include "ui/ErrorDisplay.h"

namespace vader::app {
namespace {

// What a new table starts from.
constexpr const char* kNewTableTemplate =
    "table name=NewTable file=NEWTABLE.BTR page=4096\n"
    "field name=Id type=autoincrement size=4\n"
    "field name=Name type=zstring size=40\n"
    "index number=0\n"
    "part field=Id\n";

// The definitions are written in the database's code page, as the dictionary stores names.
std::string StoredDefinition(const std::string& shown, const std::string& codePage) {
  platform::EncodedText stored = platform::AnsiTextToNative(shown, codePage);
  if (!stored.refused.empty())
    throw std::invalid_argument(
        Format(texts::kDefinitionCharacterNotStored, {platform::CharacterCodeText(stored.refused)}));
  return stored.bytes;
}

tools::TableDef OneTable(const std::string& text) {
  const std::vector<tools::TableDef> tables = tools::ParseSchema(text);
  if (tables.size() != 1) throw std::invalid_argument(Tr(texts::kDefineOneTable));
  return tables.front();
}

}  // namespace

TTableDesignForm::TTableDesignForm(TComponent* owner, TDatabaseForm* database,
                                   const std::string& table)
    : TAppForm(owner), database_(database), table_(table) {
  BeginLoading();
  SetName("TableDesignForm");
  SetCaption(table.empty() ? "New table" : "Restructure");
  SetBounds(120, 90, 720, 600);
  Place<TLabel>(this, "DefinitionLabel", 12, 8, 690, 22)
      ->SetCaption("One line for the table, each field, each index and each part of an index:");
  Place<TMemo>(this, "DefinitionMemo", 12, 34, 696, 400)
      ->SetAnchors({akLeft, akTop, akRight, akBottom});
  auto* types = Place<TLabel>(this, "TypesLabel", 12, 440, 696, 22);
  types->SetAnchors({akLeft, akRight, akBottom});
  types->SetCaption("Types: string zstring lstring integer unsigned autoincrement float bfloat "
                    "decimal money numeric date time logical currency timestamp");
  auto* flags = Place<TLabel>(this, "FlagsLabel", 12, 464, 696, 22);
  flags->SetAnchors({akLeft, akRight, akBottom});
  flags->SetCaption("Index: duplicates modifiable null; part: nocase descending acs; "
                    "a renamed field: from=OLDNAME");
  Place<TLabel>(this, "ProgressLabel", 12, 492, 696, 22)
      ->SetAnchors({akLeft, akRight, akBottom});
  AddButton(
      this, "ApplyButton", table.empty() ? "&Create" : "&Restructure", 12, 524, 140,
      [this] { Apply(); },
      table.empty() ? "Create the table" : "Copy the records into the new structure")
      ->SetAnchors({akLeft, akBottom});
  auto* stop = AddButton(
      this, "StopButton", "&Stop", 164, 524, 140, [this] { Stop(); },
      "Stop the restructure; the table stays as it was");
  stop->SetAnchors({akLeft, akBottom});
  stop->SetVisible(false);
  AddButton(this, "CloseButton", "&Close", 568, 524, 140, [this] { CloseWindow(); })
      ->SetAnchors({akRight, akBottom});

  std::string definition = kNewTableTemplate;
  if (!table.empty()) {
    auto* btrieve = dynamic_cast<TBtrDatabase*>(database->Database()->Handle());
    if (btrieve == nullptr) throw std::invalid_argument(Tr(texts::kOnlyBtrieveTables));
    TSessionLock lock(*database->Database()->Session());
    CallEngineObject([&] {
      definition = tools::FormatSchema(
          DescribeBtrieveTable(*btrieve, database->TableNameFor(table)).def);
    });
    definition =
        platform::NativeTextToAnsi(definition, database->Database()->Handle()->TextCodePage());
  }
  SetDefinition(definition);
}

void TTableDesignForm::SetDefinition(const std::string& text) {
  dynamic_cast<TMemo*>(FindComponent("DefinitionMemo"))->SetText(text);
}

void TTableDesignForm::ShowState() {
  const std::string title = table_.empty() ? Tr(texts::kNewTable)
                                           : Format(texts::kRestructureOf, {table_});
  if (Caption() != title) SetCaption(title);
  if (auto* label = dynamic_cast<TLabel*>(FindComponent("ProgressLabel")))
    label->SetCaption(progress_);
}

bool TTableDesignForm::Apply() {
  if (running_) return false;
  const std::string text = dynamic_cast<TMemo*>(FindComponent("DefinitionMemo"))->Text();
  try {
    const std::string definition =
        StoredDefinition(text, database_->Database()->Handle()->TextCodePage());
    return table_.empty() ? CreateTable(definition) : Restructure(definition);
  } catch (const tools::ParseError& error) {
    MessageDlg(Format(texts::kTheDefinitionIsWrong, {error.what()}), TMsgDlgType::mtError, mbOK,
               0);
  } catch (const std::exception& error) {
    ui::ShowException(error);
  }
  return false;
}

bool TTableDesignForm::CreateTable(const std::string& definition) {
  tools::TableDef def = OneTable(definition);
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

bool TTableDesignForm::Restructure(const std::string& definition) {
  const tools::TableDef def = OneTable(definition);
  if (!ConfirmPrompt(Format(texts::kRestructureConfirm, {table_}))) return false;
  if (!database_->CloseWindowsOfTable(table_)) return false;
  TRestructureOptions options;
  options.onProgress = [this](int64_t done, int64_t total, bool& stop) {
    progress_ = Format(texts::kCopiedOfRecords, {std::to_string(done), std::to_string(total)});
    ShowState();
    Application().ProcessMessages();  // shows the progress and lets Stop be clicked
    stop = stop_;
  };
  options.onBadValue = [](const TBadValue& bad) {
    const TModalResult answer = MessageDlg(
        Format(texts::kValueDoesNotConvert,
               {std::to_string(bad.record), bad.field, bad.value}) + "\n" + bad.reason,
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
    progress_ = Format(texts::kRestructuredRecords, {std::to_string(result.records),
                                                     std::to_string(result.blanked)});
  } catch (...) {
    finished();
    progress_ = stop_ ? Tr(texts::kRestructureStopped) : std::string();
    ShowState();
    if (stop_) return false;
    throw;
  }
  ShowState();
  database_->RefreshTables();
  return true;
}

}  // namespace vader::app
