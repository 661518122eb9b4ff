// A stand-in for the Scalable SQL client libraries: every export the driver resolves, a log of
// the calls it makes, and one scripted view (columns from a spec, rows numbered 1..N: an
// integer, a text and a float per row, filled by column type). Built as the engine library and,
// with FAKE_NAMES, as the names library; FAKE_WITHOUT_DESCRIBE leaves one export out.

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
int gRows = 0;
int gPosition = 0;  // 0: before the first row; gRows + 1: after the last
int16_t gLoginStatus = 0;
int16_t gVersion = 4;
[[maybe_unused]] int16_t gNextCursor = 1;
std::vector<std::string> gNames = {"SALES  ", "STOCK"};

[[maybe_unused]] void Log(const std::string& text) { gLog += text + ";"; }

uint16_t RowSize() {
  uint16_t size = 2;
  for (const Column& c : gColumns) size = static_cast<uint16_t>(size + c.size);
  return size;
}

[[maybe_unused]] void FillRow(int row, uint8_t* out) {
  const uint16_t size = RowSize();
  std::memcpy(out, &size, 2);
  size_t at = 2;
  for (const Column& c : gColumns) {
    std::memset(out + at, 0, static_cast<size_t>(c.size));
    if (c.type == 1 && c.size == 4) {
      const int32_t v = row;
      std::memcpy(out + at, &v, 4);
    } else if (c.type == 2 && c.size == 8) {
      const double v = row * 1.5;
      std::memcpy(out + at, &v, 8);
    } else if (c.type == 0 && c.size > 0) {
      std::snprintf(reinterpret_cast<char*>(out + at), static_cast<size_t>(c.size), "row %d", row);
    }
    at += static_cast<size_t>(c.size);
  }
}

}  // namespace

// ---- control of the double ----

EXPORT const char* FakeSqlLog() { return gLog.c_str(); }
EXPORT void FakeSqlClearLog() { gLog.clear(); }
// "type:size:name|..." and the number of rows.
EXPORT void FakeSqlDefineView(const char* spec, int rows) {
  gColumns.clear();
  std::string text = spec;
  for (size_t p = 0; p < text.size();) {
    size_t end = text.find('|', p);
    if (end == std::string::npos) end = text.size();
    const std::string part = text.substr(p, end - p);
    const size_t a = part.find(':'), b = part.find(':', a + 1);
    gColumns.push_back({static_cast<int16_t>(std::stoi(part.substr(0, a))),
                        static_cast<int16_t>(std::stoi(part.substr(a + 1, b - a - 1))),
                        part.substr(b + 1)});
    p = end + 1;
  }
  gRows = rows;
  gPosition = 0;
}
// The library stays mapped between tests: each starts from here.
EXPORT void FakeSqlReset() {
  gLog.clear();
  gColumns.clear();
  gRows = gPosition = 0;
  gLoginStatus = 0;
  gVersion = 4;
  gNextCursor = 1;
}
EXPORT void FakeSqlSetLoginStatus(int16_t status) { gLoginStatus = status; }
EXPORT void FakeSqlSetVersion(int16_t version) { gVersion = version; }

#ifdef FAKE_NAMES
EXPORT int16_t SQLGetCountDatabaseNames(int16_t* count) {
  *count = static_cast<int16_t>(gNames.size());
  return 0;
}
EXPORT int16_t SQLGetCountRemoteDatabaseNames(int16_t* count) {
  *count = 2;
  return 0;
}
EXPORT int16_t SQLGetDatabaseNames(int16_t* length, char* buffer, int16_t sequence) {
  std::memset(buffer, 0, static_cast<size_t>(*length));
  const std::string& name = gNames.at(static_cast<size_t>(sequence - 1));
  std::memcpy(buffer, name.data(), std::min<size_t>(name.size(), static_cast<size_t>(*length)));
  return 0;
}
// The second remote name ends the list with a status.
EXPORT int16_t SQLGetRemoteDatabaseNames(int16_t* length, char* buffer, int16_t sequence) {
  std::memset(buffer, 0, static_cast<size_t>(*length));
  std::snprintf(buffer, static_cast<size_t>(*length), "FAR%d", sequence);
  return sequence == 1 ? 2006 : 0;
}
EXPORT int16_t SQLUnloadDBNames(int16_t) { return 0; }
#else

