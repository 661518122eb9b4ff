#include "btrieve/BtrIntrf.h"

#include <atomic>
#include <mutex>
#include <string>

#include "btrieve/BtrConst.h"
#include "framework/LongWork.h"
#include "platform/DynamicLibrary.h"

namespace vader {
namespace {

using BtrCallFn = int16_t (*)(uint16_t, void*, void*, uint32_t*, void*, uint8_t, int8_t);
using BtrCallIdFn = int16_t (*)(uint16_t, void*, void*, uint32_t*, void*, uint8_t, int8_t,
                                uint8_t*);
using InitFn = int16_t (*)(const char*);
using StopFn = int16_t (*)();
using WaitHookFn = void* (*)(void*);

struct EntryPoints {
  BtrCallFn call = nullptr;
  BtrCallIdFn callId = nullptr;
  InitFn init = nullptr;
  StopFn stop = nullptr;
};

// The loaded library. Load and release happen under the platform's library lock; calls read the
// entry points without it, so they are published atomically.
std::atomic<platform::HMODULE> gModule{nullptr};
std::atomic<BtrCallFn> gCall{nullptr};
std::atomic<BtrCallIdFn> gCallId{nullptr};
EntryPoints gEntries;

template <class Fn>
Fn Resolve(platform::HMODULE module, const char* name) {
  return reinterpret_cast<Fn>(platform::GetProcAddress(module, name));
}

// All four exports, or none: a library without one of them is not a usable client library.
bool ResolveAll(platform::HMODULE module, EntryPoints& entries) {
  entries.call = Resolve<BtrCallFn>(module, "BTRCALL");
  entries.callId = Resolve<BtrCallIdFn>(module, "BTRCALLID");
  entries.init = Resolve<InitFn>(module, "WBTRVINIT");
  entries.stop = Resolve<StopFn>(module, "WBTRVSTOP");
  return entries.call && entries.callId && entries.init && entries.stop;
}

// The record manager's wait hook: non-zero once the person stopped the wait.
int16_t StopWaiting() { return LockWaitGoesOn() ? 0 : 1; }

void LoadLibraryLocked(std::string_view libraryName) {
  platform::HMODULE module =
      platform::LoadLibrary(libraryName.empty() ? kDefaultBtrieveLibrary : libraryName);
  if (module == nullptr) return;
  EntryPoints entries;
  if (!ResolveAll(module, entries)) {
    platform::FreeLibrary(module);
    return;
  }
  gEntries = entries;
  // A library that lets its waits be watched shows them as long work, which can be stopped.
  if (auto hook = Resolve<WaitHookFn>(module, "WBTRVWAITHOOK"))
    hook(reinterpret_cast<void*>(&StopWaiting));
  gCall = entries.call;
  gCallId = entries.callId;
  gModule = module;
}

}  // namespace

int16_t LoadBtrieveLibrary(const char* initString, std::string_view libraryName) {
  std::lock_guard lock(platform::LibraryLoadLock());
  if (!BtrieveLibraryLoaded()) LoadLibraryLocked(libraryName);
  if (!BtrieveLibraryLoaded()) return B_RECORD_MANAGER_INACTIVE;
  return gEntries.init(initString == nullptr ? "" : initString);
}

int16_t UnloadBtrieveLibrary() {
  std::lock_guard lock(platform::LibraryLoadLock());
  if (!BtrieveLibraryLoaded()) return B_NO_ERROR;
  const int16_t status = gEntries.stop();
  gCall = nullptr;
  gCallId = nullptr;
  platform::FreeLibrary(gModule.exchange(nullptr));
  gEntries = EntryPoints{};
  return status;
}

uintptr_t BtrieveLibraryHandle() {
  platform::HMODULE module = gModule;
  return module == nullptr ? BTRIEVE_NOT_LOADED : reinterpret_cast<uintptr_t>(module);
}

bool BtrieveLibraryLoaded() { return BtrieveLibraryHandle() > BTRIEVE_NOT_LOADED; }

int16_t BtrCall(uint16_t operation, void* positionBlock, void* dataBuffer, uint32_t* dataLength,
                void* keyBuffer, uint8_t keyLength, int8_t keyNumber) {
  BtrCallFn call = gCall;
  if (call == nullptr) return B_RECORD_MANAGER_INACTIVE;
  const int16_t status =
      call(operation, positionBlock, dataBuffer, dataLength, keyBuffer, keyLength, keyNumber);
  LockWaitEnded();
  return status;
}

int16_t BtrCallId(uint16_t operation, void* positionBlock, void* dataBuffer, uint32_t* dataLength,
                  void* keyBuffer, uint8_t keyLength, int8_t keyNumber, uint8_t* clientId) {
  BtrCallIdFn call = gCallId;
  if (call == nullptr) return B_RECORD_MANAGER_INACTIVE;
  const int16_t status = call(operation, positionBlock, dataBuffer, dataLength, keyBuffer,
                              keyLength, keyNumber, clientId);
  LockWaitEnded();
  return status;
}

}  // namespace vader
