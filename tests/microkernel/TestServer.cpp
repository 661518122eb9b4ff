#include "TestServer.h"

#include <glob.h>
#include <libpq-fe.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <random>


namespace vader::microkernel::test {
namespace {

std::string BinDir() {
  glob_t g{};
  std::string dir;
  if (::glob("/usr/lib/postgresql/*/bin/initdb", 0, nullptr, &g) == 0 && g.gl_pathc > 0) {
    dir = g.gl_pathv[g.gl_pathc - 1];
    dir.resize(dir.size() - std::string("/initdb").size());
  }
  globfree(&g);
  return dir;
}

int Run(const std::string& command) { return std::system(command.c_str()); }

std::string NewDirectory() {
  char pattern[] = "/tmp/vader-pg-XXXXXX";
  const char* dir = ::mkdtemp(pattern);
  return dir ? dir : "";
}

}  // namespace

bool ServerBackend() {
  const char* v = std::getenv("VADER_MK_BACKEND");
  return v && std::string(v) == "server";
}

TestServer::TestServer(const std::vector<std::string>& addresses, const std::string& netns,
                       const std::string& settings)
    : netns_(netns), settings_(settings), owner_(::getpid()) {
  const std::string bin = BinDir();
  if (bin.empty()) {
    reason_ = "no PostgreSQL server installed (Debian package postgresql)";
    return;
  }
  std::string as;
  if (::geteuid() == 0) {
    // The server refuses to run as root.
    if (!::getpwnam("postgres")) {
      reason_ = "running as root and there is no postgres user to run the server as";
      return;
    }
    as = "runuser -u postgres -- ";
  }
  dir_ = NewDirectory();
  if (dir_.empty()) {
    reason_ = "cannot make a temporary directory";
    return;
  }
  if (!as.empty() && Run("chown postgres " + dir_) != 0) {
    reason_ = "cannot hand the data directory to the postgres user";
    return;
  }
  const std::string quiet = " >>" + dir_ + "/setup.log 2>&1";
  if (Run(as + bin + "/initdb -D " + dir_ + "/data -A trust -U vader --no-sync -E UTF8" + quiet) !=
      0) {
    reason_ = "initdb failed (see " + dir_ + "/setup.log)";
    return;
  }
  // Clients on the server's own links (the test's namespaces) may connect too.
  if (Run("echo 'host all all samenet trust' >> " + dir_ + "/data/pg_hba.conf") != 0) {
    reason_ = "cannot configure client access";
    return;
  }
  for (const std::string& a : addresses) listen_ += (listen_.empty() ? "" : ",") + a;
  as_ = as;
  bin_ = bin;
  std::mt19937 random(std::random_device{}());
  for (int attempt = 0; attempt < 5 && !running_; ++attempt) {
    port_ = 20000 + static_cast<int>(random() % 20000);
    Start();
  }
  if (!running_) reason_ = "the server did not start (see " + dir_ + "/server.log)";
}

bool TestServer::Start() {
  if (running_) return true;
  const std::string inNs = netns_.empty() ? std::string() : "ip netns exec " + netns_ + " ";
  running_ = Run(inNs + as_ + bin_ + "/pg_ctl -w -t 30 -D " + dir_ + "/data -l " + dir_ +
                 "/server.log -o \"-c listen_addresses='" + listen_ + "' -p " +
                 std::to_string(port_) + " -k " + dir_ +
                 " -c fsync=off -c max_connections=200 " + settings_ + "\" start >>" + dir_ +
                 "/setup.log 2>&1") == 0;
  // Should this process die without its destructors (a crash, an abort), a watcher stops the
  // server and removes its directory soon after.
  if (running_ && !watched_) {
    watched_ = true;
    Run("(while kill -0 " + std::to_string(owner_) + " 2>/dev/null; do sleep 1; done; " + as_ +
        bin_ + "/pg_ctl -D " + dir_ + "/data -m immediate stop; rm -rf " + dir_ +
        ") >/dev/null 2>&1 &");
  }
  return running_;
}

TestServer::~TestServer() {
  if (::getpid() != owner_) return;
  Crash();
  std::error_code ec;
  if (!dir_.empty()) std::filesystem::remove_all(dir_, ec);
}

void TestServer::Crash() {
  if (!running_) return;
  running_ = false;
  Run(as_ + bin_ + "/pg_ctl -D " + dir_ + "/data -m immediate stop >/dev/null 2>&1");
}

bool TestServer::Sql(const std::string& script) const {
  // Through the server's private socket directory, which every namespace shares.
  const std::string info =
      "host=" + dir_ + " port=" + std::to_string(port_) + " user=vader dbname=postgres";
  PGconn* conn = PQconnectdb(info.c_str());
  PGresult* r = PQstatus(conn) == CONNECTION_OK ? PQexec(conn, script.c_str()) : nullptr;
  const ExecStatusType status = r ? PQresultStatus(r) : PGRES_FATAL_ERROR;
  PQclear(r);
  PQfinish(conn);
  return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
}

int TestServer::AsServerUser(const std::string& command) const { return Run(as_ + command); }

std::string TestServer::Location(const std::string& prefix, const std::string& address) const {
  return "btrv://vader@" + address + ":" + std::to_string(port_) + "/postgres/" + prefix;
}

TestServer& TestServer::Shared() {
  static auto* server = new TestServer();
  static struct Stopper {
    ~Stopper() { delete server; }
  } stopper;
  return *server;
}

}  // namespace vader::microkernel::test
