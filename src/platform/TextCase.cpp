#include "platform/TextCase.h"

#include <array>
#include <utility>

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

// Walks the folded bytes of a text without building it.
class FoldedReader {
 public:
  explicit FoldedReader(std::string_view text) : text_(text) {}
  bool AtEnd() const { return pendingSecond_ == 0 && at_ == text_.size(); }
  unsigned char Next() {
    if (pendingSecond_) return std::exchange(pendingSecond_, 0);
    const Folded f = Fold(text_[at_++]);
    pendingSecond_ = f.second;
    return f.first;
  }

 private:
  std::string_view text_;
  std::size_t at_ = 0;
  unsigned char pendingSecond_ = 0;
};

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

std::string LocaleFoldKey(std::string_view text) {
  std::string key;
  key.reserve(text.size());
  for (FoldedReader reader(text); !reader.AtEnd();) key += static_cast<char>(reader.Next());
  return key;
}

int CompareTextLocale(std::string_view a, std::string_view b) {
  FoldedReader left(a), right(b);
  while (!left.AtEnd() && !right.AtEnd()) {
    const unsigned char l = left.Next(), r = right.Next();
    if (l != r) return l < r ? -1 : 1;
  }
  return left.AtEnd() ? (right.AtEnd() ? 0 : -1) : 1;
}

}  // namespace vader::platform
