// Bulk scans: the records of an open file handed to a reader in this process straight from the
// storage, along a key path or the physical order, without going through a data buffer.

#include "microkernel/Operations.h"

namespace vader::microkernel {
namespace {

// Sets `at` to the bound `start` names on key `number` (-1: the physical order).
Status StartPoint(const FileStore& store, int number, int8_t start, const uint8_t* key,
                  uint8_t keyLength, ScanPoint& at) {
  at = ScanPoint{};
  at.number = number;
  at.started = true;
  if (start == kScanFirst) return kOk;
  if (start != kScanGreaterEqual && start != kScanGreater) return kInvalidOperation;
  const KeyCodec* codec = number >= 0 ? store.Codec(number) : nullptr;
  if (!codec) return kInvalidOperation;
  if (!key || keyLength < codec->Length()) return kKeyBufferTooShort;
  codec->EncodeInto(key, at.entry);
  // Past every duplicate of the value, as Get Greater goes.
  if (start == kScanGreater) {
    at.inclusive = false;
    if (codec->Key().Duplicates()) at.entry = AfterDuplicates(at.entry);
  }
  return kOk;
}

}  // namespace

Status OpScanRecords(Cursor& cursor, int8_t keyNumber, int8_t start, const uint8_t* key,
                     uint8_t keyLength, RecordSink& sink) {
  FileStore& store = *cursor.store;
  const int number = keyNumber < 0 ? -1 : keyNumber;
  if (number >= 0 && !store.Codec(number)) return kInvalidKeyNumber;
  if (start != kScanContinue) {
    if (Status s = StartPoint(store, number, start, key, keyLength, cursor.scan); s != kOk)
      return s;
  } else if (!cursor.scan.started || cursor.scan.number != number) {
    return kInvalidPosition;
  }
  // The block's currency is the scan's now: no record to update, no key position to go on from.
  cursor.onRecord = false;
  cursor.logicalValid = false;
  cursor.keyOnly = true;
  return store.ScanRows(cursor.scan, cursor.walk, sink);
}

}  // namespace vader::microkernel
