// The reader over the real sample files: what each file holds, the records as their generator
// wrote them, the slots it must skip, the control record it must choose, and what it refuses.
// (Index orders are checked through the record manager's own ordering in ImportTest.)

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "legacy/Samples.h"

namespace vader::legacy::testing {
namespace {

// Keys in the notation "k0=zstr@0/16acs+zstr@16/16acs;k1=..." (0-based offset / length).
std::string KeyShapes(const FileInfo& info) {
  static const char* const kTypes[] = {"str",   "int",     "float", "date",   "time", "dec",
                                       "money", "logical", "num",   "bfloat", "lstr", "zstr",
                                       "note",  "lvar",    "ubin",  "autoinc"};
  std::string out;
  for (const KeySpec& k : info.keys) {
    out += (out.empty() ? "k" : ";k") + std::to_string(k.number) + "=";
    for (const SegmentSpec& s : k.segments) {
      const bool extended = (s.flags & kExtended) && s.type < 16;
      out += (&s == &k.segments[0] ? "" : "+") +
             std::string(extended              ? kTypes[s.type]
                         : (s.flags & kBinary) ? "old-bin"
                                               : "old-str") +
             "@" + std::to_string(s.offset) + "/" + std::to_string(s.length) +
             ((s.flags & kDuplicates) ? "dup" : "") + (s.acs >= 0 ? "acs" : "");
    }
  }
  return out;
}

// The manifest of tests/legacy/data.
const struct {
  const char* file;
  Format format;
  uint16_t version, page, record, slot;
  uint32_t records;
  const char* keys;
  int controlPage;
  bool variable;
  const char* acs;
} kSamples[] = {
    {"GALTELA.DAT", Format::kV6, 0x0600, 4096, 950, 968, 73,
     "k0=zstr@0/16acs+zstr@16/16acs;k1=zstr@0/16dupacs;k2=zstr@16/16dupacs", 1, false, "GALCAPS"},
    {"MBBSEMU.DAT", Format::kPre6, 0x0400, 512, 74, 90, 4,
     "k0=zstr@2/32dup;k1=int@34/4;k2=zstr@38/32dup;k3=autoinc@70/4", 0, false, ""},
    {"MBMGEPLT.DAT", Format::kPre6, 0x0400, 1024, 493, 509, 22,
     "k0=ubin@0/6;k1=zstr@24/30dup;k2=ubin@6/2dup", 0, false, ""},
    {"MULTIACS.DAT", Format::kV6, 0x0610, 4096, 128, 142, 0,
     "k0=zstr@2/16dupacs;k1=int@20/4+float@24/8;k2=zstr@30/16acs", 0, true, "ALLCAPS"},
    {"VARIABLE.DAT", Format::kPre6, 0x0400, 512, 8, 20, 1024, "k0=int@4/2dup;k1=int@6/2", 0, true,
     ""},
    {"WCCACMS2.DAT", Format::kV6, 0x0600, 4096, 400, 402, 7639, "k0=autoinc@0/2", 1, false, ""},
    {"WGSMENU2.DAT", Format::kV6, 0x0600, 4096, 448, 454, 46, "k0=zstr@0/17acs", 1, true,
     "GALCAPS"},
    {"TEST.DAT", Format::kPre6, 0x0300, 1024, 64, 72, 5, "k0=old-str@0/4dup", 0, false, ""},
    {"TESTE.DAT", Format::kPre6, 0x0300, 1024, 64, 64, 600, "k0=old-str@0/4", 0, false, ""},
};

TEST(LegacyReaderTest, EverySampleMatchesTheManifest) {
  for (const auto& e : kSamples) {
    SCOPED_TRACE(e.file);
    const LegacyFile f = LegacyFile::Open(SamplePath(e.file));
    const FileInfo& info = f.Info();
    EXPECT_EQ(e.format, info.format);
    EXPECT_EQ(e.version, info.version);
    EXPECT_EQ(e.page, info.pageSize);
    EXPECT_EQ(e.record, info.recordLength);
    EXPECT_EQ(e.slot, info.physicalLength);
    EXPECT_EQ(e.records, info.records);
    EXPECT_EQ(e.records, f.Addresses().size());
    EXPECT_EQ(e.keys, KeyShapes(info));
    EXPECT_EQ(e.controlPage, info.controlPage);
    EXPECT_EQ(e.variable, info.Variable());
    EXPECT_EQ(e.acs, info.acsName);
    EXPECT_FALSE(info.ownerProtected);
    f.Verify();
  }
  // MULTIACS has an ACS page per key: ALLCAPS for key 0, LOWER for key 2.
  const LegacyFile multi = LegacyFile::Open(SamplePath("MULTIACS.DAT"));
  const FileInfo& m = multi.Info();
  ASSERT_EQ(2u, m.acs.size());
  EXPECT_EQ("ALLCAPS", m.acs[static_cast<size_t>(m.keys[0].segments[0].acs)].Name());
  EXPECT_EQ("LOWER", m.acs[static_cast<size_t>(m.keys[2].segments[0].acs)].Name());
  EXPECT_EQ('a', m.acs[1].block[9 + 'A']);
}

TEST(LegacyReaderTest, VariableRecordsAreExactlyWhatTheGeneratorWrote) {
  const LegacyFile f = LegacyFile::Open(SamplePath("VARIABLE.DAT"));
  std::vector<std::string> records;
  for (uint32_t a : f.Addresses()) records.push_back(f.Record(a));
  const auto number = [](const std::string& r) { return uint8_t(r[6]) + 256 * uint8_t(r[7]); };
  std::sort(records.begin(), records.end(),
            [&](const std::string& x, const std::string& y) { return number(x) < number(y); });
  ASSERT_EQ(1024u, records.size());
  for (int i = 0; i < 1024; ++i) {
    std::string want = "\xEF\xBE\xAD\xDE";
    want += {char(i % 64), '\0', char(i & 0xFF), char(i >> 8)};
    for (int j = 0; j < i; ++j) want += static_cast<char>(j & 0xFF);
    ASSERT_EQ(want, records[static_cast<size_t>(i)]) << "record " << i;
  }
  // Key 0 (i mod 64, duplicates) returns each value's records in the order they were written.
  const std::vector<uint32_t> order = f.IndexOrder(0);
  for (size_t n = 1; n < order.size(); ++n) {
    const std::string a = f.Record(order[n - 1]), b = f.Record(order[n]);
    EXPECT_TRUE(a[4] != b[4] || a.size() < b.size()) << "position " << n;
  }
}

TEST(LegacyReaderTest, DeletedSlotsFreePagesAndTheStaleControlRecordAreSkipped) {
  const std::string bytes = Sample("TESTE.DAT");
  const LegacyFile f("TESTE.DAT", bytes);
  const std::set<uint32_t> live(f.Addresses().begin(), f.Addresses().end());
  size_t deleted = 0;
  for (uint32_t a = GetHiLo(bytes, 0x10); a != kNone; a = GetHiLo(bytes, a), ++deleted)
    EXPECT_FALSE(live.count(a)) << "deleted slot " << a << " read as a record";
  EXPECT_EQ(400u, deleted);
  for (uint32_t p = GetHiLo(bytes, 0x0C); p != kNone; p = GetHiLo(bytes, p * 1024u + 8))
    EXPECT_EQ(live.lower_bound(p * 1024), live.lower_bound(p * 1024 + 1024)) << "free page " << p;
  // GALTELA: given the higher usage count, the stale copy on page 0 (0 records) is read.
  std::string galtela = Sample("GALTELA.DAT");
  PutWord(galtela, 4, 9);
  EXPECT_TRUE(Has(ReadAll("GALTELA.DAT", galtela), "but the control record counts 0"));
}

TEST(LegacyReaderTest, FeaturesItCannotDecodeAreNamed) {
  const struct {
    const char* file;
    size_t at;
    uint16_t value;
    const char* reason;
  } cases[] = {
      {"TEST.DAT", 0x106, 0x0008, "its records are compressed"},
      {"TEST.DAT", 0x106, 0x0002, "blank truncation"},
      {"TEST.DAT", 0x22, 0xFFFF, "needs recovery"},
      {"TEST.DAT", 0x06, 0x0200, "unknown format level 0x0200"},
      {"GALTELA.DAT", 0x1000 + 0x4A, 0x0700, "(7.x or later) is not supported"},
      {"WGSMENU2.DAT", 0x1000 + 0x106, 0x0801, "allocation tables"},
  };
  for (const auto& c : cases) {
    std::string bytes = Sample(c.file);
    PutWord(bytes, c.at, c.value);
    EXPECT_TRUE(Has(ReadAll(c.file, bytes), c.reason));
  }
  std::string owned = Sample("TEST.DAT");
  PutWord(owned, 0x06, 0xFD00);  // the level word negated: an owner name is set
  EXPECT_TRUE(LegacyFile("TEST.DAT", owned).Info().ownerProtected);
}

}  // namespace
}  // namespace vader::legacy::testing
