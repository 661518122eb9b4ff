#pragma once
// A console reporter that also keeps each benchmark's wall time per iteration by name, for the
// ratios the server benchmarks print at the end. With --benchmark_repetitions the median of the
// repetitions stands for the benchmark.

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

class WallTimeReporter : public benchmark::ConsoleReporter {
 public:
  explicit WallTimeReporter(std::map<std::string, double>& ns) : ns_(ns) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs) {
      std::string name = r.benchmark_name();
      if (r.run_type == Run::RT_Aggregate) {
        if (r.aggregate_name != "median") continue;
        name.resize(name.size() - std::string("_median").size());
      }
      ns_[name] = r.GetAdjustedRealTime();
    }
  }

 private:
  std::map<std::string, double>& ns_;
};
