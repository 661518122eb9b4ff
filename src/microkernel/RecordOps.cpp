// Writes: Insert, Update and Delete, each one atomic, inside the client's transaction if any.

#include <cstring>

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

// Inside a transaction, a written record stays locked against other clients until it ends.
// A file opened exclusively needs no such locks: no other client can reach its records.
void HoldForTransaction(const Call& c, uint32_t pos) {
  Client& client = *c.cursor->client;
  if (!client.inTransaction || c.cursor->exclusive) return;
  const std::string& path = c.cursor->store->Path();
  auto& held = client.transactionLocks[path];
  if (!held) {
    held = std::make_unique<TransactionLocks>();
    if (held->handle.Attach(path) != kOk) return;
  }
  if (held->handle.LockRecord(pos, 0) == kOk) held->positions.insert(pos);
}

// The stored record, unchanged since this position block read it; called inside the write
// transaction, so nobody can change it between the check and the write.
Status UnchangedRecord(const Cursor& cur, FileStore& store, Bytes& old) {
  if (Status s = store.Read(cur.anchor, old); s != kOk)
    return s == kInvalidRecordAddress ? kConflict : s;
  return old == cur.row.data ? kOk : kConflict;
}

// Runs one write atomically: inside the client's transaction, as a savepoint of it.
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
  Cursor& cur = *c.cursor;
  HoldForTransaction(c, pos);
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

}  // namespace vader::microkernel
