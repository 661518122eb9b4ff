#include "platform/IniFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>
#include <string_view>
#include <vector>

#include "platform/TextCase.h"

namespace vader::platform {
namespace {

struct Line {
  std::string text;  // without its line break
};

std::string TrimBlanks(const std::string& s) {
  std::size_t begin = 0, end = s.size();
  while (begin < end && (s[begin] == ' ' || s[begin] == '\t')) ++begin;
  while (end > begin && (s[end - 1] == ' ' || s[end - 1] == '\t')) --end;
  return s.substr(begin, end - begin);
}

std::string StripQuotes(const std::string& value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front())
    return value.substr(1, value.size() - 2);
  return value;
}

std::optional<std::string> ReadWholeFile(const std::string& fileName) {
  std::ifstream in(fileName, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

// The UTF-8 byte-order mark a modern editor may put before the first line.
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

bool StartsWithMark(const std::string& content) {
  return std::string_view(content).starts_with(kUtf8Mark);
}

std::vector<Line> SplitLines(const std::string& content) {
  std::vector<Line> lines;
  std::size_t start = StartsWithMark(content) ? kUtf8Mark.size() : 0;
  while (start < content.size()) {
    std::size_t end = content.find('\n', start);
    if (end == std::string::npos) end = content.size();
    std::string text = content.substr(start, end - start);
    if (!text.empty() && text.back() == '\r') text.pop_back();
    lines.push_back({std::move(text)});
    start = end + 1;
  }
  return lines;
}

// The section name of a "[name]" line, or nothing for other lines.
std::optional<std::string> SectionName(const std::string& line) {
  std::string t = TrimBlanks(line);
  if (t.size() < 2 || t.front() != '[') return std::nullopt;
  const auto close = t.find(']');
  if (close == std::string::npos) return std::nullopt;
  return TrimBlanks(t.substr(1, close - 1));
}

// The key of a "key=value" line, or nothing for comments and other lines.
std::optional<std::string> KeyName(const std::string& line) {
  std::string t = TrimBlanks(line);
  if (t.empty() || t.front() == ';') return std::nullopt;
  const auto eq = t.find('=');
  if (eq == std::string::npos) return std::nullopt;
  return TrimBlanks(t.substr(0, eq));
}

std::string RawValue(const std::string& line) {
  return TrimBlanks(line.substr(line.find('=') + 1));
}

// Index of the first "[section]" line, or nothing.
std::optional<std::size_t> FindSection(const std::vector<Line>& lines, const std::string& section) {
  for (std::size_t i = 0; i < lines.size(); ++i) {
    auto name = SectionName(lines[i].text);
    if (name && EqualsIgnoringAsciiCase(*name, section)) return i;
  }
  return std::nullopt;
}

// Index one past the last line that belongs to the section starting at sectionLine.
std::size_t SectionEnd(const std::vector<Line>& lines, std::size_t sectionLine) {
  std::size_t end = sectionLine + 1;
  while (end < lines.size() && !SectionName(lines[end].text)) ++end;
  return end;
}

std::optional<std::size_t> FindKey(const std::vector<Line>& lines, std::size_t sectionLine,
                                   const std::string& key) {
  const std::size_t end = SectionEnd(lines, sectionLine);
  for (std::size_t i = sectionLine + 1; i < end; ++i) {
    auto name = KeyName(lines[i].text);
    if (name && EqualsIgnoringAsciiCase(*name, key)) return i;
  }
  return std::nullopt;
}

bool HasWriteBits(const struct stat& st) { return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0; }

std::string DirectoryOf(const std::string& fileName) {
  const auto slash = fileName.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : fileName.substr(0, slash);
}

// A file or directory whose write bits are all clear is read-only, even for a user (such
// as root) whom the kernel would let write it anyway: that is what a read-only settings
// file means to its owner.
bool MayWrite(const std::string& fileName) {
  struct stat st {};
  if (stat(fileName.c_str(), &st) == 0) return S_ISREG(st.st_mode) && HasWriteBits(st);
  const std::string dir = DirectoryOf(fileName);
  return stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && HasWriteBits(st) &&
         access(dir.c_str(), W_OK) == 0;
}

bool WriteAll(int fd, const std::string& content) {
  std::size_t done = 0;
  while (done < content.size()) {
    const ssize_t n =
        pwrite(fd, content.data() + done, content.size() - done, static_cast<off_t>(done));
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// Rewrites an existing file through its own inode, for a file the user may write in a folder
// they may not (no temporary file can be made beside it). The room for the new text is taken
// before any byte changes, so a full disk refuses the write and leaves the file as it was.
bool RewriteInPlace(const std::string& fileName, const std::string& content) {
  const int fd = open(fileName.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const int reserved =
      content.empty() ? 0 : posix_fallocate(fd, 0, static_cast<off_t>(content.size()));
  // A file system without preallocation (EOPNOTSUPP) is written all the same.
  bool ok = reserved == 0 || reserved == EOPNOTSUPP || reserved == EINVAL;
  ok = ok && WriteAll(fd, content);
  ok = ok && ftruncate(fd, static_cast<off_t>(content.size())) == 0;
  ok = ok && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  return ok;
}

// Writes a temporary file beside the settings file and renames it over the file, so that a
// reader never sees half of it; where the folder refuses the temporary file, the existing file
// is rewritten in place.
bool WriteAtomically(const std::string& fileName, const std::string& content) {
  struct stat st {};
  const bool existed = stat(fileName.c_str(), &st) == 0;
  const std::string temp = fileName + ".tmp~";
  const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC,
                      existed ? (st.st_mode & 07777) : 0644);
  if (fd < 0)
    return existed && (errno == EACCES || errno == EROFS || errno == EPERM) &&
           RewriteInPlace(fileName, content);
  bool ok = WriteAll(fd, content);
  ok = ok && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  ok = ok && rename(temp.c_str(), fileName.c_str()) == 0;
  if (!ok) unlink(temp.c_str());
  return ok;
}

}  // namespace

std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                    const std::string& defaultValue, std::size_t bufferSize,
                                    const std::string& fileName) {
  std::string value = defaultValue;
  if (auto content = ReadWholeFile(fileName)) {
    auto lines = SplitLines(*content);
    if (auto sectionLine = FindSection(lines, TrimBlanks(section))) {
      if (auto keyLine = FindKey(lines, *sectionLine, TrimBlanks(key)))
        value = StripQuotes(RawValue(lines[*keyLine].text));
    }
  }
  if (bufferSize == 0) return {};
  if (value.size() > bufferSize - 1) value.resize(bufferSize - 1);
  return value;
}

bool WritePrivateProfileString(const std::string& section, const std::string& key,
                               const std::string& value, const std::string& fileName) {
  if (fileName.empty() || !MayWrite(fileName)) return false;
  const std::string content = ReadWholeFile(fileName).value_or(std::string());
  const std::string eol = content.find("\r\n") != std::string::npos ? "\r\n" : "\n";
  auto lines = SplitLines(content);
  const std::string sectionName = TrimBlanks(section);
  const std::string keyName = TrimBlanks(key);
  const Line entry{keyName + "=" + value};

  if (auto sectionLine = FindSection(lines, sectionName)) {
    if (auto keyLine = FindKey(lines, *sectionLine, keyName)) {
      lines[*keyLine] = entry;
    } else {
      // After the section's last non-blank line, so a blank separator line stays last.
      std::size_t at = SectionEnd(lines, *sectionLine);
      while (at > *sectionLine + 1 && TrimBlanks(lines[at - 1].text).empty()) --at;
      lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), entry);
    }
  } else {
    lines.push_back({"[" + sectionName + "]"});
    lines.push_back(entry);
  }

  // A byte-order mark the file began with stays at its start.
  std::string out(StartsWithMark(content) ? kUtf8Mark : std::string_view());
  for (const auto& line : lines) out += line.text + eol;
  return WriteAtomically(fileName, out);
}

}  // namespace vader::platform
