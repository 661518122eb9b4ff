#pragma once
// Record and file locks shared by every client of every process: open-file-description byte
// locks on the data file, far above the byte ranges SQLite locks. Each position block owns one
// descriptor, so its locks conflict with every other position block's, in this process or
// another, and vanish with the process. Descriptors are pooled, never closed, because closing
// any descriptor of a file drops the process's POSIX locks on it, which SQLite relies on.
// For a file on a server, each position block holds its own connection and its locks are
// session advisory locks there, which vanish with the connection. The client's own connection
// marks each of them too (FileStore::Mark), and a lock is only granted where no other client's
// mark stands: should the server end the block's session, the marks keep the file and the
// records held until the block's next call notices and takes every lock again in a new session.
// A lock that could not be taken again fails the block's calls with 95 until it is closed.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "microkernel/Status.h"

namespace vader::microkernel {

// How long a wait lock, or a write blocked by another process's transaction, waits before
// giving up: VADER_BTRV_WAIT_MS, 3000 ms by default.
int LockWaitMilliseconds();

class FileStore;
struct ServerLocks;

class LockHandle {
 public:
  LockHandle();
  ~LockHandle();
  LockHandle(const LockHandle&) = delete;
  LockHandle& operator=(const LockHandle&) = delete;

  // `marks`: the store of the block's file, which marks its server locks (nullptr: no marks).
  Status Attach(const std::string& path, FileStore* marks = nullptr);
  // Whether a position block of another process has the file open. Only for a file that no
  // connection of this process has open: the probe descriptor is closed afterwards.
  static bool OpenByAnotherProcess(const std::string& path);
  // File-level lock taken at open: shared for normal opens, exclusive for exclusive ones.
  // 0, 85 when another block's lock refuses it, or 95.
  Status LockFile(bool exclusive);
  // Called between the tries of a wait lock instead of sleeping; any status but 0 ends the wait
  // with that status.
  using Pause = std::function<Status()>;
  // Record lock; `waitMs` > 0 retries that long. Returns 0, 84 or 85 (95: server gone).
  Status LockRecord(uint32_t pos, int waitMs, const Pause& pause = nullptr);
  void UnlockRecord(uint32_t pos);
  // Locks records `first` to `last` with one call, without waiting, when no other block holds
  // any of them; false otherwise, and always for a file on a server (lock those one by one).
  bool TryLockRun(uint32_t first, uint32_t last);
  // Whether another position block holds a lock on the record (or the whole file); 0 or 95.
  Status LockedByOther(uint32_t pos, bool& locked) const;
  // Before each call of the block: 0 while its locks still hold, else 95.
  Status Verify();

 private:
  bool TryLock(uint64_t offset, short type) const;
  int fd_ = -1;
  std::unique_ptr<ServerLocks> server_;
  uint64_t fileId_[2] = {0, 0};
};

}  // namespace vader::microkernel
