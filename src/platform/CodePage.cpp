#include "platform/CodePage.h"

#include <iconv.h>

#include <array>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <unordered_map>

namespace vader::platform {
namespace {

struct CodePages {
  std::mutex mutex;
  std::string ansi = "WINDOWS-1252";
  std::string oem = "CP437";
  std::atomic<bool> ansiIsUtf8{false};  // read without the lock by every text comparison
};

CodePages& Pages() {
  static CodePages pages;
  return pages;
}

bool IconvKnows(const std::string& name) {
  iconv_t cd = iconv_open("UTF-8", name.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  iconv_close(cd);
  return true;
}

// Converts Input; an input sequence the source cannot decode or the target cannot hold
// becomes one '?' (one per character), so no text is ever cut short.
std::string Convert(std::string_view input, const std::string& from, const std::string& to) {
  iconv_t cd = iconv_open(to.c_str(), from.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(input);
  std::string out;
  out.reserve(input.size() * 2);
  char* in = const_cast<char*>(input.data());
  std::size_t inLeft = input.size();
  char buffer[256];
  const bool fromUtf8 = from == "UTF-8";
  while (inLeft > 0) {
    char* outPtr = buffer;
    std::size_t outLeft = sizeof buffer;
    const std::size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
    if (rc == static_cast<std::size_t>(-1) && errno != E2BIG) {
      out += '?';  // EILSEQ or EINVAL: skip the offending character
      ++in;
      --inLeft;
      while (fromUtf8 && inLeft > 0 && (static_cast<unsigned char>(*in) & 0xC0) == 0x80) {
        ++in;
        --inLeft;
      }
    }
  }
  iconv_close(cd);
  return out;
}

// One single-byte code page both ways: the UTF-8 of every byte, and the byte of every
// character it holds.
struct ByteTable {
  std::array<std::string, 256> decode;
  std::unordered_map<char32_t, unsigned char> encode;
};

constexpr char32_t kUndefinedByteBase = 0xF700;  // private-use characters for undefined bytes

std::string EncodeUtf8(char32_t c) {
  std::string out;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
  return out;
}

// The character at At of UTF-8 text and its length in bytes; a byte that does not start a
// well-formed sequence is returned as the private-use character of that byte.
std::pair<char32_t, std::size_t> NextCharacter(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  if (lead < 0x80) return {lead, 1};
  const std::size_t length = lead >= 0xF0 && lead < 0xF5 ? 4
                             : lead >= 0xE0              ? 3
                             : lead >= 0xC2              ? 2
                                                         : 0;
  if (length == 0 || lead >= 0xF5 || at + length > text.size())
    return {kUndefinedByteBase + lead, 1};
  char32_t c = lead & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return {kUndefinedByteBase + lead, 1};
    c = (c << 6) | (byte(at + i) & 0x3F);
  }
  const bool overlong = (length == 3 && c < 0x800) || (length == 4 && c < 0x10000);
  if (overlong || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
    return {kUndefinedByteBase + lead, 1};
  return {c, length};
}

bool IsUtf8(const std::string& codePage) { return codePage == "UTF-8"; }

ByteTable BuildTable(const std::string& codePage) {
  ByteTable table;
  iconv_t cd = iconv_open("UTF-8", codePage.c_str());
  for (int b = 0; b < 256; ++b) {
    char in = static_cast<char>(b);
    char out[8];
    char* inPtr = &in;
    char* outPtr = out;
    std::size_t inLeft = 1, outLeft = sizeof out;
    std::string text;
    if (cd != reinterpret_cast<iconv_t>(-1) &&
        iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<std::size_t>(-1) &&
        outPtr != out)
      text.assign(out, static_cast<std::size_t>(outPtr - out));
    if (cd != reinterpret_cast<iconv_t>(-1)) iconv(cd, nullptr, nullptr, nullptr, nullptr);
    const auto [c, used] =
        text.empty() ? std::pair<char32_t, std::size_t>{0, 0} : NextCharacter(text, 0);
    const bool single = !text.empty() && used == text.size() && c < kUndefinedByteBase;
    table.decode[static_cast<std::size_t>(b)] =
        single ? text : EncodeUtf8(kUndefinedByteBase + static_cast<char32_t>(b));
    table.encode.emplace(single ? c : kUndefinedByteBase + static_cast<char32_t>(b),
                         static_cast<unsigned char>(b));
  }
  if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
  return table;
}

const ByteTable& TableOf(const std::string& codePage) {
  static std::mutex mutex;
  static std::map<std::string, ByteTable> tables;
  std::lock_guard lock(mutex);
  auto found = tables.find(codePage);
  if (found == tables.end()) found = tables.emplace(codePage, BuildTable(codePage)).first;
  return found->second;
}

// The pair of code pages the original platform used for a language (ISO 639 code).
CodePagePair LanguagePair(std::string_view language) {
  struct Pair {
    const char* languages;
    const char* ansi;
    const char* oem;
  };
  static constexpr Pair kPairs[] = {
      {" de fr es it pt nl da sv no nb nn fi is ca eu gl af ", "WINDOWS-1252", "CP850"},
      {" ru uk be bg mk sr kk ky tt ", "WINDOWS-1251", "CP866"},
      {" pl cs hu sk sl hr ro bs sq ", "WINDOWS-1250", "CP852"},
      {" el ", "WINDOWS-1253", "CP737"},
      {" tr az ", "WINDOWS-1254", "CP857"},
      {" he iw ", "WINDOWS-1255", "CP862"},
      {" ar fa ur ", "WINDOWS-1256", "CP720"},
      {" et lv lt ", "WINDOWS-1257", "CP775"},
      {" vi ", "WINDOWS-1258", "CP1258"},
      {" th ", "CP874", "CP874"},
  };
  const std::string key = " " + std::string(language) + " ";
  for (const Pair& p : kPairs)
    if (language.size() >= 2 && std::string_view(p.languages).find(key) != std::string_view::npos)
      return {p.ansi, p.oem};
  return {"WINDOWS-1252", "CP437"};  // English and the C locale
}

std::pair<std::string, std::string> Current() {
  CodePages& pages = Pages();
  std::lock_guard lock(pages.mutex);
  return {pages.ansi, pages.oem};
}

}  // namespace

std::string AnsiToUtf8(std::string_view ansi) { return Convert(ansi, Current().first, "UTF-8"); }
std::string Utf8ToAnsi(std::string_view utf8) { return Convert(utf8, "UTF-8", Current().first); }

std::string CharToOem(std::string_view ansi) {
  const auto [a, o] = Current();
  return Convert(ansi, a, o);
}

std::string OemToChar(std::string_view oem) {
  const auto [a, o] = Current();
  return Convert(oem, o, a);
}

bool SetAnsiCodePage(const std::string& iconvName) {
  if (!IconvKnows(iconvName)) return false;
  std::lock_guard lock(Pages().mutex);
  Pages().ansi = iconvName;
  Pages().ansiIsUtf8 = iconvName == "UTF-8";
  return true;
}

bool SetOemCodePage(const std::string& iconvName) {
  if (!IconvKnows(iconvName)) return false;
  std::lock_guard lock(Pages().mutex);
  Pages().oem = iconvName;
  return true;
}

std::string AnsiCodePage() { return Current().first; }
bool AnsiIsUtf8() { return Pages().ansiIsUtf8; }
std::string OemCodePage() { return Current().second; }

std::string CodePageName(std::string_view given) {
  std::string name;
  for (char c : given)
    if (c != ' ') name += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (name.empty()) return {};
  if (name == "UTF8" || name == "UTF-8" || name == "65001") return "UTF-8";
  const bool number = name.find_first_not_of("0123456789") == std::string::npos;
  if (number) name = (name.size() == 4 && name.starts_with("12") ? "WINDOWS-" : "CP") + name;
  return IconvKnows(name) ? name : std::string();
}

CodePagePair CodePagesForLocale(std::string_view locale) {
  const std::size_t dot = locale.find('.');
  std::string charset(dot == std::string_view::npos ? std::string_view() : locale.substr(dot + 1));
  charset = charset.substr(0, charset.find('@'));
  const std::string_view name = locale.substr(0, std::min(dot, locale.find('@')));
  const std::string_view language = name.substr(0, name.find('_'));
  CodePagePair pair = LanguagePair(language);
  // English outside the United States used the multilingual OEM page.
  if (language == "en" && name != "en" && name != "en_US") pair.oem = "CP850";
  if (CodePageName(charset) == "UTF-8") pair.ansi = "UTF-8";
  if (!IconvKnows(pair.oem)) pair.oem = "CP437";  // glibc lacks some (720, Arabic)
  return pair;
}

void UseLocaleCodePages() {
  const char* locale = nullptr;
  for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    locale = std::getenv(variable);
    if (locale != nullptr && *locale != '\0') break;
  }
  const CodePagePair pair = CodePagesForLocale(locale != nullptr ? locale : "");
  SetAnsiCodePage(pair.ansi);
  SetOemCodePage(pair.oem);
}

std::string DecodeText(std::string_view bytes, const std::string& codePage) {
  std::string out;
  out.reserve(bytes.size());
  if (IsUtf8(codePage)) {
    for (std::size_t at = 0; at < bytes.size();) {
      const auto [c, length] = NextCharacter(bytes, at);
      if (c >= kUndefinedByteBase && c < kUndefinedByteBase + 256 && length == 1)
        out += EncodeUtf8(c);
      else
        out.append(bytes.substr(at, length));
      at += length;
    }
    return out;
  }
  const ByteTable& table = TableOf(codePage);
  for (char b : bytes) out += table.decode[static_cast<unsigned char>(b)];
  return out;
}

EncodedText EncodeText(std::string_view utf8, const std::string& codePage) {
  EncodedText result;
  const ByteTable* table = IsUtf8(codePage) ? nullptr : &TableOf(codePage);
  for (std::size_t at = 0; at < utf8.size();) {
    const auto [c, length] = NextCharacter(utf8, at);
    const bool undefinedByte = c >= kUndefinedByteBase && c < kUndefinedByteBase + 256;
    if (table == nullptr) {
      if (undefinedByte)
        result.bytes += static_cast<char>(c - kUndefinedByteBase);
      else
        result.bytes.append(utf8.substr(at, length));
    } else if (const auto found = table->encode.find(c); found != table->encode.end()) {
      result.bytes += static_cast<char>(found->second);
    } else {
      return EncodedText{false, {}, std::string(utf8.substr(at, length))};
    }
    at += length;
  }
  return result;
}

char32_t NextUtf8Character(std::string_view utf8, std::size_t& at) {
  const auto [c, length] = NextCharacter(utf8, at);
  at += length;
  return c;
}

std::string Utf8Of(char32_t character) { return EncodeUtf8(character); }

std::string CharacterCodeText(std::string_view utf8) {
  if (utf8.empty()) return {};
  char text[16];
  std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(NextCharacter(utf8, 0).first));
  return text;
}

std::string NativeTextToAnsi(std::string_view native, const std::string& codePage) {
  const std::string ansi = AnsiCodePage();
  if (ansi == codePage) return std::string(native);
  const std::string text = DecodeText(native, codePage);
  return IsUtf8(ansi) ? text : Utf8ToAnsi(text);
}

EncodedText AnsiTextToNative(std::string_view ansi, const std::string& codePage) {
  const std::string ansiPage = AnsiCodePage();
  if (ansiPage == codePage) return EncodedText{true, std::string(ansi), {}};
  return EncodeText(IsUtf8(ansiPage) ? std::string(ansi) : DecodeText(ansi, ansiPage), codePage);
}

}  // namespace vader::platform
