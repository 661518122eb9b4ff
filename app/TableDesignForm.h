#pragma once
// The table designer: a table's definition as lines of text (the table, each field with its
// Btrieve type, size and decimals, each index with its flags and each of its parts), the form
// the utility reads and prints. For a new table it creates the table; for an existing one it
// restructures it, copying the records with their values converted, with progress and Stop, and
// asks what to do with a value that does not convert (stop, or set it blank).

#include <string>

#include "AppForm.h"

namespace vader::app {

class TDatabaseForm;

class TTableDesignForm : public TAppForm {
 public:
  // `table` empty: a new table.
  TTableDesignForm(TComponent* owner, TDatabaseForm* database, const std::string& table);

  // Creates or restructures from the definition in the editor; true when it was done. Errors
  // and a stop are shown to the person.
  bool Apply();
  // Ends a restructure that is running; the table stays as it was.
  void Stop() { stop_ = true; }
  void SetDefinition(const std::string& text);

 protected:
  void ShowState() override;

 private:
  bool CreateTable(const std::string& definition);
  bool Restructure(const std::string& definition);

  TDatabaseForm* database_;
  std::string table_;
  std::string progress_;
  bool running_ = false;
  bool stop_ = false;
};

}  // namespace vader::app
