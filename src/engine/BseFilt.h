#pragma once
// Record filters of a cursor: a caller's filter procedure, a compiled filter expression, or both.
// A record is visible through the cursor only when every active filter accepts it. The
// expression is evaluated straight from the filter's own copy of the caller's buffer; every node
// and literal it reaches is checked against that copy's size, so a malformed expression rejects
// the record instead of reading outside the buffer.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "engine/BseBapi.h"

namespace vader {

class TBaseTable;
class TFilterListItem;

// The caller's record test: non-zero accepts the record.
using TFilterProc = int16_t (*)(uintptr_t clientData, uint8_t* record, int32_t physRecNum);

// What GetFilterInfo reports about one filter. Handles and pointers are native width.
struct FilterInfo {
  uint16_t FilterId;  // position in the cursor's filter list
  TFilterListItem* Filter;
  uintptr_t ClientData;
  uint16_t Priority;
  uint16_t CanAbort;  // 16-bit boolean
  TFilterProc FilterProc;
  const uint8_t* Expression;  // the filter's own copy
  uint16_t Active;            // 16-bit boolean
};

// Size of a working value's data; longer values are cut to it.
constexpr size_t kFilterValueSize = 256;
// Type of a working value that holds an unknown field name taken as text.
constexpr uint16_t kFilterNameType = 15;

// The evaluator's working value. A truth value lives in Data[0] (non-zero is true).
struct FilterValue {
  uint8_t Data[kFilterValueSize];
  uint16_t DataType;
  uint16_t DataLength;
};

// One filter of a cursor. It registers itself in its table's filter list and leaves it when it
// is destroyed.
class TFilterListItem : public TBapiListItem {
 public:
  // Copies the expression (its header's total size) when one is given. New filters are inactive.
  TFilterListItem(TBaseTable* table, uintptr_t clientData, uint16_t priority, bool canAbort,
                  const void* expression, TFilterProc filterProc);

  // Inactive filters refuse; the procedure runs first and a 0 from it rejects at once; then the
  // expression decides, an expression that cannot be evaluated rejecting the record.
  bool TestRecord(uint8_t* record);
  void FillFilterInfo(uint16_t position, FilterInfo& info) const;

  TBaseTable* Table() const { return table_; }
  bool Active() const { return active_; }
  void SetActive(bool active) { active_ = active; }
  uint16_t Priority() const { return priority_; }
  const uint8_t* Expression() const { return expression_.get(); }
  uint16_t ExpressionSize() const { return expressionSize_; }
  uint8_t* CurrentRecord() const { return currentRecord_; }

 private:
  TBaseTable* table_;
  uintptr_t clientData_;
  uint16_t priority_;
  bool canAbort_;
  std::unique_ptr<uint8_t[]> expression_;
  uint16_t expressionSize_ = 0;
  TFilterProc filterProc_;
  bool active_ = false;
  uint8_t* currentRecord_ = nullptr;
};

// Evaluates the root node of `expression` (`size` bytes) against `record` through `table`'s
// fields. Returns the root's result flag; throws when the expression is malformed.
bool EvaluateFilterExpression(TBaseTable& table, const uint8_t* expression, size_t size,
                              uint8_t* record);

// The interval of one field's values that the comparisons of the field with numbers mark out
// when they are terms of an expression's top-level "and"; a side without such a term is open.
struct FilterFieldInterval {
  std::optional<long double> Low, High;
  bool LowInclusive = true, HighInclusive = true;
};

// Narrows `interval` by the terms of `expression` that compare field number `field` with a
// number (=, <, <=, >, >=, either side). Every record the expression accepts has the field inside
// the interval. A malformed expression leaves the interval as it was.
void NarrowByFilterExpression(TBaseTable& table, const uint8_t* expression, size_t size,
                              uint16_t field, FilterFieldInterval& interval);

// -1, 0 or 1 as `left` sorts before, with or after `right`. A length of 0 means the left value's
// length. Values of one type are compared by the table; values of different types as text.
int CompareFilterValues(TBaseTable& table, const FilterValue& left, const FilterValue& right,
                        bool caseInsensitive, uint16_t length);

// Whether Value, as text, holds Part's text; letter case aside (ASCII, as key comparisons
// fold it) when CaseInsensitive.
bool FilterValueContains(const FilterValue& value, const FilterValue& part, bool caseInsensitive);

// The text a value is compared as when the other value has another type (at most 255 characters).
std::string FilterValueText(const FilterValue& value);

}  // namespace vader
