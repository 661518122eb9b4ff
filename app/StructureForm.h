#pragma once
// The structure of one table in Btrieve's terms: its fields (name, Btrieve type, offset, size,
// decimals) and its indexes (segments, unique, the key flags) from the dictionary, with the
// data file's page size, record length, record count and what its owner name guards. "Restructure..." opens the designer.

#include <string>
#include <vector>

#include "AppForm.h"
#include "btrieve/BtrCreate.h"

namespace vader::app {

class TDatabaseForm;

class TStructureForm : public TAppForm {
 public:
  TStructureForm(TComponent* owner, TDatabaseForm* database, const std::string& table);

 protected:
  void ShowState() override;

 private:
  TDatabaseForm* database_;
  std::string tableName_;
  std::vector<bool> uniqueIndexes_;  // per index row, shown as "Yes" or "No" in the language
  std::vector<uint16_t> indexFlags_;  // per index row, shown as words of the language
  uint16_t pageSize_ = 0, recordLength_ = 0;
  int32_t records_ = -1;
  TOwnerLevel ownerLevel_ = TOwnerLevel::Unknown;
};

// The key flags of INDEX.DDF flags, as designed texts (translated when shown).
std::vector<const char*> IndexFlagTexts(uint16_t flags);

}  // namespace vader::app
