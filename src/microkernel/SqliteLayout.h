#pragma once
// The tables of a local file's SQLite storage, shared by the store and the storage-level check.

#include <cstdint>
#include <string>

namespace vader::microkernel {

// Table "records" (rowid = position) holds the records; positions run up to 0x7FFFFFFF, and the
// row at 0x80000000 holds the change of the record count since row -1 of the count table was
// written. Every statement over the records stays below it, but a bulk scan's, whose reader
// stops there.
#define VADER_COUNT_ROW "2147483648"
#define VADER_BELOW_COUNT_ROW "pos < " VADER_COUNT_ROW
constexpr int64_t kCountRowPos = 2147483648;

// Table "key<N>" holds key N's entries: the entry (column k) and its record's position.
inline std::string KeyTable(int number) { return "key" + std::to_string(number); }

}  // namespace vader::microkernel
