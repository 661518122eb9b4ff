#pragma once
// The C interface of the relational engine: libwssql32.so (sessions, logins, cursors over SQL
// views, the record-level primitives) and libwdbnm32.so (named databases). Every export keeps
// the arguments in the order the driver passes them. Statuses are signed 16-bit: 0 success,
// negative values are notices that a statement completed, positive values are errors (the
// record manager's own statuses pass through unchanged).

#include <cstdint>

namespace vader::sqlengine {

// Fetch options of _XQLFetch and xFetch; kFetchLock may be added to any of them.
enum FetchOption : int16_t {
  kFetchCurrent = 0,
  kFetchFirst = 1,
  kFetchNext = 2,
  kFetchPrevious = 3,
  kFetchLast = 4,
  kFetchBookmark = 5,     // xFetch: the bookmark of the current row
  kFetchAfterUpdate = 7,  // releases the lock of an update; no row
  kFetchAtBookmark = 256, // the row of the bookmark given in the buffer
  kFetchLock = 1024,
};

// Statuses.
constexpr int16_t kStatusOk = 0;
constexpr int16_t kNoticeSet = -101;
constexpr int16_t kNoticeInsert = -102;
constexpr int16_t kNoticeUpdate = -103;
constexpr int16_t kNoticeDelete = -104;
constexpr int16_t kNoticeCreate = -105;
constexpr int16_t kNoticeDrop = -107;
constexpr int16_t kNoticeUnresolved = -108;  // compiled; substitution variables still open
constexpr int16_t kNoticeNoMoreRows = -109;  // the view has no more rows (count says how many)
constexpr int16_t kNoticeStartTransaction = -112;
constexpr int16_t kNoticeCommit = -113;
constexpr int16_t kNoticeRollback = -114;
constexpr int16_t kStatusPositioning = 8;      // no current row
constexpr int16_t kStatusBufferTooShort = 22;  // the buffer cannot hold one row
constexpr int16_t kStatusNotLoaded = 200;
constexpr int16_t kStatusSyntax = 202;          // the SQL statement contains invalid syntax
constexpr int16_t kStatusNotSupported = 203;    // a primitive this engine does not offer
constexpr int16_t kStatusNoSuchTable = 204;
constexpr int16_t kStatusBadPassword = 205;
constexpr int16_t kStatusCursorLimit = 206;
constexpr int16_t kStatusBadUser = 209;
constexpr int16_t kStatusNoColumns = 231;       // the statement has no view to fetch from
constexpr int16_t kStatusNoSystemTables = 285;  // the dictionary cannot be opened
constexpr int16_t kStatusUnknownDatabase = 348;
constexpr int16_t kStatusInvalidCursor = 801;   // no such cursor in the session
constexpr int16_t kStatusNotUpdatable = 802;    // the view joins or computes its rows
constexpr int16_t kStatusNoSuchProcedure = 803;
constexpr int16_t kStatusBadColumn = 804;       // the column position is invalid
constexpr int16_t kStatusTransactionActive = 805;
constexpr int16_t kStatusNoTransaction = 806;
constexpr int16_t kStatusOutOfRange = 807;      // a number does not fit the column
constexpr int16_t kStatusInvalidDate = 808;     // not a date of the calendar
constexpr int16_t kStatusInvalidTime = 809;     // not a time of the day
constexpr int16_t kStatusNotANumber = 810;      // a text where the column holds numbers
constexpr int16_t kStatusStopped = 811;         // the caller stopped it; its changes are undone
constexpr int16_t kStatusNoSession = 2004;      // no valid session ID is current
constexpr int16_t kStatusSessionLimit = 2005;
constexpr int16_t kStatusNoMoreNames = 2006;    // no more database names are defined

// XQLVersion: the caller passes a buffer that begins "XVER" and its 16-bit length; the engine
// fills the interface version at offset 12 (4) and its own version after it.
constexpr int kVersionBufferSize = 22;
constexpr int16_t kInterfaceVersion = 4;

// XQLStatus options; each answers a 32-bit value at the start of the buffer.
constexpr int16_t kStatusChangedRows = 0;  // rows the cursor's last statement changed
constexpr int16_t kStatusUpdatable = 1;    // 1 when the cursor's view can be changed, else 0
// After a failed compile: the byte offset in the statement where it went wrong (-1: not
// known), and the length of the word that stands there.
constexpr int16_t kStatusErrorOffset = 2;
constexpr int16_t kStatusErrorLength = 3;

// _XQLCallback functions and the callback they take.
constexpr int16_t kCallbackProgress = 1;
using ProgressCallback = int16_t (*)();

// Bookmarks: a 16-bit count of the bytes that follow, then 32-bit words.
constexpr int kBookmarkSize = 100;

// Named databases: each name is given in a buffer of this size, NUL-terminated.
constexpr int kDatabaseNameSize = 20;

}  // namespace vader::sqlengine

