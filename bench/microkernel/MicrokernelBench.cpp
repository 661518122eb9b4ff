// Record manager against raw SQLite doing the same work on the same data, in the same run:
// Get Next, Step Next, Get Next Extended (100 records a call), Get Equal, Insert and Get Equal +
// Update on an N-record file (N = --records=N or VADER_BENCH_RECORDS, default 1,000,000). Both
// sides use WAL with synchronous=NORMAL and commit every write on its own. Sequential reads have
// two baselines: raw SQLite seeking once per record ("seek", what a stateless reader does) and a
// raw SQLite statement stepping through the same index ("cursor", the storage engine's limit).
// Prints the ratios at the end.

#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <limits.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "BenchFile.h"
#include "BenchArgs.h"

namespace {

constexpr uint16_t kRecordLength = 100;
uint32_t gRecords = 1000000;
std::string gDir;
BtrCall gCall = nullptr;

std::string ExecutableDir() {
  char buf[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  std::string path(buf, n > 0 ? static_cast<size_t>(n) : 0);
  return path.substr(0, path.rfind('/'));
}

void MakeRecord(uint32_t id, uint32_t salt, uint8_t* rec) {
  std::memset(rec, 'x', kRecordLength);
  std::memcpy(rec, &id, 4);
  std::memcpy(rec + 4, &salt, 4);
}

// A file of N records with one unique INTEGER key on the first four bytes.
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
                  [](uint32_t id, uint8_t* record) { MakeRecord(id, 0, record); });
  }
};

// The same data in one table with a unique index, and the statements that do each operation.
struct SqliteSide {
  sqlite3* db = nullptr;
  sqlite3_stmt* next = nullptr;
  sqlite3_stmt* first = nullptr;
  sqlite3_stmt* equal = nullptr;
  sqlite3_stmt* step = nullptr;
  sqlite3_stmt* byId = nullptr;   // every row in key order, stepped
  sqlite3_stmt* byPos = nullptr;  // every row in physical order, stepped
  sqlite3_stmt* insert = nullptr;
  sqlite3_stmt* update = nullptr;
  sqlite3_stmt* begin = nullptr;
  sqlite3_stmt* commit = nullptr;

  sqlite3_stmt* Prepare(const char* sql) {
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &s, nullptr) != SQLITE_OK)
      throw std::runtime_error(sqlite3_errmsg(db));
    return s;
  }
  void Build(const std::string& path) {
    sqlite3_open(path.c_str(), &db);
    sqlite3_exec(db,
                 "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;"
                 "CREATE TABLE r(pos INTEGER PRIMARY KEY, id INTEGER NOT NULL, data BLOB NOT NULL);"
                 "CREATE UNIQUE INDEX r_id ON r(id);",
                 nullptr, nullptr, nullptr);
    insert = Prepare("INSERT INTO r(id, data) VALUES(?1, ?2)");
    begin = Prepare("BEGIN IMMEDIATE");
    commit = Prepare("COMMIT");
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    uint8_t rec[kRecordLength];
    for (uint32_t id = 1; id <= gRecords; ++id) {
      MakeRecord(id, 0, rec);
      Insert(id, rec);
    }
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    next = Prepare("SELECT id, pos, data FROM r WHERE id > ?1 ORDER BY id LIMIT 1");
    first = Prepare("SELECT id, pos, data FROM r ORDER BY id LIMIT 1");
    equal = Prepare("SELECT id, pos, data FROM r WHERE id = ?1");
    step = Prepare("SELECT pos, data FROM r WHERE pos > ?1 ORDER BY pos LIMIT 1");
    byId = Prepare("SELECT id, pos, data FROM r ORDER BY id");
    byPos = Prepare("SELECT pos, data FROM r ORDER BY pos");
    update = Prepare("UPDATE r SET data = ?1 WHERE pos = ?2");
  }
  void Insert(uint32_t id, const uint8_t* rec) {
    sqlite3_bind_int64(insert, 1, id);
    sqlite3_bind_blob(insert, 2, rec, kRecordLength, SQLITE_STATIC);
    sqlite3_step(insert);
    sqlite3_reset(insert);
  }
  // Steps a read statement; copies the row into `out` as the record manager does.
  static bool Fetch(sqlite3_stmt* s, int dataColumn, int64_t& a, int64_t& b, uint8_t* out) {
    const bool row = sqlite3_step(s) == SQLITE_ROW;
    if (row) {
      a = sqlite3_column_int64(s, 0);
      b = dataColumn > 1 ? sqlite3_column_int64(s, 1) : 0;
      std::memcpy(out, sqlite3_column_blob(s, dataColumn),
                  static_cast<size_t>(sqlite3_column_bytes(s, dataColumn)));
    }
    return row;
  }
  // The same, then resets the statement: one seek.
  static bool Read(sqlite3_stmt* s, int dataColumn, int64_t& a, int64_t& b, uint8_t* out) {
    const bool row = Fetch(s, dataColumn, a, b, out);
    sqlite3_reset(s);
    return row;
  }
  // The next row of a stepped statement, from the start again after the last.
  static void Cursor(sqlite3_stmt* s, int dataColumn, int64_t& a, int64_t& b, uint8_t* out) {
    if (Fetch(s, dataColumn, a, b, out)) return;
    sqlite3_reset(s);
    Fetch(s, dataColumn, a, b, out);
  }
};