EXPORT int16_t _xGetSessionID(int16_t* id) {
  *id = 7;
  return 0;
}
EXPORT int16_t _xPutSessionID(int16_t) { return 0; }
EXPORT int16_t _XQLLogin(const char* user, const char* password, const char* dict,
                         const char* data, const char*, int16_t features) {
  Log(std::string("Login ") + user + "/" + password + " " + dict + " " + data + " " +
      std::to_string(features));
  return gLoginStatus;
}
EXPORT int16_t _XQLLogout() {
  Log("Logout");
  return 0;
}
EXPORT int16_t _XQLStop() {
  Log("Stop");
  return 0;
}
EXPORT int16_t _XQLCursor(int16_t* id) {
  *id = gNextCursor++;
  return 0;
}
EXPORT int16_t _XQLCompile(int16_t, int16_t* length, const char* text) {
  Log("Compile " + std::string(text, static_cast<size_t>(*length)));
  return std::strchr(text, '@') != nullptr ? -108 : 0;
}
#ifndef FAKE_WITHOUT_DESCRIBE
EXPORT int16_t XQLDescribe(int16_t, int16_t position, int16_t* type, int16_t* size,
                           int16_t* decimals, int16_t*, int16_t* nameLength, char* name) {
  if (position < 1 || position > static_cast<int16_t>(gColumns.size())) return 804;
  const Column& c = gColumns[static_cast<size_t>(position - 1)];
  *type = c.type;
  *size = c.size;
  *decimals = 0;
  std::snprintf(name, static_cast<size_t>(*nameLength), "%s", c.name.c_str());
  *nameLength = static_cast<int16_t>(c.name.size());
  return 0;
}
#endif
EXPORT int16_t XQLExec(int16_t cursor) {
  Log("Exec " + std::to_string(cursor));
  gPosition = 0;
  return 0;
}
EXPORT int16_t _XQLFetch(int16_t, int16_t option, uint16_t* length, void* buffer,
                         int32_t* count, int16_t, int16_t) {
  Log("Fetch " + std::to_string(option));
  const int wanted = *count;
  *count = 0;
  if (option == 7) return 0;
  const bool forward = option != 3 && option != 4;
  for (int i = 0; i < wanted; ++i) {
    int next = gPosition;
    switch (option & 0xFF) {
      case 1: next = i == 0 ? 1 : gPosition + 1; break;
      case 2: next = gPosition + 1; break;
      case 3: next = gPosition - 1; break;
      case 4: next = gRows; break;
      default: break;
    }
    if (next < 1 || next > gRows) {
      gPosition = forward ? gRows + 1 : 0;
      return -109;
    }
    if (*length < RowSize() * (i + 1)) return 22;
    gPosition = next;
    FillRow(gPosition, static_cast<uint8_t*>(buffer) + static_cast<size_t>(i) * RowSize());
    ++*count;
  }
  return 0;
}
EXPORT int16_t _XQLFree(int16_t cursor) {
  Log("Free " + std::to_string(cursor));
  return 0;
}
EXPORT int16_t XQLSubst(int16_t, int16_t count, int16_t, const char* names, int16_t,
                        const char* values) {
  Log("Subst " + std::to_string(count) + " " + names + "=" + values);
  return 0;
}
EXPORT int16_t XQLVersion(void* buffer) {
  std::memcpy(static_cast<uint8_t*>(buffer) + 12, &gVersion, 2);
  return 0;
}
// Bookmarks are a length of 4 and the row number.
EXPORT int16_t xFetch(int16_t, uint16_t*, int16_t option, int32_t* count, int32_t*,
                      void* buffer) {
  Log("xFetch " + std::to_string(option));
  auto* bytes = static_cast<uint8_t*>(buffer);
  if (option == 5) {
    *count = gPosition >= 1 && gPosition <= gRows ? 1 : 0;
    const uint16_t length = 4;
    std::memcpy(bytes, &length, 2);
    std::memcpy(bytes + 2, &gPosition, 4);
    return 0;
  }
  int32_t row = 0;
  std::memcpy(&row, bytes + 2, 4);
  *count = row >= 1 && row <= gRows ? 1 : 0;
  if (*count == 0) return 0;
  gPosition = row;
  FillRow(row, bytes);
  return 0;
}
EXPORT int16_t xInsert(int16_t, int16_t, const char*, int16_t count, const void* rows) {
  uint16_t length = 0;
  std::memcpy(&length, rows, 2);
  Log("xInsert " + std::to_string(count) + " " + std::to_string(length));
  gPosition = ++gRows;
  return 0;
}
EXPORT int16_t xUpdate(int16_t, int16_t, const char*, int16_t, const void* row) {
  uint16_t length = 0;
  std::memcpy(&length, row, 2);
  Log("xUpdate " + std::to_string(length));
  return 0;
}
EXPORT int16_t xRemove(int16_t, int16_t, const char*, int16_t) {
  Log("xRemove");
  return 0;
}
EXPORT int16_t xReset(const char*) {
  Log("xReset");
  return 0;
}

