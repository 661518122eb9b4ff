// The relational engine against plain SQLite on the same rows, in the same run: a selective
// query on a key field (the order lines of one order, through the first segment of the
// two-part key), a full aggregate over the order lines, an UPDATE of every order line,
// `vbutil check` of the order-lines file against SQLite's own integrity check of that file, and
// last a DELETE of every order line. The engine runs through
// libwssql32.so over the sample database (vsampledb --scale N, default 150: about a million
// rows, or --dir=DIR for one made earlier); the baseline is one SQLite file holding the same
// order lines in a table with the same keys (the first as its primary key, the second an
// index). Prints the ratios at the end.

#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <limits.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "sqlengine/XqlApi.h"
#include "tools/IntegrityCheck.h"

namespace {

using namespace vader::sqlengine;

struct Engine {
#define X(name) decltype(&::name) name = nullptr;
  X(_XQLLogin) X(_XQLCursor) X(_XQLCompile) X(XQLExec) X(_XQLFetch) X(XQLSubst)
#undef X
} gEngine;
sqlite3* gBase = nullptr;
int gOrders = 0;
std::string gDir;  // the sample database
std::vector<uint8_t> gRow(65535);

std::string ExecutableDir() {
  char buf[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  std::string path(buf, n > 0 ? static_cast<size_t>(n) : 0);
  return path.substr(0, path.rfind('/'));
}

int16_t Cursor(const char* text) {
  int16_t c = 0;
  gEngine._XQLCursor(&c);
  int16_t length = static_cast<int16_t>(std::strlen(text));
  const int16_t s = gEngine._XQLCompile(c, &length, text);
  if (s > 0) std::fprintf(stderr, "status %d compiling %s\n", s, text), std::exit(1);
  return c;
}

// Reads the whole view; returns the rows.
int FetchAll(int16_t c, bool ascii = false) {
  int rows = 0;
  for (int16_t option = kFetchFirst;; option = kFetchNext, ++rows) {
    uint16_t length = static_cast<uint16_t>(gRow.size());
    int32_t count = 1;
    gEngine._XQLFetch(c, option, &length, gRow.data(), &count, ascii ? 1 : 0, 0);
    if (count == 0) return rows;
  }
}

// Reads every row of a statement, touching each column as a reader would.
int StepAll(sqlite3_stmt* st) {
  int rows = 0;
  while (sqlite3_step(st) == SQLITE_ROW) {
    for (int i = 0; i < sqlite3_column_count(st); ++i) benchmark::DoNotOptimize(sqlite3_column_int64(st, i));
    ++rows;
  }
  sqlite3_reset(st);
  return rows;
}

void BuildBaseline(const std::string& path) {
  sqlite3_open(path.c_str(), &gBase);
  sqlite3_exec(gBase,
               "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;"
               "CREATE TABLE OrderLines(OrderId INTEGER, LineNo INTEGER, ProductId INTEGER, "
               "Quantity INTEGER, UnitPrice REAL, Discount REAL, Comment TEXT, "
               "PRIMARY KEY (OrderId, LineNo));"
               // The order lines' second key, as the engine's file has it.
               "CREATE INDEX OrderLinesByProduct ON OrderLines(ProductId); BEGIN",
               nullptr, nullptr, nullptr);
  sqlite3_stmt* ins = nullptr;
  sqlite3_prepare_v2(gBase, "INSERT INTO OrderLines VALUES (?,?,?,?,?,?,?)", -1, &ins, nullptr);
  const int16_t c = Cursor("SELECT * FROM OrderLines");
  for (int16_t option = kFetchFirst;; option = kFetchNext) {
    uint16_t length = static_cast<uint16_t>(gRow.size());
    int32_t count = 1;
    gEngine._XQLFetch(c, option, &length, gRow.data(), &count, 1, 0);
    if (count == 0) break;
    size_t at = 2;
    for (int i = 1; i <= 7; ++i) {
      const char* text = reinterpret_cast<const char*>(gRow.data() + at);
      if (i == 7) sqlite3_bind_text(ins, i, text, -1, SQLITE_TRANSIENT);
      else if (i >= 5) sqlite3_bind_double(ins, i, std::atof(text));
      else sqlite3_bind_int64(ins, i, std::atoll(text));
      at += std::strlen(text) + 1;
    }
    sqlite3_step(ins);
    sqlite3_reset(ins);
  }
  sqlite3_finalize(ins);
  sqlite3_exec(gBase, "COMMIT", nullptr, nullptr, nullptr);
}

void BM_KeyQuery_Engine(benchmark::State& state) {
  const int16_t c = Cursor("SELECT OrderId, LineNo, ProductId, Quantity FROM OrderLines WHERE OrderId = @id");
  std::mt19937 random(7);
  int64_t rows = 0;
  for (auto _ : state) {
    const std::string id = std::to_string(1 + random() % gOrders);
    gEngine.XQLSubst(c, 1, 3, "id", static_cast<int16_t>(id.size() + 1), id.c_str());
    gEngine.XQLExec(c);
    rows += FetchAll(c);
  }
  state.counters["rows"] = static_cast<double>(rows) / static_cast<double>(state.iterations());
}

void BM_KeyQuery_Sqlite(benchmark::State& state) {
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(gBase, "SELECT OrderId, LineNo, ProductId, Quantity FROM OrderLines WHERE OrderId = ?", -1, &st, nullptr);
  std::mt19937 random(7);
  int64_t rows = 0;
  for (auto _ : state) {
    sqlite3_bind_int64(st, 1, 1 + random() % gOrders);
    rows += StepAll(st);
  }
  sqlite3_finalize(st);
  state.counters["rows"] = static_cast<double>(rows) / static_cast<double>(state.iterations());
}

constexpr const char* kAggregate = "SELECT COUNT(*), SUM(Quantity), AVG(UnitPrice) FROM OrderLines";

void BM_Aggregate_Engine(benchmark::State& state) {
  const int16_t c = Cursor(kAggregate);
  for (auto _ : state) {
    gEngine.XQLExec(c);
    benchmark::DoNotOptimize(FetchAll(c));
  }
}

void BM_Aggregate_Sqlite(benchmark::State& state) {
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(gBase, kAggregate, -1, &st, nullptr);
  for (auto _ : state) benchmark::DoNotOptimize(StepAll(st));
  sqlite3_finalize(st);
}

// Every order line changed by one statement; each run adds one to the quantities again.
constexpr const char* kBulkUpdate = "UPDATE OrderLines SET Quantity = Quantity + 1";

void BM_BulkUpdate_Engine(benchmark::State& state) {
  const int16_t c = Cursor(kBulkUpdate);
  for (auto _ : state)
    if (gEngine.XQLExec(c) > 0) state.SkipWithError("update");
}

void BM_BulkUpdate_Sqlite(benchmark::State& state) {
  for (auto _ : state)
    if (sqlite3_exec(gBase, kBulkUpdate, nullptr, nullptr, nullptr) != SQLITE_OK)
      state.SkipWithError("update");
}

// Every order line deleted by one statement, last (the rows are gone afterwards). A WHERE
// clause that every row passes keeps SQLite from dropping the table's pages wholesale.
constexpr const char* kBulkDelete = "DELETE FROM OrderLines WHERE LineNo > 0";

void BM_BulkDelete_Engine(benchmark::State& state) {
  const int16_t c = Cursor("SELECT 1");
  for (auto _ : state) {
    int16_t length = static_cast<int16_t>(std::strlen(kBulkDelete));
    if (gEngine._XQLCompile(c, &length, kBulkDelete) > 0) state.SkipWithError("delete");
  }
}

void BM_BulkDelete_Sqlite(benchmark::State& state) {
  for (auto _ : state)
    if (sqlite3_exec(gBase, kBulkDelete, nullptr, nullptr, nullptr) != SQLITE_OK)
      state.SkipWithError("delete");
}

void BM_Check_Tool(benchmark::State& state) {
  for (auto _ : state)
    if (!vader::tools::CheckFile(gDir + "/ORDLINE.BTR").Ok()) state.SkipWithError("check");
}

void BM_Check_Sqlite(benchmark::State& state) {
  sqlite3* db = nullptr;
  sqlite3_open_v2((gDir + "/ORDLINE.BTR").c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  for (auto _ : state) {
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &st, nullptr);
    if (sqlite3_step(st) != SQLITE_ROW ||
        std::strcmp(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)), "ok") != 0)
      state.SkipWithError("integrity check");
    sqlite3_finalize(st);
  }
  sqlite3_close_v2(db);
}

