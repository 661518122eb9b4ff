#pragma once
// Record and file locks shared by every client of every process: open-file-description byte
// locks on the data file, far above the byte ranges SQLite locks. Each position block owns one
// descriptor, so its locks conflict with every other position block's, in this process or
// another, and vanish with the process. Descriptors are pooled, never closed, because closing
// any descriptor of a file drops the process's POSIX locks on it, which SQLite relies on.
// For a file on a server, each position block holds its own connection and its locks are
// session advisory locks there, which vanish with the connection. A connection the server ended
// is noticed before the block's next call, which takes every lock again in a new one; a lock
// that another client took meanwhile fails the block's calls with 95 until it is closed.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "microkernel/Status.h"

namespace vader::microkernel {

// How long a wait lock, or a write blocked by another process's transaction, waits before
// giving up: VADER_BTRV_WAIT_MS, 3000 ms by default.
int LockWaitMilliseconds();

struct ServerLocks;

class LockHandle {
 public:
  LockHandle();
  ~LockHandle();
  LockHandle(const LockHandle&) = delete;
  LockHandle& operator=(const LockHandle&) = delete;

  Status Attach(const std::string& path);
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
