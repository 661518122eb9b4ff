// A stand-in for the Scalable SQL client libraries: every export the driver resolves, a log of
// the calls it makes, and a view whose columns come from a column list and which has no rows. Built as
// the engine library, as the names library (FAKE_NAMES) and without one export
// (FAKE_WITHOUT_DESCRIBE).

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#define EXPORT extern "C" __attribute__((visibility("default")))

namespace {
struct Column {
  int16_t type, size;
  std::string name;
};
std::string gLog;
std::vector<Column> gColumns;
int16_t gLoginStatus = 0, gVersion = 4, gNextCursor = 1;
[[maybe_unused]] int16_t Log(const std::string& text, int16_t status = 0) {
  gLog += text + ";";
  return status;
}
}  // namespace

// ---- control of the double (it stays mapped between tests: each starts with a reset) ----

EXPORT const char* FakeSqlLog() { return gLog.c_str(); }
EXPORT void FakeSqlReset(int16_t loginStatus, int16_t version) {
  gLog.clear();
  gColumns.clear();
  gLoginStatus = loginStatus;
  gVersion = version;
  gNextCursor = 1;
}
// "type:size:name|...".
EXPORT void FakeSqlDefineView(const char* columns) {
  gColumns.clear();
  for (const char* p = columns; *p != '\0';) {
    int type = 0, size = 0, used = 0;
    char name[64] = {};
    if (std::sscanf(p, "%d:%d:%63[^|]%n", &type, &size, name, &used) != 3) break;
    gColumns.push_back({int16_t(type), int16_t(size), name});
    p += used + (p[used] == '|' ? 1 : 0);
  }
}

#ifdef FAKE_NAMES
// Two local names; the first remote name ends the list with a status.
EXPORT int16_t SQLGetCountDatabaseNames(int16_t* count) { return *count = 2, 0; }
EXPORT int16_t SQLGetCountRemoteDatabaseNames(int16_t* count) { return *count = 2, 0; }
EXPORT int16_t SQLGetDatabaseNames(int16_t* length, char* buffer, int16_t sequence) {
  std::snprintf(buffer, size_t(*length), sequence == 1 ? "SALES  " : "STOCK");
  return 0;
}
EXPORT int16_t SQLGetRemoteDatabaseNames(int16_t* length, char* buffer, int16_t sequence) {
  std::snprintf(buffer, size_t(*length), "FAR%d", sequence);
  return 2006;
}
EXPORT int16_t SQLUnloadDBNames(int16_t) { return 0; }
#else

EXPORT int16_t _xGetSessionID(int16_t* id) { return *id = 7, 0; }
EXPORT int16_t _xPutSessionID(int16_t) { return 0; }
EXPORT int16_t _XQLLogin(const char* user, const char* password, const char* dict,
                         const char* data, const char*, int16_t features) {
  return Log(std::string("Login ") + user + "/" + password + " " + dict + " " + data + " " +
                 std::to_string(features),
             gLoginStatus);
}
EXPORT int16_t _XQLLogout() { return Log("Logout"); }
EXPORT int16_t _XQLStop() { return Log("Stop"); }
EXPORT int16_t _XQLCursor(int16_t* id) { return *id = gNextCursor++, 0; }
EXPORT int16_t _XQLCompile(int16_t, int16_t* length, const char* text) {
  return Log("Compile " + std::string(text, size_t(*length)), std::strchr(text, '@') ? -108 : 0);
}
#ifndef FAKE_WITHOUT_DESCRIBE
EXPORT int16_t XQLDescribe(int16_t, int16_t position, int16_t* type, int16_t* size,
                           int16_t* decimals, int16_t*, int16_t* nameLength, char* name) {
  if (position < 1 || position > int16_t(gColumns.size())) return 804;
  const Column& c = gColumns[size_t(position - 1)];
  *type = c.type, *size = c.size, *decimals = 0;
  std::snprintf(name, size_t(*nameLength), "%s", c.name.c_str());
  *nameLength = int16_t(c.name.size());
  return 0;
}
#endif
EXPORT int16_t XQLExec(int16_t cursor) { return Log("Exec " + std::to_string(cursor)); }
// No rows: "no more records" with none fetched.
EXPORT int16_t _XQLFetch(int16_t, int16_t option, uint16_t*, void*, int32_t* count, int16_t,
                         int16_t) {
  *count = 0;
  return Log("Fetch " + std::to_string(option), option == 7 ? 0 : -109);
}
EXPORT int16_t _XQLFree(int16_t cursor) { return Log("Free " + std::to_string(cursor)); }
EXPORT int16_t XQLSubst(int16_t, int16_t count, int16_t, const char* names, int16_t,
                        const char* values) {
  return Log("Subst " + std::to_string(count) + " " + names + "=" + values);
}
EXPORT int16_t XQLVersion(void* buffer) {
  std::memcpy(static_cast<uint8_t*>(buffer) + 12, &gVersion, 2);
  return 0;
}
EXPORT int16_t xReset(const char*) { return Log("xReset"); }
// An engine that tells nothing about its statements (203: not offered).
EXPORT int16_t XQLStatus(int16_t, int16_t, char*) { return 203; }
// The driver registers its progress callback when it loads the library.
EXPORT int16_t _XQLCallback(int16_t, int16_t, void*, void*) { return 0; }

// The exports the driver resolves without calling them here.
#define UNUSED(name) EXPORT int16_t name() { return 0; }
UNUSED(_xShareSessionID) UNUSED(XQLFormat) UNUSED(XQLSPUtility)
UNUSED(XQLConvert) UNUSED(XQLValidate) UNUSED(XQLMask) UNUSED(xCompute)
UNUSED(xDescribe) UNUSED(xMovefld) UNUSED(xFetch) UNUSED(xField) UNUSED(xFree) UNUSED(xInsert)
UNUSED(xJoin) UNUSED(xLogin) UNUSED(xLogout) UNUSED(xNew) UNUSED(xOrder) UNUSED(xRemall)
UNUSED(xRemove) UNUSED(xRestrict) UNUSED(xStop) UNUSED(xTrans) UNUSED(xStore) UNUSED(xRecall)
UNUSED(xUpdate) UNUSED(xUpdall) UNUSED(xDD) UNUSED(xDDAttr) UNUSED(xDDModify) UNUSED(xDDCreate)
UNUSED(xDDDrop) UNUSED(xDDField) UNUSED(xDDFile) UNUSED(xDDIndex) UNUSED(xDDPath) UNUSED(xDDView)
UNUSED(xAccess) UNUSED(xPassword) UNUSED(xSecurity) UNUSED(xUser) UNUSED(xChar) UNUSED(xVersion)
UNUSED(xStatus) UNUSED(xConvert) UNUSED(xValidate) UNUSED(xMask)
#endif
