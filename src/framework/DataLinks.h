#pragma once
// The data links that controls and detail datasets use: one field of the current record,
// and the master fields of a master/detail pair.

#include <functional>
#include <string>
#include <vector>

#include "framework/DB.h"

namespace vader {

// Follows one field by name: tells its owner when the value, the editing state or the
// dataset changes, and writes a pending edit back when the dataset asks for it.
class TFieldDataLink : public TDataLink {
 public:
  const std::string& FieldName() const { return fieldName_; }
  void SetFieldName(const std::string& name);
  TField* Field() const { return field_; }
  // True when the control may change the field now or after going into edit.
  bool CanModify() const;
  // The control holds an edit that is not yet in the field.
  bool Modified() const { return modified_; }
  void SetModified() { modified_ = true; }
  // Drops a pending edit and shows the field's value again.
  void Reset() { RecordChanged(nullptr); }

  std::function<void()> OnDataChange, OnEditingChange, OnUpdateData, OnActiveChange;

 protected:
  void ActiveChanged() override;
  void LayoutChanged() override;
  void EditingChanged() override;
  void RecordChanged(TField* field) override;
  void UpdateData() override;

 private:
  void UpdateField();
  std::string fieldName_;
  TField* field_ = nullptr;
  bool modified_ = false;
};

// The link of a detail dataset to its master: the master fields by name, and a call
// whenever the master moves to another record or its key fields change.
class TMasterDataLink : public TDataLink {
 public:
  explicit TMasterDataLink(TDataSet* detail) : detail_(detail) {}
  // Refuses a source that leads back to the detail ("Circular datalinks are not allowed").
  void SetMasterSource(TDataSource* source);
  const std::string& FieldNames() const { return fieldNames_; }
  void SetFieldNames(const std::string& names);
  const std::vector<TField*>& Fields() const { return fields_; }

  std::function<void()> OnMasterChange, OnMasterDisable;

 protected:
  void ActiveChanged() override;
  void LayoutChanged() override { UpdateFields(); }
  void RecordChanged(TField* field) override;

 private:
  void UpdateFields();
  TDataSet* detail_;
  std::string fieldNames_;
  std::vector<TField*> fields_;
};

}  // namespace vader
