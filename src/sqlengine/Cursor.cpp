// Cursors: statement text with substitution variables, the statements the engine answers
// itself (transactions, procedures, owner names), and views over SQLite statements.

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "sqlengine/BulkUpdate.h"
#include "sqlengine/Session.h"
#include "sqlengine/XqlApi.h"

namespace vader::sqlengine {
namespace {

constexpr int kMaxCallDepth = 8;
constexpr size_t kMaxRowSize = 65535;

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

bool IsNameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$'; }

size_t LeadingBlanks(const std::string& s) {
  size_t b = 0;
  while (b < s.size() && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  return b;
}

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && (std::isspace(static_cast<unsigned char>(s[e - 1])) || s[e - 1] == ';')) --e;
  return s.substr(b, e - b);
}

// The words of a statement, upper-cased and single-spaced, quotes left as they are.
std::string Normalized(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (std::isspace(static_cast<unsigned char>(c))) {
      if (!out.empty() && out.back() != ' ') out += ' ';
    } else {
      out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
  }
  if (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

// The text upper-cased with its quoted literals blanked (for recognising clauses and names);
// every character keeps its place.
std::string Unquoted(const std::string& s) {
  std::string out;
  char quote = 0;
  for (char c : s) {
    if (quote) {
      if (c == quote) quote = 0;
      out += ' ';
      continue;
    }
    if (c == '\'' || c == '"') quote = c, out += ' ';
    else out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return out;
}

// Where `word` stands in `upper` from `from` on as a whole word; npos when it does not.
size_t WordAt(const std::string& upper, size_t from, const std::string& word) {
  const size_t n = word.size();
  for (size_t p = upper.find(word, from); p != std::string::npos; p = upper.find(word, p + 1)) {
    const bool before = p == 0 || !IsNameChar(upper[p - 1]);
    const bool after = p + n >= upper.size() || !IsNameChar(upper[p + n]);
    if (before && after) return p;
  }
  return std::string::npos;
}

bool HasWord(const std::string& upper, const char* word) {
  return WordAt(upper, 0, word) != std::string::npos;
}

bool IsNumber(const std::string& v) {
  if (v.empty()) return false;
  char* end = nullptr;
  std::strtod(v.c_str(), &end);
  return end && *end == 0 && v.find_first_of("xXnNiI") == std::string::npos && !std::isspace(static_cast<unsigned char>(v[0]));
}

int16_t NoticeOf(const std::string& statement) {
  const std::string w = Normalized(statement).substr(0, 7);
  if (w.rfind("INSERT", 0) == 0) return kNoticeInsert;
  if (w.rfind("UPDATE", 0) == 0) return kNoticeUpdate;
  if (w.rfind("DELETE", 0) == 0) return kNoticeDelete;
  if (w.rfind("CREATE", 0) == 0) return kNoticeCreate;
  if (w.rfind("DROP", 0) == 0) return kNoticeDrop;
  return 0;
}

// The @names of a statement text outside its quoted literals (an "@" inside quotes is text,
// as in an e-mail address); each span begins at the "@".
struct VariableSpan {
  size_t begin, end;
};

std::vector<VariableSpan> Variables(const std::string& text) {
  std::vector<VariableSpan> spans;
  char quote = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quote) {
      if (c == quote) quote = 0;
      continue;
    }
    if (c == '\'' || c == '"') {
      quote = c;
      continue;
    }
    if (c != '@') continue;
    size_t e = i + 1;
    while (e < text.size() && IsNameChar(text[e])) ++e;
    if (e > i + 1) spans.push_back({i, e});
    i = e - 1;
  }
  return spans;
}

constexpr char kMarker[] = "@QVAR";
constexpr size_t kMarkerLength = sizeof kMarker - 1 + 4;  // and four digits

// The driver turns every "?" of a statement into a variable @QVARnnnn, inside quoted literals
// too; there the "?" is text the person typed (as in 'Why?') and is put back. `restored`
// receives where each such "?" stands in the result.
std::string QuestionMarksInLiterals(const std::string& text, std::vector<size_t>& restored) {
  restored.clear();
  std::string out;
  char quote = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const auto digit = [](char d) { return std::isdigit(static_cast<unsigned char>(d)) != 0; };
    const bool marker = quote && text.compare(i, sizeof kMarker - 1, kMarker) == 0 &&
                        i + kMarkerLength <= text.size() &&
                        std::all_of(text.begin() + static_cast<long>(i + sizeof kMarker - 1),
                                    text.begin() + static_cast<long>(i + kMarkerLength), digit);
    if (marker) {
      restored.push_back(out.size());
      out += '?';
      i += kMarkerLength - 1;
      continue;
    }
    if (quote && c == quote) quote = 0;
    else if (!quote && (c == '\'' || c == '"')) quote = c;
    out += c;
  }
  return out;
}

// The length of the name, number, quoted literal or sign that begins at `at`; 0 at a blank.
size_t TokenLength(const std::string& s, size_t at) {
  if (at >= s.size() || std::isspace(static_cast<unsigned char>(s[at]))) return 0;
  const char c = s[at];
  size_t end = at + 1;
  if (c == '\'' || c == '"') {
    end = s.find(c, at + 1);
    end = end == std::string::npos ? s.size() : end + 1;
  } else if (IsNameChar(c)) {
    while (end < s.size() && (IsNameChar(s[end]) || s[end] == '.')) ++end;
  }
  return end - at;
}

// Where `name` stands in `s` from `from` on as a whole word outside quoted literals, ignoring
// case; npos when it does not.
size_t FindWord(const std::string& s, size_t from, const std::string& name) {
  return name.empty() ? std::string::npos : WordAt(Unquoted(s), from, Upper(name));
}

// The table or column an SQLite message says is missing ("no such table: main.Custmers"):
// the name as the statement spells it, without a schema or table before it.
std::string MissingName(const std::string& message) {
  for (const char* lead : {"no such table: ", "no such column: "}) {
    if (message.rfind(lead, 0) != 0) continue;
    const std::string name = message.substr(std::strlen(lead));
    const size_t dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(dot + 1);
  }
  return {};
}

Value ColumnOf(sqlite3_stmt* st, int i) {
  switch (sqlite3_column_type(st, i)) {
    case SQLITE_INTEGER: return Value::Integer(sqlite3_column_int64(st, i));
    case SQLITE_FLOAT: return Value::Float(sqlite3_column_double(st, i));
    case SQLITE_TEXT:
      return Value::String(std::string(reinterpret_cast<const char*>(sqlite3_column_text(st, i)),
                                       static_cast<size_t>(sqlite3_column_bytes(st, i))));
    case SQLITE_BLOB: {
      const void* b = sqlite3_column_blob(st, i);
      return Value{Value::Blob, 0, 0, std::string(static_cast<const char*>(b), static_cast<size_t>(sqlite3_column_bytes(st, i)))};
    }
    default: return Value{};
  }
}

void BindValue(sqlite3_stmt* st, int i, const Value& v) {
  switch (v.kind) {
    case Value::Int: sqlite3_bind_int64(st, i, v.i); break;
    case Value::Real: sqlite3_bind_double(st, i, v.r); break;
    case Value::Text: sqlite3_bind_text(st, i, v.s.data(), static_cast<int>(v.s.size()), SQLITE_TRANSIENT); break;
    case Value::Blob: sqlite3_bind_blob(st, i, v.s.data(), static_cast<int>(v.s.size()), SQLITE_TRANSIENT); break;
    default: sqlite3_bind_null(st, i); break;
  }
}

// A column with a variable tail: the row length ends with its text.
bool IsTail(const FieldFormat& f) {
  return f.type == kNote || f.type == kLVar || (f.type == kZString && f.size >= 256);
}

std::string Quoted(const std::string& name) {
  std::string q = "\"";
  for (char c : name) q += c == '"' ? std::string("\"\"") : std::string(1, c);
  return q + "\"";
}

struct Statement {
  sqlite3_stmt* st = nullptr;
  ~Statement() { sqlite3_finalize(st); }
};

}  // namespace

