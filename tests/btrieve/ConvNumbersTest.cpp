#include <cfloat>
#include <cmath>
#include <limits>

#include "ConvFixture.h"

namespace vader::testing {
namespace {

using TextFields = ConversionTest;

TEST_F(TextFields, StringCutsAndPadsWithSpaces) {
  EXPECT_EQ(Decode(BT_STRING, B("AB  ")).Text(), "AB");
  EXPECT_EQ(Decode(BT_STRING, B(std::string("AB\0X", 4))).Text(), "AB");
  EXPECT_EQ(Decode(BT_STRING, B("ABCD")).Text(), "ABCD");
  EXPECT_EQ(EncodeText(BT_STRING, 4, "AB"), B("AB  "));
  ConversionOptions().StringPaddedSpaces = false;
  EXPECT_EQ(EncodeText(BT_STRING, 4, "AB"), B(std::string("AB\0\0", 4)));
  EXPECT_EQ(EncodeText(BT_STRING, 4, "ABCDEF"), B("ABCD"));
}

TEST_F(TextFields, AllZeroTextIsBlankAndLeavesTheValue) {
  for (uint16_t type : {BT_STRING, BT_LSTRING, BT_ZSTRING}) {
    const Decoded d = Decode(type, Bytes(6, 0));
    EXPECT_TRUE(d.blank) << type;
    EXPECT_TRUE(d.Untouched(8)) << type;
  }
}

TEST_F(TextFields, LStringIsCountedAndBounded) {
  EXPECT_EQ(Decode(BT_LSTRING, {3, 'a', 'b', 'c', 'z'}).Text(), "abc");
  EXPECT_EQ(Decode(BT_LSTRING, {200, 'a', 'b', 'c', 'd'}).Text(), "abcd");
  EXPECT_EQ(EncodeText(BT_LSTRING, 6, "hello world"), Bytes({5, 'h', 'e', 'l', 'l', 'o'}));
  // Nothing of the previous value is left after the text, the last byte included.
  EXPECT_EQ(EncodeText(BT_LSTRING, 6, "hi"), Bytes({2, 'h', 'i', 0, 0, 0}));
}

TEST_F(TextFields, ZStringAndNoteEndAtNul) {
  EXPECT_EQ(Decode(BT_ZSTRING, B("abcd")).Text(), "abc");
  const Bytes written = EncodeText(BT_ZSTRING, 4, "abcdef");
  EXPECT_EQ(written, B(std::string("abc\0", 4)));
  const Decoded note = Decode(BT_NOTE, B(std::string(300, 'n')));
  EXPECT_FALSE(note.blank);
  EXPECT_EQ(note.Text(), std::string(254, 'n'));
  const Decoded blankNote = Decode(BT_NOTE, Bytes(10, 0));
  EXPECT_TRUE(blankNote.blank);
  EXPECT_EQ(blankNote.Text(), "");
}

TEST_F(TextFields, NoteCannotBeWritten) {
  Bytes field;
  EXPECT_CONVERSION_ERROR(field = EncodeText(BT_NOTE, 4, "abc"));
  ConversionOptions().Write = true;
  EXPECT_EQ(EncodeText(BT_NOTE, 4, "abc"), Bytes(4, 0));
}

TEST_F(TextFields, LVarIsCopied) {
  const Bytes raw = {0, 1, 2, 0, 0xFF};
  const Decoded d = Decode(BT_LVAR, raw);
  EXPECT_EQ(Bytes(d.value.begin(), d.value.begin() + 5), raw);
  EXPECT_EQ(EncodeRaw(BT_LVAR, 5, raw.data()), raw);
}

using IntegerFields = ConversionTest;

TEST_F(IntegerFields, ZeroIsBlankUnlessShownAsZero) {
  const Decoded zero = Decode(BT_INTEGER, {0, 0});
  EXPECT_TRUE(zero.blank);
  EXPECT_TRUE(zero.Untouched(2));
  EXPECT_TRUE(Decode(BT_AUTOINCREMENT, {0, 0, 0, 0}).blank);
  ConversionOptions().IntegersShowAsZero = true;
  const Decoded shown = Decode(BT_INTEGER, {0, 0});
  EXPECT_FALSE(shown.blank);
  EXPECT_EQ(shown.As<int16_t>(), 0);
}

TEST_F(IntegerFields, SingleByteSignedOrUnsigned) {
  EXPECT_EQ(Decode(BT_INTEGER, {0xFF}).As<int16_t>(), -1);
  ConversionOptions().SmallIntAsByte = true;
  EXPECT_EQ(Decode(BT_INTEGER, {0xFF}).As<uint16_t>(), 255);
  EXPECT_EQ(Encode<int16_t>(BT_INTEGER, 1, 0x1234), Bytes({0x34}));
}

TEST_F(IntegerFields, RoundTripAtTheLimits) {
  ConversionOptions().IntegersShowAsZero = true;
  for (int16_t v : {int16_t{-32768}, int16_t{-1}, int16_t{0}, int16_t{1}, int16_t{32767}})
    EXPECT_EQ(RoundTrip(BT_INTEGER, 2, v), v);
  for (int32_t v : {INT32_MIN, -70000, 0, 70000, INT32_MAX})
    EXPECT_EQ(RoundTrip(BT_AUTOINCREMENT, 4, v), v);
  for (int64_t v : {INT64_MIN, int64_t{-5}, int64_t{1} << 40, INT64_MAX})
    EXPECT_EQ(RoundTrip(BT_INTEGER, 8, v), v);
  for (int16_t v : {int16_t{-128}, int16_t{0}, int16_t{127}})
    EXPECT_EQ(RoundTrip(BT_INTEGER, 1, v), v);
}

TEST_F(IntegerFields, OddSizesAreBadValues) {
  Decoded d;
  EXPECT_CONVERSION_ERROR(d = Decode(BT_INTEGER, {1, 2, 3}));
  Bytes field;
  EXPECT_CONVERSION_ERROR(field = Encode<int32_t>(BT_INTEGER, 3, 7));
  ConversionOptions().Read = true;
  ConversionOptions().Write = true;
  d = Decode(BT_INTEGER, {1, 2, 3});
  EXPECT_EQ(d.value[0] | d.value[1] | d.value[2], 0);
  EXPECT_EQ(d.value[3], 0x5A);
  EXPECT_EQ(Encode<int32_t>(BT_INTEGER, 3, 7), Bytes(3, 0));
}

TEST_F(IntegerFields, UnsignedBinaryIsNeverBlank) {
  EXPECT_FALSE(Decode(BT_UNSIGNED_BINARY, {0, 0}).blank);
  EXPECT_EQ(Decode(BT_UNSIGNED_BINARY, {0xFF}).As<uint16_t>(), 255);
  EXPECT_EQ(RoundTrip<uint16_t>(BT_UNSIGNED_BINARY, 2, 65535), 65535);
  EXPECT_EQ(RoundTrip<uint32_t>(BT_UNSIGNED_BINARY, 4, UINT32_MAX), UINT32_MAX);
  EXPECT_EQ(RoundTrip<uint64_t>(BT_UNSIGNED_BINARY, 8, UINT64_MAX), UINT64_MAX);
  const Bytes six = {1, 2, 3, 4, 5, 6};
  EXPECT_EQ(EncodeRaw(BT_UNSIGNED_BINARY, 6, six.data()), six);
  Bytes field;
  EXPECT_CONVERSION_ERROR(field = Encode<uint32_t>(BT_UNSIGNED_BINARY, 3, 1));
}

using TruthFields = ConversionTest;

TEST_F(TruthFields, LogicalIsTrueWhenAnyByteIsSet) {
  EXPECT_EQ(Decode(BT_LOGICAL, {0x00, 0x01}).As<int16_t>(), -1);
  const Decoded no = Decode(BT_LOGICAL, {0, 0});
  EXPECT_FALSE(no.blank);
  EXPECT_EQ(no.As<int16_t>(), 0);
  EXPECT_EQ(Encode<int16_t>(BT_LOGICAL, 4, -1), Bytes({1, 0, 0, 0}));
  EXPECT_EQ(Encode<int16_t>(BT_LOGICAL, 2, 0), Bytes({0, 0}));
  Bytes field;
  EXPECT_CONVERSION_ERROR(field = Encode<int16_t>(BT_LOGICAL, 3, -1));
}

TEST_F(TruthFields, BitUsesTheMaskAndKeepsOtherBits) {
  EXPECT_EQ(Decode(BT_BIT, {0x04}, 0x04).As<int16_t>(), -1);
  EXPECT_EQ(Decode(BT_BIT, {0x03}, 0x04).As<int16_t>(), 0);
  int16_t one = -1, zero = 0;
  Bytes field = {0x81};
  ConvertLocalToNative(BT_BIT, 1, 0x04, 0, &one, field.data());
  EXPECT_EQ(field[0], 0x85);
  ConvertLocalToNative(BT_BIT, 1, 0x80, 0, &zero, field.data());
  EXPECT_EQ(field[0], 0x05);
}

TEST_F(TruthFields, WithoutDestinationOnlyAnswerNotBlank) {
  bool blank = true;
  const uint8_t byte = 1;
  ConvertNativeToLocal(BT_LOGICAL, 1, 0, 0, &byte, nullptr, blank);
  EXPECT_FALSE(blank);
  blank = true;
  ConvertNativeToLocal(BT_BIT, 1, 1, 0, &byte, nullptr, blank);
  EXPECT_FALSE(blank);
  try {
    ConvertNativeToLocal(BT_INTEGER, 1, 0, 0, &byte, nullptr, blank);
    FAIL();
  } catch (const EVaderEngineError& e) {
    EXPECT_EQ(e.Code(), DBIERR_INVALIDPARAM);
  }
}

using FloatFields = ConversionTest;

TEST_F(FloatFields, SingleIsRoundedToSevenDigits) {
  EXPECT_EQ(RoundTrip(BT_FLOAT, 4, 1.5), 1.5);
  EXPECT_EQ(Decode(BT_FLOAT, Encode(BT_FLOAT, 4, 0.1)).As<double>(), static_cast<double>(0.1f));
  EXPECT_EQ(Decode(BT_FLOAT, Encode(BT_FLOAT, 4, 1.23456789)).As<double>(),
            static_cast<double>(1.234568f));
  Bytes field;
  EXPECT_CONVERSION_ERROR(field = Encode(BT_FLOAT, 4, 1e39));
}

TEST_F(FloatFields, DoubleAndExtendedRoundTrip) {
  for (double v : {0.0, -0.0, 0.1, -123456.789, 1e300, -1e-300, DBL_MAX, DBL_MIN / 4}) {
    EXPECT_EQ(RoundTrip(BT_FLOAT, 8, v), v);
    const double back = RoundTrip(BT_FLOAT, 10, v);
    EXPECT_EQ(back, v);
    EXPECT_EQ(std::signbit(back), std::signbit(v));
  }
}

TEST_F(FloatFields, ExtendedLayout) {
  EXPECT_EQ(Encode(BT_FLOAT, 10, 1.0), Bytes({0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F}));
  EXPECT_EQ(Encode(BT_FLOAT, 10, -2.0), Bytes({0, 0, 0, 0, 0, 0, 0, 0x80, 0x00, 0xC0}));
  EXPECT_EQ(Decode(BT_FLOAT, {0, 0, 0, 0, 0, 0, 0, 0xC0, 0xFF, 0x3F}).As<double>(), 1.5);
}

TEST_F(FloatFields, OtherSizesAreBadValues) {
  Decoded d;
  EXPECT_CONVERSION_ERROR(d = Decode(BT_FLOAT, Bytes(6, 1)));
  ConversionOptions().Read = true;
  d = Decode(BT_FLOAT, Bytes(6, 1));
  for (int i = 0; i < 6; ++i) EXPECT_EQ(d.value[i], 0);
  d = Decode(BT_FLOAT, Bytes(40, 1));  // never more than the engine value is cleared
  EXPECT_EQ(d.As<double>(), 0.0);
  EXPECT_EQ(d.value[8], 0x5A);
}

TEST_F(FloatFields, MicrosoftBinaryFormatSingle) {
  EXPECT_EQ(Encode(BT_BFLOAT, 4, 1.0), Bytes({0, 0, 0, 0x81}));
  EXPECT_EQ(Encode(BT_BFLOAT, 4, -1.0), Bytes({0, 0, 0x80, 0x81}));
  EXPECT_EQ(Encode(BT_BFLOAT, 4, 0.5), Bytes({0, 0, 0, 0x80}));
  EXPECT_EQ(Decode(BT_BFLOAT, {0, 0, 0x20, 0x82}).As<double>(), 2.5);
  EXPECT_EQ(Decode(BT_BFLOAT, {0, 0, 0, 0}).As<double>(), 0.0);
  for (double v : {3.25, -1024.5, 0x1p-100, 0x1p126}) EXPECT_EQ(RoundTrip(BT_BFLOAT, 4, v), v);
  // A negative zero has no sign in the format; it is written as zero.
  EXPECT_EQ(Encode(BT_BFLOAT, 4, -0.0), Bytes(4, 0));
  EXPECT_THROW(Encode(BT_BFLOAT, 4, 3e38), ERangeError);
  EXPECT_THROW(Decode(BT_BFLOAT, {0, 0, 0, 1}), ERangeError);
}

TEST_F(FloatFields, MicrosoftBinaryFormatDouble) {
  EXPECT_EQ(Encode(BT_BFLOAT, 8, 1.0), Bytes({0, 0, 0, 0, 0, 0, 0, 0x81}));
  EXPECT_EQ(Encode(BT_BFLOAT, 8, -1.0), Bytes({0, 0, 0, 0, 0, 0, 0x80, 0x81}));
  EXPECT_EQ(Encode(BT_BFLOAT, 8, 0.0), Bytes(8, 0));
  for (double v : {0.1, -3.141592653589793, 1e30, 1.7e38}) {
    const double back = RoundTrip(BT_BFLOAT, 8, v);
    EXPECT_NEAR(back, v, std::fabs(v) * 4e-15);
  }
  EXPECT_EQ(RoundTrip(BT_BFLOAT, 8, 1e-300), 0.0);  // below the format's range
  EXPECT_THROW(Encode(BT_BFLOAT, 8, 1e300), ERangeError);
}

using PackedDecimalFields = ConversionTest;

TEST_F(PackedDecimalFields, Layout) {
  EXPECT_EQ(Decode(BT_DECIMAL, {0x01, 0x23, 0x4D}, 2).As<double>(), -12.34);
  EXPECT_EQ(Encode(BT_DECIMAL, 3, 12.34, 2), Bytes({0x01, 0x23, 0x4F}));
  EXPECT_EQ(Encode(BT_DECIMAL, 3, -12.34, 2), Bytes({0x01, 0x23, 0x4D}));
  EXPECT_EQ(Encode(BT_MONEY, 3, 12.34, 0), Bytes({0x01, 0x23, 0x4F}));  // always 2 decimals
  EXPECT_EQ(Decode(BT_MONEY, {0x01, 0x23, 0x4C}, 0).As<double>(), 12.34);
  EXPECT_EQ(Decode(BT_DECIMAL, {0x5F}, 2).As<double>(), 0.05);
}

TEST_F(PackedDecimalFields, ZeroAndNegativeZero) {
  const Decoded zero = Decode(BT_DECIMAL, {0, 0, 0}, 2);
  EXPECT_FALSE(zero.blank);
  EXPECT_EQ(zero.As<double>(), 0.0);
  EXPECT_EQ(Decode(BT_DECIMAL, {0x00, 0x0D}, 0).As<double>(), 0.0);
  EXPECT_EQ(Encode(BT_DECIMAL, 2, -0.0, 0), Bytes({0x00, 0x0F}));
}

TEST_F(PackedDecimalFields, LargestValueOfASizeAndOverflow) {
  EXPECT_EQ(RoundTrip(BT_DECIMAL, 3, 99999.0), 99999.0);
  EXPECT_EQ(RoundTrip(BT_DECIMAL, 3, -999.99, 2), -999.99);
  EXPECT_EQ(RoundTrip(BT_DECIMAL, 8, 999999999999999.0), 999999999999999.0);
  EXPECT_THROW(Encode(BT_DECIMAL, 3, 100000.0), ERangeError);
  EXPECT_THROW(Encode(BT_DECIMAL, 3, 1000.0, 2), ERangeError);
}

TEST_F(PackedDecimalFields, RoundTripOverARange) {
  for (int i = -99999; i <= 99999; i += 997) {
    const double v = i / 100.0;
    EXPECT_EQ(RoundTrip(BT_DECIMAL, 3, v, 2), v) << v;
  }
}

TEST_F(PackedDecimalFields, BadNibbleIsABadRead) {
  Decoded d;
  EXPECT_CONVERSION_ERROR(d = Decode(BT_DECIMAL, {0xA1, 0x2F}, 0));
  ConversionOptions().Read = true;
  EXPECT_EQ(Decode(BT_DECIMAL, {0xA1, 0x2F}, 0).As<double>(), 0.0);
}

using ZonedFields = ConversionTest;

TEST_F(ZonedFields, NumericOverpunch) {
  EXPECT_EQ(Decode(BT_NUMERIC, B("012J")).As<double>(), -121.0);
  EXPECT_EQ(Decode(BT_NUMERIC, B("012{")).As<double>(), 120.0);
  EXPECT_EQ(Decode(BT_NUMERIC, B("012C")).As<double>(), 123.0);
  EXPECT_EQ(Decode(BT_NUMERIC, B("1234")).As<double>(), 1234.0);
  EXPECT_EQ(Decode(BT_NUMERIC, B(" 12R"), 1).As<double>(), -12.9);
  EXPECT_EQ(Encode(BT_NUMERIC, 4, -120.0), B("012}"));
  EXPECT_EQ(Encode(BT_NUMERIC, 4, 120.0), B("0120"));
  EXPECT_EQ(Encode(BT_NUMERIC, 4, 121.0), B("012A"));
  EXPECT_EQ(Encode(BT_NUMERIC, 4, -129.0), B("012R"));
  EXPECT_EQ(Encode(BT_EXT_NUMERIC, 4, -1.5, 1), B("001N"));
}

TEST_F(ZonedFields, TrailingSignAndSignedAscii) {
  EXPECT_EQ(Decode(BT_NUMERICSTS, B("1234-"), 2).As<double>(), -12.34);
  EXPECT_EQ(Decode(BT_NUMERICSTS, B("1234+"), 2).As<double>(), 12.34);
  EXPECT_EQ(Encode(BT_NUMERICSTS, 5, 12.34, 2), B("1234+"));
  EXPECT_EQ(Encode(BT_NUMERICSTS, 5, -0.5, 2), B("0050-"));
  EXPECT_EQ(Decode(BT_NUMERICSA, B("12p")).As<double>(), -120.0);
  EXPECT_EQ(Decode(BT_NUMERICSA, B("123")).As<double>(), 123.0);
  EXPECT_EQ(Encode(BT_NUMERICSA, 4, -123.0), B("012s"));
  EXPECT_EQ(Encode(BT_NUMERICSA, 4, 123.0), B("0123"));
}

TEST_F(ZonedFields, RoundTripOverARange) {
  for (int i = -9999; i <= 9999; i += 101) {
    const double v = i / 100.0;
    EXPECT_EQ(RoundTrip(BT_NUMERIC, 4, v, 2), v) << v;
    EXPECT_EQ(RoundTrip(BT_NUMERICSTS, 5, v, 2), v) << v;
    EXPECT_EQ(RoundTrip(BT_NUMERICSA, 4, v, 2), v) << v;
  }
}

TEST_F(ZonedFields, Overflow) {
  EXPECT_THROW(Encode(BT_NUMERICSTS, 3, 123.0), ERangeError);
  EXPECT_THROW(Encode(BT_NUMERICSA, 2, -123.0), ERangeError);
  Bytes field;
  EXPECT_CONVERSION_ERROR(field = Encode(BT_NUMERIC, 2, 123.0));
  ConversionOptions().Write = true;
  EXPECT_EQ(Encode(BT_NUMERIC, 2, 123.0), Bytes(2, 0));
}

TEST_F(ZonedFields, CharactersThatAreNotDigitsAreBadReads) {
  Decoded d;
  EXPECT_CONVERSION_ERROR(d = Decode(BT_NUMERIC, B("12X4")));
  EXPECT_CONVERSION_ERROR(d = Decode(BT_NUMERIC, B("123Z")));
  EXPECT_CONVERSION_ERROR(d = Decode(BT_NUMERICSTS, B("-")));
  EXPECT_EQ(Decode(BT_NUMERIC, Bytes(4, 0)).As<double>(), 0.0);
}

using CurrencyFields = ConversionTest;

TEST_F(CurrencyFields, TenThousandths) {
  EXPECT_EQ(Encode(BT_CURRENCY, 8, 1.5), Bytes({0x98, 0x3A, 0, 0, 0, 0, 0, 0}));
  for (double v : {12.3456, -0.0001, 12345678.9012}) EXPECT_EQ(RoundTrip(BT_CURRENCY, 8, v), v);
  EXPECT_TRUE(Decode(BT_CURRENCY, Bytes(8, 0)).blank);
  Bytes field;
  EXPECT_CONVERSION_ERROR(field = Encode(BT_CURRENCY, 8, 1e20));
}

}  // namespace
}  // namespace vader::testing
