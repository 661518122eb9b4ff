// vsampledb: writes the sample business database with its DDF dictionary.

#include <iostream>
#include <string>
#include <vector>

#include "tools/Cli.h"
#include "tools/SampleDatabase.h"

namespace {

constexpr const char* kUsage =
    "Usage: vsampledb [--scale N | --million] [--quiet] DIRECTORY\n"
    "Writes the sample business database (customers, suppliers, products, employees, orders,\n"
    "order lines) and its dictionary (FILE.DDF, FIELD.DDF, INDEX.DDF) into DIRECTORY,\n"
    "replacing the files of an earlier run. The same options always give the same data.\n"
    "  --scale N   N times the default row counts (about 6,700 rows at 1)\n"
    "  --million   about a million rows, for benchmarks (the same as --scale 150)\n"
    "  --quiet     no progress lines\n";

int Run(const std::vector<std::string>& argv) {
  using namespace vader::tools;
  return RunProgram(
      "vsampledb", kUsage, argv, {"scale"}, {"million", "quiet"}, [](const Args& args) {
        args.Expect(1, 1);
        const int scale = args.Has("million") ? 150 : args.Number("scale", 1, 10000, 1);
        const bool quiet = args.Has("quiet");
        const uint64_t rows =
            GenerateSampleDatabase(args.At(0), SampleCounts{}.Scaled(static_cast<uint64_t>(scale)),
                                   [quiet](const std::string& line) {
                                     if (!quiet) std::cerr << line << "\n";
                                   });
        if (!quiet) std::cout << "wrote " << rows << " rows to " << args.At(0) << "\n";
        return kExitOk;
      });
}

}  // namespace

int main(int argc, char** argv) { return Run(std::vector<std::string>(argv + 1, argv + argc)); }
