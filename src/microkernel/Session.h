#pragma once
// The state behind the API: clients (one per client identifier), the cursor behind each
// position block, and one call's arguments.

#include <algorithm>
#include <cstdint>
#include <iterator>
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
  bool exclusive = false;  // opened exclusively: no other position block has the file open

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

// Record positions as runs of consecutive ones: a statement that changes a whole file in
// position order holds one run instead of a node per record.
class PositionRuns {
 public:
  bool Contains(uint32_t pos) const {
    auto it = runs_.upper_bound(pos);
    return it != runs_.begin() && std::prev(it)->second >= pos;
  }
  void Add(uint32_t first, uint32_t last) {
    auto it = runs_.upper_bound(first);
    if (it != runs_.begin() && std::prev(it)->second + uint64_t{1} >= first) {
      --it;
      first = it->first;
      last = std::max(last, it->second);
    }
    while (it != runs_.end() && it->first <= uint64_t{last} + 1) {
      last = std::max(last, it->second);
      it = runs_.erase(it);
    }
    runs_[first] = last;
  }

 private:
  std::map<uint32_t, uint32_t> runs_;  // first position -> last position of each run
};

// Records a transaction changed: locked against other clients until it ends.
struct TransactionLocks {
  LockHandle handle;
  PositionRuns positions;
};

struct Client {
  Bytes id;
  std::string directory;
  bool inTransaction = false;
  bool transactionNoWait = false;
  std::map<std::string, std::weak_ptr<FileStore>> stores;  // by canonical path
  std::vector<std::shared_ptr<FileStore>> transactionStores;
  // A statement inside the transaction: the first `statementStores` of transactionStores were
  // in it when the statement began.
  bool inStatement = false;
  size_t statementStores = 0;
  std::shared_ptr<ServerSessions> servers;  // connections shared by the client's server files
  std::map<std::string, std::unique_ptr<TransactionLocks>> transactionLocks;  // by path

  // Whether record `pos` of `path` was changed by this client's transaction.
  bool TransactionHolds(const std::string& path, uint32_t pos) const {
    auto it = transactionLocks.find(path);
    return it != transactionLocks.end() && it->second->positions.Contains(pos);
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
