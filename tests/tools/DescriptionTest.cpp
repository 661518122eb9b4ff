// File descriptions: the text round trip through a real file (describe, create, describe),
// and the messages that malformed descriptions give.

#include <gtest/gtest.h>

#include "ParseCases.h"
#include "common/TempDir.h"
#include "tools/Description.h"
#include "tools/Records.h"
#include "tools/TextLines.h"

namespace vader::tools {
namespace {

// Every attribute the description knows, on a file the record manager accepts.
const char* const kRich = R"(# a rich description
file record=120 page=2048 variable truncate
key number=0 modifiable
segment position=1 length=4 type=autoincrement
key number=1 duplicates modifiable null=any
segment position=5 length=20 type=string nocase null-value=32
segment position=25 length=4 type=date descending
key number=3 repeating
segment position=29 length=12 type=zstring acs=0
key number=4 null=all
segment position=41 length=8 type=currency
segment position=49 length=6 type=decimal descending
segment position=55 length=2 type=binary legacy
acs name=UPPER
)";

std::string RoundTrip(const std::string& description, const std::string& path) {
  CreateFromDef(path, ParseDescription(description), true);
  return Describe(StatFile(path));
}

TEST(DescriptionTest, DescribeCreateDescribeReproducesTheFile) {
  testing::TempDir dir;
  const std::string first = RoundTrip(kRich, dir.File("a.btr"));
  EXPECT_EQ(first, RoundTrip(first, dir.File("b.btr")));
  // The gap in the key numbers survives, and so do the per-segment flags.
  EXPECT_NE(first.find("key number=3 repeating\n"), std::string::npos) << first;
  EXPECT_NE(first.find("type=string nocase null-value=32"), std::string::npos) << first;
  EXPECT_NE(first.find("type=binary legacy"), std::string::npos) << first;
  EXPECT_NE(first.find("acs name=UPPER table=00010203"), std::string::npos) << first;
  const FileDef def = StatFile(dir.File("b.btr"));
  EXPECT_EQ(2048, def.pageSize);
  EXPECT_EQ(kFileVariable | kFileBlankTruncation, def.flags & 0xFF);
  ASSERT_EQ(4u, def.keys.size());
  EXPECT_EQ(4, def.keys[3].number);
  EXPECT_EQ(3u, def.keys[3].segments.size());
}

TEST(DescriptionTest, MalformedDescriptionsNameTheLine) {
  ExpectParseErrors(
      {
          {"file record=10\nkey\nsegment position=1 length=4 type=intger\n", 3, "unknown type"},
          {"file record=10\nsegment position=1 length=4\n", 2, "before any 'key'"},
          {"key\n", 1, "'key' before 'file'"},
          {"file record=70000\n", 1, "out of range"},
          {"file record=ten\n", 1, "not a number"},
          {"file record=10 colour=red\n", 1, "unknown attribute 'colour'"},
          {"file record=10\nkey\nsegment position=1\n", 3, "needs position"},
          {"file record=10\nkey descending\n", 2, "unexpected word"},
          {"file record=10\nfile record=20\n", 2, "twice"},
          {"file record=10\nkey null=maybe\n", 2, "null must be"},
          {"file record=10\nacs name=FRENCH\n", 2, "needs table"},
          {"file record=10\nacs name=X table=00ff\n", 2, "512 hex digits"},
          {"file record=10 page=\"4096\n", 1, "unterminated quote"},
          {"file record=10\nkey number=1\nsegment position=1 length=2\nkey number=1\n", 4, "twice"},
      },
      [](const char* text) { ParseDescription(text); });
  EXPECT_THROW(ParseDescription("# nothing\n"), ParseError);
  EXPECT_THROW(ParseDescription("file record=10\nkey\n"), ParseError);  // a key without segments
}

TEST(DescriptionTest, TheRecordManagerJudgesWhatParses) {
  testing::TempDir dir;
  // Syntactically fine, but the key lies beyond the record: the status is reported.
  const FileDef def = ParseDescription("file record=8\nkey\nsegment position=7 length=4\n");
  try {
    CreateFromDef(dir.File("x.btr"), def, true);
    ADD_FAILURE() << "created";
  } catch (const BtrieveError& e) {
    EXPECT_EQ(27, e.Status()) << e.what();
  }
}

}  // namespace
}  // namespace vader::tools
