#pragma once
// The real Btrieve files of tests/legacy/data, and helpers to read, patch and damage them.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "common/TempDir.h"
#include "legacy/LegacyFile.h"
#include "legacy/Pre6Files.h"

namespace vader::legacy::testing {

inline std::string SamplePath(const std::string& name) {
  return std::string(VADER_LEGACY_DATA) + "/" + name;
}
inline std::string Sample(const std::string& name) {
  return vader::testing::TempDir::Read(SamplePath(name));
}

// Reads everything the import reads; returns the reason of the LegacyError, or "" when the
// file reads through. The message must name the file; any other exception fails the test.
inline std::string ReadAll(const std::string& name, const std::string& bytes) {
  try {
    const LegacyFile f(name, bytes);
    f.Verify();
    size_t conflicts = 0;
    f.InsertionOrder(conflicts);
    return "";
  } catch (const LegacyError& e) {
    EXPECT_EQ(0u, std::string(e.what()).find(name + ": ")) << e.what();
    EXPECT_FALSE(e.Reason().empty());
    return e.Reason();
  }
}

inline ::testing::AssertionResult Has(const std::string& text, const std::string& part) {
  if (text.find(part) != std::string::npos) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "'" << part << "' not in: " << text;
}

}  // namespace vader::legacy::testing
