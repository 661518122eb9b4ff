#pragma once
// The engine error code a call raises, for tests that expect a particular failure.

#include <cstdint>
#include <functional>

#include "engine/BseErrs.h"

namespace vader::testing {

// The code of the engine error `call` raises; 0 when it raises none.
inline uint16_t ErrorCode(const std::function<void()>& call) {
  try {
    call();
  } catch (const EVaderEngineError& e) {
    return e.Code();
  }
  return 0;
}

}  // namespace vader::testing
