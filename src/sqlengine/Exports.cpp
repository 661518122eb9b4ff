// libwssql32.so: the C interface over the sessions of this process. One lock serialises the
// calls; every call works on the current session (the last login, or the one _xPutSessionID
// chose).

#include <algorithm>
#include <cstring>
#include <string>
#include <map>
#include <memory>
#include <mutex>

#include "sqlengine/Session.h"
#include "sqlengine/XqlApi.h"

#define EXPORT extern "C" __attribute__((visibility("default")))

using namespace vader::sqlengine;

namespace {

constexpr int16_t kMaxSessions = 256;

struct Engine {
  std::mutex lock;
  std::map<int16_t, std::unique_ptr<Session>> sessions;
  int16_t current = 0;  // 0: none
  int16_t next = 1;
};

Engine& Global() {
  static Engine* engine = new Engine;  // never destroyed: calls may come during exit
  return *engine;
}

Session* Current() {
  Engine& e = Global();
  const auto it = e.sessions.find(e.current);
  return it == e.sessions.end() ? nullptr : it->second.get();
}

// Runs `f` on a cursor of the current session.
template <typename F>
int16_t OnCursor(int16_t id, F f) {
  std::lock_guard guard(Global().lock);
  Session* s = Current();
  if (!s) return kStatusNoSession;
  Cursor* c = s->FindCursor(id);
  return c ? f(*c) : kStatusInvalidCursor;
}

std::string Text(const char* p) { return p ? std::string(p) : std::string(); }

// `count` NUL-separated strings in `length` bytes.
std::vector<std::string> Split(const char* p, int16_t length, int16_t count) {
  std::vector<std::string> out;
  if (!p || length <= 0) return out;
  size_t at = 0;
  const auto n = static_cast<size_t>(length);
  for (int16_t i = 0; i < count && at < n; ++i) {
    const void* nul = std::memchr(p + at, 0, n - at);
    const size_t end = nul ? static_cast<const char*>(nul) - p : n;
    out.emplace_back(p + at, end - at);
    at = end + 1;
  }
  return out;
}

bool AllFields(int16_t nameCount, const char* names) {
  return nameCount == 1 && names && std::strcmp(names, "*.*") == 0;
}

}  // namespace

EXPORT int16_t _xGetSessionID(int16_t* sessionId) {
  std::lock_guard guard(Global().lock);
  if (!sessionId) return 1;
  if (!Current()) return kStatusNoSession;
  *sessionId = Global().current;
  return 0;
}

EXPORT int16_t _xPutSessionID(int16_t sessionId) {
  std::lock_guard guard(Global().lock);
  if (!Global().sessions.count(sessionId)) return kStatusNoSession;
  Global().current = sessionId;
  return 0;
}

EXPORT int16_t _xShareSessionID(int16_t) { return kStatusNotSupported; }

EXPORT int16_t _XQLLogin(const char* user, const char* password, const char* dictionaryPath,
                         const char* dataPath, const char* server, int16_t) {
  std::lock_guard guard(Global().lock);
  Engine& e = Global();
  if (server && *server) return kStatusUnknownDatabase;  // no remote servers here
  if (e.sessions.size() >= static_cast<size_t>(kMaxSessions)) return kStatusSessionLimit;
  while (e.sessions.count(e.next) || e.next <= 0) e.next = e.next <= 0 ? 1 : e.next + 1;
  const int16_t id = e.next++;
  auto session = std::make_unique<Session>(id);
  const int16_t s = session->Login(Text(user), Text(password), Text(dictionaryPath), Text(dataPath));
  if (s != 0) return s;
  e.sessions[id] = std::move(session);
  e.current = id;
  return 0;
}

EXPORT int16_t _XQLLogout() {
  std::lock_guard guard(Global().lock);
  Engine& e = Global();
  if (!e.sessions.erase(e.current)) return kStatusNoSession;
  e.current = 0;
  return 0;
}

EXPORT int16_t _XQLStop() {
  std::lock_guard guard(Global().lock);
  Global().sessions.clear();
  Global().current = 0;
  return 0;
}

EXPORT int16_t xReset(const char*) { return _XQLStop(); }

// Without the engine's lock: the callback is asked while a statement runs under it.
EXPORT int16_t _XQLCallback(int16_t function, int16_t, void* callback, void* previous) {
  if (function != kCallbackProgress) return kStatusNotSupported;
  const ProgressCallback before =
      SetProgressCallback(reinterpret_cast<ProgressCallback>(callback));
  if (previous) *static_cast<ProgressCallback*>(previous) = before;
  return 0;
}

EXPORT int16_t _XQLCursor(int16_t* cursorId) {
  std::lock_guard guard(Global().lock);
  Session* s = Current();
  if (!s) return kStatusNoSession;
  if (!cursorId) return 1;
  return s->NewCursor(*cursorId);
}

EXPORT int16_t _XQLFree(int16_t cursorId) {
  std::lock_guard guard(Global().lock);
  Session* s = Current();
  return s ? s->FreeCursor(cursorId) : kStatusNoSession;
}

