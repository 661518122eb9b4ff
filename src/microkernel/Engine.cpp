#include "microkernel/Engine.h"

#include <limits.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>

#include "microkernel/FileNames.h"
#include "microkernel/OperationCode.h"
#include "microkernel/Operations.h"
#include "microkernel/ServerLocation.h"
#include "microkernel/WaitHook.h"

namespace vader::microkernel {
namespace {

constexpr char kPositionMagic[4] = {'V', 'd', 'P', 'B'};
constexpr size_t kPositionBlockSize = 128;

bool IsGet(uint16_t op) { return op >= kOpGetEqual && op <= kOpGetLast; }

bool AcceptsLockBias(uint16_t op) {
  return IsGet(op) || op == kOpGetDirect || op == kOpStepNext || op == kOpStepFirst ||
         op == kOpStepLast || op == kOpStepPrevious || op == kOpGetByPercentage ||
         op == kOpBeginTransaction;
}

// Operations that work without an open file.
bool NeedsCursor(uint16_t op) {
  switch (op) {
    case kOpOpen:
    case kOpCreate:
    case kOpSetDirectory:
    case kOpGetDirectory:
    case kOpBeginTransaction:
    case kOpEndTransaction:
    case kOpAbortTransaction:
    case kOpStatement:
    case kOpStop:
    case kOpVersion:
    case kOpReset:
      return false;
    default:
      return true;
  }
}

// Splits an operation code into operation, lock bias, key-only flag and the no-write-wait
// flag of concurrent transactions; false for a code that names no operation.
bool Decode(uint16_t raw, Call& c, bool& noWriteWait) {
  noWriteWait = false;
  if (raw >= kConcurrentBias) {  // concurrent Begin Transaction, optionally +500 and a lock bias
    unsigned rest = raw - kConcurrentBias;
    if (rest >= kNoWriteWaitBias) {
      noWriteWait = true;
      rest -= kNoWriteWaitBias;
    }
    if (rest % 100 != kOpBeginTransaction || rest / 100 > 4) return false;
    c.op = kOpBeginTransaction;
    c.lockBias = static_cast<int>(rest / 100) * 100;
    return true;
  }
  c.lockBias = raw / 100 * 100;
  unsigned op = raw % 100;
  if (c.lockBias > 400) return false;
  if (op >= kOpGetEqual + kKeyOnlyBias && op <= kOpGetLast + kKeyOnlyBias) {
    c.keyOnly = true;
    op -= kKeyOnlyBias;
  }
  c.op = static_cast<uint16_t>(op);
  return c.lockBias == 0 || AcceptsLockBias(c.op);
}

std::string CurrentDirectory() {
  char buf[PATH_MAX];
  return ::getcwd(buf, sizeof buf) ? std::string(buf) : std::string("/");
}

}  // namespace

Engine& Engine::Instance() {
  static Engine engine;
  return engine;
}

Engine::Engine() : random_(std::random_device{}()), idleWalks_([this] { EndIdleWalks(); }) {}

Engine::~Engine() {
  {
    std::lock_guard<std::mutex> guard(mutex_);
    stop_ = true;
  }
  stopping_.notify_all();
  idleWalks_.join();
}

void Engine::EndIdleWalks() {
  constexpr auto kPeriod = std::chrono::milliseconds(250);
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stopping_.wait_for(lock, kPeriod, [this] { return stop_; })) FileStore::EndIdleWalks();
}

int16_t Engine::Call(uint16_t op, void* positionBlock, void* data, uint32_t* dataLength, void* key,
                     uint8_t keyLength, int8_t keyNumber, const uint8_t* clientId) {
  std::unique_lock<std::mutex> guard(mutex_);
  struct Call c;
  bool noWriteWait = false;
  if (!Decode(op, c, noWriteWait)) return kInvalidOperation;
  c.data = static_cast<uint8_t*>(data);
  c.dataLength = dataLength;
  c.capacity = (dataLength && data) ? *dataLength : 0;
  c.key = static_cast<uint8_t*>(key);
  c.keyLength = key ? keyLength : 0;
  c.keyNumber = keyNumber;
  c.positionBlock = static_cast<uint8_t*>(positionBlock);
  const std::shared_ptr<Client>& client = ClientFor(clientId);
  c.client = client.get();
  // A wait lock lets the mutex go while it waits: the call keeps its client and cursor alive
  // should another thread end them meanwhile (released before the guard).
  std::shared_ptr<Client> keptClient;
  std::shared_ptr<Cursor> keptCursor;
  if (c.lockBias == 100 || c.lockBias == 300) {
    c.engineLock = &guard;
    keptClient = client;
  }
  if (NeedsCursor(c.op)) {
    if (!(c.cursor = CursorFor(c.positionBlock, *c.client))) return kFileNotOpen;
    if (keptClient) keptCursor = cursors_[c.cursor->slot];
    // A file whose server went away, or whose locks are lost, can still be closed.
    Status s = c.cursor->store->Refresh();
    if (s == kOk) s = c.cursor->locks.Verify();
    if (s != kOk && c.op != kOpClose) return s;
  }
  if (c.op == kOpBeginTransaction) return OpBeginTransaction(c, noWriteWait);
  return Dispatch(c);
}

