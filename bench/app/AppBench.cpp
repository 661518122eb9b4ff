// The data window on a large and a small table in the same run: the time from asking for the
// window to its first screen painted (window, table component, grid rows read for the view),
// on the sample's Customers table grown to N rows (--records=N, default 1,000,000) and to
// 1,000 rows; and going to the last row of the large table (the navigator's Last) with the
// grid following. The goal: the first screen of the large table within 1.5x of the small one.
// And a filter over the large table in the data window (the rows passing read for the grid
// and counted) against the relational engine counting the same condition over the same file
// in the SQL window. The goal: the filter within 1.5x of the count.
// A header click and a quick filter on the large table run beside the relational engine doing
// the same ORDER BY and WHERE.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "DataForm.h"
#include "DatabaseForm.h"
#include "SqlForm.h"
#include "components/BtrMainQuery.h"
#include "platform/Registry.h"
#include "shell/Startup.h"
#include "tools/SampleDatabase.h"
#include "ui/FormWindow.h"
#include "ui/QtEventLoop.h"
#include "BenchArgs.h"

namespace {

using namespace vader;

uint64_t gRecords = 1000000;
std::string gLarge, gSmall;
ui::TQtEventLoop* gLoop = nullptr;

std::string Generate(const std::string& root, const char* name, uint64_t customers) {
  const std::string dir = root + "/" + name;
  std::fprintf(stderr, "writing %llu customers to %s ...\n",
               static_cast<unsigned long long>(customers), dir.c_str());
  tools::GenerateSampleDatabase(
      dir, {.customers = customers, .suppliers = 1, .products = 1, .employees = 1, .orders = 1});
  return dir;
}

// Opens the data window and waits until its grid has painted; the window goes after timing.
app::TDataForm* ShowFirstScreen(const std::string& database) {
  app::TDatabaseForm* db = app::TDatabaseForm::OpenDatabase(database);
  db->OpenTable("Customers");
  app::TDataForm* form = app::TAppWindows::Instance().OfKind<app::TDataForm>().back();
  QWidget* window = gLoop->WindowOf(form);
  window->repaint();
  QApplication::processEvents();
  return form;
}

void CloseAll() {
  app::TAppWindows::Instance().CloseAll();
  QApplication::processEvents();
}

void FirstScreen(benchmark::State& state, const std::string& database) {
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    app::TDataForm* form = ShowFirstScreen(database);
    const auto end = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(form);
    state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    CloseAll();
  }
}

void BM_FirstScreenLarge(benchmark::State& state) { FirstScreen(state, gLarge); }
void BM_FirstScreenSmall(benchmark::State& state) { FirstScreen(state, gSmall); }
BENCHMARK(BM_FirstScreenLarge)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->Repetitions(3);
BENCHMARK(BM_FirstScreenSmall)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->Repetitions(3);

void BM_LastRowLarge(benchmark::State& state) {
  for (auto _ : state) {
    app::TDataForm* form = ShowFirstScreen(gLarge);
    const auto start = std::chrono::steady_clock::now();
    form->Table().Last();
    gLoop->WindowOf(form)->repaint();
    QApplication::processEvents();
    const auto end = std::chrono::steady_clock::now();
    state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    if (!form->Table().Eof() && (form->Table().Next(), !form->Table().Eof()))
      state.SkipWithError("not on the last row");
    CloseAll();
  }
}
BENCHMARK(BM_LastRowLarge)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

// Two conditions neither of which an index answers, so both sides read every record.
constexpr char kCondition[] = "Balance < 1000 and CreditLimit > 20000";

void FilterLarge(benchmark::State& state, const std::string& condition) {
  app::TDataForm* form = ShowFirstScreen(gLarge);
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    form->ApplyFilter(condition, true);
    const int passed = form->RecordCount();
    const auto end = std::chrono::steady_clock::now();
    state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    state.counters["rows"] = passed;
    form->ApplyFilter("", false);
  }
  CloseAll();
}

void SqlCountLarge(benchmark::State& state, const std::string& condition) {
  app::TDatabaseForm* db = app::TDatabaseForm::OpenDatabase(gLarge);
  app::TSqlForm* sql = db->OpenSqlWindow();
  sql->SetStatement(std::string("SELECT COUNT(*) FROM Customers WHERE ") + condition);
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    if (!sql->Run()) state.SkipWithError("the count failed");
    const auto end = std::chrono::steady_clock::now();
    state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    state.counters["rows"] = sql->Query().Fields(0)->AsInteger();
  }
  CloseAll();
}

