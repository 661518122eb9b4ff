#include "shell/ModuleTable.h"

#include <exception>

namespace vader {

void TModuleTable::Startup() {
  while (started_ < static_cast<int>(entries_.size())) {
    const ModuleEntry& entry = entries_[static_cast<std::size_t>(started_)];
    try {
      if (entry.startup) entry.startup();
    } catch (...) {
      const auto error = std::current_exception();
      try {
        Shutdown();
      } catch (...) {
        // the start-up error is the one to report
      }
      std::rethrow_exception(error);
    }
    ++started_;
  }
}

void TModuleTable::Shutdown() {
  std::exception_ptr firstError;
  while (started_ > 0) {
    const ModuleEntry& entry = entries_[static_cast<std::size_t>(--started_)];
    try {
      if (entry.shutdown) entry.shutdown();
    } catch (...) {
      if (!firstError) firstError = std::current_exception();
    }
  }
  if (firstError) std::rethrow_exception(firstError);
}

}  // namespace vader
