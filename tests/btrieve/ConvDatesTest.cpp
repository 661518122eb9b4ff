#include "ConvFixture.h"

namespace vader::testing {
namespace {

using DateFields = ConversionTest;

TEST_F(DateFields, DayNumbersCountFromTheFirstOfJanuaryOfYearOne) {
  EXPECT_EQ(DayNumber(1, 1, 1), 1);
  EXPECT_EQ(DayNumber(1899, 12, 30), 693594);
  EXPECT_EQ(DayNumber(1994, 6, 15), 728094);
  EXPECT_EQ(DayNumber(9999, 12, 31), 3652059);
  for (int32_t n : {1, 59, 60, 693594, 730179, 3652059}) {
    int y = 0, m = 0, d = 0;
    DecodeDayNumber(n, y, m, d);
    EXPECT_EQ(DayNumber(y, m, d), n);
  }
}

TEST_F(DateFields, NativeLayout) {
  EXPECT_EQ(Decode(BT_DATE, {15, 6, 0xCA, 0x07}).As<int32_t>(), DayNumber(1994, 6, 15));
  EXPECT_EQ(Encode<int32_t>(BT_DATE, 4, DayNumber(1994, 6, 15)), Bytes({15, 6, 0xCA, 0x07}));
  const Decoded zero = Decode(BT_DATE, {0, 0, 0, 0});
  EXPECT_TRUE(zero.blank);
  EXPECT_TRUE(zero.Untouched(4));
  EXPECT_EQ(Decode(BT_DATE, {0, 6, 0xCA, 0x07}).As<int32_t>(), 0);
  EXPECT_EQ(Decode(BT_DATE, {15, 6, 0, 0}).As<int32_t>(), 0);
}

TEST_F(DateFields, ImpossibleDateIsAConversionError) {
  EXPECT_THROW(Decode(BT_DATE, {30, 2, 0xD0, 0x07}), EConvertError);
  EXPECT_THROW(Decode(BT_DATE, {1, 13, 0xD0, 0x07}), EConvertError);
  EXPECT_NO_THROW(Decode(BT_DATE, {29, 2, 0xD0, 0x07}));  // 2000 is a leap year
}

TEST_F(DateFields, RoundTripAcrossTheCalendar) {
  for (int32_t n = 1; n <= 3652059; n += 997) EXPECT_EQ(RoundTrip(BT_DATE, 4, n), n) << n;
  EXPECT_EQ(RoundTrip(BT_DATE, 4, DayNumber(9999, 12, 31)), DayNumber(9999, 12, 31));
  EXPECT_EQ(Encode<int32_t>(BT_DATE, 4, 0), Bytes(4, 0));
  Bytes field;
  EXPECT_CONVERSION_ERROR(field = Encode<int32_t>(BT_DATE, 4, DayNumber(9999, 12, 31) + 1));
}

using TimeFields = ConversionTest;

TEST_F(TimeFields, NativeLayout) {
  EXPECT_EQ(Decode(BT_TIME, {50, 30, 15, 10}).As<int32_t>(), 36'930'500);
  EXPECT_EQ(Encode<int32_t>(BT_TIME, 4, 36'930'500), Bytes({50, 30, 15, 10}));
  EXPECT_EQ(Encode<int32_t>(BT_TIME, 4, 36'930'509), Bytes({50, 30, 15, 10}));
  EXPECT_TRUE(Decode(BT_TIME, Bytes(4, 0)).blank);
  EXPECT_EQ(Decode(BT_TIME, {0, 60, 0, 0}).As<int32_t>(), 0);
  EXPECT_EQ(Decode(BT_TIME, {0, 0, 0, 24}).As<int32_t>(), 0);
}

TEST_F(TimeFields, RoundTripAndOutOfRange) {
  for (int32_t ms = 10; ms < 86'400'000; ms += 999'990) EXPECT_EQ(RoundTrip(BT_TIME, 4, ms), ms);
  EXPECT_EQ(RoundTrip(BT_TIME, 4, 86'399'990), 86'399'990);
  Bytes field;
  EXPECT_CONVERSION_ERROR(field = Encode<int32_t>(BT_TIME, 4, 86'400'000));
  EXPECT_CONVERSION_ERROR(field = Encode<int32_t>(BT_TIME, 4, -1));
}

using TimestampFields = ConversionTest;

TEST_F(TimestampFields, TicksInUniversalTime) {
  // 1 January 2000 00:00 is 630 822 816 000 000 000 ticks after 1 January 0001.
  const uint64_t y2k = 630'822'816'000'000'000ull;
  EXPECT_EQ(Encode(BT_TIMESTAMP, 8, Timestamp(2000, 1, 1)), Encode(BT_UNSIGNED_BINARY, 8, y2k));
  SetTimeZoneBias(60);  // an hour behind universal time
  EXPECT_EQ(Encode(BT_TIMESTAMP, 8, Timestamp(2000, 1, 1)),
            Encode(BT_UNSIGNED_BINARY, 8, y2k + 36'000'000'000ull));
  EXPECT_EQ(
      Decode(BT_TIMESTAMP, Encode(BT_UNSIGNED_BINARY, 8, y2k + 36'000'000'000ull)).As<double>(),
      Timestamp(2000, 1, 1));
}

TEST_F(TimestampFields, RoundTripWithABias) {
  SetTimeZoneBias(-120);
  for (double ts : {Timestamp(1, 1, 2, 3'600'000), Timestamp(1994, 6, 15, 36'930'500),
                    Timestamp(9999, 12, 31, 86'399'999)})
    EXPECT_EQ(RoundTrip(BT_TIMESTAMP, 8, ts), ts);
  SetTimeZoneBias(0);
  EXPECT_EQ(RoundTrip(BT_TIMESTAMP, 8, Timestamp(1, 1, 2, 1)), Timestamp(1, 1, 2, 1));
  // Inside the first day of year 1 the day count is not positive: no timestamp.
  EXPECT_EQ(RoundTrip(BT_TIMESTAMP, 8, Timestamp(1, 1, 1, 1)), 0.0);
  EXPECT_EQ(Decode(BT_TIMESTAMP, Encode<uint64_t>(BT_UNSIGNED_BINARY, 8, 863'999'999'999ull))
                .As<double>(),
            0.0);
}

TEST_F(TimestampFields, ZeroIsBlankAndEarlyTicksReadAsZero) {
  EXPECT_TRUE(Decode(BT_TIMESTAMP, Bytes(8, 0)).blank);
  SetTimeZoneBias(60);
  EXPECT_EQ(Decode(BT_TIMESTAMP, Encode<uint64_t>(BT_UNSIGNED_BINARY, 8, 10'000)).As<double>(),
            0.0);
  Bytes field;
  EXPECT_CONVERSION_ERROR(field = Encode(BT_TIMESTAMP, 8, -1.0));
}

using DateTimeDoubleFields = ConversionTest;

TEST_F(DateTimeDoubleFields, DaysFromTheEndOf1899) {
  EXPECT_EQ(Encode(BT_EXT_DATETIME, 8, Timestamp(1899, 12, 30, 43'200'000)),
            Encode(BT_FLOAT, 8, 0.5));
  // Before the epoch the fraction counts backwards from the day.
  EXPECT_EQ(Encode(BT_EXT_DATETIME, 8, Timestamp(1899, 12, 29, 21'600'000)),
            Encode(BT_FLOAT, 8, -1.25));
  for (double ts :
       {Timestamp(1899, 12, 29, 21'600'000), Timestamp(2024, 2, 29, 1000), Timestamp(1, 1, 1, 5)})
    EXPECT_EQ(RoundTrip(BT_EXT_DATETIME, 8, ts), ts);
  EXPECT_TRUE(Decode(BT_EXT_DATETIME, Bytes(8, 0)).blank);
}

}  // namespace
}  // namespace vader::testing