int16_t Engine::Scan(void* positionBlock, const uint8_t* clientId, int8_t keyNumber, int8_t start,
                     const uint8_t* key, uint8_t keyLength, RecordSink* sink) {
  std::lock_guard<std::mutex> guard(mutex_);
  if (!sink) return kInvalidOperation;
  Cursor* cursor = CursorFor(static_cast<const uint8_t*>(positionBlock), *ClientFor(clientId));
  if (!cursor) return kFileNotOpen;
  Status s = cursor->store->Refresh();
  if (s == kOk) s = cursor->locks.Verify();
  if (s == kOk) s = OpScanRecords(*cursor, keyNumber, start, key, keyLength, *sink);
  return s;
}

Status Engine::Dispatch(struct Call& c) {
  if (IsGet(c.op)) return OpGetByKey(c);
  switch (c.op) {
    case kOpOpen:
      return OpOpen(*this, c);
    case kOpClose:
      return OpClose(*this, c);
    case kOpInsert:
      return OpInsert(c);
    case kOpUpdate:
      return OpUpdate(c);
    case kOpDelete:
      return OpDelete(c);
    case kOpCreate:
      return OpCreate(c);
    case kOpStat:
      return OpStat(c);
    case kOpSetDirectory:
      return OpSetDirectory(c);
    case kOpGetDirectory:
      return OpGetDirectory(c);
    case kOpEndTransaction:
      return OpEndTransaction(c, true);
    case kOpAbortTransaction:
      return OpEndTransaction(c, false);
    case kOpGetPosition:
      return OpGetPosition(c);
    case kOpGetDirect:
      return OpGetDirect(c);
    case kOpStepNext:
    case kOpStepFirst:
    case kOpStepLast:
    case kOpStepPrevious:
      return OpStep(c);
    case kOpStop:
    case kOpReset:
      return OpStop(*this, c);
    case kOpVersion:
      return OpVersion(c);
    case kOpUnlock:
      return OpUnlock(c);
    case kOpSetOwner:
      return OpSetOwner(c);
    case kOpClearOwner:
      return OpClearOwner(c);
    case kOpCreateIndex:
      return OpCreateIndex(c);
    case kOpDropIndex:
      return OpDropIndex(c);
    case kOpGetByPercentage:
      return OpGetByPercentage(c);
    case kOpFindPercentage:
      return OpFindPercentage(c);
    case kOpInsertExtended:
      return OpInsertExtended(c);
    case kOpWriteBatch:
      return OpWriteBatch(c);
    case kOpStatement:
      return OpStatement(c);
    case kOpGetNextExtended:
    case kOpGetPreviousExtended:
    case kOpStepNextExtended:
    case kOpStepPreviousExtended:
      return OpExtended(c);
    default:
      return kInvalidOperation;
  }
}

Status Engine::PauseCall(const struct Call& c) {
  c.engineLock->unlock();
  std::this_thread::sleep_for(std::chrono::milliseconds(2));
  const bool goOn = WaitGoesOn();  // unlocked: the caller's hook may make calls of its own
  c.engineLock->lock();
  const uint32_t slot = c.cursor->slot;
  if (slot >= cursors_.size() || cursors_[slot].get() != c.cursor) return kFileNotOpen;
  return goOn ? kOk : kRecordLocked;
}

int16_t Engine::StopAll() {
  std::lock_guard<std::mutex> guard(mutex_);
  lastClient_ = nullptr;
  while (!clients_.empty()) {
    EndClient(*clients_.begin()->second);
    clients_.erase(clients_.begin());
  }
  return kOk;
}

