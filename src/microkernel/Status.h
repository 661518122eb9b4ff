#pragma once
// Status codes the record manager returns through its exports.

#include <cstdint>

namespace vader::microkernel {

enum Status : int16_t {
  kOk = 0,
  kInvalidOperation = 1,
  kIoError = 2,
  kFileNotOpen = 3,
  kKeyNotFound = 4,
  kDuplicateKey = 5,
  kInvalidKeyNumber = 6,
  kKeyNumberChanged = 7,
  kInvalidPosition = 8,
  kEndOfFile = 9,
  kKeyNotModifiable = 10,
  kInvalidFileName = 11,
  kFileNotFound = 12,
  kDiskFull = 18,
  kUnrecoverable = 19,
  kKeyBufferTooShort = 21,
  kDataBufferTooShort = 22,
  kInvalidPageSize = 24,
  kCreateError = 25,
  kInvalidKeyCount = 26,
  kInvalidKeyPosition = 27,
  kInvalidRecordLength = 28,
  kInvalidKeyLength = 29,
  kNotAFile = 30,
  kDirectoryError = 35,
  kTransactionActive = 37,
  kNoTransaction = 39,
  kOperationNotAllowed = 41,
  kInvalidRecordAddress = 43,
  kNullKeyPath = 44,
  kInconsistentKeyFlags = 45,
  kAccessDenied = 46,
  kInvalidAcs = 48,
  kInvalidKeyType = 49,
  kOwnerAlreadySet = 50,
  kInvalidOwner = 51,
  kAutoIncrementError = 55,
  kFileExists = 59,
  kRejectCountReached = 60,
  kInvalidDescriptor = 62,
  kInvalidInsertBuffer = 63,
  kInvalidExtractor = 65,
  kConflict = 80,
  kLockError = 81,
  kRecordLocked = 84,
  kFileLocked = 85,
  kIncompatibleMode = 88,
  kIncompatibleLockType = 93,
  kSessionLost = 95,  // the connection to the server is gone
  kDataMessageTooSmall = 97,
  kIsrNotFound = 134,
};

}  // namespace vader::microkernel
