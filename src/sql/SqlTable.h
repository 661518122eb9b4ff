#pragma once
// Scalable SQL statements and the cursors over their results. TSSQLSqlStmt rewrites the text
// into the engine's form (named "@" variables, "?" markers numbered as @QVARnnnn), compiles it
// on an engine cursor, substitutes parameters and executes it. TBtrSqlBaseTable reads a view
// row by row in the Btrieve format of its columns (a 16-bit row length, then the columns), with
// engine bookmarks and positioned changes; TBtrSqlAggTable is the same without engine positions
// (results of stored procedures), counting rows itself; TBtrSqlProcTable lists the stored
// procedures of PROC.DDF.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "btrieve/BtrTable.h"
#include "engine/BseStmt.h"

namespace vader {

constexpr uint16_t DBIERR_INVALIDBOOKMARK = 0x2725;

// Statement kinds (the statement option): an ordinary statement, a stored-procedure call.
constexpr int32_t kSqlStmtOrdinary = 0;
constexpr int32_t kSqlStmtProcedure = 1;

// The statement text as the engine takes it: ":" outside quotes becomes "@" (a single or double
// quote switches the quoted state alike), then every "?", quoted or not, becomes @QVAR0000,
// @QVAR0001, ... from the left.
std::string RewriteStatementText(std::string_view sql);
// The offset in `native` (the text before that rewrite) of offset `at` in its rewritten text.
size_t OffsetBeforeRewrite(std::string_view native, size_t at);
// The text of a parameter value of engine type `type` at `value` (`length` bytes there) for
// substitution; strings are given as they are (the caller converts them).
std::string ParameterText(uint16_t type, const void* value, uint16_t length);

class TBtrSqlBaseTable;

class TSSQLSqlStmt : public TSqlStmt {
 public:
  TSSQLSqlStmt(TBapiListItem* database, TVaderCollection* collection, const char* sql,
               uint16_t language, int32_t kind, int16_t sessionId, const uint8_t* clientId);
  ~TSSQLSqlStmt() override;

  int16_t CursorID() const { return cursorId_; }
  int16_t SessionID() const { return sessionId_; }
  void SetSessionID(int16_t id) { sessionId_ = id; }
  const uint8_t* ClientIDRef() const { return clientId_; }

  // stmtROWSAFFECTED: the rows the statement's last run changed; others as the base.
  void GetProp(uint32_t propId, void* value, uint16_t maxLen, uint16_t& len) override;
  void SetText(const char* sql) override;
  void Allocate() override;
  void Release() override;
  void SetParams(uint16_t count, const FieldDesc* descs, const void* recordBuffer) override;
  void Execute(TBaseTable** cursor) override;
  void SetProcParams(uint16_t count, const FieldDesc* descs, const void* recordBuffer) override;

 private:
  friend class TBtrSqlBaseTable;
  void MakeCurrent() const;
  // Whether the compiled statement is a view (a statement without one ran when compiled).
  bool HasView() const;
  // Raises the failed compile's status with where the engine found the text wrong.
  [[noreturn]] void RaiseCompileError(int16_t status) const;

  int16_t cursorId_ = -1;
  int16_t sessionId_;
  const uint8_t* clientId_;
  std::string givenText_;  // the text as SetText got it, before its conversion and rewrite
  // The open result table reading this statement's cursor: when the statement goes first, the
  // table takes the cursor over and frees it when it closes.
  TBtrSqlBaseTable* result_ = nullptr;
};

class TBtrSqlBaseTable : public TBtrBaseTable {
 public:
  TBtrSqlBaseTable(TBapiListItem* database, TVaderCollection* collection,
                   TSSQLSqlStmt* statement, int16_t sessionId, const uint8_t* clientId,
                   int16_t cursorId);
  ~TBtrSqlBaseTable() override;

  int16_t CursorID() const { return cursorId_; }
  int16_t SessionID() const { return sessionId_; }

  void GetProp(uint32_t propId, void* value, uint16_t maxLen, uint16_t& len) override;
  void SetProp(uint32_t propId, int32_t value) override;
  void CheckProp(uint32_t propId, bool forWrite) override;

  uint32_t GetRecordSize() const override { return recordSize_; }
  uint8_t* GetDataBuffer() const override;
  void SetDataBuffer(uint8_t* buffer) override { currentData_ = buffer; }
  int32_t GetRecordBufferLength() override { return static_cast<int32_t>(recordSize_); }
  uint32_t GetBookmarkSize() const override { return kBookmarkSize; }

