#pragma once
// Names of files kept on a PostgreSQL server: btrv://user@host:port/database/path/FILE.BTR, or a
// local directory mapped to such a location by VADER_BTRV_SERVERS
// ("/local/dir=btrv://user@host:port/database/prefix", several separated by ';').

#include <cstdint>
#include <string>

namespace vader::microkernel {

// A server database lists its files in the catalogue table vader_files (id, name, definition,
// owner, owner level, generation); the catalogue changes under this transaction advisory lock.
constexpr int64_t kCatalogueLock = 0x56414452;
// The table of the records of file `id`.
std::string FileTable(int64_t id);
// The table of a file's counts, beside the table of its records.
std::string CountsTable(const std::string& fileTable);
// The statements that remove file `id`, its tables and its catalogue row, in the transaction
// they run in; connections reading ahead in the file learn it at commit.
std::string DropFileSql(int64_t id);

struct ServerLocation {
  std::string user;
  std::string host;
  std::string port;
  std::string database;
  std::string name;  // the file's name on the server: the path after the database

  // libpq connection parameters for the server and database.
  std::string ConnInfo() const;
  // The one spelling of the location: the key of per-file state in this process.
  std::string Canonical() const;
};

// How long a server call may go unanswered before it fails with 95 (the network cut, the server
// host gone): VADER_BTRV_SERVER_TIMEOUT_MS, 30000 ms by default, at least 1000.
int ServerTimeoutMilliseconds();

bool IsServerLocation(const std::string& path);
// False for a name that is not a well-formed location (no database or no file name when
// `needName`).
bool ParseServerLocation(const std::string& text, ServerLocation& out, bool needName = true);
// The server location that a local path is mapped to, or the path unchanged.
std::string MapToServer(const std::string& path);

}  // namespace vader::microkernel
