#include "sqlengine/Session.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "sqlengine/NamedDatabases.h"
#include "sqlengine/XqlApi.h"

namespace vader::sqlengine {
namespace {

// SQLite virtual-machine steps between two questions to the caller whether to go on: about a
// hundred rows read or changed.
constexpr int kStepsBetweenQuestions = 10000;

std::atomic<ProgressCallback> gProgress{nullptr};

// A non-zero answer interrupts the statement; it then ends with SQLITE_INTERRUPT.
int AskToGoOn(void*) {
  const ProgressCallback callback = gProgress.load();
  return callback != nullptr && callback() != 0 ? 1 : 0;
}

constexpr size_t kUserRecord = 43;
constexpr uint16_t kGroupFlag = 0x40;
constexpr int16_t kMaxCursors = 1000;

std::string Field(const std::string& r, size_t at, size_t size) {
  std::string t = r.substr(at, size);
  if (const size_t nul = t.find('\0'); nul != std::string::npos) t.resize(nul);
  while (!t.empty() && t.back() == ' ') t.pop_back();
  return t;
}

std::string Slashed(std::string p) {
  std::replace(p.begin(), p.end(), '\\', '/');
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  return p;
}

}  // namespace

Session::Session(int16_t id) : id_(id) {
  // A client identifier of its own: zero network address, application "SQ", the session.
  client_.bytes[12] = 'S';
  client_.bytes[13] = 'Q';
  client_.bytes[14] = static_cast<uint8_t>(id);
  client_.bytes[15] = static_cast<uint8_t>(static_cast<uint16_t>(id) >> 8);
}

Session::~Session() {
  if (explicitTransaction_) ClientCall(&client_, kOpAbortTransaction);
  cursors_.clear();
  if (db_) sqlite3_close_v2(db_);
  // Closes whatever the client still has open and frees its locks.
  ClientCall(&client_, kOpReset);
}

int16_t Session::Login(const std::string& user, const std::string& password,
                       const std::string& dictionary, const std::string& data) {
  std::string dict = dictionary, dat = data;
  if (!dict.empty() && dict[0] == '@') {
    NamedDatabase named;
    if (!FindNamedDatabase(dict, named)) return kStatusUnknownDatabase;
    dict = named.dictionary;
    if (dat.empty()) dat = named.data;
  }
  dictionaryDir_ = Slashed(dict.empty() ? "." : dict);
  dataDir_ = dat.empty() ? dictionaryDir_ : Slashed(dat);
  int16_t s = LoadCatalog(dictionaryDir_, dataDir_, &client_, owners_, tables_);
  if (s == kBtrNoSuchFile || s == 11 || s == 35) return kStatusNoSystemTables;
  if (s != 0) return s;
  if (s = CheckUser(user, password); s != 0) return s;
  // Every use of the connection is under the engine's own lock (the exported calls take it),
  // so SQLite's lock on each call would only cost time.
  constexpr int kOpenFlags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
  if (sqlite3_open_v2(":memory:", &db_, kOpenFlags, nullptr) != SQLITE_OK) return 101;
  sqlite3_progress_handler(db_, kStepsBetweenQuestions, &AskToGoOn, nullptr);
  if (RegisterTables(*this, tables_) != SQLITE_OK) {
    lastError_ = sqlite3_errmsg(db_);
    return kStatusNoSystemTables;
  }
  return 0;
}

// USER.DDF, when the dictionary has one, lists who may log in; its password field holds the
// password as given (at most 8 characters and a NUL).
int16_t Session::CheckUser(const std::string& user, const std::string& password) {
  BtrFile f(&client_);
  std::vector<std::string> owners = owners_;
  owners.push_back(kDictionaryOwner);
  const int16_t open = f.Open(JoinPath(dictionaryDir_, "USER.DDF"), owners, -2);
  if (open == kBtrNoSuchFile) return 0;
  if (open != 0) return open;
  std::string rec;
  for (int16_t s = f.Read(kOpStepFirst, rec, nullptr, 0);; s = f.Read(kOpStepNext, rec, nullptr, 0)) {
    if (s == kBtrEndOfFile) break;
    if (s != 0) return s;
    if (rec.size() < kUserRecord) continue;
    const uint16_t flags = static_cast<uint16_t>(static_cast<uint8_t>(rec[41]) | static_cast<uint8_t>(rec[42]) << 8);
    if ((flags & kGroupFlag) || !SameText(Field(rec, 2, 30), user)) continue;
    return Field(rec, 32, 9) == password ? 0 : kStatusBadPassword;
  }
  return kStatusBadUser;
}

Table* Session::FindTable(const std::string& name) const {
  for (const auto& t : tables_)
    if (SameText(t->name, name)) return t.get();
  return nullptr;
}

int16_t Session::NewCursor(int16_t& id) {
  if (cursors_.size() >= static_cast<size_t>(kMaxCursors)) return kStatusCursorLimit;
  while (cursors_.count(nextCursor_) || nextCursor_ <= 0) nextCursor_ = nextCursor_ <= 0 ? 1 : nextCursor_ + 1;
  id = nextCursor_++;
  cursors_[id] = std::make_unique<Cursor>(*this);
  return 0;
}

Cursor* Session::FindCursor(int16_t id) {
  const auto it = cursors_.find(id);
  return it == cursors_.end() ? nullptr : it->second.get();
}

int16_t Session::FreeCursor(int16_t id) {
  return cursors_.erase(id) ? 0 : kStatusInvalidCursor;
}

int16_t Session::Begin(bool explicitly) {
  // A statement inside the explicit transaction is undone alone when it fails or is stopped.
  if (explicitTransaction_)
    return explicitly ? kStatusTransactionActive
                      : ClientCall(&client_, kOpStatement, kStatementBegin);
  // Concurrent: other clients keep reading and writing the records this one has not changed.
  if (int16_t s = ClientCall(&client_, kOpBeginTransaction + kConcurrentBias); s != 0) return s;
  explicitTransaction_ = explicitly;
  return 0;
}

int16_t Session::End(bool commit, bool explicitly) {
  if (explicitly && !explicitTransaction_) return kStatusNoTransaction;
  if (!explicitly && explicitTransaction_)  // the explicit transaction goes on
    return ClientCall(&client_, kOpStatement, commit ? kStatementKeep : kStatementUndo);
  explicitTransaction_ = false;
  return ClientCall(&client_, commit ? kOpEndTransaction : kOpAbortTransaction);
}

int16_t Session::StatusOf(int rc) {
  lastError_ = db_ ? sqlite3_errmsg(db_) : "";
  const int16_t btr = lastBtrieve_;
  lastBtrieve_ = 0;
  if (rc == SQLITE_INTERRUPT) return kStatusStopped;
  if (btr != 0) return btr;
  if (rc == SQLITE_NOMEM) return 101;
  if (lastError_.rfind("no such table", 0) == 0) return kStatusNoSuchTable;
  return kStatusSyntax;
}

ProgressCallback SetProgressCallback(ProgressCallback callback) {
  return gProgress.exchange(callback);
}

bool StopWanted() { return AskToGoOn(nullptr) != 0; }

// PROC.DDF: name (30), version (1), sequence number (2), flags (1), then the statement text;
// a long text spans several records of one name.
namespace {
constexpr size_t kProcFixed = 34;
constexpr size_t kProcChunk = 990;
constexpr uint8_t kStoredStatement = 1;
}  // namespace

int16_t ReadProcedure(Session& session, const std::string& name, std::string& text) {
  BtrFile f(session.Client());
  std::vector<std::string> owners = session.Owners();
  owners.push_back(kDictionaryOwner);
  const int16_t open = f.Open(JoinPath(session.DictionaryDir(), "PROC.DDF"), owners, -2);
  if (open == kBtrNoSuchFile) return kStatusNoSuchProcedure;
  if (open != 0) return open;
  std::vector<std::pair<uint16_t, std::string>> parts;
  std::string rec;
  for (int16_t s = f.Read(kOpStepFirst, rec, nullptr, 0);; s = f.Read(kOpStepNext, rec, nullptr, 0)) {
    if (s == kBtrEndOfFile) break;
    if (s != 0) return s;
    if (rec.size() < kProcFixed || !SameText(Field(rec, 0, 30), name)) continue;
    const uint16_t seq = static_cast<uint16_t>(static_cast<uint8_t>(rec[31]) | static_cast<uint8_t>(rec[32]) << 8);
    parts.emplace_back(seq, rec.substr(kProcFixed));
  }
  if (parts.empty()) return kStatusNoSuchProcedure;
  std::sort(parts.begin(), parts.end());
  text.clear();
  for (auto& p : parts) text += p.second;
  if (const size_t nul = text.find('\0'); nul != std::string::npos) text.resize(nul);
  return 0;
}

int16_t StoreProcedure(Session& session, const std::string& name, const std::string& text) {
  if (name.empty() || name.size() > 30) return kStatusSyntax;
  const std::string path = JoinPath(session.DictionaryDir(), "PROC.DDF");
  BtrFile f(session.Client());
  std::vector<std::string> owners = session.Owners();
  owners.push_back(kDictionaryOwner);
  int16_t s = f.Open(path, owners, 0);
  if (s == kBtrNoSuchFile) {
    // Variable-length records; key 0: the name (case-insensitive) and the sequence number.
    uint8_t definition[16 * 3] = {};
    definition[0] = kProcFixed, definition[3] = 4096 >> 8, definition[4] = 1, definition[10] = 1;
    uint8_t* k = definition + 16;
    k[0] = 1, k[2] = 30, k[4] = 0x10, k[5] = 0x01 | 0x04, k[10] = kString;  // segmented, ext, nocase
    k = definition + 32;
    k[0] = 32, k[2] = 2, k[5] = 0x01, k[10] = kUnsigned;
    char key[kKeyBufferSize] = {};
    std::memcpy(key, path.data(), std::min(path.size(), sizeof key - 1));
    uint32_t len = sizeof definition;
    if (s = f.Call(kOpCreate, definition, len, key, 0); s != 0) return s;
    s = f.Open(path, owners, 0);
  }
  if (s != 0) return s;
  // An earlier procedure of the name is replaced.
  for (;;) {
    uint8_t key[kKeyBufferSize] = {};
    std::memset(key, ' ', 30);
    std::memcpy(key, name.data(), name.size());
    std::string rec;
    s = f.Read(kOpGetGreaterEqual, rec, key, 0);
    if (s != 0 || rec.size() < kProcFixed || !SameText(Field(rec, 0, 30), name)) break;
    uint32_t len = 0;
    if (s = f.Call(kOpDelete, nullptr, len, nullptr, 0); s != 0) return s;
  }
  for (size_t at = 0, seq = 0; at == 0 || at < text.size(); at += kProcChunk, ++seq) {
    std::string rec(kProcFixed, '\0');
    std::memset(rec.data(), ' ', 30);
    std::memcpy(rec.data(), name.data(), name.size());
    rec[30] = 0;
    rec[31] = static_cast<char>(seq), rec[32] = static_cast<char>(seq >> 8);
    rec[33] = static_cast<char>(kStoredStatement);
    rec += text.substr(at, kProcChunk);
    uint32_t len = static_cast<uint32_t>(rec.size());
    if (s = f.Call(kOpInsert, rec.data(), len, nullptr, 0); s != 0) return s;
    if (text.empty()) break;
  }
  return 0;
}

}  // namespace vader::sqlengine
