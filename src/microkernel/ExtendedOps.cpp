// Extended reads: Get Next/Previous Extended walk a key path, Step Next/Previous Extended the
// physical order, returning the extracted fields of the records that pass the filter.

#include <cstring>
#include <utility>

#include "microkernel/ExtendedFilter.h"
#include "microkernel/OperationCode.h"
#include "microkernel/Operations.h"

namespace vader::microkernel {
namespace {

constexpr size_t kCountSize = 2;
constexpr size_t kRecordHeader = 6;  // length (2) and position (4) before each extract

// Where the walk starts, checked against the cursor's currency.
Status CheckStart(const Call& c, bool keyed) {
  const Cursor& cur = *c.cursor;
  if (!keyed) return kOk;
  if (!cur.store->Codec(c.keyNumber)) return kInvalidKeyNumber;
  if (!cur.logicalValid) return kInvalidPosition;
  return cur.logicalKey == c.keyNumber ? kOk : kKeyNumberChanged;
}

// The record after (or before) `from` on the walk.
Status NextRow(Call& c, bool keyed, bool forward, const Row& from, Row& row) {
  Cursor& cur = *c.cursor;
  FileStore& store = *cur.store;
  const Seek mode = forward ? Seek::kGreater : Seek::kLess;
  if (keyed) return store.SeekKey(c.keyNumber, mode, from.entry, row, &cur.walk);
  if (from.pos == 0)
    return store.SeekPhysical(forward ? Seek::kFirst : Seek::kLast, 0, row, &cur.walk);
  return store.SeekPhysical(mode, from.pos, row, &cur.walk);
}

}  // namespace

Status OpExtended(Call& c) {
  Cursor& cur = *c.cursor;
  const bool keyed = c.op == kOpGetNextExtended || c.op == kOpGetPreviousExtended;
  const bool forward = c.op == kOpGetNextExtended || c.op == kOpStepNextExtended;
  ExtendedRequest request;
  if (Status s = ParseExtendedRequest(c.data, c.capacity, cur.store->Definition(), request);
      s != kOk)
    return s;
  if (Status s = CheckStart(c, keyed); s != kOk) return s;
  if (kCountSize + request.maxRecords * (kRecordHeader + request.ExtractLength()) > c.capacity)
    return kDataMessageTooSmall;

  Row at;  // the record last examined
  at.pos = cur.anchor;
  at.entry = cur.entry;
  Row& row = cur.scratch;  // the next one; the two swap, so no record allocates
  Bytes out(kCountSize, '\0');
  out.reserve(kCountSize + request.maxRecords * (kRecordHeader + request.ExtractLength()));
  uint16_t returned = 0;
  uint32_t rejected = 0;
  Status status = kOk;
  bool examineCurrent = request.includeCurrent && cur.onRecord;
  cur.walk.Expect(request.maxRecords);
  for (;;) {
    if (examineCurrent) {
      row.entry = at.entry;
      row.pos = at.pos;
      status = cur.store->Read(at.pos, row.data);
      examineCurrent = false;
    } else {
      status = NextRow(c, keyed, forward, at, row);
    }
    if (status != kOk) break;
    std::swap(at, row);
    if (!request.Matches(at.data)) {
      if (++rejected >= request.rejectLimit) {
        status = kRejectCountReached;
        break;
      }
      continue;
    }
    const size_t extractAt = out.size();
    out.append(kRecordHeader, '\0');
    request.Extract(at.data, out);
    auto* header = reinterpret_cast<uint8_t*>(out.data()) + extractAt;
    WriteU16(header, static_cast<uint16_t>(request.ExtractLength()));
    WriteU32(header + 2, at.pos);
    if (++returned == request.maxRecords) break;
  }
  // Currency stays on the last record examined; it was not read for an update.
  cur.anchor = at.pos;
  cur.onRecord = at.pos != 0;
  cur.keyOnly = true;
  if (keyed) cur.entry = at.entry;
  if (!keyed) cur.logicalValid = false;
  WriteU16(reinterpret_cast<uint8_t*>(out.data()), returned);
  std::memcpy(c.data, out.data(), out.size());
  c.SetDataLength(static_cast<uint32_t>(out.size()));
  return status;
}

}  // namespace vader::microkernel
