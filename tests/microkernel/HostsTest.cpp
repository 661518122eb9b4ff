// Several machines on one server: clients in network namespaces of their own, each reaching a
// PostgreSQL server in a third namespace over a veth link, share one file.

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>

#include "ChildProcess.h"
#include "Fixture.h"

namespace vader::microkernel::test {
namespace {

// The test's own network: namespace S holds the server; hosts A and B each have a veth link
// to it, 10.213.N.2 on the host and 10.213.N.1 on the server's side.
class Network {
 public:
  Network() : tag_("v" + std::to_string(::getpid() % 1000000)) {
    if (::geteuid() != 0) {
      reason_ = "making network namespaces needs root";
      return;
    }
    ok_ = Sh("ip netns add " + Ns('s'));
    for (int n = 1; ok_ && n <= 2; ++n) {
      const std::string host = Ns(n == 1 ? 'a' : 'b'), end = tag_ + char('0' + n);
      ok_ = Sh("ip netns add " + host) &&
            Sh("ip link add " + end + "s type veth peer name " + end + "h") &&
            Sh("ip link set " + end + "s netns " + Ns('s')) &&
            Sh("ip link set " + end + "h netns " + host) &&
            Sh(In('s') + "ip addr add " + Server(n) + "/24 dev " + end + "s") &&
            Sh("ip netns exec " + host + " ip addr add 10.213." + std::to_string(n) +
               ".2/24 dev " + end + "h") &&
            Sh(In('s') + "ip link set " + end + "s up") &&
            Sh("ip netns exec " + host + " ip link set " + end + "h up") &&
            Sh("ip netns exec " + host + " ip link set lo up");
    }
    ok_ = ok_ && Sh(In('s') + "ip link set lo up");
    if (!ok_) reason_ = "cannot make network namespaces here (ip netns, veth)";
  }
  ~Network() {
    for (char c : {'a', 'b', 's'}) Sh("ip netns del " + Ns(c));
  }
  bool Ok() const { return ok_; }
  // Takes the server's end of host `host`'s link down, or brings it up again (forgetting the
  // neighbours that went unanswered meanwhile, which would refuse new connections a while).
  bool SetLink(int host, bool up) const {
    const std::string hostNs = Ns(host == 1 ? 'a' : 'b');
    return Sh(In('s') + "ip link set " + tag_ + char('0' + host) + "s " + (up ? "up" : "down")) &&
           (!up || (Sh(In('s') + "ip neigh flush all") &&
                    Sh("ip netns exec " + hostNs + " ip neigh flush all")));
  }
  const std::string& Reason() const { return reason_; }
  std::string Ns(char c) const { return tag_ + c; }
  static std::string Server(int host) { return "10.213." + std::to_string(host) + ".1"; }

 private:
  std::string In(char c) const { return "ip netns exec " + Ns(c) + " "; }
  static bool Sh(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
  }
  std::string tag_;
  bool ok_ = false;
  std::string reason_;
};

class HostsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    network_ = new Network();
    if (network_->Ok())
      server_ = new TestServer({Network::Server(1), Network::Server(2)}, network_->Ns('s'));
  }
  static void TearDownTestSuite() {
    delete server_;
    delete network_;
    server_ = nullptr;
    network_ = nullptr;
  }
  void SetUp() override {
    if (!network_->Ok()) GTEST_SKIP() << network_->Reason();
    if (!server_->Running()) GTEST_SKIP() << "no PostgreSQL server: " << server_->Reason();
    ::setenv("VADER_BTRV_WAIT_MS", "400", 1);
    static int run = 0;
    prefix_ = "h" + std::to_string(::getpid()) + "_" + std::to_string(++run) + "/";
  }
  void TearDown() override { ::unsetenv("VADER_BTRV_WAIT_MS"); }
  // File `name` as host 1 (A) or 2 (B) reaches it.
  std::string On(int host, const std::string& name) const {
    return server_->Location(prefix_ + name, Network::Server(host));
  }
  std::string Host(int host) const { return network_->Ns(host == 1 ? 'a' : 'b'); }
  // Asks host `host`'s writer to run one write, retrying for up to two seconds while it gives
  // `retryOn`.
  static std::string AskUntil(Child& writer, const std::string& line, const std::string& retryOn) {
    std::string answer;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    do {
      answer = writer.Ask(line);
    } while (answer == retryOn && std::chrono::steady_clock::now() < end);
    return answer;
  }

  static Network* network_;
  static TestServer* server_;
  std::string prefix_;
};

