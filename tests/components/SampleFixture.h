#pragma once
// Components over a copy of the sample database, with the registry stand-in in the test's own
// directory and the Btrieve modules started; the components are owned by `owner`.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

#include "common/TempDir.h"
#include "components/BtrMain.h"
#include "platform/Registry.h"

namespace vader::testing {

class SampleFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv(platform::kRegistryEnvironmentVariable, dir.File("registry.reg").c_str(), 1);
    std::filesystem::copy(VADER_SAMPLE_DATABASE, db);
    BtrMainStartup();
  }
  void TearDown() override {
    owner.reset();
    BtrMainShutdown();
    unsetenv(platform::kRegistryEnvironmentVariable);
  }

  TempDir dir;
  std::string db = dir.File("sample");
  std::unique_ptr<TComponent> owner = std::make_unique<TComponent>();
};

}  // namespace vader::testing
