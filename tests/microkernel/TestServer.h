#pragma once
// A private PostgreSQL server for the tests: initdb into a temporary directory, listening on a
// private socket directory and the given addresses only (loopback by default, or addresses of
// a network namespace the test made), run as the postgres user when the tests run as root.

#include <string>
#include <vector>

namespace vader::microkernel::test {

class TestServer {
 public:
  // Starts a server; Running() is false with Reason() set when that is impossible here.
  // `settings`: more server options, as "-c name=value ...".
  explicit TestServer(const std::vector<std::string>& addresses = {"127.0.0.1"},
                      const std::string& netns = std::string(),
                      const std::string& settings = std::string());
  ~TestServer();
  TestServer(const TestServer&) = delete;
  TestServer& operator=(const TestServer&) = delete;

  bool Running() const { return running_; }
  const std::string& Reason() const { return reason_; }
  int Port() const { return port_; }
  // A location on this server through `address`, for file names below `prefix`.
  std::string Location(const std::string& prefix, const std::string& address = "127.0.0.1") const;
  // Stops the server at once, as a crash would; Start brings it back on the same port.
  void Crash();
  bool Start();

  // Runs an SQL script on the server as its superuser; false when it fails.
  bool Sql(const std::string& script) const;
  // Runs a shell command as the user the server runs as.
  int AsServerUser(const std::string& command) const;

  // The program-wide loopback server, started on first use.
  static TestServer& Shared();

 private:
  std::string dir_;
  std::string netns_;
  std::string listen_, as_, bin_, settings_;
  int port_ = 0;
  bool running_ = false;
  bool watched_ = false;
  std::string reason_;
  int owner_ = 0;  // the process that started it: child processes leave it alone
};

// Whether this run of the conformance tests keeps its files on the shared server
// (VADER_MK_BACKEND=server).
bool ServerBackend();

}  // namespace vader::microkernel::test
