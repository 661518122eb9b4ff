// Restructuring a table of N records (--records=N, default 1,000,000: a field widened, one
// changed from integer to decimal, one added, an index added) against what a person would do by
// hand with the utility on the same file in the same run: save its records, create the file
// anew and load them back. The same field changes without the new index are measured on a
// second table of the same records, to tell the copy's cost from the new index's.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "components/BtrMain.h"
#include "components/TableRestructure.h"
#include "platform/Registry.h"
#include "tools/Dictionary.h"
#include "tools/Records.h"
#include "tools/TableRecord.h"
#include "BenchArgs.h"

namespace {

using namespace vader;

uint64_t gRecords = 1000000;
std::string gDatabase;

constexpr const char* kTable = R"(table name=%NAME% file=%NAME%.BTR
field name=Id type=integer size=4
field name=Name type=string size=30
field name=Amount type=integer size=4
field name=City type=zstring size=20
index number=0
part field=Id
)";
constexpr const char* kWider = R"(table name=Big file=Big.BTR
field name=Id type=integer size=4
field name=Name type=string size=40
field name=Amount type=decimal size=8 decimals=2
field name=City type=zstring size=20
field name=Note type=zstring size=10
index number=0
part field=Id
index number=1 duplicates modifiable
part field=City
)";

// The schema of table `name`; its data file is `name`.BTR.
std::string Schema(const char* text, const std::string& name) {
  std::string schema = text;
  for (size_t at; (at = schema.find("%NAME%")) != std::string::npos;) schema.replace(at, 6, name);
  return schema;
}

void Generate(const std::string& dir, const std::string& name) {
  const tools::TableDef def =
      tools::Dictionary(dir).Define(tools::ParseSchema(Schema(kTable, name)).front(), true, false);
  tools::BtrFile file(dir + "/" + name + ".BTR");
  tools::BatchInserter inserter;
  for (uint64_t id = 1; id <= gRecords; ++id) {
    tools::Bytes record = tools::TableRecord(def)
                              .Int("Id", static_cast<int64_t>(id))
                              .Text("Name", "Name " + std::to_string(id))
                              .Int("Amount", static_cast<int64_t>(id % 1000))
                              .Text("City", "City " + std::to_string(id % 37))
                              .Finish();
    inserter.Insert(file, record);
  }
  inserter.Finish();
}

void BM_SaveAndLoad(benchmark::State& state) {
  const std::string path = gDatabase + "/Big.BTR";
  const std::string copy = gDatabase + "/COPY.BTR";
  for (auto _ : state) {
    std::stringstream records;
    tools::SaveRecords(path, "", records);
    tools::CreateFromDef(copy, tools::StatFile(path), true);
    benchmark::DoNotOptimize(tools::LoadRecords(copy, "", records));
  }
  std::filesystem::remove(copy);
}
BENCHMARK(BM_SaveAndLoad)->Unit(benchmark::kSecond)->Iterations(1);

void BM_Restructure(benchmark::State& state) {
  const tools::TableDef wider = tools::ParseSchema(kWider).front();
  BtrMainStartup();
  for (auto _ : state) benchmark::DoNotOptimize(RestructureTable(gDatabase, "Big", wider));
  BtrMainShutdown();
}
BENCHMARK(BM_Restructure)->Unit(benchmark::kSecond)->Iterations(1);

void BM_RestructureWithoutNewIndex(benchmark::State& state) {
  tools::TableDef wider = tools::ParseSchema(kWider).front();
  wider.indexes.resize(1);
  BtrMainStartup();
  for (auto _ : state) benchmark::DoNotOptimize(RestructureTable(gDatabase, "Same", wider));
  BtrMainShutdown();
}
BENCHMARK(BM_RestructureWithoutNewIndex)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
  gRecords = vader::bench::TakeRecords(argc, argv, gRecords);
  benchmark::Initialize(&argc, argv);
  char pattern[] = "/tmp/vader-restructure-bench-XXXXXX";
  if (mkdtemp(pattern) == nullptr) return 1;
  const std::string root = pattern;
  setenv(platform::kRegistryEnvironmentVariable, (root + "/registry.reg").c_str(), 1);
  gDatabase = root + "/db";
  tools::Dictionary::Create(gDatabase, "", 0, false);
  Generate(gDatabase, "Big");
  Generate(gDatabase, "Same");
  benchmark::RunSpecifiedBenchmarks();
  std::filesystem::remove_all(root);
  return 0;
}
