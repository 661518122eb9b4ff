#pragma once
// Sessions and cursors of the relational engine. A session is one login: its own Btrieve
// client identifier, the dictionary's tables as SQLite virtual tables of a private in-memory
// SQLite connection, its owner names and its transaction. A cursor holds one compiled
// statement; when the statement returns rows it is a view read lazily into a row cache, so
// it can be fetched in every direction, bookmarked and changed at its current row.

#include <sqlite3.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sqlengine/BtrFile.h"
#include "sqlengine/Catalog.h"
#include "sqlengine/Value.h"
#include "sqlengine/XqlApi.h"

namespace vader::sqlengine {

class Session;

// A column of a view: its name, its Btrieve format in the row, its place in the row, and the
// table column it comes from (for changes through the view).
struct ViewColumn {
  std::string name;
  FieldFormat format;
  size_t offset = 0;  // in the row, after the 2-byte row length
  int tableColumn = -1;
};

class Cursor {
 public:
  explicit Cursor(Session& session) : session_(session) {}
  ~Cursor() { Close(); }

  int16_t Compile(const std::string& text);
  int16_t Exec();
  int16_t Subst(const std::vector<std::string>& names, const std::vector<std::string>& values);
  int16_t Describe(int position, ViewColumn& column) const;
  // Fetches up to `count` rows with `option` into `buffer`; `count` becomes the rows given.
  int16_t Fetch(int option, uint8_t* buffer, size_t length, int32_t& count);
  int16_t Bookmark(uint8_t* buffer, size_t length, int32_t& count);
  int16_t Insert(const uint8_t* rows, int count);
  int16_t Update(const uint8_t* row);
  int16_t Remove();

  // The row's values as display texts, each ended by a NUL (the ASCII form of a fetch).
  std::string TextRow(const uint8_t* row) const;
  bool HasView() const { return view_ != nullptr; }
  // Whether the view can be changed at its rows (a plain SELECT of one table).
  bool Updatable() const { return view_ != nullptr && updatable_; }
  // Rows the last run inserted, updated or deleted.
  int32_t ChangedRows() const { return changedRows_; }
  // Where the last compile found the statement wrong: the byte offset in the text given to
  // Compile (-1: not known) and the length of the word there.
  int32_t ErrorOffset() const { return errorOffset_; }
  int32_t ErrorLength() const { return errorLength_; }
  size_t RowSize() const { return rowSize_; }
  // Rows of a block (several rows fetched or inserted in one call) lie this far apart: the
  // row and 4 bytes after it, the record size the driver reports for a view.
  size_t RowStride() const { return rowSize_ + kRowTrailer; }
  static constexpr size_t kRowTrailer = 4;
  const std::vector<ViewColumn>& Columns() const { return columns_; }

 private:
  struct Row {
    std::string data;
    int64_t rowid = 0;
    int32_t serial = 0;  // the bookmark: stable while rows are inserted around it
    bool removed = false;
  };
  void Close();
  int16_t Run(const std::string& text, int depth);
  int16_t RunSpecial(const std::string& text, int depth, bool& handled);
  int16_t UpdateInBulk(const std::string& statement, int32_t& changed, bool& done);
  int16_t OpenView(sqlite3_stmt* stmt, bool updatable, Table* table);
  void NoteErrorAt(size_t pieceStart);
  size_t InGivenText(size_t at) const;
  int16_t Fill(size_t index);  // reads rows until `index` is cached or the view ends
  int16_t EncodeCurrent(std::string& out);
  int16_t EncodeRow(sqlite3_stmt* st, int first, std::string& out) const;
  int16_t Reload(Row& row);
  std::vector<Value> DecodeRow(const uint8_t* row) const;
  void Assignments(const uint8_t* row, std::vector<std::string>& names,
                   std::vector<Value>& values) const;
  int16_t Change(const std::string& sql, const std::vector<Value>& values, int64_t rowid,
                 bool withRowid);
  bool Valid(size_t index) const { return index < rows_.size() && !rows_[index].removed; }
  std::string Substituted() const;
  void Bind(sqlite3_stmt* st) const;
  int16_t CheckParameters(sqlite3_stmt* st) const;

  Session& session_;
  std::string text_;
  std::vector<size_t> restoredMarks_;  // where text_ has a "?" the given text had as @QVARnnnn
  int32_t errorOffset_ = -1;
  int32_t errorLength_ = 0;
  std::map<std::string, std::string> values_;  // upper-cased variable name -> value text
  std::vector<std::string> variables_;         // the statement's @names, upper-cased
  sqlite3_stmt* view_ = nullptr;
  bool updatable_ = false;
  Table* table_ = nullptr;
  std::vector<ViewColumn> columns_;
  size_t rowSize_ = 0;  // 2 + the column sizes
  std::vector<Row> rows_;
  bool done_ = false;
  long pos_ = -1;  // -1 before the first row; rows_.size() after the last
  int32_t nextSerial_ = 1;
  bool bound_ = false;  // the variables are parameters of the prepared statements
  int32_t changedRows_ = 0;
};

class Session {
 public:
  Session(int16_t id);
  ~Session();

  int16_t Login(const std::string& user, const std::string& password,
                const std::string& dictionary, const std::string& data);

  int16_t Id() const { return id_; }
  ClientId* Client() { return &client_; }
  sqlite3* Db() const { return db_; }
  const std::vector<std::string>& Owners() const { return owners_; }
  void SetOwners(std::vector<std::string> owners) { owners_ = std::move(owners); }
  const std::string& DictionaryDir() const { return dictionaryDir_; }
  Table* FindTable(const std::string& name) const;

  int16_t NewCursor(int16_t& id);
  Cursor* FindCursor(int16_t id);
  int16_t FreeCursor(int16_t id);

  // Transactions: an explicit one (START TRANSACTION) or one around a single statement.
  bool InTransaction() const { return explicitTransaction_; }
  int16_t Begin(bool explicitly);
  int16_t End(bool commit, bool explicitly);

  // The status a failed SQLite call stands for (a record-manager status a virtual table
  // reported, or the engine's own).
  int16_t StatusOf(int rc);
  void ReportBtrieve(int16_t status) { lastBtrieve_ = status; }
  const std::string& LastError() const { return lastError_; }

 private:
  int16_t CheckUser(const std::string& user, const std::string& password);

  int16_t id_;
  ClientId client_;
  sqlite3* db_ = nullptr;
  std::vector<std::unique_ptr<Table>> tables_;
  std::vector<std::string> owners_;
  std::string dictionaryDir_, dataDir_;
  std::map<int16_t, std::unique_ptr<Cursor>> cursors_;
  int16_t nextCursor_ = 1;
  bool explicitTransaction_ = false;
  int16_t lastBtrieve_ = 0;
  std::string lastError_;
};

// The caller's progress callback, asked while statements run (XqlApi.h); answers the one
// registered before.
ProgressCallback SetProgressCallback(ProgressCallback callback);
// Whether the caller's progress callback asks to stop the work at hand.
bool StopWanted();

// Registers the virtual-table module over the session's tables and declares every table.
int RegisterTables(Session& session, const std::vector<std::unique_ptr<Table>>& tables);

// Stored procedures in the dictionary's PROC.DDF.
int16_t ReadProcedure(Session& session, const std::string& name, std::string& text);
int16_t StoreProcedure(Session& session, const std::string& name, const std::string& text);

}  // namespace vader::sqlengine
