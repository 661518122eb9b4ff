// libwdbnm32.so: the named databases of the registry; no remote names.

#include <cstring>

#include "sqlengine/NamedDatabases.h"
#include "sqlengine/XqlApi.h"

#define EXPORT extern "C" __attribute__((visibility("default")))

using namespace vader::sqlengine;

EXPORT int16_t SQLGetCountDatabaseNames(int16_t* count) {
  if (!count) return 1;
  *count = static_cast<int16_t>(std::min<size_t>(NamedDatabases().size(), INT16_MAX));
  return 0;
}

EXPORT int16_t SQLGetCountRemoteDatabaseNames(int16_t* count) {
  if (!count) return 1;
  *count = 0;
  return 0;
}

EXPORT int16_t SQLGetDatabaseNames(int16_t* bufferLength, char* buffer, int16_t sequence) {
  if (!bufferLength || !buffer || *bufferLength < 1) return 1;
  const auto all = NamedDatabases();
  if (sequence < 1 || static_cast<size_t>(sequence) > all.size()) {
    buffer[0] = 0;
    *bufferLength = 0;
    return kStatusNoMoreNames;
  }
  const std::string& name = all[static_cast<size_t>(sequence) - 1].name;
  const size_t n = std::min(name.size(), static_cast<size_t>(*bufferLength) - 1);
  std::memcpy(buffer, name.data(), n);
  buffer[n] = 0;
  *bufferLength = static_cast<int16_t>(n);
  return 0;
}

EXPORT int16_t SQLGetRemoteDatabaseNames(int16_t* bufferLength, char* buffer, int16_t) {
  if (!bufferLength || !buffer || *bufferLength < 1) return 1;
  buffer[0] = 0;
  *bufferLength = 0;
  return kStatusNoMoreNames;
}

EXPORT int16_t SQLUnloadDBNames(int16_t) { return 0; }
