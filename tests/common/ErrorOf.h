#pragma once
// The message of the exception a call raises, or an empty text when it raises none.

#include <exception>
#include <string>

namespace vader::testing {

template <class F>
std::string ErrorOf(F&& call) {
  try {
    call();
  } catch (const std::exception& e) {
    return e.what();
  }
  return {};
}

}  // namespace vader::testing