BtrieveSide* gBtr = nullptr;
SqliteSide* gSql = nullptr;

std::vector<uint32_t> RandomIds(size_t n) {
  std::mt19937 rng(1);
  std::vector<uint32_t> ids(n);
  for (auto& id : ids) id = 1 + rng() % gRecords;
  return ids;
}

void BM_GetNext_Btrieve(benchmark::State& state) {
  uint8_t rec[kRecordLength];
  gBtr->Call(12, rec, sizeof rec);
  for (auto _ : state)
    if (gBtr->Call(6, rec, sizeof rec) != 0) gBtr->Call(12, rec, sizeof rec);
}
void BM_GetNext_Sqlite(benchmark::State& state) {
  uint8_t rec[kRecordLength];
  int64_t id = 0, pos = 0;
  for (auto _ : state) {
    sqlite3_bind_int64(gSql->next, 1, id);
    if (!gSql->Read(gSql->next, 2, id, pos, rec)) gSql->Read(gSql->first, 2, id, pos, rec);
  }
}

void BM_GetNext_Cursor(benchmark::State& state) {
  uint8_t rec[kRecordLength];
  int64_t id = 0, pos = 0;
  for (auto _ : state) gSql->Cursor(gSql->byId, 2, id, pos, rec);
  sqlite3_reset(gSql->byId);
}

void BM_GetEqual_Btrieve(benchmark::State& state) {
  const auto ids = RandomIds(1 << 16);
  uint8_t rec[kRecordLength];
  size_t i = 0;
  for (auto _ : state) {
    std::memcpy(gBtr->key, &ids[i++ & 0xFFFF], 4);
    if (gBtr->Call(5, rec, sizeof rec) != 0) state.SkipWithError("get equal");
  }
}
void BM_GetEqual_Sqlite(benchmark::State& state) {
  const auto ids = RandomIds(1 << 16);
  uint8_t rec[kRecordLength];
  int64_t id = 0, pos = 0;
  size_t i = 0;
  for (auto _ : state) {
    sqlite3_bind_int64(gSql->equal, 1, ids[i++ & 0xFFFF]);
    if (!gSql->Read(gSql->equal, 2, id, pos, rec)) state.SkipWithError("select");
  }
}

void BM_StepNext_Btrieve(benchmark::State& state) {
  uint8_t rec[kRecordLength];
  gBtr->Call(33, rec, sizeof rec);
  for (auto _ : state)
    if (gBtr->Call(24, rec, sizeof rec) != 0) gBtr->Call(33, rec, sizeof rec);
}
void BM_StepNext_Sqlite(benchmark::State& state) {
  uint8_t rec[kRecordLength];
  int64_t pos = 0, unused = 0;
  for (auto _ : state) {
    sqlite3_bind_int64(gSql->step, 1, pos);
    if (!gSql->Read(gSql->step, 1, pos, unused, rec)) pos = 0;
  }
}

void BM_StepNext_Cursor(benchmark::State& state) {
  uint8_t rec[kRecordLength];
  int64_t pos = 0, unused = 0;
  for (auto _ : state) gSql->Cursor(gSql->byPos, 1, pos, unused, rec);
  sqlite3_reset(gSql->byPos);
}

// Get Next Extended: 100 records a call, no filter, two fields extracted (the id and the 20
// bytes after the salt), each behind its 2-byte length and 4-byte position.
constexpr uint16_t kExtendedCount = 100;
constexpr uint16_t kExtractA = 4, kExtractB = 20, kExtractBAt = 8;
constexpr size_t kExtendedReply = 2 + kExtendedCount * (6 + kExtractA + kExtractB);

