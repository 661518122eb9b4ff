// A restructure killed at random moments (SIGKILL, as a crash or a power cut ends a program)
// leaves the table old or new, and whole: every record there, the dictionary and the data file
// agreeing, the file's indexes agreeing with its records. Once in a directory, once on a
// PostgreSQL server that the test starts itself.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>

#include "common/TempDir.h"
#include "components/BtrMainTable.h"
#include "microkernel/TestServer.h"
#include "platform/Registry.h"
#include "tools/Dictionary.h"
#include "tools/IntegrityCheck.h"
#include "tools/Records.h"
#include "tools/ServerFiles.h"
#include "tools/TableRecord.h"

namespace vader::tools {
namespace {

// Enough records that a restructure takes a good part of a second, so that kills land in
// every one of its phases; unoptimized (sanitizer) builds run ten times slower and get fewer.
#ifdef NDEBUG
constexpr int kRecords = 20000;
#else
constexpr int kRecords = 1500;
#endif
// Records go to a server in round trips: far fewer make a restructure take as long; each
// cycle there costs seconds of server calls, and fewer cycles keep the test's time in bounds.
constexpr int kServerRecords = kRecords / 20;
constexpr int kCycles = 20;
constexpr int kServerCycles = 10;

constexpr const char* kOld = R"(table name=Big file=BIG.BTR
field name=Id type=integer size=4
field name=Name type=string size=30 from=Label
field name=Amount type=integer size=4
field name=City type=zstring size=20
index number=0
part field=Id
)";
constexpr const char* kNew = R"(table name=Big file=BIG.BTR
field name=Id type=integer size=4
field name=Label type=string size=40 from=Name
field name=City type=zstring size=20
field name=Amount type=decimal size=8 decimals=2
field name=Note type=zstring size=10
index number=0
part field=Id
index number=1 duplicates modifiable
part field=City
)";

std::string Name(int id) { return "Name " + std::to_string(id); }

// The parameter: whether the database is on a server.
class RestructureCrash : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    if (GetParam()) {
      microkernel::test::TestServer& server = microkernel::test::TestServer::Shared();
      if (!server.Running()) GTEST_SKIP() << "no PostgreSQL server: " << server.Reason();
      db_ = server.Location("crash");
      records_ = kServerRecords;
      cycles_ = kServerCycles;
      // Server calls vary in length more: kills reach well past one run's time, so that some
      // land after the switch.
      reach_ = 20;
    }
    setenv(platform::kRegistryEnvironmentVariable, dir_.File("registry.reg").c_str(), 1);
    Dictionary::Create(db_, "", 0, false);
    const TableDef def = Dictionary(db_).Define(ParseSchema(kOld).front(), true, false);
    BtrFile file(db_ + "/BIG.BTR");
    BatchInserter inserter;
    for (int id = 1; id <= records_; ++id) {
      Bytes record = TableRecord(def)
                         .Int("Id", id)
                         .Text("Name", Name(id))
                         .Int("Amount", id % 1000)
                         .Text("City", "City " + std::to_string(id % 37))
                         .Finish();
      inserter.Insert(file, record);
    }
    inserter.Finish();
    std::ofstream(dir_.File("old.schema")) << kOld;
    std::ofstream(dir_.File("new.schema")) << kNew;
  }
  void TearDown() override { unsetenv(platform::kRegistryEnvironmentVariable); }

  static bool FileThere(const std::string& path) {
    return IsServerFile(path) ? ServerFileExists(path) : std::filesystem::exists(path);
  }

  // Starts vbutil restructure towards the other structure; returns its process id.
  pid_t StartRestructure(bool toNew) {
    const std::string vbutil =
        std::filesystem::canonical("/proc/self/exe").parent_path().string() + "/vbutil";
    const std::string schema = dir_.File(toNew ? "new.schema" : "old.schema");
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::execl(vbutil.c_str(), "vbutil", "restructure", db_.c_str(), "Big", schema.c_str(),
              "--quiet", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    return pid;
  }

  // The table as a person opening it finds it; returns whether it has the new structure.
  bool CheckWhole() {
    const TableDef def = Dictionary(db_).Table("Big");
    const bool isNew = def.Field("Note") != nullptr;
    EXPECT_EQ(def.fields.size(), isNew ? 5u : 4u);
    BtrMainStartup();
    {
      TtbTable table;
      table.SetDatabaseName(db_);
      table.SetTableName("Big");
      table.Open();  // finishes a swap that was cut off
      EXPECT_EQ(table.RecordCount(), records_);
      for (int id : {1, records_ / 2, records_}) {
        EXPECT_TRUE(table.FindKey({int64_t{id}})) << id;
        EXPECT_EQ(table.FieldByName(isNew ? "Label" : "Name")->AsString(), Name(id));

        EXPECT_EQ(table.FieldByName("Amount")->AsFloat(), id % 1000);
      }
    }
    BtrMainShutdown();
    const CheckReport report = CheckFile(db_ + "/BIG.BTR");
    EXPECT_TRUE(report.Ok()) << (report.problems.empty() ? "" : report.problems.front());
    EXPECT_EQ(report.keys, isNew ? 2u : 1u);
    EXPECT_FALSE(FileThere(db_ + "/BIG.BTR.old"));
    return isNew;
  }

  testing::TempDir dir_;
  std::string db_ = dir_.File("db");
  int records_ = kRecords;
  int cycles_ = kCycles;
  int reach_ = 11;  // the latest kill, in tenths of an undisturbed run
};

TEST_P(RestructureCrash, KilledAtAnyMomentLeavesTheOldOrTheNewTableWhole) {
  // One undisturbed run tells how long a restructure takes here.
  const auto start = std::chrono::steady_clock::now();
  int status = 0;
  ::waitpid(StartRestructure(true), &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - start);
  ASSERT_TRUE(CheckWhole());
  std::fprintf(stderr, "one restructure of %d records: %lld ms\n", records_,
               static_cast<long long>(took.count()));

  std::mt19937 random(20240611);
  // A run may take longer than the undisturbed one (a loaded machine, sanitizers): after each
  // kill that came before the switch the window reaches half a run further, so that kills keep
  // landing after it too.
  int reach = reach_;
  int unchanged = 0, changed = 0;
  bool isNew = true;
  for (int cycle = 0; cycle < cycles_; ++cycle) {
    const pid_t pid = StartRestructure(!isNew);
    std::uniform_int_distribution<int> moment(0, static_cast<int>(took.count() * reach / 10));
    std::this_thread::sleep_for(std::chrono::milliseconds(moment(random)));
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    const bool before = isNew;
    isNew = CheckWhole();
    (isNew == before ? unchanged : changed)++;
    reach = isNew == before ? std::min(reach + 5, 4 * reach_) : reach_;
    if (HasFailure()) break;
  }
  // Kills landed both before and after the switch.
  EXPECT_GT(unchanged, 0);
  EXPECT_GT(changed, 0);
}

INSTANTIATE_TEST_SUITE_P(InADirectoryAndOnAServer, RestructureCrash, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "Server" : "Directory";
                         });

}  // namespace
}  // namespace vader::tools
