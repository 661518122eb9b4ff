#pragma once
// The statements run on a database, newest first, kept in the settings file so that they are
// offered again after a restart. A statement is stored on one line with its line ends escaped.

#include <string>
#include <vector>

namespace vader::app {

// At most this many statements are kept per database.
inline constexpr std::size_t kSqlHistoryCount = 20;

std::vector<std::string> SqlHistory(const std::string& database);
// Puts `statement` first (a repeated one moves up). A statement too long for a settings line
// is not kept rather than kept cut. Raises EIniFileException when the file cannot be written.
void RememberSqlStatement(const std::string& database, const std::string& statement);

}  // namespace vader::app
