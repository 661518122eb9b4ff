#pragma once
// The table component the application's windows show, with what they ask of it in the
// person's terms: the indexes by name, a search for a typed value on the first field of the
// current index, a range between two typed values, and a link to a master table.

#include <memory>
#include <string>
#include <vector>

#include "components/BtrMainTable.h"

namespace vader::app {

// One index of a table, as the windows show it.
struct TIndexInfo {
  std::string name;                 // the engine's index name
  std::vector<std::string> fields;  // field names in key order
  bool unique = false;
  bool descending = false;  // the index orders from the highest value down
};

class TBrowseTable : public TtbTable {
 public:
  explicit TBrowseTable(TComponent* owner) : TtbTable(owner) {}

  // The indexes of the table, in the engine's order.
  std::vector<TIndexInfo> Indexes();
  // The fields of the current index (empty when it has none).
  std::vector<std::string> IndexFields();
  // Orders the rows by the index, read forwards or Backwards; a range the person set goes with
  // the old index.
  void ChooseIndex(const std::string& name, bool backwards = false);

  // Moves to the first row whose first index field is at least Text (as a value of that
  // field); to the last row when none is. Raises when Text is no value of that field.
  void SearchNearest(const std::string& text);
  // Limits the rows to those whose first index field lies between From and To; an empty
  // bound leaves that side open. Raises when a bound is no value of that field. On a detail
  // table the range is on the index field after those the master link fixes.
  void SetFieldRange(const std::string& from, const std::string& to);
  void CancelFieldRange();
  bool RangeSet() const { return rangeSet_; }

  // The engine's estimate of the current record's number in the index order (from its
  // position as a share of the file), among Shown rows while a filter or range leaves some
  // out; -1 when there is none.
  int EstimatedPosition(int shown);
  // A record number is reached through its share of the file where the cursor has no record
  // numbers, without filter or range (the scroll thumb let go in the middle of a big table).
  void SetRecNo(int value) override;

  // The bytes Field takes in the record (for a binary field: its stored text); -1 unknown.
  int StoredSize(const TField& field);

  // Shows only the rows that belong to Master's current row: MasterField's value in the
  // detail's index led by DetailField. Nullptr ends the link.
  void SetMaster(TDataSource* master, const std::string& masterField,
                 const std::string& detailField);

 private:
  // The bookmark of the first (or last) row shown; moves the engine's cursor.
  TBookmark EndBookmark(bool first);
  // Where Bookmark stands in the whole file in the current order: 0 first, near 1 last; -1
  // when the cursor cannot tell.
  double FileShareAt(const TBookmark& bookmark);
  std::string FirstKeyField();
  // Puts Text into FieldName of the lookup key buffer, which stays in edit.
  void PutKey(const std::string& fieldName, const std::string& text);
  TValue ValueFor(const std::string& fieldName, const std::string& text);
  // The master's values, narrowed by the person's range on the next key field.
  void SetMasterRange(const std::vector<TValue>& masterValues) override;
  // The index field a range is set on: the first, or the first after the master link's.
  std::string RangeField();

  bool rangeSet_ = false;
  // The range of a detail table within its master link, applied at every master move.
  TValue detailLow_, detailHigh_;
  std::unique_ptr<TBrowseTable> plain_;  // the table without filter or range, for positions
};

}  // namespace vader::app