void Cursor::Close() {
  if (view_) sqlite3_finalize(view_);
  view_ = nullptr;
  updatable_ = false;
  table_ = nullptr;
  columns_.clear();
  rows_.clear();
  rowSize_ = 0;
  done_ = false;
  pos_ = -1;
}

int16_t Cursor::Compile(const std::string& text) {
  Close();
  text_ = QuestionMarksInLiterals(text, restoredMarks_);
  bound_ = false;
  values_.clear();
  variables_.clear();
  for (const VariableSpan& v : Variables(text_))
    variables_.push_back(Upper(text_.substr(v.begin + 1, v.end - v.begin - 1)));
  return Exec();
}

int16_t Cursor::Exec() {
  errorOffset_ = -1;
  errorLength_ = 0;
  if (text_.empty()) return kStatusNoColumns;
  for (const std::string& v : variables_)
    if (!values_.count(v)) return kNoticeUnresolved;
  if (view_ && bound_) {
    // The same view with new values: bound again, no new compilation.
    sqlite3_reset(view_);
    Bind(view_);
    rows_.clear();
    done_ = false;
    pos_ = -1;
    return Fill(0);
  }
  Close();
  bound_ = false;
  changedRows_ = 0;
  if (variables_.empty()) return Run(text_, 0);
  // SQLite reads each @name as a named parameter, bound to the variable's value; the
  // statements the engine answers itself take the values into their text.
  const std::string n = Normalized(text_);
  for (const char* w : {"START ", "BEGIN ", "COMMIT", "ROLLBACK", "CALL ", "CREATE PROCEDURE", "SET OWNER"})
    if (n.rfind(w, 0) == 0) return Run(Substituted(), 0);
  bound_ = true;
  return Run(text_, 0);
}

