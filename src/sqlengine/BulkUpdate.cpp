#include "sqlengine/BulkUpdate.h"

#include <strings.h>

#include <cctype>
#include <cstring>

#include "sqlengine/Session.h"
#include "sqlengine/WriteBatch.h"

namespace vader::sqlengine {
namespace {

// The changes are held in memory until every row is read; beyond this SQLite runs the
// statement (it keeps its copy of the rows on disk).
constexpr size_t kMostHeldBytes = size_t{256} << 20;

// A token of the statement: a word (name, keyword or number), a quoted name, a quoted text, or
// one other character; `depth` counts the parentheses it stands in.
struct Token {
  enum Kind { Word, QuotedName, Text, Other } kind;
  size_t begin, end;
  int depth;
};

bool IsWordChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$'; }

// The end of the quoted part that begins at `at` (one past the closing quote); npos when it is
// not closed. A doubled quote stands for one.
size_t QuotedEnd(const std::string& s, size_t at) {
  const char close = s[at] == '[' ? ']' : s[at];
  for (size_t i = at + 1; i < s.size(); ++i) {
    if (s[i] != close) continue;
    if (close != ']' && i + 1 < s.size() && s[i + 1] == close) {
      ++i;
      continue;
    }
    return i + 1;
  }
  return std::string::npos;
}

// The tokens of `s`; false for a comment or an unclosed quote (SQLite is left to it).
bool Tokenize(const std::string& s, std::vector<Token>& out) {
  int depth = 0;
  for (size_t i = 0; i < s.size();) {
    const char c = s[i];
    if (std::isspace(static_cast<unsigned char>(c))) {
      ++i;
      continue;
    }
    if ((c == '-' && s.compare(i, 2, "--") == 0) || (c == '/' && s.compare(i, 2, "/*") == 0))
      return false;
    Token t{Token::Other, i, i + 1, depth};
    if (c == '\'' || c == '"' || c == '`' || c == '[') {
      t.end = QuotedEnd(s, i);
      if (t.end == std::string::npos) return false;
      t.kind = c == '\'' ? Token::Text : Token::QuotedName;
    } else if (IsWordChar(c)) {
      while (t.end < s.size() && IsWordChar(s[t.end])) ++t.end;
      t.kind = Token::Word;
    } else if (c == '(') {
      ++depth;
    } else if (c == ')') {
      t.depth = --depth;
      if (depth < 0) return false;
    }
    out.push_back(t);
    i = t.end;
  }
  return depth == 0;
}

// The statement's text and its tokens.
class Tokens {
 public:
  explicit Tokens(const std::string& text) : text_(text) {}
  bool Read() { return Tokenize(text_, tokens_); }
  size_t Size() const { return tokens_.size(); }
  const Token& At(size_t i) const { return tokens_[i]; }
  std::string Text(size_t i) const { return text_.substr(tokens_[i].begin, tokens_[i].end - tokens_[i].begin); }
  // The text from token `first` up to (not including) token `last`.
  std::string Span(size_t first, size_t last) const {
    const size_t end = last < tokens_.size() ? tokens_[last].begin : text_.size();
    return text_.substr(tokens_[first].begin, end - tokens_[first].begin);
  }
  bool IsWord(size_t i, const char* word) const {
    if (i >= tokens_.size() || tokens_[i].kind != Token::Word) return false;
    const Token& t = tokens_[i];
    return t.end - t.begin == std::strlen(word) && strncasecmp(text_.data() + t.begin, word, t.end - t.begin) == 0;
  }
  bool IsChar(size_t i, char c) const {
    return i < tokens_.size() && tokens_[i].kind == Token::Other && text_[tokens_[i].begin] == c;
  }
  // A name as SQLite reads it: a word, or a quoted name without its quotes.
  bool Name(size_t i, std::string& out) const {
    if (i >= tokens_.size()) return false;
    const Token& t = tokens_[i];
    if (t.kind == Token::Word) {
      if (std::isdigit(static_cast<unsigned char>(text_[t.begin]))) return false;
      out = Text(i);
      return true;
    }
    if (t.kind != Token::QuotedName) return false;
    const char quote = text_[t.begin];
    out.clear();
    for (size_t p = t.begin + 1; p + 1 < t.end; ++p) {
      out += text_[p];
      if (quote != '[' && text_[p] == quote) ++p;  // a doubled quote
    }
    return true;
  }

