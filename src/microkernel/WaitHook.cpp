#include "microkernel/WaitHook.h"

#include <atomic>

namespace vader::microkernel {
namespace {
std::atomic<WaitHook> gHook{nullptr};
}  // namespace

WaitHook SetWaitHook(WaitHook hook) { return gHook.exchange(hook); }

bool WaitGoesOn() {
  const WaitHook hook = gHook.load();
  return hook == nullptr || hook() == 0;
}

}  // namespace vader::microkernel
