// The stand-alone memory table: field layout, browsing, bookmarks and edits.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/BseCache.h"
#include "engine/KeyedTestTable.h"

namespace vader {
namespace {

using test::ErrorCode;

FieldDesc Field(const char* name, uint16_t type, int16_t units1 = 0, int16_t units2 = 0,
                uint16_t length = 0) {
  FieldDesc d{};
  std::strncpy(d.FieldName, name, sizeof d.FieldName - 1);
  d.FieldType = type;
  d.FieldUnits1 = units1;
  d.FieldUnits2 = units2;
  d.FieldLength = length;
  d.FieldOffset = 999;  // replaced by the table's own layout
  d.NullOffset = 500;   // images have no null indicators
  return d;
}

// A table of a 32-bit number and a 15-character name (record size 20).
struct NumberedTable {
  NumberedTable() {
    const FieldDesc fields[] = {Field("NUM", fldINT32), Field("NAME", fldZSTRING, 15)};
    table.reset(TMemTable::CreateStandAlone(nullptr, &tables, "MEM", 2, fields));
  }
  std::vector<uint8_t> Row(int32_t num, const std::string& name = "R") {
    std::vector<uint8_t> record(table->GetRecordSize());
    table->PutField(1, record.data(), &num);
    table->PutField(2, record.data(), (name + std::string(16, '\0')).data());
    return record;
  }
  void Insert(int32_t num) { table->InsertRecord(dbiNOLOCK, Row(num).data()); }
  void Append(int32_t num) { table->AppendRecord(Row(num).data()); }
  std::vector<int32_t> Nums(bool forward = true) { return test::Walk(*table, forward); }
  static int32_t NumOf(std::vector<uint8_t>& record) { return test::IdOf(record.data()); }

