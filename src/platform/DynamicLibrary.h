#pragma once
// Run-time loading of shared libraries (the LoadLibrary / GetProcAddress / FreeLibrary
// stand-in). A Windows library name such as "wbtrv32.dll" is resolved to "libwbtrv32.so",
// first beside the executable, then in an installed program's private library directory
// (PREFIX/lib/vader), then on the dynamic linker's search path, so configured names keep
// working unchanged; a path or a ".so" name is used as given.

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace vader::platform {

using HMODULE = void*;

// The file names LoadLibrary tries for `name`, in order.
std::vector<std::string> LibraryCandidates(std::string_view name);

// Loads the first candidate that loads; nullptr when none does.
HMODULE LoadLibrary(std::string_view name);

// The exported symbol `name` of `module`; nullptr when it is missing or `module` is nullptr.
void* GetProcAddress(HMODULE module, const char* name);

// Releases a module returned by LoadLibrary; nullptr is ignored.
void FreeLibrary(HMODULE module);

// The process-wide lock under which client libraries are loaded and released.
std::recursive_mutex& LibraryLoadLock();

}  // namespace vader::platform
