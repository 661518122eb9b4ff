#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/BseColl.h"
#include "engine/BseErrs.h"
#include "engine/BseTable.h"
#include "engine/KeyedTestTable.h"

namespace vader {
namespace {

// A driver stand-in: native and local forms are the same bytes, an all-zero value is blank, and
// descriptors past the cached ones come from `loadable`.
class TestTable : public TBaseTable {
 public:
  TestTable(TVaderCollection* collection = nullptr, const char* name = "ORDERS")
      : TBaseTable(nullptr, collection, name, nullptr, nullptr, kOpenReadWrite, kShareShared) {}

  bool nullFlags = false;
  int conversions = 0;
  std::vector<uint16_t> comparedLocalTypes;
  std::vector<FieldDesc> loadable;

  bool HasNullFlags() const override { return nullFlags; }
  void NativeToLocal(uint16_t, uint16_t, int16_t, uint16_t length, const uint8_t* src, void* dest,
                     bool& blank) override {
    ++conversions;
    std::memcpy(dest, src, length);
    blank = std::all_of(src, src + length, [](uint8_t b) { return b == 0; });
  }
  void LocalToNative(uint16_t, uint16_t, int16_t, uint16_t length, const void* src,
                     uint8_t* dest) override {
    if (src == nullptr)
      std::memset(dest, 0, length);
    else
      std::memcpy(dest, src, length);
  }
  int CompareValues(uint16_t type, const TFieldCacheItem* item, uint32_t length,
                    bool caseInsensitive, const void* v1, const void* v2) override {
    if (item != nullptr) comparedLocalTypes.push_back(item->LocalType());
    return TBaseTable::CompareValues(type, item, length, caseInsensitive, v1, v2);
  }
  void LoadFieldDesc(uint16_t n, const void* record, FieldDesc& desc, uint16_t& localType,
                     uint16_t& localSize) override {
    if (n > loadable.size())
      return TBaseTable::LoadFieldDesc(n, record, desc, localType, localSize);
    desc = loadable[n - 1];
    localType = desc.LocalType;
    localSize = desc.LocalSize;
  }

