#pragma once
// The caller's say in waits for what another client holds (a locked record, a file another
// process is writing): a hook the caller registers is asked now and then while such a wait
// lasts, so that it can show the wait and let the person end it. A wait the hook ends answers
// as one whose time ran out.

#include <cstdint>

namespace vader::microkernel {

// Non-zero: stop waiting.
using WaitHook = int16_t (*)();

// Registers Hook (null: none); answers the one registered before.
WaitHook SetWaitHook(WaitHook hook);
// Asked during a wait; false once the caller wants to stop waiting.
bool WaitGoesOn();

}  // namespace vader::microkernel
