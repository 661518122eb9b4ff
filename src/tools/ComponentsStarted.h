#pragma once
// What the utility's commands that go through the data-access components share: the
// components started for the length of one command, and the database named as they name it.

#include <filesystem>
#include <string>

#include "components/BtrMain.h"
#include "microkernel/ServerLocation.h"

namespace vader::tools {

class ComponentsStarted {
 public:
  ComponentsStarted() { BtrMainStartup(); }
  ~ComponentsStarted() { BtrMainShutdown(); }
  ComponentsStarted(const ComponentsStarted&) = delete;
  ComponentsStarted& operator=(const ComponentsStarted&) = delete;
};

// The database directory as the components name it: a whole path (a relative one would not be
// found once the components resolve it), or a server location as it is.
inline std::string DatabasePath(const std::string& directory) {
  if (microkernel::IsServerLocation(directory)) return directory;
  return std::filesystem::absolute(directory).lexically_normal().string();
}

}  // namespace vader::tools
