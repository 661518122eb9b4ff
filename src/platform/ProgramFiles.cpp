#include "platform/ProgramFiles.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "platform/ProcessInfo.h"

namespace vader::platform {
namespace {

namespace fs = std::filesystem;

// $VARIABLE when it names an absolute path (relative ones are ignored, as XDG asks), else
// ~/fallback; with "vader/" appended.
std::string XdgDirectory(const char* variable, const char* fallback) {
  if (const char* value = std::getenv(variable); value && value[0] == '/')
    return std::string(value) + "/vader/";
  const char* home = std::getenv("HOME");
  return std::string(home && *home ? home : ".") + "/" + fallback + "/vader/";
}

bool Exists(const std::string& path) {
  std::error_code ec;
  return fs::exists(path, ec);
}

bool IsWritable(const std::string& path) { return ::access(path.c_str(), W_OK) == 0; }

void CreateDirectories(const std::string& directory) {
  std::error_code ec;
  fs::create_directories(directory, ec);  // a failure shows when the file is written
}

// Copies the directory `from` to `to` through a temporary name, so that an interrupted
// copy never leaves a partial database where a complete one is expected.
bool CopyDirectoryOnce(const std::string& from, const std::string& to) {
  const std::string partial = to + ".partial-" + std::to_string(::getpid());
  std::error_code ec;
  fs::remove_all(partial, ec);
  fs::copy(from, partial, fs::copy_options::recursive, ec);
  if (!ec) {
    // Copies keep the shared files' read-only modes; the user's copy is to be edited.
    for (const auto& entry : fs::recursive_directory_iterator(partial, ec))
      fs::permissions(entry.path(), fs::perms::owner_write, fs::perm_options::add, ec);
    fs::permissions(partial, fs::perms::owner_all, fs::perm_options::add, ec);
  }
  if (!ec) fs::rename(partial, to, ec);
  if (!ec) return true;
  fs::remove_all(partial, ec);
  return Exists(to);  // another instance may have finished the same copy first
}

}  // namespace

bool IsInstalledLayout() {
  const std::string bin = ExecutableDirectory();
  if (!bin.ends_with("/bin/")) return false;
  std::error_code ec;
  return fs::is_directory(bin + "../share/vader", ec);
}

std::string ProgramDataDirectory() {
  if (!IsInstalledLayout()) return ExecutableDirectory();
  // Normalised, since dictionary paths under it are stored in Language.INI and shown.
  return fs::path(ExecutableDirectory() + "../share/vader/").lexically_normal().string();
}

std::string PrivateLibraryDirectory() { return ExecutableDirectory() + "../lib/vader/"; }

std::string UserConfigDirectory() { return XdgDirectory("XDG_CONFIG_HOME", ".config"); }

std::string UserDataDirectory() { return XdgDirectory("XDG_DATA_HOME", ".local/share"); }

std::string SettingsFilePath(const std::string& name) {
  const std::string beside = ExecutableDirectory() + name;
  const std::string user = UserConfigDirectory() + name;
  if (Exists(beside)) {
    if (IsWritable(beside)) return beside;
    if (!Exists(user)) {
      CreateDirectories(UserConfigDirectory());
      std::error_code ec;
      fs::copy_file(beside, user, ec);
      fs::permissions(user, fs::perms::owner_read | fs::perms::owner_write,
                      fs::perm_options::add, ec);
    }
    return user;
  }
  if (!IsInstalledLayout() && IsWritable(ExecutableDirectory())) return beside;
  CreateDirectories(UserConfigDirectory());
  return user;
}

std::string SampleDatabaseDirectory() {
  if (!IsInstalledLayout()) return ExecutableDirectory() + "sample";
  const std::string shared = ProgramDataDirectory() + "sample";
  const std::string user = UserDataDirectory() + "sample";
  if (Exists(user)) return user;
  CreateDirectories(UserDataDirectory());
  return CopyDirectoryOnce(shared, user) ? user : shared;
}

}  // namespace vader::platform
