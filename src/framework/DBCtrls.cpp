#include "framework/DBCtrls.h"

#include "framework/DataLinks.h"
#include "platform/TextCase.h"

namespace vader {

void TDataAwareControl::SetDataSource(TDataSource* source) {
  if (source == dataSource_) return;
  dataSource_ = source;
  DataSourceChanged();
  Changed();
}

void TDataAwareControl::Notification(TComponent* component, TOperation operation) {
  if (operation == TOperation::opRemove && component == dataSource_) SetDataSource(nullptr);
}

TDBFieldControl::TDBFieldControl(TComponent* owner) : TDataAwareControl(owner) {
  link_.OnDataChange = [this] { Changed(); };
  link_.OnEditingChange = [this] { Changed(); };
}

TDBCheckBox::TDBCheckBox(TComponent* owner) : TDBFieldControl(owner) {}

TDBCheckBox::TCheckState TDBCheckBox::State() const {
  const TField* field = Field();
  if (!field || field->IsNull()) return TCheckState::cbGrayed;
  bool checked = false;
  if (field->DataType() == TFieldType::ftBoolean)
    checked = field->AsBoolean();
  else
    checked = platform::EqualsIgnoringAsciiCase(field->AsString(), ValueChecked);
  return checked ? TCheckState::cbChecked : TCheckState::cbUnchecked;
}

bool TDBCheckBox::SetChecked(bool checked) {
  TFieldDataLink& link = DataLink();
  if (!link.CanModify() || !link.Edit()) return false;
  TField* field = Field();
  if (field->DataType() == TFieldType::ftBoolean)
    field->SetAsBoolean(checked);
  else
    field->SetAsString(checked ? ValueChecked : ValueUnchecked);
  return true;
}

TDBEdit::TDBEdit(TComponent* owner) : TDBFieldControl(owner) {
  TFieldDataLink& link = DataLink();
  link.OnDataChange = [this] {
    text_ = Field() ? Field()->AsString() : std::string();
    Changed();
  };
  link.OnUpdateData = [this] {
    if (Field()) Field()->SetAsString(text_);
  };
}

bool TDBEdit::SetText(const std::string& text) {
  TFieldDataLink& link = DataLink();
  if (!link.CanModify() || !link.Edit()) return false;
  text_ = text;
  link.SetModified();
  Changed();
  return true;
}

TDBDateTimePicker::TDBDateTimePicker(TComponent* owner) : TDBFieldControl(owner) {
  DataLink().OnDataChange = [this] {
    const TField* field = Field();
    if (field && !field->IsNull())
      value_ = field->AsDateTime();
    else
      value_.reset();
    Changed();
  };
}

void TDBDateTimePicker::SetKind(TDateTimeKind kind) {
  kind_ = kind;
  Changed();
}

bool TDBDateTimePicker::SetValue(TDateTime value) {
  TFieldDataLink& link = DataLink();
  if (!link.CanModify() || !link.Edit()) return false;
  // A date keeps no time of day and a time no day, whatever the caller passed.
  if (kind_ == TDateTimeKind::dtkDate)
    value = DayNumberToDateTime(DateTimeToDayNumber(value));
  else if (kind_ == TDateTimeKind::dtkTime)
    value = TimeMSecsToDateTime(DateTimeToTimeMSecs(value));
  Field()->SetAsDateTime(value);  // the link's data change shows the stored value
  return true;
}

}  // namespace vader
