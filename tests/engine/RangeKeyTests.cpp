// Ranges, positioning by key and the resolution of an index named by its fields, over the keyed
// test table.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "engine/BseErrs.h"
#include "engine/BseTable.h"
#include "engine/KeyedTestTable.h"

namespace vader::test {
namespace {

std::vector<uint8_t> PackedId(int32_t id) {
  std::vector<uint8_t> key(kKeyBufferSize);
  std::memcpy(key.data(), &id, sizeof id);
  return key;
}

// ---- ranges ----

TEST(Range, ExclusiveStartAndInclusiveEndInBothDirections) {
  KeyedTestTable table;
  table.PutIds({9, 10, 11, 20, 21});
  const auto low = PackedId(10);
  const auto high = PackedId(20);
  table.SetRange(true, 1, 0, low.data(), false, 1, 0, high.data(), true);
  EXPECT_TRUE(table.RangeSameShape());
  EXPECT_EQ(Walk(table), (std::vector<int32_t>{11, 20}));
  EXPECT_EQ(Walk(table, false), (std::vector<int32_t>{20, 11}));
}

TEST(Range, InclusiveStartAndExclusiveEndGivenAsRecords) {
  KeyedTestTable table;
  table.PutIds({9, 10, 11, 20, 21});
  auto low = MakeRecord(Person{.id = 10});
  auto high = MakeRecord(Person{.id = 20});
  table.SetRange(false, 0, 0, low.data(), true, 0, 0, high.data(), false);
  EXPECT_EQ(Walk(table), (std::vector<int32_t>{10, 11}));
  EXPECT_EQ(Walk(table, false), (std::vector<int32_t>{11, 10}));
}

TEST(Range, OneSidedRangesAndReset) {
  KeyedTestTable table;
  table.PutIds({1, 2, 3, 4});
  const auto high = PackedId(2);
  table.SetRange(true, 1, 0, nullptr, true, 1, 0, high.data(), true);
  EXPECT_FALSE(table.RangeStart().Active);
  EXPECT_EQ(Walk(table), (std::vector<int32_t>{1, 2}));
  EXPECT_EQ(Walk(table, false), (std::vector<int32_t>{2, 1}));
  table.ResetRange();
  EXPECT_FALSE(table.RangeActive());
  EXPECT_EQ(Walk(table).size(), 4u);
}

TEST(Range, SettingARangeDoesNotMoveTheCursor) {
  KeyedTestTable table;
  table.PutIds({1, 2, 3, 4, 5});
  std::vector<uint8_t> record(kKeyedRecordSize);
  table.GetNextRecord(dbiNOLOCK, record.data(), nullptr);
  const auto low = PackedId(3);
  table.SetRange(true, 1, 0, low.data(), true, 0, 0, nullptr, true);
  EXPECT_EQ(table.State(), TCursorState::OnRecord);
  // The current record now lies before the range.
  EXPECT_THROW(table.GetRecord(dbiNOLOCK, record.data(), nullptr), EVaderBOFError);
}

class PackedBoundTest : public ::testing::Test {
 protected:
  void SetUp() override {
    table.SelectIndex(table.DefineIndex("NameCity", {kName, kCity}));
    table.Put(Person{.id = 1, .name = "JONES", .city = "ROME"});
    table.Put(Person{.id = 2, .name = "SMITH", .city = "OSLO"});
    table.Put(Person{.id = 3, .name = "SMITH", .city = "PARIS"});
    table.Put(Person{.id = 4, .name = "YOUNG", .city = "BONN"});
  }
  std::vector<uint8_t> Key(const std::string& name, const std::string& city) {
    std::vector<uint8_t> key(kKeyBufferSize);
    std::memcpy(key.data(), name.data(), name.size());
    std::memcpy(key.data() + 16, city.data(), city.size());
    return key;
  }
  KeyedTestTable table;
};

TEST_F(PackedBoundTest, BlankKeyFieldsNarrowTheBound) {
  const auto smith = Key("SMITH", "");
  table.SetRange(true, 0, 0, smith.data(), true, 0, 0, smith.data(), true);
  EXPECT_EQ(table.RangeStart().FieldCount, 1);
  EXPECT_EQ(Walk(table), (std::vector<int32_t>{2, 3}));
}

TEST_F(PackedBoundTest, AllBlankKeyMakesTheBoundInactive) {
  const auto blank = Key("", "");
  const auto smithOslo = Key("SMITH", "OSLO");
  table.SetRange(true, 0, 0, blank.data(), true, 0, 0, smithOslo.data(), true);
  EXPECT_FALSE(table.RangeStart().Active);
  EXPECT_EQ(table.RangeEnd().FieldCount, 2);
  EXPECT_EQ(Walk(table), (std::vector<int32_t>{1, 2}));
}

TEST_F(PackedBoundTest, PartialLengthRangeCoversThePrefix) {
  const auto sm = Key("SM", "");
  table.SetRange(true, 1, 2, sm.data(), true, 1, 2, sm.data(), true);
  EXPECT_TRUE(table.RangeSameShape());
  EXPECT_EQ(Walk(table), (std::vector<int32_t>{2, 3}));
  EXPECT_EQ(Walk(table, false), (std::vector<int32_t>{3, 2}));
}

TEST(Range, BoundWhoseKeyCannotBeBuiltLeavesThatSideOpen) {
  KeyedTestTable table;
  table.PutIds({1, 2, 3, 4});
  table.unbuildableKeys.insert(99);
  auto low = MakeRecord(Person{.id = 99});
  auto high = MakeRecord(Person{.id = 3});
  table.SetRange(false, 0, 0, low.data(), true, 0, 0, high.data(), true);
  EXPECT_FALSE(table.RangeStart().Active);
  EXPECT_TRUE(table.RangeEnd().Active);
  EXPECT_EQ(Walk(table), (std::vector<int32_t>{1, 2, 3}));
}

TEST(Range, FilterSkipsStopAtTheRangeEnd) {
  KeyedTestTable table;
  table.PutIds({1, 2, 3, 4, 5, 6});
  TFilterListItem* filter = nullptr;
  table.AddFilter(
      0, 0, false, nullptr, [](uintptr_t, uint8_t* r, int32_t) -> int16_t { return IdOf(r) != 3; },
      filter);
  table.ActivateFilter(filter);
  const auto low = PackedId(2);
  const auto high = PackedId(3);
  table.SetRange(true, 1, 0, low.data(), true, 1, 0, high.data(), true);
  EXPECT_EQ(Walk(table), (std::vector<int32_t>{2}));
}

// ---- key search ----

class KeySearchTest : public ::testing::Test {
 protected:
  void SetUp() override { table.PutIds({10, 20, 30, 40}); }
  int32_t Current() {
    table.GetRecord(dbiNOLOCK, record.data(), nullptr);
    return IdOf(record.data());
  }
  KeyedTestTable table;
  std::vector<uint8_t> record = std::vector<uint8_t>(kKeyedRecordSize);
};

TEST_F(KeySearchTest, ConditionsPickTheRightRecord) {
  const auto key20 = PackedId(20);
  table.SetToKey(keyCONDEQ, true, 1, 0, key20.data());
  EXPECT_EQ(table.State(), TCursorState::OnRecord);
  EXPECT_EQ(Current(), 20);
  table.SetToKey(keyCONDGT, true, 1, 0, key20.data());
  EXPECT_EQ(Current(), 30);
  const auto key25 = PackedId(25);
  table.SetToKey(keyCONDGEQ, true, 1, 0, key25.data());
  EXPECT_EQ(Current(), 30);
  // A key given as a record.
  auto asRecord = MakeRecord(Person{.id = 40});
  table.SetToKey(keyCONDEQ, false, 0, 0, asRecord.data());
  EXPECT_EQ(Current(), 40);
}

TEST_F(KeySearchTest, MissesEndAtTheEndOrPassTheDriversError) {
  const auto key25 = PackedId(25);
  EXPECT_EQ(ErrorCode([&] { table.SetToKey(keyCONDEQ, true, 1, 0, key25.data()); }),
            kRecordNotFound);
  const auto key40 = PackedId(40);
  table.SetToKey(keyCONDGT, true, 1, 0, key40.data());
  EXPECT_EQ(table.State(), TCursorState::AtEnd);
  table.GetPriorRecord(dbiNOLOCK, record.data(), nullptr);
  EXPECT_EQ(IdOf(record.data()), 40);
}

TEST_F(KeySearchTest, MissPastTheEndOfARangedCursorIsNoError) {
  const auto low = PackedId(20);
  const auto high = PackedId(30);
  table.SetRange(true, 1, 0, low.data(), true, 1, 0, high.data(), true);
  const auto key40 = PackedId(40);
  table.SetToKey(keyCONDGT, true, 1, 0, key40.data());
  EXPECT_EQ(table.State(), TCursorState::AtEnd);
}

TEST_F(KeySearchTest, RangeAndFiltersApplyToTheRecordFound) {
  const auto low = PackedId(20);
  const auto high = PackedId(30);
  table.SetRange(true, 1, 0, low.data(), true, 1, 0, high.data(), true);
  const auto key10 = PackedId(10);
  EXPECT_THROW(table.SetToKey(keyCONDEQ, true, 1, 0, key10.data()), EVaderBOFError);
  table.ResetRange();

  TFilterListItem* filter = nullptr;
  table.AddFilter(
      0, 0, false, nullptr, [](uintptr_t, uint8_t* r, int32_t) -> int16_t { return IdOf(r) != 20; },
      filter);
  table.ActivateFilter(filter);
  uint8_t caller[kKeyedRecordSize] = {};
  table.SetDataBuffer(caller);
  const auto key20 = PackedId(20);
  table.SetToKey(keyCONDGEQ, true, 1, 0, key20.data());
  EXPECT_EQ(Current(), 30);
  table.SetDataBuffer(caller);
  table.SetToKey(keyCONDGEQ, true, 1, 0, key20.data());
  EXPECT_EQ(table.GetDataBuffer(), caller);
}

// ---- index resolution ----

class IndexForFieldsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    table.DefineIndex("NameCityZip", {kName, kCity, kZip});
    table.DefineIndex("NameCity", {kName, kCity});
  }
  KeyedTestTable table;
  uint16_t indexNo = 77;
  char indexName[32] = {};
};

