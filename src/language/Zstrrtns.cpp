#include "language/Zstrrtns.h"

#include <limits>

#include "platform/WindowMessages.h"

namespace vader {

std::uint16_t CountDelimitedFields(const std::string& s, const std::string& separator) {
  if (s.empty() || separator.empty()) return 1;
  std::uint32_t count = 1;
  for (std::size_t at = s.find(separator); at != std::string::npos;
       at = s.find(separator, at + separator.size()))
    ++count;
  // The count is a 16-bit value; longer texts than it can count are held at its maximum.
  return static_cast<std::uint16_t>(std::min<std::uint32_t>(count, 0xFFFF));
}

std::string GetDelimitedField(const std::string& s, const std::string& separator, std::uint16_t n) {
  if (n > CountDelimitedFields(s, separator)) return {};
  if (separator.empty()) return s;
  std::size_t start = 0;
  for (std::uint16_t i = 1; i < n; ++i) start = s.find(separator, start) + separator.size();
  const std::size_t end = s.find(separator, start);
  return end == std::string::npos ? s.substr(start) : s.substr(start, end - start);
}

std::string MakeFilledString(int count, char ch) {
  return count <= 0 ? std::string() : std::string(static_cast<std::size_t>(count), ch);
}

std::uint32_t RegisterAppMessage(const std::string& name) {
  return platform::RegisterWindowMessage(name);
}

std::string TrimControls(const std::string& s) {
  std::size_t begin = 0, end = s.size();
  while (begin < end && static_cast<unsigned char>(s[begin]) <= 32) ++begin;
  while (end > begin && static_cast<unsigned char>(s[end - 1]) <= 32) --end;
  return s.substr(begin, end - begin);
}

bool StartsWithText(const std::string& s, const std::string& prefix) {
  return s.compare(0, prefix.size(), prefix) == 0 && s.size() >= prefix.size();
}

}  // namespace vader