// Binds the variables' values: numbers and truth values as numbers, anything else as text.
void Cursor::Bind(sqlite3_stmt* st) const {
  if (!bound_) return;
  for (int index = 1; index <= sqlite3_bind_parameter_count(st); ++index) {
    const char* name = sqlite3_bind_parameter_name(st, index);
    if (!name || name[0] != '@') continue;
    const auto it = values_.find(Upper(name + 1));
    if (it == values_.end()) continue;
    const std::string& v = it->second;
    if (IsNumber(v) && v.find_first_of(".eE") == std::string::npos && v.size() < 19)
      sqlite3_bind_int64(st, index, std::strtoll(v.c_str(), nullptr, 10));
    else if (IsNumber(v))
      sqlite3_bind_double(st, index, std::strtod(v.c_str(), nullptr));
    else if (Upper(v) == "TRUE" || Upper(v) == "FALSE")
      sqlite3_bind_int(st, index, Upper(v) == "TRUE");
    else
      sqlite3_bind_text(st, index, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
  }
}

// Parameters SQLite found that are not this cursor's variables: a "?", ":name" or "$name"
// would silently read as NULL, so the statement is refused; a variable without a value
// (in a stored procedure's text) leaves the statement unresolved.
int16_t Cursor::CheckParameters(sqlite3_stmt* st) const {
  for (int index = 1; index <= sqlite3_bind_parameter_count(st); ++index) {
    const char* name = sqlite3_bind_parameter_name(st, index);
    if (!name || name[0] != '@') return kStatusSyntax;
    if (!bound_ || !values_.count(Upper(name + 1))) return kNoticeUnresolved;
  }
  return 0;
}

int16_t Cursor::Subst(const std::vector<std::string>& names, const std::vector<std::string>& values) {
  if (names.size() != values.size()) return 1;
  for (size_t i = 0; i < names.size(); ++i) {
    std::string n = Upper(names[i]);
    if (!n.empty() && n[0] == '@') n.erase(0, 1);
    if (n.empty()) return 1;
    values_[n] = values[i];
  }
  return 0;
}

// A number or a truth value goes in as it is and anything else as a quoted literal, so a
// value can never change the statement's structure.
std::string Cursor::Substituted() const {
  std::string out;
  size_t at = 0;
  for (const VariableSpan& v : Variables(text_)) {
    out += text_.substr(at, v.begin - at);
    at = v.end;
    const std::string name = text_.substr(v.begin, v.end - v.begin);
    const auto it = values_.find(Upper(name.substr(1)));
    if (it == values_.end()) {
      out += name;
      continue;
    }
    const std::string& value = it->second;
    if (IsNumber(value)) {
      out += value;
    } else if (Upper(value) == "TRUE" || Upper(value) == "FALSE") {
      out += Upper(value) == "TRUE" ? "1" : "0";
    } else {
      out += '\'';
      for (char x : value) out += x == '\'' ? std::string("''") : std::string(1, x);
      out += '\'';
    }
  }
  return out + text_.substr(at);
}

int16_t Cursor::RunSpecial(const std::string& text, int depth, bool& handled) {
  handled = true;
  const std::string n = Normalized(text);
  if (n == "START TRANSACTION" || n == "BEGIN WORK" || n == "BEGIN TRANSACTION") {
    const int16_t s = session_.Begin(true);
    return s ? s : kNoticeStartTransaction;
  }
  if (n == "COMMIT WORK" || n == "COMMIT") {
    const int16_t s = session_.End(true, true);
    return s ? s : kNoticeCommit;
  }
  if (n == "ROLLBACK WORK" || n == "ROLLBACK") {
    const int16_t s = session_.End(false, true);
    return s ? s : kNoticeRollback;
  }
  if (n.rfind("CALL ", 0) == 0) {
    std::string name = Trim(text.substr(text.find_first_not_of(" \t\r\n") + 5));
    const size_t paren = name.find('(');
    if (paren != std::string::npos) {
      if (Trim(name.substr(paren + 1)) != ")") return kStatusSyntax;  // arguments are not taken
      name = Trim(name.substr(0, paren));
    }
    if (depth >= kMaxCallDepth) return kStatusSyntax;
    std::string body;
    if (int16_t s = ReadProcedure(session_, name, body); s != 0) return s;
    return Run(body, depth + 1);
  }
  if (n.rfind("CREATE PROCEDURE ", 0) == 0) {
    const std::string rest = Trim(text.substr(Upper(text).find("PROCEDURE") + 9));
    size_t e = 0;
    while (e < rest.size() && IsNameChar(rest[e])) ++e;
    const std::string name = rest.substr(0, e);
    std::string after = Trim(rest.substr(e));
    if (after.rfind("()", 0) == 0) after = Trim(after.substr(2));
    if (name.empty() || Upper(after.substr(0, 3)) != "AS " || Trim(after.substr(3)).empty())
      return kStatusSyntax;
    const int16_t s = StoreProcedure(session_, name, Trim(after.substr(3)));
    return s ? s : kNoticeCreate;
  }
  if (n.rfind("SET OWNER", 0) == 0) {
    const size_t eq = text.find('=');
    if (eq == std::string::npos) return kStatusSyntax;
    std::vector<std::string> owners;
    std::string list = text.substr(eq + 1);
    for (size_t p = 0; p <= list.size();) {
      size_t comma = list.find(',', p);
      if (comma == std::string::npos) comma = list.size();
      std::string o = Trim(list.substr(p, comma - p));
      if (o.size() >= 2 && (o[0] == '\'' || o[0] == '"') && o.back() == o[0]) o = o.substr(1, o.size() - 2);
      if (o.empty() || o.size() > 8) return kStatusSyntax;
      owners.push_back(o);
      p = comma + 1;
    }
    session_.SetOwners(owners);
    return kNoticeSet;
  }
  handled = false;
  return 0;
}

int16_t Cursor::Run(const std::string& whole, int depth) {
  const std::string text = Trim(whole);
  bool handled = false;
  if (int16_t s = RunSpecial(text, depth, handled); handled) return s;
  sqlite3* db = session_.Db();
  int16_t result = 0;
  const char* p = text.c_str();
  while (*p) {
    const char* tail = nullptr;
    Statement stmt;
    if (int rc = sqlite3_prepare_v2(db, p, -1, &stmt.st, &tail); rc != SQLITE_OK) {
      const int16_t status = session_.StatusOf(rc);
      // Positions are told in the compiled text; a procedure's body or a text with values put
      // in has other positions.
      if (depth == 0 && whole == text_)
        NoteErrorAt(LeadingBlanks(whole) + static_cast<size_t>(p - text.c_str()));
      return status;
    }
    const std::string piece(p, tail);
    p = tail;
    if (!stmt.st) continue;
    if (int16_t s = CheckParameters(stmt.st); s != 0) return s;
    Bind(stmt.st);
    while (*p && (std::isspace(static_cast<unsigned char>(*p)) || *p == ';')) ++p;
    if (sqlite3_column_count(stmt.st) > 0 && !*p) {
      // A view; a plain SELECT of one table also carries the rows' positions, so it can be
      // changed at its current row.
      const std::string u = Unquoted(piece);
      const std::string lead = Normalized(piece);
      if (lead.rfind("SELECT ", 0) == 0 && !HasWord(u, "DISTINCT") && !HasWord(u, "GROUP") &&
          !HasWord(u, "UNION") && !HasWord(u, "INTERSECT") && !HasWord(u, "EXCEPT") &&
          !HasWord(u, "JOIN")) {
        const size_t at = Upper(piece).find("SELECT") + 6;
        Statement withRow;
        const std::string variant = piece.substr(0, at) + " rowid," + piece.substr(at);
        if (sqlite3_prepare_v2(db, variant.c_str(), -1, &withRow.st, nullptr) == SQLITE_OK && withRow.st) {
          Bind(withRow.st);
          const int n = sqlite3_column_count(withRow.st);
          const char* origin = n > 1 ? sqlite3_column_table_name(withRow.st, 1) : nullptr;
          bool same = origin != nullptr;
          for (int i = 1; same && i < n; ++i) {
            const char* t = sqlite3_column_table_name(withRow.st, i);
            same = t && std::strcmp(t, origin) == 0;
          }
          Table* table = same ? session_.FindTable(origin) : nullptr;
          if (table) {
            sqlite3_stmt* st = withRow.st;
            withRow.st = nullptr;
            return OpenView(st, true, table);
          }
        }
      }
      sqlite3_stmt* st = stmt.st;
      stmt.st = nullptr;
      return OpenView(st, false, nullptr);
    }
    if (int16_t s = session_.Begin(false); s != 0) return s;
    int32_t bulkChanged = 0;
    bool bulk = false;
    if (int16_t s = UpdateInBulk(piece, bulkChanged, bulk); bulk) {
      if (s != 0) {
        session_.End(false, false);
        return s;
      }
      if (s = session_.End(true, false); s != 0) return s;
      changedRows_ += bulkChanged;
      result = kNoticeUpdate;
      continue;
    }
    const int changesBefore = sqlite3_total_changes(db);
    int rc;
    while ((rc = sqlite3_step(stmt.st)) == SQLITE_ROW) {
    }
    const int changed = sqlite3_total_changes(db) - changesBefore;
    if (rc != SQLITE_DONE) {
      const int16_t s = session_.StatusOf(rc);
      session_.End(false, false);
      return s;
    }
    if (int16_t s = session_.End(true, false); s != 0) return s;
    changedRows_ += changed;
    result = NoticeOf(piece);
  }
  return result;
}

// An UPDATE of one table the engine runs itself (BulkUpdate.h); `done` is false when SQLite is
// to run it.
int16_t Cursor::UpdateInBulk(const std::string& statement, int32_t& changed, bool& done) {
  done = false;
  BulkUpdate plan;
  if (!PlanBulkUpdate(statement, session_, plan)) return 0;
  Statement select;
  if (sqlite3_prepare_v2(session_.Db(), plan.select.c_str(), -1, &select.st, nullptr) != SQLITE_OK ||
      !select.st)
    return 0;
  Bind(select.st);
  return RunBulkUpdate(session_, plan, select.st, changed, done);
}

// Keeps where the statement that failed to compile went wrong; `pieceStart` is where the
// statement SQLite read begins in the compiled text. SQLite tells the place of a syntax error;
// a missing table or column is found by its name, input that ends too early at its end.
void Cursor::NoteErrorAt(size_t pieceStart) {
  const int given = sqlite3_error_offset(session_.Db());
  const std::string& message = session_.LastError();
  size_t at = std::string::npos;
  if (given >= 0)
    at = pieceStart + static_cast<size_t>(given);
  else if (const std::string name = MissingName(message); !name.empty())
    at = FindWord(text_, pieceStart, name);
  else if (message == "incomplete input")
    at = LeadingBlanks(text_) + Trim(text_).size();
  if (at == std::string::npos || at > text_.size()) return;
  const size_t end = at + TokenLength(text_, at);
  errorOffset_ = static_cast<int32_t>(InGivenText(at));
  errorLength_ = static_cast<int32_t>(InGivenText(end)) - errorOffset_;
}

// The offset in the text as it was given of offset `at` in the compiled text: every "?" put
// back stood for a longer variable name.
size_t Cursor::InGivenText(size_t at) const {
  size_t shift = 0;
  for (const size_t mark : restoredMarks_)
    if (mark < at) shift += kMarkerLength - 1;
  return at + shift;
}

int16_t Cursor::OpenView(sqlite3_stmt* stmt, bool updatable, Table* table) {
  view_ = stmt;
  updatable_ = updatable;
  table_ = table;
  const int first = updatable ? 1 : 0;
  const int n = sqlite3_column_count(stmt);
  bool unknown = false;
  for (int i = first; i < n; ++i) {
    ViewColumn c;
    c.name = sqlite3_column_name(stmt, i) ? sqlite3_column_name(stmt, i) : "";
    const char* tname = sqlite3_column_table_name(stmt, i);
    const char* cname = sqlite3_column_origin_name(stmt, i);
    Table* origin = tname ? session_.FindTable(tname) : nullptr;
    const int index = origin && cname ? origin->ColumnIndex(cname) : -1;
    if (index >= 0) {
      c.format = origin->columns[index].format;
      if (updatable) c.tableColumn = index;
    } else {
      const std::string u = Upper(c.name);
      if (u.find("COUNT(") != std::string::npos) c.format = FieldFormat{kInteger, 4, 0};
      else if (u.find("SUM(") != std::string::npos || u.find("AVG(") != std::string::npos) c.format = FieldFormat{kFloat, 8, 0};
      else unknown = true;
    }
    columns_.push_back(c);
  }
  if (unknown) {
    // Computed columns take the type of their first value.
    const int rc = sqlite3_step(view_);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) return session_.StatusOf(rc);
    for (size_t i = 0; i < columns_.size(); ++i) {
      if (columns_[i].format.size != 0) continue;
      const int type = rc == SQLITE_ROW ? sqlite3_column_type(view_, static_cast<int>(i) + first) : SQLITE_TEXT;
      columns_[i].format = type == SQLITE_INTEGER ? FieldFormat{kInteger, 8, 0}
                           : type == SQLITE_FLOAT ? FieldFormat{kFloat, 8, 0}
                                                  : FieldFormat{kZString, 256, 0};
    }
    rowSize_ = 2;
    for (ViewColumn& c : columns_) c.offset = rowSize_, rowSize_ += c.format.size;
    if (rowSize_ > kMaxRowSize) return 211;
    if (rc == SQLITE_ROW) {
      Row row;
      if (int16_t s = EncodeCurrent(row.data); s != 0) return s;
      row.serial = nextSerial_++;
      rows_.push_back(std::move(row));
    } else {
      done_ = true;
    }
    return 0;
  }
  rowSize_ = 2;
  for (ViewColumn& c : columns_) c.offset = rowSize_, rowSize_ += c.format.size;
  if (rowSize_ > kMaxRowSize) return 211;
  // The first row is read at once, so a file that cannot be read fails the statement itself.
  return Fill(0);
}

