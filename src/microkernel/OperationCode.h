#pragma once
// Operation codes of the API (without the lock and key-only biases).

#include <cstdint>

namespace vader::microkernel {

enum OperationCode : uint16_t {
  kOpOpen = 0,
  kOpClose = 1,
  kOpInsert = 2,
  kOpUpdate = 3,
  kOpDelete = 4,
  kOpGetEqual = 5,
  kOpGetNext = 6,
  kOpGetPrevious = 7,
  kOpGetGreater = 8,
  kOpGetGreaterEqual = 9,
  kOpGetLess = 10,
  kOpGetLessEqual = 11,
  kOpGetFirst = 12,
  kOpGetLast = 13,
  kOpCreate = 14,
  kOpStat = 15,
  kOpSetDirectory = 17,
  kOpGetDirectory = 18,
  kOpBeginTransaction = 19,
  kOpEndTransaction = 20,
  kOpAbortTransaction = 21,
  kOpGetPosition = 22,
  kOpGetDirect = 23,
  kOpStepNext = 24,
  kOpStop = 25,
  kOpVersion = 26,
  kOpUnlock = 27,
  kOpReset = 28,
  kOpSetOwner = 29,
  kOpClearOwner = 30,
  kOpCreateIndex = 31,
  kOpDropIndex = 32,
  kOpStepFirst = 33,
  kOpStepLast = 34,
  kOpStepPrevious = 35,
  kOpGetNextExtended = 36,
  kOpGetPreviousExtended = 37,
  kOpStepNextExtended = 38,
  kOpStepPreviousExtended = 39,
  kOpInsertExtended = 40,
  kOpGetByPercentage = 44,
  kOpFindPercentage = 45,
  // This record manager's own operations, for the relational engine (no Btrieve engine has
  // them): many updates and deletes by position in one call, and the statement inside a
  // transaction (key number: kStatementBegin, kStatementKeep or kStatementUndo).
  kOpWriteBatch = 90,
  kOpStatement = 91,
};

enum StatementStep : int8_t { kStatementBegin = 0, kStatementKeep = 1, kStatementUndo = 2 };

// The kind of an entry of a kOpWriteBatch buffer.
enum BatchKind : uint8_t { kBatchUpdate = 0, kBatchDelete = 1 };

constexpr uint16_t kKeyOnlyBias = 50;       // Get Key: the key without the record
constexpr uint16_t kConcurrentBias = 1000;  // Begin Transaction: concurrent
constexpr uint16_t kNoWriteWaitBias = 500;  // concurrent Begin: writes do not wait

}  // namespace vader::microkernel