BENCHMARK(BM_KeyQuery_Engine);
BENCHMARK(BM_KeyQuery_Sqlite);
BENCHMARK(BM_Aggregate_Engine)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Aggregate_Sqlite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BulkUpdate_Engine)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_BulkUpdate_Sqlite)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_Check_Tool)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_Check_Sqlite)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_BulkDelete_Engine)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_BulkDelete_Sqlite)->Unit(benchmark::kMillisecond)->Iterations(1);

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    // By the function's name, without "/iterations:1"; with repetitions, their median.
    for (const Run& r : runs) {
      const std::string& name = r.run_name.function_name;
      if (r.run_type == Run::RT_Aggregate && r.aggregate_name == "median") {
        cpu_[name] = r.GetAdjustedCPUTime();
        medians_.insert(name);
      } else if (r.run_type == Run::RT_Iteration && !medians_.count(name)) {
        cpu_[name] = r.GetAdjustedCPUTime();
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void PrintRatios() const {
    std::printf("\n%-10s %8s  (engine / plain SQLite, CPU time)\n", "query", "ratio");
    for (const char* q : {"KeyQuery", "Aggregate", "BulkUpdate", "Check", "BulkDelete"}) {
      const std::string ours = std::string("BM_") + q + (std::strcmp(q, "Check") ? "_Engine" : "_Tool");
      const auto e = cpu_.find(ours);
      const auto s = cpu_.find(std::string("BM_") + q + "_Sqlite");
      if (e != cpu_.end() && s != cpu_.end()) std::printf("%-10s %8.2f\n", q, e->second / s->second);
    }
  }

 private:
  std::map<std::string, double> cpu_;
  std::set<std::string> medians_;
};

}  // namespace

