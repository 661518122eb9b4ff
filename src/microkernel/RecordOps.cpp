// Writes: Insert, Update and Delete, each one atomic, inside the client's transaction if any.

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "microkernel/OperationCode.h"
#include "microkernel/Operations.h"

namespace vader::microkernel {
namespace {

// The record image an Insert or Update sends: exactly the record length for fixed-length
// files; for variable-length ones everything sent, less trailing blanks of the variable part
// under blank truncation.
Status RecordImage(const FileDefinition& def, const uint8_t* data, size_t sent, Bytes& record) {
  if (!data || sent < def.recordLength || sent > kMaxRecordLength) return kDataBufferTooShort;
  const size_t n = def.Variable() ? sent : def.recordLength;
  record.assign(reinterpret_cast<const char*>(data), n);
  if (def.Variable() && (def.flags & kFileBlankTruncation))
    while (record.size() > def.recordLength && record.back() == ' ') record.pop_back();
  return kOk;
}

Status SentRecord(const Call& c, Bytes& record) {
  return RecordImage(c.cursor->store->Definition(), c.data, c.capacity, record);
}

// Key number check for the key to return (-1: no currency change).
Status CheckReturnedKey(const Call& c, const KeyCodec*& codec) {
  codec = nullptr;
  if (c.keyNumber == -1 || c.cursor->store->Definition().keys.empty()) return kOk;
  codec = c.cursor->store->Codec(c.keyNumber);
  if (!codec) return kInvalidKeyNumber;
  return c.keyLength < codec->Length() ? kKeyBufferTooShort : kOk;
}

Status CheckWritable(const Call& c) { return c.cursor->readOnly ? kAccessDenied : kOk; }

// Update/Delete need a current record that no other block holds locked.
Status CheckCurrentRecord(const Call& c) {
  const Cursor& cur = *c.cursor;
  if (!cur.onRecord || cur.keyOnly) return kInvalidPosition;
  bool locked = false;
  if (Status s = cur.locks.LockedByOther(cur.anchor, locked); s != kOk) return s;
  return locked && !cur.client->TransactionHolds(cur.store->Path(), cur.anchor) ? kRecordLocked
                                                                                 : kOk;
}

// The locks of the client's transaction on the cursor's file; nullptr when they cannot be had.
TransactionLocks* TransactionLocksOf(const Call& c) {
  const std::string& path = c.cursor->store->Path();
  auto& held = c.cursor->client->transactionLocks[path];
  if (!held) {
    held = std::make_unique<TransactionLocks>();
    if (held->handle.Attach(path) != kOk) {
      held.reset();
      return nullptr;
    }
  }
  return held.get();
}

// Inside a transaction, a written record stays locked against other clients until it ends.
// A file opened exclusively needs no such locks: no other client can reach its records.
void HoldForTransaction(const Call& c, uint32_t pos) {
  if (!c.cursor->client->inTransaction || c.cursor->exclusive) return;
  TransactionLocks* held = TransactionLocksOf(c);
  if (held && held->handle.LockRecord(pos, 0) == kOk) held->positions.Add(pos, pos);
}

// The stored record, unchanged since this position block read it; called inside the write
// transaction, so nobody can change it between the check and the write.
Status UnchangedRecord(const Cursor& cur, FileStore& store, Bytes& old) {
  if (Status s = store.Read(cur.anchor, old); s != kOk)
    return s == kInvalidRecordAddress ? kConflict : s;
  return old == cur.row.data ? kOk : kConflict;
}

// Runs one write atomically, inside the client's transaction if one is open: a write that
// fails is undone alone.
template <typename Write>
Status RunWrite(Call& c, Write write) {
  Client& client = *c.cursor->client;
  FileStore& store = *c.cursor->store;
  const bool wasOpen = store.TransactionOpen();
  if (Status s = store.BeginWrite(client.inTransaction, client.transactionNoWait); s != kOk)
    return s;
  if (client.inTransaction && !wasOpen) client.transactionStores.push_back(c.cursor->store);
  const Status s = write(store);
  const Status end = store.EndWrite(s == kOk);
  return s != kOk ? s : end;
}

void CopyBack(Call& c, const Bytes& record) {
  if (c.data &&
      std::memcmp(c.data, record.data(), std::min<size_t>(c.capacity, record.size())) != 0)
    std::memcpy(c.data, record.data(), std::min<size_t>(c.capacity, record.size()));
}

void ReturnKey(Call& c, const KeyCodec* codec, const Bytes& record) {
  if (!codec) return;
  const Bytes key = codec->Extract(reinterpret_cast<const uint8_t*>(record.data()));
  std::memcpy(c.key, key.data(), key.size());
}

void ReleaseLocksOn(Cursor& cur, uint32_t pos, bool multiple) {
  if (cur.singleLock == pos) {
    cur.locks.UnlockRecord(pos);
    cur.singleLock.reset();
  }
  if (multiple && cur.multiLocks.erase(pos)) cur.locks.UnlockRecord(pos);
}

// Inserts one record and makes it current; `record` receives what was stored.
Status InsertRecord(Call& c, const KeyCodec* codec, Bytes& record, uint32_t& pos) {
  Bytes entry;
  if (Status s =
          RunWrite(c, [&](FileStore& st) { return st.Insert(record, pos, c.keyNumber, entry); });
      s != kOk)
    return s;
  // Not held for the transaction: no other client sees the record before it ends, and a lock
  // for each of many records inserted would fill the server's lock table.
  Cursor& cur = *c.cursor;
  cur.anchor = pos;
  cur.onRecord = true;
  cur.keyOnly = false;
  cur.row.pos = pos;
  cur.row.data = record;
  if (codec) {
    ReturnKey(c, codec, record);
    cur.logicalKey = c.keyNumber;
    cur.logicalValid = !entry.empty();
    cur.entry = entry;
    cur.keyChanged = false;
  }
  return kOk;
}

// A batch of updates and deletes by position. Layout, little-endian: entry count (2), span
// count (2), the spans (offset 2, length 2 each) of the fixed part that an update replaces, then
// the entries: position (4), kind (1: BatchKind), and for an update the spans' new bytes one
// after another.

struct BatchEntry {
  uint32_t pos = 0;
  bool remove = false;
  const uint8_t* bytes = nullptr;
};

struct Batch {
  std::vector<std::pair<uint16_t, uint16_t>> spans;
  std::vector<BatchEntry> entries;
  bool deletes = false;  // some entry deletes its record
  bool updates = false;  // some entry updates its record
};

Status ParseSpans(const Call& c, uint16_t count, size_t& at, Batch& b, size_t& spanBytes) {
  const size_t fixed = c.cursor->store->Definition().recordLength;
  spanBytes = 0;
  for (uint16_t i = 0; i < count; ++i, at += 4) {
    if (c.capacity - at < 4) return kDataBufferTooShort;
    const uint16_t offset = ReadU16(c.data + at), length = ReadU16(c.data + at + 2);
    if (size_t{offset} + length > fixed) return kInvalidRecordLength;
    b.spans.emplace_back(offset, length);
    spanBytes += length;
  }
  return kOk;
}

Status ParseBatch(const Call& c, Batch& b) {
  if (!c.data || c.capacity < 4) return kDataBufferTooShort;
  size_t at = 4, spanBytes = 0;
  if (Status s = ParseSpans(c, ReadU16(c.data + 2), at, b, spanBytes); s != kOk) return s;
  b.entries.resize(ReadU16(c.data));
  for (BatchEntry& e : b.entries) {
    if (c.capacity - at < 5) return kDataBufferTooShort;
    e.pos = ReadU32(c.data + at);
    const uint8_t kind = c.data[at + 4];
    at += 5;
    if (kind != kBatchUpdate && kind != kBatchDelete) return kInvalidOperation;
    e.remove = kind == kBatchDelete;
    b.deletes = b.deletes || e.remove;
    b.updates = b.updates || !e.remove;
    if (e.remove) continue;
    if (c.capacity - at < spanBytes) return kDataBufferTooShort;
    e.bytes = c.data + at;
    at += spanBytes;
  }
  return kOk;
}

// Whether another position block holds record `pos` (the client's transaction does not count).
Status LockedElsewhere(const Cursor& cur, uint32_t pos) {
  bool locked = false;
  if (Status s = cur.locks.LockedByOther(pos, locked); s != kOk) return s;
  return locked && !cur.client->TransactionHolds(cur.store->Path(), pos) ? kRecordLocked : kOk;
}

// Inside a transaction a run of consecutive positions is locked for it with one call, which
// only succeeds where nobody else holds any of them; otherwise each record is checked and
// held as Update and Delete do. Held before the writes, the records stay held until the
// transaction ends even if the batch fails.
// `at` receives the position that failed.
Status HoldRun(const Call& c, TransactionLocks* held, uint32_t first, uint32_t last,
               uint32_t& at) {
  if (held && held->handle.TryLockRun(first, last)) {
    held->positions.Add(first, last);
    return kOk;
  }
  for (uint32_t pos = first;; ++pos) {
    at = pos;
    if (Status s = LockedElsewhere(*c.cursor, pos); s != kOk) return s;
    if (held && held->handle.LockRecord(pos, 0) == kOk) held->positions.Add(pos, pos);
    if (pos == last) return kOk;
  }
}

// No record of the batch may be locked by another position block; `failed` receives the entry
// whose record is.
Status CheckBatchLocks(const Call& c, const Batch& b, size_t& failed) {
  const bool inTransaction = c.cursor->client->inTransaction;
  TransactionLocks* held = inTransaction ? TransactionLocksOf(c) : nullptr;
  std::vector<std::pair<uint32_t, size_t>> sorted;  // position, entry
  for (size_t i = 0; i < b.entries.size(); ++i) sorted.emplace_back(b.entries[i].pos, i);
  // A statement's batches come in physical order as a rule.
  if (!std::is_sorted(sorted.begin(), sorted.end())) std::sort(sorted.begin(), sorted.end());
  for (size_t i = 0; i < sorted.size();) {
    size_t j = i;
    while (j + 1 < sorted.size() && sorted[j + 1].first - sorted[j].first <= 1) ++j;
    uint32_t at = sorted[i].first;
    Status s = kOk;
    if (inTransaction) {
      s = HoldRun(c, held, sorted[i].first, sorted[j].first, at);
    } else {
      for (size_t k = i; k <= j && s == kOk; ++k)
        s = LockedElsewhere(*c.cursor, at = sorted[k].first);
    }
    if (s != kOk) {
      failed = std::lower_bound(sorted.begin(), sorted.end(), std::make_pair(at, size_t{0}))->second;
      return s;
    }
    i = j + 1;
  }
  return kOk;
}

// The stored record with the spans of an update replaced.
void Patch(const Batch& b, const BatchEntry& e, Bytes& record) {
  const uint8_t* from = e.bytes;
  for (const auto& [offset, length] : b.spans) {
    record.replace(offset, length, reinterpret_cast<const char*>(from), length);
    from += length;
  }
}

}  // namespace

Status OpInsert(Call& c) {
  const KeyCodec* codec = nullptr;
  Bytes record;
  if (Status s = CheckWritable(c); s != kOk) return s;
  if (Status s = SentRecord(c, record); s != kOk) return s;
  if (Status s = CheckReturnedKey(c, codec); s != kOk) return s;
  uint32_t pos = 0;
  if (Status s = InsertRecord(c, codec, record, pos); s != kOk) return s;
  CopyBack(c, record);  // autoincrement values the caller must see
  return kOk;
}

Status OpInsertExtended(Call& c) {
  const KeyCodec* codec = nullptr;
  if (Status s = CheckWritable(c); s != kOk) return s;
  if (Status s = CheckReturnedKey(c, codec); s != kOk) return s;
  // The whole buffer is read before anything is written: the reply overwrites it.
  const FileDefinition& def = c.cursor->store->Definition();
  if (c.capacity < 2) return kInvalidInsertBuffer;
  const uint16_t count = ReadU16(c.data);
  std::vector<Bytes> records(count);
  size_t at = 2;
  for (Bytes& record : records) {
    if (c.capacity - at < 2) return kInvalidInsertBuffer;
    const uint16_t length = ReadU16(c.data + at);
    at += 2;
    if (c.capacity - at < length) return kInvalidInsertBuffer;
    if (Status s = RecordImage(def, c.data + at, length, record); s != kOk) return s;
    at += length;
  }
  if (2 + 4 * size_t{count} > c.capacity) return kInvalidInsertBuffer;
  // Records are inserted in turn; the first failure stops, the ones before it stay.
  uint16_t inserted = 0;
  Status status = kOk;
  for (Bytes& record : records) {
    uint32_t pos = 0;
    if ((status = InsertRecord(c, codec, record, pos)) != kOk) break;
    WriteU32(c.data + 2 + 4 * inserted++, pos);
  }
  WriteU16(c.data, inserted);
  c.SetDataLength(2 + 4u * inserted);
  return status;
}

Status OpUpdate(Call& c) {
  const KeyCodec* codec = nullptr;
  Bytes record, old;
  if (Status s = CheckWritable(c); s != kOk) return s;
  if (Status s = SentRecord(c, record); s != kOk) return s;
  if (Status s = CheckReturnedKey(c, codec); s != kOk) return s;
  if (Status s = CheckCurrentRecord(c); s != kOk) return s;
  Cursor& cur = *c.cursor;
  Bytes entry;
  auto update = [&](FileStore& st) {
    const Status s = UnchangedRecord(cur, st, old);
    return s != kOk ? s : st.Update(cur.anchor, old, record, c.keyNumber, entry);
  };
  if (Status s = RunWrite(c, update); s != kOk) return s;
  HoldForTransaction(c, cur.anchor);
  CopyBack(c, record);
  cur.row.data = record;
  if (codec) {
    ReturnKey(c, codec, record);
    if (cur.logicalValid && cur.logicalKey == c.keyNumber) {
      // The record may have moved in the key path: currency follows it.
      cur.entry = entry;
      cur.logicalValid = !entry.empty();
    } else if (cur.logicalValid) {
      cur.keyChanged = true;
    }
  }
  ReleaseLocksOn(cur, cur.anchor, false);
  return kOk;
}

Status OpDelete(Call& c) {
  Bytes old;
  if (Status s = CheckWritable(c); s != kOk) return s;
  if (Status s = CheckCurrentRecord(c); s != kOk) return s;
  Cursor& cur = *c.cursor;
  auto remove = [&](FileStore& st) {
    const Status s = UnchangedRecord(cur, st, old);
    return s != kOk ? s : st.Delete(cur.anchor, old);
  };
  if (Status s = RunWrite(c, remove); s != kOk) return s;
  HoldForTransaction(c, cur.anchor);
  // The anchor stays, so Step Next/Previous and Get Next/Previous continue from the
  // deleted record's neighbours.
  cur.onRecord = false;
  if (cur.logicalValid && c.keyNumber >= 0 && c.keyNumber != cur.logicalKey) cur.keyChanged = true;
  ReleaseLocksOn(cur, cur.anchor, true);
  return kOk;
}


// Updates and deletes many records by position in one write: each as Update or Delete of the
// record would make it, and all or none of them. On failure the data buffer's first two bytes
// tell the entry that failed. The block has no current record afterwards.
Status OpWriteBatch(Call& c) {
  if (Status s = CheckWritable(c); s != kOk) return s;
  Batch batch;
  if (Status s = ParseBatch(c, batch); s != kOk) return s;
  size_t failed = 0;
  Status status = CheckBatchLocks(c, batch, failed);
  Cursor& cur = *c.cursor;
  auto write = [&](FileStore& st) {
    std::vector<uint32_t> positions;
    for (const BatchEntry& e : batch.entries) positions.push_back(e.pos);
    if (!batch.deletes)
      return st.UpdateRecords(
          positions, [&](size_t i, Bytes& record) { Patch(batch, batch.entries[i], record); },
          failed);
    if (!batch.updates) return st.DeleteRecords(positions, failed);
    Bytes old, record, unusedEntry;
    for (size_t i = 0; i < batch.entries.size(); ++i) {
      const BatchEntry& e = batch.entries[i];
      failed = i;
      if (Status s = st.Read(e.pos, old); s != kOk) return s;
      if (e.remove) {
        if (Status s = st.Delete(e.pos, old); s != kOk) return s;
        continue;
      }
      record.assign(old);
      Patch(batch, e, record);
      if (Status s = st.Update(e.pos, old, record, -1, unusedEntry); s != kOk) return s;
    }
    return kOk;
  };
  if (status == kOk) status = RunWrite(c, write);
  if (status != kOk) {
    if (c.capacity >= 2) WriteU16(c.data, static_cast<uint16_t>(failed));
    c.SetDataLength(2);
    return status;
  }
  for (const BatchEntry& e : batch.entries) ReleaseLocksOn(cur, e.pos, e.remove);
  cur.onRecord = false;
  cur.logicalValid = false;
  c.SetDataLength(0);
  return kOk;
}

}  // namespace vader::microkernel
