#pragma once
// Data-aware controls: each shows data of the dataset behind its data source.

#include <string>

#include "framework/Controls.h"
#include "framework/DB.h"

namespace vader {

class TDataAwareControl : public TWinControl {
 public:
  using TWinControl::TWinControl;
  TDataSource* DataSource() const { return dataSource_; }
  void SetDataSource(TDataSource* source) { dataSource_ = source; }

 protected:
  void Notification(TComponent* component, TOperation operation) override {
    if (operation == TOperation::opRemove && component == dataSource_) dataSource_ = nullptr;
  }

 private:
  TDataSource* dataSource_ = nullptr;
};

// The data-aware grid: one column per field of its dataset.
class TwwDBGrid : public TDataAwareControl { using TDataAwareControl::TDataAwareControl; };

class TDBCheckBox : public TDataAwareControl {
 public:
  using TDataAwareControl::TDataAwareControl;
  const std::string& DataField() const { return dataField_; }
  void SetDataField(const std::string& field) { dataField_ = field; }

 private:
  std::string dataField_;
};

}  // namespace vader
