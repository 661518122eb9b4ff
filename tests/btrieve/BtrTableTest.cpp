// The Btrieve table cursor over real files: positioning by key, index selection and description,
// partial keys, bookmarks across deletes, record numbers, locks and table-name options.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "BtrTableSupport.h"
#include "common/EngineErrorCode.h"
#include "BtrTestSupport.h"
#include "btrieve/BtrErrs.h"
#include "engine/BseDbase.h"

namespace vader {
namespace {

using testing::Field;
using testing::Segment;
using testing::StatusOf;

enum : uint16_t { kId = 1, kName = 2, kCity = 3, kScore = 4, kNotes = 5 };
constexpr uint16_t kFixedLength = 34;

std::vector<DictionaryField> PeopleFields() {
  return {Field("ID", BT_INTEGER, 0, 4), Field("NAME", BT_ZSTRING, 4, 16),
          Field("CITY", BT_STRING, 20, 12), Field("SCORE", BT_INTEGER, 32, 2),
          Field("NOTES", BT_NOTE, 34, 200)};
}

using testing::ErrorCode;

class BtrTableTest : public testing::BtrFileTest {
 protected:
  // ID unique; NAME with duplicates, case-insensitive; SCORE with duplicates, descending.
  std::string CreatePeople() {
    return CreateFile("people.btr", kFixedLength, 3,
                      {Segment(1, 4, BT_INTEGER, 0), Segment(5, 16, BT_ZSTRING, 0x0401),
                       Segment(33, 2, BT_INTEGER, 0x0041)},
                      true);
  }

  TBtrTable& OpenPeople(const char* name = "PEOPLE") {
    return Open(path_.empty() ? (path_ = CreatePeople()) : path_, PeopleFields(), name);
  }

  std::vector<uint8_t> Record(TBtrTable& t, int32_t id, const char* name, int16_t score = 0) {
    std::vector<uint8_t> record(t.GetRecordBufferSize());
    t.InitRecord(record.data());
    // The cursor keeps the last record buffer it was given; this one is the caller's to free.
    t.SetRecordBuffer(nullptr);
    t.PutField(kId, record.data(), &id);
    t.PutField(kName, record.data(), name);
    t.PutField(kScore, record.data(), &score);
    return record;
  }

  void Insert(TBtrTable& t, int32_t id, const char* name, int16_t score = 0) {
    std::vector<uint8_t> record = Record(t, id, name, score);
    t.InsertRecord(dbiNOLOCK, record.data());
  }

  static int32_t IdOf(const std::vector<uint8_t>& record) {
    int32_t id = 0;
    std::memcpy(&id, record.data(), 4);
    return id;
  }

  std::vector<int32_t> Walk(TBtrTable& t, bool forward = true) {
    std::vector<int32_t> ids;
    std::vector<uint8_t> record(t.GetRecordBufferSize());
    forward ? t.SetToBegin() : t.SetToEnd();
    try {
      for (;;) {
        forward ? t.GetNextRecord(dbiNOLOCK, record.data(), nullptr)
                : t.GetPriorRecord(dbiNOLOCK, record.data(), nullptr);
        ids.push_back(IdOf(record));
      }
    } catch (const EVaderBoundryError&) {
    }
    return ids;
  }

  TBtrTable& People() {
    TBtrTable& t = OpenPeople();
    Insert(t, 3, "Smith", 20);
    Insert(t, 1, "adams", 50);
    Insert(t, 4, "Zorro", 20);
    Insert(t, 2, "Baker", 70);
    return t;
  }