  TFieldCacheItem& AddField(const char* name, uint16_t type, uint16_t offset, uint16_t length,
                            uint16_t nullOffset = 0) {
    FieldDesc desc{};
    std::strncpy(desc.FieldName, name, sizeof desc.FieldName - 1);
    desc.FieldType = type;
    desc.FieldOffset = offset;
    desc.FieldLength = length;
    desc.NullOffset = nullOffset;
    const auto n = static_cast<uint16_t>(FieldCache().Count() + 1);
    return TFieldCacheItem::Create(FieldCache(), desc, n, type, length);
  }
  void SetKey(std::vector<uint16_t> fields, bool caseInsensitive = false) {
    IndexDesc& index = MutableCurrentIndex();
    index.FieldsInKey = static_cast<uint16_t>(fields.size());
    for (size_t i = 0; i < fields.size(); ++i) index.KeyFields[i] = fields[i];
    index.CaseInsensitive = Bool16(caseInsensitive);
  }
  KeySegmentInfo& Segment(int n) { return MutableKeySegment(n); }
  using TBaseTable::SetRecordSize;
};

using test::ErrorCode;

// ---- descriptors and the field cache ----

TEST(FieldCache, NamesAreCutAndFoundIgnoringCase) {
  TestTable table;
  TFieldCacheItem& item = table.AddField("CustNo", fldINT32, 0, 4);
  item.SetFieldName(std::string(40, 'N'));
  EXPECT_EQ(item.FieldName(), std::string(31, 'N'));
  item.SetFieldName("CustNo");
  table.AddField("Name", fldZSTRING, 4, 30);
  EXPECT_EQ(table.FieldCache().FieldNumberByName("NAME"), 2);
  EXPECT_EQ(table.FieldCache().FieldNumberByName("custno"), 1);
  EXPECT_EQ(table.FieldCache().FieldNumberByName("Address"), 0);

  FieldDesc unterminated{};
  std::memset(unterminated.FieldName, 'Z', sizeof unterminated.FieldName);
  TFieldCacheItem& copy = TFieldCacheItem::Create(table.FieldCache(), unterminated, 3, 0, 0);
  EXPECT_EQ(copy.FieldName().size(), 31u);
}

TEST(FieldCache, CreateArgumentsWinOverTheCopiedDescriptor) {
  TestTable table;
  FieldDesc desc{};
  desc.FieldNumber = 9;
  desc.LocalType = 1;
  desc.LocalSize = 2;
  desc.FieldUnits2 = 3;
  TFieldCacheItem& item = TFieldCacheItem::Create(table.FieldCache(), desc, 1, 14, 25);
  EXPECT_EQ(item.FieldNumber(), 1);
  EXPECT_EQ(item.LocalType(), 14);
  EXPECT_EQ(item.LocalSize(), 25);
  EXPECT_EQ(item.FieldUnits2(), 3);
}

TEST(FieldCache, MissingFieldsAreLoadedOnlyInOrder) {
  TestTable table;
  table.AddField("A", fldINT16, 0, 2);
  FieldDesc next{};
  std::strcpy(next.FieldName, "B");
  next.LocalType = 7;
  next.LocalSize = 8;
  table.loadable = {FieldDesc{}, next};
  EXPECT_EQ(ErrorCode([&] { table.FieldCache().GetItem(3); }), DBIERR_INVALIDRECSTRUCT);
  TFieldCacheItem& loaded = table.FieldCache().GetItem(2);
  EXPECT_EQ(loaded.FieldName(), "B");
  EXPECT_EQ(loaded.FieldNumber(), 2);
  EXPECT_EQ(loaded.LocalSize(), 8);
  EXPECT_EQ(ErrorCode([&] { table.FieldCache().GetItem(3); }), DBIERR_NOTSUPPORTED);
  EXPECT_EQ(ErrorCode([&] { table.FieldCache().GetItem(0); }), DBIERR_INVALIDRECSTRUCT);
  TVaderFieldCache orphan(nullptr);
  EXPECT_EQ(ErrorCode([&] { orphan.GetItem(1); }), DBIERR_INVALIDRECSTRUCT);
}

TEST(FieldCache, BindingPointsIntoTheRecordAndItsNullIndicator) {
  TestTable table;
  TFieldCacheItem& withNull = table.AddField("A", fldINT32, 4, 4, 10);
  TFieldCacheItem& without = table.AddField("B", fldINT16, 8, 2);
  uint8_t record[32] = {};
  table.FieldCache().AttachRecord(record);
  EXPECT_EQ(withNull.FieldPtr(), record + 4);
  EXPECT_EQ(withNull.NullPtr(), record + 10);
  EXPECT_EQ(without.NullPtr(), nullptr);
  EXPECT_TRUE(withNull.IsBlank());
  EXPECT_FALSE(without.IsBlank());
  withNull.SetChangedFlag(true);
  EXPECT_EQ(record[14], 0xFF);
  EXPECT_EQ(record[17], 0xFF);
  withNull.Bind(nullptr);
  EXPECT_EQ(withNull.FieldPtr(), nullptr);
  withNull.SetBlankFlag(false);  // unbound: no effect, no crash
}

TEST(RecordLayout, SizeIsTheFurthestFieldEndAndIsRemembered) {
  TestTable table;
  uint16_t count = 0;
  uint16_t size = 0;
  EXPECT_EQ(ErrorCode([&] { table.GetRecordLayout(count, size); }), DBIERR_INVALIDRECSTRUCT);
  table.AddField("A", fldZSTRING, 0, 10);
  table.AddField("B", fldINT16, 4, 2);
  table.GetRecordLayout(count, size);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(size, 10);
  table.AddField("C", fldINT32, 10, 4);
  table.GetRecordLayout(count, size);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(size, 10);
}

TEST(RecordLayout, DescriptorsPastSixtyFourKilobytesAreRefused) {
  TestTable table;
  table.AddField("Huge", fldBYTES, 0xFFF0, 0x20);
  uint16_t count = 0;
  uint16_t size = 0;
  EXPECT_EQ(ErrorCode([&] { table.GetRecordLayout(count, size); }), DBIERR_INVALIDRECSTRUCT);
}

TEST(RecordLayout, BufferSizeAddsNullIndicators) {
  TestTable table;
  table.SetRecordSize(20);
  table.AddField("A", fldINT32, 0, 4);
  table.AddField("B", fldINT32, 4, 4);
  EXPECT_EQ(table.GetRecordBufferSize(), 20u);
  table.nullFlags = true;
  EXPECT_EQ(table.GetRecordBufferSize(), 20u + 2 * 8 + 1);
}

TEST(Descriptors, FindByPositionPrefersTheRequestedLength) {
  TestTable table;
  table.AddField("Whole", fldBYTES, 0, 8);
  table.AddField("Part", fldINT16, 0, 2);
  table.AddField("Other", fldINT16, 8, 2);
  FieldDesc desc{};
  table.FindFieldDescByPos(1, 8, desc);
  EXPECT_STREQ(desc.FieldName, "Whole");
  table.FindFieldDescByPos(1, 5, desc);
  EXPECT_STREQ(desc.FieldName, "Part");
  EXPECT_EQ(uint16_t{desc.LocalSize}, 2);
  try {
    table.FindFieldDescByPos(4, 2, desc);
    FAIL();
  } catch (const EVaderEngineError& e) {
    EXPECT_EQ(e.Code(), DBIERR_INVALIDRECSTRUCT);
    EXPECT_EQ(e.Context(), "Table: ORDERS");
  }
}

TEST(Descriptors, GetFieldDescsCopiesEveryFieldInOrder) {
  TestTable table;
  table.AddField("A", fldINT16, 0, 2);
  table.AddField("B", fldINT32, 2, 4);
  FieldDesc descs[3]{};
  table.GetFieldDescs(descs);
  EXPECT_EQ(uint16_t{descs[0].FieldNumber}, 1);
  EXPECT_STREQ(descs[1].FieldName, "B");
  EXPECT_EQ(uint16_t{descs[2].FieldNumber}, 0);
  EXPECT_EQ(ErrorCode([&] { table.GetFieldDescs(nullptr); }), DBIERR_INVALIDPARAM);
}

// ---- value comparisons ----

template <class T>
int Compare(TBaseTable& table, uint16_t type, T a, T b, uint32_t length = sizeof(T)) {
  return table.CompareValues(type, nullptr, length, false, &a, &b);
}

TEST(CompareValues, TruthValuesAreEqualOrDifferentNeverBefore) {
  TestTable table;
  EXPECT_EQ(Compare<uint16_t>(table, fldBOOL, 0xFFFF, 0), 1);
  EXPECT_EQ(Compare<uint16_t>(table, fldBOOL, 0, 0xFFFF), 1);
  EXPECT_EQ(Compare<uint32_t>(table, fldBOOL, 1, 7), 0);
  EXPECT_EQ(Compare<uint32_t>(table, fldBOOL, 1, 0, 3), 0);
  EXPECT_EQ(Compare<uint8_t>(table, fldBOOL, 0, 2), 1);
}

TEST(CompareValues, IntegersUseTheirWidthAndSignedness) {
  TestTable table;
  EXPECT_EQ(Compare<int32_t>(table, fldINT16, 1, 2, 4), 0);
  EXPECT_EQ(Compare<int8_t>(table, fldINT16, -1, 1), -1);
  EXPECT_EQ(Compare<int16_t>(table, fldINT16, -300, 200), -1);
  EXPECT_EQ(Compare<uint8_t>(table, fldUINT16, 0xFF, 1), 1);
  EXPECT_EQ(Compare<uint16_t>(table, fldUINT16, 0x8000, 1), 1);
  EXPECT_EQ(Compare<uint16_t>(table, fldUINT16, 1, 2, 3), 0);
  EXPECT_EQ(Compare<int32_t>(table, fldINT32, -5, 3), -1);
  EXPECT_EQ(Compare<uint32_t>(table, fldUINT32, 0x80000000u, 3), 1);
  EXPECT_EQ(Compare<int64_t>(table, fldTIMESTAMP, -1, 1), -1);
  EXPECT_EQ(Compare<double>(table, fldFLOAT, 2.5, -7.0), 1);
  EXPECT_EQ(Compare<double>(table, fldFLOAT, 0.0, 0.0), 0);
}

TEST(CompareValues, ShortFixedWidthValuesAreComparedAsTheirBytes) {
  TestTable table;
  const uint8_t a[2] = {1, 2};
  const uint8_t b[2] = {1, 3};
  EXPECT_EQ(table.CompareValues(fldINT32, nullptr, 2, false, a, b), -1);
  EXPECT_EQ(table.CompareValues(fldFLOAT, nullptr, 1, false, a, b), 0);
}

TEST(CompareValues, StringsStopAtTheLengthOrTheNul) {
  TestTable table;
  EXPECT_EQ(table.CompareValues(fldZSTRING, nullptr, 3, false, "abcX", "abcY"), 0);
  EXPECT_EQ(table.CompareValues(fldZSTRING, nullptr, 4, false, "abcX", "abcY"), -1);
  EXPECT_EQ(table.CompareValues(fldZSTRING, nullptr, 10, false, "ab\0X", "ab\0Y"), 0);
  EXPECT_EQ(table.CompareValues(fldZSTRING, nullptr, 10, false, "ab", "abc"), -1);
  EXPECT_EQ(table.CompareValues(fldZSTRING, nullptr, 10, false, "Smith", "smith"), -1);
  EXPECT_EQ(table.CompareValues(fldZSTRING, nullptr, 10, true, "Smith", "smith"), 0);
}

TEST(CompareValues, OtherTypesCompareUnsignedBytes) {
  TestTable table;
  const uint8_t a[3] = {1, 0x80, 0};
  const uint8_t b[3] = {1, 0x7F, 9};
  EXPECT_EQ(table.CompareValues(fldBYTES, nullptr, 3, false, a, b), 1);
  EXPECT_EQ(table.CompareValues(fldDATE, nullptr, 1, false, a, b), 0);
  EXPECT_EQ(table.CompareValues(fldBCD, nullptr, 2, false, b, a), -1);
}

// ---- key comparisons ----

#pragma pack(push, 1)
struct IntPairKey {
  int32_t first;
  int32_t second;
};
#pragma pack(pop)

TEST(CompareKeys, DescendingSegmentReversesTheResult) {
  TestTable table;
  table.AddField("Dept", fldINT32, 0, 4);
  table.AddField("Seq", fldINT32, 4, 4);
  table.SetKey({1, 2});
  table.Segment(2).Descending = 1;
  const IntPairKey a{1, 5};
  const IntPairKey b{1, 7};
  int result = 0;
  table.CompareKeys(&a, &b, 0, 0, result);
  EXPECT_EQ(result, 1);
  table.CompareKeys(&b, &a, 0, 0, result);
  EXPECT_EQ(result, -1);
  table.CompareKeys(&a, &a, 0, 0, result);
  EXPECT_EQ(result, 0);
  const IntPairKey c{2, 1};
  table.CompareKeys(&a, &c, 0, 0, result);
  EXPECT_EQ(result, -1);
}

TEST(CompareKeys, PartialLengthCutsTheLastSegment) {
  TestTable table;
  table.AddField("Name", fldZSTRING, 0, 10);
  table.AddField("City", fldZSTRING, 10, 10);
  table.SetKey({1, 2});
  char a[20] = "abcX";
  char b[20] = "abcY";
  int result = 9;
  table.CompareKeys(a, b, 1, 3, result);
  EXPECT_EQ(result, 0);
  table.CompareKeys(a, b, 1, 0, result);
  EXPECT_EQ(result, -1);
  // A partial length without a field count compares nothing.
  table.CompareKeys(a, b, 0, 3, result);
  EXPECT_EQ(result, 0);
}

TEST(CompareKeys, IndexFlagsAndNilKeys) {
  TestTable table;
  table.AddField("Name", fldZSTRING, 0, 8);
  table.SetKey({1}, true);
  char a[8] = "JONES";
  char b[8] = "jones";
  int result = 9;
  table.CompareKeys(a, b, 0, 0, result);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(ErrorCode([&] { table.CompareKeys(nullptr, b, 0, 0, result); }), DBIERR_INVALIDPARAM);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(ErrorCode([&] { table.CompareKeys(a, nullptr, 0, 0, result); }), DBIERR_INVALIDPARAM);
  char current[8] = "adams";
  table.SetDataBuffer(reinterpret_cast<uint8_t*>(current));
  table.CompareKeys(a, nullptr, 0, 0, result);
  EXPECT_EQ(result, 1);
}

TEST(CompareKeys, RawSegmentUsesItsLengthAndTypeForTheComparisonOnly) {
  TestTable table;
  table.AddField("Code", fldBYTES, 0, 6);
  table.SetKey({1});
  table.Segment(1).RawPosition = 1;
  table.Segment(1).SegmentLength = 2;
  table.Segment(1).SegmentType = fldUINT16;
  const uint8_t a[6] = {1, 2, 0, 0, 0, 0};
  const uint8_t b[6] = {1, 2, 9, 9, 9, 9};
  int result = 9;
  table.CompareKeys(a, b, 0, 0, result);
  EXPECT_EQ(result, 0);
  ASSERT_EQ(table.comparedLocalTypes.size(), 1u);
  EXPECT_EQ(table.comparedLocalTypes[0], fldUINT16);
  EXPECT_EQ(table.FieldCache().GetItem(1).LocalType(), fldBYTES);
}

TEST(CompareKeys, AtMostSixteenSegmentsAreCompared) {
  TestTable table;
  std::vector<uint16_t> fields;
  for (uint16_t n = 1; n <= 16; ++n) {
    table.AddField("F", fldUINT16, static_cast<uint16_t>(2 * (n - 1)), 2);
    fields.push_back(n);
  }
  table.SetKey(fields);
  uint16_t a[20] = {};
  uint16_t b[20] = {};
  a[16] = 1;  // beyond the sixteenth segment
  int result = 9;
  table.CompareKeys(a, b, 20, 0, result);
  EXPECT_EQ(result, 0);
  b[15] = 1;
  table.CompareKeys(a, b, 20, 0, result);
  EXPECT_EQ(result, -1);
}

TEST(CompareKeys, SegmentsLongerThanAKeyBufferAreRefused) {
  TestTable table;
  table.AddField("A", fldBYTES, 0, 200);
  table.AddField("B", fldBYTES, 200, 200);
  table.SetKey({1, 2});
  std::vector<uint8_t> a(400, 0);
  std::vector<uint8_t> b(400, 0);
  int result = 9;
  EXPECT_EQ(ErrorCode([&] { table.CompareKeys(a.data(), b.data(), 0, 0, result); }),
            DBIERR_INVALIDINDEXSTRUCT);
  table.SetKey({0});
  EXPECT_EQ(ErrorCode([&] { table.CompareKeys(a.data(), b.data(), 0, 0, result); }),
            DBIERR_INVALIDRECSTRUCT);
}

TEST(CompareKeys, BookmarksCompareTheirKeys) {
  TestTable table;
  table.AddField("Id", fldINT32, 0, 4);
  table.SetKey({1});
  const int32_t one = 1;
  const int32_t two = 2;
  int result = 0;
  table.CompareBookMarks(&two, &one, result);
  EXPECT_EQ(result, 1);
  EXPECT_EQ(ErrorCode([&] { table.CompareBookMarks(nullptr, &one, result); }), DBIERR_INVALIDPARAM);

  TCacheCollection cache(&table);
  EXPECT_EQ(cache.Compare(&one, &two), -1);
  EXPECT_EQ(cache.Compare(nullptr, &two), 1);  // an engine error sorts after
}

// ---- record buffers ----

TEST(RecordBuffer, NullIndicatorsDecideBlankWithoutTheDriver) {
  TestTable table;
  table.nullFlags = true;
  table.SetRecordSize(8);
  table.AddField("A", fldINT32, 0, 4, 8);
  table.AddField("B", fldINT32, 4, 4, 16);
  std::vector<uint8_t> record(table.GetRecordBufferSize(), 0xAA);
  table.InitRecord(record.data());
  EXPECT_EQ(table.GetRecordBuffer(), record.data());
  EXPECT_EQ(record[0], 0);
  bool blank = false;
  table.GetField(1, record.data(), nullptr, blank);
  EXPECT_TRUE(blank);

  const int32_t value = 42;
  table.PutField(1, record.data(), &value);
  table.PutField(2, record.data(), nullptr);
  EXPECT_EQ(record[8], 0);      // A has a value
  EXPECT_EQ(record[12], 0xFF);  // and was changed
  EXPECT_EQ(record[16], 0xFF);  // B is blank
  EXPECT_EQ(record[20], 0xFF);  // and was changed
  table.conversions = 0;
  table.VerifyField(2, record.data(), blank);
  EXPECT_TRUE(blank);
  EXPECT_EQ(table.conversions, 0);
  int32_t untouched = 7;
  table.GetField(2, record.data(), &untouched, blank);
  EXPECT_TRUE(blank);
  EXPECT_EQ(untouched, 7);
  EXPECT_EQ(table.conversions, 0);
  int32_t read = 0;
  table.GetField(1, record.data(), &read, blank);
  EXPECT_FALSE(blank);
  EXPECT_EQ(read, 42);
}

TEST(RecordBuffer, WithoutNullIndicatorsTheDriverDecidesBlank) {
  TestTable table;
  table.SetRecordSize(8);
  table.AddField("A", fldINT32, 0, 4);
  table.AddField("Wide", fldBYTES, 4, 300);
  std::vector<uint8_t> record(304, 0);
  bool blank = false;
  table.VerifyField(1, record.data(), blank);
  EXPECT_TRUE(blank);
  const int32_t value = 5;
  table.PutField(1, record.data(), &value);
  table.VerifyField(1, record.data(), blank);
  EXPECT_FALSE(blank);
  record[303] = 1;
  table.VerifyField(2, record.data(), blank);
  EXPECT_FALSE(blank);
  EXPECT_EQ(table.conversions, 3);
}

TEST(RecordBuffer, MissingRecordsAndKeyBuildingAreRefused) {
  TestTable table;
  table.AddField("A", fldINT32, 0, 4);
  bool blank = false;
  int32_t value = 0;
  EXPECT_EQ(ErrorCode([&] { table.GetField(1, nullptr, &value, blank); }), DBIERR_INVALIDPARAM);
  EXPECT_EQ(ErrorCode([&] { table.PutField(1, nullptr, &value); }), DBIERR_INVALIDPARAM);
  EXPECT_EQ(ErrorCode([&] { table.InitRecord(nullptr); }), DBIERR_INVALIDPARAM);
  EXPECT_EQ(ErrorCode([&] {
              table.GetFieldValue(table.FieldCache().GetItem(1), nullptr, &value, blank);
            }),
            DBIERR_INVALIDPARAM);
  uint8_t record[4] = {};
  uint8_t key[kKeyBufferSize];
  EXPECT_EQ(ErrorCode([&] { table.ExtractKey(record, key); }), DBIERR_NA);
}

// ---- the table object ----

// A driver that parses an option out of its name and keeps private data.
class OptionTable : public TBaseTable {
 public:
  OptionTable(TVaderCollection* collection, const char* name)
      : TBaseTable(nullptr, collection, name, "ByName", nullptr, kOpenReadOnly, kShareExclusive) {}
  uint32_t GetDriverDataSize() const override { return 16; }
  void SetTableName(const char* name) override {
    std::string text = name;
    owner = text.substr(text.find(";OWNER:") + 7);
    TBaseTable::SetTableName(text.substr(0, text.find(';')).c_str());
  }
  void CreateHandle() override { handleCreated = DriverData() != nullptr; }
  std::string owner;
  bool handleCreated = false;
  bool constructed = false;

