#include "LongWorks.h"

#include "AppForm.h"

namespace vader::app {
namespace {

using Clock = std::chrono::steady_clock;

// Work whose progress is the time it has taken, in the words of Format.
std::unique_ptr<TLongWork> TimedWork(const char* title, const char* format) {
  const Clock::time_point started = Clock::now();
  return std::make_unique<TLongWork>(
      Tr(title),
      [started, format](std::uint64_t) {
        const auto seconds =
            std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - started);
        return Format(format, {std::to_string(seconds.count())});
      },
      Tr(texts::kStop));
}

}  // namespace

std::unique_ptr<TLongWork> FilterWork(const std::string& table) {
  return std::make_unique<TLongWork>(
      Format(texts::kFilteringTable, {table}),
      [](std::uint64_t read) { return Format(texts::kRecordsRead, {std::to_string(read)}); },
      Tr(texts::kStop));
}

std::unique_ptr<TLongWork> StatementWork() {
  return TimedWork(texts::kRunningTheStatement, texts::kRunningForSeconds);
}

void ShowLockWaits() {
  SetLockWaitWorkFactory(
      [] { return TimedWork(texts::kWaitingForAnotherProgram, texts::kWaitingForSeconds); });
}

}  // namespace vader::app
