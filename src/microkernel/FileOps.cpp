// File operations: Open, Close, Create, Stat, Create/Drop Index, Set/Clear Owner.

#include <algorithm>
#include <cstring>

#include "microkernel/Operations.h"

namespace vader::microkernel {
namespace {

constexpr size_t kOwnerNameSize = 8;

enum OpenMode : int8_t {
  kNormal = 0,
  kAccelerated = -1,
  kReadOnly = -2,
  kVerify = -3,
  kExclusive = -4,
};

// The owner name as the caller passed it: up to the first NUL, at most 8 characters.
Bytes OwnerName(const std::string& text) { return text.substr(0, kOwnerNameSize); }

Status CheckOwner(const OwnerInfo& owner, const Bytes& given, bool& readOnly) {
  if (owner.name.empty()) return kOk;
  if (given == owner.name) return kOk;
  // Access levels 1 and 3 allow reading without the owner name.
  if (given.empty() && (owner.level == 1 || owner.level == 3)) {
    readOnly = true;
    return kOk;
  }
  return kInvalidOwner;
}

Status ChangeDefinitionAllowed(const Call& c) {
  if (c.client->inTransaction) return kOperationNotAllowed;
  return c.cursor->readOnly ? kAccessDenied : kOk;
}

}  // namespace

std::string Call::KeyString() const {
  if (!key) return std::string();
  return std::string(reinterpret_cast<const char*>(key),
                     strnlen(reinterpret_cast<const char*>(key), keyLength));
}

std::string Call::DataString() const {
  if (!data) return std::string();
  return std::string(reinterpret_cast<const char*>(data),
                     strnlen(reinterpret_cast<const char*>(data), capacity));
}

Status OpOpen(Engine& engine, Call& c) {
  if (!c.positionBlock) return kFileNotOpen;
  const std::string name = c.KeyString();
  if (name.empty() || name.find_first_not_of(' ') == std::string::npos) return kInvalidFileName;
  if (c.keyNumber < kExclusive) return kInvalidOperation;
  const std::string path = Engine::Resolve(*c.client, name, true);
  Status status;
  auto store = engine.StoreFor(*c.client, path, status);
  if (!store) return status;
  bool readOnly = c.keyNumber == kReadOnly || store->ReadOnly();
  if (Status s = CheckOwner(store->Owner(), OwnerName(c.DataString()), readOnly); s != kOk)
    return s;
  Cursor& cursor = engine.NewCursor(*c.client, c.positionBlock);
  cursor.store = store;
  cursor.readOnly = readOnly;
  const bool exclusive = c.keyNumber == kExclusive;
  Status s = cursor.locks.Attach(path, store.get());
  if (s == kOk) s = cursor.locks.LockFile(exclusive);
  if (s == kFileLocked && exclusive) s = kIncompatibleMode;
  if (s != kOk)
    engine.CloseCursor(cursor, c.positionBlock);
  else
    cursor.exclusive = exclusive;
  return s;
}

Status OpClose(Engine& engine, Call& c) {
  engine.CloseCursor(*c.cursor, c.positionBlock);
  return kOk;
}

Status OpCreate(Call& c) {
  const std::string name = c.KeyString();
  if (name.empty()) return kInvalidFileName;
  FileDefinition def;
  if (Status s = ParseCreateBuffer(c.data, c.capacity, def); s != kOk) return s;
  // Modes -1 and -3 refuse to replace an existing file; 0 and -2 replace it.
  const bool failIfExists = c.keyNumber == -1 || c.keyNumber == -3;
  const std::string path = Engine::Resolve(*c.client, name, false);
  // Replacing a file that is open would leave its users on a deleted file, losing their writes.
  if (!failIfExists && (FileStore::OpenInProcess(path) || LockHandle::OpenByAnotherProcess(path)))
    return kFileLocked;
  return FileStore::Create(path, def, failIfExists);
}

Status OpStat(Call& c) {
  FileStore& store = *c.cursor->store;
  const FileDefinition& def = store.Definition();
  StatCounts counts;
  if (Status s = store.StatCountsFor(counts); s != kOk) return s;
  const size_t full = WriteStat(def, counts, store.OwnerFlags(), c.keyNumber == -1, c.data, c.capacity);
  c.SetDataLength(static_cast<uint32_t>(std::min<size_t>(full, c.capacity)));
  return full > c.capacity ? kDataBufferTooShort : kOk;
}

Status OpCreateIndex(Call& c) {
  if (Status s = ChangeDefinitionAllowed(c); s != kOk) return s;
  FileStore& store = *c.cursor->store;
  const auto requested = static_cast<uint8_t>(c.keyNumber);
  int number = (requested & 0x80) ? (requested & 0x7F) : -1;
  FileDefinition next = store.Definition();
  if (Status s = AddKeyFromSegments(c.data, c.capacity, number, next); s != kOk) return s;
  return store.AddIndex(next, number);
}

Status OpDropIndex(Call& c) {
  if (Status s = ChangeDefinitionAllowed(c); s != kOk) return s;
  const auto requested = static_cast<uint8_t>(c.keyNumber);
  const int number = requested & 0x7F;
  Cursor& cur = *c.cursor;
  if (cur.logicalKey == number) cur.logicalValid = false;
  return cur.store->DropIndex(number, !(requested & 0x80));
}

Status OpSetOwner(Call& c) {
  if (Status s = ChangeDefinitionAllowed(c); s != kOk) return s;
  FileStore& store = *c.cursor->store;
  if (!store.Owner().name.empty()) return kOwnerAlreadySet;
  const std::string inData = c.DataString();
  const std::string inKey = c.KeyString();
  if (inData != inKey || inData.empty() || inData.size() > kOwnerNameSize ||
      inData.find_first_not_of(' ') == std::string::npos)
    return kInvalidOwner;
  if (c.keyNumber < 0 || c.keyNumber > 3) return kInvalidOperation;
  return store.SetOwner(OwnerInfo{inData, c.keyNumber});
}

Status OpClearOwner(Call& c) {
  if (Status s = ChangeDefinitionAllowed(c); s != kOk) return s;
  return c.cursor->store->SetOwner(OwnerInfo{});
}

}  // namespace vader::microkernel
