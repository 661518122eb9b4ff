#include "microkernel/KeyEncoding.h"

#include <cstring>

namespace vader::microkernel {
namespace {

// Integers: big-endian with the sign bit flipped (signed) or as is (unsigned).
void AppendInteger(const uint8_t* src, size_t n, bool isSigned, Bytes& out) {
  for (size_t i = n; i-- > 0;) {
    uint8_t b = src[i];
    if (isSigned && i == n - 1) b ^= 0x80;
    out.push_back(static_cast<char>(b));
  }
}

void AppendBigEndian(uint64_t v, size_t n, Bytes& out) {
  for (size_t i = n; i-- > 0;) out.push_back(static_cast<char>(v >> (8 * i)));
}

// IEEE floats: negative values have every bit inverted, positive ones only the sign bit.
void AppendFloat(const uint8_t* src, size_t n, Bytes& out) {
  uint64_t bits = ReadUnsigned(src, n);
  const uint64_t sign = 1ull << (8 * n - 1);
  const uint64_t mask = n == 8 ? ~0ull : (1ull << 32) - 1;
  if ((bits & ~sign & mask) == 0) bits = 0;  // -0 equals +0
  bits = (bits & sign) ? (~bits & mask) : (bits | sign);
  AppendBigEndian(bits, n, out);
}

// Microsoft Binary Format: exponent in the last byte, sign in the top bit of the one before.
void AppendBFloat(const uint8_t* src, size_t n, Bytes& out) {
  const uint64_t top = 1ull << (8 * n - 1);
  const uint64_t exponent = src[n - 1];
  const bool negative = src[n - 2] & 0x80;
  uint64_t mantissa = ReadUnsigned(src, n - 1) & ((1ull << (8 * (n - 1) - 1)) - 1);
  uint64_t magnitude = exponent == 0 ? 0 : (exponent << (8 * (n - 1) - 1)) | mantissa;
  uint64_t v = (negative && magnitude) ? (top - 1 - magnitude) : (top | magnitude);
  AppendBigEndian(v, n, out);
}

// Signed digit strings (packed decimal and the numeric text types) share one form: a sign byte
// (0 negative, 1 positive) and one byte per digit, nine-complemented when negative.
void AppendDigits(bool negative, const Bytes& digits, Bytes& out) {
  bool zero = true;
  for (char d : digits) zero &= d == 0;
  negative &= !zero;
  out.push_back(negative ? 0 : 1);
  for (char d : digits) out.push_back(static_cast<char>(negative ? 9 - d : d));
}

char DigitOf(uint8_t c) { return (c >= '0' && c <= '9') ? static_cast<char>(c - '0') : 0; }

// Overpunched sign character: '0'-'9' '{' 'A'-'I' positive, '}' 'J'-'R' 'p'-'y' negative.
char Overpunch(uint8_t c, bool& negative) {
  negative = false;
  if (c >= '0' && c <= '9') return static_cast<char>(c - '0');
  if (c == '{') return 0;
  if (c >= 'A' && c <= 'I') return static_cast<char>(c - 'A' + 1);
  negative = true;
  if (c == '}') return 0;
  if (c >= 'J' && c <= 'R') return static_cast<char>(c - 'J' + 1);
  if (c >= 'p' && c <= 'y') return static_cast<char>(c - 'p');
  negative = c == '-';
  return 0;
}

void AppendPackedDecimal(const uint8_t* src, size_t n, Bytes& out) {
  Bytes digits;
  for (size_t i = 0; i < n; ++i) {
    digits.push_back(static_cast<char>(std::min(src[i] >> 4, 9)));
    if (i + 1 < n) digits.push_back(static_cast<char>(std::min(src[i] & 0x0F, 9)));
  }
  const uint8_t sign = src[n - 1] & 0x0F;
  AppendDigits(sign == 0x0D || sign == 0x0B, digits, out);
}

enum class SignAt { kTrailingOverpunch, kLeadingOverpunch, kTrailingSeparate, kLeadingSeparate };

void AppendNumericText(const uint8_t* src, size_t n, SignAt at, Bytes& out) {
  Bytes digits;
  bool negative = false;
  const bool leading = at == SignAt::kLeadingOverpunch || at == SignAt::kLeadingSeparate;
  const bool separate = at == SignAt::kLeadingSeparate || at == SignAt::kTrailingSeparate;
  const size_t signIndex = leading ? 0 : n - 1;
  for (size_t i = 0; i < n; ++i) {
    if (i != signIndex) {
      digits.push_back(DigitOf(src[i]));
    } else if (separate) {
      negative = src[i] == '-';
    } else {
      bool neg = false;
      digits.push_back(Overpunch(src[i], neg));
      negative = neg;
    }
  }
  AppendDigits(negative, digits, out);
}

}  // namespace

KeyCodec::KeyCodec(const KeyDef& key, const FileDefinition& def)
    : key_(key), length_(key.Length()), acs_(def.acs) {
  for (int c = 0; c < 256; ++c) upper_[c] = static_cast<uint8_t>(c >= 'a' && c <= 'z' ? c - 32 : c);
  const Bytes zeros(length_, '\0');
  encodedLength_ = Encode(reinterpret_cast<const uint8_t*>(zeros.data())).size();
}

Bytes KeyCodec::Extract(const uint8_t* record) const {
  Bytes out;
  out.reserve(length_);
  for (const Segment& s : key_.segments)
    out.append(reinterpret_cast<const char*>(record + s.Offset()), s.length);
  return out;
}

bool KeyCodec::SameIn(const uint8_t* a, const uint8_t* b) const {
  for (const Segment& s : key_.segments)
    if (std::memcmp(a + s.Offset(), b + s.Offset(), s.length) != 0) return false;
  return true;
}

bool KeyCodec::IsNull(const uint8_t* key) const {
  const uint16_t flags = key_.Flags();
  if (!(flags & (kKeyNullAll | kKeyNullAny))) return false;
  size_t nullSegments = 0;
  for (const Segment& s : key_.segments) {
    bool allNull = true;
    for (size_t i = 0; i < s.length && allNull; ++i) allNull = key[i] == s.nullValue;
    nullSegments += allNull;
    key += s.length;
  }
  return (flags & kKeyNullAny) ? nullSegments > 0 : nullSegments == key_.segments.size();
}

bool KeyCodec::HasNullIndicatorSet(const uint8_t* key) const {
  for (const Segment& s : key_.segments) {
    if (s.type == kNullIndicator && key[0] != 0) return true;
    key += s.length;
  }
  return false;
}

void KeyCodec::ExtractInto(const uint8_t* record, uint8_t* out) const {
  for (const Segment& s : key_.segments) {
    std::memcpy(out, record + s.Offset(), s.length);
    out += s.length;
  }
}

Bytes KeyCodec::Encode(const uint8_t* key) const {
  Bytes out;
  EncodeInto(key, out);
  return out;
}

void KeyCodec::EncodeInto(const uint8_t* key, Bytes& out) const {
  out.clear();
  for (const Segment& s : key_.segments) {
    const size_t start = out.size();
    EncodeSegment(s, key, out);
    if (s.flags & kKeyDescending)
      for (size_t i = start; i < out.size(); ++i) out[i] = static_cast<char>(~out[i]);
    key += s.length;
  }
}

const uint8_t* KeyCodec::CollationTable(const Segment& s) const {
  if ((s.flags & kKeyAcs) && s.acsNumber < acs_.size())
    return reinterpret_cast<const uint8_t*>(acs_[s.acsNumber].data()) + 9;
  if (s.flags & kKeyNoCase) return upper_;
  return nullptr;
}

void KeyCodec::EncodeSegment(const Segment& s, const uint8_t* src, Bytes& out) const {
  const size_t n = s.length;
  const uint8_t* table = CollationTable(s);
  auto text = [&](const uint8_t* p, size_t count, size_t width) {
    for (size_t i = 0; i < count; ++i) out.push_back(static_cast<char>(table ? table[p[i]] : p[i]));
    out.append(width - count, '\0');
  };
  switch (s.type) {
    case kString:
      text(src, n, n);
      break;
    case kLString:
      text(src + 1, std::min<size_t>(src[0], n - 1), n - 1);
      break;
    case kZString:
      text(src, strnlen(reinterpret_cast<const char*>(src), n), n);
      break;
    case kWString:
    case kWZString: {
      size_t units = n / 2;
      if (s.type == kWZString)
        for (size_t i = 0; i < units; ++i)
          if (src[2 * i] == 0 && src[2 * i + 1] == 0) {
            units = i;
            break;
          }
      for (size_t i = 0; i < n / 2; ++i) {
        uint16_t u = i < units ? ReadU16(src + 2 * i) : 0;
        if (table && u < 256) u = table[u];
        AppendBigEndian(u, 2, out);
      }
      break;
    }
    case kInteger:
    case kAutoIncrement:
    case kCurrency:
      AppendInteger(src, n, true, out);
      break;
    case kFloat:
      AppendFloat(src, n, out);
      break;
    case kBFloat:
      AppendBFloat(src, n, out);
      break;
    case kDate:
      AppendBigEndian(ReadU16(src + 2), 2, out);
      out.push_back(static_cast<char>(src[1]));
      out.push_back(static_cast<char>(src[0]));
      break;
    case kTime:
      for (int i = 3; i >= 0; --i) out.push_back(static_cast<char>(src[i]));
      break;
    case kDecimal:
    case kMoney:
      AppendPackedDecimal(src, n, out);
      break;
    case kNumeric:
    case kNumericSa:
    case kNumericStb:
      AppendNumericText(src, n, SignAt::kTrailingOverpunch, out);
      break;
    case kNumericSlb:
      AppendNumericText(src, n, SignAt::kLeadingOverpunch, out);
      break;
    case kNumericSts:
      AppendNumericText(src, n, SignAt::kTrailingSeparate, out);
      break;
    case kNumericSls:
      AppendNumericText(src, n, SignAt::kLeadingSeparate, out);
      break;
    case kGuid:
    case kNullIndicator:
      out.append(reinterpret_cast<const char*>(src), n);
      break;
    default:  // unsigned little-endian numbers: logical, binary, timestamps
      AppendInteger(src, n, false, out);
      break;
  }
}

}  // namespace vader::microkernel
