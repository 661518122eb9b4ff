#include "platform/CodePage.h"

#include <iconv.h>

#include <cerrno>
#include <mutex>

namespace vader::platform {
namespace {

struct CodePages {
  std::mutex mutex;
  std::string ansi = "WINDOWS-1252";
  std::string oem = "CP437";
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
  return true;
}

bool SetOemCodePage(const std::string& iconvName) {
  if (!IconvKnows(iconvName)) return false;
  std::lock_guard lock(Pages().mutex);
  Pages().oem = iconvName;
  return true;
}

}  // namespace vader::platform