int16_t Cursor::EncodeRow(sqlite3_stmt* st, int first, std::string& out) const {
  out.assign(rowSize_, '\0');
  auto* p = reinterpret_cast<uint8_t*>(out.data());
  size_t length = rowSize_;
  for (size_t i = 0; i < columns_.size(); ++i) {
    const ViewColumn& c = columns_[i];
    const size_t used = Encode(c.format, ColumnOf(st, static_cast<int>(i) + first), p + c.offset);
    if (i + 1 == columns_.size() && IsTail(c.format)) {
      size_t text = used;
      if (c.format.type == kZString) {
        const void* nul = std::memchr(p + c.offset, 0, c.format.size);
        text = nul ? static_cast<const uint8_t*>(nul) - (p + c.offset) : c.format.size;
      }
      length = c.offset + text;
    }
  }
  p[0] = static_cast<uint8_t>(length), p[1] = static_cast<uint8_t>(length >> 8);
  return 0;
}

int16_t Cursor::EncodeCurrent(std::string& out) {
  return EncodeRow(view_, updatable_ ? 1 : 0, out);
}

int16_t Cursor::Fill(size_t index) {
  while (rows_.size() <= index && !done_) {
    const int rc = sqlite3_step(view_);
    if (rc == SQLITE_DONE) {
      done_ = true;
      sqlite3_reset(view_);
      break;
    }
    if (rc != SQLITE_ROW) {
      done_ = true;
      const int16_t s = session_.StatusOf(rc);
      sqlite3_reset(view_);
      return s;
    }
    Row row;
    EncodeCurrent(row.data);
    row.rowid = updatable_ ? sqlite3_column_int64(view_, 0) : 0;
    row.serial = nextSerial_++;
    rows_.push_back(std::move(row));
  }
  return 0;
}

