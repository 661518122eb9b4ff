// Damaged copies of the real samples: truncated, with flipped bytes, with loops in their chains.
// The reader reports each as LegacyError naming the file and the problem, and never reads
// outside the file (the sanitizer build checks that).

#include <gtest/gtest.h>

#include <random>

#include "legacy/Samples.h"

namespace vader::legacy::testing {
namespace {

const char* const kFiles[] = {"GALTELA.DAT",  "MBBSEMU.DAT",  "MBMGEPLT.DAT",
                              "MULTIACS.DAT", "VARIABLE.DAT", "WCCACMS2.DAT",
                              "WGSMENU2.DAT", "TEST.DAT",     "TESTE.DAT"};

TEST(LegacyDamageTest, TruncatedCopiesAreReportedAsTruncated) {
  for (const char* file : kFiles) {
    const std::string bytes = Sample(file);
    const size_t page = static_cast<uint8_t>(bytes[8]) | static_cast<uint8_t>(bytes[9]) << 8;
    for (size_t size :
         {size_t{0}, size_t{100}, size_t{511}, page + 17, bytes.size() / 2 + 1, bytes.size() - 1}) {
      SCOPED_TRACE(std::string(file) + " cut to " + std::to_string(size));
      const std::string reason = ReadAll(file, bytes.substr(0, size));
      EXPECT_TRUE(Has(reason, "truncated") || Has(reason, "too short"));
    }
  }
}

TEST(LegacyDamageTest, FlippedBytesNeverCrashTheReader) {
  std::mt19937 random(19);
  size_t reported = 0, total = 0;
  for (const char* file : kFiles) {
    const std::string bytes = Sample(file);
    const bool large = bytes.size() > 1000000;
    const size_t page = static_cast<uint8_t>(bytes[8]) | static_cast<uint8_t>(bytes[9]) << 8;
    for (int n = 0; n < (large ? 20 : 250); ++n) {
      std::string copy = bytes;
      // Half of the damage goes to the control records, where every field matters.
      const size_t span = n % 2 ? copy.size() : std::min(copy.size(), 2 * page);
      for (int flips = 1 + n % 3; flips > 0; --flips)
        copy[random() % span] ^= static_cast<char>(1 + random() % 255);
      reported += !ReadAll(file, copy).empty();
      ++total;
    }
  }
  EXPECT_GT(reported, total / 10);  // the checks do catch damage, not only survive it
}

struct Patch {
  size_t at;
  std::string bytes;
};

TEST(LegacyDamageTest, LoopsAndStrayPointersAreNamed) {
  const struct {
    const char* file;
    std::vector<Patch> patches;
    const char* reason;
  } cases[] = {
      // The last deleted slot points back at the first.
      {"TESTE.DAT", {}, "the deleted-record chain loops"},
      // Free page 40 names itself as the next free page.
      {"TESTE.DAT", {{40 * 1024 + 8, std::string("\0\0\x28\0", 4)}}, "the free-page chain loops"},
      // The root of the index names itself as its first child.
      {"TESTE.DAT", {{9 * 1024 + 12, std::string("\0\0\x09\0", 4)}}, "its index loops"},
      // Record 1023's tail continues into the fragment it starts in.
      {"VARIABLE.DAT",
       {{1155 * 512 + 12, std::string("\0\x83\x04\0", 4)}},
       "the fragment chain of a variable tail (page 1155, fragment 0) loops"},
      // Key 0's duplicate chain: the third record points back at the first.
      {"MBBSEMU.DAT",
       {{0xABA + 74 + 4, std::string("\0\0\x06\x0a", 4)}},
       "key 0: a duplicate chain loops"},
      // An index entry points into the middle of a slot.
      {"TEST.DAT", {{1024 + 16 + 4, std::string("\0\0\x07\x08", 4)}}, "which is not a live record"},
      // The allocation table maps a data page beyond the end of the file.
      {"WGSMENU2.DAT",
       {{3 * 4096 + 4 + 4 * 3, std::string("\0D\xff\x7f", 4)}},
       "beyond the end of the file"},
      // The key table of a 6.x control record points outside the page.
      {"GALTELA.DAT",
       {{4096 + 0x78, std::string("\xff\x0f", 2)}},
       "the key table offset 0x0FFF lies outside the control record"},
  };
  for (const auto& c : cases) {
    std::string bytes = Sample(c.file);
    if (c.patches.empty()) {  // close the deleted-record chain into a ring
      uint32_t last = GetHiLo(bytes, 0x10);
      while (GetHiLo(bytes, last) != kNone) last = GetHiLo(bytes, last);
      PutHiLo(bytes, last, GetHiLo(bytes, 0x10));
    }
    for (const Patch& p : c.patches) bytes.replace(p.at, p.bytes.size(), p.bytes);
    const std::string reason = ReadAll(c.file, bytes);
    EXPECT_TRUE(Has(reason, c.reason));
  }
}

}  // namespace
}  // namespace vader::legacy::testing
