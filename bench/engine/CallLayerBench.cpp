// Reading a whole table three ways in the same run, on the sample database's Customers table
// grown to N rows (--records=N, default 100,000; ten fields of mixed Btrieve types):
//   CallLayer:     TVirtEng GetNextRecord + GetField of every field, statuses only;
//   Cursor:        the same TBtrTable's GetNextRecord + GetField called directly;
//   RecordManager: BTRCALL Get First / Get Next on key 0 into a record buffer, no fields;
// and the fields of one record read over and over through the call layer and the cursor, which
// shows the call layer's own cost apart from the record manager's.
// Each runs five times, the repetitions of the three in random order; the ratios at the end are
// those of the medians of CPU time per record.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "btrieve/BtrConst.h"
#include "btrieve/BtrSess.h"
#include "engine/BseEng.h"
#include "platform/Registry.h"
#include "tools/Btrieve.h"
#include "tools/SampleDatabase.h"
#include "BenchArgs.h"

namespace {

using namespace vader;

uint64_t gRecords = 100000;
std::string gDir;
TVirtEng* gEngine = nullptr;
TBaseTable* gCursor = nullptr;
std::vector<FieldDesc> gFields;
uint32_t gRecordBufferSize = 0;

// Storage for one field value of any kind the table has.
struct FieldValue {
  alignas(8) uint8_t bytes[1024];
};

void Report(benchmark::State& state, uint64_t rows) {
  if (rows != gRecords) state.SkipWithError("not every record was read");
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * gRecords));
}

// Reads the table once from where the cursor stands: `next` reads the next record and says
// whether there was one, `field` reads one field of it. Returns the records read.
template <class Next, class Field>
uint64_t ReadTable(uint8_t* record, Next&& next, Field&& field) {
  FieldValue value;
  uint64_t rows = 0;
  while (next(record)) {
    for (const FieldDesc& d : gFields) {
      bool blank = false;
      field(d.FieldNumber, record, value.bytes, blank);
      benchmark::DoNotOptimize(blank);
    }
    ++rows;
  }
  benchmark::ClobberMemory();
  return rows;
}

void BM_CallLayer(benchmark::State& state) {
  std::vector<uint8_t> record(gRecordBufferSize);
  uint64_t rows = 0;
  for (auto _ : state) {
    gEngine->SetToBegin(gCursor);
    rows = ReadTable(
        record.data(),
        [](uint8_t* r) { return gEngine->GetNextRecord(gCursor, dbiNOLOCK, r, nullptr) == 0; },
        [](uint16_t n, uint8_t* r, void* dest, bool& blank) {
          gEngine->GetField(gCursor, n, r, dest, blank);
        });
  }
  Report(state, rows);
}
BENCHMARK(BM_CallLayer)->Unit(benchmark::kMillisecond)->MinTime(1.0)->Repetitions(5);

void BM_Cursor(benchmark::State& state) {
  std::vector<uint8_t> record(gRecordBufferSize);
  uint64_t rows = 0;
  for (auto _ : state) {
    gCursor->SetToBegin();
    rows = ReadTable(
        record.data(),
        [](uint8_t* r) {
          try {
            gCursor->GetNextRecord(dbiNOLOCK, r, nullptr);
            return true;
          } catch (const EVaderEOFError&) {
            return false;
          }
        },
        [](uint16_t n, uint8_t* r, void* dest, bool& blank) {
          gCursor->GetField(n, r, dest, blank);
        });
  }
  Report(state, rows);
}
BENCHMARK(BM_Cursor)->Unit(benchmark::kMillisecond)->MinTime(1.0)->Repetitions(5);

