// Restructuring a table of a database kept on a PostgreSQL server that the test starts itself:
// a stopped restructure leaves the table and nothing else; a complete one puts the new
// structure with every record in its place. (Kills at random moments: tools' crash test.)

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "TableRows.h"
#include "common/TempDir.h"
#include "components/BtrMain.h"
#include "components/BtrMainTable.h"
#include "components/TableRestructure.h"
#include "microkernel/TestServer.h"
#include "platform/Registry.h"
#include "tools/Cli.h"
#include "tools/Dictionary.h"
#include "tools/SampleDatabase.h"
#include "tools/ServerFiles.h"

namespace vader {
namespace {

using testing::Rows;

constexpr const char* kWiderCustomers = R"(table name=Customers file=CUSTOMER.BTR
field name=Id type=autoincrement size=4
field name=Name type=string size=60
field name=City type=zstring size=25
field name=Country type=lstring size=21
field name=Email type=zstring size=40
index number=0
part field=Id
index number=1 duplicates modifiable
part field=City
)";

class ServerRestructure : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!server.Running()) GTEST_SKIP() << "no PostgreSQL server: " << server.Reason();
    setenv(platform::kRegistryEnvironmentVariable, dir.File("registry.reg").c_str(), 1);
    tools::GenerateSampleDatabase(dir.File("local"), tools::SampleCounts{30, 4, 10, 5, 20});
    std::ostringstream out, err;
    ASSERT_EQ(tools::RunUtility({"copy-db", "--quiet", dir.File("local"), db}, out, err),
              tools::kExitOk)
        << out.str() << err.str();
    BtrMainStartup();
  }
  void TearDown() override {
    if (!server.Running()) return;
    owner.reset();
    BtrMainShutdown();
    unsetenv(platform::kRegistryEnvironmentVariable);
  }
  TtbTable& Make(const std::string& name) { return testing::NewTable(owner.get(), db, name); }
  Rows Read(const std::string& table, const std::vector<std::string>& fields) {
    return testing::ReadRows(Make(table), fields);
  }
  tools::TableDef Described(const std::string& table) {
    return tools::Dictionary(db, tools::kSampleDictionaryOwner).Table(table);
  }

  microkernel::test::TestServer& server = microkernel::test::TestServer::Shared();
  testing::TempDir dir;
  // A database of its own for each test, on the one server of the run.
  std::string db = server.Location(
      std::string("office_") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
  std::unique_ptr<TComponent> owner = std::make_unique<TComponent>();
};

TEST_F(ServerRestructure, AStopLeavesTheTableAsItWasAndACompleteCopyTakesItsPlace) {
  const std::vector<std::string> kept = {"Id", "Name", "City", "Country"};
  const Rows before = Read("Customers", kept);
  ASSERT_EQ(before.size(), 30u);
  const tools::TableDef wider = tools::ParseSchema(kWiderCustomers).front();
  TRestructureOptions stopping;
  stopping.progressInterval = 10;
  stopping.onProgress = [](int64_t, int64_t, bool& stop) { stop = true; };
  EXPECT_THROW(RestructureTable(db, "Customers", wider, stopping), EDatabaseError);
  EXPECT_EQ(Read("Customers", kept), before);
  EXPECT_NE(Described("Customers").Field("Phone"), nullptr);
  EXPECT_FALSE(tools::ServerFileExists(db + "/CUSTOMER.BTR.new"));

  EXPECT_EQ(RestructureTable(db, "Customers", wider).records, 30);
  EXPECT_EQ(Read("Customers", kept), before);
  EXPECT_EQ(Described("Customers").Field("Name")->size, 60);
  EXPECT_EQ(Described("Customers").Field("Phone"), nullptr);
  EXPECT_FALSE(tools::ServerFileExists(db + "/CUSTOMER.BTR.new"));
  EXPECT_FALSE(tools::ServerFileExists(db + "/CUSTOMER.BTR.old"));
  TtbTable& byCity = Make("Customers");
  byCity.SetIndexFieldNames("City");
  byCity.Open();
  EXPECT_EQ(byCity.RecordCount(), 30);
  EXPECT_EQ(byCity.FieldByName("Email")->AsString(), "");
}

}  // namespace
}  // namespace vader
