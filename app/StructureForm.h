#pragma once
// The structure of one table: its fields (name, type, offset, size) from the database's field
// list, and its indexes with their segments.

#include <string>
#include <vector>

#include "AppForm.h"

namespace vader::app {

class TDatabaseForm;

class TStructureForm : public TAppForm {
 public:
  TStructureForm(TComponent* owner, TDatabaseForm* database, const std::string& table);

 protected:
  void ShowState() override;

 private:
  std::string tableName_;
  std::vector<bool> uniqueIndexes_;  // per index row, shown as "Yes" or "No" in the language
};

// The name of an engine field type, with its subtype where one is set.
std::string EngineTypeName(uint16_t type, uint16_t subType);

}  // namespace vader::app
