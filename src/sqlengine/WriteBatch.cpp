#include "sqlengine/WriteBatch.h"

#include "sqlengine/ValueCheck.h"

namespace vader::sqlengine {
namespace {

constexpr size_t kHeader = 4;

void AppendU16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

}  // namespace

Value FromSqlite(sqlite3_value* value) {
  switch (sqlite3_value_type(value)) {
    case SQLITE_INTEGER: return Value::Integer(sqlite3_value_int64(value));
    case SQLITE_FLOAT: return Value::Float(sqlite3_value_double(value));
    case SQLITE_TEXT:
      return Value::String(reinterpret_cast<const char*>(sqlite3_value_text(value)));
    case SQLITE_BLOB:
      return Value{Value::Blob, 0, 0,
                   std::string(static_cast<const char*>(sqlite3_value_blob(value)),
                               static_cast<size_t>(sqlite3_value_bytes(value)))};
    default: return Value{};
  }
}

bool WriteBatch::Fits(const Table& t, const std::vector<uint16_t>& columns) {
  for (const uint16_t i : columns)
    if (i >= t.columns.size() || t.columns[i].offset + t.columns[i].format.size > t.recordLength)
      return false;
  return !columns.empty() && columns.size() < kMaxRows;
}

void WriteBatch::Start(const Table& t, const std::vector<uint16_t>& columns) {
  table_ = &t;
  columns_ = columns;
  rows_ = 0;
  bytes_.assign(kHeader, 0);
  for (const uint16_t i : columns_) {
    AppendU16(bytes_, t.columns[i].offset);
    AppendU16(bytes_, t.columns[i].format.size);
  }
  bytes_[2] = static_cast<uint8_t>(columns_.size());
  bytes_[3] = static_cast<uint8_t>(columns_.size() >> 8);
}

void WriteBatch::AddEntry(uint32_t position, uint8_t kind) {
  for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<uint8_t>(position >> (8 * i)));
  bytes_.push_back(kind);
  ++rows_;
}

void WriteBatch::AddUpdate(uint32_t position, const uint8_t* record) {
  AddEntry(position, kBatchUpdate);
  for (const uint16_t i : columns_) {
    const Column& col = table_->columns[i];
    bytes_.insert(bytes_.end(), record + col.offset, record + col.offset + col.format.size);
  }
}

void WriteBatch::AddDelete(uint32_t position) { AddEntry(position, kBatchDelete); }

int16_t WriteBatch::Send(BtrFile& writer) {
  if (rows_ == 0) return 0;
  bytes_[0] = static_cast<uint8_t>(rows_);
  bytes_[1] = static_cast<uint8_t>(rows_ >> 8);
  uint32_t len = static_cast<uint32_t>(bytes_.size());
  const int16_t s = writer.Call(kOpWriteBatch, bytes_.data(), len, nullptr, -1);
  Drop();
  return s;
}

void WriteBatch::Drop() {
  rows_ = 0;
  bytes_.clear();
}

bool EncodeColumn(const Column& column, Value value, uint8_t* record) {
  if (Admit(column.format, value) != 0) return false;
  Encode(column.format, value, record + column.offset);
  return true;
}

}  // namespace vader::sqlengine
