#include <cstring>

#include "ConvFixture.h"

namespace vader::testing {
namespace {

struct Mapped {
  uint16_t type, subType;
  int16_t units;
  uint16_t engineSize;
  bool operator==(const Mapped&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Mapped& m) {
  return os << "{" << m.type << ", " << m.subType << ", " << m.units << ", " << m.engineSize << "}";
}

Mapped Map(uint16_t nativeType, uint16_t size) {
  Mapped m{};
  MapFieldType(nativeType, size, m.type, m.subType, m.units, m.engineSize);
  return m;
}

using TypeMapping = ConversionTest;

TEST_F(TypeMapping, TextTypesBecomeStringsOrMemos) {
  EXPECT_EQ(Map(BT_STRING, 255), (Mapped{fldZSTRING, 0, 255, 255}));
  EXPECT_EQ(Map(BT_STRING, 256), (Mapped{fldBLOB, fldstMEMO, 255, 256}));
  EXPECT_EQ(Map(BT_LSTRING, 10), (Mapped{fldZSTRING, 0, 9, 10}));
  EXPECT_EQ(Map(BT_ZSTRING, 1), (Mapped{fldBYTES, 0, 1, 1}));
  EXPECT_EQ(Map(BT_ZSTRING, 256), (Mapped{fldZSTRING, 0, 255, 256}));
  EXPECT_EQ(Map(BT_ZSTRING, 257), (Mapped{fldBLOB, fldstMEMO, 256, 257}));
  EXPECT_EQ(Map(BT_NOTE, 100), (Mapped{fldBLOB, fldstMEMO, 99, 100}));
}

TEST_F(TypeMapping, ZeroSizedTextIsARangeError) {
  for (uint16_t type : {BT_STRING, BT_LSTRING, BT_ZSTRING, BT_NOTE})
    EXPECT_THROW(Map(type, 0), ERangeError) << type;
  bool blank = false;
  char dest[8];
  EXPECT_THROW(ConvertNativeToLocal(BT_LSTRING, 0, 0, 0, dest, dest, blank), ERangeError);
}

TEST_F(TypeMapping, IntegersBySize) {
  EXPECT_EQ(Map(BT_INTEGER, 1), (Mapped{fldINT16, 0, 2, 1}));
  EXPECT_EQ(Map(BT_INTEGER, 8), (Mapped{fldINT64, 0, 8, 8}));
  EXPECT_EQ(Map(BT_INTEGER, 3), (Mapped{fldUNKNOWN, 0, 3, 3}));
  ConversionOptions().SmallIntAsByte = true;
  EXPECT_EQ(Map(BT_INTEGER, 1), (Mapped{fldUINT16, 0, 2, 1}));
}

TEST_F(TypeMapping, SizesOutsideTheTableAndExtendedCodes) {
  EXPECT_EQ(Map(BT_UNSIGNED_BINARY, 3), (Mapped{fldUNKNOWN, 0, 3, 3}));
  EXPECT_EQ(Map(BT_AUTOINCREMENT, 3), (Mapped{fldUNKNOWN, fldstAUTOINC, 3, 3}));
  EXPECT_EQ(Map(BT_UNSIGNED_BINARY, 1), (Mapped{fldUINT16, 0, 2, 1}));
  EXPECT_EQ(Map(BT_DATE, 4), (Mapped{fldDATE, 0, 4, 8}));
  EXPECT_EQ(Map(BT_EXT_YYYYMMDD, 8), (Mapped{fldDATE, 0, 8, 8}));
  EXPECT_EQ(Map(BT_EXT_VB_CURRENCY, 8), (Mapped{fldFLOAT, fldstMONEY, 8, 8}));
  EXPECT_EQ(Map(100, 7), (Mapped{fldUNKNOWN, 0, 7, 7}));
}

DictionaryField Entry(const char* name, uint8_t type, uint16_t offset, uint16_t size,
                      uint8_t decimals = 0) {
  DictionaryField entry{};
  std::memset(entry.Name, ' ', sizeof entry.Name);
  std::memcpy(entry.Name, name, std::min(std::strlen(name), sizeof entry.Name));
  entry.DataType = type;
  entry.Offset = offset;
  entry.Size = size;
  entry.Decimals = decimals;
  return entry;
}

using FieldDescriptors = ConversionTest;

TEST_F(FieldDescriptors, BuiltFromADictionaryEntry) {
  FieldDesc desc;
  std::memset(&desc, 0x77, sizeof desc);
  BuildFieldDesc(Entry("  Price", BT_DECIMAL, 12, 5, 2), 3, &desc);
  EXPECT_EQ(+desc.FieldNumber, 3);
  EXPECT_STREQ(desc.FieldName, "Price");
  EXPECT_EQ(+desc.FieldType, fldFLOAT);
  EXPECT_EQ(+desc.FieldUnits1, 5);
  EXPECT_EQ(+desc.FieldUnits2, 2);
  EXPECT_EQ(+desc.FieldOffset, 12);
  EXPECT_EQ(+desc.FieldLength, 5);
  EXPECT_EQ(+desc.ValCheckKind, 2u);
  EXPECT_EQ(+desc.FieldRights, 3u);
  EXPECT_EQ(+desc.NullOffset, 0);
  EXPECT_EQ(+desc.LocalType, 0);
  BuildFieldDesc(Entry("x", BT_STRING, 0, 1), 1, nullptr);  // ignored
}

TEST_F(FieldDescriptors, MemoSubtypeFollowsTheName) {
  FieldDesc desc;
  BuildFieldDesc(Entry("Picture111", BT_STRING, 0, 1000), 1, &desc);
  EXPECT_EQ(+desc.FieldType, fldBLOB);
  EXPECT_EQ(+desc.FieldSubType, fldstGRAPHIC);
  EXPECT_EQ(+desc.FieldUnits1, 0);
  BuildFieldDesc(Entry("Blob222", BT_STRING, 0, 1000), 1, &desc);
  EXPECT_EQ(+desc.FieldSubType, fldstBINARY);
  BuildFieldDesc(Entry("Both111222", BT_NOTE, 0, 1000), 1, &desc);
  EXPECT_EQ(+desc.FieldSubType, fldstGRAPHIC);
  BuildFieldDesc(Entry("Notes", BT_ZSTRING, 0, 1000), 1, &desc);
  EXPECT_EQ(+desc.FieldSubType, fldstMEMO);
  BuildFieldDesc(Entry("Code222", BT_STRING, 0, 10), 1, &desc);  // not a memo: name ignored
  EXPECT_EQ(+desc.FieldSubType, 0);
  EXPECT_EQ(+desc.FieldUnits1, 10);
}

using IndexDescriptors = ConversionTest;

FieldDesc FieldOfLength(uint16_t number, uint16_t length) {
  FieldDesc f{};
  f.FieldNumber = number;
  f.FieldLength = length;
  return f;
}

TEST_F(IndexDescriptors, SegmentsAccumulate) {
  IndexDesc index{};
  AddIndexSegment(index, {1, 10, 0, 0, kIndexFlagCaseInsensitive | 0x10}, FieldOfLength(4, 20), 0);
  AddIndexSegment(index, {1, 11, 0, 1, kIndexFlagDuplicates | kIndexFlagDescending},
                  FieldOfLength(2, 4), 1);
  EXPECT_EQ(+index.IndexId, 0);
  EXPECT_EQ(+index.Primary, kTrue16);
  EXPECT_EQ(+index.Maintained, kTrue16);
  EXPECT_EQ(+index.FieldsInKey, 2);
  EXPECT_EQ(+index.KeyFields[0], 4);
  EXPECT_EQ(+index.KeyFields[1], 2);
  EXPECT_EQ(+index.KeyLength, 24);
  uint16_t runningTotal = 0;
  std::memcpy(&runningTotal, index.Reserved6, 2);
  EXPECT_EQ(runningTotal, 24);
  EXPECT_EQ(+index.Unique, kTrue16);           // from the first segment only
  EXPECT_EQ(+index.CaseInsensitive, kTrue16);  // likewise
  EXPECT_EQ(+index.Descending, kTrue16);       // from segment number 1
}

TEST_F(IndexDescriptors, PublishedDictionaryCaseFlagCounts) {
  IndexDesc index{};
  AddIndexSegment(index, {1, 10, 1, 0, kDictionaryFlagCaseInsensitive}, FieldOfLength(1, 8), 0);
  EXPECT_EQ(+index.CaseInsensitive, kTrue16);
}

TEST_F(IndexDescriptors, SecondaryIndexWithDuplicates) {
  IndexDesc index{};
  AddIndexSegment(index, {1, 10, 2, 0, kIndexFlagDuplicates | kIndexFlagDescending},
                  FieldOfLength(1, 8), 0);
  EXPECT_EQ(+index.IndexId, 2);
  EXPECT_EQ(+index.Primary, kFalse16);
  EXPECT_EQ(+index.Unique, kFalse16);
  EXPECT_EQ(+index.CaseInsensitive, kFalse16);
  EXPECT_EQ(+index.Descending, kFalse16);  // segment number 0 does not set it
}

TEST_F(IndexDescriptors, SeventeenthSegmentIsARangeError) {
  IndexDesc index{};
  for (uint16_t i = 0; i < kMaxKeyFields; ++i)
    AddIndexSegment(index, {1, i, 0, i, 0}, FieldOfLength(i, 1), i);
  EXPECT_THROW(AddIndexSegment(index, {1, 99, 0, 16, 0}, FieldOfLength(99, 1), 16), ERangeError);
  EXPECT_EQ(+index.FieldsInKey, kMaxKeyFields);
  EXPECT_EQ(+index.KeyLength, 16);
}

}  // namespace
}  // namespace vader::testing