Network* HostsTest::network_ = nullptr;
TestServer* HostsTest::server_ = nullptr;

TEST_F(HostsTest, ConcurrentUpdatesFromTwoHostsLoseNothing) {
  Child creator("people", {On(1, "shared")}, Host(1));
  ASSERT_EQ("created", creator.Line());
  constexpr int kEach = 60;
  Child a("bump", {On(1, "shared"), "1", std::to_string(kEach)}, Host(1));
  Child b("bump", {On(2, "shared"), "1", std::to_string(kEach)}, Host(2));
  EXPECT_EQ("done", a.Line().substr(0, 4));
  EXPECT_EQ("done", b.Line().substr(0, 4));
  // Every increment of both hosts is in the record.
  Child check("bump", {On(2, "shared"), "1", "0"}, Host(2));
  EXPECT_EQ("done " + std::to_string(2 * kEach), check.Line());
}

TEST_F(HostsTest, ConcurrentInsertsUnderOneDuplicateKeyValue) {
  Child creator("people", {On(1, "shared")}, Host(1));
  ASSERT_EQ("created", creator.Line());
  // Both hosts insert records that all share one name, a duplicate key: each new entry's
  // sequence is drawn under the file's write lock.
  constexpr int kEach = 80;
  Child a("insert", {On(1, "shared"), "1000", std::to_string(kEach)}, Host(1));
  Child b("insert", {On(2, "shared"), "2000", std::to_string(kEach)}, Host(2));
  for (int i = 0; i < kEach; ++i) {
    ASSERT_EQ(std::to_string(1000 + i), a.Line());
    ASSERT_EQ(std::to_string(2000 + i), b.Line());
  }
  Child writer("write", {On(2, "shared")}, Host(2));
  for (int id : {1000, 1000 + kEach - 1, 2000, 2000 + kEach - 1})
    EXPECT_EQ("0", writer.Ask("u " + std::to_string(id) + " 1")) << id;
  EXPECT_EQ("4", writer.Ask("u 3000 1"));
}

TEST_F(HostsTest, LocksAndTransactionsAcrossHosts) {
  Child creator("people", {On(1, "a"), On(1, "b")}, Host(1));
  ASSERT_EQ("created", creator.Line());
  Child writerB("write", {On(2, "a")}, Host(2));
  ASSERT_EQ("0", writerB.Ask("i 2 0"));
  {
    // A record lock taken on host A holds off host B's update until A's client dies.
    Child locker("lock", {On(1, "a"), "2"}, Host(1));
    ASSERT_EQ("locked", locker.Line());
    EXPECT_EQ("84", writerB.Ask("u 2 5"));
    locker.Kill();
    EXPECT_EQ("0", AskUntil(writerB, "u 2 6", "84"));
  }
  {
    // A transaction over two files on host A, killed before its end: host B sees none of its
    // writes, is held off while it lives, and can write once it is gone.
    Child txn("txn", {On(1, "a"), On(1, "b"), "7"}, Host(1));
    ASSERT_EQ("inserted", txn.Line());
    EXPECT_EQ("4", writerB.Ask("u 7 1"));  // not visible
    EXPECT_EQ("85", writerB.Ask("u 2 7"));  // the file's writers wait for the transaction
    txn.Kill();
    EXPECT_EQ("0", AskUntil(writerB, "u 2 8", "85"));
  }
  Child writerBb("write", {On(2, "b")}, Host(2));
  EXPECT_EQ("4", writerB.Ask("u 7 1"));
  EXPECT_EQ("4", writerBb.Ask("u 7 1"));
  EXPECT_EQ("0", writerB.Ask("i 7 0"));
  EXPECT_EQ("0", writerBb.Ask("i 7 0"));
}

TEST_F(HostsTest, ACutLinkFailsACallWith95InTheTimeSet) {
  Child creator("people", {On(1, "cut")}, Host(1));
  ASSERT_EQ("created", creator.Line());
  ::setenv("VADER_BTRV_SERVER_TIMEOUT_MS", "2000", 1);
  Child writer("write", {On(2, "cut")}, Host(2));
  ::unsetenv("VADER_BTRV_SERVER_TIMEOUT_MS");
  ASSERT_EQ("0", writer.Ask("i 5 0"));
  ASSERT_TRUE(network_->SetLink(2, false));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ("95", writer.AskWithin("u 5 1", 20000));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  ASSERT_TRUE(network_->SetLink(2, true));
}

}  // namespace
}  // namespace vader::microkernel::test