extern "C" {

// Sessions: a login makes a new session current; the IDs select among them.
int16_t _xGetSessionID(int16_t* sessionId);
int16_t _xPutSessionID(int16_t sessionId);
int16_t _xShareSessionID(int16_t sessionId);
// Logs in to a dictionary directory (or "@name" of a named database) with its data directory
// (empty: the dictionary's); `user` and `password` are checked against USER.DDF when present.
int16_t _XQLLogin(const char* user, const char* password, const char* dictionaryPath,
                  const char* dataPath, const char* server, int16_t features);
int16_t _XQLLogout();
int16_t _XQLStop();
// kCallbackProgress: `callback` (a ProgressCallback, or null for none) is called now and then
// while a statement runs; a non-zero answer stops the statement, which then answers
// kStatusStopped with every change it made undone. `previous` (a ProgressCallback*, may be
// null) receives the callback registered before. Other functions answer kStatusNotSupported.
int16_t _XQLCallback(int16_t function, int16_t reserved, void* callback, void* previous);

// Cursors: one compiled statement each.
int16_t _XQLCursor(int16_t* cursorId);
// Compiles `length` bytes of `statement`; a statement without a view runs at once.
int16_t _XQLCompile(int16_t cursorId, int16_t* length, const char* statement);
// Column `position` (1-based) of the view: Btrieve type, size, decimals, display width, name
// (`nameLength` in: the buffer size; out: the name's length).
int16_t XQLDescribe(int16_t cursorId, int16_t position, int16_t* type, int16_t* size,
                    int16_t* decimals, int16_t* displayWidth, int16_t* nameLength, char* name);
int16_t XQLExec(int16_t cursorId);
// Fetches up to *count rows (in: wanted, out: fetched) into `buffer` of *bufferLength bytes
// (out: the bytes written). A row is a 16-bit row length (counting itself) and the columns in
// their Btrieve formats; several rows lie 2 + the column sizes + 4 bytes apart (the record
// size of the view), the 4 bytes after each row unused.
// With `asciiFlag` one row comes as display texts instead: the 16-bit length, then each
// column's text ended by a NUL. `spacing` is not used.
int16_t _XQLFetch(int16_t cursorId, int16_t option, uint16_t* bufferLength, void* buffer,
                  int32_t* count, int16_t asciiFlag, int16_t spacing);
int16_t XQLFormat(int16_t cursorId, int16_t position, int16_t length, const char* mask);
int16_t _XQLFree(int16_t cursorId);
int16_t XQLSPUtility(int16_t cursorId, int16_t option, int16_t statementCount,
                     int16_t* length, void* buffer);
// Facts about a cursor's last statement by `option` (kStatusChangedRows, kStatusUpdatable,
// kStatusErrorOffset, kStatusErrorLength), 4 bytes into `buffer`.
int16_t XQLStatus(int16_t cursorId, int16_t option, char* buffer);
// Gives values to substitution variables: `count` NUL-separated names (with or without "@")
// and as many NUL-separated values.
int16_t XQLSubst(int16_t cursorId, int16_t count, int16_t namesLength, const char* names,
                 int16_t valuesLength, const char* values);
int16_t XQLVersion(void* buffer);
int16_t XQLConvert(int16_t option, int16_t type, int16_t size, int16_t decimals,
                   int16_t displayWidth, const char* value, char* result, const char* mask,
                   int16_t justify);
int16_t XQLValidate(int16_t* count, char* fieldName, int16_t length, const char* value);
int16_t XQLMask(int16_t option, int16_t type, int16_t size, int16_t decimals, int16_t* length,
                char* mask);

// Record-level primitives on a cursor's view.
int16_t xFetch(int16_t cursorId, uint16_t* bufferLength, int16_t option, int32_t* count,
               int32_t* rejectCount, void* buffer);
// Inserts `recordCount` rows given in the row layout (as apart as fetched rows); `names` "*.*":
// all fields.
int16_t xInsert(int16_t cursorId, int16_t nameCount, const char* names, int16_t recordCount,
                const void* records);
// Replaces the current row by `record` (the row layout).
int16_t xUpdate(int16_t cursorId, int16_t nameCount, const char* names, int16_t recordCount,
                const void* record);
// Removes the current row.
int16_t xRemove(int16_t cursorId, int16_t nameCount, const char* names, int16_t recordCount);
int16_t xReset(const char* reserved);
// The rest of the primitive interface answers kStatusNotSupported.
int16_t xCompute(int16_t cursorId, ...);
int16_t xDescribe(int16_t cursorId, ...);
int16_t xMovefld(int16_t cursorId, ...);
int16_t xField(int16_t cursorId, ...);
int16_t xFree(int16_t cursorId);
int16_t xJoin(int16_t cursorId, ...);
int16_t xLogin(const char* user, ...);
int16_t xLogout();
int16_t xNew(int16_t* cursorId, ...);
int16_t xOrder(int16_t cursorId, ...);
int16_t xRemall(int16_t cursorId, ...);
int16_t xRestrict(int16_t cursorId, ...);
int16_t xStop();
int16_t xTrans(int16_t option);
int16_t xStore(int16_t cursorId, ...);
int16_t xRecall(int16_t* cursorId, ...);
int16_t xUpdall(int16_t cursorId, ...);
int16_t xDD(int16_t option, ...);
int16_t xDDAttr(int16_t option, ...);
int16_t xDDModify(int16_t option, ...);
int16_t xDDCreate(int16_t option, ...);
int16_t xDDDrop(int16_t option, ...);
int16_t xDDField(int16_t option, ...);
int16_t xDDFile(int16_t option, ...);
int16_t xDDIndex(int16_t option, ...);
int16_t xDDPath(int16_t option, ...);
int16_t xDDView(int16_t option, ...);
int16_t xAccess(int16_t option, ...);
int16_t xPassword(int16_t option, ...);
int16_t xSecurity(int16_t option, ...);
int16_t xUser(int16_t option, ...);
int16_t xChar(int16_t option, ...);
int16_t xVersion(void* buffer);
int16_t xStatus(int16_t cursorId, ...);
int16_t xConvert(int16_t option, ...);
int16_t xValidate(int16_t* count, ...);
int16_t xMask(int16_t option, ...);

// libwdbnm32.so: named databases (names are given without the leading "@").
int16_t SQLGetCountDatabaseNames(int16_t* count);
int16_t SQLGetCountRemoteDatabaseNames(int16_t* count);
// The name number `sequence` (1-based) into `buffer` of *bufferLength bytes (out: the length).
int16_t SQLGetDatabaseNames(int16_t* bufferLength, char* buffer, int16_t sequence);
int16_t SQLGetRemoteDatabaseNames(int16_t* bufferLength, char* buffer, int16_t sequence);
int16_t SQLUnloadDBNames(int16_t reserved);

}  // extern "C"
