#include "framework/DataLinks.h"

#include <algorithm>

#include "framework/DBConsts.h"
#include "framework/FrameworkErrors.h"

namespace vader {

// ---- TFieldDataLink ----

void TFieldDataLink::SetFieldName(const std::string& name) {
  if (name == fieldName_) return;
  fieldName_ = name;
  UpdateField();
}

void TFieldDataLink::UpdateField() {
  field_ =
      Active() && !fieldName_.empty() && DataSet() ? DataSet()->FindField(fieldName_) : nullptr;
  modified_ = false;
  if (OnDataChange) OnDataChange();
}

bool TFieldDataLink::CanModify() const {
  return !ReadOnly() && field_ && !field_->ReadOnly() && !field_->Calculated() && DataSet() &&
         DataSet()->CanModify();
}

void TFieldDataLink::ActiveChanged() {
  UpdateField();
  if (OnActiveChange) OnActiveChange();
}

void TFieldDataLink::LayoutChanged() { UpdateField(); }

void TFieldDataLink::EditingChanged() {
  if (OnEditingChange) OnEditingChange();
}

void TFieldDataLink::RecordChanged(TField* field) {
  if (field && field != field_) return;
  modified_ = false;
  if (OnDataChange) OnDataChange();
}

void TFieldDataLink::UpdateData() {
  if (!modified_) return;
  if (OnUpdateData) OnUpdateData();
  modified_ = false;
}

// ---- TMasterDataLink ----

void TMasterDataLink::SetMasterSource(TDataSource* source) {
  if (source && detail_ && source->IsLinkedTo(detail_))
    DatabaseError(dbconsts::SCircularDataLink, detail_);
  SetDataSource(source);
}

void TMasterDataLink::SetFieldNames(const std::string& names) {
  fieldNames_ = names;
  UpdateFields();
}

void TMasterDataLink::UpdateFields() {
  fields_.clear();
  if (Active() && DataSet()) fields_ = DataSet()->GetFieldList(fieldNames_);
}

void TMasterDataLink::ActiveChanged() {
  if (!Active()) {
    fields_.clear();
    if (OnMasterDisable) OnMasterDisable();
    return;
  }
  UpdateFields();
  if (OnMasterChange) OnMasterChange();
}

void TMasterDataLink::RecordChanged(TField* field) {
  if (field && std::find(fields_.begin(), fields_.end(), field) == fields_.end()) return;
  if (OnMasterChange) OnMasterChange();
}

}  // namespace vader
