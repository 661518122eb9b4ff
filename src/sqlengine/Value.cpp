#include "sqlengine/Value.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace vader::sqlengine {
namespace {

uint64_t ReadLe(const uint8_t* p, size_t n) {
  uint64_t v = 0;
  for (size_t i = 0; i < n && i < 8; ++i) v |= static_cast<uint64_t>(p[i]) << (8 * i);
  return v;
}

void WriteLe(uint8_t* p, size_t n, uint64_t v) {
  for (size_t i = 0; i < n; ++i) p[i] = i < 8 ? static_cast<uint8_t>(v >> (8 * i)) : 0;
}

int64_t SignExtend(uint64_t v, size_t n) {
  if (n >= 8 || n == 0) return static_cast<int64_t>(v);
  const uint64_t sign = uint64_t{1} << (8 * n - 1);
  return static_cast<int64_t>((v ^ sign) - sign);
}

Value Scaled(int64_t units, int decimals) {
  if (decimals == 0) return Value::Integer(units);
  return Value::Float(static_cast<double>(units) / Scale(decimals));
}

int64_t Units(const Value& v, int decimals) {
  if (v.kind == Value::Int && decimals == 0) return v.i;
  const double d = std::round(v.AsReal() * Scale(decimals));
  if (!(d > -9.2e18 && d < 9.2e18)) return d < 0 ? -999999999999999999 : 999999999999999999;
  return static_cast<int64_t>(d);
}

// The two digits of a packed decimal byte as a number (a nibble above 9 reads as 0).
constexpr std::array<uint8_t, 256> kDigitPairs = [] {
  std::array<uint8_t, 256> pairs{};
  for (int b = 0; b < 256; ++b)
    pairs[b] = static_cast<uint8_t>((b >> 4 > 9 ? 0 : b >> 4) * 10 + ((b & 0xF) > 9 ? 0 : b & 0xF));
  return pairs;
}();

// Packed decimal: two digits a byte, the last byte's low nibble the sign (0xD negative).
Value DecodeDecimal(const uint8_t* p, size_t n, int decimals) {
  if (n == 0) return Value::Integer(0);
  return Scaled(PackedUnits(p, n), decimals);
}

void EncodeDecimal(uint8_t* p, size_t n, int64_t units) {
  std::memset(p, 0, n);
  if (n == 0) return;
  uint64_t magnitude = units < 0 ? 0 - static_cast<uint64_t>(units) : static_cast<uint64_t>(units);
  p[n - 1] = units < 0 ? 0x0D : 0x0F;
  for (size_t nibble = 1; nibble < n * 2 && magnitude > 0; ++nibble, magnitude /= 10) {
    const size_t byte = n - 1 - nibble / 2;
    const auto digit = static_cast<uint8_t>(magnitude % 10);
    p[byte] |= nibble % 2 ? static_cast<uint8_t>(digit << 4) : digit;
  }
}

// NUMERIC: ASCII digits with the sign punched into the last one.
Value DecodeNumeric(const uint8_t* p, size_t n, int decimals, uint8_t type) {
  int64_t units = 0;
  bool negative = false;
  size_t digits = n;
  if (type == kNumericSts && n > 0) {
    negative = p[n - 1] == '-';
    digits = n - 1;
  }
  for (size_t i = 0; i < digits; ++i) {
    char c = static_cast<char>(p[i]);
    int d = 0;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (i + 1 == digits && type != kNumericSts) {
      if (c == '{') d = 0;
      else if (c >= 'A' && c <= 'I') d = c - 'A' + 1;
      else if (c == '}') negative = true;
      else if (c >= 'J' && c <= 'R') d = c - 'J' + 1, negative = true;
      else if (c >= 'p' && c <= 'y') d = c - 'p', negative = true;
    }
    if (units < 99999999999999999) units = units * 10 + d;
  }
  return Scaled(negative ? -units : units, decimals);
}

void EncodeNumeric(uint8_t* p, size_t n, int64_t units, uint8_t type) {
  if (n == 0) return;
  const bool negative = units < 0;
  uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(units) : static_cast<uint64_t>(units);
  size_t digits = n;
  if (type == kNumericSts) {
    p[n - 1] = negative ? '-' : '+';
    digits = n - 1;
  }
  for (size_t i = digits; i-- > 0; magnitude /= 10) p[i] = static_cast<uint8_t>('0' + magnitude % 10);
  if (type != kNumericSts && digits > 0) {
    const int last = p[digits - 1] - '0';
    if (negative) p[digits - 1] = static_cast<uint8_t>(last == 0 ? '}' : 'J' + last - 1);
    else if (type == kNumeric) p[digits - 1] = static_cast<uint8_t>(last == 0 ? '{' : 'A' + last - 1);
  }
}

// Microsoft Basic floats: exponent in the last byte (bias 128, 0 = zero), sign in the top bit of
// the byte before it, the mantissa with an implied leading 1 below.
Value DecodeBFloat(const uint8_t* p, size_t n) {
  if (n != 4 && n != 8) return Value::Float(0);
  const int exponent = p[n - 1];
  if (exponent == 0) return Value::Float(0);
  const bool negative = p[n - 2] & 0x80;
  double mantissa = 0;
  for (size_t i = 0; i + 1 < n; ++i) {
    const uint8_t b = i + 2 == n ? static_cast<uint8_t>(p[i] | 0x80) : p[i];
    mantissa = mantissa / 256.0 + b;
  }
  mantissa /= 256.0;  // now in [0.5, 1)
  const double v = std::ldexp(mantissa, exponent - 128);
  return Value::Float(negative ? -v : v);
}

void EncodeBFloat(uint8_t* p, size_t n, double v) {
  std::memset(p, 0, n);
  if ((n != 4 && n != 8) || v == 0 || !std::isfinite(v)) return;
  int exponent = 0;
  double mantissa = std::frexp(std::fabs(v), &exponent);  // [0.5, 1)
  if (exponent + 128 <= 0 || exponent + 128 > 255) return;
  for (size_t i = n - 1; i-- > 0;) {
    mantissa *= 256.0;
    const double digit = std::floor(mantissa);
    p[i] = static_cast<uint8_t>(digit);
    mantissa -= digit;
  }
  p[n - 2] = static_cast<uint8_t>((p[n - 2] & 0x7F) | (v < 0 ? 0x80 : 0));
  p[n - 1] = static_cast<uint8_t>(exponent + 128);
}

std::string Trimmed(const uint8_t* p, size_t n) {
  size_t end = n;
  while (end > 0 && (p[end - 1] == ' ' || p[end - 1] == 0)) --end;
  return std::string(reinterpret_cast<const char*>(p), end);
}

std::string UntilNul(const uint8_t* p, size_t n) {
  const void* nul = std::memchr(p, 0, n);
  return std::string(reinterpret_cast<const char*>(p),
                     nul ? static_cast<const uint8_t*>(nul) - p : n);
}

// UTF-16LE to UTF-8 and back (the wide string types).
std::string FromWide(const uint8_t* p, size_t n, bool toNul) {
  std::string out;
  for (size_t i = 0; i + 1 < n; i += 2) {
    uint32_t c = p[i] | (p[i + 1] << 8);
    if (c == 0 && toNul) break;
    if (c >= 0xD800 && c < 0xDC00 && i + 3 < n) {
      const uint32_t lo = p[i + 2] | (p[i + 3] << 8);
      if (lo >= 0xDC00 && lo < 0xE000) c = 0x10000 + ((c - 0xD800) << 10) + (lo - 0xDC00), i += 2;
    }
    if (c < 0x80) out += static_cast<char>(c);
    else if (c < 0x800) out += static_cast<char>(0xC0 | c >> 6), out += static_cast<char>(0x80 | (c & 0x3F));
    else if (c < 0x10000)
      out += static_cast<char>(0xE0 | c >> 12), out += static_cast<char>(0x80 | ((c >> 6) & 0x3F)),
          out += static_cast<char>(0x80 | (c & 0x3F));
    else
      out += static_cast<char>(0xF0 | c >> 18), out += static_cast<char>(0x80 | ((c >> 12) & 0x3F)),
          out += static_cast<char>(0x80 | ((c >> 6) & 0x3F)), out += static_cast<char>(0x80 | (c & 0x3F));
  }
  if (!toNul) {
    while (!out.empty() && (out.back() == ' ' || out.back() == 0)) out.pop_back();
  }
  return out;
}

void ToWide(const std::string& s, uint8_t* p, size_t n, bool padBlank) {
  size_t o = 0;
  auto put = [&](uint32_t u) {
    if (o + 2 > n) return;
    p[o] = static_cast<uint8_t>(u), p[o + 1] = static_cast<uint8_t>(u >> 8), o += 2;
  };
  for (size_t i = 0; i < s.size();) {
    const auto b = static_cast<uint8_t>(s[i]);
    uint32_t c = b;
    size_t len = 1;
    if (b >= 0xF0 && i + 3 < s.size()) c = (b & 7) << 18 | (s[i + 1] & 0x3F) << 12 | (s[i + 2] & 0x3F) << 6 | (s[i + 3] & 0x3F), len = 4;
    else if (b >= 0xE0 && i + 2 < s.size()) c = (b & 0xF) << 12 | (s[i + 1] & 0x3F) << 6 | (s[i + 2] & 0x3F), len = 3;
    else if (b >= 0xC0 && i + 1 < s.size()) c = (b & 0x1F) << 6 | (s[i + 1] & 0x3F), len = 2;
    i += len;
    if (c >= 0x10000) {
      put(0xD800 + ((c - 0x10000) >> 10));
      put(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      put(c);
    }
  }
  while (o + 2 <= n) put(padBlank ? ' ' : 0);
}

bool ParseDate(const std::string& t, int& y, int& m, int& d) {
  return std::sscanf(t.c_str(), "%d-%d-%d", &y, &m, &d) == 3 || std::sscanf(t.c_str(), "%d/%d/%d", &m, &d, &y) == 3;
}

bool ParseTime(const std::string& t, int& h, int& mi, int& s, int& hs) {
  h = mi = s = hs = 0;
  const int n = std::sscanf(t.c_str(), "%d:%d:%d%*[.:]%d", &h, &mi, &s, &hs);
  return n >= 2;
}

}  // namespace

// Powers of ten up to 1e22 are exact doubles: read from a table, as every decimal and money
// value of a scan needs one.
double Scale(int decimals) {
  static constexpr double kExact[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                      1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                      1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  return decimals >= 0 && decimals <= 22 ? kExact[decimals] : std::pow(10.0, decimals);
}

int64_t PackedUnits(const uint8_t* p, size_t n) {
  if (n == 0) return 0;
  int64_t units = 0;
  const int sign = p[n - 1] & 0xF;
  // Up to 8 bytes hold at most 15 digits: no bound to watch, a byte at a time (a scan decodes
  // a value of every row).
  if (n <= 8) {
    for (size_t i = 0; i + 1 < n; ++i) units = units * 100 + kDigitPairs[p[i]];
    units = units * 10 + kDigitPairs[p[n - 1]] / 10;
    return sign == 0xD || sign == 0xB ? -units : units;
  }
  for (size_t i = 0; i < n; ++i) {
    const int hi = p[i] >> 4, lo = p[i] & 0xF;
    units = units * 10 + (hi > 9 ? 0 : hi);
    if (i + 1 < n) units = units * 10 + (lo > 9 ? 0 : lo);
    if (units > 99999999999999999) break;  // beyond 17 digits the value is not representable
  }
  return sign == 0xD || sign == 0xB ? -units : units;
}

double Value::AsReal() const {
  switch (kind) {
    case Int: return static_cast<double>(i);
    case Real: return r;
    case Text: return std::strtod(s.c_str(), nullptr);
    default: return 0;
  }
}

int64_t Value::AsInteger() const {
  switch (kind) {
    case Int: return i;
    case Real: return r >= 9.2e18 ? INT64_MAX : r <= -9.2e18 ? INT64_MIN : static_cast<int64_t>(r);
    case Text: return std::strtoll(s.c_str(), nullptr, 10);
    default: return 0;
  }
}

std::string Value::AsText() const {
  char buf[32];
  switch (kind) {
    case Int: return std::to_string(i);
    case Real: std::snprintf(buf, sizeof buf, "%.15g", r); return buf;
    case Text:
    case Blob: return s;
    default: return "";
  }
}

int Compare(const Value& a, const Value& b) {
  const auto rank = [](const Value& v) { return v.kind == Value::Null ? 0 : v.kind <= Value::Real ? 1 : 2; };
  if (rank(a) != rank(b)) return rank(a) < rank(b) ? -1 : 1;
  if (rank(a) == 0) return 0;
  if (rank(a) == 1) {
    if (a.kind == Value::Int && b.kind == Value::Int) return a.i < b.i ? -1 : a.i > b.i;
    const double x = a.AsReal(), y = b.AsReal();
    return x < y ? -1 : x > y;
  }
  const int c = a.s.compare(b.s);
  return c < 0 ? -1 : c > 0;
}

const char* SqlType(const FieldFormat& f) {
  switch (f.type) {
    case kInteger:
    case kUnsigned:
    case kAutoIncrement:
    case kLogical:
    case kBit:
    case kTimestamp:
      return f.size <= 8 ? "INTEGER" : "BLOB";
    case kFloat:
    case kBFloat:
    case kCurrency:
    case kMoney:
      return "REAL";
    case kDecimal:
    case kNumeric:
    case kNumericSts:
    case kNumericSa:
      return f.decimals ? "REAL" : "INTEGER";
    case kGuid:
      return "BLOB";
    default:
      return "TEXT";
  }
}

Value DecodePacked(const uint8_t* p, size_t n, int decimals) { return DecodeDecimal(p, n, decimals); }

Value Decode(const FieldFormat& f, const uint8_t* p, size_t available) {
  const size_t n = std::min<size_t>(f.size, available);
  const bool whole = n == f.size;
  switch (f.type) {
    case kString: return Value::String(Trimmed(p, n));
    case kZString: return Value::String(UntilNul(p, n));
    case kLString: {
      if (n == 0) return Value::String("");
      return Value::String(std::string(reinterpret_cast<const char*>(p + 1), std::min<size_t>(p[0], n - 1)));
    }
    case kNote: {
      const void* end = std::memchr(p, f.decimals, n);
      return Value::String(std::string(reinterpret_cast<const char*>(p), end ? static_cast<const uint8_t*>(end) - p : n));
    }
    case kLVar: {
      if (n < 2) return Value::String("");
      const size_t len = std::min<size_t>(ReadLe(p, 2), n - 2);
      return Value::String(std::string(reinterpret_cast<const char*>(p + 2), len));
    }
    case kWString: return Value::String(FromWide(p, n, false));
    case kWZString: return Value::String(FromWide(p, n, true));
    default: break;
  }
  if (!whole) return Value{};
  switch (f.type) {
    case kInteger:
    case kAutoIncrement:
      if (n == 1 || n == 2 || n == 4 || n == 8) return Value::Integer(SignExtend(ReadLe(p, n), n));
      break;
    case kUnsigned:
    case kLogical:
      if (n == 8 && ReadLe(p, 8) > static_cast<uint64_t>(INT64_MAX)) return Value::Float(static_cast<double>(ReadLe(p, 8)));
      if (n >= 1 && n <= 8) return Value::Integer(static_cast<int64_t>(ReadLe(p, n)));
      break;
    case kBit: return Value::Integer(n ? (p[0] >> (f.decimals & 7)) & 1 : 0);
    case kFloat:
      if (n == 4) {
        float v;
        std::memcpy(&v, p, 4);
        return Value::Float(v);
      }
      if (n == 8) {
        double v;
        std::memcpy(&v, p, 8);
        return Value::Float(v);
      }
      break;
    case kBFloat: return DecodeBFloat(p, n);
    case kDate: {
      if (n != 4) break;
      const int d = p[0], m = p[1], y = p[2] | p[3] << 8;
      if (d == 0 && m == 0 && y == 0) return Value{};
      char buf[16];
      std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, m, d);
      return Value::String(buf);
    }
    case kTime: {
      if (n != 4) break;
      char buf[24];
      if (p[0]) std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%02d", p[3], p[2], p[1], p[0]);
      else std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", p[3], p[2], p[1]);
      return Value::String(buf);
    }
    case kDecimal: return DecodeDecimal(p, n, f.decimals);
    case kMoney: return DecodeDecimal(p, n, 2);
    case kNumeric:
    case kNumericSa:
    case kNumericSts: return DecodeNumeric(p, n, f.decimals, f.type);
    case kCurrency:
      if (n == 8) return Value::Float(static_cast<double>(static_cast<int64_t>(ReadLe(p, 8))) / 10000.0);
      break;
    case kTimestamp:
      if (n == 8) return Value::Integer(static_cast<int64_t>(ReadLe(p, 8)));
      break;
    default: break;
  }
  return Value{Value::Blob, 0, 0, std::string(reinterpret_cast<const char*>(p), n)};
}

size_t Encode(const FieldFormat& f, const Value& v, uint8_t* p) {
  const size_t n = f.size;
  std::memset(p, 0, n);
  if (n == 0) return 0;
  switch (f.type) {
    case kString: {
      const std::string t = v.AsText();
      std::memset(p, ' ', n);
      std::memcpy(p, t.data(), std::min(n, t.size()));
      return n;
    }
    case kZString: {
      const std::string t = v.AsText();
      std::memcpy(p, t.data(), std::min(n - 1, t.size()));
      return n;
    }
    case kLString: {
      const std::string t = v.AsText();
      const size_t len = std::min({n - 1, t.size(), size_t{255}});
      p[0] = static_cast<uint8_t>(len);
      std::memcpy(p + 1, t.data(), len);
      return n;
    }
    case kNote: {
      const std::string t = v.AsText();
      const size_t len = std::min(n - 1, t.size());
      std::memcpy(p, t.data(), len);
      p[len] = f.decimals;
      return len + 1;
    }
    case kLVar: {
      if (n < 2) return n;
      const std::string t = v.AsText();
      const size_t len = std::min(n - 2, t.size());
      WriteLe(p, 2, len);
      std::memcpy(p + 2, t.data(), len);
      return len + 2;
    }
    case kWString: ToWide(v.AsText(), p, n, true); return n;
    case kWZString: ToWide(v.AsText(), p, n, false); return n;
    case kInteger:
    case kAutoIncrement:
    case kUnsigned:
    case kLogical:
    case kTimestamp:
      WriteLe(p, n, static_cast<uint64_t>(v.kind == Value::Real && f.type == kUnsigned && v.r >= 9.2e18
                                              ? static_cast<uint64_t>(v.r)
                                              : static_cast<uint64_t>(v.AsInteger())));
      return n;
    case kBit: p[0] = static_cast<uint8_t>((v.AsInteger() & 1) << (f.decimals & 7)); return n;
    case kFloat:
      if (n == 4) {
        const float x = static_cast<float>(v.AsReal());
        std::memcpy(p, &x, 4);
      } else if (n == 8) {
        const double x = v.AsReal();
        std::memcpy(p, &x, 8);
      }
      return n;
    case kBFloat: EncodeBFloat(p, n, v.AsReal()); return n;
    case kDate: {
      int y = 0, m = 0, d = 0;
      if (n == 4 && v.kind == Value::Text && ParseDate(v.s, y, m, d) && y >= 0 && y <= 65535 &&
          m >= 0 && m <= 255 && d >= 0 && d <= 255) {
        p[0] = static_cast<uint8_t>(d), p[1] = static_cast<uint8_t>(m);
        WriteLe(p + 2, 2, static_cast<uint64_t>(y));
      }
      return n;
    }
    case kTime: {
      int h, mi, s, hs;
      if (n == 4 && v.kind == Value::Text && ParseTime(v.s, h, mi, s, hs))
        p[0] = static_cast<uint8_t>(hs), p[1] = static_cast<uint8_t>(s),
        p[2] = static_cast<uint8_t>(mi), p[3] = static_cast<uint8_t>(h);
      return n;
    }
    case kDecimal: EncodeDecimal(p, n, Units(v, f.decimals)); return n;
    case kMoney: EncodeDecimal(p, n, Units(v, 2)); return n;
    case kNumeric:
    case kNumericSa:
    case kNumericSts: EncodeNumeric(p, n, Units(v, f.decimals), f.type); return n;
    case kCurrency:
      if (n == 8) WriteLe(p, 8, static_cast<uint64_t>(Units(v, 4)));
      return n;
    default: {
      const std::string t = v.AsText();
      std::memcpy(p, t.data(), std::min(n, t.size()));
      return n;
    }
  }
}

bool Extreme(const FieldFormat& f, bool highest, uint8_t* p) {
  const size_t n = f.size;
  switch (f.type) {
    case kString:
    case kZString:
    case kLString:
    case kUnsigned:
    case kLogical:
    case kDate:
    case kTime:
    case kTimestamp:
      std::memset(p, highest ? 0xFF : 0x00, n);
      return true;
    case kInteger:
    case kAutoIncrement:
    case kCurrency:
      if (n == 0 || n > 8) return false;
      std::memset(p, highest ? 0xFF : 0x00, n);
      p[n - 1] = highest ? 0x7F : 0x80;
      return true;
    case kFloat: {
      const double inf = highest ? std::numeric_limits<double>::infinity() : -std::numeric_limits<double>::infinity();
      if (n == 8) std::memcpy(p, &inf, 8);
      else if (n == 4) {
        const float x = static_cast<float>(inf);
        std::memcpy(p, &x, 4);
      } else {
        return false;
      }
      return true;
    }
    case kDecimal:
    case kMoney:
      if (n == 0) return false;
      std::memset(p, 0x99, n);
      p[n - 1] = highest ? 0x9F : 0x9D;
      return true;
    default:
      return false;
  }
}

}  // namespace vader::sqlengine
