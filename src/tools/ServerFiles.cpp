#include "tools/ServerFiles.h"

#include <libpq-fe.h>

#include <memory>
#include <stdexcept>
#include <vector>

#include "microkernel/ServerLocation.h"

namespace vader::tools {
namespace {

using microkernel::ServerLocation;

ServerLocation LocationOf(const std::string& path) {
  ServerLocation loc;
  if (!microkernel::ParseServerLocation(microkernel::MapToServer(path), loc))
    throw std::runtime_error("not a file on a server: " + path);
  return loc;
}

// One connection to the server database of a file, its catalogue changed in one transaction.
class Catalogue {
 public:
  explicit Catalogue(const ServerLocation& loc)
      : conn_(PQconnectdb(loc.ConnInfo().c_str()), PQfinish) {
    if (PQstatus(conn_.get()) != CONNECTION_OK)
      throw std::runtime_error("cannot reach the server: " +
                               std::string(PQerrorMessage(conn_.get())));
    // The server's notices stay off the program's error output.
    PQsetNoticeReceiver(conn_.get(), [](void*, const PGresult*) {}, nullptr);
    Exec("SET statement_timeout = " + std::to_string(microkernel::ServerTimeoutMilliseconds()));
    LookForCatalogue();
  }
  ~Catalogue() {
    if (open_) PQclear(PQexec(conn_.get(), "ROLLBACK"));
  }
  Catalogue(const Catalogue&) = delete;
  Catalogue& operator=(const Catalogue&) = delete;

  // Begins the transaction and waits for the catalogue, as the record manager changes it.
  void Begin() {
    Exec("BEGIN");
    open_ = true;
    Exec("SELECT pg_advisory_xact_lock(" + std::to_string(microkernel::kCatalogueLock) + ")");
    LookForCatalogue();  // a file created meanwhile may have made it
  }
  void Commit() {
    Exec("COMMIT");
    open_ = false;
  }
  // The id of the file called `name` in the catalogue; 0 when there is none.
  int64_t FileId(const std::string& name) {
    if (!hasCatalogue_) return 0;
    const Result r = Run("SELECT id FROM vader_files WHERE name = $1::text", {name});
    return PQntuples(r.get()) == 1 ? std::stoll(PQgetvalue(r.get(), 0, 0)) : 0;
  }
  void Drop(int64_t id) { Exec(microkernel::DropFileSql(id)); }
  void Rename(int64_t id, const std::string& name) {
    Run("UPDATE vader_files SET name = $1::text WHERE id = " + std::to_string(id), {name});
  }

 private:
  using Result = std::unique_ptr<PGresult, void (*)(PGresult*)>;

  // A server database where no file was ever created has no catalogue.
  void LookForCatalogue() {
    const Result r = Run("SELECT to_regclass('vader_files') IS NOT NULL", {});
    hasCatalogue_ = std::string(PQgetvalue(r.get(), 0, 0)) == "t";
  }

  void Exec(const std::string& sql) { Check(Result(PQexec(conn_.get(), sql.c_str()), PQclear)); }
  // A statement with text parameters.
  Result Run(const std::string& sql, const std::vector<std::string>& params) {
    std::vector<const char*> values;
    for (const std::string& p : params) values.push_back(p.c_str());
    Result r(PQexecParams(conn_.get(), sql.c_str(), static_cast<int>(values.size()), nullptr,
                          values.data(), nullptr, nullptr, 0),
             PQclear);
    return Check(std::move(r));
  }
  static Result Check(Result r) {
    const ExecStatusType status = PQresultStatus(r.get());
    if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) return r;
    throw std::runtime_error("the server refused to change its files: " +
                             std::string(PQresultErrorMessage(r.get())));
  }

  std::unique_ptr<PGconn, void (*)(PGconn*)> conn_;
  bool open_ = false;
  bool hasCatalogue_ = false;
};

}  // namespace

bool IsServerFile(const std::string& path) {
  return microkernel::IsServerLocation(microkernel::MapToServer(path));
}

bool ServerFileExists(const std::string& path) {
  const ServerLocation loc = LocationOf(path);
  return Catalogue(loc).FileId(loc.name) != 0;
}

bool RemoveServerFile(const std::string& path) {
  try {
    const ServerLocation loc = LocationOf(path);
    Catalogue catalogue(loc);
    catalogue.Begin();
    const int64_t id = catalogue.FileId(loc.name);
    if (id == 0) return false;
    catalogue.Drop(id);
    catalogue.Commit();
    return true;
  } catch (const std::runtime_error&) {
    return false;  // the file stays; the next restructure of the table removes it
  }
}

void SwapServerFiles(const std::string& path, const std::string& rebuilt,
                     const std::string& retired) {
  const ServerLocation loc = LocationOf(path);
  Catalogue catalogue(loc);
  catalogue.Begin();
  const int64_t rebuiltId = catalogue.FileId(LocationOf(rebuilt).name);
  if (rebuiltId == 0) return;  // the copy is in place already
  if (const int64_t current = catalogue.FileId(loc.name)) {
    const std::string retiredName = LocationOf(retired).name;
    if (const int64_t leftover = catalogue.FileId(retiredName)) catalogue.Drop(leftover);
    catalogue.Rename(current, retiredName);
  }
  catalogue.Rename(rebuiltId, loc.name);
  catalogue.Commit();
}

void DiscardServerLeftovers(const std::string& path, const std::string& rebuilt,
                            const std::string& retired) {
  const ServerLocation loc = LocationOf(path);
  Catalogue catalogue(loc);
  catalogue.Begin();
  if (const int64_t copy = catalogue.FileId(LocationOf(rebuilt).name)) catalogue.Drop(copy);
  if (const int64_t old = catalogue.FileId(LocationOf(retired).name)) {
    if (catalogue.FileId(loc.name) != 0)
      catalogue.Drop(old);
    else
      catalogue.Rename(old, loc.name);
  }
  catalogue.Commit();
}

}  // namespace vader::tools