  TVaderCollection tables;
  std::unique_ptr<TMemTable> table;
};

TEST(MemTable, LaysFieldsOutEndToEndWithTypeSizes) {
  const FieldDesc config[] = {Field("szNodeName", fldZSTRING, 31), Field("iDataType", fldUINT16)};
  std::unique_ptr<TMemTable> two(TMemTable::CreateStandAlone(nullptr, nullptr, "CFG", 2, config));
  EXPECT_EQ(two->GetRecordSize(), 34u);
  FieldDesc descs[2]{};
  two->GetFieldDescs(descs);
  EXPECT_EQ(+descs[1].FieldOffset, 32);
  EXPECT_EQ(+descs[1].FieldNumber, 2);
  EXPECT_EQ(+descs[0].NullOffset, 0);

  // Every type size, a given length kept, BCD by its scale's absolute value.
  const FieldDesc all[] = {Field("D", fldDATE),          Field("B", fldBOOL),
                           Field("I", fldINT32),         Field("N", fldBCD, 0, -6),
                           Field("X", fldFLOATIEEE),     Field("Y", fldBYTES, 5),
                           Field("L", fldBYTES, 5, 0, 3)};
  std::unique_ptr<TMemTable> wide(TMemTable::CreateStandAlone(nullptr, nullptr, "ALL", 7, all));
  EXPECT_EQ(wide->GetRecordSize(), 8u + 2 + 4 + 6 + 10 + 5 + 3);
  CursorProps props{};
  wide->GetCursorProps(props);
  EXPECT_EQ(+props.RecSize, 38);
  EXPECT_EQ(+props.BookmarkSize, 4);

  // Too many descriptors, or none, make no table.
  std::vector<FieldDesc> many(kMaxFieldDescs + 1, Field("F", fldINT16));
  EXPECT_EQ(ErrorCode([&] {
              delete TMemTable::CreateStandAlone(nullptr, nullptr, "M", kMaxFieldDescs + 1,
                                                 many.data());
            }),
            DBIERR_INVALIDPARAM);
  EXPECT_EQ(
      ErrorCode([] { delete TMemTable::CreateStandAlone(nullptr, nullptr, "M", 0, nullptr); }),
      DBIERR_INVALIDRECSTRUCT);

  // Values are stored as given; a write without a value zero-fills the field and nothing else.
  NumberedTable t;
  auto record = t.Row(7, "Alpha");
  t.table->PutField(2, record.data(), nullptr);
  bool blank = true;
  char name[16] = {'x'};
  t.table->GetField(2, record.data(), name, blank);
  EXPECT_FALSE(blank);
  EXPECT_EQ(std::string(name) + std::to_string(t.NumOf(record)), "7");
}

TEST(MemTable, BrowsesInInsertionOrderBothWaysAndAtTheEnds) {
  NumberedTable t;
  std::vector<uint8_t> record(20);
  EXPECT_THROW(t.table->FirstPhysical(), EVaderEOFError);
  EXPECT_THROW(t.table->LastPhysical(), EVaderBOFError);
  EXPECT_EQ(ErrorCode([&] { t.table->GetRecord(dbiNOLOCK, record.data(), nullptr); }), DBIERR_EOF);
  for (int32_t n : {1, 2, 3}) t.Insert(n);
  t.Append(4);
  EXPECT_EQ(t.Nums(), (std::vector<int32_t>{1, 2, 3, 4}));
  EXPECT_EQ(t.Nums(false), (std::vector<int32_t>{4, 3, 2, 1}));
  uint32_t count = 0;
  t.table->GetRecordCount(count);
  EXPECT_EQ(count, 4u);

  // Insert goes in front of the current record; the cursor stays on the record it was on.
  t.table->SetToBegin();
  t.table->GetNextRecord(dbiNOLOCK, record.data(), nullptr);
  t.table->GetNextRecord(dbiNOLOCK, record.data(), nullptr);
  t.Insert(9);
  t.table->GetRecord(dbiNOLOCK, record.data(), nullptr);
  EXPECT_EQ(t.NumOf(record), 2);
  EXPECT_EQ(t.Nums(), (std::vector<int32_t>{1, 9, 2, 3, 4}));
  auto changed = t.Row(10);
  t.table->ModifyRecord(changed.data(), true);  // the last record read
  EXPECT_EQ(t.Nums(), (std::vector<int32_t>{1, 9, 2, 3, 10}));
  RecordProps props{};
  t.table->SetToBegin();
  t.table->GetRelativeRecord(2, dbiNOLOCK, record.data(), &props);
  EXPECT_EQ(+props.UpdateStatus, kUpdInserted);
}

TEST(MemTable, DeletingLeavesACrackThatNeitherSkipsNorRepeats) {
  NumberedTable t;
  for (int32_t n : {1, 2, 3, 4}) t.Insert(n);
  std::vector<uint8_t> record(20);
  t.table->SetToBegin();
  t.table->GetNextRecord(dbiNOLOCK, record.data(), nullptr);
  t.table->GetNextRecord(dbiNOLOCK, record.data(), nullptr);
  t.table->DeleteRecord(nullptr);
  EXPECT_EQ(t.table->State(), TCursorState::AtCrack);
  EXPECT_EQ(ErrorCode([&] { t.table->DeleteRecord(nullptr); }), DBIERR_NOCURRREC);
  t.table->GetNextRecord(dbiNOLOCK, record.data(), nullptr);
  EXPECT_EQ(t.NumOf(record), 3);
  t.table->DeleteRecord(nullptr);
  t.table->GetPriorRecord(dbiNOLOCK, record.data(), nullptr);
  EXPECT_EQ(t.NumOf(record), 1);
  EXPECT_EQ(t.Nums(), (std::vector<int32_t>{1, 4}));
  // The last record deleted: the crack is at the end.
  t.table->SetToEnd();
  t.table->GetPriorRecord(dbiNOLOCK, record.data(), nullptr);
  t.table->DeleteRecord(nullptr);
  EXPECT_THROW(t.table->GetNextRecord(dbiNOLOCK, record.data(), nullptr), EVaderEOFError);
  t.table->GetPriorRecord(dbiNOLOCK, record.data(), nullptr);
  EXPECT_EQ(t.NumOf(record), 1);

  t.table->EmptyTable();
  EXPECT_EQ(t.table->State(), TCursorState::Unpositioned);
  EXPECT_TRUE(t.Nums().empty());
}

TEST(MemTable, BookmarksStayUniqueAndFindTheirRecords) {
  NumberedTable t;
  for (int32_t n : {1, 2, 3}) t.Insert(n);
  std::vector<uint8_t> record(20);
  t.table->SetToBegin();
  t.table->GetNextRecord(dbiNOLOCK, record.data(), nullptr);
  t.table->DeleteRecord(nullptr);  // the first record goes; its number is not handed out again
  t.Append(4);
  std::vector<std::vector<uint8_t>> marks;
  t.table->SetToBegin();
  for (int i = 0; i < 3; ++i) {
    t.table->GetNextRecord(dbiNOLOCK, record.data(), nullptr);
    marks.emplace_back(4);
    t.table->GetBookMark(marks.back().data());
  }
  for (int i = 0; i < 3; ++i)
    for (int j = i + 1; j < 3; ++j) EXPECT_NE(marks[i], marks[j]);
  // Inserted records are found by their bookmarks like any other.
  std::vector<uint8_t> read(20);
  t.table->ReadAtBookmark(marks[0].data(), read.data(), dbiNOLOCK);
  EXPECT_EQ(t.NumOf(read), 2);
  t.table->SetToBookMark(marks[2].data());
  t.table->GetRecord(dbiNOLOCK, read.data(), nullptr);
  EXPECT_EQ(t.NumOf(read), 4);
  int result = 0;
  t.table->CompareBookMarks(marks[0].data(), marks[2].data(), result);
  EXPECT_EQ(result, -1);

  const int32_t unknown = 77;
  EXPECT_THROW(t.table->SetToBookMark(&unknown), EVaderEOFError);
  EXPECT_EQ(ErrorCode([&] { t.table->SetToBookMark(nullptr); }), DBIERR_INVALIDPARAM);
  t.table->EmptyTable();
  EXPECT_EQ(ErrorCode([&] { t.table->GetBookMark(marks[0].data()); }), DBIERR_NOCURRREC);
}

}  // namespace
}  // namespace vader