int16_t Cursor::Describe(int position, ViewColumn& column) const {
  if (!view_) return kStatusNoColumns;
  if (position < 1 || static_cast<size_t>(position) > columns_.size()) return kStatusBadColumn;
  column = columns_[static_cast<size_t>(position) - 1];
  return 0;
}

int16_t Cursor::Fetch(int option, uint8_t* buffer, size_t length, int32_t& count) {
  const int base = option & ~kFetchLock;
  const int32_t wanted = count < 1 ? 1 : count;
  count = 0;
  if (!view_) return kStatusNoColumns;
  if (base == kFetchAfterUpdate) return 0;
  if (length < rowSize_) return kStatusBufferTooShort;
  const size_t stride = RowStride();
  const int32_t room = static_cast<int32_t>(std::min<size_t>(1 + (length - rowSize_) / stride, INT32_MAX));
  const int32_t limit = std::min(wanted, room);
  long index = 0;
  int step = 1;
  switch (base) {
    case kFetchFirst: index = 0; break;
    case kFetchNext: index = pos_ + 1; break;
    case kFetchPrevious: index = pos_ - 1, step = -1; break;
    case kFetchLast:
      if (int16_t s = Fill(SIZE_MAX - 1); s != 0) return s;
      index = static_cast<long>(rows_.size()) - 1, step = -1;
      break;
    case kFetchCurrent:
      if (pos_ < 0 || !Valid(static_cast<size_t>(pos_))) return kStatusPositioning;
      std::memcpy(buffer, rows_[pos_].data.data(), rowSize_);
      count = 1;
      return 0;
    case kFetchAtBookmark: {
      if (length < 10) return kStatusBufferTooShort;
      int32_t serial;
      std::memcpy(&serial, buffer + 2, 4);
      for (size_t i = 0; i < rows_.size(); ++i)
        if (rows_[i].serial == serial && !rows_[i].removed) {
          pos_ = static_cast<long>(i);
          std::memcpy(buffer, rows_[i].data.data(), rowSize_);
          count = 1;
          return 0;
        }
      return kStatusPositioning;
    }
    default:
      return 1;
  }
  while (count < limit && index >= 0) {
    if (int16_t s = Fill(static_cast<size_t>(index)); s != 0) return s;
    if (static_cast<size_t>(index) >= rows_.size()) break;
    if (!rows_[index].removed) {
      std::memcpy(buffer + static_cast<size_t>(count) * stride, rows_[index].data.data(), rowSize_);
      pos_ = index;
      ++count;
    }
    index += step;
  }
  if (count < limit) {
    if (count == 0) pos_ = step > 0 ? static_cast<long>(rows_.size()) : -1;
    return kNoticeNoMoreRows;
  }
  return 0;
}

