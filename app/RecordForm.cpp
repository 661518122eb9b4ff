#include "RecordForm.h"

#include <fstream>
#include <iterator>
#include <sstream>

#include "AppTexts.h"
#include "BrowseTable.h"
#include "DataForm.h"
#include "DatabaseForm.h"
#include "btrieve/BtrBlob.h"
#include "framework/DBCtrls.h"
#include "framework/Dialogs.h"
#include "language/zInter.h"
#include "ui/ErrorDisplay.h"

namespace vader::app {

// Shows the memo and picture of each record the data window moves to.
class TRecordForm::Follow : public TDataLink {
 public:
  explicit Follow(TRecordForm& form) : form_(form) {}

 protected:
  void ActiveChanged() override { form_.ShowState(); }
  void DataSetChanged() override { form_.ShowState(); }
  void DataSetScrolled(int) override { form_.ShowState(); }
  void RecordChanged(TField* field) override {
    bool shown = !field || field == form_.blobField_;
    for (const TLookup& lookup : form_.lookups_) shown = shown || field == lookup.field;
    if (shown) form_.ShowState();
  }

 private:
  TRecordForm& form_;
};

TRecordForm::TRecordForm(TComponent* owner, TDataForm* data) : TAppForm(owner), data_(data) {
  BeginLoading();
  SetName("RecordForm");
  SetCaption("Form view");
  SetHint("The current record");
  TDataSet& table = data->Table();
  // The first memo and the first picture go to panes at the right; other blobs are not shown.
  int rows = 0;
  for (int f = 0; f < table.FieldCount(); ++f) {
    TField* field = table.Fields(f);
    const TFieldType type = field->DataType();
    if (type == TFieldType::ftMemo && !memoField_) memoField_ = field;
    if ((type == TFieldType::ftGraphic || type == TFieldType::ftBlob) && !blobField_)
      blobField_ = field;
    rows += type != TFieldType::ftMemo && type != TFieldType::ftGraphic &&
            type != TFieldType::ftBlob;
  }
  const bool panes = memoField_ || blobField_;
  const int fieldsHeight = 12 + 32 * rows;
  const int panesHeight = 12 + (memoField_ ? 250 : 0) + (blobField_ ? 270 : 0);
  SetBounds(120, 80, panes ? 860 : 472, std::max(fieldsHeight, panesHeight) + 52);
  TPanel* buttons = AddPane(this, "ButtonPane", alBottom, 44);
  TPanel* fields = AddPane(this, "FieldsPane", panes ? alLeft : alClient, 450);
  if (panes) AddSplitter(this, "Splitter", alLeft);
  PlaceFields(fields);
  if (panes) PlacePanes(AddPane(this, "BlobPane", alClient));
  AddButton(buttons, "PostButton", "Post", 12, 8, 100, [this] { data_->PostRecord(); });
  AddButton(buttons, "CancelButton", "Cancel", 120, 8, 100, [this] { data_->CancelRecord(); });
  follow_ = std::make_unique<Follow>(*this);
  follow_->SetDataSource(&data->Source());
}

TRecordForm::~TRecordForm() { follow_.reset(); }

// One row per field: its label, and an edit, check box, picker or choice as wide as the pane.
void TRecordForm::PlaceFields(TPanel* pane) {
  TDataSet& table = data_->Table();
  const int width = pane->Width() - 192;
  int top = 12;
  for (int f = 0; f < table.FieldCount(); ++f) {
    TField* field = table.Fields(f);
    const std::string base = "Field" + std::to_string(f);
    const TFieldType type = field->DataType();
    if (type == TFieldType::ftMemo || type == TFieldType::ftGraphic || type == TFieldType::ftBlob)
      continue;
    // The label shows the field's display label, translated with the table's fields.
    auto* label = Place<TLabel>(pane, (base + "Label").c_str(), 12, top + 2, 160, 24);
    label->SetCaption(field->FieldName());
    TControl* control = nullptr;
    if (type == TFieldType::ftBoolean) {
      auto* check = Place<TDBCheckBox>(pane, (base + "Check").c_str(), 180, top, width, 26);
      check->SetDataSource(&data_->Source());
      check->SetDataField(field->FieldName());
      control = check;
    } else if (type == TFieldType::ftDate || type == TFieldType::ftTime ||
               type == TFieldType::ftDateTime) {
      using Kind = TDBDateTimePicker::TDateTimeKind;
      auto* picker = Place<TDBDateTimePicker>(pane, (base + "Picker").c_str(), 180, top, width, 26);
      picker->SetKind(type == TFieldType::ftDate   ? Kind::dtkDate
                      : type == TFieldType::ftTime ? Kind::dtkTime
                                                   : Kind::dtkDateTime);
      picker->SetDataSource(&data_->Source());
      picker->SetDataField(field->FieldName());
      control = picker;
    } else if (!(control = AddLookup(pane, field, base, top, width))) {
      auto* edit = Place<TDBEdit>(pane, (base + "Edit").c_str(), 180, top, width, 26);
      edit->SetDataSource(&data_->Source());
      edit->SetDataField(field->FieldName());
      control = edit;
    }
    control->SetAnchors({akLeft, akTop, akRight});
    top += 32;
  }
}

// The memo above the picture; the last of them takes the height the window gains.
void TRecordForm::PlacePanes(TPanel* pane) {
  const int width = pane->Width() - 20;
  int top = 12;
  if (memoField_) {
    const TAnchors memoAnchors = blobField_ ? TAnchors{akLeft, akTop, akRight}
                                            : TAnchors{akLeft, akTop, akRight, akBottom};
    const TAnchors below = blobField_ ? TAnchors{akLeft, akTop} : TAnchors{akLeft, akBottom};
    Place<TLabel>(pane, "MemoLabel", 8, top, 300, 24)->SetCaption(memoField_->FieldName());
    Place<TMemo>(pane, "MemoPane", 8, top + 26, width, 180)->SetAnchors(memoAnchors);
    AddButton(
        pane, "StoreMemoButton", "&Keep text", 8, top + 212, 120,
        [this] { ui::Guarded([this] { StoreMemo(); }); },
        "Put the text into the record; Post stores it")
        ->SetAnchors(below);
    top += 250;
  }
  if (blobField_) {
    Place<TLabel>(pane, "PictureLabel", 8, top, 300, 24)->SetCaption(blobField_->FieldName());
    auto* picture = Place<TImage>(pane, "Picture", 8, top + 26, width, 200);
    picture->SetCaption("No picture");
    picture->SetAnchors({akLeft, akTop, akRight, akBottom});
    AddButton(pane, "LoadPictureButton", "&Load...", 8, top + 232, 120, [this] {
      if (!Prompts().file) return;
      const std::string path = Prompts().file(Tr(texts::kLoadFromFile), false);
      if (!path.empty()) LoadBlob(path);
    })->SetAnchors({akLeft, akBottom});
    AddButton(pane, "SavePictureButton", "&Save...", 136, top + 232, 120, [this] {
      if (!Prompts().file) return;
      const std::string path = Prompts().file(Tr(texts::kSaveToFile), true);
      if (!path.empty()) SaveBlob(path);
    })->SetAnchors({akLeft, akBottom});
  }
}

TControl* TRecordForm::AddLookup(TWinControl* parent, TField* field, const std::string& base,
                                int top, int width) {
  // A field "CustomerId" refers to the table "Customers" by its first field; the person
  // chooses the row by its name, and the field stores the id.
  const std::string& name = field->FieldName();
  if (name.size() <= 2 || name.compare(name.size() - 2, 2, "Id") != 0) return nullptr;
  const std::string target = name.substr(0, name.size() - 2) + "s";
  TDatabaseForm* database = data_->DatabaseForm();
  bool known = false;
  for (const TTableEntry& entry : database->Tables()) known = known || entry.name == target;
  if (!known || target == data_->TableName()) return nullptr;
  TLookup lookup;
  lookup.field = field;
  try {
    TBrowseTable rows(nullptr);
    rows.SetDatabaseName(database->DatabaseName());
    rows.SetTableName(database->TableNameFor(target));
    rows.SetReadOnly(true);
    rows.Open();
    if (rows.RecordCount() > kLookupRows || rows.FieldCount() < 2) return nullptr;
    TField* shown = rows.FindField("Name");
    if (!shown) shown = rows.FindField("LastName");
    if (!shown) shown = rows.Fields(1);
    rows.DisableControls();
    for (rows.First(); !rows.Eof(); rows.Next()) {
      lookup.ids.push_back(rows.Fields(0)->AsString());
      lookup.names.push_back(shown->AsString());
    }
  } catch (const std::exception&) {
    return nullptr;  // a table that does not open is no lookup: the plain edit serves
  }
  auto* combo = Place<TComboBox>(parent, (base + "Lookup").c_str(), 180, top, width, 26);
  combo->SetItems(lookup.names);
  combo->OnChange = [this, combo, field](TComponent*) {
    const int chosen = combo->ItemIndex();  // before the edit shows the stored row again
    if (chosen < 0) return;
    ui::Guarded([&] {
      TDataSet& table = data_->Table();
      if (table.State() != TDataSetState::dsEdit && table.State() != TDataSetState::dsInsert)
        table.Edit();
      for (const TLookup& each : lookups_)
        if (each.field == field) field->SetAsString(each.ids[std::size_t(chosen)]);
    });
  };
  lookup.combo = combo;
  lookups_.push_back(std::move(lookup));
  return combo;
}

void TRecordForm::ShowState() {
  if (!follow_) return;
  TDataSet& table = data_->Table();
  const bool onRecord = table.Active() && !table.IsEmpty();
  if (memoField_)
    if (auto* memo = dynamic_cast<TMemo*>(FindComponent("MemoPane")))
      memo->SetText(onRecord || table.State() == TDataSetState::dsInsert ? memoField_->AsString()
                                                                         : std::string());
  for (const TLookup& lookup : lookups_) {
    const std::string id = onRecord ? lookup.field->AsString() : std::string();
    int index = -1;
    for (std::size_t i = 0; i < lookup.ids.size() && index < 0; ++i)
      if (lookup.ids[i] == id) index = static_cast<int>(i);
    if (lookup.combo->ItemIndex() != index) lookup.combo->SetItemIndex(index);
    // The walker leaves choice lists alone; their tip follows the language here.
    lookup.combo->SetHint(Tr(texts::kChooseByName));
  }
  if (blobField_)
    if (auto* picture = dynamic_cast<TImage*>(FindComponent("Picture"))) {
      picture->SetCaption(Tr(texts::kNoPicture));
      picture->SetPicture(onRecord ? blobField_->AsString() : std::string());
    }
}

void TRecordForm::StoreMemo() {
  auto* memo = dynamic_cast<TMemo*>(FindComponent("MemoPane"));
  if (!memoField_ || !memo) return;
  const std::string text = memo->Text();  // before the edit shows the stored text again
  TDataSet& table = data_->Table();
  if (table.State() != TDataSetState::dsEdit && table.State() != TDataSetState::dsInsert)
    table.Edit();
  memoField_->SetAsString(text);
}

bool TRecordForm::LoadBlob(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    MessageDlg(Format(texts::kCannotRead, {path}), TMsgDlgType::mtError, mbOK, 0);
    return false;
  }
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // The record keeps the value as text in a field of fixed size: a file that would not fit
  // is refused now, not when the record is posted.
  const int room = data_->Table().StoredSize(*blobField_);
  if (const std::size_t needed = BlobTextLength(bytes);
      room >= 0 && needed > static_cast<std::size_t>(room)) {
    MessageDlg(Format(texts::kFileTooLargeForField, {path, blobField_->DisplayLabel(),
                                                     std::to_string(needed), std::to_string(room)}),
               TMsgDlgType::mtError, mbOK, 0);
    return false;
  }
  bool done = false;
  ui::Guarded([&] {
    TDataSet& table = data_->Table();
    if (table.State() != TDataSetState::dsEdit && table.State() != TDataSetState::dsInsert)
      table.Edit();
    blobField_->SetAsString(bytes);
    done = true;
  });
  ShowState();
  return done;
}

bool TRecordForm::SaveBlob(const std::string& path) {
  std::ofstream out(path, std::ios::binary);
  const std::string bytes = blobField_ ? blobField_->AsString() : std::string();
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) {
    MessageDlg(Format(texts::kCannotWriteTo, {path}), TMsgDlgType::mtError, mbOK, 0);
    return false;
  }
  return true;
}

}  // namespace vader::app
