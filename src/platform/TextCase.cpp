#include "platform/TextCase.h"

#include <algorithm>
#include <array>
#include <utility>

#include "platform/CodePage.h"

namespace vader::platform {
namespace {

unsigned char AsciiLower(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; }

// Windows-1252 lower-case mapping of every byte.
constexpr std::array<unsigned char, 256> MakeLowerTable() {
  std::array<unsigned char, 256> t{};
  for (int i = 0; i < 256; ++i) t[i] = static_cast<unsigned char>(i);
  for (int c = 'A'; c <= 'Z'; ++c) t[c] = static_cast<unsigned char>(c + 32);
  for (int c = 0xC0; c <= 0xDE; ++c)
    if (c != 0xD7) t[c] = static_cast<unsigned char>(c + 32);  // 0xD7 is the multiplication sign
  t[0x8A] = 0x9A;  // Š
  t[0x8C] = 0x9C;  // Œ
  t[0x8E] = 0x9E;  // Ž
  t[0x9F] = 0xFF;  // Ÿ
  return t;
}
constexpr auto kLower = MakeLowerTable();

// The folded form of one character: one or two bytes (the ligatures expand).
struct Folded {
  unsigned char first;
  unsigned char second;  // 0 when there is none
};

Folded Fold(char ch) {
  const unsigned char c = kLower[static_cast<unsigned char>(ch)];
  switch (c) {
    case 0xDF: return {'s', 's'};  // ß
    case 0xE6: return {'a', 'e'};  // æ
    case 0x9C: return {'o', 'e'};  // œ
    default: return {c, 0};
  }
}

// The lower case of a Unicode letter of the Latin, Greek and Cyrillic scripts.
char32_t LowerCharacter(char32_t c) {
  if (c < 0x80) return AsciiLower(static_cast<unsigned char>(c));
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 0x20;
  if (c == 0x178) return 0xFF;  // Ÿ
  const bool evenUpper = (c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177);
  const bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
  if ((evenUpper && c % 2 == 0) || (oddUpper && c % 2 == 1)) return c + 1;
  if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return c + 0x20;  // Greek
  if (c >= 0x410 && c <= 0x42F) return c + 0x20;                // Cyrillic
  if (c >= 0x400 && c <= 0x40F) return c + 0x50;                // Cyrillic Ѐ to Џ
  return c;
}

// The folded UTF-8 of one character; the ligatures and sharp s expand.
std::string FoldCharacter(char32_t c) {
  switch (c = LowerCharacter(c)) {
    case 0xDF:
      return "ss";
    case 0xE6:
      return "ae";
    case 0x153:
      return "oe";
    default:
      return Utf8Of(c);
  }
}

// Walks the folded bytes of a text without building it: 8-bit ANSI text byte by byte, UTF-8
// text (when that is the ANSI code page) character by character.
class FoldedReader {
 public:
  explicit FoldedReader(std::string_view text) : FoldedReader(text, AnsiIsUtf8()) {}
  FoldedReader(std::string_view text, bool utf8) : text_(text), utf8_(utf8) {}
  bool AtEnd() const { return pending_.empty() && at_ == text_.size(); }
  unsigned char Next() {
    if (pending_.empty()) {
      if (utf8_) {
        pending_ = FoldCharacter(NextUtf8Character(text_, at_));
      } else {
        const Folded f = Fold(text_[at_++]);
        pending_ = static_cast<char>(f.first);
        if (f.second) pending_ += static_cast<char>(f.second);
      }
      std::reverse(pending_.begin(), pending_.end());
    }
    const auto next = static_cast<unsigned char>(pending_.back());
    pending_.pop_back();
    return next;
  }

 private:
  std::string_view text_;
  bool utf8_;
  std::size_t at_ = 0;
  std::string pending_;  // the rest of the current character's folded bytes, last first
};

std::string FoldKey(std::string_view text, bool utf8) {
  std::string key;
  key.reserve(text.size());
  for (FoldedReader reader(text, utf8); !reader.AtEnd();) key += static_cast<char>(reader.Next());
  return key;
}

}  // namespace

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (AsciiLower(static_cast<unsigned char>(a[i])) != AsciiLower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

std::string AsciiUpperCase(std::string_view s) {
  std::string out(s);
  for (auto& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return out;
}

std::string LocaleFoldKey(std::string_view text) { return FoldKey(text, AnsiIsUtf8()); }

std::string Utf8FoldKey(std::string_view utf8) { return FoldKey(utf8, true); }

int CompareTextLocale(std::string_view a, std::string_view b) {
  FoldedReader left(a), right(b);
  while (!left.AtEnd() && !right.AtEnd()) {
    const unsigned char l = left.Next(), r = right.Next();
    if (l != r) return l < r ? -1 : 1;
  }
  return left.AtEnd() ? (right.AtEnd() ? 0 : -1) : 1;
}

}  // namespace vader::platform