  std::string path_;
};

TEST_F(BtrTableTest, WalksEachKeyInItsOrder) {
  TBtrTable& t = People();
  EXPECT_EQ(Walk(t), (std::vector<int32_t>{1, 2, 3, 4}));
  EXPECT_EQ(Walk(t, false), (std::vector<int32_t>{4, 3, 2, 1}));
  t.SwitchToIndex("1", nullptr, 0, false);  // names ignoring case
  EXPECT_EQ(Walk(t), (std::vector<int32_t>{1, 2, 3, 4}));
  t.SwitchToIndex(" 2 - SCORE", nullptr, 0, false);  // descending, duplicates by insertion
  EXPECT_EQ(Walk(t), (std::vector<int32_t>{2, 1, 3, 4}));
  uint32_t count = 0;
  t.GetRecordCount(count);
  EXPECT_EQ(count, 4u);
}

TEST_F(BtrTableTest, DescribesKeysFromStat) {
  TBtrTable& t = OpenPeople();
  IndexDesc desc{};
  t.SwitchToIndex("1", nullptr, 0, false);
  t.GetIndexDesc(0, desc);  // the current key
  EXPECT_STREQ(desc.IndexName, " 1 - NAME");
  EXPECT_EQ(+desc.IndexId, 1);
  EXPECT_EQ(+desc.Unique, 0);
  EXPECT_NE(+desc.CaseInsensitive, 0);
  EXPECT_EQ(+desc.FieldsInKey, 1);
  EXPECT_EQ(+desc.KeyFields[0], kName);
  CursorProps props{};
  t.GetCursorProps(props);
  EXPECT_EQ(+props.IndexCount, 3);
  EXPECT_EQ(+props.RecSize, 234);  // the field layout is longer than the fixed part
  EXPECT_EQ(+props.SeqNums, -1);
  IndexDesc all[3] = {};
  t.GetIndexDescs(all);
  EXPECT_STREQ(all[0].IndexName, " 0 - ID");
  EXPECT_NE(+all[0].Primary, 0);
  EXPECT_NE(+all[0].Unique, 0);
  EXPECT_NE(+all[2].Descending, 0);
}

TEST_F(BtrTableTest, SegmentSharedByTwoFieldsIsNamedByTheLaterOne) {
  // Two fields start where key 1 starts; neither has its length of 8.
  const std::string path =
      CreateFile("overlap.btr", 20, 2, {Segment(1, 4, BT_INTEGER, 0), Segment(5, 8, BT_STRING, 1)});
  TBtrTable& t = Open(path, {Field("ID", BT_INTEGER, 0, 4), Field("PREFIX", BT_STRING, 4, 4),
                             Field("WHOLE", BT_STRING, 4, 12), Field("CODE", BT_STRING, 4, 8)});
  IndexDesc desc{};
  t.SwitchToIndex("1", nullptr, 0, false);
  t.GetIndexDesc(0, desc);
  EXPECT_STREQ(desc.IndexName, " 1 - CODE");  // the exact length wins
  TBtrTable& u = Open(path, {Field("ID", BT_INTEGER, 0, 4), Field("PREFIX", BT_STRING, 4, 4),
                             Field("WHOLE", BT_STRING, 4, 12)});
  u.SwitchToIndex("1", nullptr, 0, false);
  u.GetIndexDesc(0, desc);
  EXPECT_STREQ(desc.IndexName, " 1 - WHOLE");
  EXPECT_EQ(+desc.KeyFields[0], 3);
}

TEST_F(BtrTableTest, KeyNumbersOutsideTheFileAreRefused) {
  TBtrTable& t = OpenPeople();
  for (const char* name : {"3", "5"}) {
    try {
      t.SwitchToIndex(name, nullptr, 0, false);
      FAIL() << name;
    } catch (const EBtrieveEngineError& e) {
      EXPECT_EQ(e.NativeError(), 6);
      EXPECT_EQ(e.ExtraText(), name);
    }
  }
  EXPECT_EQ(ErrorCode([&] { t.SwitchToIndex("NAME", nullptr, 0, false); }),
            DBIERR_INVALIDINDEXNAME);
}

TEST_F(BtrTableTest, PartialKeyFindsOnlyMatchingRecords) {
  TBtrTable& t = People();
  t.SwitchToIndex("1", nullptr, 0, false);
  std::vector<uint8_t> key = Record(t, 0, "Smi"), record(t.GetRecordBufferSize());
  t.GetRecordForKey(false, 0, 3, key.data(), record.data());
  EXPECT_EQ(IdOf(record), 3);
  // Get Greater or Equal finds Zorro after "Tab", which does not begin with it.
  key = Record(t, 0, "Tab");
  EXPECT_EQ(StatusOf([&] { t.GetRecordForKey(false, 0, 3, key.data(), record.data()); }), 4);
  key = Record(t, 4, "");
  t.SwitchToIndex("0", nullptr, 0, false);
  t.GetRecordForKey(false, 0, 0, key.data(), record.data());
  EXPECT_EQ(IdOf(record), 4);
}

TEST_F(BtrTableTest, SeekAndSetToKeyFillTheRestOfTheKey) {
  TBtrTable& t = People();
  std::vector<uint8_t> key = Record(t, 2, ""), record(t.GetRecordBufferSize());
  t.SetToKey(keyCONDGT, false, 0, 0, key.data());
  t.GetRecord(dbiNOLOCK, record.data(), nullptr);
  EXPECT_EQ(IdOf(record), 3);
  t.SwitchToIndex("2", nullptr, 0, false);
  key = Record(t, 0, "", 60);
  t.SeekKey(keySEARCHGEQ, false, 1, 0, key.data(), record.data());
  EXPECT_EQ(IdOf(record), 1);  // the next score down the descending key
}

TEST_F(BtrTableTest, RangesReadWithoutARecordBufferOfTheirOwn) {
  // No record buffer is set: every read lands in the cursor's own buffer, also after a call
  // that lent the data buffer to a caller's record.
  TBtrTable& t = People();
  std::vector<uint8_t> low = Record(t, 2, ""), high = Record(t, 4, "");
  uint32_t before = 0;
  t.GetSeqNo(before);
  t.SetRange(false, 1, 0, low.data(), true, 1, 0, high.data(), true);
  EXPECT_EQ(Walk(t), (std::vector<int32_t>{2, 3, 4}));
  EXPECT_EQ(Walk(t, false), (std::vector<int32_t>{4, 3, 2}));
  std::vector<uint8_t> key = Record(t, 3, ""), record(t.GetRecordBufferSize());
  t.SetToKey(keyCONDGEQ, false, 0, 0, key.data());
  t.GetRecord(dbiNOLOCK, record.data(), nullptr);
  EXPECT_EQ(IdOf(record), 3);
  uint8_t mark[kBtrBookmarkSize];
  t.GetBookMark(mark);
  t.DeleteRecord(record.data());
  t.GetSeqNo(before);
  t.SetToBookMark(mark);  // gone: the next record by key, checked against the range
  t.GetRecord(dbiNOLOCK, record.data(), nullptr);
  EXPECT_EQ(IdOf(record), 4);
  key = Record(t, 1, "");
  EXPECT_EQ(ErrorCode([&] { t.SetToKey(keyCONDGEQ, false, 0, 0, key.data()); }), DBIERR_BOF);
}

TEST_F(BtrTableTest, BookmarksSurviveDeletes) {
  TBtrTable& t = People();
  std::vector<uint8_t> record(t.GetRecordBufferSize());
  uint8_t mark[kBtrBookmarkSize], other[kBtrBookmarkSize];
  t.SetToBegin();
  t.GetNextRecord(dbiNOLOCK, record.data(), nullptr);
  t.GetBookMark(other);
  t.GetNextRecord(dbiNOLOCK, record.data(), nullptr);
  t.GetBookMark(mark);
  int cmp = 0;
  t.CompareBookMarks(other, mark, cmp);
  EXPECT_EQ(cmp, -1);
  t.DeleteRecord(record.data());  // id 2
  t.SetToBookMark(mark);
  t.GetRecord(dbiNOLOCK, record.data(), nullptr);
  EXPECT_EQ(IdOf(record), 3);  // the next record by key
  t.SetToEnd();
  t.GetPriorRecord(dbiNOLOCK, record.data(), nullptr);
  t.GetBookMark(mark);
  t.DeleteRecord(record.data());  // id 4, the last
  t.SetToBookMark(mark);
  t.GetRecord(dbiNOLOCK, record.data(), nullptr);
  EXPECT_EQ(IdOf(record), 3);  // the previous one at the end of the file
  for (int32_t id : {1, 3}) {
    std::vector<uint8_t> key = Record(t, id, "");
    t.GetRecordForKey(false, 0, 0, key.data(), record.data());
    t.DeleteRecord(record.data());
  }
  t.SetToBookMark(mark);
  EXPECT_EQ(t.State(), TCursorState::AtBegin);
}

TEST_F(BtrTableTest, SequenceNumbersStayWithinTheCount) {
  TBtrTable& t = People();
  std::vector<uint8_t> record(t.GetRecordBufferSize());
  uint32_t n = 0;
  t.SetToBegin();
  t.GetNextRecord(dbiNOLOCK, record.data(), nullptr);
  t.GetSeqNo(n);
  EXPECT_EQ(n, 1u);
  t.SetToEnd();
  t.GetPriorRecord(dbiNOLOCK, record.data(), nullptr);
  t.GetSeqNo(n);
  EXPECT_EQ(n, 4u);  // not 5
  t.SetToSeqNo(4);
  t.GetRecord(dbiNOLOCK, record.data(), nullptr);
  EXPECT_EQ(IdOf(record), 4);
  uint32_t position = 0;
  t.GetRecordNo(position);
  t.SetToBegin();
  t.SetToRecordNo(position);
  t.GetRecord(dbiNOLOCK, record.data(), nullptr);
  EXPECT_EQ(IdOf(record), 4);
}

TEST_F(BtrTableTest, TableLockIsOneTransaction) {
  TBtrTable& t = People();
  t.AcqTableLock(dbiWRITELOCK);
  EXPECT_EQ(StatusOf([&] { t.AcqTableLock(dbiWRITELOCK); }), 85);
  Insert(t, 9, "Inside");
  t.RelTableLock(dbiWRITELOCK);
  t.AcqTableLock(dbiWRITELOCK);
  t.RelTableLock(dbiWRITELOCK);
  EXPECT_EQ(Walk(t).size(), 5u);
}

TEST_F(BtrTableTest, RecordLockKeepsOtherClientsOut) {
  TBtrTable& t = People();
  const uint8_t otherId[kClientIdSize] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 'V', 'T', 2, 0};
  TBtrTable& other = Open(path_, PeopleFields(), "PEOPLE", otherId);
  std::vector<uint8_t> record(t.GetRecordBufferSize()), seen(t.GetRecordBufferSize());
  t.SetToBegin();
  t.GetNextRecord(dbiWRITELOCK, record.data(), nullptr);
  other.SetToBegin();
  other.GetNextRecord(dbiNOLOCK, seen.data(), nullptr);
  const int32_t changed = 77;
  other.PutField(kId, seen.data(), &changed);
  EXPECT_EQ(StatusOf([&] { other.ModifyRecord(seen.data(), true); }), 84);
  t.ReleaseRecordLocks();
  other.GetRecord(dbiNOLOCK, seen.data(), nullptr);
  other.PutField(kId, seen.data(), &changed);
  EXPECT_EQ(StatusOf([&] { other.ModifyRecord(seen.data(), true); }), 0);
  EXPECT_EQ(Walk(t), (std::vector<int32_t>{2, 3, 4, 77}));
}

TEST_F(BtrTableTest, KeyWithAlternateCollatingSequence) {
  // A sequence that sorts the characters in reverse.
  std::vector<uint8_t> acs(kAcsTableSize);
  acs[0] = 0xAC;
  std::memcpy(acs.data() + 1, "REVERSE ", 8);
  for (int c = 0; c < 256; ++c) acs[9 + c] = static_cast<uint8_t>(255 - c);
  KeySegmentSpec name = Segment(5, 16, BT_ZSTRING, 0x0021);
  name.AcsNumber = 0;
  path_ = CreateFile("acs.btr", kFixedLength, 2, {Segment(1, 4, BT_INTEGER, 0), name}, true, acs);
  TBtrTable& t = OpenPeople();
  Insert(t, 1, "Adams");
  Insert(t, 2, "Smith");
  Insert(t, 3, "Baker");
  EXPECT_FALSE(t.UsesACS());
  t.SwitchToIndex("1", nullptr, 0, false);
  EXPECT_TRUE(t.UsesACS());
  EXPECT_EQ(Walk(t), (std::vector<int32_t>{2, 3, 1}));
  std::vector<uint8_t> key = Record(t, 0, "Bak"), record(t.GetRecordBufferSize());
  t.GetRecordForKey(false, 0, 3, key.data(), record.data());
  EXPECT_EQ(IdOf(record), 3);
  key = Record(t, 0, "Ba");
  EXPECT_EQ(StatusOf([&] { t.GetRecordForKey(false, 0, 3, key.data(), record.data()); }), 4);
}

TEST(BtrValues, NativeDatesTimesAndLengthPrefixedStringsCompareByValue) {
  std::unique_ptr<TBtrTable> t(TBaseTable::Create<TBtrTable>(
      nullptr, nullptr, "VALUES", nullptr, kOpenReadWrite, kShareShared, nullptr));
  t->LoadFields({Field("D", BT_DATE, 0, 4), Field("T", BT_TIME, 4, 4), Field("L", BT_LSTRING, 8, 8),
                 Field("F", BT_FLOAT, 16, 8)});
  TVaderFieldCache& cache = t->FieldCache();
  // day, month, year (signed 16-bit): 31.12.1999 before 1.1.2000
  const uint8_t d1[4] = {31, 12, 0xCF, 0x07}, d2[4] = {1, 1, 0xD0, 0x07};
  EXPECT_EQ(t->CompareValues(fldDATE, &cache.GetItem(1), 4, false, d1, d2), -1);
  // hundredths, seconds, minutes, hours: 10:00:00.99 before 11:00:00.00
  const uint8_t t1[4] = {99, 0, 0, 10}, t2[4] = {0, 0, 0, 11};
  EXPECT_EQ(t->CompareValues(fldTIME, &cache.GetItem(2), 4, false, t1, t2), -1);
  // The length byte is not part of the text.
  const uint8_t l1[8] = {5, 'a', 'b', 'c'}, l2[8] = {3, 'A', 'B', 'C'};
  EXPECT_EQ(t->CompareValues(fldZSTRING, &cache.GetItem(3), 8, true, l1, l2), 0);
  const double f1 = -2.5, f2 = 1.0;
  EXPECT_EQ(t->CompareValues(fldFLOAT, &cache.GetItem(4), 8, false, &f1, &f2), -1);
}

// A database that opens the same file again for clones, with the name it was asked for.
class CloningDatabase : public TBaseDatabase {
 public:
  CloningDatabase(std::string path, std::vector<DictionaryField> fields)
      : TBaseDatabase(nullptr, nullptr, nullptr, 0, 0, nullptr, 0, nullptr, nullptr),
        path_(std::move(path)),
        fields_(std::move(fields)) {}
  void OpenTableList(bool, bool, const char*, TBaseTable*&) override {
    RaiseEngineError(DBIERR_NA);
  }
  void OpenFieldList(const char*, const char*, bool, TBaseTable*&) override {
    RaiseEngineError(DBIERR_NA);
  }
  void OpenTable(const char* name, const char*, const char*, const char*, uint16_t,
                 uint32_t openMode, uint32_t shareMode, uint32_t, bool, const void*,
                 TBaseTable*& cursor) override {
    lastName = name;
    auto* table =
        TBaseTable::Create<TBtrTable>(this, &Tables(), name, nullptr, openMode, shareMode, nullptr);
    table->SetFileName(path_.c_str());
    table->LoadFields(fields_);
    table->OpenCursor();
    cursor = table;
  }
  std::string lastName;

