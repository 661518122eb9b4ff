// vbutil import and import-db over the real samples: records byte for byte, the definition as
// Stat reports it, every key's Get Next order against the original index, owners, and nothing
// written when a source cannot be read.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "legacy/Pre6Writer.h"
#include "legacy/Samples.h"
#include "tools/Cli.h"
#include "tools/Dictionary.h"
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

TEST(LegacyImportTest, SamplesKeepRecordsDefinitionAndEveryKeysOrder) {
  TempDir dir;
  for (const char* name : {"GALTELA.DAT", "MBBSEMU.DAT", "MBMGEPLT.DAT", "MULTIACS.DAT",
                           "VARIABLE.DAT", "WCCACMS2.DAT", "WGSMENU2.DAT", "TEST.DAT",
                           "TESTE.DAT"}) {
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
    // Every record byte for byte, none left out.
    std::vector<Bytes> stored, wanted;
    Bytes rec;
    for (int16_t s = file.Step(tools::kOpStepFirst, rec); s == 0;
         s = file.Step(tools::kOpStepNext, rec))
      stored.push_back(rec);
    for (uint32_t a : original.Addresses()) wanted.push_back(original.Record(a));
    std::sort(stored.begin(), stored.end());
    std::sort(wanted.begin(), wanted.end());
    EXPECT_TRUE(stored == wanted);
  }
}

TEST(LegacyImportTest, NothingIsWrittenWhenTheSourceCannotBeRead) {
  TempDir dir;
  const std::string broken = dir.Write("BROKEN.DAT", Sample("TESTE.DAT").substr(0, 5000));
  Result r = Vbutil({"import", broken, dir.File("out.btr")});
  EXPECT_EQ(tools::kExitFailed, r.code);
  EXPECT_NE(r.err.find("BROKEN.DAT: the file size 5000 is not a whole number"), std::string::npos)
      << r.err;
  EXPECT_FALSE(fs::exists(dir.File("out.btr")));
  // An existing destination stays as it is without --replace.
  const std::string existing = dir.Write("existing.btr", "keep me");
  r = Vbutil({"import", SamplePath("TEST.DAT"), existing});
  EXPECT_EQ(tools::kExitFailed, r.code);
  EXPECT_NE(r.err.find("already exists (--replace overwrites it)"), std::string::npos);
  EXPECT_EQ("keep me", TempDir::Read(existing));
  // An owner-protected source needs the owner name, which the copy then carries.
  std::string owned = Sample("TEST.DAT");
  PutWord(owned, 0x06, 0xFD00);
  const std::string source = dir.Write("OWNED.DAT", owned);
  r = Vbutil({"import", source, dir.File("owned.btr")});
  EXPECT_NE(r.err.find("OWNED.DAT is owner-protected: give its owner name with --owner"),
            std::string::npos);
  EXPECT_FALSE(fs::exists(dir.File("owned.btr")));
  r = Vbutil({"import", source, dir.File("owned.btr"), "--owner", "Boss", "--quiet"});
  ASSERT_EQ(0, r.code) << r.err;
  EXPECT_NE(r.out.find("owner name set"), std::string::npos);
  EXPECT_THROW(BtrFile(dir.File("owned.btr")), tools::BtrieveError);
  BtrFile file(dir.File("owned.btr"), "Boss");
  EXPECT_EQ(5u, KeyOrder(file, 0).size());
}

