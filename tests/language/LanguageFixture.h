#pragma once
// Runs the language service as if the executable lived in a fresh temporary directory, so
// Language.INI and dictionaries of a test never meet those of another.

#include <gtest/gtest.h>

#include "common/TempDir.h"
#include "language/zInter.h"
#include "platform/ProcessInfo.h"
#include "platform/WindowMessages.h"

namespace vader::testing {

class LanguageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetMessageTableFile(dir.File("messages"));
    platform::SetExecutablePathForTesting(dir.File("vader"));
    platform::DiscardPendingBroadcasts();
  }
  void TearDown() override {
    ZInterShutdown();
    platform::SetExecutablePathForTesting("");
    platform::DiscardPendingBroadcasts();
  }

  // Starts the service with a dictionary of the given content, named Name.
  void StartWith(const std::string& content, const std::string& name = "fr.txt") {
    const std::string dictionary = dir.Write(name, content);
    dir.Write("Language.INI", "[Setup]\nRecStrFileName=" + dictionary + "\n");
    ZInterStartup();
  }

  TempDir dir;
};

}  // namespace vader::testing
