// DDF dictionaries made by the tool, read back byte by byte with the published record
// layouts and keys, and the table definitions round-tripped through them.

#include <gtest/gtest.h>

#include <filesystem>

#include "ParseCases.h"
#include "common/TempDir.h"
#include "tools/Dictionary.h"
#include "tools/NativeTypes.h"
#include "tools/Records.h"
#include "tools/TextLines.h"

namespace vader::tools {
namespace {

std::vector<Bytes> AllRecords(const std::string& path, const std::string& owner = "") {
  BtrFile file(path, owner, -2);
  std::vector<Bytes> out;
  Bytes r;
  for (int16_t s = file.Step(kOpStepFirst, r); s == 0; s = file.Step(kOpStepNext, r))
    out.push_back(r);
  return out;
}

struct Seg {
  uint16_t position, length, flags;
  uint8_t type;
};

// Key descriptors as Stat reports them: {position, length, flags without the Stat-only bits, type}.
std::vector<std::vector<Seg>> Keys(const std::string& path) {
  std::vector<std::vector<Seg>> keys;
  for (const KeyDef& k : StatFile(path).keys) {
    keys.emplace_back();
    for (const SegmentDef& s : k.segments)
      keys.back().push_back({s.position, s.length, s.flags, s.type});
  }
  return keys;
}

bool operator==(const Seg& a, const Seg& b) {
  return a.position == b.position && a.length == b.length && a.flags == b.flags && a.type == b.type;
}

constexpr uint16_t kExt = kKeyExtendedType, kDup = kKeyDuplicates, kMod = kKeyModifiable,
                   kCi = kKeyNoCase;
constexpr uint8_t kU = kTypeUnsigned, kS = kTypeString;

TEST(DictionaryTest, NewDictionaryHasThePublishedLayoutsKeysAndSelfDescription) {
  testing::TempDir dir;
  Dictionary::Create(dir.Path(), "", 0, false);

  const std::vector<Bytes> files = AllRecords(dir.File("FILE.DDF"));
  ASSERT_EQ(3u, files.size());
  const char* names[] = {"X$File", "X$Field", "X$Index"};
  const char* locations[] = {"FILE.DDF", "FIELD.DDF", "INDEX.DDF"};
  for (size_t i = 0; i < 3; ++i) {
    ASSERT_EQ(kFileRecordSize, files[i].size());
    EXPECT_EQ(i + 1, ReadLe(files[i], 0, 2));
    EXPECT_EQ(names[i], TrimmedText(files[i], 2, 20));
    EXPECT_EQ(locations[i], TrimmedText(files[i], 22, 64));
    EXPECT_EQ(0x10, files[i][86]);
  }
  const std::vector<Bytes> fields = AllRecords(dir.File("FIELD.DDF"));
  ASSERT_EQ(18u, fields.size());  // 5 + 8 + 5 columns
  // Xe$Name: field 8 of table 2, CHAR(20) at offset 4, case-insensitive.
  const Bytes& xeName = fields[7];
  ASSERT_EQ(kFieldRecordSize, xeName.size());
  EXPECT_EQ(8u, ReadLe(xeName, 0, 2));
  EXPECT_EQ(2u, ReadLe(xeName, 2, 2));
  EXPECT_EQ("Xe$Name", TrimmedText(xeName, 4, 20));
  EXPECT_EQ(kTypeString, xeName[24]);
  EXPECT_EQ(4u, ReadLe(xeName, 25, 2));
  EXPECT_EQ(20u, ReadLe(xeName, 27, 2));
  EXPECT_EQ(1u, ReadLe(xeName, 30, 2));
  const std::vector<Bytes> index = AllRecords(dir.File("INDEX.DDF"));
  ASSERT_EQ(15u, index.size());  // 2 + 8 + 5 segments
  // X$Field key 4 (file + offset + dec): three parts, segment bit on all but the last.
  const Bytes& part = index[9];
  ASSERT_EQ(kIndexRecordSize, part.size());
  EXPECT_EQ((std::vector<uint64_t>{2, 12, 4, 2, 0x03}),
            (std::vector<uint64_t>{ReadLe(part, 0, 2), ReadLe(part, 2, 2), ReadLe(part, 4, 2),
                                   ReadLe(part, 6, 2), ReadLe(part, 8, 2)}));
  EXPECT_EQ(0x13u, ReadLe(index[8], 8, 2));

  using K = std::vector<std::vector<Seg>>;
  EXPECT_EQ((K{{{1, 2, kExt, kU}}, {{3, 20, kExt | kMod | kCi, kS}}}), Keys(dir.File("FILE.DDF")));
  EXPECT_EQ((K{{{1, 2, kExt, kU}},
               {{3, 2, kExt | kDup, kU}},
               {{5, 20, kExt | kDup | kMod | kCi, kS}},
               {{3, 2, kExt | kMod, kU}, {5, 20, kExt | kMod | kCi, kS}},
               {{3, 2, kExt | kDup | kMod, kU},
                {26, 2, kExt | kDup | kMod, kU},
                {30, 1, kExt | kDup | kMod, kU}}}),
            Keys(dir.File("FIELD.DDF")));
  EXPECT_EQ((K{{{1, 2, kExt | kDup, kU}},
               {{3, 2, kExt | kDup, kU}},
               {{1, 2, kExt, kU}, {5, 2, kExt, kU}, {7, 2, kExt, kU}}}),
            Keys(dir.File("INDEX.DDF")));
  EXPECT_EQ(512, StatFile(dir.File("FIELD.DDF")).pageSize);
}

const char* const kSchema = R"(table name=Parts file=data\PARTS.BTR
field name=Id type=autoincrement size=4
field name=Code type=string size=10
field name=Price type=decimal size=5 decimals=2
field name=Memo type=zstring size=300
index number=0
part field=Id
index number=2 duplicates modifiable
part field=Code nocase
part field=Price descending
)";

TEST(DictionaryTest, DefinedTableDescribesToTheSameSchemaAndFile) {
  testing::TempDir dir;
  Dictionary::Create(dir.Path(), "", 0, false);
  std::filesystem::create_directory(dir.File("data"));
  Dictionary dictionary(dir.Path());
  dictionary.Define(ParseSchema(kSchema).front(), true, false);

  const TableDef parts = dictionary.Table("PARTS");  // names compare case-insensitively
  EXPECT_EQ(4, parts.id);
  EXPECT_EQ(19, parts.fields.front().id);
  const std::string text = FormatSchema(parts);
  EXPECT_EQ(text, FormatSchema(ParseSchema(text).front()));
  EXPECT_NE(text.find("part field=Price descending"), std::string::npos) << text;
  // The data file's key 2 translates the dictionary flags into key flags.
  const FileDef def = StatFile(dir.File("data/PARTS.BTR"));
  ASSERT_EQ(2u, def.keys.size());
  EXPECT_EQ(2, def.keys[1].number);
  EXPECT_EQ(kExt | kDup | kMod | kCi, def.keys[1].segments[0].flags);
  EXPECT_EQ(kExt | kDup | kMod | kKeyDescending, def.keys[1].segments[1].flags);
  EXPECT_EQ(kTypeDecimal, def.keys[1].segments[1].type);

  // The driver's way to list a table's fields: Get Greater or Equal on key 1, then Get Next.
  BtrFile fieldDdf(dir.File("FIELD.DDF"), "", -2);
  Bytes key(kKeyBufferSize, '\0'), record;
  WriteLe(key, 0, 2, parts.id);
  std::vector<std::string> names;
  for (int16_t s = fieldDdf.Get(kOpGetGreaterEqual, 1, key, record);
       s == 0 && ReadLe(record, 2, 2) == parts.id; s = fieldDdf.Get(kOpGetNext, 1, key, record))
    names.push_back(TrimmedText(record, 4, 20));
  EXPECT_EQ((std::vector<std::string>{"Id", "Code", "Price", "Memo"}), names);

  EXPECT_THROW(dictionary.Define(ParseSchema(kSchema).front(), false, false),
               std::invalid_argument);
}

// Older tools wrote INDEX.DDF with key 0 (the table id) only, and FIELDEXT.DDF gives fields
// the types the driver reads them as.
TEST(DictionaryTest, OlderIndexFileAndFieldTypeOverridesAreRead) {
  testing::TempDir dir;
  Dictionary::Create(dir.Path(), "", 0, false);
  std::filesystem::create_directory(dir.File("data"));
  Dictionary dictionary(dir.Path());
  const std::string expected = FormatSchema(dictionary.Define(ParseSchema(kSchema).front(), true,
                                                              false));
  {
    // Key 0 alone, and the table's rows stored in reverse part order.
    BtrFile indexDdf(dir.File("INDEX.DDF"));
    indexDdf.DropIndex(2, false);
    indexDdf.DropIndex(1, false);
    std::vector<Bytes> rows;
    Bytes key(kKeyBufferSize, '\0'), record;
    WriteLe(key, 0, 2, 4);
    while (indexDdf.Get(kOpGetEqual, 0, key, record) == 0) {
      rows.push_back(record);
      indexDdf.Delete(0);
    }
    for (auto row = rows.rbegin(); row != rows.rend(); ++row) indexDdf.Insert(*row);
  }
  TableDef parts = dictionary.Table("Parts");
  EXPECT_EQ(expected, FormatSchema(parts));

  FileDef extDef;
  extDef.recordLength = 6;
  extDef.pageSize = 512;
  extDef.keys = {{0, {{1, 2, kExt, kU}, {3, 2, kExt, kU}}}};
  CreateFromDef(dir.File("FIELDEXT.DDF"), extDef, false);
  BtrFile fieldExt(dir.File("FIELDEXT.DDF"));
  Bytes row(6, '\0');
  WriteLe(row, 0, 2, parts.id);
  WriteLe(row, 2, 2, parts.Field("Price")->id);
  WriteLe(row, 4, 2, kTypeMoney);
  fieldExt.Insert(row);
  dictionary.ApplyFieldExtensions(parts);
  EXPECT_EQ(kTypeMoney, parts.Field("Price")->type);
  EXPECT_EQ(kTypeString, parts.Field("Code")->type);
}

TEST(DictionaryTest, DropRemovesEveryEntryAndOptionallyTheFile) {
  testing::TempDir dir;
  Dictionary::Create(dir.Path(), "", 0, false);
  std::filesystem::create_directory(dir.File("data"));
  Dictionary dictionary(dir.Path());
  dictionary.Define(ParseSchema(kSchema).front(), true, false);
  EXPECT_THROW(dictionary.Drop("X$Field", false), std::invalid_argument);
  dictionary.Drop("parts", true);
  EXPECT_EQ(3u, AllRecords(dir.File("FILE.DDF")).size());
  EXPECT_EQ(18u, AllRecords(dir.File("FIELD.DDF")).size());
  EXPECT_EQ(15u, AllRecords(dir.File("INDEX.DDF")).size());
  EXPECT_FALSE(std::filesystem::exists(dir.File("data/PARTS.BTR")));
  EXPECT_THROW(dictionary.Table("Parts"), std::invalid_argument);
  EXPECT_TRUE(dictionary.Tables(false).empty());
  EXPECT_EQ(3u, dictionary.Tables(true).size());
}

TEST(DictionaryTest, OwnerNameGuardsTheDictionaryFiles) {
  testing::TempDir dir;
  Dictionary::Create(dir.Path(), "..RV....", 0, false);
  try {
    Dictionary(dir.Path()).Tables(true);
    ADD_FAILURE() << "read without the owner name";
  } catch (const BtrieveError& e) {
    EXPECT_EQ(51, e.Status());
  }
  Dictionary dictionary(dir.Path(), "..RV....");
  dictionary.Define(
      ParseSchema("table name=T file=T.BTR\nfield name=A type=integer size=4\n").front(), true,
      false);
  EXPECT_EQ(4u, dictionary.Tables(true).size());
}

TEST(DictionaryTest, SchemaErrorsNameTheLine) {
  ExpectParseErrors(
      {
          {"field name=A size=4\n", 1, "before any 'table'"},
          {"table name=T file=T.BTR\nfield name=A type=intger size=4\n", 2, "unknown type"},
          {"table name=T file=T.BTR\nfield name=A size=4\nfield name=a size=4\n", 3, "twice"},
          {"table name=T file=T.BTR\nfield name=A size=4\nindex\npart field=B\n", 4, "no field B"},
          {"table name=T file=T.BTR\nfield name=A type=note size=40\nindex\npart field=A\n", 4,
           "cannot be a key"},
          {"table name=T file=T.BTR record=4\nfield name=A size=8\n", 2, "beyond the record"},
          {"table name=ThisNameIsMuchTooLongForIt file=T.BTR\nfield name=A size=4\n", 1,
           "1 to 20 characters"},
          {"table name=T file=T.BTR\nfield name=A size=4\nindex\n", 1, "has no part"},
      },
      [](const char* text) { ParseSchema(text); });
}

}  // namespace
}  // namespace vader::tools