int16_t Cursor::Bookmark(uint8_t* buffer, size_t length, int32_t& count) {
  count = 0;
  if (!view_) return kStatusNoColumns;
  if (length < 10) return kStatusBufferTooShort;
  if (pos_ < 0 || !Valid(static_cast<size_t>(pos_))) return kStatusPositioning;
  const Row& r = rows_[pos_];
  const uint16_t n = 8;
  const auto rowid = static_cast<int32_t>(r.rowid);
  std::memcpy(buffer, &n, 2);
  std::memcpy(buffer + 2, &r.serial, 4);
  std::memcpy(buffer + 6, &rowid, 4);
  count = 1;
  return 0;
}

std::vector<Value> Cursor::DecodeRow(const uint8_t* row) const {
  uint16_t length = static_cast<uint16_t>(row[0] | row[1] << 8);
  if (length < 2 || length > rowSize_) length = static_cast<uint16_t>(rowSize_);
  std::vector<Value> values;
  for (const ViewColumn& c : columns_) {
    const size_t avail = length > c.offset ? std::min<size_t>(c.format.size, length - c.offset) : 0;
    values.push_back(Decode(c.format, row + c.offset, IsTail(c.format) ? avail : c.format.size));
  }
  return values;
}

std::string Cursor::TextRow(const uint8_t* row) const {
  std::string out;
  const std::vector<Value> values = DecodeRow(row);
  for (size_t i = 0; i < values.size(); ++i) {
    const Value& v = values[i];
    const FieldFormat& f = columns_[i].format;
    const int places = f.type == kCurrency || f.type == kMoney ? 2 : f.decimals;
    if (v.kind == Value::Real && places > 0 && f.type != kFloat) {
      char buf[64];
      std::snprintf(buf, sizeof buf, "%.*f", places, v.r);
      out += buf;
    } else if (v.kind == Value::Blob) {
      static const char* hex = "0123456789ABCDEF";
      for (unsigned char c : v.s) out += hex[c >> 4], out += hex[c & 15];
    } else {
      out += v.AsText();
    }
    out += '\0';
  }
  return out;
}

