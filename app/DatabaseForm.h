#pragma once
// The window of one open database: the tables of its dictionary in a list, from which data
// windows and structure views open; the database is opened through a database component and
// closes with the window. Also the menus to open another database, an alias, a recent one,
// or a copy imported from real Btrieve files.

#include <string>
#include <vector>

#include "AppForm.h"
#include "BrowseTable.h"
#include "DataTransfer.h"

namespace vader {
class TBtrDatabase;
}

namespace vader::app {

class TSqlForm;

struct TTableEntry {
  std::string name;
  std::string file;
};

class TDatabaseForm : public TAppForm {
 public:
  // Database is a directory with a DDF dictionary, or an alias of the registry; OwnerName is
  // given with the dictionary and every table opened from the window.
  TDatabaseForm(TComponent* owner, const std::string& database, const std::string& ownerName);
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
  // The database's dictionary cannot be written here (a read-only folder or medium, or the
  // files of a real Btrieve engine read in place).
  bool ReadOnly() const { return readOnly_; }
  // The table cannot be written here: the database is read-only, or its data file is.
  bool TableReadOnly(const std::string& table) const;

  // Opens Database in a new window, with Owner as its owner name; asks for one when its
  // dictionary needs it. Shows the reason instead and gives nullptr when it cannot be opened
  // (nothing stays open then).
  static TDatabaseForm* OpenDatabase(const std::string& database, const std::string& owner = "");
  // The reason Database cannot be opened as a directory, or empty.
  static std::string CheckDirectory(const std::string& database);
  // What the File menus offer: asks for a directory or an alias and opens it; asks for a
  // directory of real Btrieve files and where to copy them, imports and opens the copy.
  static void AskAndOpenDatabase();
  static void AskAndOpenAlias();
  static void ImportDatabase();
  // The same for the real Btrieve files in `source`.
  static void ImportDatabaseFrom(const std::string& source);
  // The bundled sample database beside the executable.
  static std::string SampleDatabase();

  void OpenTable(const std::string& table);
  void ShowStructure(const std::string& table);
  // The table operations, each asking first where something could be lost: the designer on a
  // new table or on the structure of `table`; a copy of `table` under a name asked for (with its
  // structure and records); a new name; the removal of its dictionary entries (the data file
  // stays).
  void NewTable();
  void RestructureTable(const std::string& table);
  void CopyTable(const std::string& table);
  void RenameTable(const std::string& table);
  void DeleteTable(const std::string& table);
  // Closes the data and SQL windows of the database before `table` changes; false (and
  // nothing closed) while one of them holds an edit not yet posted.
  bool CloseWindowsOfTable(const std::string& table);
  // Reads the list of tables again.
  void RefreshTables();
  // Opens an SQL window on the database.
  TSqlForm* OpenSqlWindow();

 protected:
  void ShowState() override;

 private:
  void BuildMenu();
  void Connect();
  void ReadTables();
  // Runs a table operation on the Btrieve database; its error is shown. True when it ran.
  bool RunTableOperation(const std::function<void(TBtrDatabase&)>& operation);
  // The choice of the code page of the database's texts, kept per database in the settings.
  void PlaceCodePageChoice();
  void PlaceChosenCodePage();  // shows the remembered choice
  void ChangeCodePage(const std::string& codePage);
  bool HasEditInProgress() const;
  void CloseWindowsOfDatabase();
  // Opens a window of Form's kind on the table; tells why it cannot instead.
  template <typename Form>
  void OpenWindow(const std::string& table);
  std::string SelectedTable() const;
  // The data file of a dictionary location, found as the record manager finds it.
  std::string DataFilePath(const std::string& location) const;

  std::string databaseName_;
  TttDatabase* database_ = nullptr;
  std::vector<TTableEntry> tables_;
  bool readOnly_ = false;
  bool inPlace_ = false;  // real Btrieve files, read where they are
};

// The code page chosen for a database's texts ("866", "UTF-8"; empty: the installation's),
// kept in the application's settings file.
std::string ChosenCodePage(const std::string& database);
void RememberCodePage(const std::string& database, const std::string& codePage);

// The recent-databases list kept in the application's settings file.
std::vector<std::string> RecentDatabases();
void RememberDatabase(const std::string& database);

// The owner names of protected files: one for all of them, or one for each (empty: the one
// for all).
struct TOwnerNames {
  std::vector<std::string> files;
  std::string forAll;
  std::vector<std::string> names;  // by files' index
};

// Where the application asks the person for a directory, a file, a line of text or owner
// names. The windows use these; main installs the toolkit's dialogs and tests their own answers.
struct TAppPrompts {
  std::function<std::string(const std::string& title)> directory;
  std::function<std::string(const std::string& title, bool save)> file;
  std::function<std::string(const std::string& title, const std::string& label)> text;
  // Fills in the names; false when the person cancels.
  std::function<bool(TOwnerNames& owners)> ownerNames;
  // The file and the choices of an export; false when the person cancels.
  std::function<bool(TExportChoice& choice)> exportChoice;
  // The file and the choices of an import; false when the person cancels.
  std::function<bool(TImportChoice& choice)> importChoice;
};
TAppPrompts& Prompts();

}  // namespace vader::app
