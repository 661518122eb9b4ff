// Reading every record of the largest real sample (WCCACMS2.DAT, 7,639 records) through the
// record manager, in place (the legacy reader behind it) and from its imported copy, in the
// same run: Get First / Get Next along key 0, with the file open ("read"), and with the open
// and close in the loop ("open+read": the in-place open reads and checks the whole file).
// Prints the ratios at the end.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>

#include "tools/Import.h"
#include "tools/Records.h"

namespace {

namespace fs = std::filesystem;
using vader::tools::BtrFile;
using vader::tools::Bytes;

const std::string kSample = std::string(VADER_LEGACY_DATA) + "/WCCACMS2.DAT";
std::string gCopy;
std::map<std::string, double> gTimes;  // CPU time per iteration, by benchmark name

size_t ReadAll(BtrFile& file) {
  Bytes key(vader::tools::kKeyBufferSize, '\0'), record;
  size_t n = 0;
  for (int16_t s = file.Get(vader::tools::kOpGetFirst, 0, key, record); s == 0;
       s = file.Get(vader::tools::kOpGetNext, 0, key, record))
    ++n;
  return n;
}

void Read(benchmark::State& state, const std::string& path) {
  BtrFile file(path);
  for (auto _ : state) benchmark::DoNotOptimize(ReadAll(file));
}

void OpenAndRead(benchmark::State& state, const std::string& path) {
  for (auto _ : state) {
    BtrFile file(path);
    benchmark::DoNotOptimize(ReadAll(file));
  }
}

void BM_ReadInPlace(benchmark::State& state) { Read(state, kSample); }
void BM_ReadImportedCopy(benchmark::State& state) { Read(state, gCopy); }
void BM_OpenAndReadInPlace(benchmark::State& state) { OpenAndRead(state, kSample); }
void BM_OpenAndReadImportedCopy(benchmark::State& state) { OpenAndRead(state, gCopy); }

BENCHMARK(BM_ReadInPlace)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadImportedCopy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenAndReadInPlace)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenAndReadImportedCopy)->Unit(benchmark::kMillisecond);

class Recorder : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) gTimes[run.benchmark_name()] = run.GetAdjustedCPUTime();
    ConsoleReporter::ReportRuns(runs);
  }
};

void PrintRatio(const char* what, const std::string& inPlace, const std::string& copy) {
  if (gTimes.count(inPlace) && gTimes.count(copy) && gTimes[copy] > 0)
    std::printf("%s: in place / imported copy = %.2f\n", what, gTimes[inPlace] / gTimes[copy]);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  const fs::path dir = fs::temp_directory_path() / ("vader-legacy-bench-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  gCopy = (dir / "WCCACMS2.BTR").string();
  vader::tools::ImportFile(vader::tools::ReadLegacy(kSample), gCopy, {});
  Recorder recorder;
  benchmark::RunSpecifiedBenchmarks(&recorder);
  PrintRatio("read", "BM_ReadInPlace", "BM_ReadImportedCopy");
  PrintRatio("open+read", "BM_OpenAndReadInPlace", "BM_OpenAndReadImportedCopy");
  std::error_code ec;
  fs::remove_all(dir, ec);
  return 0;
}
