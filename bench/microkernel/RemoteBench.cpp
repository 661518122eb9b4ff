// Reading a file through a server on another machine against reading the same file locally, in
// the same run: a walk of N records by Get Next, and by Get Next Extended (100 records a call),
// over a link with about 1.2 ms round trip (N = --records=N or VADER_BENCH_RECORDS, default
// 100,000). The benchmark makes its own network namespace, starts its own server in it, and
// delays the loopback link there: by the kernel's netem queue where there is one, otherwise by a
// relay that holds all data 0.6 ms each way. Without the right to make a namespace it says so
// and measures nothing. Prints the ratios at the end.

#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <limits.h>
#include <sched.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "microkernel/TestServer.h"

#include "BenchFile.h"
#include "WallTimes.h"
#include "DelayedLink.h"
#include "BenchArgs.h"

namespace {

constexpr uint16_t kRecordLength = 100;
constexpr std::chrono::microseconds kOneWay{600};
constexpr uint16_t kExtendedCount = 100;
constexpr uint16_t kExtractLength = 24;
constexpr size_t kExtendedReply = 2 + kExtendedCount * (6 + kExtractLength);
constexpr int16_t kEndOfFile = 9;
constexpr uint32_t kFillTransaction = 2000;

uint32_t gRecords = 100000;
BtrCall gCall = nullptr;
std::map<std::string, double> gNs;  // mean ns per walk, by benchmark name

std::string ExecutableDir() {
  char buf[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  std::string path(buf, n > 0 ? static_cast<size_t>(n) : 0);
  return path.substr(0, path.rfind('/'));
}

bool Quiet(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

struct OpenFile {
  uint8_t pb[128] = {};
  uint8_t key[255] = {};

  int16_t Call(uint16_t op, void* data, uint32_t length) {
    return gCall(op, pb, data, &length, key, 255, 0);
  }
  void Create(const std::string& path) {
    CreateBenchFile(gCall, pb, key, path, kRecordLength);
    // A server transaction holds a lock per write until it ends: a few thousand at a time.
    FillBenchFile(
        gCall, pb, key, gRecords, kRecordLength,
        [](uint32_t id, uint8_t* record) {
          std::memset(record, 'x', kRecordLength);
          std::memcpy(record, &id, 4);
        },
        kFillTransaction);
  }
  void Open(const std::string& path) {
    std::strncpy(reinterpret_cast<char*>(key), path.c_str(), sizeof key - 1);
    uint32_t length = 0;
    if (gCall(0, pb, nullptr, &length, key, 255, 0) != 0) throw std::runtime_error("open " + path);
  }
};

OpenFile* gLocal = nullptr;
OpenFile* gRemote = nullptr;

// Get First, then Get Next to the end: every record once.
void Walk(benchmark::State& state, OpenFile& file) {
  uint8_t record[kRecordLength];
  for (auto _ : state) {
    uint32_t seen = file.Call(12, record, sizeof record) == 0 ? 1 : 0;
    while (file.Call(6, record, sizeof record) == 0) ++seen;
    if (seen != gRecords) state.SkipWithError("the walk missed records");
  }
  state.SetItemsProcessed(state.iterations() * gRecords);
}

// Get First, then Get Next Extended of 100 records (no filter, the first 24 bytes of each) to
// the end.
void WalkExtended(benchmark::State& state, OpenFile& file) {
  std::vector<uint8_t> buffer(kExtendedReply);
  uint8_t record[kRecordLength];
  const uint8_t descriptor[] = {16, 0, 'U', 'C', 0, 0, 0, 0, kExtendedCount, 0,
                                1,  0, kExtractLength, 0, 0, 0};
  for (auto _ : state) {
    uint32_t seen = file.Call(12, record, sizeof record) == 0 ? 1 : 0;
    for (;;) {
      std::memcpy(buffer.data(), descriptor, sizeof descriptor);
      const int16_t s = file.Call(36, buffer.data(), static_cast<uint32_t>(buffer.size()));
      uint16_t count = 0;
      std::memcpy(&count, buffer.data(), 2);
      if (s != 0 && s != kEndOfFile) {
        state.SkipWithError("get next extended");
        return;
      }
      seen += count;
      if (s == kEndOfFile) break;
    }
    if (seen != gRecords) state.SkipWithError("the extended walk missed records");
  }
  state.SetItemsProcessed(state.iterations() * gRecords);
}

void BM_Walk_Local(benchmark::State& state) { Walk(state, *gLocal); }
void BM_Walk_Server(benchmark::State& state) { Walk(state, *gRemote); }
void BM_WalkExtended_Local(benchmark::State& state) { WalkExtended(state, *gLocal); }
void BM_WalkExtended_Server(benchmark::State& state) { WalkExtended(state, *gRemote); }

// The server, the two files and the delay; undone in reverse order.
struct Setup {
  std::string dir;
  std::unique_ptr<vader::microkernel::test::TestServer> server;
  std::unique_ptr<DelayedLink> link;
  std::string how;  // which delay is in place

  void Start() {
    void* lib = ::dlopen((ExecutableDir() + "/libwbtrv32.so").c_str(), RTLD_NOW);
    if (!lib) throw std::runtime_error("cannot load libwbtrv32.so");
    gCall = reinterpret_cast<BtrCall>(::dlsym(lib, "BTRCALL"));
    char pattern[] = "/tmp/vader-remote-bench-XXXXXX";
    if (!::mkdtemp(pattern)) throw std::runtime_error("cannot make a temporary directory");
    dir = pattern;
    server = std::make_unique<vader::microkernel::test::TestServer>();
    if (!server->Running()) throw std::runtime_error("no server: " + server->Reason());
    gLocal = new OpenFile();
    gLocal->Create(dir + "/WALK.BTR");
    // Filled before the delay is in place; read afterwards through the delayed link.
    OpenFile filler;
    try {
      filler.Create(server->Location("bench/WALK.BTR"));
    } catch (const std::exception& e) {
      throw std::runtime_error(std::string("the server's file: ") + e.what());
    }
    filler.Call(1, nullptr, 0);
    std::string location = server->Location("bench/WALK.BTR");
    if (Quiet("tc qdisc add dev lo root netem delay " + std::to_string(kOneWay.count()) + "us")) {
      how = "netem on the namespace's loopback";
    } else {
      link = std::make_unique<DelayedLink>(static_cast<uint16_t>(server->Port()), kOneWay);
      if (!link->Port()) throw std::runtime_error("cannot start the delaying relay");
      const std::string direct = ":" + std::to_string(server->Port()) + "/";
      location.replace(location.find(direct), direct.size(),
                       ":" + std::to_string(link->Port()) + "/");
      how = "a relay holding all data in each direction (no netem here)";
    }
    gRemote = new OpenFile();
    gRemote->Open(location);
  }
  ~Setup() {
    if (gRemote) gRemote->Call(1, nullptr, 0);
    if (gLocal) gLocal->Call(1, nullptr, 0);
    link.reset();
    server.reset();
    if (!dir.empty()) std::filesystem::remove_all(dir);
  }
};

}  // namespace

BENCHMARK(BM_Walk_Local)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Walk_Server)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WalkExtended_Local)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WalkExtended_Server)->UseRealTime()->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  gRecords = static_cast<uint32_t>(vader::bench::TakeRecords(argc, argv, gRecords));
  // A namespace of its own: the delay on its loopback touches nothing else on the machine.
  if (::unshare(CLONE_NEWNET) != 0) {
    std::printf("remote_bench: skipped: making a network namespace needs root (%s)\n",
                std::strerror(errno));
    return 0;
  }
  if (!Quiet("ip link set lo up")) {
    std::printf("remote_bench: skipped: cannot bring up the namespace's loopback\n");
    return 0;
  }
  Setup setup;
  try {
    setup.Start();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "remote_bench: %s\n", e.what());
    return 1;
  }
  std::printf("%u records; delay: %s, %lld us each way\n", gRecords, setup.how.c_str(),
              static_cast<long long>(kOneWay.count()));
  benchmark::Initialize(&argc, argv);
  WallTimeReporter reporter(gNs);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\nRatio = through the delayed server / local file, wall time of the whole walk:\n");
  for (const char* walk : {"Walk", "WalkExtended"}) {
    const auto server = gNs.find(std::string("BM_") + walk + "_Server/real_time");
    const auto local = gNs.find(std::string("BM_") + walk + "_Local/real_time");
    if (server != gNs.end() && local != gNs.end() && local->second > 0)
      std::printf("  %-13s %10.1f ms  %10.1f ms  %.2f\n", walk, server->second, local->second,
                  server->second / local->second);
  }
  return 0;
}
