#pragma once
// The quick filters of a data window: a text typed under a column title keeps the rows whose
// value in that column matches it. In a text column the rows that hold the text, letter case
// aside; in a column of numbers, dates, times or logical values a comparison: "10" or "=10",
// ">10", "<=2024-01-01", "<>0". They become terms of the dataset's filter text, so they are
// evaluated where the expression filter is, and hold together with it.

#include <string>
#include <utility>
#include <vector>

#include "framework/DB.h"

namespace vader::app {

// The filter term for Typed in the column of Field; "" when Typed is blank. The term is not
// checked: a value that is none of the field's is found when the term is compiled.
std::string QuickFilterTerm(const TField& field, const std::string& typed);

// Filter text that holds where every non-empty one of Parts holds.
std::string AllOf(const std::vector<std::string>& parts);

class TQuickFilter {
 public:
  // Field's text as typed; a blank text removes Field's filter.
  void Set(const std::string& field, const std::string& typed);
  const std::string& TextOf(const std::string& field) const;
  bool Empty() const { return texts_.empty(); }
  // The terms of DataSet's fields joined; a term that does not compile is left out, and the
  // first such term's problem is put into Problem (else it is cleared).
  std::string FilterText(const TDataSet& dataSet, std::string& problem) const;

 private:
  std::vector<std::pair<std::string, std::string>> texts_;  // field, text; in typing order
};

}  // namespace vader::app
