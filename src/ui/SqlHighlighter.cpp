#include "ui/SqlHighlighter.h"

#include <QFont>
#include <QSet>
#include <QString>

namespace vader::ui {
namespace {

// Block state of a line that ends inside a /* */ comment.
constexpr int kInsideComment = 1;

const QSet<QString>& Keywords() {
  static const QSet<QString> words = {
      "ADD",         "ALL",     "ALTER",  "AND",     "AS",        "ASC",    "AVG",
      "BEGIN",       "BETWEEN", "BY",     "CALL",    "CASE",      "CHECK",  "COMMIT",
      "COUNT",       "CREATE",  "CROSS",  "DEFAULT", "DELETE",    "DESC",   "DISTINCT",
      "DROP",        "ELSE",    "END",    "EXCEPT",  "EXISTS",    "FALSE",  "FROM",
      "GRANT",       "GROUP",   "HAVING", "IN",      "INDEX",     "INNER",  "INSERT",
      "INTERSECT",   "INTO",    "IS",     "JOIN",    "KEY",       "LEFT",   "LIKE",
      "LIMIT",       "MAX",     "MIN",    "NOT",     "NULL",      "ON",     "OR",
      "ORDER",       "OUTER",   "OWNER",  "PRIMARY", "PROCEDURE", "REVOKE", "RIGHT",
      "ROLLBACK",    "SELECT",  "SET",    "START",   "SUM",       "TABLE",  "THEN",
      "TRANSACTION", "TRUE",    "UNION",  "UNIQUE",  "UPDATE",    "USING",  "VALUES",
      "VIEW",        "WHEN",    "WHERE",  "WORK"};
  return words;
}

bool IsNameChar(QChar c) { return c.isLetterOrNumber() || c == u'_' || c == u'$' || c == u'@'; }

bool At(QStringView line, qsizetype i, char16_t c) { return i < line.size() && line[i] == c; }

// The end of the number that begins at `i`: digits, a decimal point, an exponent.
qsizetype NumberEnd(QStringView line, qsizetype i) {
  while (i < line.size() && (line[i].isDigit() || line[i] == u'.')) ++i;
  if ((At(line, i, u'e') || At(line, i, u'E')) && i + 1 < line.size()) {
    qsizetype e = i + 1;
    if (line[e] == u'+' || line[e] == u'-') ++e;
    if (e < line.size() && line[e].isDigit()) {
      i = e;
      while (i < line.size() && line[i].isDigit()) ++i;
    }
  }
  return i;
}

}  // namespace

std::vector<TSqlSpan> SqlSpans(QStringView line, bool& inComment) {
  std::vector<TSqlSpan> spans;
  const auto add = [&](qsizetype begin, qsizetype end, TSqlSpanKind kind) {
    spans.push_back({static_cast<int>(begin), static_cast<int>(end - begin), kind});
  };
  qsizetype i = 0;
  if (inComment) {
    const qsizetype close = line.indexOf(u"*/");
    inComment = close < 0;
    i = inComment ? line.size() : close + 2;
    add(0, i, TSqlSpanKind::Comment);
  }
  while (i < line.size()) {
    const QChar c = line[i];
    if (c == u'-' && At(line, i + 1, u'-')) {
      add(i, line.size(), TSqlSpanKind::Comment);
      break;
    }
    if (c == u'/' && At(line, i + 1, u'*')) {
      const qsizetype close = line.indexOf(u"*/", i + 2);
      inComment = close < 0;
      const qsizetype end = inComment ? line.size() : close + 2;
      add(i, end, TSqlSpanKind::Comment);
      i = end;
    } else if (c == u'\'' || c == u'"') {
      const qsizetype close = line.indexOf(c, i + 1);
      const qsizetype end = close < 0 ? line.size() : close + 1;
      add(i, end, TSqlSpanKind::Literal);
      i = end;
    } else if (c.isDigit()) {
      const qsizetype end = NumberEnd(line, i);
      add(i, end, TSqlSpanKind::Number);
      i = end;
    } else if (IsNameChar(c)) {
      qsizetype end = i;
      while (end < line.size() && IsNameChar(line[end])) ++end;
      if (Keywords().contains(line.mid(i, end - i).toString().toUpper()))
        add(i, end, TSqlSpanKind::Keyword);
      i = end;
    } else {
      ++i;
    }
  }
  return spans;
}

TSqlHighlighter::TSqlHighlighter(QTextDocument* document) : QSyntaxHighlighter(document) {}

void TSqlHighlighter::highlightBlock(const QString& text) {
  bool inComment = previousBlockState() == kInsideComment;
  for (const TSqlSpan& span : SqlSpans(text, inComment))
    setFormat(span.begin, span.length, FormatOf(span.kind));
  setCurrentBlockState(inComment ? kInsideComment : 0);
}

QTextCharFormat TSqlHighlighter::FormatOf(TSqlSpanKind kind) const {
  QTextCharFormat format;
  switch (kind) {
    case TSqlSpanKind::Keyword:
      format.setForeground(QColor(0x1f, 0x3f, 0xa8));
      format.setFontWeight(QFont::Bold);
      break;
    case TSqlSpanKind::Literal:
      format.setForeground(QColor(0xa3, 0x15, 0x15));
      break;
    case TSqlSpanKind::Number:
      format.setForeground(QColor(0x09, 0x86, 0x58));
      break;
    case TSqlSpanKind::Comment:
      format.setForeground(QColor(0x6a, 0x73, 0x7d));
      format.setFontItalic(true);
      break;
  }
  return format;
}

}  // namespace vader::ui