const std::shared_ptr<Client>& Engine::ClientFor(const uint8_t* clientId) {
  // BTRCALL's implicit client has the empty identifier; BTRCALLID's have their 16 bytes.
  if (lastClient_ && (clientId ? lastClient_->id.size() == 16 &&
                                     std::memcmp(lastClient_->id.data(), clientId, 16) == 0
                               : lastClient_->id.empty()))
    return lastClient_;
  const Bytes id = clientId ? Bytes(reinterpret_cast<const char*>(clientId), 16) : Bytes();
  auto& slot = clients_[id];
  if (!slot) {
    slot = std::make_shared<Client>();
    slot->id = id;
    slot->directory = CurrentDirectory();
  }
  lastClient_ = slot;
  return slot;
}

Cursor* Engine::CursorFor(const uint8_t* pb, const Client& client) const {
  if (!pb || std::memcmp(pb, kPositionMagic, sizeof kPositionMagic) != 0) return nullptr;
  uint32_t slot;
  uint64_t nonce;
  std::memcpy(&slot, pb + 4, sizeof slot);
  std::memcpy(&nonce, pb + 8, sizeof nonce);
  if (slot >= cursors_.size() || !cursors_[slot]) return nullptr;
  Cursor* cursor = cursors_[slot].get();
  return cursor->nonce == nonce && cursor->client == &client ? cursor : nullptr;
}

Cursor& Engine::NewCursor(Client& client, uint8_t* pb) {
  uint32_t slot;
  if (!freeSlots_.empty()) {
    slot = freeSlots_.back();
    freeSlots_.pop_back();
  } else {
    slot = static_cast<uint32_t>(cursors_.size());
    cursors_.emplace_back();
  }
  auto cursor = std::make_shared<Cursor>();
  cursor->slot = slot;
  do cursor->nonce = random_();
  while (cursor->nonce == 0);
  cursor->client = &client;
  std::memset(pb, 0, kPositionBlockSize);
  std::memcpy(pb, kPositionMagic, sizeof kPositionMagic);
  std::memcpy(pb + 4, &slot, sizeof slot);
  std::memcpy(pb + 8, &cursor->nonce, sizeof cursor->nonce);
  client.cursors.insert(slot);
  cursors_[slot] = std::move(cursor);
  return *cursors_[slot];
}

void Engine::CloseCursor(Cursor& cursor, uint8_t* pb) {
  const uint32_t slot = cursor.slot;
  Client& client = *cursor.client;
  client.cursors.erase(slot);
  const std::string path = cursor.store ? cursor.store->Path() : std::string();
  cursors_[slot].reset();
  freeSlots_.push_back(slot);
  if (pb) std::memset(pb, 0, 16);
  auto it = client.stores.find(path);
  if (it != client.stores.end() && it->second.expired()) client.stores.erase(it);
}

void Engine::EndClient(Client& client) {
  for (auto& store : client.transactionStores) store->EndTransaction(false);
  client.transactionStores.clear();
  client.transactionLocks.clear();
  client.inTransaction = false;
  client.inStatement = false;
  const std::set<uint32_t> slots = client.cursors;
  for (uint32_t slot : slots) CloseCursor(*cursors_[slot], nullptr);
  client.stores.clear();
}

std::shared_ptr<FileStore> Engine::StoreFor(Client& client, const std::string& path,
                                            Status& status) {
  status = kOk;
  if (auto existing = client.stores[path].lock()) return existing;
  std::unique_ptr<FileStore> opened;
  status = FileStore::Open(path, opened, &client.servers);
  if (status != kOk) return nullptr;
  std::shared_ptr<FileStore> store(std::move(opened));
  client.stores[path] = store;
  return store;
}

std::string Engine::Resolve(const Client& client, const std::string& name, bool existing) {
  // Names from Windows callers use backslashes; the files live under Linux paths or on servers.
  std::string path = name;
  for (char& ch : path)
    if (ch == '\\') ch = '/';
  if (!IsServerLocation(path) && !path.empty() && path[0] != '/')
    path = client.directory + "/" + path;
  if (path = MapToServer(path); IsServerLocation(path)) {
    ServerLocation loc;
    return ParseServerLocation(path, loc, false) ? loc.Canonical() : path;
  }
  if (existing) path = FindIgnoringCase(path);
  char real[PATH_MAX];
  if (::realpath(path.c_str(), real)) return MapToServer(real);
  // A file still to be created: canonical directory, then the name, so that the same file
  // always has the same name (the key of per-file state in this process).
  const size_t slash = path.rfind('/');
  const std::string dir = path.substr(0, slash == 0 ? 1 : slash);
  if (slash != std::string::npos && ::realpath(dir.c_str(), real))
    return MapToServer(std::string(real) + (std::string(real) == "/" ? "" : "/") +
                       path.substr(slash + 1));
  return path;
}

}  // namespace vader::microkernel