TEST_F(IndexForFieldsTest, SelectsTheIndexKeyedExactlyOnTheFields) {
  table.FindIndexForFields("@NAME@CITY", indexNo, indexName);
  EXPECT_EQ(indexNo, 2);
  EXPECT_STREQ(indexName, "NameCity");
  table.FindIndexForFields("@name@city@zip", indexNo, nullptr);
  EXPECT_EQ(indexNo, 1);
}

TEST_F(IndexForFieldsTest, UnresolvedListsFail) {
  EXPECT_EQ(ErrorCode([&] { table.FindIndexForFields("@FOO@BAR", indexNo, indexName); }),
            DBIERR_INVALIDINDEXNAME);
  // A known name beside an unknown one matches no index; the search runs off the last one.
  EXPECT_EQ(ErrorCode([&] { table.FindIndexForFields("@NAME@FOO", indexNo, indexName); }),
            DBIERR_INVALIDHNDL);
}

TEST_F(IndexForFieldsTest, PlainNameIsHandedBackCut) {
  const std::string name(40, 'I');
  table.FindIndexForFields(name.c_str(), indexNo, indexName);
  EXPECT_EQ(indexNo, 77);
  EXPECT_EQ(std::string(indexName), std::string(31, 'I'));
}

TEST_F(IndexForFieldsTest, SixteenNamesAreComparedWithinTheKeyFields) {
  const uint16_t cycle[] = {kId, kName, kCity, kZip, kFlag, kSmall};
  std::vector<uint16_t> fields;
  std::string list;
  for (int i = 0; i < 17; ++i) {
    const uint16_t field = cycle[i % 6];
    if (i < 16) fields.push_back(field);
    list += "@" + table.FieldCache().GetItem(field).FieldName();
  }
  const uint16_t wide = table.DefineIndex("Wide", fields);
  // Whatever follows the sixteen key fields in a descriptor is not part of the key.
  table.Index(wide).KeyExpression[0] = 'X';
  table.FindIndexForFields(list.c_str(), indexNo, indexName);
  EXPECT_EQ(indexNo, wide);
  list.erase(list.rfind('@'));
  table.FindIndexForFields(list.c_str(), indexNo, indexName);
  EXPECT_EQ(indexNo, wide);
}

}  // namespace
}  // namespace vader::test