int16_t Cursor::Change(const std::string& sql, const std::vector<Value>& values, int64_t rowid,
                       bool withRowid) {
  Statement st;
  if (int rc = sqlite3_prepare_v2(session_.Db(), sql.c_str(), -1, &st.st, nullptr); rc != SQLITE_OK)
    return session_.StatusOf(rc);
  int i = 1;
  for (const Value& v : values) BindValue(st.st, i++, v);
  if (withRowid) sqlite3_bind_int64(st.st, i, rowid);
  if (int16_t s = session_.Begin(false); s != 0) return s;
  const int rc = sqlite3_step(st.st);
  if (rc != SQLITE_DONE) {
    const int16_t s = session_.StatusOf(rc);
    session_.End(false, false);
    return s;
  }
  return session_.End(true, false);
}

int16_t Cursor::Reload(Row& row) {
  std::string sql = "SELECT ";
  for (size_t i = 0; i < columns_.size(); ++i)
    sql += (i ? ", " : "") + Quoted(table_->columns[columns_[i].tableColumn].name);
  sql += " FROM " + Quoted(table_->name) + " WHERE rowid = ?";
  Statement st;
  if (int rc = sqlite3_prepare_v2(session_.Db(), sql.c_str(), -1, &st.st, nullptr); rc != SQLITE_OK)
    return session_.StatusOf(rc);
  sqlite3_bind_int64(st.st, 1, row.rowid);
  const int rc = sqlite3_step(st.st);
  if (rc == SQLITE_ROW) return EncodeRow(st.st, 0, row.data);
  if (rc == SQLITE_DONE) {
    row.removed = true;
    return kStatusPositioning;
  }
  return session_.StatusOf(rc);
}

