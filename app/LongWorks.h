#pragma once
// The long work the windows run with progress and a Stop button: its texts, and the work of
// each kind with its title and progress text in the current language.

#include <chrono>
#include <memory>
#include <string>

#include "framework/LongWork.h"

namespace vader::app {

namespace texts {
inline constexpr const char* kStop = "Stop";
inline constexpr const char* kFilteringTable = "Filtering %s";
inline constexpr const char* kRecordsRead = "%s records read";
inline constexpr const char* kFilterStopped =
    "The filter was stopped before it had read every record. It is switched off: all records "
    "are shown.";
inline constexpr const char* kRunningTheStatement = "Running the statement";
inline constexpr const char* kRunningForSeconds = "Running for %s seconds";
inline constexpr const char* kStatementStopped =
    "The statement was stopped. Nothing it changed was kept.";
inline constexpr const char* kWaitingForAnotherProgram =
    "Waiting for a record or file another program is using";
inline constexpr const char* kWaitingForSeconds = "Waiting for %s seconds";

inline constexpr const char* kLongWorkTexts[] = {
    kStop,          kFilteringTable,    kRecordsRead,
    kFilterStopped, kRunningTheStatement, kRunningForSeconds,
    kStatementStopped, kWaitingForAnotherProgram, kWaitingForSeconds,
};
}  // namespace texts

// Reading the records of Table through a filter.
std::unique_ptr<TLongWork> FilterWork(const std::string& table);
// Running the statements of an SQL window.
std::unique_ptr<TLongWork> StatementWork();
// Waits for what another program holds are shown as long work from now on.
void ShowLockWaits();

}  // namespace vader::app
