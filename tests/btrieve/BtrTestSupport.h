#pragma once
// Helpers shared by the driver tests: where the test doubles of the client libraries lie, and
// the native status of a call that raised a Btrieve error.

#include <functional>
#include <string>

#include "btrieve/BtrErrs.h"

namespace vader::testing {

// Path of a test-double library built beside the tests.
inline std::string Double(const char* name) { return std::string(VADER_TEST_DOUBLES) + "/" + name; }

// The native status `call` raised, or 0.
inline int16_t StatusOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const EBtrieveEngineError& e) {
    return static_cast<int16_t>(e.NativeError());
  }
  return 0;
}

}  // namespace vader::testing
