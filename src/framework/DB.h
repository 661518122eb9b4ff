#pragma once
// The dataset abstraction: datasets own their fields and open and close through the
// storage hooks a descendant overrides; data sources connect datasets to data-aware
// controls.

#include <string>
#include <vector>

#include "framework/Classes.h"

namespace vader {

enum class TFieldType {
  ftUnknown, ftString, ftSmallint, ftInteger, ftWord, ftBoolean, ftFloat, ftCurrency, ftBCD,
  ftDate, ftTime, ftDateTime, ftBytes, ftVarBytes, ftAutoInc, ftBlob, ftMemo, ftGraphic,
  ftFmtMemo, ftFixedChar, ftLargeint
};

class TDataSet;

class TField : public TComponent {
 public:
  explicit TField(TComponent* owner) : TComponent(owner) {}
  ~TField() override;

  const std::string& FieldName() const { return fieldName_; }
  void SetFieldName(const std::string& name) { fieldName_ = name; }
  TFieldType DataType() const { return dataType_; }
  void SetDataType(TFieldType type) { dataType_ = type; }
  int Size() const { return size_; }
  void SetSize(int size) { size_ = size; }

  // The label shown for the field: its field name until a label is set.
  std::string DisplayLabel() const { return displayLabel_.empty() ? fieldName_ : displayLabel_; }
  void SetDisplayLabel(const std::string& label);

  TDataSet* DataSet() const { return dataSet_; }
  // Adds the field to DataSet's fields (and removes it from its former dataset's).
  void SetDataSet(TDataSet* dataSet);

 private:
  std::string fieldName_;
  std::string displayLabel_;
  TFieldType dataType_ = TFieldType::ftUnknown;
  int size_ = 0;
  TDataSet* dataSet_ = nullptr;
};

struct TFieldDef {
  std::string name;
  TFieldType dataType = TFieldType::ftUnknown;
  int size = 0;
};

class TDataSet : public TComponent {
 public:
  explicit TDataSet(TComponent* owner) : TComponent(owner) {}
  ~TDataSet() override;

  bool Active() const { return active_; }
  // While loading, the value is kept and applied when loading finishes.
  void SetActive(bool active);
  void Open() { SetActive(true); }
  void Close() { SetActive(false); }

  int FieldCount() const { return static_cast<int>(fields_.size()); }
  TField* Fields(int index) const { return fields_.at(static_cast<std::size_t>(index)); }
  TField* FindField(const std::string& name) const;
  TField* FieldByName(const std::string& name) const;  // raises EDatabaseError when absent

  std::vector<TFieldDef>& FieldDefs() { return fieldDefs_; }

  // Opens a closed dataset so its field labels can be translated, when this kind of dataset
  // allows that (an attached table does); false when it does not apply.
  virtual bool OpenForTranslation() { return false; }

 protected:
  // Storage hooks: a descendant opens its storage and fills FieldDefs, and closes it.
  virtual void InternalOpen() {}
  virtual void InternalClose() {}
  void Loaded() override;

 private:
  friend class TField;
  void CreateDefaultFields();
  void DestroyDefaultFields();

  std::vector<TField*> fields_;
  std::vector<TFieldDef> fieldDefs_;
  bool active_ = false;
  bool streamedActive_ = false;
  bool defaultFields_ = false;
};

class TDataSource : public TComponent {
 public:
  explicit TDataSource(TComponent* owner) : TComponent(owner) {}
  TDataSet* DataSet() const { return dataSet_; }
  void SetDataSet(TDataSet* dataSet) { dataSet_ = dataSet; }

 protected:
  void Notification(TComponent* component, TOperation operation) override;

 private:
  TDataSet* dataSet_ = nullptr;
};

}  // namespace vader
