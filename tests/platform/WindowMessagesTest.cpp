#include "platform/WindowMessages.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/TempDir.h"
#include "platform/TextCase.h"

namespace vader::platform {
namespace {

using vader::testing::TempDir;

TEST(RegisterWindowMessage, SameNameSameIdInRange) {
  TempDir dir;
  SetMessageTableFile(dir.File("messages"));
  const auto a = RegisterWindowMessage("Tolvex International Language Changing");
  const auto b = RegisterWindowMessage("Some Other Message");
  EXPECT_GE(a, kFirstRegisteredMessage);
  EXPECT_LE(b, kLastRegisteredMessage);
  EXPECT_NE(a, b);
  EXPECT_EQ(RegisterWindowMessage("TOLVEX INTERNATIONAL LANGUAGE CHANGING"), a);
  EXPECT_EQ(RegisterWindowMessage(""), 0u);
  EXPECT_EQ(RegisterWindowMessage("two\nlines"), 0u);
}

TEST(RegisterWindowMessage, AnotherProcessGetsTheSameIds) {
  TempDir dir;
  SetMessageTableFile(dir.File("messages"));
  const auto mine = RegisterWindowMessage("/opt/app/prog" "OpenData");
  const pid_t child = fork();
  if (child == 0) {
    SetMessageTableFile(dir.File("messages"));  // a fresh process has an empty cache
    RegisterWindowMessage("registered first in the child");
    _exit(RegisterWindowMessage("/opt/app/progOpenData") == mine ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(RegisterWindowMessage, UnusableTableFileFallsBackToTheProcess) {
  SetMessageTableFile("/nonexistent-dir/messages");
  const auto id = RegisterWindowMessage("fallback");
  EXPECT_GE(id, kFirstRegisteredMessage);
  EXPECT_EQ(RegisterWindowMessage("FALLBACK"), id);
  SetMessageTableFile("");
}

TEST(Broadcast, PostedMessagesWaitForTheEventLoopAndReachEveryReceiver) {
  DiscardPendingBroadcasts();
  int wakeUps = 0;
  SetPostWakeUp([&] { ++wakeUps; });
  std::vector<std::uint32_t> first, second;
  const int a = AddBroadcastReceiver([&](const PostedMessage& m) { first.push_back(m.message); });
  const int b = AddBroadcastReceiver([&](const PostedMessage& m) { second.push_back(m.message); });

  EXPECT_TRUE(PostBroadcastMessage(0xC001, 0, 0));
  EXPECT_TRUE(PostBroadcastMessage(0xC002, 0, 0));
  EXPECT_FALSE(PostBroadcastMessage(0, 0, 0));
  EXPECT_EQ(wakeUps, 2);
  EXPECT_TRUE(first.empty());  // posting never delivers on the spot
  DeliverPostedMessages();
  EXPECT_EQ(first, (std::vector<std::uint32_t>{0xC001, 0xC002}));
  EXPECT_EQ(second, first);
  EXPECT_TRUE(PendingBroadcasts().empty());

  RemoveBroadcastReceiver(a);
  RemoveBroadcastReceiver(b);
  SetPostWakeUp(nullptr);
}

TEST(LocaleComparison, CaseAndLigaturesOfTheAnsiCodePage) {
  EXPECT_EQ(CompareTextLocale("Open", "OPEN"), 0);
  EXPECT_EQ(CompareTextLocale("\xC9t\xE9", "\xE9T\xC9"), 0);   // Été / éTÉ
  EXPECT_EQ(CompareTextLocale("Stra\xDF" "e", "STRASSE"), 0);  // Straße
  EXPECT_EQ(CompareTextLocale("\xC6on", "aeon"), 0);           // Æon
  EXPECT_EQ(CompareTextLocale("\x8A", "\x9A"), 0);             // Š / š
  EXPECT_NE(CompareTextLocale("\xD7", "\xF7"), 0);             // × and ÷ are no letters
  EXPECT_NE(CompareTextLocale("Open", "Open "), 0);
  EXPECT_LT(CompareTextLocale("abc", "ABD"), 0);
}

}  // namespace
}  // namespace vader::platform
