#pragma once
// Names of files kept on a PostgreSQL server: btrv://user@host:port/database/path/FILE.BTR, or a
// local directory mapped to such a location by VADER_BTRV_SERVERS
// ("/local/dir=btrv://user@host:port/database/prefix", several separated by ';').

#include <string>

namespace vader::microkernel {

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
