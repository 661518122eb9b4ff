// vbutil against files on a PostgreSQL server: a whole database copied to a server and back,
// and the file commands on server files.

#include <gtest/gtest.h>

#include <sstream>

#include "common/TempDir.h"
#include "microkernel/TestServer.h"
#include "tools/Cli.h"
#include "tools/SampleDatabase.h"

namespace vader::tools {
namespace {

int Vbutil(std::vector<std::string> args, std::string* out = nullptr) {
  std::ostringstream o, e;
  const int code = RunUtility(args, o, e);
  if (out) *out = o.str() + e.str();
  return code;
}

TEST(ServerUtilityTest, CopyDbToAServerAndBackKeepsEveryFile) {
  microkernel::test::TestServer server;
  if (!server.Running()) GTEST_SKIP() << "no PostgreSQL server: " << server.Reason();
  testing::TempDir dir, back;
  GenerateSampleDatabase(dir.Path(), SampleCounts{12, 4, 10, 5, 20});
  const std::string db = server.Location("office");
  std::string out;
  ASSERT_EQ(kExitOk, Vbutil({"copy-db", "--quiet", dir.Path(), db}, &out)) << out;
  EXPECT_NE(out.find("copied "), std::string::npos) << out;
  // Copying again without --replace refuses; with it, it overwrites.
  EXPECT_NE(kExitOk, Vbutil({"copy-db", "--quiet", dir.Path(), db}));
  ASSERT_EQ(kExitOk, Vbutil({"copy-db", "--quiet", "--replace", dir.Path(), db}, &out)) << out;

  // The dictionary and the file commands work on the server copy.
  ASSERT_EQ(kExitOk, Vbutil({"ddf", "list", db}, &out)) << out;
  EXPECT_NE(out.find("OrderLines"), std::string::npos) << out;
  std::string local, remote;
  ASSERT_EQ(kExitOk, Vbutil({"describe", dir.File("ORDERS.BTR")}, &local));
  ASSERT_EQ(kExitOk, Vbutil({"describe", db + "/ORDERS.BTR"}, &remote)) << remote;
  EXPECT_EQ(local, remote);
  ASSERT_EQ(kExitOk, Vbutil({"check", db + "/ORDERS.BTR"}, &out)) << out;
  EXPECT_NE(out.find("20 records"), std::string::npos) << out;
  back.Write("key.desc", "key duplicates\nsegment position=25 length=8 type=currency\n");
  ASSERT_EQ(kExitOk, Vbutil({"index", "add", db + "/ORDERS.BTR", back.File("key.desc")}, &out))
      << out;
  ASSERT_EQ(kExitOk, Vbutil({"check", db + "/ORDERS.BTR"}, &out)) << out;
  ASSERT_EQ(kExitOk, Vbutil({"index", "drop", db + "/ORDERS.BTR", "4"}, &out)) << out;

  // Back into a directory: every file's records as they were.
  ASSERT_EQ(kExitOk, Vbutil({"copy-db", "--quiet", db, back.Path()}, &out)) << out;
  for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
    const std::string name = entry.path().filename().string();
    if (name.find('-') != std::string::npos) continue;  // SQLite's side files
    std::string a, b;
    ASSERT_EQ(kExitOk, Vbutil({"save", dir.File(name)}, &a)) << name;
    ASSERT_EQ(kExitOk, Vbutil({"save", back.File(name)}, &b)) << name << b;
    EXPECT_EQ(a, b) << name;
  }
  EXPECT_NE(kExitOk, Vbutil({"copy-db", "btrv://nobody@127.0.0.1:1/none", back.Path()}));

  // A real Btrieve file imported straight onto the server, variable-length records included.
  const std::string sample = std::string(VADER_SOURCE_DIR) + "/tests/legacy/data/VARIABLE.DAT";
  ASSERT_EQ(kExitOk, Vbutil({"import", "--quiet", sample, db + "/VARIABLE.BTR"}, &out)) << out;
  ASSERT_EQ(kExitOk, Vbutil({"import", "--quiet", sample, back.File("VARIABLE.BTR")}, &out)) << out;
  std::string a, b;
  ASSERT_EQ(kExitOk, Vbutil({"save", db + "/VARIABLE.BTR"}, &a)) << a;
  ASSERT_EQ(kExitOk, Vbutil({"save", back.File("VARIABLE.BTR")}, &b)) << b;
  EXPECT_EQ(a, b);
  EXPECT_GT(a.size(), 100u);
}

}  // namespace
}  // namespace vader::tools
