#include "tools/FileSwap.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "tools/ServerFiles.h"

namespace vader::tools {
namespace {

namespace fs = std::filesystem;

// The write-ahead log of a data file belongs to it: it moves with the file, and the shared
// memory index is rebuilt from it by the next opener.
constexpr const char* kLogSuffix = "-wal";
constexpr const char* kSideSuffixes[] = {"-wal", "-shm", "-journal"};

bool Exists(const std::string& path) {
  std::error_code error;
  return fs::exists(path, error);
}

// Makes the renames in the file's directory durable before the next step relies on them.
void SyncDirectory(const std::string& path) {
  const fs::path dir = fs::path(path).parent_path();
  const int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

void Rename(const std::string& from, const std::string& to) {
  if (std::rename(from.c_str(), to.c_str()) != 0)
    throw std::runtime_error("cannot rename " + from + " to " + to + ": " + std::strerror(errno));
}

// Moves a data file with its log; a log left at the destination belongs to no file any more.
void MoveDataFile(const std::string& from, const std::string& to) {
  for (const char* suffix : kSideSuffixes) std::remove((to + suffix).c_str());
  std::remove((from + "-shm").c_str());
  if (Exists(from + kLogSuffix)) Rename(from + kLogSuffix, to + kLogSuffix);
  Rename(from, to);
}

}  // namespace

std::string RebuiltPath(const std::string& path) { return path + ".new"; }
std::string RetiredPath(const std::string& path) { return path + ".old"; }

bool RemoveDataFile(const std::string& path) {
  if (IsServerFile(path)) return RemoveServerFile(path);
  for (const char* suffix : kSideSuffixes) std::remove((path + suffix).c_str());
  return std::remove(path.c_str()) == 0;
}

void CompleteSwap(const std::string& path) {
  const std::string rebuilt = RebuiltPath(path);
  if (IsServerFile(path)) return SwapServerFiles(path, rebuilt, RetiredPath(path));
  if (!Exists(rebuilt)) return;  // the copy is in place already
  try {
    if (Exists(path)) {
      // The file has not moved yet; an old file beside it is the leftover of an earlier swap.
      RemoveDataFile(RetiredPath(path));
      MoveDataFile(path, RetiredPath(path));
      SyncDirectory(path);
    }
    MoveDataFile(rebuilt, path);
  } catch (const std::runtime_error&) {
    // Another program opening the table at the same moment may have finished the swap.
    if (Exists(rebuilt) || !Exists(path)) throw;
  }
  SyncDirectory(path);
}

void DiscardSwapLeftovers(const std::string& path) {
  if (IsServerFile(path)) return DiscardServerLeftovers(path, RebuiltPath(path), RetiredPath(path));
  bool changed = RemoveDataFile(RebuiltPath(path));
  const std::string retired = RetiredPath(path);
  if (Exists(retired)) {
    if (Exists(path))
      RemoveDataFile(retired);
    else
      MoveDataFile(retired, path);
    changed = true;
  }
  if (changed) SyncDirectory(path);
}

}  // namespace vader::tools
