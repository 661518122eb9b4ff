#pragma once
// A table component over a database of the test, and its records read back as texts.

#include <string>
#include <vector>

#include "components/BtrMainTable.h"

namespace vader::testing {

using Rows = std::vector<std::vector<std::string>>;

// A closed table `name` of database `db`, owned (and freed) by `owner`.
inline TtbTable& NewTable(TComponent* owner, const std::string& db, const std::string& name) {
  auto* t = new TtbTable(owner);
  t->SetDatabaseName(db);
  t->SetTableName(name);
  return *t;
}

// Every record as the texts of the named fields, in the order of the first index.
inline Rows ReadRows(TtbTable& t, const std::vector<std::string>& fields) {
  t.Open();
  Rows rows;
  for (t.First(); !t.Eof(); t.Next()) {
    rows.emplace_back();
    for (const std::string& f : fields) rows.back().push_back(t.FieldByName(f)->AsString());
  }
  t.Close();
  return rows;
}

}  // namespace vader::testing
