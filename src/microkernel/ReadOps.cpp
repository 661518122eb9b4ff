// Reads: Get by key (and Get Key), Step, Get Position / Get Direct and the percentages.

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "microkernel/OperationCode.h"
#include "microkernel/Operations.h"

namespace vader::microkernel {
namespace {

constexpr uint32_t kPercentScale = 10000;
// Internal: the record locked changed before the lock was granted; the read is made again.
constexpr Status kReadAgain = static_cast<Status>(-1);
constexpr int kMaxReadsAgain = 16;

// Whether `row` is still the record as stored, now that this call holds its lock: until the
// lock was granted, its holder could change or delete it.
Status ReadUnderLock(Call& c, const Row& row) {
  FileStore& store = *c.cursor->store;
  Bytes stored;
  Status s = store.Refresh();  // a walk's snapshot may predate the holder's change
  if (s == kOk) s = store.Read(row.pos, stored);
  if (s == kInvalidRecordAddress || (s == kOk && stored != row.data)) {
    c.changedUnderLock.push_back(row.pos);
    return kReadAgain;
  }
  return s;
}

// Makes `row` the current record of the cursor (logically on key `keyNumber` when >= 0) and
// returns it to the caller: the lock, the key buffer, then the data buffer.
Status Deliver(Call& c, Row& row, int keyNumber, const KeyCodec* codec) {
  Cursor& cur = *c.cursor;
  bool taken = false;
  if (Status s = TakeLock(c, row.pos, taken); s != kOk) return s;
  if (taken)
    if (Status s = ReadUnderLock(c, row); s != kOk) return s;
  cur.anchor = row.pos;
  cur.onRecord = true;
  cur.keyOnly = c.keyOnly;
  cur.keyChanged = false;
  cur.logicalValid = keyNumber >= 0;
  cur.logicalKey = keyNumber;
  if (keyNumber >= 0) cur.entry.swap(row.entry);
  cur.row.data.swap(row.data);
  cur.row.pos = row.pos;
  if (codec) codec->ExtractInto(reinterpret_cast<const uint8_t*>(cur.row.data.data()), c.key);
  return c.keyOnly ? kOk : ReturnRecord(c, cur.row.data);
}

const KeyCodec* CheckedCodec(Call& c, Status& status) {
  const KeyCodec* codec = c.cursor->store->Codec(c.keyNumber);
  status = !codec ? kInvalidKeyNumber : (c.keyLength < codec->Length() ? kKeyBufferTooShort : kOk);
  return status == kOk ? codec : nullptr;
}

// The seek that implements a Get operation on a key path.
Status PlanSeek(Call& c, const KeyCodec& codec, Seek& mode, Bytes& bound, bool& exact) {
  Cursor& cur = *c.cursor;
  const bool dup = codec.Key().Duplicates();
  exact = false;
  auto encoded = [&]() -> const Bytes& {
    codec.EncodeInto(c.key, bound);
    return bound;
  };
  switch (c.op) {
    case kOpGetEqual:
      if (codec.HasNullIndicatorSet(c.key)) return kKeyNotFound;
      mode = Seek::kGreaterEqual;
      encoded();
      exact = true;
      return kOk;
    case kOpGetNext:
    case kOpGetPrevious: {
      if (cur.keyChanged) {
        cur.keyChanged = false;
        cur.logicalValid = false;
        return kKeyNumberChanged;
      }
      if (!cur.logicalValid) return kInvalidPosition;
      if (cur.logicalKey != c.keyNumber) return kKeyNumberChanged;
      const bool next = c.op == kOpGetNext;
      mode = next ? Seek::kGreater : Seek::kLess;
      bound = cur.entry;
      // A key-only walk visits each value once, skipping the other duplicates.
      if (c.keyOnly && dup) {
        bound.resize(codec.EncodedLength());
        if (next) bound = AfterDuplicates(bound);
      }
      return kOk;
    }
    case kOpGetGreater:
      mode = Seek::kGreater;
      if (dup)
        bound = AfterDuplicates(encoded());
      else
        encoded();
      return kOk;
    case kOpGetGreaterEqual:
      mode = Seek::kGreaterEqual;
      encoded();
      return kOk;
    case kOpGetLess:
      mode = Seek::kLess;
      encoded();
      return kOk;
    case kOpGetLessEqual:
      mode = Seek::kLessEqual;
      if (dup)
        bound = AfterDuplicates(encoded());
      else
        encoded();
      return kOk;
    case kOpGetFirst:
      mode = Seek::kFirst;
      return kOk;
    default:
      mode = Seek::kLast;
      return kOk;
  }
}

// Rank of a record among n, and back, on the 0..10000 scale; the ends map to the first and
// last record so that Find Percentage followed by Get By Percentage returns the same record
// for files of up to 10,001 records.
uint32_t PercentOf(uint32_t rank, uint32_t n) {
  return n <= 1 ? 0 : static_cast<uint32_t>(uint64_t{rank} * kPercentScale / (n - 1));
}
uint32_t RankOf(uint32_t percent, uint32_t n) {
  const uint64_t scaled = uint64_t{percent} * (n - 1);
  return static_cast<uint32_t>((scaled + kPercentScale - 1) / kPercentScale);
}

bool PhysicalPath(const Call& c) {
  return c.keyNumber == -1 || c.cursor->store->Definition().keys.empty();
}

// Lets go of a lock this call took on a record that it then did not return.
void DropLock(Cursor& cur, uint32_t pos) {
  if (cur.singleLock == pos) {
    cur.singleLock.reset();
  } else if (!cur.multiLocks.erase(pos)) {
    return;
  }
  cur.locks.UnlockRecord(pos);
}

// Runs a read until the record it returns is the one it locked, as stored under the lock.
Status ReadFollowingLock(Call& c, Status (*read)(Call&)) {
  Status s = read(c);
  for (int again = 0; s == kReadAgain && again < kMaxReadsAgain; ++again) s = read(c);
  const bool delivered = s == kOk || s == kDataBufferTooShort;
  for (uint32_t pos : c.changedUnderLock)
    if (!delivered || pos != c.cursor->anchor) DropLock(*c.cursor, pos);
  return s == kReadAgain ? kRecordLocked : s;
}

}  // namespace

Status TakeLock(Call& c, uint32_t pos, bool& taken) {
  taken = false;
  if (c.lockBias == 0) return kOk;
  Cursor& cur = *c.cursor;
  const bool single = c.lockBias == 100 || c.lockBias == 200;
  const bool wait = c.lockBias == 100 || c.lockBias == 300;
  if (single ? !cur.multiLocks.empty() : cur.singleLock.has_value()) return kIncompatibleLockType;
  if (single ? cur.singleLock == pos : cur.multiLocks.count(pos) > 0) return kOk;
  LockHandle::Pause pause;
  if (c.engineLock) pause = [&c] { return Engine::Instance().PauseCall(c); };
  if (Status s = cur.locks.LockRecord(pos, wait ? LockWaitMilliseconds() : 0, pause); s != kOk) {
    // The client's own transaction holds the record: that lock covers this one.
    if (s == kFileNotOpen || !cur.client->TransactionHolds(cur.store->Path(), pos)) return s;
  } else {
    taken = true;
  }
  if (!single) {
    cur.multiLocks.insert(pos);
    return kOk;
  }
  if (cur.singleLock) cur.locks.UnlockRecord(*cur.singleLock);
  cur.singleLock = pos;
  return kOk;
}

Status ReturnRecord(Call& c, const Bytes& record) {
  const size_t fixed = c.cursor->store->Definition().recordLength;
  if (c.capacity < std::min(fixed, record.size())) {
    c.SetDataLength(0);
    return kDataBufferTooShort;
  }
  const size_t n = std::min<size_t>(c.capacity, record.size());
  std::memcpy(c.data, record.data(), n);
  c.SetDataLength(static_cast<uint32_t>(n));
  return n < record.size() ? kDataBufferTooShort : kOk;
}

namespace {

Status GetByKeyOnce(Call& c) {
  Status status;
  const KeyCodec* codec = CheckedCodec(c, status);
  if (!codec) return status;
  Seek mode = Seek::kFirst;
  Bytes& bound = c.cursor->bound;
  bool exact = false;
  if (Status s = PlanSeek(c, *codec, mode, bound, exact); s != kOk) return s;
  Row& found = c.cursor->scratch;
  if (c.lockBias) c.cursor->walk.ReadFresh();
  Status s = c.cursor->store->SeekKey(c.keyNumber, mode, bound, found, &c.cursor->walk);
  if (s == kEndOfFile) return exact ? kKeyNotFound : kEndOfFile;
  if (s != kOk) return s;
  if (exact && found.entry.compare(0, bound.size(), bound) != 0) return kKeyNotFound;
  return Deliver(c, found, c.keyNumber, codec);
}

Status StepOnce(Call& c) {
  Cursor& cur = *c.cursor;
  Seek mode;
  switch (c.op) {
    case kOpStepFirst:
      mode = Seek::kFirst;
      break;
    case kOpStepLast:
      mode = Seek::kLast;
      break;
    case kOpStepNext:
      mode = cur.anchor ? Seek::kGreater : Seek::kFirst;
      break;
    default:
      if (!cur.anchor) return kInvalidPosition;
      mode = Seek::kLess;
      break;
  }
  Row& found = cur.scratch;
  if (c.lockBias) cur.walk.ReadFresh();
  if (Status s = cur.store->SeekPhysical(mode, cur.anchor, found, &cur.walk); s != kOk) return s;
  c.keyOnly = false;
  return Deliver(c, found, -1, nullptr);
}

Status GetDirectOnce(Call& c) {
  if (c.capacity < 4) return kDataBufferTooShort;
  FileStore& store = *c.cursor->store;
  Row found;
  found.pos = ReadU32(c.data);
  if (Status s = store.Read(found.pos, found.data); s != kOk) return s;
  if (PhysicalPath(c)) return Deliver(c, found, -1, nullptr);
  Status status;
  const KeyCodec* codec = CheckedCodec(c, status);
  if (!codec) return status;
  const Bytes key = codec->Extract(reinterpret_cast<const uint8_t*>(found.data.data()));
  const auto* k = reinterpret_cast<const uint8_t*>(key.data());
  if (codec->IsNull(k)) return kNullKeyPath;
  if (Status s = store.FindEntry(c.keyNumber, codec->Encode(k), found.pos, found.entry); s != kOk)
    return s;
  return Deliver(c, found, c.keyNumber, codec);
}

Status GetByPercentageOnce(Call& c) {
  if (c.capacity < 4) return kDataBufferTooShort;
  const uint32_t percent = ReadU16(c.data);
  if (percent > kPercentScale) return kInvalidOperation;
  FileStore& store = *c.cursor->store;
  const bool physical = PhysicalPath(c);
  const KeyCodec* codec = nullptr;
  if (!physical) {
    Status status;
    if (!(codec = CheckedCodec(c, status))) return status;
  }
  const int path = physical ? -1 : c.keyNumber;
  uint32_t n = 0;
  if (Status s = store.CountAll(path, n); s != kOk) return s;
  if (n == 0) return kEndOfFile;
  Row found;
  if (Status s = store.NthRow(path, RankOf(percent, n), found); s != kOk) return s;
  return Deliver(c, found, path, codec);
}

}  // namespace

Status OpGetPosition(Call& c) {
  if (!c.cursor->onRecord) return kInvalidPosition;
  if (c.capacity < 4) return kDataBufferTooShort;
  WriteU32(c.data, c.cursor->anchor);
  c.SetDataLength(4);
  return kOk;
}

Status OpGetByKey(Call& c) { return ReadFollowingLock(c, GetByKeyOnce); }
Status OpStep(Call& c) { return ReadFollowingLock(c, StepOnce); }
Status OpGetDirect(Call& c) { return ReadFollowingLock(c, GetDirectOnce); }
Status OpGetByPercentage(Call& c) { return ReadFollowingLock(c, GetByPercentageOnce); }

Status OpFindPercentage(Call& c) {
  FileStore& store = *c.cursor->store;
  const bool physical = PhysicalPath(c);
  uint32_t n = 0, rank = 0;
  if (physical) {
    if (c.capacity < 4) return kDataBufferTooShort;
    const uint32_t pos = ReadU32(c.data);
    Bytes data;
    if (Status s = store.Read(pos, data); s != kOk) return s;
    if (Status s = store.CountBelow(-1, Bytes(), pos, rank); s != kOk) return s;
  } else {
    Status status;
    const KeyCodec* codec = CheckedCodec(c, status);
    if (!codec) return status;
    if (Status s = store.CountBelow(c.keyNumber, codec->Encode(c.key), 0, rank); s != kOk) return s;
  }
  if (Status s = store.CountAll(physical ? -1 : c.keyNumber, n); s != kOk) return s;
  if (n == 0) return kEndOfFile;
  if (c.capacity < 2) return kDataBufferTooShort;
  const uint32_t percent = PercentOf(std::min(rank, n - 1), n);
  if (c.capacity >= 4) {
    WriteU32(c.data, percent);
    c.SetDataLength(4);
  } else {
    WriteU16(c.data, static_cast<uint16_t>(percent));
    c.SetDataLength(2);
  }
  return kOk;
}

}  // namespace vader::microkernel
