#include <gtest/gtest.h>
#include <sys/stat.h>

#include "common/TempDir.h"
#include "components/BseMain.h"
#include "components/BtrMain.h"
#include "framework/Forms.h"
#include "framework/FrameworkErrors.h"
#include "language/Zothrtns.h"
#include "language/zInter.h"
#include "platform/Com.h"
#include "platform/ProcessInfo.h"
#include "platform/WindowMessages.h"
#include "shell/Startup.h"

namespace vader {
namespace {

using vader::testing::TempDir;

TEST(ModuleTable, StartsInOrderAndShutsDownInExactReverse) {
  std::vector<std::string> log;
  TModuleTable table;
  for (std::string name : {"a", "b", "c"})
    table.Add({name, [&log, name] { log.push_back("+" + name); },
               [&log, name] { log.push_back("-" + name); }});
  table.Add({"no procedures", nullptr, nullptr});
  table.Startup();
  table.Startup();  // each start-up runs at most once
  table.Shutdown();
  table.Shutdown();
  EXPECT_EQ(log, (std::vector<std::string>{"+a", "+b", "+c", "-c", "-b", "-a"}));
}

TEST(ModuleTable, AFailingStartUpShutsDownWhatStartedAndReportsTheError) {
  std::vector<std::string> log;
  TModuleTable table;
  table.Add({"a", [&] { log.push_back("+a"); }, [&] { log.push_back("-a"); }});
  table.Add({"b", [&] { log.push_back("+b"); }, [&] { throw Exception("b stop failed"); }});
  table.Add({"c", [] { throw Exception("c failed"); }, [&] { log.push_back("-c"); }});
  table.Add({"d", [&] { log.push_back("+d"); }, nullptr});
  try {
    table.Startup();
    FAIL() << "no error raised";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "c failed");
  }
  EXPECT_EQ(log, (std::vector<std::string>{"+a", "+b", "-a"}));
  EXPECT_EQ(table.StartedCount(), 0);
}

class SystemStartup : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetMessageTableFile(dir.File("messages"));
    platform::SetExecutablePathForTesting(dir.File("vader"));
    platform::DiscardPendingBroadcasts();
    InitProc = nullptr;
  }
  void TearDown() override {
    InitProc = nullptr;
    platform::SetCoInitializeResultForTesting(platform::S_OK);
    platform::SetExecutablePathForTesting("");
  }
  TempDir dir;
};

TEST_F(SystemStartup, ModulesStartInTheSystemsOrder) {
  const TModuleTable table = BuildModuleTable(true);
  std::vector<std::string> names;
  for (const auto& entry : table.Entries()) names.push_back(entry.name);
  EXPECT_EQ(names, (std::vector<std::string>{"BtrConv", "BseMain", "BtrMain", "zInter", "Zothrtns"}));
}

TEST_F(SystemStartup, BringsTheServicesUpAndChainsComIntoApplicationStartUp) {
  bool earlierHookRan = false;
  InitProc = [&] { earlierHookRan = true; };
  TModuleTable table = BuildModuleTable(true);
  table.Startup();
  EXPECT_EQ(LanguageIniFile(), dir.File("Language.INI"));
  EXPECT_EQ(platform::PendingBroadcasts().size(), 1u);
  EXPECT_NE(OpenDataMessage, 0);
  EXPECT_FALSE(ComInitialized);  // not before the application is initialised
  ASSERT_NE(BtrDefaultSession(), nullptr);
  EXPECT_EQ(BtrDefaultSession()->SessionName(), "Btrieve");
  EXPECT_EQ(BtrSessionList()->FindSession(""), BtrDefaultSession());

  InitProc();  // what the application object runs
  EXPECT_TRUE(earlierHookRan);
  EXPECT_TRUE(ComInitialized);
  EXPECT_EQ(platform::ComInitCount(), 1);

  table.Shutdown();
  EXPECT_EQ(platform::ComInitCount(), 0);
  EXPECT_TRUE(LanguageIniFile().empty());
  EXPECT_EQ(BtrDefaultSession(), nullptr);
  EXPECT_EQ(BtrSessionList(), nullptr);
}

TEST_F(SystemStartup, FailedComInitialisationIsNotUndone) {
  TModuleTable table = BuildModuleTable(true);
  table.Startup();
  platform::SetCoInitializeResultForTesting(platform::E_FAIL);
  InitProc();
  EXPECT_FALSE(ComInitialized);
  platform::SetCoInitializeResultForTesting(platform::S_OK);
  ASSERT_EQ(platform::CoInitialize(nullptr), platform::S_OK);  // someone else's
  table.Shutdown();
  EXPECT_EQ(platform::ComInitCount(), 1);  // theirs was left alone
  platform::CoUninitialize();
}

TEST_F(SystemStartup, AsALibraryNoComStepIsChained) {
  TModuleTable table = BuildModuleTable(false);
  table.Startup();
  EXPECT_FALSE(InitProc);
  table.Shutdown();
  EXPECT_EQ(platform::ComInitCount(), 0);
}

TEST_F(SystemStartup, UnwritableLanguageIniEndsStartUpAndUndoesWhatStarted) {
  chmod(dir.Path().c_str(), 0555);
  TModuleTable table = BuildModuleTable(true);
  try {
    table.Startup();
    FAIL() << "no error raised";
  } catch (const EIniFileException& e) {
    EXPECT_EQ(e.Message(), "Unable to write to " + dir.File("Language.INI"));
  }
  EXPECT_EQ(table.StartedCount(), 0);
  EXPECT_FALSE(InitProc);  // the COM step is unchained again
}

}  // namespace
}  // namespace vader