 private:
  std::string path_;
  std::vector<DictionaryField> fields_;
};

TEST_F(BtrTableTest, TableNameOptionsAreParsedAndCloned) {
  path_ = CreatePeople();
  {
    uint8_t position[kPositionBlockSize] = {};
    std::string key = path_;
    key.resize(256, '\0');
    uint32_t length = 0;
    ASSERT_EQ(BtrCall(B_OPEN, position, nullptr, &length, key.data(), 255, 0), 0);
    char owner[] = "SECRETOW";
    length = sizeof owner;
    ASSERT_EQ(BtrCall(29, position, owner, &length, owner, 255, 0), 0);
    BtrCall(B_CLOSE, position, nullptr, &length, key.data(), 255, 0);
  }
  CloningDatabase database(path_, PeopleFields());
  TBaseTable* opened = nullptr;
  database.OpenTable("people;res:PEOPLE.RES;Owner:SECRETOWNER", nullptr, nullptr, nullptr, 0,
                     kOpenReadWrite, kShareShared, 0, false, nullptr, opened);
  auto& table = static_cast<TBtrTable&>(*opened);
  EXPECT_STREQ(table.GetTableName(), "people");
  EXPECT_STREQ(table.OwnerName(), "SECRETOW");  // cut to 8 characters
  EXPECT_TRUE(table.HasResource());
  EXPECT_STREQ(table.ResourceName(), "PEOPLE.RES");
  TBaseTable* clone = nullptr;
  table.CloneCursor(false, true, clone);
  EXPECT_EQ(database.lastName, "people;RES:PEOPLE.RES;OWNER:SECRETOW");
  EXPECT_STREQ(static_cast<TBtrTable*>(clone)->OwnerName(), "SECRETOW");
}

}  // namespace
}  // namespace vader
