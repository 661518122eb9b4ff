#include "platform/DynamicLibrary.h"

#include <dlfcn.h>

#include <algorithm>
#include <cctype>

#include "platform/ProcessInfo.h"
#include "platform/ProgramFiles.h"

namespace vader::platform {
namespace {

bool EndsWith(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// A name that already names a shared object or a file by path is not translated.
bool IsNativeName(std::string_view name) {
  return name.find('/') != std::string_view::npos || EndsWith(name, ".so") ||
         name.find(".so.") != std::string_view::npos;
}

// "WBTRV32.DLL" -> "libwbtrv32.so".
std::string SharedObjectName(std::string_view windowsName) {
  std::string base(windowsName);
  std::transform(base.begin(), base.end(), base.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (EndsWith(base, ".dll")) base.resize(base.size() - 4);
  if (!base.starts_with("lib")) base.insert(0, "lib");
  return base + ".so";
}

}  // namespace

std::vector<std::string> LibraryCandidates(std::string_view name) {
  if (name.empty()) return {};
  if (IsNativeName(name)) return {std::string(name)};
  const std::string file = SharedObjectName(name);
  return {ExecutableDirectory() + file, PrivateLibraryDirectory() + file, file};
}

HMODULE LoadLibrary(std::string_view name) {
  for (const std::string& candidate : LibraryCandidates(name)) {
    if (HMODULE module = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL)) return module;
  }
  return nullptr;
}

void* GetProcAddress(HMODULE module, const char* name) {
  return module == nullptr ? nullptr : dlsym(module, name);
}

void FreeLibrary(HMODULE module) {
  if (module != nullptr) dlclose(module);
}

std::recursive_mutex& LibraryLoadLock() {
  static std::recursive_mutex lock;
  return lock;
}

}  // namespace vader::platform
