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
// Exports that always fail, with the prototype the driver calls each kind through.
#define FAILING(name, ...) \
  EXPORT int16_t name(__VA_ARGS__) { return 1; }
#define FAILING_GET(name) FAILING(name, const void*, double*)
#define FAILING_SET(name) FAILING(name, void*, double)

EXPORT int16_t Get_YYYYMMDD(const void* source, double* value) {
  const char* src = static_cast<const char*>(source);
  int y = 0, m = 0, d = 0;
  if (std::sscanf(src, "%4d%2d%2d", &y, &m, &d) != 3) return 1;
  *value = DateTimeOf(y, m, d);
  return 0;
}

EXPORT int16_t Set_YYYYMMDD(void* target, double value) {
  char* dest = static_cast<char*>(target);
  int y = 0, m = 0, d = 0;
  DateOf(value, y, m, d);
  char text[16];
  std::snprintf(text, sizeof text, "%04d%02d%02d", y, m, d);
  std::memcpy(dest, text, 8);
  return 0;
}

EXPORT int16_t Get_BtrieveDate(const void* source, double* value) {
  const uint8_t* src = static_cast<const uint8_t*>(source);
  *value = DateTimeOf(src[2] | src[3] << 8, src[1], src[0]);
  return 0;
}

EXPORT int16_t Set_BtrieveDate(void* target, double value) {
  uint8_t* dest = static_cast<uint8_t*>(target);
  int y = 0, m = 0, d = 0;
  DateOf(value, y, m, d);
  dest[0] = static_cast<uint8_t>(d);
  dest[1] = static_cast<uint8_t>(m);
  dest[2] = static_cast<uint8_t>(y);
  dest[3] = static_cast<uint8_t>(y >> 8);
  return 0;
}

EXPORT int16_t Get_BtrieveTime(const void* source, double* value) {
  const uint8_t* src = static_cast<const uint8_t*>(source);
  *value = (src[3] * 3600.0 + src[2] * 60.0 + src[1] + src[0] / 100.0) / 86400.0;
  return 0;
}

EXPORT int16_t Set_BtrieveTime(void* target, double value) {
  uint8_t* dest = static_cast<uint8_t*>(target);
  const long hundredths = std::lround(value * 8640000.0);
  dest[0] = static_cast<uint8_t>(hundredths % 100);
  dest[1] = static_cast<uint8_t>(hundredths / 100 % 60);
  dest[2] = static_cast<uint8_t>(hundredths / 6000 % 60);
  dest[3] = static_cast<uint8_t>(hundredths / 360000);
  return 0;
}

#ifndef FAKE_WITHOUT_VBCURRENCY
EXPORT int16_t Get_VBCurrency(const void* src, double* value) {
  int64_t units = 0;
  std::memcpy(&units, src, sizeof units);
  *value = static_cast<double>(units) / 10000.0;
  return 0;
}
#endif

EXPORT int16_t Set_VBCurrency(void* dest, double value) {
  const int64_t units = std::llround(value * 10000.0);
  std::memcpy(dest, &units, sizeof units);
  return 0;
}

FAILING_GET(Get_LongYMD)
FAILING_SET(Set_LongDate)
FAILING(Get_Binary, const void*, int32_t, int32_t, double*, int32_t, int32_t)
FAILING(Set_Binary, void*, int32_t, int32_t, double, int32_t, int32_t)
FAILING(Get_MagicDate, const void*, double*, int32_t)
FAILING(Set_MagicDate, void*, double, int32_t)
FAILING_GET(Get_Ctime)
FAILING_SET(Set_Ctime)
FAILING(Get_MagicNum100, const void*, int32_t, double*)
FAILING(Set_MagicNum100, void*, int32_t, double)
FAILING_GET(Get_TasProTime)
FAILING_SET(Set_TasProTime)
FAILING(Get_TasProNum, const void*, int32_t, int32_t, double*)
FAILING(Set_TasProNum, void*, int32_t, int32_t, double)
FAILING_GET(Get_MagicTime)
FAILING_SET(Set_MagicTime)
FAILING_GET(Get_YMD)
FAILING_SET(Set_YMD)
FAILING_GET(Get_YYMMDD)
FAILING_SET(Set_YYMMDD)
FAILING_GET(Get_TasProDate)
FAILING_SET(Set_TasProDate)
FAILING(Get_UDecimal, const void*, int32_t, int32_t, double*)
FAILING(Set_UDecimal, void*, int32_t, int32_t, double)
