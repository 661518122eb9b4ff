#include "btrieve/BtrErrs.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "btrieve/BtrConst.h"

namespace vader {
namespace {

// Native statuses are signed; the engine's pair table holds their 16-bit patterns.
constexpr uint16_t S(int status) { return static_cast<uint16_t>(static_cast<int16_t>(status)); }

constexpr StatusCodePair kStatusCodes[] = {
    {S(1), 0x2702},   {S(2), 0x2401},   {S(3), 0x2401},    {S(4), 0x2206},    {S(5), 0x2A10},
    {S(6), 0x270D},   {S(7), 0x2726},   {S(8), 0x2205},    {S(9), 0x2202},    {S(10), 0x2601},
    {S(11), 0x2703},  {S(12), 0x2704},  {S(13), 0x2708},   {S(14), 0x2708},   {S(15), 0x2401},
    {S(16), 0x2402},  {S(17), 0x2732},  {S(18), 0x2503},   {S(19), 0x2103},   {S(20), 0x2A06},
    {S(35), 0x2722},  {S(42), 0x280C},  {S(47), 0x2502},   {S(51), 0x271F},   {S(66), 0x2511},
    {S(78), 0x280F},  {S(80), 0x2803},  {S(81), 0x2801},   {S(82), 0x2205},   {S(84), 0x2801},
    {S(85), 0x2803},  {S(86), 0x250B},  {S(87), 0x2506},   {S(88), 0x2731},   {S(91), 0x2B66},
    {S(101), 0x2501}, {S(130), 0x2517}, {S(133), 0x2729},  {S(204), 0x2728},  {S(205), 0x271F},
    {S(206), 0x2506}, {S(209), 0x2734}, {S(211), 0x2505},  {S(231), 0x2713},  {S(285), 0x2A0E},
    {S(348), 0x271E}, {S(538), 0x2727}, {S(2120), 0x250E}, {S(-109), 0x2202}, {S(-101), 0},
    {S(-102), 0},     {S(-103), 0},     {S(-104), 0},      {S(-105), 0},      {S(-106), 0},
    {S(-107), 0},     {S(-110), 0},     {S(-111), 0},      {S(-112), 0},      {S(-113), 0},
    {S(-114), 0},     {S(-115), 0},     {S(-116), 0},
};

struct NativeMessage {
  int16_t status;
  const char* text;
};

// The record manager's published status messages. Statuses whose text is not known are left
// out, so that their message takes the numeric form.
constexpr NativeMessage kNativeMessages[] = {
    {-114, "The ROLLBACK WORK statement completed successfully"},
    {-113, "The COMMIT WORK statement completed successfully"},
    {-112, "The START TRANSACTION statement completed successfully"},
    {-111, "The REVOKE statement completed successfully"},
    {-110, "The GRANT statement completed successfully"},
    {-109, "The view contains no more records"},
    {-108, "The statement contains unresolved substitution variables and cannot be executed"},
    {-107, "The DROP statement completed successfully"},
    {-106, "The ALTER TABLE statement completed successfully"},
    {-105, "The CREATE statement completed successfully"},
    {-104, "The DELETE statement completed successfully"},
    {-103, "The UPDATE statement completed successfully"},
    {-102, "The INSERT statement completed successfully"},
    {-101, "The SET statement completed successfully"},
    {1, "The operation parameter is invalid"},
    {2, "The application encountered an I/O error"},
    {3, "The file is not open"},
    {4, "The application cannot find the key value"},
    {5, "The record has a key field containing a duplicate key value"},
    {6, "The key number parameter is invalid"},
    {7, "The key number has changed"},
    {8, "The current positioning is invalid"},
    {9, "The operation encountered the end-of-file"},
    {10, "The key field is not modifiable"},
    {11, "The specified filename is invalid"},
    {12, "The MicroKernel cannot find the specified file"},
    {13, "The MicroKernel could not open the extension file for an extended file"},
    {14, "The MicroKernel cannot create or open the preimage file"},
    {15, "The application encountered an I/O error during preimaging"},
    {16, "The application encountered an expansion error"},
    {17, "The application encountered a close error"},
    {18, "The disk is full"},
    {19, "The application encountered an unrecoverable error"},
    {20, "The MicroKernel or Btrieve Requester is inactive"},
    {21, "The key buffer parameter is too short"},
    {22, "The data buffer parameter is too short"},
    {23, "The position block parameter is not 128 bytes long"},
    {24, "The page size or data buffer size is invalid"},
    {25, "The application cannot create the specified file"},
    {26, "The number of keys specified is invalid"},
    {27, "The key position is invalid"},
    {28, "The record length is invalid"},
    {29, "The key length is invalid"},
    {30, "The file specified is not a MicroKernel file"},
    {31, "The file is already extended"},
    {32, "The file cannot be extended"},
    {33, "The MicroKernel cannot unload"},
    {34, "The specified extension name is invalid"},
    {35, "The application encountered a directory error"},
    {36, "The application encountered a transaction error"},
    {37, "Another transaction is active"},
    {38, "The MicroKernel encountered a transaction control file I/O error"},
    {39, "A Begin Transaction operation must precede an End/Abort Transaction operation"},
    {40, "The file access request exceeds the maximum number of files allowed"},
    {41, "The MicroKernel does not allow the attempted operation"},
    {42, "A file previously opened in Accelerated mode was not closed"},
    {43, "The specified record address is invalid"},
    {44, "The specified key path is invalid"},
    {45, "The specified key flags are invalid"},
    {46, "Access to the requested file is denied"},
    {47, "The number of files opened exceeds the maximum allowed"},
    {48, "The alternate collating sequence definition is invalid"},
    {49, "The extended key type is invalid"},
    {50, "The file owner is already set"},
    {51, "The owner name is invalid"},
    {52, "An error occurred while writing to the cache"},
    {53, "The language interface version is invalid"},
    {54, "The variable-length portion of the record is corrupt"},
    {55, "The application specified an invalid attribute for an AUTOINCREMENT key"},
    {56, "An index is incomplete"},
    {57, "An expanded memory error occurred"},
    {58, "The compression buffer length is too short"},
    {59, "The specified file already exists"},
    {60, "The specified reject count has been reached"},
    {61, "The work space is too small"},
    {62, "The descriptor is incorrect"},
    {63, "The data buffer parameter specified on an Insert Extended operation is invalid"},
    {64, "The filter limit has been reached"},
    {65, "The field offset is incorrect"},
    {66, "The maximum number of open databases has been exceeded"},
    {67, "The MicroKernel cannot open the SQL data dictionary files"},
    {68, "The MicroKernel cannot perform the RI Delete Cascade operation"},
    {71, "There is a violation of the RI definitions"},
    {72, "The MicroKernel cannot open the RI referenced file"},
    {73, "The RI definition is out of sync"},
    {74, "The MicroKernel aborted the transaction"},
    {76, "There is a conflict on the referenced file"},
    {77, "The application encountered a wait error"},
    {78, "The MicroKernel detected a deadlock condition"},
    {79, "A programming error occurred"},
    {80, "The MicroKernel encountered a record-level conflict"},
    {81, "The MicroKernel encountered a lock error"},
    {82, "The MicroKernel lost positioning"},
    {83,
     "The MicroKernel attempted to update or delete a record that was read outside the "
     "transaction"},
    {84, "The record or page is locked"},
    {85, "The file is locked"},
    {86, "The file table is full"},
    {87, "The handle table is full"},
    {88, "The application encountered an incompatible mode error"},
    {90, "The redirected device table is full"},
    {91, "The application encountered a server error."},
    {92, "The transaction table is full"},
    {93, "The record lock types are incompatible"},
    {94, "The application encountered a permission error"},
    {95, "The session is no longer valid"},
    {96, "A communications environment error occurred"},
    {97, "The data buffer is too small"},
    {98, "The MicroKernel detected an internal transaction error"},
    {99, "The Requester cannot access the MicroKernel"},
    {100, "No cache buffers are available"},
    {101, "Insufficient operating system memory is available"},
    {102, "Insufficient stack space is available"},
    {103, "The chunk offset is too big"},
    {104, "The MicroKernel does not recognize the locale"},
    {105, "The file cannot be created with Variable-tail Allocation Tables (VATs)"},
    {106, "The MicroKernel cannot perform a Get Next Chunk operation"},
    {107, "The application attempted to perform a chunk operation on a pre-v6.0 file"},
    {110, "The MicroKernel cannot open the archival log for the file"},
    {111, "The file specified is not a logged file"},
    {112, "The file is in use"},
    {113, "The MicroKernel cannot find the archival log file"},
    {114, "The archival log file is invalid"},
    {115, "The MicroKernel cannot access the archival logging dump file"},
    {116, "The file is owned by another MicroKernel engine acting as a Gateway"},
    {130, "The MicroKernel ran out of system locks"},
    {132, "The file has reached its size limit"},
    {133, "More than 5 concurrent users attempted to access the same data file"},
    {134, "The MicroKernel cannot read the International Sorting Rule"},
    {135, "The specified ISR table is corrupt or otherwise invalid"},
    {136, "The MicroKernel cannot find the specified Alternate Collating Sequence in the file"},
    {138, "The NULL indicator position is invalid"},
    {139, "The MicroKernel has detected an unacceptable value in the key number"},
    {143,
     "The MicroKernel cannot allow unauthorized access to files in a secure MicroKernel "
     "database"},
    {147, "The log segment is missing"},
    {148, "A roll forward error occurred"},
    {161, "The maximum number of user count licenses has been reached"},
    {162,
     "The client table is full. Try increasing the number of Active Clients in the "
     "MicroKernel Database Engine System Resource Setting"},
    {200, "Scalable SQL local engine or Requester is not loaded"},
    {202, "The SQL statement contains invalid syntax"},
    {204, "The table is not defined in the dictionary"},
    {205, "The password is invalid"},
    {206, "The maximum number of cursors has been exceeded"},
    {209, "The specified username or group name is invalid"},
    {211, "The maximum record size has been exceeded"},
    {231, "No columns are defined in the view"},
    {285, "Scalable SQL cannot open the system tables"},
    {348, "Scalable SQL cannot locate the named database you specified"},
    {538, "The column name you specified for the index definition is invalid"},
    // The relational engine's own statuses.
    {801, "The cursor ID is invalid"},
    {802, "The rows of this view cannot be changed"},
    {803, "The stored procedure is not defined in the dictionary"},
    {804, "The specified column position is invalid"},
    {805, "A transaction is already active"},
    {806, "No transaction is active"},
    {807, "The value is out of range for the column"},
    {808, "The date is not valid"},
    {809, "The time is not valid"},
    {810, "The value is not a number"},
    {811, "The statement was stopped and its changes were undone"},
    {1001, "The lock parameter is out of range"},
    {1002, "A memory allocation error occurred"},
    {1003, "The memory parameter is too small"},
    {1004, "The page size parameter is out of range"},
    {1005, "The pre-image parameter is invalid"},
    {1006, "The pre-image buffer parameter is out of range"},
    {1007, "The files parameter is out of range"},
    {1008, "The initialization parameter is invalid"},
    {1009, "The transaction filename parameter is invalid"},
    {1010, "An error occurred during the access of the transaction control file"},
    {1011, "The compression buffer parameter is out of range"},
    {1013, "The task list is full"},
    {1014, "The application encountered a stop warning"},
    {1015, "The pointer parameter is invalid"},
    {1016, "The MicroKernel is already initialized"},
    {1017, "The Btrieve Requester is unable to find the resource file WBTRVRES.DLL"},
    {1018, "The application attempted to call the MicroKernel from a Btrieve callback function"},
    {1019,
     "The MicroKernel cancelled the current Btrieve operation at the request of the "
     "application's Btrieve callback function"},
    {1020, "Btrieve Requester Interface communications error"},
    {1021, "The MicroKernel failed to initialize"},
    {2004, "You must obtain a valid session ID before attempting to call the function"},
    {2005, "The maximum number of sessions has been exceeded"},
    {2006, "No more database names are defined"},
    {2103, "Scalable SQL is not active on the requested server"},
    {2120, "The task table is full"},
    {3000, "The MicroKernel router encountered a memory allocation error"},
    {3001, "Local access is unavailable to the MicroKernel router"},
    {3002, "The MicroKernel router resource DLL is unavailable"},
    {3003, "The MicroKernel router detected an incompatible network component"},
    {3004, "The MicroKernel is not responding to the MicroKernel router"},
    {3005, "The MicroKernel router encountered an operating system error"},
    {3006, "The MicroKernel router detected an invalid session"},
    {3012, "Local engine is not accessible to the MicroKernel router"},
    {3013,
     "The remote engine is inaccessible to the MicroKernel router because the networking "
     "component is not loaded"},
    {3014, "The MicroKernel router cannot find an engine"},
    {3103, "Server name not found by Pervasive Network Services Layer"},
    {3104, "The Pervasive Network Services Layer encountered a permission error"},
    {3105, "No available transport protocol for the Pervasive Network Services Layer"},
    {3106, "The Pervasive Network Services Layer encountered a connection failure"},
    {3126,
     "The Pervasive Network Services Layer was unable to resolve the given filename into a "
     "valid path"},
};

// The table is kept sorted so the lookup can bisect it.
constexpr bool SortedByStatus() {
  for (size_t i = 1; i < std::size(kNativeMessages); ++i)
    if (kNativeMessages[i - 1].status >= kNativeMessages[i].status) return false;
  return true;
}
static_assert(SortedByStatus());

// "%d" of a format, filled with the native status.
std::string StatusText(const char* format, int32_t status, std::string_view text = {}) {
  char buffer[kMaxExtraTextLength + 64];
  const int n = std::snprintf(buffer, sizeof buffer, format, static_cast<int>(status),
                              static_cast<int>(text.size()), text.data());
  return std::string(buffer, static_cast<size_t>(std::clamp(n, 0, int{sizeof buffer} - 1)));
}

}  // namespace

std::span<const StatusCodePair> BtrieveStatusTable() { return kStatusCodes; }

uint16_t BtrieveStatusCode(int16_t status) {
  return TranslateStatus(kStatusCodes, static_cast<int>(std::size(kStatusCodes)), S(status));
}

std::string_view LoadNativeMessage(int resourceId) {
  const int status = resourceId - kNativeMessageBase;
  const auto* end = std::end(kNativeMessages);
  const auto* found = std::lower_bound(std::begin(kNativeMessages), end, status,
                                       [](const NativeMessage& m, int s) { return m.status < s; });
  return found != end && found->status == status ? found->text : std::string_view();
}

EBtrieveEngineError::EBtrieveEngineError(int16_t status)
    : EVaderEngineError(BtrieveStatusCode(status)) {
  SetNativeError(status);
}

EBtrieveEngineError::EBtrieveEngineError(int16_t status, std::string_view text)
    : EBtrieveEngineError(status) {
  extraLength_ = static_cast<uint16_t>(std::min(text.size(), kMaxExtraTextLength));
  std::copy_n(text.data(), extraLength_, extraText_);
  extraText_[extraLength_] = '\0';
}

std::string EBtrieveEngineError::GetNativeMessage() const {
  const std::string_view text = LoadNativeMessage(kNativeMessageBase + NativeError());
  if (text.empty()) return StatusText("Btrieve Error %d.", NativeError());
  std::string message = StatusText("Btrieve Status %d - %.*s", NativeError(), text) + ".";
  if (extraLength_ > 0) message.append("\r\nKey=[").append(ExtraText()).append("]");
  if (message.size() > kMaxExtraTextLength) message.resize(kMaxExtraTextLength);
  return message;
}

void BtrieveError(int16_t status) {
  if (status == B_END_OF_FILE) RaiseEOF();
  throw EBtrieveEngineError(status);
}

void BtrieveErrorText(int16_t status, std::string_view text) {
  if (status == B_END_OF_FILE) RaiseEOF();
  throw EBtrieveEngineError(status, text);
}

}  // namespace vader