void BM_FilterLarge(benchmark::State& state) { FilterLarge(state, kCondition); }
void BM_SqlCountLarge(benchmark::State& state) { SqlCountLarge(state, kCondition); }
BENCHMARK(BM_FilterLarge)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_SqlCountLarge)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

// A bound on the leading field of the window's index (Id: a hundredth of the rows from the
// middle on) beside the same count: the filter reads only the records between the bounds, as
// the relational engine does through the key.
std::string IndexedCondition() {
  const uint64_t from = gRecords / 2, to = from + gRecords / 100;
  return "Id >= " + std::to_string(from) + " and Id < " + std::to_string(to) +
         " and Balance < 1000";
}
void BM_FilterIndexedLarge(benchmark::State& state) { FilterLarge(state, IndexedCondition()); }
void BM_SqlCountIndexedLarge(benchmark::State& state) { SqlCountLarge(state, IndexedCondition()); }
BENCHMARK(BM_FilterIndexedLarge)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_SqlCountIndexedLarge)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

// A header click on Name (its index) and a quick filter on Country, each until the first
// screen is painted, beside the relational engine giving the same rows: the statement run and
// the grid's first chunk of its rows read.
constexpr int kFirstChunk = 256;

void TimeFirstScreen(benchmark::State& state, const std::function<void(app::TDataForm&)>& work) {
  for (auto _ : state) {
    app::TDataForm* form = ShowFirstScreen(gLarge);
    const auto start = std::chrono::steady_clock::now();
    work(*form);
    gLoop->WindowOf(form)->repaint();
    QApplication::processEvents();
    const auto end = std::chrono::steady_clock::now();
    state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    CloseAll();
  }
}

// Reads the first chunk of Statement's rows; then, as the window's "Record 1 of N" needs,
// runs Count (when given) for the number of rows.
void TimeStatement(benchmark::State& state, const std::string& statement,
                   const std::string& count = {}) {
  for (auto _ : state) {
    TtbQuery query(nullptr), counter(nullptr);
    query.SetDatabaseName(gLarge);
    query.SetSQL(statement);
    counter.SetDatabaseName(gLarge);
    counter.SetSQL(count);
    const auto start = std::chrono::steady_clock::now();
    query.Open();
    int rows = 0;
    for (; !query.Eof() && rows < kFirstChunk; query.Next()) ++rows;
    if (!count.empty()) {
      counter.Open();
      rows += static_cast<int>(counter.Fields(0)->AsInteger());
    }
    const auto end = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(rows);
    state.SetIterationTime(std::chrono::duration<double>(end - start).count());
  }
}

void BM_HeaderClickSortLarge(benchmark::State& state) {
  TimeFirstScreen(state, [](app::TDataForm& form) {
    if (!form.SortByColumn("Name")) std::abort();
  });
}
void BM_OrderBySqlLarge(benchmark::State& state) {
  TimeStatement(state, "SELECT * FROM Customers ORDER BY Name");
}
void BM_QuickFilterLarge(benchmark::State& state) {
  TimeFirstScreen(state, [](app::TDataForm& form) {
    if (!form.SetQuickFilter("Country", "franc")) std::abort();
  });
}
void BM_WhereSqlLarge(benchmark::State& state) {
  TimeStatement(state, "SELECT * FROM Customers WHERE Country LIKE '%franc%'",
                "SELECT COUNT(*) FROM Customers WHERE Country LIKE '%franc%'");
}
BENCHMARK(BM_HeaderClickSortLarge)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_OrderBySqlLarge)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_QuickFilterLarge)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_WhereSqlLarge)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  gRecords = vader::bench::TakeRecords(argc, argv, gRecords);
  benchmark::Initialize(&argc, argv);
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication application(argc, argv);

  char pattern[] = "/tmp/vader-app-bench-XXXXXX";
  if (mkdtemp(pattern) == nullptr) return 1;
  const std::string root = pattern;
  setenv(platform::kRegistryEnvironmentVariable, (root + "/registry.reg").c_str(), 1);
  gLarge = Generate(root, "large", gRecords);
  gSmall = Generate(root, "small", 1000);

  TModuleTable modules = BuildModuleTable(false);
  modules.Startup();
  int status = 0;
  {
    ui::TQtEventLoop loop;
    gLoop = &loop;
    Application().SetEventLoop(&loop);
    benchmark::RunSpecifiedBenchmarks();
    CloseAll();
    Application().SetEventLoop(nullptr);
  }
  modules.Shutdown();
  benchmark::Shutdown();
  std::filesystem::remove_all(root);
  return status;
}
