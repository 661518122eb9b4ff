#pragma once
// The process-wide binding to the Scalable SQL client libraries: the engine library
// ("WSSQL32.DLL") and the library of named databases ("WDBNM32.DLL"), loaded under the
// platform's library lock with every export resolved by name. The first missing export of a
// library is reported in a message box and ends the resolving of that library. Calls through an
// entry that is not resolved answer status 200, as when no engine is loaded.

#include <cstdint>
#include <string>

namespace vader {

// Status of an engine that is not loaded: "Scalable SQL local engine or Requester is not loaded".
constexpr int16_t SQL_NOT_LOADED = 200;
constexpr uintptr_t SQL_LIBRARY_NOT_LOADED = 32;

constexpr char kSqlLibraryName[] = "WSSQL32.DLL";
constexpr char kDbNamesLibraryName[] = "WDBNM32.DLL";

// 0 when the engine library is (or now is) loaded; 200 when it does not load. The names library
// is loaded too when the engine library has every export and the "IgnoreSQLDatabases" setting is
// off; when it does not load, the setting is switched on.
int16_t LoadSQLLibrary();
void UnloadSQLLibrary();
// The library is loaded: tries LoadSQLLibrary while the loaded flag is clear.
bool SQLLoaded();
// Clears the loaded flag (the last session has ended).
void ClearSQLLoaded();
// The engine answers the version it must have (checked once per process).
bool SQLAvailable();

uintptr_t SQLLibraryHandle();
uintptr_t DbNamesLibraryHandle();
bool DbNamesLibraryLoaded();

// The files loaded for the two libraries; empty restores the Windows names above. For other
// installations and for tests; takes effect at the next load.
void SetSQLLibraryFiles(const std::string& sqlLibrary, const std::string& namesLibrary);
// Forgets the version check (for tests that load another library).
void ResetSQLVersionCheck();

// XQLStatus options: the rows the cursor's last statement changed; 1 when its view can be
// changed at its rows; after a failed compile the byte offset where the text is wrong (-1:
// not known) and the length of the word there.
constexpr int16_t SQL_STATUS_CHANGED_ROWS = 0;
constexpr int16_t SQL_STATUS_UPDATABLE = 1;
constexpr int16_t SQL_STATUS_ERROR_OFFSET = 2;
constexpr int16_t SQL_STATUS_ERROR_LENGTH = 3;

// Calls of the exports the driver uses (the engine's signatures: sqlengine/XqlApi.h).
namespace sqlapi {
int16_t GetSessionID(int16_t& sessionId);
int16_t PutSessionID(int16_t sessionId);
int16_t Cursor(int16_t& cursorId);
int16_t Compile(int16_t cursorId, uint16_t length, const char* statement);
int16_t Describe(int16_t cursorId, int16_t position, int16_t& type, int16_t& size,
                 int16_t& decimals, int16_t& nameLength, char* name);
int16_t Exec(int16_t cursorId);
int16_t Fetch(int16_t cursorId, int16_t option, uint16_t& length, void* buffer, int32_t& count,
              int16_t asciiFlag, int16_t spacing);
int16_t Free(int16_t cursorId);
int16_t Login(const char* user, const char* password, const char* dictPath, const char* dataPath,
              const char* server, int16_t features);
int16_t Logout();
int16_t Stop();
// Registers the engine's callback of kind Function (sqlengine/XqlApi.h).
int16_t Callback(int16_t function, void* callback);
int16_t Subst(int16_t cursorId, int16_t count, int16_t nameLength, const char* names,
              int16_t valueLength, const char* values);
int16_t Version(void* buffer);
// A 32-bit fact about the cursor's last statement (XQLStatus `option`).
int16_t Status(int16_t cursorId, int16_t option, int32_t& value);
int16_t XFetch(int16_t cursorId, int16_t option, uint16_t& length, void* buffer, int32_t& count,
               int32_t& rejectCount);
int16_t XInsert(int16_t cursorId, int16_t fieldCount, const char* fieldNames, int16_t count,
                const void* buffer);
int16_t XUpdate(int16_t cursorId, int16_t fieldCount, const char* fieldNames, int16_t count,
                const void* buffer);
int16_t XRemove(int16_t cursorId, int16_t fieldCount, const char* fieldNames, int16_t count);
int16_t XReset(const char* reserved);
int16_t GetCountDatabaseNames(bool remote, int16_t& count);
// Name number `sequence` (1-based) into `buffer` of `length` bytes.
int16_t GetDatabaseNames(bool remote, char* buffer, int16_t length, int16_t sequence);
}  // namespace sqlapi

}  // namespace vader