int main(int argc, char** argv) {
  std::string dir, scale = "150";
  std::vector<char*> args;
  for (int i = 0; i < argc; ++i) {
    if (std::strncmp(argv[i], "--dir=", 6) == 0) dir = argv[i] + 6;
    else if (std::strncmp(argv[i], "--scale=", 8) == 0) scale = argv[i] + 8;
    else args.push_back(argv[i]);
  }
  int n = static_cast<int>(args.size());
  benchmark::Initialize(&n, args.data());
  void* lib = ::dlopen((ExecutableDir() + "/libwssql32.so").c_str(), RTLD_NOW);
  if (!lib) return std::fprintf(stderr, "%s\n", ::dlerror()), 1;
#define X(name) gEngine.name = reinterpret_cast<decltype(gEngine.name)>(::dlsym(lib, #name));
  X(_XQLLogin) X(_XQLCursor) X(_XQLCompile) X(XQLExec) X(_XQLFetch) X(XQLSubst)
#undef X
  char tmpl[] = "/tmp/vader-sql-bench-XXXXXX";
  const std::string work = ::mkdtemp(tmpl);
  if (dir.empty()) {
    dir = work + "/db";
    std::fprintf(stderr, "generating the sample database (scale %s) in %s ...\n", scale.c_str(), dir.c_str());
    if (std::system((ExecutableDir() + "/vsampledb --quiet --scale " + scale + " " + dir).c_str()) != 0) return 1;
  }
  gDir = dir;
  if (int16_t s = gEngine._XQLLogin("", "", dir.c_str(), "", "", 1); s != 0)
    return std::fprintf(stderr, "login to %s: status %d\n", dir.c_str(), s), 1;
  const int16_t c = Cursor("SELECT COUNT(*) FROM Orders");
  uint16_t length = static_cast<uint16_t>(gRow.size());
  int32_t count = 1;
  gEngine._XQLFetch(c, kFetchFirst, &length, gRow.data(), &count, 0, 0);
  std::memcpy(&gOrders, gRow.data() + 2, 4);
  std::fprintf(stderr, "copying the order lines into %s/baseline.sqlite ...\n", work.c_str());
  BuildBaseline(work + "/baseline.sqlite");
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(gBase, "SELECT COUNT(*) FROM OrderLines", -1, &st, nullptr);
  sqlite3_step(st);
  std::fprintf(stderr, "%d orders, %lld order lines\n", gOrders, sqlite3_column_int64(st, 0));
  sqlite3_finalize(st);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  sqlite3_close_v2(gBase);
  std::error_code ec;
  std::filesystem::remove_all(work, ec);
  return 0;
}