// The exports the driver resolves but does not call.
#define UNUSED_EXPORT(name) \
  EXPORT int16_t name() { return 0; }
UNUSED_EXPORT(_XQLCallback)
UNUSED_EXPORT(_xShareSessionID)
UNUSED_EXPORT(XQLFormat)
UNUSED_EXPORT(XQLSPUtility)
UNUSED_EXPORT(XQLStatus)
UNUSED_EXPORT(XQLConvert)
UNUSED_EXPORT(XQLValidate)
UNUSED_EXPORT(XQLMask)
UNUSED_EXPORT(xCompute)
UNUSED_EXPORT(xDescribe)
UNUSED_EXPORT(xMovefld)
UNUSED_EXPORT(xField)
UNUSED_EXPORT(xFree)
UNUSED_EXPORT(xJoin)
UNUSED_EXPORT(xLogin)
UNUSED_EXPORT(xLogout)
UNUSED_EXPORT(xNew)
UNUSED_EXPORT(xOrder)
UNUSED_EXPORT(xRemall)
UNUSED_EXPORT(xRestrict)
UNUSED_EXPORT(xStop)
UNUSED_EXPORT(xTrans)
UNUSED_EXPORT(xStore)
UNUSED_EXPORT(xRecall)
UNUSED_EXPORT(xUpdall)
UNUSED_EXPORT(xDD)
UNUSED_EXPORT(xDDAttr)
UNUSED_EXPORT(xDDModify)
UNUSED_EXPORT(xDDCreate)
UNUSED_EXPORT(xDDDrop)
UNUSED_EXPORT(xDDField)
UNUSED_EXPORT(xDDFile)
UNUSED_EXPORT(xDDIndex)
UNUSED_EXPORT(xDDPath)
UNUSED_EXPORT(xDDView)
UNUSED_EXPORT(xAccess)
UNUSED_EXPORT(xPassword)
UNUSED_EXPORT(xSecurity)
UNUSED_EXPORT(xUser)
UNUSED_EXPORT(xChar)
UNUSED_EXPORT(xVersion)
UNUSED_EXPORT(xStatus)
UNUSED_EXPORT(xConvert)
UNUSED_EXPORT(xValidate)
UNUSED_EXPORT(xMask)
#endif
