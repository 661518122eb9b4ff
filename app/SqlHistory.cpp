#include "SqlHistory.h"

#include <algorithm>

#include "language/Zothrtns.h"
#include "platform/ProgramFiles.h"

namespace vader::app {
namespace {

// The settings file gives back at most 2047 characters of a value.
constexpr std::size_t kLongestStoredValue = 2047;

std::string SettingsFile() { return platform::SettingsFilePath("Vader.INI"); }
std::string Section(const std::string& database) { return "SqlHistory " + database; }
std::string Key(std::size_t index) { return "Statement" + std::to_string(index + 1); }

// One line, in quotes so that blanks at either end are kept.
std::string Escaped(const std::string& statement) {
  std::string out = "\"";
  for (char c : statement) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        out += c;
    }
  }
  return out + "\"";
}

std::string Unescaped(const std::string& stored) {
  std::string out;
  for (std::size_t i = 0; i < stored.size(); ++i) {
    if (stored[i] != '\\' || i + 1 == stored.size()) {
      out += stored[i];
      continue;
    }
    const char next = stored[++i];
    out += next == 'n' ? '\n' : next == 'r' ? '\r' : next;
  }
  return out;
}

}  // namespace

std::vector<std::string> SqlHistory(const std::string& database) {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < kSqlHistoryCount; ++i) {
    const std::string stored = ReadIniString(SettingsFile(), Section(database), Key(i));
    if (!stored.empty()) out.push_back(Unescaped(stored));
  }
  return out;
}

void RememberSqlStatement(const std::string& database, const std::string& statement) {
  if (statement.empty() || Escaped(statement).size() > kLongestStoredValue) return;
  std::vector<std::string> list = SqlHistory(database);
  list.erase(std::remove(list.begin(), list.end(), statement), list.end());
  list.insert(list.begin(), statement);
  list.resize(std::min(list.size(), kSqlHistoryCount));
  for (std::size_t i = 0; i < list.size(); ++i)
    WriteIniString(SettingsFile(), Section(database), Key(i), Escaped(list[i]));
}

}  // namespace vader::app
