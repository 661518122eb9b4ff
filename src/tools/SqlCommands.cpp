// vbutil sql: an SQL shell over a DDF database, through the relational engine's client
// library (libwssql32.so, loaded beside the executable as the driver loads it).

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <iostream>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "sqlengine/XqlApi.h"
#include "tools/Btrieve.h"
#include "tools/Cli.h"

namespace vader::tools {
namespace {

namespace sql = vader::sqlengine;

// The engine's entry points used here.
struct SqlLibrary {
  void* handle = nullptr;
  decltype(&::_XQLLogin) login = nullptr;
  decltype(&::_XQLLogout) logout = nullptr;
  decltype(&::_XQLCursor) cursor = nullptr;
  decltype(&::_XQLCompile) compile = nullptr;
  decltype(&::XQLDescribe) describe = nullptr;
  decltype(&::_XQLFetch) fetch = nullptr;
  decltype(&::_XQLFree) free = nullptr;

  SqlLibrary() {
    char exe[PATH_MAX] = {};
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    std::string dir = n > 0 ? std::string(exe, static_cast<size_t>(n)) : std::string();
    dir = dir.substr(0, dir.rfind('/') + 1);
    handle = dlopen((dir + "libwssql32.so").c_str(), RTLD_NOW);
    if (!handle) handle = dlopen("libwssql32.so", RTLD_NOW);
    if (!handle) throw std::runtime_error("cannot load libwssql32.so: " + std::string(dlerror()));
    Resolve(login, "_XQLLogin");
    Resolve(logout, "_XQLLogout");
    Resolve(cursor, "_XQLCursor");
    Resolve(compile, "_XQLCompile");
    Resolve(describe, "XQLDescribe");
    Resolve(fetch, "_XQLFetch");
    Resolve(free, "_XQLFree");
  }
  ~SqlLibrary() {
    if (handle) dlclose(handle);
  }
  template <typename F>
  void Resolve(F& f, const char* name) {
    f = reinterpret_cast<F>(dlsym(handle, name));
    if (!f) throw std::runtime_error(std::string("libwssql32.so has no ") + name);
  }
};

std::string StatusMessage(int16_t s) {
  switch (s) {
    case sql::kStatusSyntax: return "the statement is not valid SQL";
    case sql::kStatusNoSuchTable: return "the table is not defined in the dictionary";
    case sql::kStatusBadPassword: return "the password is invalid";
    case sql::kStatusBadUser: return "the user name is invalid";
    case sql::kStatusNoSystemTables: return "the dictionary cannot be opened";
    case sql::kStatusUnknownDatabase: return "no such named database";
    case sql::kStatusNoSuchProcedure: return "no such procedure";
    case sql::kStatusTransactionActive: return "a transaction is already open";
    case sql::kStatusNoTransaction: return "no transaction is open";
    case sql::kNoticeUnresolved: return "the statement has substitution variables without values";
    case sql::kStatusOutOfRange: return "the value is out of range for the column";
    case sql::kStatusInvalidDate: return "the date is not valid";
    case sql::kStatusInvalidTime: return "the time is not valid";
    case sql::kStatusNotANumber: return "the value is not a number";
    case sql::kStatusStopped: return "the statement was stopped and its changes were undone";
    case 5: return "a unique key already holds that value";
    case 51: return "the owner name is invalid";
    case 84: case 85: return "the record or file is locked";
    default: {
      // The record manager's statuses reach the statement's caller unchanged.
      const char* text = KnownStatusText(s);
      return text ? text : "engine status";
    }
  }
}

std::string Failure(int16_t s, const std::string& statement) {
  return "status " + std::to_string(s) + " (" + StatusMessage(s) + ") in: " + statement;
}

// Runs one statement and prints its rows as an aligned table.
void RunStatement(SqlLibrary& lib, const std::string& statement, std::ostream& out) {
  int16_t cursor = 0;
  if (int16_t s = lib.cursor(&cursor); s != 0) throw std::runtime_error(Failure(s, statement));
  struct Free {
    SqlLibrary& lib;
    int16_t id;
    ~Free() { lib.free(id); }
  } release{lib, cursor};
  const std::string stored = StoredText(statement);
  if (stored.size() > 32767) throw std::runtime_error("the statement is too long");
  int16_t length = static_cast<int16_t>(stored.size());
  const int16_t s = lib.compile(cursor, &length, stored.c_str());
  if (s > 0 || s == sql::kNoticeUnresolved) throw std::runtime_error(Failure(s, statement));
  std::vector<std::string> names;
  for (int16_t position = 1;; ++position) {
    int16_t type = 0, size = 0, decimals = 0, width = 0, nameLength = 256;
    char name[256] = {};
    if (lib.describe(cursor, position, &type, &size, &decimals, &width, &nameLength, name) != 0) break;
    names.push_back(ShownText(name));
  }
  if (names.empty()) {
    out << "done\n";
    return;
  }
  std::vector<std::vector<std::string>> rows;
  std::vector<uint8_t> buffer(65535);
  for (int16_t option = sql::kFetchFirst;; option = sql::kFetchNext) {
    uint16_t bufferLength = static_cast<uint16_t>(buffer.size());
    int32_t count = 1;
    const int16_t f = lib.fetch(cursor, option, &bufferLength, buffer.data(), &count, 1, 0);
    if (f > 0) throw std::runtime_error(Failure(f, statement));
    if (count == 0) break;
    std::vector<std::string> row;
    size_t at = 2;
    const size_t end = std::min<size_t>(bufferLength, buffer.size());
    for (size_t c = 0; c < names.size() && at <= end; ++c) {
      const auto* nul = static_cast<const uint8_t*>(std::memchr(buffer.data() + at, 0, end - at));
      const size_t stop = nul ? static_cast<size_t>(nul - buffer.data()) : end;
      row.push_back(ShownText(
          std::string_view(reinterpret_cast<const char*>(buffer.data() + at), stop - at)));
      at = stop + 1;
    }
    row.resize(names.size());
    rows.push_back(std::move(row));
  }
  std::vector<size_t> widths;
  for (const std::string& n : names) widths.push_back(TextWidth(n));
  for (const auto& r : rows)
    for (size_t c = 0; c < r.size(); ++c) widths[c] = std::max(widths[c], TextWidth(r[c]));
  auto line = [&](const std::vector<std::string>& cells) {
    std::string text;
    for (size_t c = 0; c < cells.size(); ++c)
      text += (c ? "  " : "") + (c + 1 < cells.size() ? PadToWidth(cells[c], widths[c]) : cells[c]);
    while (!text.empty() && text.back() == ' ') text.pop_back();
    out << text << "\n";
  };
  line(names);
  std::vector<std::string> rule;
  for (size_t w : widths) rule.emplace_back(w, '-');
  line(rule);
  for (const auto& r : rows) line(r);
  out << "(" << rows.size() << (rows.size() == 1 ? " row)\n" : " rows)\n");
}

// Statements of a script: ended by ";" when the text has one outside quotes, else one a line.
std::vector<std::string> SplitScript(const std::string& text) {
  std::vector<std::string> out;
  std::string current;
  char quote = 0;
  bool semicolons = false;
  for (char c : text) {
    if (quote) quote = c == quote ? 0 : quote;
    else if (c == '\'' || c == '"') quote = c;
    else if (c == ';') semicolons = true;
  }
  quote = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const bool end = !quote && (semicolons ? c == ';' : c == '\n');
    if (quote) quote = c == quote ? 0 : quote;
    else if (c == '\'' || c == '"') quote = c;
    if (!end) current += c;
    if (end || i + 1 == text.size()) {
      const size_t b = current.find_first_not_of(" \t\r\n");
      if (b != std::string::npos) out.push_back(current.substr(b, current.find_last_not_of(" \t\r\n") - b + 1));
      current.clear();
    }
  }
  return out;
}

int Sql(const Args& a, Context& ctx) {
  a.Expect(1, 2);
  SqlLibrary lib;
  const std::string data = a.Value("data");
  if (int16_t s = lib.login(a.Value("user").c_str(), a.Value("password").c_str(), a.At(0).c_str(),
                            data.c_str(), "", 1);
      s != 0)
    throw std::runtime_error("cannot log in to " + a.At(0) + ": " + Failure(s, "login"));
  struct Logout {
    SqlLibrary& lib;
    ~Logout() { lib.logout(); }
  } logout{lib};
  const std::vector<std::string> statements =
      a.Count() == 2 ? std::vector<std::string>{a.At(1)} : SplitScript(ReadInput("-"));
  int failures = 0;
  for (const std::string& s : statements) {
    try {
      RunStatement(lib, s, ctx.out);
    } catch (const std::runtime_error& e) {
      ctx.err << "vbutil sql: " << e.what() << "\n";
      ++failures;
    }
  }
  return failures ? kExitFailed : kExitOk;
}

}  // namespace

std::vector<Command> SqlCommands() {
  return {Command{"sql", "DIRECTORY [STATEMENT]",
                  "runs SQL over the DDF database in DIRECTORY (statements from stdin without one)",
                  "  --user NAME       the user name (when the dictionary has USER.DDF)\n"
                  "  --password TEXT   the user's password\n"
                  "  --data DIR        the data files' directory (default: DIRECTORY)\n"
                  "Statements from standard input are ended by ';' or, without any ';', one a "
                  "line.\nSTART TRANSACTION, COMMIT WORK, ROLLBACK WORK, CALL name(), CREATE "
                  "PROCEDURE name AS statement and SET OWNER = name are understood.\n",
                  {"user", "password", "data"},
                  {},
                  Sql}};
}

}  // namespace vader::tools