 protected:
  void AfterConstruction() override {
    TBaseTable::AfterConstruction();
    constructed = true;
  }
};

TEST(TableObject, TwoStepCreationReachesTheDriversOverrides) {
  TVaderCollection cursors;
  auto* table = TBaseTable::Create<OptionTable>(&cursors, "ORDERS;OWNER:secret");
  EXPECT_STREQ(table->GetTableName(), "ORDERS");
  EXPECT_EQ(table->owner, "secret");
  EXPECT_TRUE(table->handleCreated);
  EXPECT_TRUE(table->constructed);
  EXPECT_STREQ(table->OpenIndexName(), "ByName");
  EXPECT_EQ(table->State(), TCursorState::Closed);
  EXPECT_EQ(table->OpenMode(), kOpenReadOnly);
  EXPECT_EQ(cursors.IndexOf(table), 0);
  delete table;
  EXPECT_EQ(cursors.Count(), 0);
}

TEST(TableObject, NamesAreBoundedAndTrimmed) {
  TestTable table;
  table.SetTableName(std::string(300, 't').c_str());
  EXPECT_EQ(std::strlen(table.GetTableName()), 260u);
  table.SetTableName(nullptr);
  EXPECT_EQ(std::strlen(table.GetTableName()), 260u);
  table.SetFileName("  /data/orders.dat \t");
  EXPECT_STREQ(table.GetFileName(), "/data/orders.dat");
  table.SetFileName(std::string(300, 'f').c_str());
  EXPECT_EQ(std::strlen(table.GetFileName()), 255u);
}

TEST(TableObject, CursorPropertiesAndTheMakeCrackProperty) {
  TestTable table;
  uint16_t shortValue = 0;
  uint16_t len = 0;
  table.GetProp(0x00050000, &shortValue, sizeof shortValue, len);
  EXPECT_EQ(shortValue, 20);
  EXPECT_EQ(len, 2);
  table.GetProp(0x00050001, &shortValue, sizeof shortValue, len);
  EXPECT_EQ(len, 0);
  uint32_t count = 9;
  table.GetProp(0x00000005, &count, sizeof count, len);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(len, 4);
  EXPECT_EQ(ErrorCode([&] { table.GetProp(0x00000005, &shortValue, 2, len); }),
            DBIERR_INVALIDPARAM);
  EXPECT_EQ(ErrorCode([&] { table.GetProp(0x00000014, &count, 4, len); }), DBIERR_NOTSUPPORTED);
  table.OpenCursor();
  table.SetProp(0x12340014, 1);
  EXPECT_EQ(table.State(), TCursorState::AtCrack);
}

}  // namespace
}  // namespace vader
