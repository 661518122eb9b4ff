#pragma once
// The state behind the API: clients (one per client identifier), the cursor behind each
// position block, and one call's arguments.

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "microkernel/FileStore.h"
#include "microkernel/LockTable.h"

namespace vader::microkernel {

struct Client;

struct Cursor {
  uint32_t slot = 0;
  uint64_t nonce = 0;
  Client* client = nullptr;
  std::shared_ptr<FileStore> store;
  Walk walk;  // after `store`: ends before its store goes
  LockHandle locks;
  bool readOnly = false;

  // Physical currency: the record last reached (anchor) and whether it still exists.
  uint32_t anchor = 0;
  bool onRecord = false;
  // Logical currency: key path and the index entry of the current record.
  int logicalKey = -1;
  Bytes entry;
  bool logicalValid = false;
  bool keyChanged = false;  // an Update/Delete used another key number: next Get Next gives 7
  bool keyOnly = false;     // the last read was a Get Key or an extended read: no record to
                            // update or delete

  Row row;      // the record last read or written; compared on Update/Delete to detect conflicts
  Row scratch;  // reused by reads, so that walking a file allocates nothing per record
  Bytes bound;  // the search bound of the last keyed read, reused likewise
  ScanPoint scan;  // where the block's bulk scan stands (RecordScan.h)

  std::optional<uint32_t> singleLock;
  std::set<uint32_t> multiLocks;
};

// Records a transaction changed: locked against other clients until it ends.
struct TransactionLocks {
  LockHandle handle;
  std::set<uint32_t> positions;
};

struct Client {
  Bytes id;
  std::string directory;
  bool inTransaction = false;
  bool transactionNoWait = false;
  std::map<std::string, std::weak_ptr<FileStore>> stores;  // by canonical path
  std::vector<std::shared_ptr<FileStore>> transactionStores;
  std::shared_ptr<ServerSessions> servers;  // connections shared by the client's server files
  std::map<std::string, std::unique_ptr<TransactionLocks>> transactionLocks;  // by path

  // Whether record `pos` of `path` was changed by this client's transaction.
  bool TransactionHolds(const std::string& path, uint32_t pos) const {
    auto it = transactionLocks.find(path);
    return it != transactionLocks.end() && it->second->positions.count(pos) > 0;
  }
  std::set<uint32_t> cursors;  // slots
};

class Engine;

struct Call {
  uint16_t op = 0;  // operation without biases
  int lockBias = 0;
  bool keyOnly = false;
  uint8_t* data = nullptr;
  uint32_t* dataLength = nullptr;
  uint32_t capacity = 0;  // *dataLength on entry
  uint8_t* key = nullptr;
  uint8_t keyLength = 0;
  int8_t keyNumber = 0;
  uint8_t* positionBlock = nullptr;
  Client* client = nullptr;
  Cursor* cursor = nullptr;
  // The engine's lock, held by a call with a wait lock; let go while it waits for the lock.
  std::unique_lock<std::mutex>* engineLock = nullptr;
  // Records this call locked and then found changed (re-read under the lock).
  std::vector<uint32_t> changedUnderLock;

  void SetDataLength(uint32_t n) const {
    if (dataLength) *dataLength = n;
  }
  // The key buffer as a NUL-terminated string of at most keyLength bytes.
  std::string KeyString() const;
  // The data buffer as a NUL-terminated string of at most capacity bytes.
  std::string DataString() const;
};

}  // namespace vader::microkernel
