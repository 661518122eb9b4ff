// copy-db: copies every record-manager file of a database, between a directory and a server
// location (either way, or directory to directory, server to server).

#include <libpq-fe.h>

#include <algorithm>
#include <filesystem>
#include <memory>

#include "microkernel/ServerLocation.h"
#include "tools/Btrieve.h"
#include "tools/Cli.h"
#include "tools/Records.h"

namespace vader::tools {
namespace {

namespace fs = std::filesystem;
using microkernel::IsServerLocation;
using microkernel::ParseServerLocation;
using microkernel::ServerLocation;

// Files the record manager keeps beside a data file, never data files themselves.
bool SideFile(const std::string& name) {
  for (const char* suffix : {"-wal", "-shm", "-journal", "-vtx", ".creating"}) {
    const std::string s = suffix;
    if (name.size() > s.size() && name.compare(name.size() - s.size(), s.size(), s) == 0)
      return true;
  }
  return false;
}

// The names, relative to `dir`, of the files in a directory tree.
std::vector<std::string> LocalNames(const std::string& dir) {
  std::vector<std::string> names;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::end(it);
       it.increment(ec))
    if (it->is_regular_file() && !SideFile(it->path().filename().string()))
      names.push_back(fs::relative(it->path(), dir).string());
  if (ec) throw std::runtime_error("cannot read the directory " + dir + ": " + ec.message());
  std::sort(names.begin(), names.end());
  return names;
}

// The names, relative to the location's path, of the files kept below it on the server.
std::vector<std::string> ServerNames(const std::string& location) {
  ServerLocation loc;
  if (!ParseServerLocation(location, loc, false))
    throw UsageError("not a server location: " + location);
  std::unique_ptr<PGconn, void (*)(PGconn*)> conn(PQconnectdb(loc.ConnInfo().c_str()), PQfinish);
  if (PQstatus(conn.get()) != CONNECTION_OK)
    throw std::runtime_error("cannot reach the server of " + location + ": " +
                             PQerrorMessage(conn.get()));
  const std::string prefix = loc.name.empty() ? std::string() : loc.name + "/";
  const char* values[] = {prefix.c_str()};
  std::unique_ptr<PGresult, void (*)(PGresult*)> r(
      PQexecParams(conn.get(),
                   "SELECT substr(name, length($1::text) + 1) FROM vader_files"
                   " WHERE starts_with(name, $1::text) ORDER BY name",
                   1, nullptr, values, nullptr, nullptr, 0),
      PQclear);
  std::vector<std::string> names;
  if (PQresultStatus(r.get()) != PGRES_TUPLES_OK) {
    const char* state = PQresultErrorField(r.get(), PG_DIAG_SQLSTATE);
    if (state && std::string(state) == "42P01") return names;  // nothing stored there yet
    throw std::runtime_error("cannot list the files of " + location + ": " +
                             PQresultErrorMessage(r.get()));
  }
  for (int i = 0; i < PQntuples(r.get()); ++i) names.emplace_back(PQgetvalue(r.get(), i, 0));
  return names;
}

std::string Join(const std::string& base, const std::string& name) {
  return base.empty() || base.back() == '/' ? base + name : base + "/" + name;
}

int CopyDb(const Args& a, Context& ctx) {
  a.Expect(2, 2);
  const std::string from = a.At(0), to = a.At(1);
  const std::vector<std::string> names = IsServerLocation(from) ? ServerNames(from) : LocalNames(from);
  size_t files = 0, skipped = 0;
  uint64_t records = 0;
  for (const std::string& name : names) {
    const std::string source = Join(from, name), target = Join(to, name);
    try {
      if (!IsServerLocation(to)) fs::create_directories(fs::path(target).parent_path());
      CloneFile(source, a.Value("owner"), target, a.Has("replace"));
    } catch (const BtrieveError& e) {
      if (e.Status() != 30) throw;  // not a record-manager file: not part of the database
      ++skipped;
      continue;
    }
    records += CopyRecords(source, a.Value("owner"), target, std::string(),
                           ProgressPrinter(a, ctx, "copy " + name));
    ++files;
  }
  ctx.out << "copied " << files << " files (" << records << " records) from " << from << " to "
          << to;
  if (skipped) ctx.out << "; left out " << skipped << " files that are not record-manager files";
  ctx.out << "\n";
  return kExitOk;
}

}  // namespace

std::vector<Command> CopyDbCommands() {
  return {{"copy-db",
           "FROM TO",
           "copy every file of a database between directories and server locations",
           "  FROM, TO       a directory or btrv://user@host:port/database[/path]\n"
           "  --owner NAME   the owner name of the source files\n"
           "  --replace      overwrite files that exist at the target\n"
           "  --quiet        no progress lines\n",
           {"owner"},
           {"replace", "quiet"},
           CopyDb}};
}

}  // namespace vader::tools
