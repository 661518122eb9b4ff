#include "microkernel/LockTable.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <thread>
#include <utility>
#include <set>
#include <vector>

#include "microkernel/FileStore.h"
#include "microkernel/PgStore.h"
#include "microkernel/ServerLocation.h"
#include "microkernel/WaitHook.h"

namespace vader::microkernel {
namespace {

constexpr uint64_t kFileLockByte = 1ull << 40;
constexpr uint64_t kRecordLockBase = kFileLockByte + 1;

using FileId = std::pair<uint64_t, uint64_t>;

// Never destroyed: cursors may release their descriptors during static destruction.
std::map<FileId, std::vector<int>>& Pool() {
  static auto* pool = new std::map<FileId, std::vector<int>>;
  return *pool;
}

struct flock Range(uint64_t offset, short type) {
  struct flock fl {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = static_cast<off_t>(offset);
  fl.l_len = 1;
  return fl;
}

// Idle lock connections by server and database, reused by the next position block.
std::map<std::string, std::vector<std::unique_ptr<PgConnection>>>& ServerPool() {
  static auto* pool = new std::map<std::string, std::vector<std::unique_ptr<PgConnection>>>;
  return *pool;
}

// Advisory lock arguments: the file's catalogue id and the record position (-1: the file).
PgParams LockKey(int64_t file, int64_t item) { return std::move(PgParams().Add(file).Add(item)); }

}  // namespace

struct ServerLocks {
  ServerLocation loc;
  std::string info;
  std::unique_ptr<PgConnection> conn;
  FileStore* marks = nullptr;
  int64_t file = 0;
  std::set<uint32_t> held;
  enum class FileLock { kNone, kShared, kExclusive } fileLock = FileLock::kNone;
  bool broken = false;  // a lock was lost to another client: the block fails until closed

  ~ServerLocks() {
    if (marks) {
      for (uint32_t pos : held) marks->Unmark(pos, true);
      if (fileLock != FileLock::kNone) marks->Unmark(-1, fileLock == FileLock::kExclusive);
    }
    if (!conn || conn->Lost() || broken) return;
    if (!conn->Exec("SELECT pg_advisory_unlock_all()").Ok()) return;
    ServerPool()[info].push_back(std::move(conn));
  }
  // Runs an advisory lock function of (file, item) answering a boolean: 0 with `granted` its
  // answer, or the status of the failed statement (95: the session is gone).
  Status Try(const char* function, int64_t item, bool& granted) {
    PgResult r = conn->Run(std::string("SELECT ") + function +
                               "($1::int8::int4, $2::int8::int4)::int4",
                           LockKey(file, item));
    granted = r.Ok() && r.Rows() == 1 && r.Int(0, 0) == 1;
    return r.Ok() ? kOk : conn->StatusOf(r);
  }
  // Takes a lock in this session and its mark in the client's: granted only with both.
  Status TakeMarked(int64_t item, bool exclusive, bool& granted) {
    const char* function = exclusive ? "pg_try_advisory_lock" : "pg_try_advisory_lock_shared";
    if (Status s = Try(function, item, granted); s != kOk || !granted || !marks) return s;
    const Status s = marks->Mark(item, exclusive, granted);
    if (s != kOk || !granted) {
      bool released = false;
      Try(exclusive ? "pg_advisory_unlock" : "pg_advisory_unlock_shared", item, released);
    }
    return s;
  }
  // A new session holding every lock the lost one held (their marks still stand); false when
  // the server cannot be reached, the file is another one now, or another client took a lock.
  bool TakeAgain() {
    Status s;
    conn = PgStore::Connect(loc, s);
    if (!conn || PgStore::FileId(*conn, loc, s) != file) return false;
    bool granted = true;
    if (fileLock != FileLock::kNone &&
        (Try(fileLock == FileLock::kExclusive ? "pg_try_advisory_lock"
                                              : "pg_try_advisory_lock_shared",
             -1, granted) != kOk ||
         !granted))
      return false;
    for (uint32_t pos : held)
      if (Try("pg_try_advisory_lock", pos, granted) != kOk || !granted) return false;
    return true;
  }
};

int LockWaitMilliseconds() {
  const char* v = std::getenv("VADER_BTRV_WAIT_MS");
  return v ? std::atoi(v) : 3000;
}

LockHandle::LockHandle() = default;

LockHandle::~LockHandle() {
  server_.reset();
  if (fd_ < 0) return;
  struct flock all = Range(kFileLockByte, F_UNLCK);
  all.l_len = 0;  // to the end: every lock of this descriptor
  ::fcntl(fd_, F_OFD_SETLK, &all);
  Pool()[{fileId_[0], fileId_[1]}].push_back(fd_);
}

Status LockHandle::Attach(const std::string& path, FileStore* marks) {
  if (IsServerLocation(path)) {
    auto locks = std::make_unique<ServerLocks>();
    if (!ParseServerLocation(path, locks->loc)) return kInvalidFileName;
    locks->info = locks->loc.ConnInfo();
    auto& idle = ServerPool()[locks->info];
    // An idle connection may have outlived its session (a restart, a terminated backend): the
    // next one is tried, and finally a new one.
    while (!idle.empty() && !locks->conn) {
      locks->conn = std::move(idle.back());
      idle.pop_back();
      if (!locks->conn->Alive()) locks->conn.reset();
    }
    Status s = kOk;
    if (!locks->conn && !(locks->conn = PgStore::Connect(locks->loc, s))) return s;
    locks->file = PgStore::FileId(*locks->conn, locks->loc, s);
    if (s != kOk) return s;
    if (!locks->file) return kFileNotFound;
    locks->marks = marks;
    server_ = std::move(locks);
    return kOk;
  }
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return kFileNotFound;
  fileId_[0] = st.st_dev;
  fileId_[1] = st.st_ino;
  auto& free = Pool()[{fileId_[0], fileId_[1]}];
  if (!free.empty()) {
    fd_ = free.back();
    free.pop_back();
    return kOk;
  }
  fd_ = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd_ < 0) fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  return fd_ < 0 ? kIoError : kOk;
}

bool LockHandle::OpenByAnotherProcess(const std::string& path) {
  if (IsServerLocation(path)) {
    ServerLocation loc;
    Status s;
    if (!ParseServerLocation(path, loc)) return false;
    auto conn = PgStore::Connect(loc, s);
    const int64_t file = conn ? PgStore::FileId(*conn, loc, s) : 0;
    if (!file) return false;
    // A block's open lock (item -1), or the mark its client's session keeps beside it (-3),
    // which holds while the block's own session is being replaced.
    PgResult r = conn->Run(
        "SELECT count(*) FROM pg_locks WHERE locktype = 'advisory' AND objsubid = 2 AND"
        " database = (SELECT oid FROM pg_database WHERE datname = current_database()) AND"
        " classid = $1::int8::oid AND objid IN (4294967295::int8::oid, 4294967293::int8::oid)",
        PgParams().Add(file));
    return !r.Ok() || r.Int(0, 0) > 0;
  }
  const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return false;
  struct flock fl = Range(kFileLockByte, F_WRLCK);
  const bool inUse = ::fcntl(fd, F_OFD_GETLK, &fl) == 0 && fl.l_type != F_UNLCK;
  ::close(fd);
  return inUse;
}

bool LockHandle::TryLock(uint64_t offset, short type) const {
  struct flock fl = Range(offset, type);
  return ::fcntl(fd_, F_OFD_SETLK, &fl) == 0;
}

Status LockHandle::LockFile(bool exclusive) {
  if (!server_) return TryLock(kFileLockByte, exclusive ? F_WRLCK : F_RDLCK) ? kOk : kFileLocked;
  bool granted = false;
  if (Status s = server_->TakeMarked(-1, exclusive, granted); s != kOk) return s;
  if (!granted) return kFileLocked;
  server_->fileLock = exclusive ? ServerLocks::FileLock::kExclusive : ServerLocks::FileLock::kShared;
  return kOk;
}

Status LockHandle::LockRecord(uint32_t pos, int waitMs, const Pause& pause) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  if (server_ && server_->held.count(pos)) return kOk;
  for (;;) {
    bool granted = false;
    if (server_) {
      if (Status s = server_->TakeMarked(pos, true, granted); s != kOk) return s;
    } else {
      granted = TryLock(kRecordLockBase + pos, F_WRLCK);
    }
    if (granted) {
      if (server_) server_->held.insert(pos);
      return kOk;
    }
    if (std::chrono::steady_clock::now() >= deadline) return kRecordLocked;
    if (!pause) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      if (!WaitGoesOn()) return kRecordLocked;
    } else if (Status s = pause(); s != kOk) {
      return s;
    }
  }
}

