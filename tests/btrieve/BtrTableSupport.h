#pragma once
// Btrieve files made through the record manager and table cursors opened on them with field
// descriptors built from dictionary records, as the database will load them.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "btrieve/BtrConst.h"
#include "btrieve/BtrDict.h"
#include "btrieve/BtrIntrf.h"
#include "btrieve/BtrTable.h"
#include "common/TempDir.h"
#include "platform/DynamicLibrary.h"

namespace vader::testing {

inline DictionaryField Field(const char* name, uint8_t type, uint16_t offset, uint16_t size) {
  return MakeDictionaryField(name, type, offset, size);
}

inline KeySegmentSpec Segment(uint16_t position, uint16_t length, uint8_t type, uint16_t flags) {
  KeySegmentSpec s{};
  s.Position = position;
  s.Length = length;
  s.Flags = static_cast<uint16_t>(flags | 0x0102);  // extended type, modifiable
  s.ExtendedType = type;
  return s;
}

// Creates the Btrieve file `path` through the loaded record manager.
inline std::string CreateBtrieveFile(const std::string& path, uint16_t recordLength,
                                     uint8_t keyCount, const std::vector<KeySegmentSpec>& segments,
                                     bool variable = false, const std::vector<uint8_t>& acs = {}) {
  std::vector<uint8_t> layout(16 + 16 * segments.size());
  layout.insert(layout.end(), acs.begin(), acs.end());
  StatFileSpec file{};
  file.RecordLength = recordLength;
  file.PageSize = 4096;
  file.KeyCount = keyCount;
  file.FileFlags = variable ? 1 : 0;
  std::memcpy(layout.data(), &file, sizeof file);
  for (size_t i = 0; i < segments.size(); ++i)
    std::memcpy(layout.data() + 16 + 16 * i, &segments[i], 16);
  std::string key = path;
  key.resize(256, '\0');
  uint8_t position[kPositionBlockSize] = {};
  uint32_t length = static_cast<uint32_t>(layout.size());
  EXPECT_EQ(BtrCall(B_CREATE, position, layout.data(), &length, key.data(), 255, 0), 0) << path;
  return path;
}

// The record manager stays loaded for the whole test program; each test gets a fresh directory.
class BtrFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static const platform::HMODULE resident = platform::LoadLibrary(kDefaultBtrieveLibrary);
    ASSERT_NE(resident, nullptr);
    ASSERT_EQ(LoadBtrieveLibrary("", kDefaultBtrieveLibrary), 0);
  }
  void TearDown() override {
    tables_.clear();
    UnloadBtrieveLibrary();
  }

  // Creates `name` with records of `recordLength` bytes (variable-length when `variable`).
  std::string CreateFile(const std::string& name, uint16_t recordLength, uint8_t keyCount,
                         const std::vector<KeySegmentSpec>& segments, bool variable = false,
                         const std::vector<uint8_t>& acs = {}) {
    return CreateBtrieveFile(dir_.File(name), recordLength, keyCount, segments, variable, acs);
  }

  TBtrTable& Open(const std::string& path, const std::vector<DictionaryField>& fields,
                  const char* name = "TABLE", const uint8_t* clientId = nullptr) {
    auto* table = TBaseTable::Create<TBtrTable>(nullptr, nullptr, name, nullptr, kOpenReadWrite,
                                                kShareShared, clientId);
    tables_.emplace_back(table);
    table->SetFileName(path.c_str());
    table->LoadFields(fields);
    table->OpenCursor();
    return *table;
  }

  TempDir dir_;
  std::vector<std::unique_ptr<TBtrTable>> tables_;
};

}  // namespace vader::testing
