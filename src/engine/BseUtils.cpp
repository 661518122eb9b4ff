#include "engine/BseUtils.h"

#include <algorithm>
#include <cstring>

#include "platform/ProcessInfo.h"

namespace vader {
namespace {

bool IsBlankOrControl(unsigned char c) { return c <= ' '; }

unsigned char FoldAscii(unsigned char c) { return (c >= 'a' && c <= 'z') ? c - 'a' + 'A' : c; }

}  // namespace

void TShortString::Assign(std::string_view text) {
  const size_t length = std::min(text.size(), kMaxLength);
  bytes_[0] = static_cast<unsigned char>(length);
  std::memcpy(bytes_ + 1, text.data(), length);
}

void CopyBounded(char* dest, size_t size, std::string_view text) {
  if (dest == nullptr || size == 0) return;
  const size_t length = std::min(text.size(), size - 1);
  std::memcpy(dest, text.data(), length);
  dest[length] = '\0';
}

void PadShortString(TShortString& s, char ch, size_t width) {
  width = std::min(width, TShortString::kMaxLength + 1);
  if (width < 2 || s.Length() >= width) return;
  for (size_t i = s.Length() + 1; i <= width - 1; ++i) s.Byte(i) = static_cast<unsigned char>(ch);
}

std::string KeepNumericChars(std::string_view src) {
  std::string result;
  for (char c : src)
    if (c == '+' || c == '-' || c == '.' || (c >= '0' && c <= '9')) result += c;
  return result;
}

std::string BufferToTrimmedString(const void* buf, size_t len) {
  if (buf == nullptr) return {};
  const auto* bytes = static_cast<const unsigned char*>(buf);
  size_t first = 0;
  size_t last = len;
  while (first < last && IsBlankOrControl(bytes[first])) ++first;
  while (last > first && IsBlankOrControl(bytes[last - 1])) --last;
  const size_t length = std::min(last - first, TShortString::kMaxLength);
  return std::string(reinterpret_cast<const char*>(bytes + first), length);
}

std::string BufferToTrimmedZString(const void* buf, size_t len) {
  std::string result = BufferToTrimmedString(buf, len);
  if (result.size() == TShortString::kMaxLength) result.pop_back();
  result += '\0';
  return result;
}

int CompareBytes(const void* a, const void* b, size_t len) {
  const int r = std::memcmp(a, b, len);
  return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

void AppendChar(TShortString& s, char ch) {
  const size_t length = s.Length();
  if (length >= TShortString::kMaxLength) return;
  s.Byte(length + 1) = static_cast<unsigned char>(ch);
  s.Byte(0) = static_cast<unsigned char>(length + 1);
}

std::string AddBackslash(std::string_view src) {
  std::string result(src);
  if (result.empty() || result.back() != '\\') result += '\\';
  return result;
}

void ZeroMem(void* p, uint16_t count) {
  if (p != nullptr) std::memset(p, 0, count);
}

bool IsZeroMem(const void* p, size_t count) {
  const auto* bytes = static_cast<const unsigned char*>(p);
  return std::all_of(bytes, bytes + count, [](unsigned char c) { return c == 0; });
}

std::string MakeCharString(char ch, size_t count) { return std::string(count, ch); }

std::string RemoveChar(std::string_view src, char ch) {
  std::string result;
  for (char c : src)
    if (c != ch) result += c;
  return result;
}

void ReplaceChar(void* buf, size_t len, char oldCh, char newCh) {
  auto* bytes = static_cast<char*>(buf);
  std::replace(bytes, bytes + len, oldCh, newCh);
}

void ReplaceCharOutsideQuotes(void* buf, size_t len, char oldCh, char newCh) {
  auto* bytes = static_cast<char*>(buf);
  bool quoted = false;
  for (size_t i = 0; i < len; ++i) {
    if (bytes[i] == '"' || bytes[i] == '\'')
      quoted = !quoted;
    else if (!quoted && bytes[i] == oldCh)
      bytes[i] = newCh;
  }
}

bool IsPathName(std::string_view name, bool allowDot) {
  // '/' separates directories on this platform as the backslash does on the other.
  if (name.find_first_of(":\\/") != std::string_view::npos) return true;
  return allowDot && name.find('.') != std::string_view::npos;
}

bool ReplaceText(char* dest, const char* find, const char* repl, size_t maxLen) {
  if (dest == nullptr || find == nullptr || *find == '\0') return false;
  const std::string text = dest;
  const auto at = text.find(find);
  if (at == std::string::npos) return false;
  const std::string result =
      text.substr(0, at) + (repl ? repl : "") + text.substr(at + std::strlen(find));
  CopyBounded(dest, maxLen + 1, result);
  return true;
}

char* TruncAtChar(char* s, char ch) {
  if (s == nullptr) return s;
  if (char* at = std::strchr(s, ch); at != nullptr && ch != '\0') *at = '\0';
  return s;
}

std::string GetNetUserName() {
  return platform::LoginUserName().substr(0, TShortString::kMaxLength);
}

bool SameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return FoldAscii(static_cast<unsigned char>(x)) ==
                  FoldAscii(static_cast<unsigned char>(y));
         });
}

}  // namespace vader
