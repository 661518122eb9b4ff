// A stand-in for the external conversion library with two formats: YYYYMMDD dates as eight
// ASCII digits, and VB currency as a 64-bit integer of ten-thousandths. The native DATE and TIME
// exports convert as the record manager stores them. Every other export fails with status 1.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

// Days from 30 December 1899 to a calendar date (proleptic Gregorian).
double DateTimeOf(int y, int m, int d) {
  y -= m <= 2;
  const long era = (y >= 0 ? y : y - 399) / 400;
  const long yoe = y - era * 400;
  const long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return static_cast<double>(era * 146097 + doe - 719468 + 25569);
}

void DateOf(double dateTime, int& y, int& m, int& d) {
  const long z = static_cast<long>(std::floor(dateTime)) - 25569 + 719468;
  const long era = (z >= 0 ? z : z - 146096) / 146097;
  const long doe = z - era * 146097;
  const long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

}  // namespace

#define EXPORT extern "C" __attribute__((visibility("default")))
#define FAILING(name) \
  EXPORT int16_t name() { return 1; }

EXPORT int16_t Get_YYYYMMDD(const char* src, double* value) {
  int y = 0, m = 0, d = 0;
  if (std::sscanf(src, "%4d%2d%2d", &y, &m, &d) != 3) return 1;
  *value = DateTimeOf(y, m, d);
  return 0;
}

EXPORT int16_t Set_YYYYMMDD(char* dest, double value) {
  int y = 0, m = 0, d = 0;
  DateOf(value, y, m, d);
  char text[16];
  std::snprintf(text, sizeof text, "%04d%02d%02d", y, m, d);
  std::memcpy(dest, text, 8);
  return 0;
}

EXPORT int16_t Get_BtrieveDate(const uint8_t* src, double* value) {
  *value = DateTimeOf(src[2] | src[3] << 8, src[1], src[0]);
  return 0;
}

EXPORT int16_t Set_BtrieveDate(uint8_t* dest, double value) {
  int y = 0, m = 0, d = 0;
  DateOf(value, y, m, d);
  dest[0] = static_cast<uint8_t>(d);
  dest[1] = static_cast<uint8_t>(m);
  dest[2] = static_cast<uint8_t>(y);
  dest[3] = static_cast<uint8_t>(y >> 8);
  return 0;
}

EXPORT int16_t Get_BtrieveTime(const uint8_t* src, double* value) {
  *value = (src[3] * 3600.0 + src[2] * 60.0 + src[1] + src[0] / 100.0) / 86400.0;
  return 0;
}

EXPORT int16_t Set_BtrieveTime(uint8_t* dest, double value) {
  const long hundredths = std::lround(value * 8640000.0);
  dest[0] = static_cast<uint8_t>(hundredths % 100);
  dest[1] = static_cast<uint8_t>(hundredths / 100 % 60);
  dest[2] = static_cast<uint8_t>(hundredths / 6000 % 60);
  dest[3] = static_cast<uint8_t>(hundredths / 360000);
  return 0;
}

#ifndef FAKE_WITHOUT_VBCURRENCY
EXPORT int16_t Get_VBCurrency(const int64_t* src, double* value) {
  *value = static_cast<double>(*src) / 10000.0;
  return 0;
}
#endif

EXPORT int16_t Set_VBCurrency(int64_t* dest, double value) {
  *dest = std::llround(value * 10000.0);
  return 0;
}

FAILING(Get_LongYMD)
FAILING(Set_LongDate)
FAILING(Get_Binary)
FAILING(Set_Binary)
FAILING(Get_MagicDate)
FAILING(Set_MagicDate)
FAILING(Get_Ctime)
FAILING(Set_Ctime)
FAILING(Get_MagicNum100)
FAILING(Set_MagicNum100)
FAILING(Get_TasProTime)
FAILING(Set_TasProTime)
FAILING(Get_TasProNum)
FAILING(Set_TasProNum)
FAILING(Get_MagicTime)
FAILING(Set_MagicTime)
FAILING(Get_YMD)
FAILING(Set_YMD)
FAILING(Get_YYMMDD)
FAILING(Set_YYMMDD)
FAILING(Get_TasProDate)
FAILING(Set_TasProDate)
FAILING(Get_UDecimal)
FAILING(Set_UDecimal)
