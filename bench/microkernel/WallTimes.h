#pragma once
// A console reporter that also keeps each benchmark's wall time per iteration by name, for the
// ratios the server benchmarks print at the end. With --benchmark_repetitions the median of the
// repetitions stands for the benchmark, and Spread gives their mean and standard deviation.

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
      if (r.run_type != Run::RT_Aggregate) {
        ns_[name] = r.GetAdjustedRealTime();
        continue;
      }
      const std::string suffix = "_" + r.aggregate_name;
      name.resize(name.size() - suffix.size());
      if (r.aggregate_name == "median") ns_[name] = r.GetAdjustedRealTime();
      if (r.aggregate_name == "mean") spread_[name].mean = r.GetAdjustedRealTime();
      if (r.aggregate_name == "stddev") spread_[name].stddev = r.GetAdjustedRealTime();
    }
  }

  struct Spread {
    double mean = 0, stddev = 0;  // ns per operation; 0 without repetitions
  };
  Spread SpreadOf(const std::string& name) const {
    const auto it = spread_.find(name);
    return it == spread_.end() ? Spread() : it->second;
  }

 private:
  std::map<std::string, double>& ns_;
  std::map<std::string, Spread> spread_;
};
