// Transactions, Unlock, Stop/Reset, Version and the client's current directory.

#include <sys/stat.h>

#include <algorithm>
#include <cstring>

#include "microkernel/OperationCode.h"
#include "microkernel/Operations.h"
#include "microkernel/ServerLocation.h"

namespace vader::microkernel {
namespace {

constexpr size_t kVersionBlock = 5;
constexpr uint16_t kVersion = 6;
constexpr uint16_t kRevision = 15;
constexpr char kPlatform = 'L';

}  // namespace

Status OpBeginTransaction(Call& c, bool noWait) {
  Client& client = *c.client;
  if (client.inTransaction) return kTransactionActive;
  client.inTransaction = true;
  client.transactionNoWait = noWait;
  return kOk;
}

Status OpEndTransaction(Call& c, bool commit) {
  Client& client = *c.client;
  if (!client.inTransaction) return kNoTransaction;
  Status result = kOk;
  if (commit && !client.transactionStores.empty()) {
    result = FileStore::CommitAll(client.transactionStores);
  } else {
    for (auto& store : client.transactionStores) store->EndTransaction(false);
  }
  client.transactionStores.clear();
  client.transactionLocks.clear();
  client.inTransaction = false;
  client.inStatement = false;
  return result;
}

namespace {

Status BeginStatement(Client& client) {
  if (!client.inTransaction) return kNoTransaction;
  if (client.inStatement) return kTransactionActive;
  for (auto& store : client.transactionStores)
    if (Status s = store->BeginStatement(); s != kOk) {
      for (auto& begun : client.transactionStores) begun->EndStatement(true);
      return s;
    }
  client.inStatement = true;
  client.statementStores = client.transactionStores.size();
  return kOk;
}

// Undoing, the files the statement brought into the transaction go first: a server file's
// writes may go back with a savepoint that an older file of the same connection keeps.
Status EndStatement(Client& client, bool keep) {
  if (!client.inStatement) return kNoTransaction;
  client.inStatement = false;
  auto& stores = client.transactionStores;
  const size_t before = std::min(client.statementStores, stores.size());
  if (!keep)
    for (size_t i = stores.size(); i-- > before;)
      if (stores[i]->UndoJoinedStatement()) stores.erase(stores.begin() + static_cast<long>(i));
  Status result = kOk;
  for (size_t i = 0; i < before; ++i)
    if (Status s = stores[i]->EndStatement(keep); s != kOk && result == kOk) result = s;
  return result;
}

}  // namespace

// A statement inside the client's transaction (the key number says which step): its writes
// are kept, or undone alone, while the transaction goes on.
Status OpStatement(Call& c) {
  switch (c.keyNumber) {
    case kStatementBegin:
      return BeginStatement(*c.client);
    case kStatementKeep:
      return EndStatement(*c.client, true);
    case kStatementUndo:
      return EndStatement(*c.client, false);
    default:
      return kInvalidOperation;
  }
}

Status OpUnlock(Call& c) {
  Cursor& cur = *c.cursor;
  if (c.keyNumber >= 0) {  // the single-record lock, if any
    if (cur.singleLock) cur.locks.UnlockRecord(*cur.singleLock);
    cur.singleLock.reset();
    return kOk;
  }
  if (c.keyNumber == -1) {  // one multiple-record lock, by position
    if (c.capacity < 4) return kDataBufferTooShort;
    const uint32_t pos = ReadU32(c.data);
    if (cur.multiLocks.erase(pos) || cur.singleLock == pos) {
      if (cur.singleLock == pos) cur.singleLock.reset();
      cur.locks.UnlockRecord(pos);
      return kOk;
    }
    // A position that this block holds no lock on is a mismatch only while it holds others;
    // a caller that unlocks after an Update (which already released the lock) gets success.
    return cur.multiLocks.empty() && !cur.singleLock ? kOk : kLockError;
  }
  if (c.keyNumber == -2) {  // every multiple-record lock
    for (uint32_t pos : cur.multiLocks) cur.locks.UnlockRecord(pos);
    cur.multiLocks.clear();
    return kOk;
  }
  return kLockError;
}

Status OpStop(Engine& engine, Call& c) {
  engine.EndClient(*c.client);
  return kOk;
}

Status OpVersion(Call& c) {
  if (c.capacity < kVersionBlock) return kDataBufferTooShort;
  // Requester, local engine and server engine: all three are this library.
  const size_t blocks = std::min<size_t>(c.capacity / kVersionBlock, 3);
  for (size_t i = 0; i < blocks; ++i) {
    uint8_t* p = c.data + i * kVersionBlock;
    WriteU16(p, kVersion);
    WriteU16(p + 2, kRevision);
    p[4] = static_cast<uint8_t>(kPlatform);
  }
  c.SetDataLength(static_cast<uint32_t>(blocks * kVersionBlock));
  return kOk;
}

Status OpSetDirectory(Call& c) {
  const std::string name = c.KeyString();
  if (name.empty()) return kDirectoryError;
  const std::string path = Engine::Resolve(*c.client, name, true);
  struct stat st {};
  if (!IsServerLocation(path) && (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)))
    return kDirectoryError;
  c.client->directory = path;
  return kOk;
}

Status OpGetDirectory(Call& c) {
  const std::string& dir = c.client->directory;
  if (c.keyLength < dir.size() + 1) return kKeyBufferTooShort;
  std::memcpy(c.key, dir.c_str(), dir.size() + 1);
  return kOk;
}

}  // namespace vader::microkernel