// The table columns a change through the view sets, each once, with their values.
void Cursor::Assignments(const uint8_t* row, std::vector<std::string>& names, std::vector<Value>& values) const {
  const std::vector<Value> all = DecodeRow(row);
  std::vector<int> seen;
  for (size_t i = 0; i < columns_.size(); ++i) {
    const int tc = columns_[i].tableColumn;
    if (tc < 0 || std::find(seen.begin(), seen.end(), tc) != seen.end()) continue;
    seen.push_back(tc);
    names.push_back(Quoted(table_->columns[tc].name));
    values.push_back(all[i]);
  }
}

int16_t Cursor::Update(const uint8_t* row) {
  if (!view_) return kStatusNoColumns;
  if (!updatable_) return kStatusNotUpdatable;
  if (pos_ < 0 || !Valid(static_cast<size_t>(pos_))) return kStatusPositioning;
  std::vector<std::string> names;
  std::vector<Value> values;
  Assignments(row, names, values);
  std::string sql = "UPDATE " + Quoted(table_->name) + " SET ";
  for (size_t i = 0; i < names.size(); ++i) sql += (i ? ", " : "") + names[i] + " = ?";
  sql += " WHERE rowid = ?";
  if (int16_t s = Change(sql, values, rows_[pos_].rowid, true); s != 0) return s;
  return Reload(rows_[pos_]);
}

int16_t Cursor::Insert(const uint8_t* rows, int count) {
  if (!view_) return kStatusNoColumns;
  if (!updatable_) return kStatusNotUpdatable;
  for (int r = 0; r < count; ++r) {
    std::vector<std::string> names;
    std::vector<Value> values;
    Assignments(rows + static_cast<size_t>(r) * RowStride(), names, values);
    std::string sql = "INSERT INTO " + Quoted(table_->name) + " (";
    for (size_t i = 0; i < names.size(); ++i) sql += (i ? ", " : "") + names[i];
    sql += ") VALUES (";
    for (size_t i = 0; i < names.size(); ++i) sql += i ? ", ?" : "?";
    sql += ")";
    if (int16_t s = Change(sql, values, 0, false); s != 0) return s;
    Row row;
    row.rowid = sqlite3_last_insert_rowid(session_.Db());
    row.serial = nextSerial_++;
    if (int16_t s = Reload(row); s != 0) return s;
    const size_t at = static_cast<size_t>(std::clamp<long>(pos_ + 1, 0, static_cast<long>(rows_.size())));
    rows_.insert(rows_.begin() + static_cast<long>(at), std::move(row));
    pos_ = static_cast<long>(at);
  }
  return 0;
}

int16_t Cursor::Remove() {
  if (!view_) return kStatusNoColumns;
  if (!updatable_) return kStatusNotUpdatable;
  if (pos_ < 0 || !Valid(static_cast<size_t>(pos_))) return kStatusPositioning;
  const std::string sql = "DELETE FROM " + Quoted(table_->name) + " WHERE rowid = ?";
  if (int16_t s = Change(sql, {}, rows_[pos_].rowid, true); s != 0) return s;
  rows_[pos_].removed = true;
  return 0;
}

}  // namespace vader::sqlengine
