#pragma once
// The C signatures of the Scalable SQL client exports the driver calls. Session and cursor
// identifiers are 16-bit; lengths are in/out where the engine reports how much it used; row
// counts are 32-bit and in/out (rows asked for, rows done).

#include <cstdint>

namespace vader::sqlapi {

extern "C" {
using GetSessionIDFn = int16_t (*)(int16_t* sessionId);
using PutSessionIDFn = int16_t (*)(int16_t sessionId);
using XQLCursorFn = int16_t (*)(int16_t* cursorId);
using XQLCompileFn = int16_t (*)(int16_t cursorId, uint16_t* length, const char* statement);
// Column `position` (1-based) of the view: Btrieve type, size, decimals; `nameLength` in is the
// room of `name`, out the length of the column's name.
using XQLDescribeFn = int16_t (*)(int16_t cursorId, int16_t position, int16_t* type,
                                  int16_t* size, int16_t* decimals, int16_t* nameLength,
                                  char* name);
using XQLExecFn = int16_t (*)(int16_t cursorId);
// `length` in: room of `buffer`; `count` in: rows wanted, out: rows fetched.
using XQLFetchFn = int16_t (*)(int16_t cursorId, int16_t option, uint16_t* length, void* buffer,
                               int32_t* count, int16_t asciiFlag, int16_t spacing);
using XQLFreeFn = int16_t (*)(int16_t cursorId);
using XQLLoginFn = int16_t (*)(const char* user, const char* password, const char* dictPath,
                               const char* dataPath, const char* server, int16_t features);
using XQLLogoutFn = int16_t (*)();
using XQLStopFn = int16_t (*)();
// `count` names of `nameLength` bytes each (NUL included) and their values.
using XQLSubstFn = int16_t (*)(int16_t cursorId, int16_t count, int16_t nameLength,
                               const char* names, int16_t valueLength, const char* values);
using XQLVersionFn = int16_t (*)(void* versionBuffer);
// `count` in: rows wanted, out: rows fetched; `rejectCount` in: the most rows to pass over.
using XFetchFn = int16_t (*)(int16_t cursorId, int16_t option, uint16_t* length, void* buffer,
                             int32_t* count, int32_t* rejectCount);
// Rows of `buffer` (each beginning with its 16-bit length) written to the view's current
// position; `fieldCount` names in `fieldNames` ("*.*": every column).
using XInsertFn = int16_t (*)(int16_t cursorId, int16_t fieldCount, const char* fieldNames,
                              int32_t* count, const void* buffer);
using XUpdateFn = XInsertFn;
using XRemoveFn = int16_t (*)(int16_t cursorId, int16_t fieldCount, const char* fieldNames,
                              int32_t* count);
using XResetFn = int16_t (*)(const char* reserved);

using SQLGetCountDatabaseNamesFn = int16_t (*)(int16_t* count);
// The next name, blank- or NUL-padded, into `buffer` of `length` bytes.
using SQLGetDatabaseNamesFn = int16_t (*)(char* buffer, uint16_t length);
using SQLUnloadDBNamesFn = int16_t (*)();
}

}  // namespace vader::sqlapi