void BM_GetNextExtended_Btrieve(benchmark::State& state) {
  std::vector<uint8_t> buffer(kExtendedReply);
  uint8_t rec[kRecordLength];
  auto descriptor = [&] {
    const uint8_t d[] = {16, 0, 'U',       'C', 0, 0, 0,         0, kExtendedCount, 0,
                         2,  0, kExtractA, 0,   0, 0, kExtractB, 0, kExtractBAt,    0};
    const uint16_t length = sizeof d;
    std::memcpy(buffer.data(), d, sizeof d);
    std::memcpy(buffer.data(), &length, 2);
  };
  gBtr->Call(12, rec, sizeof rec);
  for (auto _ : state) {
    descriptor();
    const int16_t s = gBtr->Call(36, buffer.data(), static_cast<uint32_t>(buffer.size()));
    if (s == 9) {
      gBtr->Call(12, rec, sizeof rec);
    } else if (s != 0) {
      state.SkipWithError("get next extended");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations() * kExtendedCount);
}

// Appends one record's extract to the reply as the record manager lays it out.
uint8_t* ExtractInto(uint8_t* at, int64_t pos, const uint8_t* rec) {
  const uint16_t length = kExtractA + kExtractB;
  const auto position = static_cast<uint32_t>(pos);
  std::memcpy(at, &length, 2);
  std::memcpy(at + 2, &position, 4);
  std::memcpy(at + 6, rec, kExtractA);
  std::memcpy(at + 6 + kExtractA, rec + kExtractBAt, kExtractB);
  return at + 6 + length;
}

template <bool kStepped>
void GetNextExtendedSqlite(benchmark::State& state) {
  std::vector<uint8_t> buffer(kExtendedReply);
  uint8_t rec[kRecordLength];
  int64_t id = 0, pos = 0;
  for (auto _ : state) {
    uint8_t* at = buffer.data() + 2;
    for (uint16_t i = 0; i < kExtendedCount; ++i) {
      if (kStepped) {
        gSql->Cursor(gSql->byId, 2, id, pos, rec);
      } else {
        sqlite3_bind_int64(gSql->next, 1, id);
        if (!gSql->Read(gSql->next, 2, id, pos, rec)) gSql->Read(gSql->first, 2, id, pos, rec);
      }
      at = ExtractInto(at, pos, rec);
    }
    std::memcpy(buffer.data(), &kExtendedCount, 2);
    benchmark::DoNotOptimize(buffer.data());
  }
  if (kStepped) sqlite3_reset(gSql->byId);
  state.SetItemsProcessed(state.iterations() * kExtendedCount);
}
void BM_GetNextExtended_Sqlite(benchmark::State& state) { GetNextExtendedSqlite<false>(state); }
void BM_GetNextExtended_Cursor(benchmark::State& state) { GetNextExtendedSqlite<true>(state); }

uint32_t gNextBtrId = 0, gNextSqlId = 0;

void BM_Insert_Btrieve(benchmark::State& state) {
  uint8_t rec[kRecordLength];
  for (auto _ : state) {
    MakeRecord(++gNextBtrId, 1, rec);
    if (gBtr->Call(2, rec, sizeof rec, -1) != 0) state.SkipWithError("insert");
  }
}
void BM_Insert_Sqlite(benchmark::State& state) {
  uint8_t rec[kRecordLength];
  for (auto _ : state) {
    MakeRecord(++gNextSqlId, 1, rec);
    sqlite3_step(gSql->begin);
    sqlite3_reset(gSql->begin);
    gSql->Insert(gNextSqlId, rec);
    sqlite3_step(gSql->commit);
    sqlite3_reset(gSql->commit);
  }
}

void BM_Update_Btrieve(benchmark::State& state) {
  const auto ids = RandomIds(1 << 16);
  uint8_t rec[kRecordLength];
  uint32_t salt = 0;
  size_t i = 0;
  for (auto _ : state) {
    std::memcpy(gBtr->key, &ids[i++ & 0xFFFF], 4);
    gBtr->Call(5, rec, sizeof rec);
    ++salt;
    std::memcpy(rec + 4, &salt, 4);
    if (gBtr->Call(3, rec, sizeof rec) != 0) state.SkipWithError("update");
  }
}
void BM_Update_Sqlite(benchmark::State& state) {
  const auto ids = RandomIds(1 << 16);
  uint8_t rec[kRecordLength];
  int64_t id = 0, pos = 0;
  uint32_t salt = 0;
  size_t i = 0;
  for (auto _ : state) {
    sqlite3_bind_int64(gSql->equal, 1, ids[i++ & 0xFFFF]);
    gSql->Read(gSql->equal, 2, id, pos, rec);
    ++salt;
    std::memcpy(rec + 4, &salt, 4);
    sqlite3_step(gSql->begin);
    sqlite3_reset(gSql->begin);
    sqlite3_bind_blob(gSql->update, 1, rec, kRecordLength, SQLITE_STATIC);
    sqlite3_bind_int64(gSql->update, 2, pos);
    sqlite3_step(gSql->update);
    sqlite3_reset(gSql->update);
    sqlite3_step(gSql->commit);
    sqlite3_reset(gSql->commit);
  }
}

BENCHMARK(BM_GetNext_Btrieve);
BENCHMARK(BM_GetNext_Sqlite);
BENCHMARK(BM_GetNext_Cursor);
BENCHMARK(BM_StepNext_Btrieve);
BENCHMARK(BM_StepNext_Sqlite);
BENCHMARK(BM_StepNext_Cursor);
BENCHMARK(BM_GetNextExtended_Btrieve);
BENCHMARK(BM_GetNextExtended_Sqlite);
BENCHMARK(BM_GetNextExtended_Cursor);
BENCHMARK(BM_GetEqual_Btrieve);
BENCHMARK(BM_GetEqual_Sqlite);
BENCHMARK(BM_Insert_Btrieve);
BENCHMARK(BM_Insert_Sqlite);
BENCHMARK(BM_Update_Btrieve);
BENCHMARK(BM_Update_Sqlite);

// Keeps each run's time per operation to print the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) {
      cpu_[r.benchmark_name()] = r.GetAdjustedCPUTime();
      wall_[r.benchmark_name()] = r.GetAdjustedRealTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }
  // CPU time per call of each side, and the record manager's time over each baseline's.
  void PrintRatios() const {
    std::printf("\nrecords: %u; CPU ns per call; ratio = record manager / baseline\n", gRecords);
    std::printf("%-16s %12s %12s %8s %12s %8s\n", "operation", "btrieve", "seek", "ratio", "cursor",
                "ratio");
    for (const char* op :
         {"GetNext", "StepNext", "GetNextExtended", "GetEqual", "Insert", "Update"}) {
      const double b = Cpu(op, "_Btrieve"), s = Cpu(op, "_Sqlite"), c = Cpu(op, "_Cursor");
      if (b <= 0 || s <= 0) continue;
      std::printf("%-16s %12.0f %12.0f %8.2f", op, b, s, b / s);
      if (c > 0)
        std::printf(" %12.0f %8.2f\n", c, b / c);
      else
        std::printf(" %12s %8s\n", "-", "-");
    }
    // A commit's cost is mostly writing the log: for the writes, wall time tells it.
    std::printf("\nwall ns per call of the writes\n");
    for (const char* op : {"Insert", "Update"}) {
      const double b = Wall(op, "_Btrieve"), s = Wall(op, "_Sqlite");
      if (b > 0 && s > 0) std::printf("%-16s %12.0f %12.0f %8.2f\n", op, b, s, b / s);
    }
  }

 private:
  static double Find(const std::map<std::string, double>& times, const char* op,
                     const char* side) {
    // With --benchmark_repetitions, the median of the runs.
    const std::string name = std::string("BM_") + op + side;
    auto it = times.find(name + "_median");
    if (it == times.end()) it = times.find(name);
    return it == times.end() ? 0 : it->second;
  }
  double Cpu(const char* op, const char* side) const { return Find(cpu_, op, side); }
  double Wall(const char* op, const char* side) const { return Find(wall_, op, side); }
  std::map<std::string, double> cpu_, wall_;
};

}  // namespace

int main(int argc, char** argv) {
  gRecords = static_cast<uint32_t>(vader::bench::TakeRecords(argc, argv, gRecords));
  benchmark::Initialize(&argc, argv);
  void* lib = ::dlopen((ExecutableDir() + "/libwbtrv32.so").c_str(), RTLD_NOW);
  if (!lib) {
    std::fprintf(stderr, "%s\n", ::dlerror());
    return 1;
  }
  gCall = reinterpret_cast<BtrCall>(::dlsym(lib, "BTRCALL"));
  char tmpl[] = "/tmp/vader-mk-bench-XXXXXX";
  gDir = ::mkdtemp(tmpl);
  std::fprintf(stderr, "building %u records in %s ...\n", gRecords, gDir.c_str());
  BtrieveSide btr;
  SqliteSide sql;
  btr.Build(gDir + "/bench.btr");
  sql.Build(gDir + "/bench.sqlite");
  gBtr = &btr;
  gSql = &sql;
  gNextBtrId = gNextSqlId = gRecords;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  sqlite3_close_v2(sql.db);
  std::error_code ec;
  std::filesystem::remove_all(gDir, ec);
  return 0;
}
