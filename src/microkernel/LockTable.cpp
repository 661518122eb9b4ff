#include "microkernel/LockTable.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <thread>
#include <utility>
#include <vector>

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

}  // namespace

int LockWaitMilliseconds() {
  const char* v = std::getenv("VADER_BTRV_WAIT_MS");
  return v ? std::atoi(v) : 3000;
}

LockHandle::~LockHandle() {
  if (fd_ < 0) return;
  struct flock all = Range(kFileLockByte, F_UNLCK);
  all.l_len = 0;  // to the end: every lock of this descriptor
  ::fcntl(fd_, F_OFD_SETLK, &all);
  Pool()[{fileId_[0], fileId_[1]}].push_back(fd_);
}

Status LockHandle::Attach(const std::string& path) {
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

bool LockHandle::LockFile(bool exclusive) {
  return TryLock(kFileLockByte, exclusive ? F_WRLCK : F_RDLCK);
}

Status LockHandle::LockRecord(uint32_t pos, int waitMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  for (;;) {
    if (TryLock(kRecordLockBase + pos, F_WRLCK)) return kOk;
    if (std::chrono::steady_clock::now() >= deadline) return kRecordLocked;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

void LockHandle::UnlockRecord(uint32_t pos) { TryLock(kRecordLockBase + pos, F_UNLCK); }

bool LockHandle::LockedByOther(uint32_t pos) const {
  struct flock fl = Range(kRecordLockBase + pos, F_WRLCK);
  if (::fcntl(fd_, F_OFD_GETLK, &fl) != 0) return false;
  return fl.l_type != F_UNLCK;
}

}  // namespace vader::microkernel
