// The statement editor's colours and line numbers: the spans SQL text is coloured in, and a
// memo that asks for both realised with them (and without them again when it stops asking).

#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QSyntaxHighlighter>
#include <QTextBlock>
#include <QTextLayout>

#include "ui/FormWindow.h"
#include "ui/NumberedTextEdit.h"
#include "ui/QtFixture.h"
#include "ui/SqlHighlighter.h"

namespace vader::ui {
namespace {

using Kind = TSqlSpanKind;

TEST(SqlSpans, KeywordsLiteralsNumbersAndCommentsOverSeveralLines) {
  bool inComment = false;
  // A "--" or keyword inside a literal is the literal's; names that are no keyword and names
  // with digits are not coloured.
  EXPECT_EQ(SqlSpans(u"select Id2 from T where a = 'x -- from' and b >= 1.5e3 -- end", inComment),
            (std::vector<TSqlSpan>{{0, 6, Kind::Keyword},
                                   {11, 4, Kind::Keyword},
                                   {18, 5, Kind::Keyword},
                                   {28, 11, Kind::Literal},
                                   {40, 3, Kind::Keyword},
                                   {49, 5, Kind::Number},
                                   {55, 6, Kind::Comment}}));
  EXPECT_FALSE(inComment);
  EXPECT_EQ(SqlSpans(u"SELECT /* one", inComment),
            (std::vector<TSqlSpan>{{0, 6, Kind::Keyword}, {7, 6, Kind::Comment}}));
  EXPECT_TRUE(inComment);
  EXPECT_EQ(SqlSpans(u"FROM 'two' */ FROM", inComment),
            (std::vector<TSqlSpan>{{0, 13, Kind::Comment}, {14, 4, Kind::Keyword}}));
  EXPECT_FALSE(inComment);
}

TEST_F(QtTest, AMemoShowsSqlColoursAndLineNumbersWhileItAsksForThem) {
  TForm form(nullptr);
  auto* memo = new TMemo(&form);
  memo->SetName("Statement");
  memo->SetParent(&form);
  memo->SetText("SELECT *\nFROM Customers");
  TFormWindow window(&form);
  auto* editor = window.findChild<TNumberedTextEdit*>();
  ASSERT_NE(editor, nullptr);
  const auto highlighter = [&] { return editor->document()->findChild<QSyntaxHighlighter*>(); };
  EXPECT_EQ(highlighter(), nullptr);
  EXPECT_EQ(editor->MarginWidth(), 0);

  memo->SetSyntax(TMemoSyntax::Sql);
  memo->SetLineNumbers(true);
  EXPECT_NE(highlighter(), nullptr);
  EXPECT_FALSE(editor->document()->firstBlock().layout()->formats().isEmpty());
  EXPECT_GT(editor->MarginWidth(), 0);

  memo->SetSyntax(TMemoSyntax::Plain);
  memo->SetLineNumbers(false);
  EXPECT_EQ(highlighter(), nullptr);
  EXPECT_EQ(editor->MarginWidth(), 0);
  EXPECT_EQ(editor->toPlainText(), "SELECT *\nFROM Customers");
}

}  // namespace
}  // namespace vader::ui
