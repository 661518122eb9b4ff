#pragma once
// The table dataset the application's windows show: one table of a database component,
// opened on a chosen index, with a search on that index, a range over its first field, and a
// master link that keeps a detail table on the master's current row.

#include <string>
#include <vector>

#include "components/BtrMain.h"

namespace vader::app {

// One index of an open table, as the windows show it.
struct TIndexInfo {
  std::string name;                // the engine's index name
  std::vector<std::string> fields;  // field names in key order
  bool unique = false;
};

class TBrowseTable : public TttDBDataset {
 public:
  explicit TBrowseTable(TComponent* owner);
  ~TBrowseTable() override;

  const std::string& TableName() const { return tableName_; }
  void SetTableName(const std::string& name);
  // The index that orders the rows; empty: the table's first. Switches at once when open.
  const std::string& IndexName() const { return indexName_; }
  void SetIndexName(const std::string& name);
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool value);

  // The indexes of the open table, in the engine's order.
  std::vector<TIndexInfo> Indexes();
  // The fields of the current index (empty when it has none).
  std::vector<std::string> IndexFields();

  // Moves to the first row whose first index field is at least Text (as a value of that
  // field); to the last row when none is. Raises when Text is no value of that field.
  void SearchNearest(const std::string& text);
  // Limits the rows to those whose first index field lies between From and To; an empty
  // bound leaves that side open. Raises when a bound is no value of that field.
  void SetFieldRange(const std::string& from, const std::string& to);
  void CancelFieldRange();
  bool RangeSet() const { return rangeSet_; }

  // Shows only the rows whose DetailField equals the MasterField of Master's current row;
  // the current index must begin with DetailField. Nullptr ends the link.
  void SetMaster(TDataSource* master, const std::string& masterField,
                 const std::string& detailField);
  TDataSource* Master() const { return master_; }

  TVirtEng* Engine() const override { return BtrEngine(); }
  void SetSessionList() override { SetSessionListObject(BtrSessionList()); }
  TttSession* DefaultSession() const override { return BtrDefaultSession(); }

 protected:
  TBaseTable* CreateHandle() override;
  void PrepareCursor() override;
  void Notification(TComponent* component, TOperation operation) override;

 private:
  class MasterLink;
  TValue ValueFor(const std::string& fieldName, const std::string& text);
  void ApplyMasterRange();

  std::string tableName_;
  std::string indexName_;
  bool readOnly_ = false;
  bool rangeSet_ = false;
  TDataSource* master_ = nullptr;
  std::string masterField_;
  std::string detailField_;
  std::unique_ptr<MasterLink> masterLink_;
};

}  // namespace vader::app