// The fields of one record, read again and again: the per-call cost without the record manager.
template <class Field>
void ReadFieldsOfOneRecord(benchmark::State& state, Field&& field) {
  std::vector<uint8_t> record(gRecordBufferSize);
  gCursor->SetToBegin();
  gCursor->GetNextRecord(dbiNOLOCK, record.data(), nullptr);
  FieldValue value;
  for (auto _ : state) {
    for (const FieldDesc& d : gFields) {
      bool blank = false;
      field(d.FieldNumber, record.data(), value.bytes, blank);
      benchmark::DoNotOptimize(blank);
    }
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

void BM_FieldsCallLayer(benchmark::State& state) {
  ReadFieldsOfOneRecord(state, [](uint16_t n, uint8_t* r, void* dest, bool& blank) {
    gEngine->GetField(gCursor, n, r, dest, blank);
  });
}
BENCHMARK(BM_FieldsCallLayer)->Repetitions(5);

void BM_FieldsCursor(benchmark::State& state) {
  ReadFieldsOfOneRecord(state, [](uint16_t n, uint8_t* r, void* dest, bool& blank) {
    gCursor->GetField(n, r, dest, blank);
  });
}
BENCHMARK(BM_FieldsCursor)->Repetitions(5);

void BM_RecordManager(benchmark::State& state) {
  uint8_t position[128] = {};
  uint8_t key[255] = {};
  std::string path = gDir + "/CUSTOMER.BTR";
  std::vector<char> name(path.begin(), path.end());
  name.resize(256, '\0');
  uint32_t length = 0;
  if (BTRCALL(B_OPEN, position, nullptr, &length, name.data(), 255, 0) != 0)
    return state.SkipWithError("the data file does not open");
  std::vector<uint8_t> record(4096);
  uint64_t rows = 0;
  for (auto _ : state) {
    rows = 0;
    uint16_t op = B_GET_FIRST;
    for (;;) {
      length = static_cast<uint32_t>(record.size());
      if (BTRCALL(op, position, record.data(), &length, key, 255, 0) != 0) break;
      op = B_GET_NEXT;
      ++rows;
    }
    benchmark::ClobberMemory();
  }
  length = 0;
  BTRCALL(B_CLOSE, position, nullptr, &length, key, 255, 0);
  Report(state, rows);
}
BENCHMARK(BM_RecordManager)->Unit(benchmark::kMillisecond)->MinTime(1.0)->Repetitions(5);

// Keeps each benchmark's CPU time per record to print the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) {
      if (r.error_occurred) continue;
      // The median of the repetitions when there are some, else the single run.
      const bool median = r.run_type == Run::RT_Aggregate && r.aggregate_name == "median";
      if (r.run_type == Run::RT_Aggregate && !median) continue;
      const std::string name = r.run_name.function_name;
      // The table walks run in milliseconds per pass, the field benchmarks in nanoseconds
      // per record.
      const double ns = name.rfind("BM_Fields", 0) == 0
                            ? r.GetAdjustedCPUTime()
                            : r.GetAdjustedCPUTime() * 1e6 / static_cast<double>(gRecords);
      if (median || medians_.count(name) == 0) nsPerRecord_[name] = ns;
      if (median) medians_.insert(name);
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void PrintRatios() const {
    const auto at = [this](const char* name) {
      auto it = nsPerRecord_.find(name);
      return it == nsPerRecord_.end() ? 0.0 : it->second;
    };
    const double layer = at("BM_CallLayer"), cursor = at("BM_Cursor"), rm = at("BM_RecordManager");
    std::printf(
        "\nrecords: %llu, CPU ns per record: call layer %.0f, cursor %.0f, record manager "
        "%.0f\n",
        static_cast<unsigned long long>(gRecords), layer, cursor, rm);
    const double fieldsLayer = at("BM_FieldsCallLayer"), fieldsCursor = at("BM_FieldsCursor");
    if (fieldsCursor > 0)
      std::printf("the %zu fields of one record: call layer %.0f ns, cursor %.0f ns, ratio %.3f\n",
                  gFields.size(), fieldsLayer, fieldsCursor, fieldsLayer / fieldsCursor);
    if (cursor > 0 && rm > 0)
      std::printf(
          "call layer / cursor %.3f, call layer / record manager %.2f, cursor / record "
          "manager %.2f\n",
          layer / cursor, layer / rm, cursor / rm);
  }

 private:
  std::map<std::string, double> nsPerRecord_;
  std::set<std::string> medians_;
};

}  // namespace

int main(int argc, char** argv) {
  // Repetitions in random order, so that a change in the machine's load falls on all three.
  static char interleave[] = "--benchmark_enable_random_interleaving=true";
  gRecords = vader::bench::TakeRecords(argc, argv, gRecords);
  std::vector<char*> args{argv[0], interleave};
  args.insert(args.end(), argv + 1, argv + argc);
  int n = static_cast<int>(args.size());
  benchmark::Initialize(&n, args.data());

  char pattern[] = "/tmp/vader-calllayer-bench-XXXXXX";
  if (mkdtemp(pattern) == nullptr) return 1;
  gDir = pattern;
  setenv(platform::kRegistryEnvironmentVariable, (gDir + "/registry.reg").c_str(), 1);
  std::fprintf(stderr, "writing %llu customers to %s ...\n",
               static_cast<unsigned long long>(gRecords), gDir.c_str());
  tools::SampleCounts counts{
      .customers = gRecords, .suppliers = 1, .products = 1, .employees = 1, .orders = 1};
  tools::GenerateSampleDatabase(gDir, counts);

  int status = 1;
  {
    TVirtEng engine(ClassOf<TBtrSession>());
    TBaseDatabase* database = nullptr;
    if (engine.InitStatus() == 0 &&
        engine.OpenDatabase(gDir.c_str(), nullptr, kOpenReadOnly, kShareShared, nullptr, 0, nullptr,
                            nullptr, database) == 0 &&
        engine.OpenTable(database, "Customers", nullptr, nullptr, nullptr, 0, kOpenReadOnly,
                         kShareShared, 0, false, nullptr, gCursor) == 0) {
      CursorProps props{};
      engine.GetCursorProps(gCursor, props);
      gFields.resize(props.FieldCount);
      engine.GetFieldDescs(gCursor, gFields.data());
      gRecordBufferSize = props.RecBufSize;
      gEngine = &engine;
      RatioReporter reporter;
      benchmark::RunSpecifiedBenchmarks(&reporter);
      reporter.PrintRatios();
      status = 0;
    } else {
      std::fprintf(stderr, "the Customers table does not open\n");
    }
  }
  std::error_code ec;
  std::filesystem::remove_all(gDir, ec);
  return status;
}
