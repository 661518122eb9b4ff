#pragma once
// Btrieve constants: operation codes, open modes, native data types and the statuses the
// driver tests for by number.

#include <cstdint>

namespace vader {

// Open modes, passed as the key number of Open. Create and Stop use key number 0 as well.
constexpr int8_t OpenNormal = 0;
constexpr int8_t OpenReadOnly = -2;
constexpr int8_t OpenExclusive = -4;

// Key number meaning "no key": the physical position.
constexpr int8_t kNoKeyNumber = -1;

// Operation codes.
constexpr uint16_t B_OPEN = 0;
constexpr uint16_t B_CLOSE = 1;
constexpr uint16_t B_INSERT = 2;
constexpr uint16_t B_UPDATE = 3;
constexpr uint16_t B_DELETE = 4;
constexpr uint16_t B_GET_EQUAL = 5;
constexpr uint16_t B_GET_NEXT = 6;
constexpr uint16_t B_GET_PREVIOUS = 7;
constexpr uint16_t B_GET_GT = 8;
constexpr uint16_t B_GET_GE = 9;
constexpr uint16_t B_GET_LT = 10;
constexpr uint16_t B_GET_LE = 11;
constexpr uint16_t B_GET_FIRST = 12;
constexpr uint16_t B_GET_LAST = 13;
constexpr uint16_t B_CREATE = 14;
constexpr uint16_t B_STAT = 15;
constexpr uint16_t B_SET_DIR = 17;
constexpr uint16_t B_GET_DIR = 18;
constexpr uint16_t B_BEGIN_TRAN = 19;
constexpr uint16_t B_END_TRAN = 20;
constexpr uint16_t B_ABORT_TRAN = 21;
constexpr uint16_t B_GET_POSITION = 22;
constexpr uint16_t B_GET_DIRECT = 23;
constexpr uint16_t B_STEP_NEXT = 24;
constexpr uint16_t B_STOP = 25;
constexpr uint16_t B_UNLOCK = 27;
constexpr uint16_t B_BUILD_INDEX = 31;
constexpr uint16_t B_DROP_INDEX = 32;
constexpr uint16_t B_STEP_FIRST = 33;
constexpr uint16_t B_STEP_LAST = 34;
constexpr uint16_t B_STEP_PREVIOUS = 35;
constexpr uint16_t B_SEEK_PERCENT = 44;
constexpr uint16_t B_GET_PERCENT = 45;
// Begin Concurrent Transaction (1019) whose writes do not wait for locked records (+500).
constexpr uint16_t B_BEGIN_CONCURRENT_NOWAIT = 1519;
// Single-record no-wait lock, added to a read operation's code.
constexpr int16_t S_NOWAIT_LOCK = 200;

// Statuses the driver raises or tests for itself.
constexpr int16_t B_NO_ERROR = 0;
constexpr int16_t B_FILE_NOT_OPEN = 3;
constexpr int16_t B_END_OF_FILE = 9;
constexpr int16_t B_FILENAME_BAD = 11;
constexpr int16_t B_FILE_NOT_FOUND = 12;
constexpr int16_t B_RECORD_MANAGER_INACTIVE = 20;
constexpr int16_t B_DATALENGTH_ERROR = 22;
constexpr int16_t B_INVALID_KEYLENGTH = 29;
constexpr int16_t B_NULL_KEYPATH = 44;
constexpr int16_t B_INVALID_ALT_SEQUENCE_DEF = 48;
constexpr int16_t B_INVALID_OWNER = 51;
// A field value that cannot be decoded or encoded (the driver's own status).
constexpr int16_t B_CONVERSION_ERROR = 2999;

// Native data types of the dictionary.
constexpr uint16_t BT_STRING = 0;
constexpr uint16_t BT_INTEGER = 1;
constexpr uint16_t BT_FLOAT = 2;
constexpr uint16_t BT_DATE = 3;
constexpr uint16_t BT_TIME = 4;
constexpr uint16_t BT_DECIMAL = 5;
constexpr uint16_t BT_MONEY = 6;
constexpr uint16_t BT_LOGICAL = 7;
constexpr uint16_t BT_NUMERIC = 8;
constexpr uint16_t BT_BFLOAT = 9;
constexpr uint16_t BT_LSTRING = 10;
constexpr uint16_t BT_ZSTRING = 11;
constexpr uint16_t BT_NOTE = 12;
constexpr uint16_t BT_LVAR = 13;
constexpr uint16_t BT_UNSIGNED_BINARY = 14;
constexpr uint16_t BT_AUTOINCREMENT = 15;
constexpr uint16_t BT_BIT = 16;
constexpr uint16_t BT_NUMERICSTS = 17;
constexpr uint16_t BT_NUMERICSA = 18;
constexpr uint16_t BT_CURRENCY = 19;
constexpr uint16_t BT_TIMESTAMP = 20;

// Extended formats of other systems; most are decoded by the external conversion library.
constexpr uint16_t BT_EXT_LONG_YMD = 228;
constexpr uint16_t BT_EXT_BINARY_A = 229;
constexpr uint16_t BT_EXT_BINARY_B = 230;
constexpr uint16_t BT_EXT_BINARY_C = 231;
constexpr uint16_t BT_EXT_NUMERIC = 232;
constexpr uint16_t BT_EXT_MAGIC_DATE = 233;
constexpr uint16_t BT_EXT_CTIME = 234;
constexpr uint16_t BT_EXT_MAGIC_NUM = 235;
constexpr uint16_t BT_EXT_TASPRO_TIME = 236;
constexpr uint16_t BT_EXT_TASPRO_NUM = 237;
constexpr uint16_t BT_EXT_DECIMAL_FLOAT = 238;
constexpr uint16_t BT_EXT_MAGIC_NUM2 = 239;
constexpr uint16_t BT_EXT_MAGIC_TIME = 240;
constexpr uint16_t BT_EXT_MAGIC_DATE2 = 241;
constexpr uint16_t BT_EXT_YMD = 242;
constexpr uint16_t BT_EXT_YYMMDD = 243;
constexpr uint16_t BT_EXT_YYYYMMDD = 244;
constexpr uint16_t BT_EXT_TASPRO_DATE = 245;
constexpr uint16_t BT_EXT_TASPRO_NUM2 = 246;
constexpr uint16_t BT_EXT_UDECIMAL = 247;
constexpr uint16_t BT_EXT_DATETIME = 253;
constexpr uint16_t BT_EXT_VB_CURRENCY = 254;
constexpr uint16_t BT_EXT_REAL48 = 255;

}  // namespace vader