bool LockHandle::TryLockRun(uint32_t first, uint32_t last) {
  if (server_ || fd_ < 0 || last < first) return false;
  struct flock fl = Range(kRecordLockBase + first, F_WRLCK);
  fl.l_len = static_cast<off_t>(last - first) + 1;
  return ::fcntl(fd_, F_OFD_SETLK, &fl) == 0;
}

void LockHandle::UnlockRecord(uint32_t pos) {
  if (!server_) {
    TryLock(kRecordLockBase + pos, F_UNLCK);
    return;
  }
  if (!server_->held.erase(pos)) return;
  bool released = false;
  server_->Try("pg_advisory_unlock", pos, released);
  if (server_->marks) server_->marks->Unmark(pos, true);
}

Status LockHandle::LockedByOther(uint32_t pos, bool& locked) const {
  locked = false;
  if (server_) {
    if (server_->held.count(pos)) return kOk;
    // Taken at once and let go: nobody else holds it. A session that cannot answer says
    // nothing about the others.
    bool granted = false;
    if (Status s = server_->Try("pg_try_advisory_lock", pos, granted); s != kOk) return s;
    locked = !granted;
    if (granted) server_->Try("pg_advisory_unlock", pos, granted);
    if (locked || !server_->marks) return kOk;
    // A block whose own session the server ended still holds its records through its mark.
    return server_->marks->MarkedByOther(pos, locked);
  }
  struct flock fl = Range(kRecordLockBase + pos, F_WRLCK);
  if (::fcntl(fd_, F_OFD_GETLK, &fl) != 0) return kOk;
  locked = fl.l_type != F_UNLCK;
  return kOk;
}

Status LockHandle::Verify() {
  if (!server_) return kOk;
  if (server_->broken) return kSessionLost;
  if (server_->conn->Alive() || server_->TakeAgain()) return kOk;
  server_->broken = true;
  return kSessionLost;
}

}  // namespace vader::microkernel
