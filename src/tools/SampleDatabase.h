#pragma once
// The bundled sample database: a small business (customers, suppliers, products, employees,
// orders and order lines) with its DDF dictionary, generated deterministically.

#include <cstdint>
#include <functional>
#include <string>

namespace vader::tools {

// The owner name the driver gives the dictionary files; set on them read-only-without-owner.
constexpr const char* kSampleDictionaryOwner = "..RV....";

struct SampleCounts {
  uint64_t customers = 400;
  uint64_t suppliers = 40;
  uint64_t products = 250;
  uint64_t employees = 30;
  uint64_t orders = 1500;  // about three lines each
  // Every count times `factor` (150 gives about a million rows).
  SampleCounts Scaled(uint64_t factor) const;
};

// The schema of the sample tables.
const std::string& SampleSchema();

// Writes the dictionary and the data files into `directory` (replacing earlier ones);
// `progress` receives a line per table. Returns the number of rows written.
uint64_t GenerateSampleDatabase(const std::string& directory, const SampleCounts& counts,
                                const std::function<void(const std::string&)>& progress = {});

}  // namespace vader::tools