EXPORT int16_t _XQLCompile(int16_t cursorId, int16_t* length, const char* statement) {
  return OnCursor(cursorId, [&](Cursor& c) -> int16_t {
    if (!length || !statement || *length < 0) return 1;
    const void* nul = std::memchr(statement, 0, static_cast<size_t>(*length));
    const size_t n = nul ? static_cast<const char*>(nul) - statement : static_cast<size_t>(*length);
    return c.Compile(std::string(statement, n));
  });
}

EXPORT int16_t XQLExec(int16_t cursorId) {
  return OnCursor(cursorId, [](Cursor& c) { return c.Exec(); });
}

EXPORT int16_t XQLDescribe(int16_t cursorId, int16_t position, int16_t* type, int16_t* size,
                           int16_t* decimals, int16_t* displayWidth, int16_t* nameLength,
                           char* name) {
  return OnCursor(cursorId, [&](Cursor& c) -> int16_t {
    ViewColumn col;
    if (int16_t s = c.Describe(position, col); s != 0) return s;
    if (type) *type = col.format.type;
    if (size) *size = static_cast<int16_t>(col.format.size);
    if (decimals) *decimals = col.format.decimals;
    if (displayWidth) {
      const char* sql = SqlType(col.format);
      *displayWidth = static_cast<int16_t>(std::strcmp(sql, "TEXT") == 0 ? col.format.size
                                           : std::strcmp(sql, "INTEGER") == 0 ? 20 : 24);
    }
    if (nameLength) {
      const size_t room = *nameLength > 0 ? static_cast<size_t>(*nameLength) : 0;
      const size_t n = room ? std::min(col.name.size(), room - 1) : 0;
      if (name && room) {
        std::memcpy(name, col.name.data(), n);
        name[n] = 0;
      }
      *nameLength = static_cast<int16_t>(n);
    }
    return 0;
  });
}

EXPORT int16_t _XQLFetch(int16_t cursorId, int16_t option, uint16_t* bufferLength, void* buffer,
                         int32_t* count, int16_t asciiFlag, int16_t) {
  return OnCursor(cursorId, [&](Cursor& c) -> int16_t {
    if (!count) return 1;
    const size_t length = bufferLength ? *bufferLength : 0;
    if (!buffer && length) return 1;
    if (asciiFlag) {
      // One row as display texts: a 16-bit length, then each column's text and a NUL.
      std::string row(std::max<size_t>(c.RowSize(), 2), '\0');
      *count = 1;
      const int16_t s = c.Fetch(option, reinterpret_cast<uint8_t*>(row.data()), row.size(), *count);
      if (*count == 0) {
        *bufferLength = 0;
        return s;
      }
      const std::string text = c.TextRow(reinterpret_cast<const uint8_t*>(row.data()));
      if (text.size() + 2 > length || text.size() + 2 > 65535) return kStatusBufferTooShort;
      auto* out = static_cast<uint8_t*>(buffer);
      out[0] = static_cast<uint8_t>(text.size() + 2), out[1] = static_cast<uint8_t>((text.size() + 2) >> 8);
      std::memcpy(out + 2, text.data(), text.size());
      *bufferLength = static_cast<uint16_t>(text.size() + 2);
      return s;
    }
    const int16_t s = c.Fetch(option, static_cast<uint8_t*>(buffer), length, *count);
    if (bufferLength)
      *bufferLength = static_cast<uint16_t>(*count > 0 ? std::min<size_t>(c.RowStride() * static_cast<size_t>(*count - 1) + c.RowSize(), length) : 0);
    return s;
  });
}

EXPORT int16_t xFetch(int16_t cursorId, uint16_t* bufferLength, int16_t option, int32_t* count,
                      int32_t* rejectCount, void* buffer) {
  if (rejectCount) *rejectCount = 0;
  if ((option & ~kFetchLock) != kFetchBookmark)
    return _XQLFetch(cursorId, option, bufferLength, buffer, count, 0, 0);
  return OnCursor(cursorId, [&](Cursor& c) -> int16_t {
    if (!count || !bufferLength || !buffer) return 1;
    const int16_t s = c.Bookmark(static_cast<uint8_t*>(buffer), *bufferLength, *count);
    if (*count) *bufferLength = 10;
    return s;
  });
}

EXPORT int16_t xInsert(int16_t cursorId, int16_t nameCount, const char* names, int16_t recordCount,
                       const void* records) {
  return OnCursor(cursorId, [&](Cursor& c) -> int16_t {
    if (!AllFields(nameCount, names)) return kStatusNotSupported;
    if (!records || recordCount < 1) return 1;
    return c.Insert(static_cast<const uint8_t*>(records), recordCount);
  });
}

EXPORT int16_t xUpdate(int16_t cursorId, int16_t nameCount, const char* names, int16_t recordCount,
                       const void* record) {
  return OnCursor(cursorId, [&](Cursor& c) -> int16_t {
    if (!AllFields(nameCount, names)) return kStatusNotSupported;
    if (!record || recordCount != 1) return 1;
    return c.Update(static_cast<const uint8_t*>(record));
  });
}

