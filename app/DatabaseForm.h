#pragma once
// The window of one open database: the tables of its dictionary in a list, from which data
// windows and structure views open; the database is opened through a database component and
// closes with the window. Also the menus to open another database, an alias, a recent one,
// or a copy imported from real Btrieve files.

#include <string>
#include <vector>

#include "AppForm.h"
#include "BrowseTable.h"

namespace vader::app {

class TSqlForm;

struct TTableEntry {
  std::string name;
  std::string file;
};

class TDatabaseForm : public TAppForm {
 public:
  // Database is a directory with a DDF dictionary, or an alias of the registry.
  TDatabaseForm(TComponent* owner, const std::string& database);
  ~TDatabaseForm() override;
  // Its data windows close with it: each with an unposted edit asks first.
  bool CanClose() override;

  const std::string& DatabaseName() const { return databaseName_; }
  TttDatabase* Database() const { return database_; }
  const std::vector<TTableEntry>& Tables() const { return tables_; }
  // The owner name given with every table opened from this window.
  std::string OwnerName() const;
  // The table name to open, with the owner option when one is given.
  std::string TableNameFor(const std::string& table) const;

  // Opens Database in a new window; shows the reason instead and gives nullptr when it cannot
  // be opened (nothing stays open then).
  static TDatabaseForm* OpenDatabase(const std::string& database);
  // The reason Database cannot be opened as a directory, or empty.
  static std::string CheckDirectory(const std::string& database);
  // The bundled sample database beside the executable.
  static std::string SampleDatabase();

  void OpenTable(const std::string& table);
  void ShowStructure(const std::string& table);
  // Opens an SQL window on the database.
  TSqlForm* OpenSqlWindow();

 protected:
  void ShowState() override;

 private:
  void BuildMenu();
  void Connect();
  // Opens a window of Form's kind on the table; tells why it cannot instead.
  template <typename Form>
  void OpenWindow(const std::string& table);
  std::string SelectedTable() const;
  void AskAndOpenDatabase();
  void AskAndOpenAlias();
  void ImportDatabase();

  std::string databaseName_;
  TttDatabase* database_ = nullptr;
  std::vector<TTableEntry> tables_;
};

// The recent-databases list kept in the application's settings file.
std::vector<std::string> RecentDatabases();
void RememberDatabase(const std::string& database);

// Where the application asks the person for a directory, a file or a line of text. The
// windows use these; main installs the toolkit's dialogs and tests their own answers.
struct TAppPrompts {
  std::function<std::string(const std::string& title)> directory;
  std::function<std::string(const std::string& title, bool save)> file;
  std::function<std::string(const std::string& title, const std::string& label)> text;
};
TAppPrompts& Prompts();

}  // namespace vader::app
