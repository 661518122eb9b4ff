#pragma once
// The process-wide binding to the Btrieve client library: loading it at run time, resolving its
// four exports, starting and stopping the requester, and issuing calls. A call made while no
// library is loaded answers status 20, as the requester does when it is inactive.

#include <cstdint>
#include <string_view>

namespace vader {

// Handle value meaning "no library"; every handle of 32 or less means the same.
constexpr uintptr_t BTRIEVE_NOT_LOADED = 32;

// Library loaded when no name is configured.
constexpr std::string_view kDefaultBtrieveLibrary = "wbtrv32.dll";

// Loads `libraryName` (or the default library) unless one is loaded, then starts the requester
// with `initString` and returns its status; 20 when no library with all four exports loads.
int16_t LoadBtrieveLibrary(const char* initString, std::string_view libraryName);

// Stops the requester and releases the library; returns the stop status, or 0 when nothing was
// loaded.
int16_t UnloadBtrieveLibrary();

// The module handle, or BTRIEVE_NOT_LOADED.
uintptr_t BtrieveLibraryHandle();
bool BtrieveLibraryLoaded();

// BTRCALL and BTRCALLID of the loaded library.
int16_t BtrCall(uint16_t operation, void* positionBlock, void* dataBuffer, uint32_t* dataLength,
                void* keyBuffer, uint8_t keyLength, int8_t keyNumber);
int16_t BtrCallId(uint16_t operation, void* positionBlock, void* dataBuffer, uint32_t* dataLength,
                  void* keyBuffer, uint8_t keyLength, int8_t keyNumber, uint8_t* clientId);

}  // namespace vader