EXPORT int16_t xRemove(int16_t cursorId, int16_t nameCount, const char* names, int16_t recordCount) {
  return OnCursor(cursorId, [&](Cursor& c) -> int16_t {
    if (!AllFields(nameCount, names)) return kStatusNotSupported;
    if (recordCount != 1) return 1;
    return c.Remove();
  });
}

EXPORT int16_t XQLSubst(int16_t cursorId, int16_t count, int16_t namesLength, const char* names,
                        int16_t valuesLength, const char* values) {
  return OnCursor(cursorId, [&](Cursor& c) -> int16_t {
    if (count < 1) return 1;
    const auto n = Split(names, namesLength, count);
    const auto v = Split(values, valuesLength, count);
    if (n.size() != static_cast<size_t>(count) || v.size() != static_cast<size_t>(count)) return 1;
    return c.Subst(n, v);
  });
}

EXPORT int16_t XQLVersion(void* buffer) {
  if (!buffer) return 1;
  auto* p = static_cast<uint8_t*>(buffer);
  if (std::memcmp(p, "XVER", 4) != 0) return 1;
  const uint16_t length = static_cast<uint16_t>(p[4] | p[5] << 8);
  if (length < 14) return kStatusBufferTooShort;
  p[12] = static_cast<uint8_t>(kInterfaceVersion), p[13] = 0;
  // The engine's own version (major, minor) after the interface version when there is room.
  if (length >= 18) p[14] = 1, p[15] = 0, p[16] = 0, p[17] = 0;
  return 0;
}

EXPORT int16_t XQLFormat(int16_t, int16_t, int16_t, const char*) { return kStatusNotSupported; }
EXPORT int16_t XQLSPUtility(int16_t, int16_t, int16_t, int16_t*, void*) { return kStatusNotSupported; }
EXPORT int16_t XQLStatus(int16_t cursorId, int16_t option, char* buffer) {
  if (buffer == nullptr) return kStatusNotSupported;
  return OnCursor(cursorId, [&](Cursor& c) -> int16_t {
    int32_t value = 0;
    if (option == kStatusChangedRows)
      value = c.ChangedRows();
    else if (option == kStatusUpdatable)
      value = c.Updatable() ? 1 : 0;
    else if (option == kStatusErrorOffset)
      value = c.ErrorOffset();
    else if (option == kStatusErrorLength)
      value = c.ErrorLength();
    else
      return kStatusNotSupported;
    std::memcpy(buffer, &value, sizeof value);
    return kStatusOk;
  });
}
EXPORT int16_t XQLConvert(int16_t, int16_t, int16_t, int16_t, int16_t, const char*, char*, const char*, int16_t) {
  return kStatusNotSupported;
}
EXPORT int16_t XQLValidate(int16_t*, char*, int16_t, const char*) { return kStatusNotSupported; }
EXPORT int16_t XQLMask(int16_t, int16_t, int16_t, int16_t, int16_t*, char*) { return kStatusNotSupported; }

#define UNSUPPORTED(name, first) \
  EXPORT int16_t name(first, ...) { return kStatusNotSupported; }
UNSUPPORTED(xCompute, int16_t)
UNSUPPORTED(xDescribe, int16_t)
UNSUPPORTED(xMovefld, int16_t)
UNSUPPORTED(xField, int16_t)
UNSUPPORTED(xJoin, int16_t)
UNSUPPORTED(xLogin, const char*)
UNSUPPORTED(xNew, int16_t*)
UNSUPPORTED(xOrder, int16_t)
UNSUPPORTED(xRemall, int16_t)
UNSUPPORTED(xRestrict, int16_t)
UNSUPPORTED(xStore, int16_t)
UNSUPPORTED(xRecall, int16_t*)
UNSUPPORTED(xUpdall, int16_t)
UNSUPPORTED(xDD, int16_t)
UNSUPPORTED(xDDAttr, int16_t)
UNSUPPORTED(xDDModify, int16_t)
UNSUPPORTED(xDDCreate, int16_t)
UNSUPPORTED(xDDDrop, int16_t)
UNSUPPORTED(xDDField, int16_t)
UNSUPPORTED(xDDFile, int16_t)
UNSUPPORTED(xDDIndex, int16_t)
UNSUPPORTED(xDDPath, int16_t)
UNSUPPORTED(xDDView, int16_t)
UNSUPPORTED(xAccess, int16_t)
UNSUPPORTED(xPassword, int16_t)
UNSUPPORTED(xSecurity, int16_t)
UNSUPPORTED(xUser, int16_t)
UNSUPPORTED(xChar, int16_t)
UNSUPPORTED(xStatus, int16_t)
UNSUPPORTED(xConvert, int16_t)
UNSUPPORTED(xValidate, int16_t*)
UNSUPPORTED(xMask, int16_t)
EXPORT int16_t xFree(int16_t) { return kStatusNotSupported; }
EXPORT int16_t xLogout() { return kStatusNotSupported; }
EXPORT int16_t xStop() { return kStatusNotSupported; }
EXPORT int16_t xTrans(int16_t) { return kStatusNotSupported; }
EXPORT int16_t xVersion(void*) { return kStatusNotSupported; }
