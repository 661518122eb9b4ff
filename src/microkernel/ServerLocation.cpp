#include "microkernel/ServerLocation.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace vader::microkernel {
namespace {

constexpr char kScheme[] = "btrv://";
constexpr size_t kSchemeLength = sizeof kScheme - 1;

// A value in libpq's key=value syntax: quoted, with quotes and backslashes escaped.
std::string Quoted(const std::string& v) {
  std::string q = "'";
  for (char c : v) {
    if (c == '\'' || c == '\\') q += '\\';
    q += c;
  }
  return q + "'";
}

// Slashes for backslashes, no empty or "." components, ".." taking back the one before it, no
// leading slash.
std::string CleanName(const std::string& raw) {
  std::string out, part;
  auto flush = [&] {
    if (part == "..") {
      const size_t slash = out.rfind('/');
      out.erase(slash == std::string::npos ? 0 : slash);
    } else if (!part.empty() && part != ".") {
      out += (out.empty() ? "" : "/") + part;
    }
    part.clear();
  };
  for (char c : raw) {
    if (c == '/' || c == '\\')
      flush();
    else
      part += c;
  }
  flush();
  return out;
}

struct Mapping {
  std::string directory;
  std::string location;
};

std::vector<Mapping> Mappings() {
  std::vector<Mapping> out;
  const char* v = std::getenv("VADER_BTRV_SERVERS");
  if (!v) return out;
  const std::string all = v;
  size_t start = 0;
  while (start <= all.size()) {
    size_t end = all.find(';', start);
    if (end == std::string::npos) end = all.size();
    const std::string item = all.substr(start, end - start);
    const size_t eq = item.find('=');
    if (eq != std::string::npos && eq > 0) {
      std::string dir = item.substr(0, eq);
      while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
      out.push_back({dir, item.substr(eq + 1)});
    }
    start = end + 1;
  }
  return out;
}

}  // namespace

std::string FileTable(int64_t id) { return "vader_f" + std::to_string(id); }
std::string CountsTable(const std::string& fileTable) { return fileTable + "_counts"; }

std::string DropFileSql(int64_t id) {
  const std::string table = FileTable(id);
  return "DROP TABLE IF EXISTS " + table + ", " + CountsTable(table) +
         "; DELETE FROM vader_files WHERE id = " + std::to_string(id) + "; SELECT pg_notify('" +
         table + "', '')";
}

int ServerTimeoutMilliseconds() {
  constexpr int kDefault = 30000, kLeast = 1000;
  const char* v = std::getenv("VADER_BTRV_SERVER_TIMEOUT_MS");
  const long ms = v ? std::strtol(v, nullptr, 10) : kDefault;
  return ms < kLeast ? kLeast : ms > 3600000 ? 3600000 : static_cast<int>(ms);
}

std::string ServerLocation::ConnInfo() const {
  // Data sent and not acknowledged within the bound ends the connection (tcp_user_timeout);
  // keepalive probes find a silent peer while a call waits for its answer.
  const int ms = ServerTimeoutMilliseconds();
  const std::string seconds = std::to_string(ms / 1000);
  const std::string probe = std::to_string(std::max(1, ms / 3000));
  std::string c = "dbname=" + Quoted(database) + " connect_timeout=" + seconds +
                  " keepalives=1 keepalives_idle=" + probe + " keepalives_interval=" + probe +
                  " keepalives_count=2 tcp_user_timeout=" + std::to_string(ms) +
                  " application_name='vader'";
  if (!user.empty()) c += " user=" + Quoted(user);
  if (!host.empty()) c += " host=" + Quoted(host);
  if (!port.empty()) c += " port=" + Quoted(port);
  return c;
}

std::string ServerLocation::Canonical() const {
  std::string c = kScheme;
  if (!user.empty()) c += user + "@";
  c += host;
  if (!port.empty()) c += ":" + port;
  c += "/" + database;
  if (!name.empty()) c += "/" + name;
  return c;
}

bool IsServerLocation(const std::string& path) {
  return path.size() >= kSchemeLength && path.compare(0, kSchemeLength, kScheme) == 0;
}

bool ParseServerLocation(const std::string& text, ServerLocation& out, bool needName) {
  if (!IsServerLocation(text)) return false;
  std::string rest = text.substr(kSchemeLength);
  for (char& c : rest)
    if (c == '\\') c = '/';
  const size_t slash = rest.find('/');
  if (slash == std::string::npos) return false;
  std::string authority = rest.substr(0, slash);
  const std::string path = rest.substr(slash + 1);
  ServerLocation loc;
  if (const size_t at = authority.rfind('@'); at != std::string::npos) {
    loc.user = authority.substr(0, at);
    authority = authority.substr(at + 1);
  }
  if (const size_t colon = authority.rfind(':'); colon != std::string::npos) {
    loc.port = authority.substr(colon + 1);
    authority = authority.substr(0, colon);
    if (loc.port.empty() || loc.port.find_first_not_of("0123456789") != std::string::npos ||
        loc.port.size() > 5)
      return false;
  }
  loc.host = authority;
  const std::string clean = CleanName(path);
  const size_t dbEnd = clean.find('/');
  loc.database = clean.substr(0, dbEnd);
  loc.name = dbEnd == std::string::npos ? std::string() : clean.substr(dbEnd + 1);
  if (loc.database.empty() || (needName && loc.name.empty())) return false;
  for (const std::string* part : {&loc.user, &loc.host, &loc.database, &loc.name})
    for (char c : *part)
      if (static_cast<unsigned char>(c) < 0x20) return false;
  out = std::move(loc);
  return true;
}

std::string MapToServer(const std::string& path) {
  if (IsServerLocation(path)) return path;
  for (const Mapping& m : Mappings()) {
    const std::string& d = m.directory;
    if (path.compare(0, d.size(), d) == 0 && (path.size() == d.size() || path[d.size()] == '/'))
      return m.location + path.substr(d.size());
  }
  return path;
}

}  // namespace vader::microkernel