// A database in the layout real engines leave: the three dictionary files (written here in
// the pre-6.0 format) naming sample data files, one in a subdirectory under another case.
void MakeDatabase(const TempDir& src) {
  fs::create_directories(src.File("data"));
  fs::copy_file(SamplePath("VARIABLE.DAT"), src.File("VARIABLE.DAT"));
  fs::copy_file(SamplePath("TESTE.DAT"), src.File("data/teste.dat"));
  src.Write("FILE.DDF",
            WritePre6File(97, FileDdfKeys(),
                          {FileRow(1, "X$File", "FILE.DDF", 0x10),
                           FileRow(2, "X$Field", "FIELD.DDF", 0x10),
                           FileRow(3, "X$Index", "INDEX.DDF", 0x10),
                           FileRow(4, "Variable", "VARIABLE.DAT", 0),
                           FileRow(5, "Teste", "data\\TESTE.DAT", 0),
                           FileRow(6, "Gone", "GONE.DAT", 0),
                           FileRow(7, "Elsewhere", "C:\\DB\\X.DAT", 0),
                           FileRow(8, "Again", "variable.dat", 0)}));
  src.Write("field.ddf", WritePre6File(32, FieldDdfKeys(),
                                       {FieldRow(20, 4, "Magic", 1, 0, 4),
                                        FieldRow(21, 4, "Group", 1, 4, 2),
                                        FieldRow(22, 4, "Number", 1, 6, 2),
                                        FieldRow(23, 5, "Code", 0, 0, 4),
                                        FieldRow(24, 5, "Rest", 0, 4, 60)}));
  src.Write("INDEX.DDF", WritePre6File(10, IndexDdfKeys(),
                                       {IndexRow(4, 21, 0, 0, 1), IndexRow(4, 22, 1, 0, 0),
                                        IndexRow(5, 23, 0, 0, 0)}));
}

TEST(LegacyImportTest, ImportDbBringsTheDictionaryAndTheFilesItNames) {
  TempDir src, dest;
  MakeDatabase(src);
  const std::string out = dest.File("db");
  const Result r = Vbutil({"import-db", src.Path(), out});
  ASSERT_EQ(0, r.code) << r.err;
  EXPECT_NE(r.out.find("imported 5 files (" + std::to_string(8 + 5 + 3 + 1024 + 600) +
                       " records) from "),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("skipped 2:\n  Gone: its data file GONE.DAT is missing\n  Elsewhere: its "
                       "location C:\\DB\\X.DAT lies outside the database directory\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.err.find("imported data/TESTE.DAT: 600 records"), std::string::npos) << r.err;
  // The imported dictionary reads through the utility's own dictionary code.
  const tools::Dictionary dictionary(out);
  EXPECT_EQ(5u, dictionary.Tables(false).size());
  const tools::TableDef teste = dictionary.Table("Teste");
  EXPECT_EQ(64, teste.recordLength);
  ASSERT_EQ(2u, teste.fields.size());
  EXPECT_EQ("Rest", teste.fields[1].name);
  const tools::TableDef variable = dictionary.Table("Variable");
  ASSERT_EQ(2u, variable.indexes.size());
  EXPECT_EQ("Group", variable.indexes[0].parts[0].field);
  EXPECT_TRUE(variable.variable);
  BtrFile fields(out + "/FIELD.DDF");
  EXPECT_EQ(5u, KeyOrder(fields, 3).size());
}

TEST(LegacyImportTest, ImportDbWritesNothingWhenAFileCannotBeRead) {
  TempDir src, dest;
  MakeDatabase(src);
  std::string teste = Sample("TESTE.DAT");
  PutWord(teste, 0x106, 0x0008);  // compressed: not decoded
  src.Write("data/teste.dat", teste);
  const std::string out = dest.File("db");
  Result r = Vbutil({"import-db", src.Path(), out, "--quiet"});
  EXPECT_EQ(tools::kExitFailed, r.code);
  EXPECT_NE(r.err.find("teste.dat: its records are compressed"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(out));
  r = Vbutil({"import-db", src.Path(), out, "--quiet", "--skip-unreadable"});
  ASSERT_EQ(0, r.code) << r.err;
  EXPECT_NE(r.out.find("imported 4 files"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("  Teste: " + src.Path() + "/data/teste.dat: its records are compressed"),
            std::string::npos)
      << r.out;
  EXPECT_FALSE(fs::exists(out + "/data/TESTE.DAT"));
  r = Vbutil({"import-db", src.Path(), out, "--quiet"});
  EXPECT_NE(r.err.find("already exists"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace vader::legacy::testing
