#include "platform/ProcessInfo.h"

#include <pwd.h>
#include <unistd.h>

#include <filesystem>
#include <mutex>

namespace vader::platform {
namespace {
std::mutex overrideMutex;
std::string overridePath;
}  // namespace

std::string ExecutablePath() {
  {
    std::lock_guard lock(overrideMutex);
    if (!overridePath.empty()) return overridePath;
  }
  std::error_code ec;
  auto path = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : path.string();
}

bool IsMainThread() { return ::gettid() == ::getpid(); }

std::string ExecutableDirectory() {
  std::string path = ExecutablePath();
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

void SetExecutablePathForTesting(const std::string& path) {
  std::lock_guard lock(overrideMutex);
  overridePath = path;
}

std::string LoginUserName() {
  char buffer[256];
  if (getlogin_r(buffer, sizeof buffer) == 0) return buffer;
  struct passwd pwd;
  struct passwd* found = nullptr;
  char scratch[1024];
  if (getpwuid_r(geteuid(), &pwd, scratch, sizeof scratch, &found) == 0 && found)
    return found->pw_name;
  return {};
}

}  // namespace vader::platform
