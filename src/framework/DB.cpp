#include "framework/DB.h"

#include <algorithm>

#include "framework/FrameworkErrors.h"
#include "platform/TextCase.h"

namespace vader {

TField::~TField() { SetDataSet(nullptr); }

void TField::SetDisplayLabel(const std::string& label) {
  // A label equal to the field name is no label of its own.
  displayLabel_ = label == fieldName_ ? std::string() : label;
}

void TField::SetDataSet(TDataSet* dataSet) {
  if (dataSet == dataSet_) return;
  if (dataSet_) {
    auto& list = dataSet_->fields_;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
  }
  dataSet_ = dataSet;
  if (dataSet_) dataSet_->fields_.push_back(this);
}

TDataSet::~TDataSet() {
  if (active_) {
    active_ = false;
    InternalClose();  // a descendant's override has already gone; this is the base's
    DestroyDefaultFields();
  }
  for (TField* field : std::vector<TField*>(fields_)) field->SetDataSet(nullptr);
}

void TDataSet::SetActive(bool active) {
  if (Loading()) {
    streamedActive_ = active;
    return;
  }
  if (active == active_) return;
  if (active) {
    InternalOpen();
    if (fields_.empty()) CreateDefaultFields();
    active_ = true;
  } else {
    active_ = false;
    InternalClose();
    DestroyDefaultFields();
  }
}

void TDataSet::Loaded() {
  if (streamedActive_) SetActive(true);
}

TField* TDataSet::FindField(const std::string& name) const {
  for (TField* field : fields_)
    if (platform::EqualsIgnoringAsciiCase(field->FieldName(), name)) return field;
  return nullptr;
}

TField* TDataSet::FieldByName(const std::string& name) const {
  if (TField* field = FindField(name)) return field;
  throw EDatabaseError(Name() + ": Field '" + name + "' not found");
}

// Fields made on opening are owned by the dataset and go again when it closes.
void TDataSet::CreateDefaultFields() {
  for (const TFieldDef& def : fieldDefs_) {
    auto* field = new TField(this);
    field->SetFieldName(def.name);
    field->SetDataType(def.dataType);
    field->SetSize(def.size);
    field->SetDataSet(this);
  }
  defaultFields_ = true;
}

void TDataSet::DestroyDefaultFields() {
  if (!defaultFields_) return;
  defaultFields_ = false;
  for (TField* field : std::vector<TField*>(fields_))
    if (field->Owner() == this) delete field;
}

void TDataSource::Notification(TComponent* component, TOperation operation) {
  if (operation == TOperation::opRemove && component == dataSet_) dataSet_ = nullptr;
}

}  // namespace vader
