// Key collation: every key type's encoded form must sort like the type's values, checked over
// value ranges on the codec, and once end to end through the index.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <random>

#include "Fixture.h"
#include "microkernel/KeyEncoding.h"

namespace vader::microkernel {
namespace {

using test::Le;

KeyCodec CodecFor(uint8_t type, uint16_t length, uint16_t flags = 0, Bytes acs = Bytes()) {
  FileDefinition def;
  def.recordLength = 300;
  def.pageSize = 4096;
  if (!acs.empty()) def.acs.push_back(acs);
  KeyDef key;
  Segment s;
  s.position = 1;
  s.length = length;
  s.flags = static_cast<uint16_t>(flags | kKeyExtendedType);
  s.rawType = s.type = type;
  key.segments.push_back(s);
  def.keys.push_back(key);
  return KeyCodec(def.keys[0], def);
}

Bytes Enc(const KeyCodec& codec, const Bytes& value) {
  Bytes v = value;
  v.resize(codec.Length(), '\0');
  return codec.Encode(reinterpret_cast<const uint8_t*>(v.data()));
}

// Values listed in ascending order must encode strictly ascending (or equal where marked).
void ExpectAscending(const KeyCodec& codec, const std::vector<Bytes>& values) {
  for (size_t i = 1; i < values.size(); ++i)
    EXPECT_LT(Enc(codec, values[i - 1]), Enc(codec, values[i])) << "at " << i;
}

// Random values of a numeric type sort like their numeric value.
template <typename T>
void ExpectNumericOrder(const KeyCodec& codec, std::function<T(std::mt19937_64&)> gen,
                        std::function<Bytes(T)> store) {
  std::mt19937_64 rng(42);
  std::vector<T> values;
  for (int i = 0; i < 2000; ++i) values.push_back(gen(rng));
  std::sort(values.begin(), values.end());
  for (size_t i = 1; i < values.size(); ++i) {
    const Bytes a = Enc(codec, store(values[i - 1])), b = Enc(codec, store(values[i]));
    if (values[i - 1] == values[i])
      EXPECT_EQ(a, b);
    else
      EXPECT_LT(a, b) << values[i - 1] << " vs " << values[i];
  }
}

TEST(KeyOrderingTest, SignedAndUnsignedIntegersOfEveryLength) {
  for (uint16_t n : {1, 2, 4, 8}) {
    const int bits = 8 * n;
    auto gen = [bits](std::mt19937_64& r) {
      const int64_t v = static_cast<int64_t>(r());
      return bits == 64 ? v : (v >> (64 - bits));
    };
    auto store = [n](int64_t v) { return Le(static_cast<uint64_t>(v), n); };
    ExpectNumericOrder<int64_t>(CodecFor(kInteger, n), gen, store);
    ExpectNumericOrder<int64_t>(CodecFor(kAutoIncrement, n == 1 ? 2 : n), gen, [n](int64_t v) {
      return Le(static_cast<uint64_t>(v), n == 1 ? 2 : n);
    });
    auto ugen = [bits](std::mt19937_64& r) { return bits == 64 ? r() : r() >> (64 - bits); };
    ExpectNumericOrder<uint64_t>(CodecFor(kUnsignedBinary, n), ugen,
                                 [n](uint64_t v) { return Le(v, n); });
  }
  ExpectNumericOrder<int64_t>(
      CodecFor(kCurrency, 8), [](std::mt19937_64& r) { return static_cast<int64_t>(r()); },
      [](int64_t v) { return Le(static_cast<uint64_t>(v), 8); });
  ExpectAscending(CodecFor(kLogical, 2), {Le(0, 2), Le(1, 2), Le(255, 2), Le(256, 2)});
  ExpectAscending(CodecFor(kTimestamp, 8), {Le(0, 8), Le(1, 8), Le(1ull << 40, 8), Le(~0ull, 8)});
}

TEST(KeyOrderingTest, IeeeFloats) {
  auto gen = [](std::mt19937_64& r) {
    std::uniform_real_distribution<double> d(-1e6, 1e6);
    const double v = d(r);
    return (r() % 4 == 0) ? std::ldexp(v, static_cast<int>(r() % 200) - 100) : v;
  };
  ExpectNumericOrder<double>(CodecFor(kFloat, 8), gen, [](double v) {
    Bytes b(8, '\0');
    std::memcpy(b.data(), &v, 8);
    return b;
  });
  ExpectNumericOrder<float>(
      CodecFor(kFloat, 4), [&](std::mt19937_64& r) { return static_cast<float>(gen(r)); },
      [](float v) {
        Bytes b(4, '\0');
        std::memcpy(b.data(), &v, 4);
        return b;
      });
  const KeyCodec c = CodecFor(kFloat, 8);
  double plus = 0.0, minus = -0.0;
  EXPECT_EQ(Enc(c, Bytes(reinterpret_cast<char*>(&plus), 8)),
            Enc(c, Bytes(reinterpret_cast<char*>(&minus), 8)));
}

// Microsoft Binary Format single: exponent byte 3 (bias 129 for 0.5..1 mantissa), sign bit in
// byte 2.
Bytes Mbf(double v) {
  Bytes b(4, '\0');
  if (v == 0) return b;
  int exp = 0;
  const double m = std::frexp(std::fabs(v), &exp);  // 0.5 <= m < 1
  const auto mant = static_cast<uint32_t>(std::ldexp(m, 24)) & 0x7FFFFF;
  b[0] = static_cast<char>(mant);
  b[1] = static_cast<char>(mant >> 8);
  b[2] = static_cast<char>(((mant >> 16) & 0x7F) | (v < 0 ? 0x80 : 0));
  b[3] = static_cast<char>(exp + 128);
  return b;
}

TEST(KeyOrderingTest, BasicFloats) {
  ExpectAscending(CodecFor(kBFloat, 4), {Mbf(-1000), Mbf(-2.5), Mbf(-0.75), Mbf(0), Mbf(0.001),
                                         Mbf(0.75), Mbf(1), Mbf(2.5), Mbf(1e6)});
}

TEST(KeyOrderingTest, DatesAndTimes) {
  auto date = [](int y, int m, int d) {
    return Bytes{static_cast<char>(d), static_cast<char>(m)} + Le(static_cast<uint16_t>(y), 2);
  };
  ExpectAscending(CodecFor(kDate, 4), {date(1899, 12, 31), date(1900, 1, 1), date(1900, 1, 2),
                                       date(1900, 2, 1), date(2024, 2, 29), date(2024, 12, 1)});
  auto time = [](int h, int m, int s, int c) {
    return Bytes{static_cast<char>(c), static_cast<char>(s), static_cast<char>(m),
                 static_cast<char>(h)};
  };
  ExpectAscending(CodecFor(kTime, 4), {time(0, 0, 0, 0), time(0, 0, 0, 99), time(0, 0, 1, 0),
                                       time(0, 59, 59, 99), time(1, 0, 0, 0), time(23, 0, 0, 0)});
}

TEST(KeyOrderingTest, DecimalAndNumericTexts) {
  auto packed = [](const std::string& digits, bool negative) {  // 3 bytes: 5 digits + sign
    Bytes b(3, '\0');
    const std::string d = std::string(5 - digits.size(), '0') + digits;
    b[0] = static_cast<char>((d[0] - '0') << 4 | (d[1] - '0'));
    b[1] = static_cast<char>((d[2] - '0') << 4 | (d[3] - '0'));
    b[2] = static_cast<char>((d[4] - '0') << 4 | (negative ? 0xD : 0xC));
    return b;
  };
  ExpectAscending(CodecFor(kDecimal, 3), {packed("99999", true), packed("120", true),
                                          packed("1", true), packed("0", false), packed("7", false),
                                          packed("120", false), packed("99999", false)});
  EXPECT_EQ(Enc(CodecFor(kDecimal, 3), packed("0", true)),
            Enc(CodecFor(kDecimal, 3), packed("0", false)));
  // NUMERIC: overpunched last digit ('}' 'J'-'R' negative, '{' 'A'-'I' positive).
  ExpectAscending(CodecFor(kNumeric, 4), {"012R", "001J", "000}", "0003", "000D", "0120"});
  ExpectAscending(CodecFor(kNumericSts, 5), {"0099-", "0001-", "0000+", "0001+", "0010+"});
  ExpectAscending(CodecFor(kNumericSls, 5), {"-0099", "-0001", "+0000", " 0001", "+0010"});
  ExpectAscending(CodecFor(kNumericSa, 3), {"01y", "00q", "000", "005", "010"});
}

TEST(KeyOrderingTest, Strings) {
  ExpectAscending(CodecFor(kString, 4), {"AAAA", "AB  ", "Ab  ", "a   ", "\xE9   "});
  const KeyCodec nocase = CodecFor(kString, 4, kKeyNoCase);
  EXPECT_EQ(Enc(nocase, "abcd"), Enc(nocase, "ABCD"));
  EXPECT_LT(Enc(nocase, "abcd"), Enc(nocase, "ABCE"));
  // LSTRING compares the counted bytes only; ZSTRING stops at the terminator.
  const KeyCodec l = CodecFor(kLString, 6);
  EXPECT_EQ(Enc(l, Bytes("\x02"
                         "abXYZ",
                         6)),
            Enc(l, Bytes("\x02"
                         "ab\0\0\0",
                         6)));
  ExpectAscending(l, {Bytes("\x01"
                            "b",
                            2),
                      Bytes("\x02"
                            "ba",
                            3),
                      Bytes("\x01"
                            "c",
                            2)});
  const KeyCodec z = CodecFor(kZString, 6);
  EXPECT_EQ(Enc(z, Bytes("ab\0XYZ", 6)), Enc(z, Bytes("ab\0\0\0\0", 6)));
  ExpectAscending(z, {Bytes("ab\0", 3), Bytes("abc\0", 4), Bytes("b\0", 2)});
  // WSTRING compares 16-bit code units.
  ExpectAscending(CodecFor(kWString, 4), {Bytes("a\0b\0", 4),
                                          Bytes("\x00\x01"
                                                "a\0",
                                                4),
                                          Bytes("\x00\x02"
                                                "\0\0",
                                                4)});
}

TEST(KeyOrderingTest, DescendingAndAlternateCollation) {
  const KeyCodec desc = CodecFor(kInteger, 2, kKeyDescending);
  EXPECT_GT(Enc(desc, Le(1, 2)), Enc(desc, Le(2, 2)));
  EXPECT_GT(Enc(desc, Le(static_cast<uint64_t>(-5), 2)), Enc(desc, Le(3, 2)));
  // An ACS that sorts digits after letters.
  Bytes acs(265, '\0');
  acs[0] = static_cast<char>(0xAC);
  for (int c = 0; c < 256; ++c) acs[9 + c] = static_cast<char>(c);
  for (int c = '0'; c <= '9'; ++c) acs[9 + c] = static_cast<char>(200 + c - '0');
  const KeyCodec withAcs = CodecFor(kString, 2, kKeyAcs, acs);
  ExpectAscending(withAcs, {"AA", "ZZ", "zz", "00", "99"});
}

TEST(KeyOrderingTest, NullRules) {
  FileDefinition def;
  def.recordLength = 10;
  KeyDef key;
  for (uint16_t pos : {1, 3}) {
    Segment s;
    s.position = pos;
    s.length = 2;
    s.flags = kKeyNullAll | kKeySegmented;
    s.nullValue = ' ';
    key.segments.push_back(s);
  }
  KeyCodec all(key, def);
  EXPECT_TRUE(all.IsNull(reinterpret_cast<const uint8_t*>("    ")));
  EXPECT_FALSE(all.IsNull(reinterpret_cast<const uint8_t*>("  x ")));
  for (Segment& s : key.segments) s.flags = kKeyNullAny | kKeySegmented;
  KeyCodec any(key, def);
  EXPECT_TRUE(any.IsNull(reinterpret_cast<const uint8_t*>("  x ")));
  EXPECT_FALSE(any.IsNull(reinterpret_cast<const uint8_t*>(" x x ")));
}

// End to end: a segmented key (STRING no-case, then INTEGER descending) walked through the
// library sorts like the encoded keys.
class IndexOrderTest : public test::ApiTest {};

TEST_F(IndexOrderTest, SegmentedKeyWalkFollowsTheCollation) {
  using namespace test;
  ASSERT_EQ(0, Create(Path("s"),
                      Layout(16)
                          .Key({{1, 4, 0, tInteger}})
                          .Key({{5, 3, kNoCase | kDup, tString}, {8, 2, kDup | kDesc, tInteger}})
                          .Bytes()));
  File f;
  ASSERT_EQ(0, f.Open(Path("s")));
  std::mt19937 rng(7);
  std::vector<std::pair<std::string, int16_t>> values;
  const char* words[] = {"abc", "ABD", "Abc", "zzz", "aaa", "ABC"};
  for (int id = 0; id < 60; ++id) {
    const std::string w = words[rng() % 6];
    const auto n = static_cast<int16_t>(static_cast<int>(rng() % 7) - 3);
    values.emplace_back(w, n);
    ASSERT_EQ(0, f.Insert(Le(static_cast<uint32_t>(id), 4) + w + Le(static_cast<uint16_t>(n), 2) +
                          std::string(7, '\0')));
  }
  std::vector<std::pair<std::string, int>> walked;
  for (int16_t s = f.Get(kGetFirst, 1); s == 0; s = f.Get(kGetNext, 1)) {
    std::string w = f.record.substr(4, 3);
    for (char& ch : w) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    walked.emplace_back(w, -static_cast<int16_t>(FromLe(f.record, 7, 2)));
  }
  ASSERT_EQ(values.size(), walked.size());
  EXPECT_TRUE(std::is_sorted(walked.begin(), walked.end()));
}

}  // namespace
}  // namespace vader::microkernel
