#include "microkernel/FileNames.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <memory>

namespace vader::microkernel {
namespace {

constexpr char kSqliteHeader[] = "SQLite format 3";

bool MayWrite(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) &&
         ::access(path.c_str(), W_OK) == 0;
}

// The entry of `directory` named `name` ignoring case; empty when there is none.
std::string EntryIgnoringCase(const std::string& directory, const std::string& name) {
  const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(directory.c_str()), ::closedir);
  if (!dir) return {};
  while (const dirent* entry = ::readdir(dir.get()))
    if (::strcasecmp(entry->d_name, name.c_str()) == 0) return entry->d_name;
  return {};
}

}  // namespace

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

std::string FindIgnoringCase(const std::string& path) {
  if (path.empty() || FileExists(path)) return path;
  const bool absolute = path[0] == '/';
  std::string found;  // the components matched so far
  for (size_t begin = absolute ? 1 : 0; begin <= path.size();) {
    const size_t end = std::min(path.find('/', begin), path.size());
    const std::string name = path.substr(begin, end - begin);
    const std::string prefix = found.empty() && !absolute ? "" : found + "/";
    if (name.empty() || name == "." || name == ".." || FileExists(prefix + name)) {
      found = prefix + name;
    } else {
      const std::string match = EntryIgnoringCase(prefix.empty() ? "." : prefix, name);
      if (match.empty()) return path;
      found = prefix + match;
    }
    begin = end + 1;
  }
  return found;
}

bool WritableHere(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
  return MayWrite(path) && MayWrite(dir);
}

bool IsRealBtrieveFile(const std::string& path) {
  char head[sizeof kSqliteHeader] = {};
  std::ifstream in(path, std::ios::binary);
  // A file shorter than the header (an empty one is an empty SQLite database) is none.
  return in.read(head, sizeof head) && std::memcmp(head, kSqliteHeader, sizeof head) != 0;
}

}  // namespace vader::microkernel