 private:
  const std::string& text_;
  std::vector<Token> tokens_;
};

// Whether a token at the statement's own level ends an expression (a comma or WHERE), or
// brings a clause this plan does not take.
enum class Stop { None, Comma, Where, Unknown };

Stop StopAt(const Tokens& st, size_t i) {
  if (st.At(i).depth != 0) return Stop::None;
  if (st.IsChar(i, ',')) return Stop::Comma;
  if (st.IsWord(i, "WHERE")) return Stop::Where;
  for (const char* w : {"FROM", "RETURNING", "ORDER", "LIMIT"})
    if (st.IsWord(i, w)) return Stop::Unknown;
  return Stop::None;
}

// A name for the row position that no column of the table takes.
const char* RowidName(const Table& t) {
  for (const char* name : {"rowid", "_rowid_", "oid"})
    if (t.ColumnIndex(name) < 0) return name;
  return nullptr;
}

}  // namespace

bool ParseUpdate(const std::string& statement, UpdateText& out) {
  std::string text = statement;
  while (!text.empty() && (std::isspace(static_cast<unsigned char>(text.back())) || text.back() == ';'))
    text.pop_back();
  Tokens st(text);
  if (!st.Read() || !st.IsWord(0, "UPDATE") || !st.Name(1, out.tableName) || !st.IsWord(2, "SET"))
    return false;
  out.table = st.Text(1);
  out.columns.clear();
  out.values.clear();
  out.where.clear();
  size_t i = 3;
  for (;;) {
    std::string column;
    if (!st.Name(i, column) || !st.IsChar(i + 1, '=')) return false;
    const size_t first = i += 2;
    Stop stop = Stop::None;
    while (i < st.Size() && (stop = StopAt(st, i)) == Stop::None) ++i;
    if (stop == Stop::Unknown || i == first) return false;
    out.columns.push_back(column);
    out.values.push_back(st.Span(first, i));
    if (stop != Stop::Comma) break;
    ++i;
  }
  if (i == st.Size()) return true;
  const size_t where = ++i;
  for (; i < st.Size(); ++i)
    if (StopAt(st, i) != Stop::None) return false;
  if (where == st.Size()) return false;
  out.where = st.Span(where, st.Size());
  return true;
}

bool PlanBulkUpdate(const std::string& statement, const Session& session, BulkUpdate& plan) {
  UpdateText text;
  if (!ParseUpdate(statement, text)) return false;
  plan.table = session.FindTable(text.tableName);
  const char* rowid = plan.table ? RowidName(*plan.table) : nullptr;
  if (!rowid) return false;
  plan.columns.clear();
  plan.select = std::string("SELECT ") + rowid;
  for (size_t k = 0; k < text.columns.size(); ++k) {
    const int index = plan.table->ColumnIndex(text.columns[k]);
    if (index < 0) return false;
    for (const uint16_t c : plan.columns)
      if (c == index) return false;  // assigned twice
    plan.columns.push_back(static_cast<uint16_t>(index));
    plan.select += ", " + text.values[k];
  }
  plan.select += " FROM " + text.table;
  if (!text.where.empty()) plan.select += " WHERE " + text.where;
  return true;
}

int16_t RunBulkUpdate(Session& session, const BulkUpdate& plan, sqlite3_stmt* select,
                      int32_t& changed, bool& done) {
  changed = 0;
  done = false;
  const Table& t = *plan.table;
  if (!t.layoutKnown || !WriteBatch::Fits(t, plan.columns)) return 0;
  std::vector<WriteBatch> batches(1);
  batches.back().Start(t, plan.columns);
  std::vector<uint8_t> record(t.recordLength);
  size_t held = 0;
  int rc;
  while ((rc = sqlite3_step(select)) == SQLITE_ROW) {
    if (batches.back().Full()) {
      if ((held += batches.back().Bytes()) > kMostHeldBytes) return 0;
      batches.emplace_back().Start(t, plan.columns);
    }
    for (size_t k = 0; k < plan.columns.size(); ++k)
      if (!EncodeColumn(t.columns[plan.columns[k]], FromSqlite(sqlite3_column_value(select, static_cast<int>(k) + 1)),
                        record.data()))
        return 0;
    batches.back().AddUpdate(static_cast<uint32_t>(sqlite3_column_int64(select, 0)), record.data());
  }
  done = true;
  if (rc != SQLITE_DONE) return session.StatusOf(rc);
  BtrFile writer(session.Client());
  if (int16_t s = writer.Open(t.path, session.Owners(), 0); s != 0) return s;
  for (WriteBatch& batch : batches) {
    if (StopWanted()) return kStatusStopped;
    const uint16_t rows = batch.Rows();
    if (int16_t s = batch.Send(writer); s != 0) return s;
    changed += rows;
  }
  return 0;
}

}  // namespace vader::sqlengine
