// The record manager on a PostgreSQL server against plain libpq statements doing the same work
// on the same server, in the same run: Get Next, Get Equal and Insert on an N-record file with
// one unique INTEGER key (N = --records=N or VADER_BENCH_RECORDS, default 20,000), and inserts of
// 100 records in one transaction. The baseline is a table (id integer primary key, data bytea)
// read and written with prepared statements: a keyed seek for the next row, an equality lookup,
// an insert. The inserts are also measured with a change announcement (pg_notify) in the
// inserting statement, as the record manager's writes announce themselves to the connections
// reading ahead in the file. Starts its own server (as the tests do); times are wall-clock,
// since the work is mostly the server's.

#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <libpq-fe.h>
#include <limits.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <stdexcept>
#include <string>

#include "microkernel/TestServer.h"

#include "BenchFile.h"
#include "WallTimes.h"
#include "BenchArgs.h"

namespace {

constexpr uint16_t kRecordLength = 100;
uint32_t gRecords = 20000;
BtrCall gCall = nullptr;
vader::microkernel::test::TestServer* gServer = nullptr;
std::map<std::string, double> gNs;  // mean ns per operation, by benchmark name

std::string ExecutableDir() {
  char buf[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  std::string path(buf, n > 0 ? static_cast<size_t>(n) : 0);
  return path.substr(0, path.rfind('/'));
}

void MakeRecord(uint32_t id, uint8_t* rec) {
  std::memset(rec, 'x', kRecordLength);
  std::memcpy(rec, &id, 4);
}

struct BtrieveSide {
  uint8_t pb[128] = {};
  uint8_t key[255] = {};
  uint8_t rec[kRecordLength] = {};

  int16_t Call(uint16_t op, void* data, uint32_t len, int8_t keyNumber = 0) {
    return gCall(op, pb, data, &len, key, 255, keyNumber);
  }
  void Build(const std::string& path) {
    CreateBenchFile(gCall, pb, key, path, kRecordLength);
    FillBenchFile(gCall, pb, key, gRecords, kRecordLength,
                  [](uint32_t id, uint8_t* record) { MakeRecord(id, record); });
  }
};

BtrieveSide* gBtr = nullptr;
PGconn* gPq = nullptr;
PGconn* gListener = nullptr;  // listens to the announcements, as a connection reading ahead

PGresult* Prepared(const char* name, int n, const char* const* values, const int* lengths) {
  static const int formats[2] = {1, 1};
  return PQexecPrepared(gPq, name, n, values, lengths, formats, 1);
}

void Setup() {
  void* lib = ::dlopen((ExecutableDir() + "/libwbtrv32.so").c_str(), RTLD_NOW);
  if (!lib) throw std::runtime_error("cannot load libwbtrv32.so");
  gCall = reinterpret_cast<BtrCall>(::dlsym(lib, "BTRCALL"));
  gServer = new vader::microkernel::test::TestServer();
  if (!gServer->Running()) throw std::runtime_error("no server: " + gServer->Reason());
  gBtr = new BtrieveSide();
  gBtr->Build(gServer->Location("bench/DATA.BTR"));
  gPq = PQconnectdb(("host=127.0.0.1 port=" + std::to_string(gServer->Port()) +
                     " user=vader dbname=postgres").c_str());
  if (PQstatus(gPq) != CONNECTION_OK) throw std::runtime_error("libpq connect");
  PQclear(PQexec(gPq,
                 ("CREATE TABLE plain(id integer PRIMARY KEY, data bytea NOT NULL);"
                  "INSERT INTO plain SELECT g, decode(repeat('78', 100), 'hex') FROM "
                  "generate_series(1, " + std::to_string(gRecords) + ") g; ANALYZE plain;")
                     .c_str()));
  PQclear(PQprepare(gPq, "next", "SELECT id, data FROM plain WHERE id > $1::int4 ORDER BY id LIMIT 1", 0, nullptr));
  PQclear(PQprepare(gPq, "equal", "SELECT id, data FROM plain WHERE id = $1::int4", 0, nullptr));
  PQclear(PQprepare(gPq, "insert", "INSERT INTO plain(id, data) VALUES($1::int4, $2::bytea)", 0, nullptr));
  gListener = PQconnectdb(("host=127.0.0.1 port=" + std::to_string(gServer->Port()) +
                           " user=vader dbname=postgres").c_str());
  if (PQstatus(gListener) != CONNECTION_OK) throw std::runtime_error("libpq connect");
  PQclear(PQprepare(gPq, "insert_announced",
                    "INSERT INTO plain(id, data) VALUES($1::int4, $2::bytea) RETURNING "
                    "pg_notify('plain', '')",
                    0, nullptr));
}

uint32_t Be(uint32_t v) { return __builtin_bswap32(v); }

void BM_GetNext_RecordManager(benchmark::State& state) {
  uint8_t buf[kRecordLength];
  gBtr->Call(12, buf, sizeof buf);
  for (auto _ : state)
    if (gBtr->Call(6, buf, sizeof buf) != 0) gBtr->Call(12, buf, sizeof buf);
}

void BM_GetNext_Libpq(benchmark::State& state) {
  uint32_t at = 0;
  for (auto _ : state) {
    const uint32_t be = Be(at);
    const char* values[] = {reinterpret_cast<const char*>(&be)};
    const int lengths[] = {4};
    PGresult* r = Prepared("next", 1, values, lengths);
    if (PQntuples(r) == 1) {
      std::memcpy(&at, PQgetvalue(r, 0, 0), 4);
      at = Be(at);
    } else {
      at = 0;
    }
    PQclear(r);
  }
}

void BM_GetEqual_RecordManager(benchmark::State& state) {
  std::mt19937 random(7);
  uint8_t buf[kRecordLength];
  for (auto _ : state) {
    const uint32_t id = random() % gRecords + 1;
    std::memcpy(gBtr->key, &id, 4);
    if (gBtr->Call(5, buf, sizeof buf) != 0) state.SkipWithError("get equal");
  }
}

void BM_GetEqual_Libpq(benchmark::State& state) {
  std::mt19937 random(7);
  for (auto _ : state) {
    const uint32_t be = Be(random() % gRecords + 1);
    const char* values[] = {reinterpret_cast<const char*>(&be)};
    const int lengths[] = {4};
    PGresult* r = Prepared("equal", 1, values, lengths);
    if (PQntuples(r) != 1) state.SkipWithError("equal");
    PQclear(r);
  }
}

// Ids above every record the file holds, for the insert benchmarks of either side.
uint32_t NextId() {
  static uint32_t next = 0;
  if (next == 0) next = gRecords + 1;
  return next++;
}

void BM_Insert_RecordManager(benchmark::State& state) {
  uint8_t rec[kRecordLength];
  for (auto _ : state) {
    MakeRecord(NextId(), rec);
    if (gBtr->Call(2, rec, kRecordLength, -1) != 0) state.SkipWithError("insert");
  }
}

bool PlainInsert(const char* statement) {
  uint8_t rec[kRecordLength];
  const uint32_t id = NextId();
  MakeRecord(id, rec);
  const uint32_t be = Be(id);
  const char* values[] = {reinterpret_cast<const char*>(&be), reinterpret_cast<const char*>(rec)};
  const int lengths[] = {4, kRecordLength};
  PGresult* r = Prepared(statement, 2, values, lengths);
  const ExecStatusType status = PQresultStatus(r);
  PQclear(r);
  return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
}

void BM_Insert_Libpq(benchmark::State& state) {
  for (auto _ : state)
    if (!PlainInsert("insert")) state.SkipWithError("insert");
}

void BM_Insert_LibpqAnnounced(benchmark::State& state) {
  for (auto _ : state)
    if (!PlainInsert("insert_announced")) state.SkipWithError("insert");
}

// Reads what the server announced to the listener so far, as its next call would.
void DrainListener() {
  PQconsumeInput(gListener);
  while (PGnotify* n = PQnotifies(gListener)) PQfreemem(n);
}

// The same while another connection listens: each commit then wakes its server process.
void BM_Insert_LibpqAnnouncedListened(benchmark::State& state) {
  PQclear(PQexec(gListener, "LISTEN plain"));
  uint32_t n = 0;
  for (auto _ : state) {
    if (!PlainInsert("insert_announced")) state.SkipWithError("insert");
    if (++n % 256 == 0) DrainListener();
  }
  PQclear(PQexec(gListener, "UNLISTEN plain"));
  DrainListener();
}

constexpr int kPerTransaction = 100;

// Records inserted, one transaction of kPerTransaction an iteration; times are per record.
void BM_InsertInTransaction_RecordManager(benchmark::State& state) {
  uint8_t rec[kRecordLength], scratch[4];
  for (auto _ : state) {
    gBtr->Call(19, scratch, 0);
    for (int i = 0; i < kPerTransaction; ++i) {
      MakeRecord(NextId(), rec);
      if (gBtr->Call(2, rec, kRecordLength, -1) != 0) state.SkipWithError("insert");
    }
    if (gBtr->Call(20, scratch, 0) != 0) state.SkipWithError("end transaction");
  }
  state.SetItemsProcessed(state.iterations() * kPerTransaction);
}

void PlainTransaction(benchmark::State& state, const char* statement) {
  for (auto _ : state) {
    PQclear(PQexec(gPq, "BEGIN"));
    for (int i = 0; i < kPerTransaction; ++i)
      if (!PlainInsert(statement)) state.SkipWithError("insert");
    PQclear(PQexec(gPq, "COMMIT"));
  }
  state.SetItemsProcessed(state.iterations() * kPerTransaction);
}

void BM_InsertInTransaction_Libpq(benchmark::State& state) { PlainTransaction(state, "insert"); }

void BM_InsertInTransaction_LibpqAnnounced(benchmark::State& state) {
  PlainTransaction(state, "insert_announced");
}

}  // namespace

BENCHMARK(BM_GetNext_RecordManager)->UseRealTime();
BENCHMARK(BM_GetNext_Libpq)->UseRealTime();
BENCHMARK(BM_GetEqual_RecordManager)->UseRealTime();
BENCHMARK(BM_GetEqual_Libpq)->UseRealTime();
BENCHMARK(BM_Insert_RecordManager)->UseRealTime();
BENCHMARK(BM_Insert_Libpq)->UseRealTime();
BENCHMARK(BM_Insert_LibpqAnnounced)->UseRealTime();
BENCHMARK(BM_Insert_LibpqAnnouncedListened)->UseRealTime();
BENCHMARK(BM_InsertInTransaction_RecordManager)->UseRealTime();
BENCHMARK(BM_InsertInTransaction_Libpq)->UseRealTime();
BENCHMARK(BM_InsertInTransaction_LibpqAnnounced)->UseRealTime();

int main(int argc, char** argv) {
  gRecords = static_cast<uint32_t>(vader::bench::TakeRecords(argc, argv, gRecords));
  try {
    Setup();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "server_bench: %s\n", e.what());
    delete gServer;
    return 1;
  }
  benchmark::Initialize(&argc, argv);
  WallTimeReporter reporter(gNs);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\nRatio = record manager (or libpq announcing) / plain libpq, wall time per "
              "record, median; mean +- standard deviation with repetitions:\n");
  const std::pair<const char*, const char*> pairs[] = {
      {"GetNext", "RecordManager"},        {"GetEqual", "RecordManager"},
      {"Insert", "RecordManager"},         {"Insert", "LibpqAnnounced"},
      {"Insert", "LibpqAnnouncedListened"},
      {"InsertInTransaction", "RecordManager"}, {"InsertInTransaction", "LibpqAnnounced"}};
  for (const auto& [op, side] : pairs) {
    const std::string name = std::string("BM_") + op + "_" + side + "/real_time";
    const std::string base = std::string("BM_") + op + "_Libpq/real_time";
    const auto a = gNs.find(name), b = gNs.find(base);
    if (a == gNs.end() || b == gNs.end() || b->second <= 0) continue;
    const double per = std::string(op) == "InsertInTransaction" ? kPerTransaction : 1;
    const auto sa = reporter.SpreadOf(name), sb = reporter.SpreadOf(base);
    std::printf("  %-19s %-22s %8.1f us (%.1f +- %.1f)  %8.1f us (%.1f +- %.1f)  %.2f\n", op, side,
                a->second / per / 1000, sa.mean / per / 1000, sa.stddev / per / 1000,
                b->second / per / 1000, sb.mean / per / 1000, sb.stddev / per / 1000,
                a->second / b->second);
  }
  PQfinish(gPq);
  PQfinish(gListener);
  delete gServer;
  return 0;
}
