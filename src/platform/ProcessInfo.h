#pragma once
// The running executable's location (the GetModuleFileName stand-in) and the login user.

#include <string>

namespace vader::platform {

// Full path of the running executable, e.g. /opt/vader/bin/vader.
std::string ExecutablePath();

// Directory of the executable with a trailing '/'.
std::string ExecutableDirectory();

// Overrides the executable path, for tests that act as another program; empty restores it.
void SetExecutablePathForTesting(const std::string& path);

// True on the process's initial thread (the one that ran main).
bool IsMainThread();

// The login name of the user running the process (WNetGetUser stand-in); empty if unknown.
std::string LoginUserName();

}  // namespace vader::platform
