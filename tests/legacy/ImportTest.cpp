// vbutil import and import-db over the real samples: records byte for byte, the definition as
// Stat reports it, every key's Get Next order against the original index, owners, and nothing
// written when a source cannot be read.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "legacy/Samples.h"
#include "tools/Cli.h"
#include "tools/Records.h"

namespace vader::legacy::testing {
namespace {

using tools::BtrFile;
using tools::Bytes;
using vader::testing::TempDir;
namespace fs = std::filesystem;

struct Result {
  int code;
  std::string out, err;
};

Result Vbutil(std::vector<std::string> args) {
  std::ostringstream out, err;
  const int code = tools::RunUtility(args, out, err);
  return {code, out.str(), err.str()};
}

std::vector<Bytes> KeyOrder(BtrFile& file, int key) {
  std::vector<Bytes> records;
  Bytes k(tools::kKeyBufferSize, '\0'), r;
  for (int16_t s = file.Get(tools::kOpGetFirst, static_cast<int8_t>(key), k, r); s == 0;
       s = file.Get(tools::kOpGetNext, static_cast<int8_t>(key), k, r))
    records.push_back(r);
  return records;
}

// Every record of a record-manager file, sorted.
std::vector<Bytes> Records(const std::string& path, const std::string& owner = "") {
  BtrFile file(path, owner);
  std::vector<Bytes> records;
  Bytes r;
  for (int16_t s = file.Step(tools::kOpStepFirst, r); s == 0; s = file.Step(tools::kOpStepNext, r))
    records.push_back(r);
  std::sort(records.begin(), records.end());
  return records;
}

std::vector<Bytes> Records(const LegacyFile& f) {
  std::vector<Bytes> records;
  for (uint32_t a : f.Addresses()) records.push_back(f.Record(a));
  std::sort(records.begin(), records.end());
  return records;
}

TEST(LegacyImportTest, SamplesKeepRecordsDefinitionAndEveryKeysOrder) {
  TempDir dir;
  for (const char* name :
       {"GALTELA.DAT", "MBBSEMU.DAT", "MBMGEPLT.DAT", "MULTIACS.DAT", "VARIABLE.DAT",
        "WCCACMS2.DAT", "WGSMENU2.DAT", "TEST.DAT", "TESTE.DAT"}) {
    SCOPED_TRACE(name);
    const LegacyFile original = LegacyFile::Open(SamplePath(name));
    const FileInfo& info = original.Info();
    const std::string dest = dir.File(std::string(name) + ".btr");
    const Result r = Vbutil({"import", SamplePath(name), dest, "--quiet"});
    ASSERT_EQ(0, r.code) << r.err;
    EXPECT_EQ("imported " + std::to_string(info.records) + " records from " + SamplePath(name) +
                  " into " + dest + " (" + std::to_string(info.keys.size()) + " keys)\n",
              r.out);  // and no notes: nothing differs
    BtrFile file(dest);
    const tools::FileDef stat = tools::ParseStat(file.Stat());
    EXPECT_EQ(info.recordLength, stat.recordLength);
    EXPECT_EQ(info.pageSize, stat.pageSize);
    EXPECT_EQ(info.Variable(), (stat.flags & tools::kFileVariable) != 0);
    ASSERT_EQ(info.keys.size(), stat.keys.size());
    for (size_t k = 0; k < info.keys.size(); ++k) {
      const KeySpec& want = info.keys[k];
      const tools::KeyDef& got = stat.keys[k];
      EXPECT_EQ(want.uniqueValues, got.uniqueValues) << "key " << k;
      ASSERT_EQ(want.segments.size(), got.segments.size());
      for (size_t s = 0; s < want.segments.size(); ++s) {
        const SegmentSpec& w = want.segments[s];
        const tools::SegmentDef& g = got.segments[s];
        EXPECT_EQ(w.offset + 1, g.position);
        EXPECT_EQ(w.length, g.length);
        EXPECT_EQ(w.flags & ~kSegmented, g.flags);
        EXPECT_EQ((w.flags & kExtended) ? w.type : 0, g.type);
        EXPECT_EQ(w.nullValue, g.nullValue);
        if (w.acs >= 0) {
          ASSERT_LT(g.acs, stat.acs.size());
          EXPECT_EQ(info.acs[static_cast<size_t>(w.acs)].block, stat.acs[g.acs]);
        }
      }
      // Get First / Get Next returns the records in the original index's order.
      std::vector<Bytes> expected;
      for (uint32_t a : original.IndexOrder(k)) expected.push_back(original.Record(a));
      EXPECT_TRUE(expected == KeyOrder(file, want.number)) << "key " << k;
    }
    EXPECT_TRUE(Records(original) == Records(dest));  // byte for byte, none left out
  }
}

// Step Next Extended from the first record: the first 4 bytes of up to 50 records, unfiltered.
Bytes ExtendedRead(BtrFile& file) {
  constexpr uint16_t kStepNextExtended = 38;
  Bytes record;
  if (file.Step(tools::kOpStepFirst, record) != 0) return "";
  // Length 16, "UC", no reject limit, no terms; 50 records, one field: 4 bytes at offset 0.
  const Bytes descriptor("\x10\x00UC\x00\x00\x00\x00\x32\x00\x01\x00\x04\x00\x00\x00", 16);
  Bytes buffer = descriptor + Bytes(4096 - descriptor.size(), '\0'), key(255, '\0');
  uint32_t length = static_cast<uint32_t>(buffer.size());
  const int16_t status = file.Call(kStepNextExtended, buffer.data(), length, key.data(), 0);
  return std::to_string(status) + ":" + buffer.substr(0, status == 0 || status == 9 ? length : 0);
}

// Opened in place through the record manager, a real file answers as its imported copy does:
// Stat, every key's order both ways, the physical order's records; writes are refused.
TEST(LegacyImportTest, SamplesReadInPlaceAsTheirImportedCopies) {
  TempDir dir;
  for (const char* name :
       {"GALTELA.DAT", "MBBSEMU.DAT", "MBMGEPLT.DAT", "MULTIACS.DAT", "VARIABLE.DAT",
        "WCCACMS2.DAT", "WGSMENU2.DAT", "TEST.DAT", "TESTE.DAT"}) {
    SCOPED_TRACE(name);
    const std::string copyPath = dir.File(std::string(name) + ".btr");
    ASSERT_EQ(0, Vbutil({"import", SamplePath(name), copyPath, "--quiet"}).code);
    BtrFile copy(copyPath), inPlace(SamplePath(name));
    EXPECT_EQ(copy.Stat(), inPlace.Stat());
    const tools::FileDef stat = tools::ParseStat(copy.Stat());
    for (const tools::KeyDef& key : stat.keys) {
      const std::vector<Bytes> order = KeyOrder(copy, key.number);
      EXPECT_TRUE(order == KeyOrder(inPlace, key.number)) << "key " << key.number;
      std::vector<Bytes> backwards;
      Bytes k(tools::kKeyBufferSize, '\0'), r;
      const auto number = static_cast<int8_t>(key.number);
      for (int16_t s = inPlace.Get(tools::kOpGetLast, number, k, r); s == 0;
           s = inPlace.Get(microkernel::kOpGetPrevious, number, k, r))
        backwards.push_back(r);
      EXPECT_TRUE(std::equal(order.rbegin(), order.rend(), backwards.begin(), backwards.end()))
          << "key " << key.number;
    }
    EXPECT_TRUE(Records(copyPath) == Records(SamplePath(name)));
    const Bytes extended = ExtendedRead(inPlace);
    EXPECT_TRUE(extended.empty() || extended.rfind("0:", 0) == 0 || extended.rfind("9:", 0) == 0)
        << extended.substr(0, 4);
    EXPECT_EQ(ExtendedRead(copy), extended);
    Bytes record = copy.Stat().substr(0, 4), key(tools::kKeyBufferSize, '\0');
    uint32_t length = static_cast<uint32_t>(record.size());
    EXPECT_EQ(46, inPlace.Call(tools::kOpInsert, record.data(), length, key.data(), 0));
  }
}

// A real file whose header marks an owner name answers Stat with the owner flag and with the
// flag that its level is not known; one without answers neither.
TEST(LegacyImportTest, StatTellsWhetherTheHeaderMarksAnOwnerName) {
  TempDir dir;
  std::string owned = Sample("TEST.DAT");
  PutWord(owned, 0x06, 0xFD00);  // the level word negated
  const auto ownerFlags = [](const std::string& path) {
    const Bytes stat = BtrFile(path).Stat();
    return (static_cast<uint8_t>(stat[11]) << 8) & 0xF000;
  };
  EXPECT_EQ(ownerFlags(dir.Write("OWNED.DAT", owned)), 0x4000 | 0x1000);
  EXPECT_EQ(ownerFlags(SamplePath("TEST.DAT")), 0);
}

TEST(LegacyImportTest, DuplicatesFollowTheirChainNotThePhysicalOrder) {
  // MBBSEMU's key 0 holds all four records under one value; reverse their chain.
  std::string bytes = Sample("MBBSEMU.DAT");
  const uint32_t slot[] = {0xA06, 0xA60, 0xABA, 0xB14};
  for (int i = 0; i < 4; ++i) {
    PutHiLo(bytes, slot[i] + 74, i < 3 ? slot[i + 1] : kNone);  // previous
    PutHiLo(bytes, slot[i] + 78, i > 0 ? slot[i - 1] : kNone);  // next
  }
  PutHiLo(bytes, 0x230, slot[3]), PutHiLo(bytes, 0x234, slot[0]);  // first and last
  TempDir dir;
  ASSERT_EQ(0, Vbutil({"import", dir.Write("REVERSED.DAT", bytes), dir.File("r.btr")}).code);
  BtrFile file(dir.File("r.btr"));
  std::string numbers;  // the autoincrement key (offset 70) of each record, in key 0 order
  for (const Bytes& r : KeyOrder(file, 0)) numbers += static_cast<char>('0' + r[70]);
  EXPECT_EQ("4321", numbers);
}

TEST(LegacyImportTest, NothingIsWrittenWhenTheSourceCannotBeRead) {
  TempDir dir;
  const std::string broken = dir.Write("BROKEN.DAT", Sample("TESTE.DAT").substr(0, 5000));
  Result r = Vbutil({"import", broken, dir.File("out.btr")});
  EXPECT_EQ(tools::kExitFailed, r.code);
  EXPECT_TRUE(Has(r.err, "BROKEN.DAT: the file size 5000 is not a whole number"));
  EXPECT_FALSE(fs::exists(dir.File("out.btr")));
  // An owner-protected source needs the owner name, which the copy then carries.
  std::string owned = Sample("TEST.DAT");
  PutWord(owned, 0x06, 0xFD00);
  const std::string source = dir.Write("OWNED.DAT", owned);
  r = Vbutil({"import", source, dir.File("owned.btr")});
  EXPECT_TRUE(Has(r.err, "OWNED.DAT is owner-protected: give its owner name with --owner"));
  EXPECT_FALSE(fs::exists(dir.File("owned.btr")));
  r = Vbutil({"import", source, dir.File("owned.btr"), "--owner", "Boss", "--quiet"});
  ASSERT_EQ(0, r.code) << r.err;
  EXPECT_TRUE(Has(r.out, "owner name set"));
  EXPECT_THROW(BtrFile(dir.File("owned.btr")), tools::BtrieveError);
  EXPECT_EQ(5u, Records(dir.File("owned.btr"), "Boss").size());
}

// The dictionary names sample data files, one in a subdirectory under another case, one that
// is missing, one outside the directory, and one twice.
void MakeDatabase(const TempDir& src) {
  fs::create_directories(src.File("data"));
  fs::copy_file(SamplePath("VARIABLE.DAT"), src.File("VARIABLE.DAT"));
  fs::copy_file(SamplePath("TESTE.DAT"), src.File("data/teste.dat"));
  src.Write(
      "FILE.DDF",
      Pre6File(
          97, {FileRow(1, "X$File", "FILE.DDF", 0x10), FileRow(2, "X$Field", "FIELD.DDF", 0x10),
               FileRow(4, "Variable", "VARIABLE.DAT", 0), FileRow(5, "Teste", "data\\TESTE.DAT", 0),
               FileRow(6, "Gone", "GONE.DAT", 0), FileRow(7, "Elsewhere", "C:\\DB\\X.DAT", 0),
               FileRow(8, "Again", "variable.dat", 0)}));
  src.Write("field.ddf", Pre6File(32, {std::string(32, 'f'), std::string(32, 'g')}));
  src.Write("INDEX.DDF", Pre6File(10, {std::string(10, 'i')}));
}

TEST(LegacyImportTest, ImportDbBringsTheDictionaryAndTheFilesItNames) {
  TempDir src, dest;
  MakeDatabase(src);
  const std::string out = dest.File("db");
  Result r = Vbutil({"import-db", src.Path(), out, "--check"});
  EXPECT_TRUE(Has(r.out, "would import 5 files (1634 records)"));
  EXPECT_FALSE(fs::exists(out));
  EXPECT_EQ(tools::kExitFailed, r.code);
  r = Vbutil({"import-db", src.Path(), out});
  // What could be read is imported, but leaving out files the dictionary names is no success.
  EXPECT_EQ(tools::kExitFailed, r.code);
  EXPECT_TRUE(Has(r.err, "2 of the files the dictionary names were left out"));
  EXPECT_TRUE(Has(r.out, "imported 5 files (1634 records) from "));
  EXPECT_TRUE(Has(r.out,
                  "skipped 2:\n  Gone: its data file GONE.DAT is missing\n  Elsewhere: its "
                  "location C:\\DB\\X.DAT lies outside the database directory\n"));
  EXPECT_TRUE(Has(r.err, "imported data/TESTE.DAT: 600 records"));
  EXPECT_TRUE(
      Has(r.out, "  Again: names variable.dat, imported once as VARIABLE.DAT (for Variable)"));
  // Names as the dictionary spells them; the dictionary itself byte for byte.
  EXPECT_EQ(600u, Records(out + "/data/TESTE.DAT").size());
  EXPECT_EQ(1024u, Records(out + "/VARIABLE.DAT").size());
  EXPECT_EQ(2u, Records(out + "/FIELD.DDF").size());
  EXPECT_TRUE(Records(LegacyFile::Open(src.File("FILE.DDF"))) == Records(out + "/FILE.DDF"));
  // Nothing is written when one file cannot be read, unless it may be left out.
  std::string teste = Sample("TESTE.DAT");
  PutWord(teste, 0x106, 0x0008);
  src.Write("data/teste.dat", teste);
  const std::string other = dest.File("other");
  r = Vbutil({"import-db", src.Path(), other, "--quiet"});
  EXPECT_EQ(tools::kExitFailed, r.code);
  EXPECT_TRUE(Has(r.err, "teste.dat: its records are compressed"));
  EXPECT_FALSE(fs::exists(other));
  r = Vbutil({"import-db", src.Path(), other, "--quiet", "--skip-unreadable"});
  EXPECT_EQ(tools::kExitFailed, r.code);
  EXPECT_TRUE(Has(r.err, "3 of the files the dictionary names were left out"));
  EXPECT_TRUE(Has(r.out, "imported 4 files"));
  EXPECT_TRUE(Has(r.out, "  Teste: " + src.Path() + "/data/teste.dat: its records are compressed"));
  EXPECT_FALSE(fs::exists(other + "/data/TESTE.DAT"));
  r = Vbutil({"import-db", src.Path(), other, "--quiet", "--skip-unreadable"});
  EXPECT_TRUE(Has(r.err, "already exists"));
}

// A database as an older engine wrote it: FILE.DDF rows of 87 bytes, locations in lower case,
// data files owner-protected (each under its own name), one record filling a 512-byte page.
TEST(LegacyImportTest, ImportDbReadsShortDictionaryRowsAndOwnerNamesPerFile) {
  TempDir src, dest;
  std::string test = Sample("TEST.DAT"), teste = Sample("TESTE.DAT");
  PutWord(test, 0x06, 0xFD00), PutWord(teste, 0x06, 0xFD00);
  src.Write("TEST.DAT", test);
  src.Write("TESTE.DAT", teste);
  src.Write("WIDE.DAT", Pre6File(504, {std::string(504, 'w'), std::string(504, 'v')}, 512));
  src.Write("FILE.DDF", Pre6File(87, {FileRow(1, "X$File", "file.ddf", 0x10).substr(0, 87),
                                      FileRow(4, "Test", "test.dat", 0).substr(0, 87),
                                      FileRow(5, "Teste", "teste.dat", 0).substr(0, 87),
                                      FileRow(6, "Wide", "wide.dat", 0).substr(0, 87)}));
  const std::string out = dest.File("db");
  Result r = Vbutil({"import-db", src.Path(), out, "--check"});
  EXPECT_EQ(0, r.code) << r.err;
  EXPECT_TRUE(Has(r.out, "would import 4 files (611 records)"));
  EXPECT_TRUE(Has(r.out, "TEST.DAT: 5 records, owner-protected\n"));
  r = Vbutil({"import-db", src.Path(), out, "--quiet"});
  EXPECT_EQ(tools::kExitFailed, r.code);
  EXPECT_TRUE(Has(r.err, "owner-protected without an owner name (--owner or --owner-file): "
                         "TEST.DAT, TESTE.DAT"));
  EXPECT_FALSE(fs::exists(out));
  const std::string owners = src.Write("owners.txt", "test.dat=One\r\nTESTE.DAT=Two\n");
  r = Vbutil({"import-db", src.Path(), out, "--quiet", "--owner-file", owners});
  ASSERT_EQ(0, r.code) << r.out << r.err;
  EXPECT_TRUE(Has(r.out, "imported 4 files (611 records)"));
  EXPECT_TRUE(Has(r.out, "wide.dat: page size 1024 instead of 512, which cannot hold a record of "
                         "504 bytes here"));
  EXPECT_EQ(5u, Records(out + "/test.dat", "One").size());
  EXPECT_EQ(600u, Records(out + "/teste.dat", "Two").size());
  EXPECT_THROW(BtrFile(out + "/teste.dat", "One"), tools::BtrieveError);
  EXPECT_EQ(std::vector<Bytes>({std::string(504, 'v'), std::string(504, 'w')}),
            Records(out + "/wide.dat"));
}

}  // namespace
}  // namespace vader::legacy::testing
