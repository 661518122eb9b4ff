#include "platform/TextCase.h"

#include <array>

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
  for (char ch : text) {
    const unsigned char c = kLower[static_cast<unsigned char>(ch)];
    switch (c) {
      case 0xDF: key += "ss"; break;  // ß
      case 0xE6: key += "ae"; break;  // æ
      case 0x9C: key += "oe"; break;  // œ
      default: key += static_cast<char>(c);
    }
  }
  return key;
}

int CompareTextLocale(std::string_view a, std::string_view b) {
  return LocaleFoldKey(a).compare(LocaleFoldKey(b));
}

}  // namespace vader::platform
