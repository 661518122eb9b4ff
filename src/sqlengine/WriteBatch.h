#pragma once
// A statement's updates and deletes go to the record manager in batches: one call for many
// rows, where a row alone costs a read to position the writer and a write. The record manager
// makes all of a batch's rows or none. Layout: entry count (2), span count (2), the spans
// (offset 2, length 2) an update replaces, the entries: position (4), kind (1), and an
// update's new bytes of the spans. Every update of one batch replaces the same columns.

#include <sqlite3.h>

#include <cstdint>
#include <vector>

#include "sqlengine/BtrFile.h"
#include "sqlengine/Catalog.h"
#include "sqlengine/Value.h"

namespace vader::sqlengine {

// An SQLite value (an argument, or a column of a statement's row) as the engine's value.
Value FromSqlite(sqlite3_value* value);

class WriteBatch {
 public:
  static constexpr uint16_t kMaxRows = 4096;

  // Whether updates of `columns` of `t` can be sent as their bytes: each lies in the fixed part
  // of the record, so the stored record keeps every other byte (a variable part too).
  static bool Fits(const Table& t, const std::vector<uint16_t>& columns);

  // Starts an empty batch whose updates replace the bytes of `columns` of `t` (none for a
  // batch of deletes); the columns fit.
  void Start(const Table& t, const std::vector<uint16_t>& columns);
  // An update of the record at `position`: the batch's columns as they stand in `record` (an
  // image of the whole record, laid out as stored).
  void AddUpdate(uint32_t position, const uint8_t* record);
  void AddDelete(uint32_t position);
  // Sends the batch to the record manager through `writer` and empties it.
  int16_t Send(BtrFile& writer);
  void Drop();

  uint16_t Rows() const { return rows_; }
  bool Full() const { return rows_ >= kMaxRows; }
  const std::vector<uint16_t>& Columns() const { return columns_; }
  size_t Bytes() const { return bytes_.size(); }

 private:
  void AddEntry(uint32_t position, uint8_t kind);

  const Table* table_ = nullptr;
  std::vector<uint8_t> bytes_;
  std::vector<uint16_t> columns_;
  uint16_t rows_ = 0;
};

// Encodes `value` into the column's place in `record` (an image of the whole record); false
// when the column refuses it (only the stored record can tell whether it may stay).
bool EncodeColumn(const Column& column, Value value, uint8_t* record);

}  // namespace vader::sqlengine
