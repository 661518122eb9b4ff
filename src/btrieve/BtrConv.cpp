#include "btrieve/BtrConv.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <mutex>

#include "btrieve/BtrConst.h"
#include "btrieve/BtrErrs.h"
#include "engine/BseUtils.h"
#include "framework/Dialogs.h"
#include "framework/Forms.h"
#include "platform/Bytes.h"
#include "platform/DynamicLibrary.h"
#include "platform/TimeZone.h"

namespace vader {
namespace {

constexpr int64_t kMsPerDay = 86'400'000;
// Day number of 30 December 1899, day 0 of the external library's date-times.
constexpr int32_t kDateTimeDelta = 693'594;
// Bytes a double engine value and a native DATE or TIME occupy.
constexpr size_t kDoubleSize = 8;
constexpr size_t kDateTimeFieldSize = 4;
// Longest digit string of a packed or zoned number the converters accept (a 128-byte DECIMAL).
constexpr size_t kMaxDigits = 255;

// ---- small helpers ----

using platform::Load;

using platform::Store;

const uint8_t* Bytes(const void* p) { return static_cast<const uint8_t*>(p); }
uint8_t* Bytes(void* p) { return static_cast<uint8_t*>(p); }

bool AllZero(const void* p, size_t n) { return IsZeroMem(p, n); }

[[noreturn]] void RaiseConversionError() { throw EBtrieveEngineError(B_CONVERSION_ERROR); }

// A native value that cannot be decoded: `n` zero bytes with "Read", else an error.
void BadRead(void* dest, size_t n) {
  if (!ConversionOptions().Read) RaiseConversionError();
  if (dest != nullptr) std::memset(dest, 0, n);
}

// An engine value that cannot be encoded: the field is cleared (BIT keeps its byte), then the
// value is skipped with "Write", else an error.
void BadWrite(void* dest, size_t size, bool clear = true) {
  if (clear) std::memset(dest, 0, size);
  if (!ConversionOptions().Write) RaiseConversionError();
}

[[noreturn]] void RaiseRange() { throw ERangeError("Range check error"); }

// ---- numbers through text ----

// Parses `text` (digits, optional '-' and '.', optional exponent) into `value`.
bool ParseDouble(const char* first, const char* last, double& value) {
  const auto [end, ec] = std::from_chars(first, last, value);
  return ec == std::errc() && end == last;
}

// |value| with exactly `dec` decimals, as digits only (no point), leading zeros removed; false
// when the value is not finite or the text does not fit `out`.
bool FixedDigits(double value, int dec, char* out, size_t capacity, size_t& count) {
  if (!std::isfinite(value)) return false;
  char text[kMaxDigits + 64];
  const auto [end, ec] = std::to_chars(text, text + sizeof text, std::fabs(value),
                                       std::chars_format::fixed, std::max(dec, 0));
  if (ec != std::errc()) return false;
  count = 0;
  for (const char* p = text; p != end; ++p) {
    if (*p < '0' || *p > '9' || (count == 0 && *p == '0')) continue;
    if (count == capacity) return false;
    out[count++] = *p;
  }
  return true;
}

// Right-aligns `count` digits in a field of `width` characters, padding with '0'.
void PadDigits(const char* digits, size_t count, char* field, size_t width) {
  std::memset(field, '0', width - count);
  std::memcpy(field + width - count, digits, count);
}

// Digits of `value` with `dec` decimals, right-aligned in `width` characters; a value with more
// digits than that is a range error.
void FormatFixed(double value, int dec, char* field, size_t width) {
  char digits[kMaxDigits];
  size_t count = 0;
  if (width > kMaxDigits || !FixedDigits(value, dec, digits, width, count)) RaiseRange();
  PadDigits(digits, count, field, width);
}

// The number made of `count` digits with a decimal point before the last `dec` of them.
bool DigitsToDouble(const char* digits, size_t count, int dec, bool negative, double& value) {
  char text[2 * kMaxDigits + 4];
  if (count == 0 || count > kMaxDigits) return false;
  size_t n = 0;
  if (negative) text[n++] = '-';
  const size_t places = static_cast<size_t>(std::clamp(dec, 0, static_cast<int>(kMaxDigits)));
  if (places >= count) {
    text[n++] = '0';
    text[n++] = '.';
    n += places - count;
    std::memset(text + n - (places - count), '0', places - count);
    std::memcpy(text + n, digits, count);
    n += count;
  } else {
    std::memcpy(text + n, digits, count - places);
    n += count - places;
    if (places > 0) {
      text[n++] = '.';
      std::memcpy(text + n, digits + count - places, places);
      n += places;
    }
  }
  for (size_t i = negative ? 1 : 0; i < n; ++i)
    if (text[i] != '.' && (text[i] < '0' || text[i] > '9')) return false;
  return ParseDouble(text, text + n, value);
}

// Up to 15 digits and 22 places: the integer and the power of ten are exact doubles, so their
// quotient is the correctly rounded value, the same as parsing the text.
bool SmallDigitsToDouble(const char* digits, size_t count, int dec, bool negative, double& value) {
  static constexpr double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                       1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                       1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  if (count == 0 || count > 15 || dec < 0 || dec > 22) return false;
  int64_t whole = 0;
  for (size_t i = 0; i < count; ++i) {
    if (digits[i] < '0' || digits[i] > '9') return false;
    whole = whole * 10 + (digits[i] - '0');
  }
  value = static_cast<double>(whole) / kPowers[dec];
  if (negative) value = -value;
  return true;
}

bool ParseDigits(const char* digits, size_t count, int dec, bool negative, double& value) {
  return SmallDigitsToDouble(digits, count, dec, negative, value) ||
         DigitsToDouble(digits, count, dec, negative, value);
}

// `value` rounded to `digits` significant digits through its decimal text, as a single.
bool RoundToSingle(double value, int digits, float& result) {
  char text[64];
  const auto [end, ec] =
      std::to_chars(text, text + sizeof text, value, std::chars_format::general, digits);
  if (ec != std::errc()) return false;
  const auto [parsed, pec] = std::from_chars(text, end, result);
  return pec == std::errc() && parsed == end && std::isfinite(result) == std::isfinite(value);
}

// ---- 10-byte extended ----

double ExtendedToDouble(const uint8_t* p) {
  const uint64_t mantissa = Load<uint64_t>(p);
  const uint16_t top = Load<uint16_t>(p + 8);
  const bool negative = (top & 0x8000) != 0;
  const int exponent = top & 0x7FFF;
  double value;
  if (exponent == 0x7FFF)
    value = (mantissa << 1) == 0 ? std::numeric_limits<double>::infinity()
                                 : std::numeric_limits<double>::quiet_NaN();
  else
    value = std::ldexp(static_cast<double>(mantissa), exponent - 16383 - 63);
  return negative ? -value : value;
}

void DoubleToExtended(double value, uint8_t* p) {
  uint64_t mantissa = 0;
  uint16_t top = std::signbit(value) ? 0x8000 : 0;
  if (std::isnan(value)) {
    top |= 0x7FFF;
    mantissa = 0xC000'0000'0000'0000ull;
  } else if (std::isinf(value)) {
    top |= 0x7FFF;
    mantissa = 0x8000'0000'0000'0000ull;
  } else if (value != 0) {
    int exponent = 0;
    const double fraction = std::frexp(std::fabs(value), &exponent);  // [0.5, 1)
    mantissa = static_cast<uint64_t>(std::ldexp(fraction, 64));
    top |= static_cast<uint16_t>(exponent - 1 + 16383);
  }
  Store(p, mantissa);
  Store(p + 8, top);
}

// ---- Microsoft binary format ----

float MbfToSingle(uint32_t v) {
  const uint32_t e = v >> 24;
  if (e == 0) return std::bit_cast<float>(v);
  if (e == 1) RaiseRange();
  const uint32_t sign = (v >> 23) & 1;
  return std::bit_cast<float>(sign << 31 | (e - 2) << 23 | (v & 0x7FFFFF));
}

uint32_t SingleToMbf(float value) {
  const uint32_t bits = std::bit_cast<uint32_t>(value);
  const uint32_t exponent = (bits >> 23) & 0xFF;
  // Zero and denormals keep their magnitude bits; the sign would land in the MBF exponent byte.
  if (exponent == 0) return bits & 0x7FFFFFFF;
  if (exponent > 253) RaiseRange();
  return (exponent + 2) << 24 | (bits >> 31) << 23 | (bits & 0x7FFFFF);
}

double MbfToDouble(const uint8_t* p) {
  if (p[7] == 0) return 0.0;
  const uint64_t low = Load<uint64_t>(p) & 0x00FF'FFFF'FFFF'FFFFull;
  const uint64_t sign = (low >> 55) & 1;
  const uint64_t mantissa = (low & 0x007F'FFFF'FFFF'FFFFull) >> 3;
  const uint64_t exponent = uint64_t{p[7]} + 894;
  return std::bit_cast<double>(sign << 63 | exponent << 52 | mantissa);
}

void DoubleToMbf(double value, uint8_t* p) {
  const uint64_t bits = std::bit_cast<uint64_t>(value);
  const int64_t exponent = static_cast<int64_t>((bits >> 52) & 0x7FF);
  std::memset(p, 0, 8);
  if (exponent == 0 || exponent - 894 <= 0) return;  // zero, or too small for the format
  if (exponent - 894 > 255) RaiseRange();
  const uint64_t low = (bits >> 63) << 55 | (bits & 0x000F'FFFF'FFFF'FFFFull) << 3;
  std::memcpy(p, &low, 7);
  p[7] = static_cast<uint8_t>(exponent - 894);
}

// ---- 6-byte real ----

double Real48ToDouble(const uint8_t* p) {
  if (p[0] == 0) return 0.0;
  uint64_t mantissa = 0;
  for (int i = 5; i >= 1; --i) mantissa = mantissa << 8 | p[i];
  const bool negative = (mantissa >> 39) & 1;
  mantissa &= (uint64_t{1} << 39) - 1;
  const double value = std::ldexp(1.0 + std::ldexp(static_cast<double>(mantissa), -39), p[0] - 129);
  return negative ? -value : value;
}

// False when the value is out of the format's range; tiny values become zero.
bool DoubleToReal48(double value, uint8_t* p) {
  std::memset(p, 0, 6);
  if (!std::isfinite(value)) return false;
  if (value == 0) return true;
  int exponent = 0;
  const double fraction = std::frexp(std::fabs(value), &exponent);  // [0.5, 1)
  uint64_t mantissa = static_cast<uint64_t>(std::nearbyint(std::ldexp(fraction, 40)));
  if (mantissa >> 40) {  // rounding carried into a new binary digit
    mantissa >>= 1;
    ++exponent;
  }
  const int biased = exponent - 1 + 129;
  if (biased <= 0) return true;
  if (biased > 255) return false;
  mantissa &= (uint64_t{1} << 39) - 1;
  if (value < 0) mantissa |= uint64_t{1} << 39;
  p[0] = static_cast<uint8_t>(biased);
  for (int i = 1; i <= 5; ++i, mantissa >>= 8) p[i] = static_cast<uint8_t>(mantissa);
  return true;
}

// ---- 10-byte decimal float (code 238) ----

constexpr size_t kDecimalFloatSize = 10;
constexpr int kDecimalFloatDigits = 17;

// Digit i (0-based, most significant first): byte 9 holds digits 0 and 1, byte 8 digits 2 and 3,
// ..., the high nibble of byte 1 digit 16.
int DecimalFloatDigit(const uint8_t* p, int i) {
  const uint8_t byte = p[9 - i / 2];
  return i % 2 == 0 ? byte >> 4 : byte & 0x0F;
}

bool DecodeDecimalFloat(const uint8_t* p, double& value) {
  char text[32];
  size_t n = 0;
  if (p[0] & 0x80) text[n++] = '-';
  for (int i = 0; i < kDecimalFloatDigits; ++i) {
    const int digit = DecimalFloatDigit(p, i);
    if (digit > 9) return false;
    text[n++] = static_cast<char>('0' + digit);
    if (i == 0) text[n++] = '.';
  }
  const int exponent = (p[0] & 0x7F) - 64;
  n += static_cast<size_t>(std::snprintf(text + n, sizeof text - n, "E%c%04d",
                                         exponent < 0 ? '-' : '+', std::abs(exponent)));
  return ParseDouble(text, text + n, value);
}

// False when the value is not finite or its exponent does not fit the 7-bit field.
bool EncodeDecimalFloat(double value, uint8_t* p) {
  std::memset(p, 0, kDecimalFloatSize);
  if (!std::isfinite(value)) return false;
  if (std::fabs(value) < 1e-16) return true;
  char text[40];
  const auto [end, ec] = std::to_chars(text, text + sizeof text, std::fabs(value),
                                       std::chars_format::scientific, kDecimalFloatDigits - 1);
  if (ec != std::errc()) return false;
  const char* e = std::find(text, end, 'e');
  int exponent = 0;
  std::from_chars(e + (e[1] == '+' ? 2 : 1), end, exponent);
  if (exponent < -64 || exponent > 63) return false;
  p[0] = static_cast<uint8_t>((exponent + 64) | (value < 0 ? 0x80 : 0));
  int i = 0;
  for (const char* c = text; c != e; ++c) {
    if (*c == '.') continue;
    const uint8_t digit = static_cast<uint8_t>(*c - '0');
    p[9 - i / 2] |= i % 2 == 0 ? digit << 4 : digit;
    ++i;
  }
  return true;
}

// ---- packed decimal ----

void DecodePacked(const uint8_t* p, size_t size, int dec, uint8_t* dest) {
  char digits[kMaxDigits];
  const size_t count = 2 * size - 1;
  if (count > kMaxDigits) return BadRead(dest, kDoubleSize);
  for (size_t i = 0; i < count; ++i) {
    const uint8_t byte = p[i / 2];
    const int nibble = i % 2 == 0 ? byte >> 4 : byte & 0x0F;
    digits[i] = static_cast<char>('0' + nibble);
  }
  double value = 0;
  if (!ParseDigits(digits, count, dec, (p[size - 1] & 0x0F) == 0x0D, value))
    return BadRead(dest, kDoubleSize);
  Store(dest, value);
}

void EncodePacked(double value, size_t size, int dec, uint8_t* p) {
  char digits[kMaxDigits];
  const size_t count = 2 * size - 1;
  FormatFixed(value, dec, digits, count);
  std::memset(p, 0, size);
  p[size - 1] = static_cast<uint8_t>((digits[count - 1] - '0') << 4 | (value < 0 ? 0x0D : 0x0F));
  for (size_t i = 0; i + 1 < count; ++i) {
    const uint8_t digit = static_cast<uint8_t>(digits[i] - '0');
    p[i / 2] |= i % 2 == 0 ? digit << 4 : digit;
  }
}

// ---- zoned numbers ----

// Leading blanks of a zoned field read as zeros.
void BlanksToZeros(char* digits, size_t count) {
  for (size_t i = 0; i < count && digits[i] == ' '; ++i) digits[i] = '0';
}

// The last character of a NUMERIC field: digit and sign; false when it is not one.
bool Overpunch(char c, char& digit, bool& negative) {
  negative = false;
  if (c >= '0' && c <= '9') {
    digit = c;
  } else if (c == '{') {
    digit = '0';
  } else if (c >= 'A' && c <= 'I') {
    digit = static_cast<char>('1' + (c - 'A'));
  } else if (c == '}') {
    digit = '0';
    negative = true;
  } else if (c >= 'J' && c <= 'R') {
    digit = static_cast<char>('1' + (c - 'J'));
    negative = true;
  } else {
    return false;
  }
  return true;
}

void DecodeZoned(uint16_t type, const uint8_t* p, size_t size, int dec, uint8_t* dest) {
  char digits[kMaxDigits];
  if (size == 0 || size > kMaxDigits) return BadRead(dest, kDoubleSize);
  std::memcpy(digits, p, size);
  size_t count = size;
  bool negative = false;
  char& last = digits[size - 1];
  if (type == BT_NUMERICSTS) {
    negative = last != '+';
    --count;
  } else if (type == BT_NUMERICSA) {
    negative = last >= 'p' && last <= 'y';
    if (negative) last = static_cast<char>(last - 64);
  } else if (!Overpunch(last, last, negative)) {
    return BadRead(dest, kDoubleSize);
  }
  BlanksToZeros(digits, count);
  double value = 0;
  if (!ParseDigits(digits, count, dec, negative, value)) return BadRead(dest, kDoubleSize);
  Store(dest, value);
}

char OverpunchDigit(char digit, bool negative) {
  if (negative) return digit == '0' ? '}' : static_cast<char>('J' + (digit - '1'));
  return digit == '0' ? '0' : static_cast<char>('A' + (digit - '1'));
}

void EncodeZoned(uint16_t type, double value, size_t size, int dec, uint8_t* p) {
  if (size == 0) return BadWrite(p, size);
  const bool negative = value < 0;
  const size_t width = type == BT_NUMERICSTS ? size - 1 : size;
  char field[kMaxDigits];
  if (type == BT_NUMERIC || type == BT_EXT_NUMERIC) {
    try {
      FormatFixed(value, dec, field, width);
    } catch (const ERangeError&) {
      return BadWrite(p, size);
    }
    field[width - 1] = OverpunchDigit(field[width - 1], negative);
  } else {
    FormatFixed(value, dec, field, width);
    if (type == BT_NUMERICSTS) field[width] = negative ? '-' : '+';
    if (type == BT_NUMERICSA && negative)
      field[width - 1] = static_cast<char>(field[width - 1] + 64);
  }
  std::memcpy(p, field, size);
}

// ---- dates and times ----

void DecodeDate(const uint8_t* p, uint8_t* dest) {
  const int day = p[0], month = p[1], year = Load<uint16_t>(p + 2);
  if (day == 0 || month == 0 || year == 0) return Store<int32_t>(dest, 0);
  const auto dayNumber = EncodeDayNumber(year, month, day);
  if (!dayNumber) throw EConvertError("Invalid argument to date encode");
  Store<int32_t>(dest, *dayNumber);
}

// False for a day number beyond 31 December 9999; zero and negative days give the blank date.
bool EncodeDate(int32_t dayNumber, uint8_t* p) {
  std::memset(p, 0, kDateTimeFieldSize);
  if (dayNumber <= 0) return true;
  int year = 0, month = 0, day = 0;
  DecodeDayNumber(dayNumber, year, month, day);
  if (year > 9999) return false;
  p[0] = static_cast<uint8_t>(day);
  p[1] = static_cast<uint8_t>(month);
  Store<uint16_t>(p + 2, static_cast<uint16_t>(year));
  return true;
}

void DecodeTime(const uint8_t* p, uint8_t* dest) {
  const int hundredths = p[0], seconds = p[1], minutes = p[2], hours = p[3];
  const bool valid = hours < 24 && minutes < 60 && seconds < 60 && hundredths < 100;
  Store<int32_t>(
      dest, valid ? hours * 3'600'000 + minutes * 60'000 + seconds * 1000 + hundredths * 10 : 0);
}

bool EncodeTime(int32_t ms, uint8_t* p) {
  std::memset(p, 0, kDateTimeFieldSize);
  if (ms < 0 || ms >= kMsPerDay) return false;
  p[0] = static_cast<uint8_t>(ms % 1000 / 10);
  p[1] = static_cast<uint8_t>(ms / 1000 % 60);
  p[2] = static_cast<uint8_t>(ms / 60'000 % 60);
  p[3] = static_cast<uint8_t>(ms / 3'600'000);
  return true;
}

// The engine timestamp split into day number and milliseconds of the day.
void SplitTimestamp(double timestamp, int64_t& day, int64_t& ms) {
  const double whole = std::floor(timestamp / static_cast<double>(kMsPerDay));
  day = static_cast<int64_t>(whole);
  ms = std::llround(timestamp - whole * static_cast<double>(kMsPerDay));
}

double DecodeTimestampTicks(uint64_t ticks) {
  if (ticks == 0) return 0;
  const int64_t ms = static_cast<int64_t>(ticks / 10'000) - int64_t{TimeZoneBias()} * 60'000;
  const int64_t day = ms < 0 ? 0 : ms / kMsPerDay;
  // The first day (day 0 of the tick count) is not a date of the engine: no value.
  if (day <= 0) return 0;
  return static_cast<double>((day + 1) * kMsPerDay + ms % kMsPerDay);
}

bool EncodeTimestampTicks(double timestamp, uint64_t& ticks) {
  if (!std::isfinite(timestamp) || timestamp < 0 || timestamp > 1e18) return false;
  // Whole milliseconds are scaled in integers: a tick count does not fit a double exactly.
  const double ms = timestamp - static_cast<double>(kMsPerDay) + TimeZoneBias() * 60'000.0;
  const double whole = std::floor(ms);
  const int64_t fraction = std::llround((ms - whole) * 10'000.0);
  const int64_t total = static_cast<int64_t>(whole) * 10'000 + fraction;
  if (total < 0) return false;
  ticks = static_cast<uint64_t>(total);
  return true;
}

// The GUI framework's date-time (days since 30 December 1899; for earlier days the fraction
// counts backwards) and the engine timestamp.
double DateTimeToTimestamp(double dateTime) {
  const double day = std::trunc(dateTime);
  const double ms = std::round(std::fabs(dateTime - day) * static_cast<double>(kMsPerDay));
  return (day + kDateTimeDelta) * static_cast<double>(kMsPerDay) + ms;
}

double TimestampToDateTime(double timestamp) {
  int64_t day = 0, ms = 0;
  SplitTimestamp(timestamp, day, ms);
  const double whole = static_cast<double>(day - kDateTimeDelta);
  const double fraction = static_cast<double>(ms) / static_cast<double>(kMsPerDay);
  return whole < 0 ? whole - fraction : whole + fraction;
}

}  // namespace

// ---- options and bias ----

TConversionOptions& ConversionOptions() {
  static TConversionOptions options;
  return options;
}

namespace {
int32_t SystemBias() {
  const platform::TimeZoneInformation info = platform::GetTimeZoneInformation();
  return info.Bias + info.DaylightBias;
}
std::atomic<int32_t> gTimeZoneBias{SystemBias()};
}  // namespace

int32_t TimeZoneBias() { return gTimeZoneBias; }
void SetTimeZoneBias(int32_t minutes) { gTimeZoneBias = minutes; }

// ---- type mapping and descriptors ----

namespace {

struct Mapping {
  uint16_t type = fldUNKNOWN;
  uint16_t subType = fldstNONE;
  int32_t units = 0;
  int32_t engineSize = 0;
};

bool IsStringType(uint16_t nativeType) {
  return nativeType == BT_STRING || nativeType == BT_LSTRING || nativeType == BT_ZSTRING ||
         nativeType == BT_NOTE;
}

bool IsOneOf(uint16_t code, std::initializer_list<uint16_t> codes) {
  return std::find(codes.begin(), codes.end(), code) != codes.end();
}

// Integer-like types by size: {engine type, units} for sizes 1, 2, 4, 6 and 8.
Mapping MapBySize(uint16_t size, const Mapping (&bySize)[5]) {
  static constexpr uint16_t kSizes[] = {1, 2, 4, 6, 8};
  for (int i = 0; i < 5; ++i)
    if (kSizes[i] == size && bySize[i].type != fldUNKNOWN) return bySize[i];
  return Mapping{fldUNKNOWN, fldstNONE, size, size};
}

Mapping MapType(uint16_t nativeType, uint16_t size) {
  if (size == 0 && IsStringType(nativeType)) RaiseRange();
  const int32_t s = size;
  switch (nativeType) {
    case BT_STRING:
      return s <= 255 ? Mapping{fldZSTRING, 0, s, s} : Mapping{fldBLOB, fldstMEMO, s - 1, s};
    case BT_INTEGER: {
      const uint16_t small = ConversionOptions().SmallIntAsByte ? fldUINT16 : fldINT16;
      return MapBySize(
          size,
          {{small, 0, 2, s}, {fldINT16, 0, 2, s}, {fldINT32, 0, 4, s}, {}, {fldINT64, 0, 8, s}});
    }
    case BT_UNSIGNED_BINARY:
      return MapBySize(size, {{fldUINT16, 0, 2, s},
                              {fldUINT16, 0, 2, s},
                              {fldUINT32, 0, 4, s},
                              {fldBYTES, 0, 6, s},
                              {fldUINT64, 0, 8, s}});
    case BT_AUTOINCREMENT: {
      Mapping m = MapBySize(size, {{fldINT16, 0, 2, s},
                                   {fldINT16, 0, 2, s},
                                   {fldINT32, 0, 4, s},
                                   {fldBYTES, 0, 6, s},
                                   {fldINT64, 0, 8, s}});
      m.subType = fldstAUTOINC;
      return m;
    }
    case BT_LOGICAL:
    case BT_BIT:
      return {fldBOOL, 0, 4, s};
    case BT_LSTRING:
      return {fldZSTRING, 0, s - 1, s};
    case BT_ZSTRING:
      if (s == 1) return {fldBYTES, 0, 1, s};
      return s <= 256 ? Mapping{fldZSTRING, 0, s - 1, s} : Mapping{fldBLOB, fldstMEMO, s - 1, s};
    case BT_NOTE:
      return s == 1 ? Mapping{fldBYTES, 0, 1, s} : Mapping{fldBLOB, fldstMEMO, s - 1, s};
    case BT_LVAR:
      return {fldBYTES, 0, s, s};
    case BT_DATE:
      return {fldDATE, 0, s, 8};
    case BT_TIME:
      return {fldTIME, 0, s, 8};
    case BT_TIMESTAMP:
    case BT_EXT_DATETIME:
      return {fldTIMESTAMP, 0, s, 8};
    case BT_MONEY:
    case BT_CURRENCY:
    case BT_EXT_VB_CURRENCY:
      return {fldFLOAT, fldstMONEY, s, 8};
    default:
      break;
  }
  if (IsOneOf(nativeType, {BT_FLOAT, BT_DECIMAL, BT_NUMERIC, BT_BFLOAT, BT_NUMERICSTS, BT_NUMERICSA,
                           BT_EXT_BINARY_A, BT_EXT_BINARY_B, BT_EXT_BINARY_C, BT_EXT_NUMERIC,
                           BT_EXT_MAGIC_NUM, BT_EXT_TASPRO_NUM, BT_EXT_DECIMAL_FLOAT,
                           BT_EXT_MAGIC_NUM2, BT_EXT_TASPRO_NUM2, BT_EXT_UDECIMAL, BT_EXT_REAL48}))
    return {fldFLOAT, 0, s, 8};
  if (IsOneOf(nativeType, {BT_EXT_LONG_YMD, BT_EXT_MAGIC_DATE, BT_EXT_CTIME, BT_EXT_MAGIC_DATE2,
                           BT_EXT_YMD, BT_EXT_YYMMDD, BT_EXT_YYYYMMDD, BT_EXT_TASPRO_DATE}))
    return {fldDATE, 0, s, s};
  if (IsOneOf(nativeType, {BT_EXT_TASPRO_TIME, BT_EXT_MAGIC_TIME})) return {fldTIME, 0, s, s};
  return {fldUNKNOWN, 0, s, s};
}

}  // namespace

void MapFieldType(uint16_t nativeType, uint16_t nativeSize, uint16_t& fieldType,
                  uint16_t& fieldSubType, int16_t& units1, uint16_t& engineSize) {
  const Mapping m = MapType(nativeType, nativeSize);
  fieldType = m.type;
  fieldSubType = m.subType;
  units1 = static_cast<int16_t>(m.units);
  engineSize = static_cast<uint16_t>(m.engineSize);
}

void BuildFieldDesc(const DictionaryField& entry, uint16_t fieldNumber, FieldDesc* desc) {
  if (desc == nullptr) return;
  std::memset(desc, 0, sizeof *desc);
  desc->FieldNumber = fieldNumber;
  const std::string name = BufferToTrimmedString(entry.Name, sizeof entry.Name);
  const Mapping mapped = MapType(entry.DataType, entry.Size);
  desc->FieldType = mapped.type;
  desc->FieldSubType = mapped.subType;
  desc->FieldUnits1 = static_cast<int16_t>(mapped.units);
  if (desc->FieldType == fldBLOB) {
    desc->FieldUnits1 = 0;
    if (name.find("111") != std::string::npos)
      desc->FieldSubType = fldstGRAPHIC;
    else if (name.find("222") != std::string::npos)
      desc->FieldSubType = fldstBINARY;
  }
  desc->FieldLength = entry.Size;
  desc->FieldUnits2 = entry.Decimals;
  desc->FieldOffset = entry.Offset;
  desc->ValCheckKind = 2;
  desc->FieldRights = 3;
  CopyToBuffer(desc->FieldName, name);
}

void AddIndexSegment(IndexDesc& desc, const DictionaryIndexSegment& segment,
                     const FieldDesc& segmentField, uint16_t segmentNumber) {
  if (desc.FieldsInKey >= kMaxKeyFields) RaiseRange();
  const bool first = desc.FieldsInKey == 0;
  desc.IndexId = segment.IndexNumber;
  desc.Primary = Bool16(segment.IndexNumber == 0);
  desc.Maintained = kTrue16;
  desc.KeyFields[desc.FieldsInKey++] = segmentField.FieldNumber;
  desc.KeyLength = static_cast<uint16_t>(desc.KeyLength + segmentField.FieldLength);
  Store<uint16_t>(desc.Reserved6, desc.KeyLength);
  if (first) {
    desc.Unique = Bool16((segment.Flags & kIndexFlagDuplicates) == 0);
    desc.CaseInsensitive = Bool16(
        (segment.Flags & (kIndexFlagCaseInsensitive | kDictionaryFlagCaseInsensitive)) != 0);
  }
  if (segmentNumber == 1 && desc.Descending == kFalse16)
    desc.Descending = Bool16((segment.Flags & kIndexFlagDescending) != 0);
}

// ---- the conversion library ----

namespace {

constexpr const char* kExportNames[kConversionExportCount] = {
    "Get_LongYMD",     "Set_LongDate",    "Get_Binary",     "Set_Binary",      "Get_MagicDate",
    "Set_MagicDate",   "Get_Ctime",       "Set_Ctime",      "Get_MagicNum100", "Set_MagicNum100",
    "Get_TasProTime",  "Set_TasProTime",  "Get_TasProNum",  "Set_TasProNum",   "Get_MagicTime",
    "Set_MagicTime",   "Get_YMD",         "Set_YMD",        "Get_YYMMDD",      "Set_YYMMDD",
    "Get_YYYYMMDD",    "Set_YYYYMMDD",    "Get_TasProDate", "Set_TasProDate",  "Get_UDecimal",
    "Set_UDecimal",    "Get_VBCurrency",  "Set_VBCurrency", "Get_BtrieveDate", "Set_BtrieveDate",
    "Get_BtrieveTime", "Set_BtrieveTime",
};

std::unique_ptr<TConversionFunctions> gFunctions;

}  // namespace

TConversionFunctions::TConversionFunctions() {
  if (!LoadLibraryFile("titanc32.dll")) LoadLibraryFile("s2dtconv.dll");
}

TConversionFunctions::~TConversionFunctions() {
  std::lock_guard lock(platform::LibraryLoadLock());
  platform::FreeLibrary(module_);
}

bool TConversionFunctions::LoadLibraryFile(std::string_view name) {
  std::lock_guard lock(platform::LibraryLoadLock());
  if (IsLoaded()) return false;
  module_ = platform::LoadLibrary(name);
  if (module_ == nullptr) return false;
  libraryHandle_ = reinterpret_cast<uintptr_t>(module_);
  for (size_t i = 0; i < kConversionExportCount; ++i) {
    entries_[i] = platform::GetProcAddress(module_, kExportNames[i]);
    if (entries_[i] != nullptr) continue;
    MessageDlg("Error Loading Dynamic Function " + std::string(kExportNames[i]) + " from " +
                   std::string(name),
               TMsgDlgType::mtError, mbOK, 0);
    Application().Terminate();
  }
  return true;
}

TConversionFunctions& ConversionFunctions() {
  std::lock_guard lock(platform::LibraryLoadLock());
  if (!gFunctions) gFunctions = std::make_unique<TConversionFunctions>();
  return *gFunctions;
}

void SetConversionFunctions(std::unique_ptr<TConversionFunctions> functions) {
  std::lock_guard lock(platform::LibraryLoadLock());
  gFunctions = std::move(functions);
}

void BtrConvStartup() {
  SetConversionFunctions(nullptr);
  SetTimeZoneBias(SystemBias());
}

void BtrConvShutdown() { SetConversionFunctions(nullptr); }

namespace {

using GetValueFn = int16_t (*)(const void*, double*);
using SetValueFn = int16_t (*)(void*, double);
using GetBinaryFn = int16_t (*)(const void*, int32_t, int32_t, double*, int32_t, int32_t);
using SetBinaryFn = int16_t (*)(void*, int32_t, int32_t, double, int32_t, int32_t);
using GetBasedFn = int16_t (*)(const void*, double*, int32_t);
using SetBasedFn = int16_t (*)(void*, double, int32_t);
using GetSizedFn = int16_t (*)(const void*, int32_t, double*);
using SetSizedFn = int16_t (*)(void*, int32_t, double);
using GetScaledFn = int16_t (*)(const void*, int32_t, int32_t, double*);
using SetScaledFn = int16_t (*)(void*, int32_t, int32_t, double);

// Calls export `which` with `args`; false when it is unavailable or answers a non-zero status.
template <class Fn, class... Args>
bool CallLibrary(TConversionExport which, Args... args) {
  TConversionFunctions& functions = ConversionFunctions();
  if (!functions.IsLoaded()) return false;
  auto fn = reinterpret_cast<Fn>(functions.Entry(which));
  return fn != nullptr && fn(args...) == 0;
}

using X = TConversionExport;

struct DateExports {
  X get;
  X set;
  int32_t base;  // the Base argument of the Magic date functions, else 0
};

// The library functions of an extended date or time code.
DateExports DateExportsOf(uint16_t code) {
  switch (code) {
    case BT_EXT_LONG_YMD:
      return {X::Get_LongYMD, X::Set_LongDate, 0};
    case BT_EXT_MAGIC_DATE:
      return {X::Get_MagicDate, X::Set_MagicDate, -693594};
    case BT_EXT_MAGIC_DATE2:
      return {X::Get_MagicDate, X::Set_MagicDate, 367};
    case BT_EXT_CTIME:
      return {X::Get_Ctime, X::Set_Ctime, 0};
    case BT_EXT_YMD:
      return {X::Get_YMD, X::Set_YMD, 0};
    case BT_EXT_YYMMDD:
      return {X::Get_YYMMDD, X::Set_YYMMDD, 0};
    case BT_EXT_YYYYMMDD:
      return {X::Get_YYYYMMDD, X::Set_YYYYMMDD, 0};
    case BT_EXT_TASPRO_DATE:
      return {X::Get_TasProDate, X::Set_TasProDate, 0};
    case BT_EXT_TASPRO_TIME:
      return {X::Get_TasProTime, X::Set_TasProTime, 0};
    default:
      return {X::Get_MagicTime, X::Set_MagicTime, 0};
  }
}

bool IsMagicDate(uint16_t code) { return code == BT_EXT_MAGIC_DATE || code == BT_EXT_MAGIC_DATE2; }

bool LibraryGetDateTime(uint16_t code, const void* src, double& dateTime) {
  const DateExports e = DateExportsOf(code);
  if (IsMagicDate(code)) return CallLibrary<GetBasedFn>(e.get, src, &dateTime, e.base);
  return CallLibrary<GetValueFn>(e.get, src, &dateTime);
}

bool LibrarySetDateTime(uint16_t code, void* dest, size_t size, double dateTime) {
  const DateExports e = DateExportsOf(code);
  if (IsMagicDate(code)) return CallLibrary<SetBasedFn>(e.set, dest, dateTime, e.base);
  if (code != BT_EXT_YYMMDD) return CallLibrary<SetValueFn>(e.set, dest, dateTime);
  uint8_t scratch[7] = {};
  if (!CallLibrary<SetValueFn>(e.set, scratch, dateTime)) return false;
  std::memcpy(dest, scratch, std::min<size_t>(6, size));
  return true;
}

bool IsExtendedTime(uint16_t code) {
  return code == BT_EXT_TASPRO_TIME || code == BT_EXT_MAGIC_TIME;
}

// Extended dates and times: the library's date-time, made a native DATE or TIME by the library,
// then decoded as one.
void DecodeExtendedDateTime(uint16_t code, const uint8_t* src, uint8_t* dest) {
  double dateTime = 0;
  uint8_t native[kDateTimeFieldSize] = {};
  const bool time = IsExtendedTime(code);
  if (!LibraryGetDateTime(code, src, dateTime) ||
      !CallLibrary<SetValueFn>(time ? X::Set_BtrieveTime : X::Set_BtrieveDate, native, dateTime))
    return BadRead(dest, kDoubleSize);
  if (time)
    DecodeTime(native, dest);
  else if (AllZero(native, sizeof native))
    Store<int32_t>(dest, 0);
  else
    DecodeDate(native, dest);
}

void EncodeExtendedDateTime(uint16_t code, const void* src, uint8_t* dest, size_t size) {
  uint8_t native[kDateTimeFieldSize] = {};
  const bool time = IsExtendedTime(code);
  const int32_t value = Load<int32_t>(src);
  double dateTime = 0;
  if (!(time ? EncodeTime(value, native) : EncodeDate(value, native)) ||
      !CallLibrary<GetValueFn>(time ? X::Get_BtrieveTime : X::Get_BtrieveDate, native, &dateTime) ||
      !LibrarySetDateTime(code, dest, size, dateTime))
    BadWrite(dest, size);
}

// (FlagA, FlagB) of the three binary codes.
void BinaryFlags(uint16_t code, int32_t& flagA, int32_t& flagB) {
  flagA = code == BT_EXT_BINARY_A ? 1 : 0;
  flagB = code == BT_EXT_BINARY_B ? 1 : 0;
}

// Extended numbers decoded by the library.
bool LibraryGetNumber(uint16_t code, const void* src, int32_t size, int32_t dec, double& value) {
  int32_t flagA = 0, flagB = 0;
  switch (code) {
    case BT_EXT_BINARY_A:
    case BT_EXT_BINARY_B:
    case BT_EXT_BINARY_C:
      BinaryFlags(code, flagA, flagB);
      return CallLibrary<GetBinaryFn>(X::Get_Binary, src, size, dec, &value, flagA, flagB);
    case BT_EXT_MAGIC_NUM:
    case BT_EXT_MAGIC_NUM2:
      return CallLibrary<GetSizedFn>(X::Get_MagicNum100, src, size, &value);
    case BT_EXT_TASPRO_NUM:
    case BT_EXT_TASPRO_NUM2:
      return CallLibrary<GetScaledFn>(X::Get_TasProNum, src, size, dec, &value);
    case BT_EXT_UDECIMAL:
      return CallLibrary<GetScaledFn>(X::Get_UDecimal, src, size, dec, &value);
    default:
      return CallLibrary<GetValueFn>(X::Get_VBCurrency, src, &value);
  }
}

bool LibrarySetNumber(uint16_t code, void* dest, int32_t size, int32_t dec, double value) {
  int32_t flagA = 0, flagB = 0;
  switch (code) {
    case BT_EXT_BINARY_A:
    case BT_EXT_BINARY_B:
    case BT_EXT_BINARY_C:
      BinaryFlags(code, flagA, flagB);
      return CallLibrary<SetBinaryFn>(X::Set_Binary, dest, size, dec, value, flagA, flagB);
    case BT_EXT_MAGIC_NUM:
    case BT_EXT_MAGIC_NUM2:
      return CallLibrary<SetSizedFn>(X::Set_MagicNum100, dest, size, value);
    case BT_EXT_TASPRO_NUM:
    case BT_EXT_TASPRO_NUM2:
      return CallLibrary<SetScaledFn>(X::Set_TasProNum, dest, size, dec, value);
    case BT_EXT_UDECIMAL:
      return CallLibrary<SetScaledFn>(X::Set_UDecimal, dest, size, dec, value);
    default:
      return CallLibrary<SetValueFn>(X::Set_VBCurrency, dest, value);
  }
}

// What the converters need to know of a native code before decoding it, looked up once.
enum Trait : uint8_t {
  kBlankIfZero = 1,    // an all-zero field is blank
  kZeroIsZero = 2,     // an all-zero field reads as 0.0
  kExtDateTime = 4,    // a date or time of the external library
  kLibraryNumber = 8,  // a number of the external library
};

constexpr std::array<uint8_t, 256> MakeTraits() {
  std::array<uint8_t, 256> t{};
  for (uint16_t c : {BT_STRING, BT_DATE, BT_TIME, BT_LSTRING, BT_ZSTRING, BT_CURRENCY, BT_TIMESTAMP,
                     BT_EXT_DATETIME})
    t[c] |= kBlankIfZero;
  for (uint16_t c :
       {BT_EXT_LONG_YMD, BT_EXT_MAGIC_DATE, BT_EXT_CTIME, BT_EXT_MAGIC_DATE2, BT_EXT_YMD,
        BT_EXT_YYMMDD, BT_EXT_YYYYMMDD, BT_EXT_TASPRO_DATE, BT_EXT_TASPRO_TIME, BT_EXT_MAGIC_TIME})
    t[c] |= kBlankIfZero | kExtDateTime;
  for (uint16_t c : {BT_DECIMAL, BT_MONEY, BT_NUMERIC, BT_BFLOAT, BT_NUMERICSTS, BT_NUMERICSA,
                     BT_EXT_NUMERIC, BT_EXT_DECIMAL_FLOAT, BT_EXT_REAL48})
    t[c] |= kZeroIsZero;
  for (uint16_t c : {BT_EXT_MAGIC_NUM, BT_EXT_MAGIC_NUM2, BT_EXT_TASPRO_NUM, BT_EXT_TASPRO_NUM2,
                     BT_EXT_UDECIMAL, BT_EXT_VB_CURRENCY})
    t[c] |= kZeroIsZero | kLibraryNumber;
  for (uint16_t c : {BT_EXT_BINARY_A, BT_EXT_BINARY_B, BT_EXT_BINARY_C}) t[c] |= kLibraryNumber;
  return t;
}
constexpr std::array<uint8_t, 256> kTraits = MakeTraits();

bool Has(uint16_t code, Trait trait) { return code < kTraits.size() && (kTraits[code] & trait); }
bool IsExtendedDateTime(uint16_t code) { return Has(code, kExtDateTime); }
bool IsLibraryNumber(uint16_t code) { return Has(code, kLibraryNumber); }

// ---- decoding ----

struct NativeField {
  uint16_t type;
  size_t size;
  int dec;
  const uint8_t* src;
};

// Copies at most `limit` characters of `src`, stopping at a NUL, and ends them with a NUL.
size_t CopyText(const uint8_t* src, size_t limit, uint8_t* dest) {
  const uint8_t* end = std::find(src, src + limit, 0);
  const size_t n = static_cast<size_t>(end - src);
  std::memcpy(dest, src, n);
  dest[n] = 0;
  return n;
}

void DecodeInteger(const NativeField& f, uint8_t* dest, bool& blank) {
  int64_t value = 0;
  switch (f.size) {
    case 1:
      value = ConversionOptions().SmallIntAsByte ? int64_t{f.src[0]}
                                                 : int64_t{static_cast<int8_t>(f.src[0])};
      break;
    case 2:
      value = Load<int16_t>(f.src);
      break;
    case 4:
      value = Load<int32_t>(f.src);
      break;
    case 8:
      value = Load<int64_t>(f.src);
      break;
    default:
      return BadRead(dest, f.size);
  }
  if (value == 0 && !ConversionOptions().IntegersShowAsZero) {
    blank = true;
    return;
  }
  if (f.size == 1)
    Store<int16_t>(dest, static_cast<int16_t>(value));
  else
    std::memcpy(dest, f.src, f.size);
}

void DecodeUnsigned(const NativeField& f, uint8_t* dest) {
  switch (f.size) {
    case 1:
      return Store<uint16_t>(dest, f.src[0]);
    case 2:
    case 4:
    case 6:
    case 8:
      return void(std::memcpy(dest, f.src, f.size));
    default:
      return BadRead(dest, f.size);
  }
}

void DecodeFloat(const NativeField& f, uint8_t* dest) {
  switch (f.size) {
    case 4:
      return Store<double>(dest, Load<float>(f.src));
    case 8:
      return void(std::memcpy(dest, f.src, 8));
    case 10:
      return Store<double>(dest, ExtendedToDouble(f.src));
    default:
      return BadRead(dest, std::min(f.size, kDoubleSize));
  }
}

void DecodeBFloat(const NativeField& f, uint8_t* dest) {
  switch (f.size) {
    case 4:
      return Store<double>(dest, MbfToSingle(Load<uint32_t>(f.src)));
    case 8:
      return Store<double>(dest, MbfToDouble(f.src));
    default:
      return BadRead(dest, std::min(f.size, kDoubleSize));
  }
}

// Texts: STRING cuts trailing spaces; LSTRING is counted; ZSTRING and NOTE end at a NUL.
void DecodeText(const NativeField& f, uint8_t* dest) {
  switch (f.type) {
    case BT_STRING: {
      size_t n = CopyText(f.src, f.size, dest);
      while (n > 0 && dest[n - 1] == ' ') dest[--n] = 0;
      return;
    }
    case BT_LSTRING: {
      const size_t n = std::min<size_t>(f.src[0], f.size - 1);
      std::memcpy(dest, f.src + 1, n);
      dest[n] = 0;
      return;
    }
    default:
      CopyText(f.src, f.size - 1, dest);
  }
}

// Fixed-size formats that need at least `needed` bytes of field.
bool Fits(const NativeField& f, size_t needed) { return f.size >= needed; }

void DecodeTimestamp(const NativeField& f, uint8_t* dest) {
  if (!Fits(f, 8)) return BadRead(dest, kDoubleSize);
  Store<double>(dest, DecodeTimestampTicks(Load<uint64_t>(f.src)));
}

void DecodeDateTimeDouble(const NativeField& f, uint8_t* dest) {
  double dateTime = 0;
  std::memcpy(&dateTime, f.src, std::min(f.size, kDoubleSize));
  const double timestamp = DateTimeToTimestamp(dateTime);
  std::memcpy(dest, &timestamp, std::min(f.size, kDoubleSize));
}

// Decoding of a field known to be neither blank nor an all-zero number.
void DecodeValue(const NativeField& f, uint8_t* dest, bool& blank) {
  switch (f.type) {
    case BT_STRING:
    case BT_LSTRING:
    case BT_ZSTRING:
      return DecodeText(f, dest);
    case BT_INTEGER:
    case BT_AUTOINCREMENT:
      return DecodeInteger(f, dest, blank);
    case BT_FLOAT:
      return DecodeFloat(f, dest);
    case BT_DATE:
      return Fits(f, 4) ? DecodeDate(f.src, dest) : BadRead(dest, kDoubleSize);
    case BT_TIME:
      return Fits(f, 4) ? DecodeTime(f.src, dest) : BadRead(dest, kDoubleSize);
    case BT_DECIMAL:
      return DecodePacked(f.src, f.size, f.dec, dest);
    case BT_MONEY:
      return DecodePacked(f.src, f.size, 2, dest);
    case BT_NUMERIC:
    case BT_NUMERICSTS:
    case BT_NUMERICSA:
    case BT_EXT_NUMERIC:
      return DecodeZoned(f.type, f.src, f.size, f.dec, dest);
    case BT_BFLOAT:
      return DecodeBFloat(f, dest);
    case BT_LVAR:
      return void(std::memcpy(dest, f.src, f.size));
    case BT_UNSIGNED_BINARY:
      return DecodeUnsigned(f, dest);
    case BT_CURRENCY:
      return Fits(f, 8) ? Store<double>(dest, static_cast<double>(Load<int64_t>(f.src)) / 10000.0)
                        : BadRead(dest, kDoubleSize);
    case BT_TIMESTAMP:
      return DecodeTimestamp(f, dest);
    case BT_EXT_DECIMAL_FLOAT: {
      double value = 0;
      if (!Fits(f, kDecimalFloatSize) || !DecodeDecimalFloat(f.src, value))
        return BadRead(dest, kDoubleSize);
      return Store(dest, value);
    }
    case BT_EXT_DATETIME:
      return DecodeDateTimeDouble(f, dest);
    case BT_EXT_REAL48:
      return Fits(f, 6) ? Store(dest, Real48ToDouble(f.src)) : BadRead(dest, kDoubleSize);
    default:
      break;
  }
  if (IsExtendedDateTime(f.type)) return DecodeExtendedDateTime(f.type, f.src, dest);
  if (IsLibraryNumber(f.type)) {
    double value = 0;
    if (!LibraryGetNumber(f.type, f.src, static_cast<int32_t>(f.size), f.dec, value))
      return BadRead(dest, kDoubleSize);
    Store(dest, value);
  }
}

// LOGICAL and BIT answer a 16-bit truth value and are never blank.
void DecodeTruth(const NativeField& f, uint8_t* dest) {
  if (dest == nullptr) return;
  const bool set = f.type == BT_BIT ? f.size > 0 && (f.src[0] & static_cast<uint8_t>(f.dec)) != 0
                                    : !AllZero(f.src, f.size);
  Store<uint16_t>(dest, Bool16(set));
}

// ---- encoding ----

void EncodeText(uint16_t type, const char* text, uint8_t* dest, size_t size) {
  const char* end = std::find(text, text + size, '\0');
  const size_t length = static_cast<size_t>(end - text);
  switch (type) {
    case BT_STRING:
      std::memcpy(dest, text, length);
      std::memset(dest + length, ConversionOptions().StringPaddedSpaces ? ' ' : 0, size - length);
      return;
    case BT_LSTRING: {
      const size_t n = std::min({length, size - 1, size_t{255}});
      dest[0] = static_cast<uint8_t>(n);
      std::memcpy(dest + 1, text, n);
      std::memset(dest + 1 + n, 0, size - 1 - n);
      return;
    }
    default: {  // ZSTRING
      const size_t n = std::min(length, size - 1);
      std::memcpy(dest, text, n);
      dest[n] = 0;
    }
  }
}

// Integers are stored as their low `size` bytes; only unsigned binary has a 6-byte form.
void EncodeBinary(const uint8_t* src, uint8_t* dest, size_t size, bool sixBytes) {
  const bool fits = size == 1 || size == 2 || size == 4 || size == 8 || (sixBytes && size == 6);
  if (!fits) return BadWrite(dest, size);
  std::memcpy(dest, src, size);
}

void EncodeFloat(double value, uint8_t* dest, size_t size) {
  float single = 0;
  switch (size) {
    case 4:
      if (!RoundToSingle(value, 7, single)) return BadWrite(dest, size);
      return Store(dest, single);
    case 8:
      return Store(dest, value);
    case 10:
      return DoubleToExtended(value, dest);
    default:
      return BadWrite(dest, size);
  }
}

void EncodeBFloat(double value, uint8_t* dest, size_t size) {
  float single = 0;
  switch (size) {
    case 4:
      if (!RoundToSingle(value, 15, single)) return BadWrite(dest, size);
      return Store(dest, SingleToMbf(single));
    case 8:
      return DoubleToMbf(value, dest);
    default:
      return BadWrite(dest, size);
  }
}

void EncodeLogical(uint16_t value, uint8_t* dest, size_t size) {
  std::memset(dest, 0, size);
  if (value == 0) return;
  if (size != 1 && size != 2 && size != 4) return BadWrite(dest, size);
  dest[0] = 1;
}

void EncodeBit(uint16_t value, int dec, uint8_t* dest, size_t size) {
  if (size == 0) return BadWrite(dest, size, false);
  const uint8_t mask = static_cast<uint8_t>(dec);
  dest[0] = value != 0 ? dest[0] | mask : dest[0] & ~mask;
}

void EncodeCurrency(double value, uint8_t* dest, size_t size) {
  const double scaled = std::round(value * 10000.0);
  if (size < 8 || !(std::fabs(scaled) < 9.2e18)) return BadWrite(dest, size);
  Store<int64_t>(dest, static_cast<int64_t>(scaled));
}

void EncodeTimestamp(double value, uint8_t* dest, size_t size) {
  uint64_t ticks = 0;
  if (size < 8 || !EncodeTimestampTicks(value, ticks)) return BadWrite(dest, size);
  Store(dest, ticks);
}

void EncodeFixedDateTime(uint16_t type, int32_t value, uint8_t* dest, size_t size) {
  uint8_t native[kDateTimeFieldSize];
  const bool ok = type == BT_DATE ? EncodeDate(value, native) : EncodeTime(value, native);
  if (size < kDateTimeFieldSize || !ok) return BadWrite(dest, size);
  std::memcpy(dest, native, kDateTimeFieldSize);
}

void EncodeValue(uint16_t type, size_t size, int dec, const uint8_t* src, uint8_t* dest) {
  switch (type) {
    case BT_STRING:
    case BT_LSTRING:
    case BT_ZSTRING:
      return EncodeText(type, reinterpret_cast<const char*>(src), dest, size);
    case BT_NOTE:
      return BadWrite(dest, size);
    case BT_INTEGER:
    case BT_AUTOINCREMENT:
      return EncodeBinary(src, dest, size, false);
    case BT_FLOAT:
      return EncodeFloat(Load<double>(src), dest, size);
    case BT_DATE:
    case BT_TIME:
      return EncodeFixedDateTime(type, Load<int32_t>(src), dest, size);
    case BT_DECIMAL:
      return EncodePacked(Load<double>(src), size, dec, dest);
    case BT_MONEY:
      return EncodePacked(Load<double>(src), size, 2, dest);
    case BT_LOGICAL:
      return EncodeLogical(Load<uint16_t>(src), dest, size);
    case BT_NUMERIC:
    case BT_NUMERICSTS:
    case BT_NUMERICSA:
    case BT_EXT_NUMERIC:
      return EncodeZoned(type, Load<double>(src), size, dec, dest);
    case BT_BFLOAT:
      return EncodeBFloat(Load<double>(src), dest, size);
    case BT_LVAR:
      return void(std::memcpy(dest, src, size));
    case BT_UNSIGNED_BINARY:
      return EncodeBinary(src, dest, size, true);
    case BT_BIT:
      return EncodeBit(Load<uint16_t>(src), dec, dest, size);
    case BT_CURRENCY:
      return EncodeCurrency(Load<double>(src), dest, size);
    case BT_TIMESTAMP:
      return EncodeTimestamp(Load<double>(src), dest, size);
    case BT_EXT_DECIMAL_FLOAT:
      if (size < kDecimalFloatSize || !EncodeDecimalFloat(Load<double>(src), dest))
        BadWrite(dest, size);
      return;
    case BT_EXT_DATETIME: {
      const double dateTime = TimestampToDateTime(Load<double>(src));
      return void(std::memcpy(dest, &dateTime, std::min(size, kDoubleSize)));
    }
    case BT_EXT_REAL48:
      if (size < 6 || !DoubleToReal48(Load<double>(src), dest)) BadWrite(dest, size);
      return;
    default:
      break;
  }
  if (IsExtendedDateTime(type)) return EncodeExtendedDateTime(type, src, dest, size);
  if (IsLibraryNumber(type) &&
      !LibrarySetNumber(type, dest, static_cast<int32_t>(size), dec, Load<double>(src)))
    BadWrite(dest, size);
}

}  // namespace

void ConvertNativeToLocal(uint16_t nativeType, uint16_t nativeSize, int16_t dec, uint16_t,
                          const void* source, void* dest, bool& isBlank) {
  const NativeField f{nativeType, nativeSize, dec, Bytes(CheckParam(source))};
  isBlank = false;
  if (nativeSize == 0 && IsStringType(nativeType) && nativeType != BT_STRING) RaiseRange();
  if (nativeType == BT_LOGICAL || nativeType == BT_BIT) return DecodeTruth(f, Bytes(dest));
  CheckParam(dest);
  if (nativeType == BT_NOTE) {
    const NativeField note{nativeType, std::min<size_t>(nativeSize, 255), dec, f.src};
    isBlank = AllZero(note.src, note.size);
    return DecodeText(note, Bytes(dest));
  }
  const bool zero = AllZero(f.src, f.size);
  if (zero && Has(nativeType, kBlankIfZero)) {
    isBlank = true;
    return;
  }
  if (zero && Has(nativeType, kZeroIsZero)) return Store<double>(dest, 0.0);
  DecodeValue(f, Bytes(dest), isBlank);
}

void ConvertLocalToNative(uint16_t nativeType, uint16_t nativeSize, int16_t dec, uint16_t,
                          const void* source, void* dest) {
  if (nativeSize == 0 && IsStringType(nativeType) && nativeType != BT_STRING) RaiseRange();
  EncodeValue(nativeType, nativeSize, dec, Bytes(CheckParam(source)), Bytes(CheckParam(dest)));
}

}  // namespace vader
