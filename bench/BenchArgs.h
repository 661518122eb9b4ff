#pragma once
// The benchmark programs' own option, --records=N (how large a table or file to measure on),
// taken out of the arguments before the rest go to Google Benchmark. Without it the
// environment's VADER_BENCH_RECORDS counts, then the program's default.

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace vader::bench {

inline uint64_t TakeRecords(int& argc, char** argv, uint64_t fallback) {
  uint64_t records = fallback;
  if (const char* v = std::getenv("VADER_BENCH_RECORDS")) records = std::strtoull(v, nullptr, 10);
  int kept = argc > 0 ? 1 : 0;
  for (int i = kept; i < argc; ++i) {
    if (std::strncmp(argv[i], "--records=", 10) == 0)
      records = std::strtoull(argv[i] + 10, nullptr, 10);
    else
      argv[kept++] = argv[i];
  }
  argc = kept;
  return records;
}

}  // namespace vader::bench
