#include "platform/Com.h"

#include <atomic>

namespace vader::platform {
namespace {
thread_local int initCount = 0;
std::atomic<HRESULT> forcedResult{S_OK};
}  // namespace

HRESULT CoInitialize(void* /*reserved*/) {
  const HRESULT forced = forcedResult.load();
  if (forced != S_OK) return forced;
  return initCount++ == 0 ? S_OK : S_FALSE;
}

void CoUninitialize() {
  if (initCount > 0) --initCount;
}

int ComInitCount() { return initCount; }

void SetCoInitializeResultForTesting(HRESULT result) { forcedResult = result; }

}  // namespace vader::platform