  void OpenCursor() override;
  void GetCursorProps(CursorProps& props) override;
  void LoadFieldDesc(uint16_t n, const void* fieldRecord, FieldDesc& desc, uint16_t& localType,
                     uint16_t& localSize) override;
  void FirstPhysical() override { FetchRow(kFetchFirst); }
  void NextPhysical() override { FetchRow(kFetchNext); }
  void PriorPhysical() override { FetchRow(kFetchPrevious); }
  void LastPhysical() override { FetchRow(kFetchLast); }
  void GetBookMark(void* bookmark) override;
  void SetToBookMark(const void* bookmark) override;
  void ReadAtBookmark(const void* bookmark, uint8_t* record, TLockType lock) override;
  void CompareBookMarks(const void* bookmark1, const void* bookmark2, int& result) override;
  void PutFieldValue(TFieldCacheItem& item, uint8_t* record, const void* src) override;
  void SetVariableTailLength(uint8_t* record, uint16_t field, int32_t length) override;
  void InsertRecord(TLockType lock, uint8_t* record) override;
  void ModifyRecord(uint8_t* record, bool freeLock) override;
  void DeleteRecord(uint8_t* record) override;
  void ReadBlock(uint32_t& count, uint8_t* records) override;
  void WriteBlock(uint32_t& count, uint8_t* records) override;

  static constexpr uint32_t kBookmarkSize = 100;
  static constexpr int16_t kFetchCurrent = 0;
  static constexpr int16_t kFetchFirst = 1;
  static constexpr int16_t kFetchNext = 2;
  static constexpr int16_t kFetchPrevious = 3;
  static constexpr int16_t kFetchLast = 4;
  static constexpr int16_t kFetchPosition = 5;
  static constexpr int16_t kFetchAfterUpdate = 7;
  static constexpr int16_t kFetchBookmark = 256;
  static constexpr int16_t kFetchLock = 1024;

 protected:
  // Fetches one row with `option` into the current data buffer.
  void FetchRow(int16_t option);
  void MakeCurrent() const;
  uint8_t* CurrentData() const { return currentData_; }
  // The status of an engine call, checked.
  static void Check(int16_t status);

 private:
  friend class TSSQLSqlStmt;
  // Column `n` as the engine describes it, typed when it is computed.
  struct Column {
    int16_t type = 0;
    int16_t size = 0;
    int16_t decimals = 0;
    std::string name;
  };
  Column DescribeColumn(int16_t n);
  // The bookmark fetch: `bookmark` into a scratch buffer, the row at it read there.
  std::vector<uint8_t> FetchAtBookmark(const void* bookmark, int16_t option);
  // The statement is gone: the cursor is now this table's.
  void AdoptCursor() {
    statement_ = nullptr;
    ownsCursor_ = true;
  }
  bool LastFieldIsMemo();

  TSSQLSqlStmt* statement_;
  // The engine lets the view be changed at its rows (a view of one table).
  bool updatable_ = true;
  int16_t cursorId_;
  int16_t sessionId_;
  uint8_t flag0_ = 0;
  bool ownsCursor_ = false;
  uint32_t recordSize_ = 0;
  std::vector<uint8_t> ownBuffer_;
  uint8_t* currentData_ = nullptr;
};

class TBtrSqlAggTable : public TBtrSqlBaseTable {
 public:
  using TBtrSqlBaseTable::TBtrSqlBaseTable;

  int32_t RowNumber() const { return rowNumber_; }

  uint32_t GetBookmarkSize() const override { return 4; }
  void FirstPhysical() override;
  void NextPhysical() override;
  void PriorPhysical() override;
  void LastPhysical() override;
  void GetBookMark(void* bookmark) override;
  void SetToBookMark(const void* bookmark) override;
  void ReadAtBookmark(const void* bookmark, uint8_t* record, TLockType lock) override;
  void CompareBookMarks(const void* bookmark1, const void* bookmark2, int& result) override;

 private:
  int32_t rowNumber_ = 0;
};

// The stored procedures of a database: the records of its PROC.DDF, given as 73-byte rows that
// begin with the procedure's name.
class TBtrSqlProcTable : public TBtrTable {
 public:
  TBtrSqlProcTable(TBapiListItem* database, TVaderCollection* collection,
                   const std::string& directory, const uint8_t* clientId);

  static constexpr uint32_t kProcRecordSize = 1061;
  static constexpr size_t kProcRowSize = 73;

  uint32_t GetRecordSize() const override { return kProcRecordSize; }
  void OpenCursor() override;
  void GetNextRecord(TLockType lock, uint8_t* record, RecordProps* props) override;
  void GetPriorRecord(TLockType lock, uint8_t* record, RecordProps* props) override;

 private:
  void ReadListed(TLockType lock, uint8_t* record, RecordProps* props, bool forward);
  std::vector<uint8_t> procRecord_;
};

}  // namespace vader
