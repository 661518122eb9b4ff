#pragma once
// Colours SQL text in an editor: keywords, quoted literals, numbers and comments. The spans of
// a line are found by SqlSpans, which knows whether the line begins inside a /* */ comment,
// so a comment over several lines is coloured whole.

#include <QStringView>
#include <QSyntaxHighlighter>
#include <QTextCharFormat>
#include <vector>

class QTextDocument;

namespace vader::ui {

enum class TSqlSpanKind { Keyword, Literal, Number, Comment };

struct TSqlSpan {
  int begin = 0;  // in UTF-16 units of the line, as the editor counts
  int length = 0;
  TSqlSpanKind kind = TSqlSpanKind::Keyword;
  bool operator==(const TSqlSpan&) const = default;
};

// The coloured spans of one line. `inComment` tells whether the line begins inside a block
// comment; on return, whether it ends inside one.
std::vector<TSqlSpan> SqlSpans(QStringView line, bool& inComment);

class TSqlHighlighter : public QSyntaxHighlighter {
 public:
  explicit TSqlHighlighter(QTextDocument* document);

 protected:
  void highlightBlock(const QString& text) override;

 private:
  QTextCharFormat FormatOf(TSqlSpanKind kind) const;
};

}  // namespace vader::ui
