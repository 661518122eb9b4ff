#include "sqlengine/ValueCheck.h"

#include <cctype>
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "sqlengine/XqlApi.h"

namespace vader::sqlengine {
namespace {

std::string Trimmed(const std::string& s) {
  const size_t b = s.find_first_not_of(' ');
  if (b == std::string::npos) return "";
  return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

bool IsDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

size_t SkipDigits(const std::string& t, size_t i, size_t& count) {
  for (count = 0; i < t.size() && IsDigit(t[i]); ++i) ++count;
  return i;
}

// A decimal number as SQL writes one: a sign, digits with an optional point, an optional
// exponent; nothing else (no "inf", "nan" or hexadecimal that strtod would also take).
bool IsDecimalNumber(const std::string& t) {
  size_t i = 0, whole = 0, fraction = 0, exponent = 1;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
  i = SkipDigits(t, i, whole);
  if (i < t.size() && t[i] == '.') i = SkipDigits(t, i + 1, fraction);
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
    if (++i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    i = SkipDigits(t, i, exponent);
  }
  return whole + fraction > 0 && exponent > 0 && i == t.size();
}

// The number a value stands for; false when it stands for none.
bool NumberOf(const Value& v, Value& number) {
  if (v.kind == Value::Int) return number = v, true;
  if (v.kind == Value::Real) return number = v, !std::isnan(v.r);
  if (v.kind != Value::Text) return false;
  const std::string t = Trimmed(v.s);
  if (!IsDecimalNumber(t)) return false;
  errno = 0;
  const long long whole = std::strtoll(t.c_str(), nullptr, 10);
  const bool integral = t.find_first_of(".eE") == std::string::npos && errno != ERANGE;
  number = integral ? Value::Integer(whole) : Value::Float(std::strtod(t.c_str(), nullptr));
  return true;
}

// Binary integers of `bytes` bytes, signed or not.
bool FitsBinary(const Value& n, size_t bytes, bool isSigned) {
  if (bytes == 0 || bytes > 8) return true;  // no integer image this engine writes
  const int bits = static_cast<int>(bytes) * 8;
  if (n.kind == Value::Int) {
    if (bits == 64) return isSigned || n.i >= 0;
    const int64_t high = isSigned ? (int64_t{1} << (bits - 1)) - 1 : (int64_t{1} << bits) - 1;
    const int64_t low = isSigned ? -(int64_t{1} << (bits - 1)) : 0;
    return n.i >= low && n.i <= high;
  }
  const double whole = std::trunc(n.r);  // the stored value drops the fraction
  const double limit = std::ldexp(1.0, isSigned ? bits - 1 : bits);
  return whole >= (isSigned ? -limit : 0.0) && whole < limit;
}

uint64_t PowerOfTen(int digits) {
  uint64_t p = 1;
  for (int i = 0; i < digits; ++i) p *= 10;
  return p;
}

// Decimal images of `digits` digits, `decimals` of them after the point.
bool FitsDigits(const Value& n, int decimals, int digits) {
  if (n.kind == Value::Int && decimals == 0) {
    if (digits >= 19) return true;
    const auto magnitude = n.i < 0 ? 0 - static_cast<uint64_t>(n.i) : static_cast<uint64_t>(n.i);
    return magnitude < PowerOfTen(digits);
  }
  const double units = std::round(n.AsReal() * std::pow(10.0, decimals));
  const double limit = digits >= 19 ? 9.2e18 : static_cast<double>(PowerOfTen(digits));
  return std::fabs(units) < limit;
}

bool FitsBasicFloat(double r) {
  if (!std::isfinite(r)) return false;
  int exponent = 0;
  std::frexp(r, &exponent);
  return r == 0 || exponent + 128 <= 255;  // smaller numbers than the format holds become 0
}

bool FitsNumber(const FieldFormat& f, const Value& n) {
  const size_t size = f.size;
  switch (f.type) {
    case kInteger:
    case kAutoIncrement: return FitsBinary(n, size, true);
    case kUnsigned:
    case kLogical:
    case kTimestamp: return FitsBinary(n, size, false);
    case kBit: return n.AsReal() == 0 || n.AsReal() == 1;
    case kFloat:
      if (n.kind == Value::Int) return true;
      return size == 4 ? std::isfinite(n.r) && std::fabs(n.r) <= FLT_MAX : std::isfinite(n.r);
    case kBFloat: return FitsBasicFloat(n.AsReal());
    case kDecimal: return FitsDigits(n, f.decimals, static_cast<int>(size) * 2 - 1);
    case kMoney: return FitsDigits(n, 2, static_cast<int>(size) * 2 - 1);
    case kNumeric:
    case kNumericSa: return FitsDigits(n, f.decimals, static_cast<int>(size));
    case kNumericSts: return FitsDigits(n, f.decimals, static_cast<int>(size) - 1);
    case kCurrency: return FitsDigits(n, 4, 19);
    default: return true;
  }
}

bool HoldsNumbers(uint8_t type) {
  switch (type) {
    case kInteger: case kAutoIncrement: case kUnsigned: case kLogical: case kTimestamp:
    case kBit: case kFloat: case kBFloat: case kDecimal: case kMoney: case kNumeric:
    case kNumericSa: case kNumericSts: case kCurrency:
      return true;
    default:
      return false;
  }
}

// The groups of digits of `t` between single `separator` characters; false when anything
// else stands there or a group is empty or longer than `widest`.
bool DigitGroups(const std::string& t, char separator, size_t widest, std::vector<int>& groups) {
  groups.clear();
  for (size_t i = 0;;) {
    size_t count = 0;
    const size_t end = SkipDigits(t, i, count);
    if (count == 0 || count > widest) return false;
    groups.push_back(std::atoi(t.substr(i, count).c_str()));
    if (end == t.size()) return true;
    if (t[end] != separator) return false;
    i = end + 1;
  }
}

bool IsLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

bool IsCalendarDate(int y, int m, int d) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1) return false;
  return d <= kDays[m - 1] + (m == 2 && IsLeapYear(y) ? 1 : 0);
}

// Dates are written year-month-day or month/day/year; all zeros is the blank date.
bool IsDateText(const std::string& t) {
  std::vector<int> g;
  const auto valid = [](int y, int m, int d) {
    return (y | m | d) == 0 || IsCalendarDate(y, m, d);
  };
  if (DigitGroups(t, '-', 4, g) && g.size() == 3) return valid(g[0], g[1], g[2]);
  if (DigitGroups(t, '/', 4, g) && g.size() == 3) return valid(g[2], g[0], g[1]);
  return false;
}

// Times are hours:minutes, optionally :seconds and hundredths after "." or ":".
bool IsTimeText(const std::string& t) {
  std::vector<int> g;
  const size_t point = t.find('.');
  std::string clock = t;
  int hundredths = 0;
  if (point != std::string::npos) {
    std::vector<int> fraction;
    if (!DigitGroups(t.substr(point + 1), ':', 2, fraction) || fraction.size() != 1) return false;
    hundredths = fraction[0];
    clock = t.substr(0, point);
  }
  if (!DigitGroups(clock, ':', 2, g) || g.size() < 2 || g.size() > 4) return false;
  if (point != std::string::npos && g.size() != 3) return false;
  if (g.size() == 4) hundredths = g[3];
  const int seconds = g.size() >= 3 ? g[2] : 0;
  return g[0] <= 23 && g[1] <= 59 && seconds <= 59 && hundredths <= 99;
}

}  // namespace

int16_t Admit(const FieldFormat& f, Value& v) {
  if (v.kind == Value::Null || v.kind == Value::Blob) return 0;
  if (f.type == kDate || f.type == kTime) {
    const bool isDate = f.type == kDate;
    const int16_t refused = isDate ? kStatusInvalidDate : kStatusInvalidTime;
    if (v.kind != Value::Text) return refused;
    const std::string t = Trimmed(v.s);
    if (t.empty()) return 0;
    if (!(isDate ? IsDateText(t) : IsTimeText(t))) return refused;
    v = Value::String(t);
    return 0;
  }
  if (!HoldsNumbers(f.type)) return 0;
  Value number;
  if (!NumberOf(v, number)) return kStatusNotANumber;
  if (!FitsNumber(f, number)) return kStatusOutOfRange;
  v = number;
  return 0;
}

bool Representable(const FieldFormat& f, const Value& v) {
  std::vector<uint8_t> image(f.size);
  Encode(f, v, image.data());
  return Compare(Decode(f, image.data(), image.size()), v) == 0;
}

}  // namespace vader::sqlengine
