// Dictionaries as older tools wrote them (87-byte FILE.DDF records, NUL padding, OEM names,
// the driver's FIELDEXT.DDF), unreadable dictionaries, location resolution, and the
// table-definition resources by version.

#include <cstring>

#include "btrieve/Bseres.h"
#include "btrieve/BtrConv.h"
#include "btrieve/BtrDict.h"
#include "btrieve/BtrTableSupport.h"
#include "btrieve/BtrTestSupport.h"
#include "btrieve/DatabaseSupport.h"
#include "common/EngineErrorCode.h"
#include "framework/Dialogs.h"

namespace vader::testing {
namespace {

constexpr uint16_t kAscending = 0;
constexpr uint16_t kSegmented = 0x10;

// "Bücher" in code page 437, and its upper-case spelling.
const std::string kBooks = "B\201cher";
const std::string kBooksUpper = "B\232CHER";

template <class T>
void Insert(TWinBtr& file, const T& record) {
  std::memcpy(file.Buffer(), &record, std::min<size_t>(sizeof record, file.BufferSize()));
  file.Insert();
}

DictionaryFile Entry(uint16_t id, const std::string& name, const std::string& location,
                     uint8_t flags = 0) {
  DictionaryFile e{};
  e.TableId = id;
  std::memcpy(e.Name, name.data(), name.size());  // NUL-padded
  std::memcpy(e.Location, location.data(), location.size());
  e.Flags = flags;
  return e;
}

DictionaryField FieldOf(uint16_t id, uint16_t table, const char* name, uint8_t type,
                        uint16_t offset, uint16_t size) {
  DictionaryField f = Field(name, type, offset, size);
  std::memset(f.Name + std::strlen(name), ' ', sizeof f.Name - std::strlen(name));  // blanks
  f.FieldId = id;
  f.TableId = table;
  return f;
}

class DictionaryTest : public BtrDatabaseTest {
 protected:
  // A dictionary in the test's own directory: FILE.DDF records of 87 bytes.
  std::string WriteDictionary() {
    const std::string dir = dir_.File("old");
    std::filesystem::create_directory(dir);
    CreateBtrieveFile(dir + "/FILE.DDF", kMinFileRecordSize, 1,
                      {Segment(1, 2, BT_UNSIGNED_BINARY, kAscending)});
    CreateBtrieveFile(
        dir + "/FIELD.DDF", sizeof(DictionaryField), 2,
        {Segment(1, 2, BT_UNSIGNED_BINARY, kAscending), Segment(3, 2, BT_UNSIGNED_BINARY, 0x01)});
    CreateBtrieveFile(dir + "/FIELDEXT.DDF", sizeof(DictionaryFieldExt), 1,
                      {Segment(1, 2, BT_UNSIGNED_BINARY, kSegmented),
                       Segment(3, 2, BT_UNSIGNED_BINARY, kAscending)});
    CreateBtrieveFile(dir + "/BOOKS.DAT", 28, 1, {Segment(1, 20, BT_STRING, 0x01)});
    TWinBtr files, fields, ext;
    files.Open(dir + "/FILE.DDF");
    Insert(files, Entry(1, "X$File", "FILE.DDF", kFileFlagDictionary));
    Insert(files, Entry(5, kBooks, "BOOKS.DAT"));
    Insert(files, Entry(6, "Sub", "data\\SUB.DAT"));
    Insert(files, Entry(7, "Abs", "/abs/ABS.DAT"));
    fields.Open(dir + "/FIELD.DDF");
    Insert(fields, FieldOf(10, 5, "Title", BT_STRING, 0, 20));
    Insert(fields, FieldOf(11, 5, "Unused", BT_STRING, 20, 0));
    Insert(fields, FieldOf(12, 5, "Pages", BT_INTEGER, 20, 2));
    Insert(fields, FieldOf(13, 5, "Price", BT_STRING, 22, 6));
    Insert(fields, FieldOf(14, 6, "Other", BT_STRING, 0, 4));
    ext.Open(dir + "/FIELDEXT.DDF");
    Insert(ext, DictionaryFieldExt{5, 13, 255});
    return dir;
  }
};

TEST_F(DictionaryTest, OlderDictionariesOpen) {
  const std::string dir = WriteDictionary();
  TBtrDatabase& db = OpenDatabase(dir);
  TBaseTable* list = nullptr;
  db.OpenTableList(false, false, nullptr, list);
  const auto user = ReadAll(*list, sizeof(TableListRecord));
  delete list;
  ASSERT_EQ(3u, user.size());
  const auto* books = reinterpret_cast<const TableListRecord*>(user[0].data());
  EXPECT_EQ(kBooks, books->Name);
  EXPECT_STREQ("BOOKS.DAT", books->FileName);
  db.OpenTableList(false, true, nullptr, list);
  EXPECT_EQ(4u, ReadAll(*list, sizeof(TableListRecord)).size());
  delete list;

  TBtrTable& table = OpenTable(db, kBooksUpper);
  EXPECT_EQ(dir + "/BOOKS.DAT", table.GetFileName());
  EXPECT_EQ(dir + "/BOOKS.DAT", OpenTable(db, "books.dat").GetFileName());
  ASSERT_EQ(3, table.FieldCache().Count());  // the field of size 0 is left out
  EXPECT_EQ("Pages", table.FieldCache().GetItem(2).FieldName());
  EXPECT_EQ(BT_EXT_REAL48, table.FieldCache().GetItem(3).LocalType());  // FIELDEXT.DDF
  EXPECT_EQ(BT_INTEGER, table.FieldCache().GetItem(2).LocalType());

  db.OpenFieldList(kBooks.c_str(), nullptr, false, list);
  const auto listed = ReadAll(*list, sizeof(FieldDesc));
  delete list;
  ASSERT_EQ(3u, listed.size());
  FieldDesc expected{};
  BuildFieldDesc(FieldOf(13, 5, "Price", BT_EXT_REAL48, 22, 6), 3, &expected);
  EXPECT_EQ(0, std::memcmp(&expected, listed[2].data(), sizeof expected));

  DictionaryFile record{};
  EXPECT_EQ(dir + "/data\\SUB.DAT", db.FindTableFile("sub", record));  // below the database
  EXPECT_EQ(6, record.TableId);
  EXPECT_EQ("/abs/ABS.DAT", db.FindTableFile("Abs", record));  // used unchanged
  EXPECT_EQ(204, StatusOf([&] { db.FindTableFile("Nothing", record); }));
  EXPECT_EQ(0, record.TableId);
}

TEST_F(DictionaryTest, UnreadableDictionariesNameTheirFile) {
  const std::string dir = dir_.File("bad");
  std::filesystem::create_directory(dir);
  TBtrDatabase& db = OpenDatabase(dir);
  try {
    OpenTable(db, "Anything");
    ADD_FAILURE() << "a database without a dictionary";
  } catch (const EBtrieveEngineError& e) {
    EXPECT_EQ(12, e.NativeError());
    EXPECT_EQ(dir + "/FILE.DDF", e.ExtraText());
  }
  CreateBtrieveFile(dir + "/FILE.DDF", 40, 1, {Segment(1, 2, BT_UNSIGNED_BINARY, kAscending)});
  try {
    OpenTable(db, "Anything");
    ADD_FAILURE() << "records too short for entries";
  } catch (const EVaderEngineError& e) {
    EXPECT_EQ(DBIERR_FILECORRUPT, e.Code());
    EXPECT_NE(std::string::npos, e.Context().find(dir + "/FILE.DDF")) << e.Context();
  }
  dir_.Write("bad/FILE.DDF", std::string(4096, 'x'));  // not a Btrieve file at all
  EXPECT_NE(0, StatusOf([&] { OpenTable(db, "Anything"); }));
  EXPECT_EQ(51, StatusOf([&] {  // the sample's dictionary needs its owner
              TBaseTable* list = TBaseTable::Create<TBtrTblListTable>(
                  nullptr, nullptr, sample_ + "/", nullptr, false, true, "Wrong");
              std::unique_ptr<TBaseTable> owned(list);
              list->OpenCursor();
            }));
}

std::vector<uint8_t> Resource(const char* version, const std::vector<FieldDesc>& fields) {
  std::vector<uint8_t> bytes = BuildTableResource("T", fields);
  std::memcpy(bytes.data() + 2, version, 4);
  return bytes;
}

TEST(TableResourceTest, VersionsAndMalformedResources) {
  // Number, name, type, subtype, units, offset, length, ..., native type and size.
  const FieldDesc a{1, "Code", fldZSTRING, 0, 0, 0, 0, 8, 0, 0, 0, 0, BT_STRING, 8};
  const FieldDesc b{2, "Amount", fldFLOAT, 0, 0, 2, 8, 8, 0, 0, 0, 0, BT_FLOAT, 8};
  const std::vector<uint8_t> good = Resource("0002", {a, b});
  platform::ResourceRegistration v2(DriverResourceModule(), platform::RT_RCDATA, "V2", good);
  platform::ResourceRegistration v3(platform::kExecutableModule, platform::RT_RCDATA, "V3",
                                    Resource("0003", {a}));
  platform::ResourceRegistration v1(platform::kExecutableModule, platform::RT_RCDATA, "V1",
                                    Resource("0001", {a}));
  const std::vector<uint8_t> cut(good.begin(), good.end() - 12);
  platform::ResourceRegistration broken(platform::kExecutableModule, platform::RT_RCDATA, "Cut",
                                        cut);

  std::unique_ptr<TResFieldListTable> list(
      TBaseTable::Create<TResFieldListTable>(nullptr, nullptr, "v2"));
  ASSERT_EQ(2, list->FieldCache().Count());
  EXPECT_EQ(0, std::memcmp(&b, &list->FieldCache().GetItem(2).Desc(), sizeof b));
  list->OpenCursor();
  uint32_t count = 0;
  list->GetRecordCount(count);
  EXPECT_EQ(2u, count);
  EXPECT_EQ(2u, ReadAll(*list, sizeof(FieldDesc)).size());

  TResFieldListTable& table = *list;
  EXPECT_FALSE(TTblResReader(table).ReadDefinition("V3"));
  EXPECT_EQ(2, table.FieldCache().Count());  // nothing read
  EXPECT_FALSE(TTblResReader(table).ReadDefinition("Missing"));
  EXPECT_EQ(DBIERR_INVALIDRECSTRUCT,
            ErrorCode([&] { TTblResReader(table).ReadDefinition("Cut"); }));
  EXPECT_EQ(0, table.FieldCache().Count());
  EXPECT_EQ(DBIERR_INVALIDPARAM, ErrorCode([&] { table.OpenCursor(); }));

  std::vector<std::string> shown;
  const auto previous = SetMessageDialogHandler([&](const MessageDialogRequest& r) {
    shown.push_back(r.message);
    return mrOk;
  });
  EXPECT_TRUE(TTblResReader(table).ReadDefinition("V1"));
  EXPECT_TRUE(TTblResReader(table).ReadDefinition("V1"));
  SetMessageDialogHandler(previous);
  EXPECT_EQ((std::vector<std::string>{
                "Error - Resource [V1]  in old format. Re-compile with VORIDUD.EXE"}),
            shown);
  EXPECT_EQ(0, table.FieldCache().Count());
}

}  // namespace
}  // namespace vader::testing
