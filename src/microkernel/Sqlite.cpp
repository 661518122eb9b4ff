#include "microkernel/Sqlite.h"

#include <cstring>
#include <thread>

#include "microkernel/WaitHook.h"

namespace vader::microkernel {

Statement::Statement(sqlite3* db, const std::string& sql) {
  if (sqlite3_prepare_v3(db, sql.c_str(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT,
                         &stmt_, nullptr) != SQLITE_OK)
    stmt_ = nullptr;
}

Statement::~Statement() { sqlite3_finalize(stmt_); }

Statement& Statement::Bind(int index, const Bytes& blob) {
  sqlite3_bind_blob(stmt_, index, blob.data(), static_cast<int>(blob.size()), SQLITE_TRANSIENT);
  return *this;
}

Statement& Statement::BindStatic(int index, const Bytes& blob) {
  sqlite3_bind_blob(stmt_, index, blob.data(), static_cast<int>(blob.size()), SQLITE_STATIC);
  return *this;
}

Statement& Statement::Bind(int index, int64_t value) {
  sqlite3_bind_int64(stmt_, index, value);
  return *this;
}

int Statement::Step() { return sqlite3_step(stmt_); }

void Statement::Reset() {
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
}

int64_t Statement::Int(int column) const { return sqlite3_column_int64(stmt_, column); }

const uint8_t* Statement::BlobData(int column) const {
  return static_cast<const uint8_t*>(sqlite3_column_blob(stmt_, column));
}

size_t Statement::BlobSize(int column) const {
  return static_cast<size_t>(sqlite3_column_bytes(stmt_, column));
}

Bytes Statement::Blob(int column) const {
  const uint8_t* p = BlobData(column);
  return p ? Bytes(reinterpret_cast<const char*>(p), BlobSize(column)) : Bytes();
}

namespace {

// `path` as a file URI: the characters that end or escape a URI's path are escaped.
std::string FileUri(const std::string& path) {
  std::string uri = "file:";
  for (char c : path) {
    if (c == '%' || c == '?' || c == '#') {
      constexpr char kHex[] = "0123456789ABCDEF";
      const auto byte = static_cast<unsigned char>(c);
      uri += {'%', kHex[byte >> 4], kHex[byte & 15]};
    } else {
      uri += c;
    }
  }
  return uri;
}

}  // namespace

int Connection::Open(const std::string& path, bool create) {
  return OpenWith(path,
                  SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (create ? SQLITE_OPEN_CREATE : 0));
}

int Connection::OpenReadOnly(const std::string& path, bool immutable) {
  return OpenWith(FileUri(path) + (immutable ? "?immutable=1" : "?mode=ro"),
                  SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_URI);
}

int Connection::OpenWith(const std::string& name, int flags) {
  const int rc = sqlite3_open_v2(name.c_str(), &db_, flags, nullptr);
  if (rc != SQLITE_OK) {
    sqlite3_close_v2(db_);
    db_ = nullptr;
  }
  return rc;
}

Connection::~Connection() { sqlite3_close_v2(db_); }

int Connection::Exec(const std::string& sql) {
  return sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr);
}

void Connection::SetBusyTimeout(int ms) {
  busyMilliseconds_ = ms;
  sqlite3_busy_handler(db_, ms > 0 ? &Connection::WaitWhileBusy : nullptr, this);
}

// Another connection is writing: waits a little and tries again, until the time is up or the
// caller's hook ends the wait.
int Connection::WaitWhileBusy(void* self, int tries) {
  auto& connection = *static_cast<Connection*>(self);
  const auto now = std::chrono::steady_clock::now();
  if (tries == 0) connection.busySince_ = now;
  if (now - connection.busySince_ >= std::chrono::milliseconds(connection.busyMilliseconds_))
    return 0;
  std::this_thread::sleep_for(std::chrono::milliseconds(tries < 10 ? 1 : 5));
  return WaitGoesOn() ? 1 : 0;
}

namespace {

constexpr int kIndexRegionSize = 32768;      // the unit in which SQLite maps the shared index
constexpr uint32_t kIndexVersion = 3007000;  // first word of the header of the current format

}  // namespace

bool CommitWatch::Attach(sqlite3* db) {
  header_ = nullptr;
  if (sqlite3_db_readonly(db, "main") != 0) return false;
  {
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db, "PRAGMA journal_mode", -1, &s, nullptr) != SQLITE_OK) return false;
    const bool wal =
        sqlite3_step(s) == SQLITE_ROW && sqlite3_column_text(s, 0) != nullptr &&
        std::strcmp(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)), "wal") == 0;
    sqlite3_finalize(s);
    if (!wal) return false;
  }
  sqlite3_file* file = nullptr;
  if (sqlite3_file_control(db, "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK || !file ||
      !file->pMethods || file->pMethods->iVersion < 2 || !file->pMethods->xShmMap)
    return false;
  // The region is already mapped: the connection has read the database, so its index is set up.
  volatile void* region = nullptr;
  if (file->pMethods->xShmMap(file, 0, kIndexRegionSize, 0, &region) != SQLITE_OK || !region)
    return false;
  const auto* header = static_cast<const volatile uint32_t*>(region);
  if (header[0] != kIndexVersion) return false;
  header_ = header;
  return true;
}

CommitWatch::Stamp CommitWatch::Read() const {
  Stamp stamp{};
  // The first copy of the header is the one a commit writes last.
  for (size_t i = 0; i < stamp.size(); ++i)
    stamp[i] = __atomic_load_n(const_cast<const uint32_t*>(header_) + i, __ATOMIC_ACQUIRE);
  return stamp;
}

}  // namespace vader::microkernel
