// The sequential format: save, load and save again gives the same bytes; malformed input
// gives the line and byte where it went wrong.

#include <gtest/gtest.h>

#include <sstream>

#include "common/TempDir.h"
#include "tools/Description.h"
#include "tools/NativeTypes.h"
#include "tools/Records.h"
#include "tools/Sequential.h"

namespace vader::tools {
namespace {

const char* const kVariable =
    "file record=8 variable\nkey\nsegment position=1 length=4 type=integer\n"
    "key duplicates\nsegment position=5 length=4 type=string\n";

std::string Record(uint32_t id, const std::string& tail) {
  Bytes r(8, ' ');
  WriteLe(r, 0, 4, id);
  return r + tail;
}

TEST(SequentialTest, SaveLoadSaveIsByteIdentical) {
  testing::TempDir dir;
  CreateFromDef(dir.File("a.btr"), ParseDescription(kVariable), true);
  {
    BtrFile file(dir.File("a.btr"));
    // Tails with CR LF, NUL, Ctrl-Z and digits-and-comma inside the record bytes.
    for (const std::string& tail :
         {std::string(""), std::string("line\r\nbreak"), std::string("\0\x1a\xff", 3),
          std::string("12,34\r\n"), std::string(3000, 'x')}) {
      Bytes r = Record(static_cast<uint32_t>(tail.size() + 1), tail);
      file.Insert(r);
    }
  }
  std::ostringstream first;
  EXPECT_EQ(5u, SaveRecords(dir.File("a.btr"), "", first));
  CloneFile(dir.File("a.btr"), "", dir.File("b.btr"), false);
  std::istringstream in(first.str());
  EXPECT_EQ(5u, LoadRecords(dir.File("b.btr"), "", in));
  std::ostringstream second;
  SaveRecords(dir.File("b.btr"), "", second);
  EXPECT_EQ(first.str(), second.str());
  EXPECT_EQ(0u, first.str().find(std::string("8,") + Record(1, "").substr(0, 8) + "\r\n"));
}

TEST(SequentialTest, ReaderAcceptsTheClassicEndings) {
  std::istringstream in("3,abc\r\n2,de\n0,\r\n\x1a trailing text after Ctrl-Z");
  SequentialReader reader(in);
  Bytes r;
  std::vector<Bytes> all;
  while (reader.Next(r)) all.push_back(r);
  EXPECT_EQ((std::vector<Bytes>{"abc", "de", ""}), all);
}

TEST(SequentialTest, MalformedInputNamesLineAndByte) {
  const struct {
    const char* text;
    const char* message;
  } cases[] = {
      {"3,abc\r\nx,abc\r\n", "line 2 (byte 7): expected the record length"},
      {"3,abc\r\n,abc\r\n", "line 2 (byte 7): the record length is missing"},
      {"3,abc\r\n5,ab", "line 2 (byte 9): the input ends inside a record of 5 bytes"},
      {"3,abcd\r\n", "line 1 (byte 5): expected CR LF"},
      {"99999999,a", "line 1 (byte 5): the record length has too many digits"},
      {"70000,a", "line 1 (byte 6): record length 70000 exceeds 65535"},
      {"12", "line 1 (byte 2): the input ends inside a record length"},
  };
  for (const auto& c : cases) {
    std::istringstream in(c.text);
    SequentialReader reader(in);
    Bytes r;
    try {
      while (reader.Next(r)) {
      }
      ADD_FAILURE() << "accepted: " << c.text;
    } catch (const SequentialError& e) {
      EXPECT_EQ(std::string(c.message), std::string(e.what()).substr(0, strlen(c.message)))
          << e.what();
    }
  }
}

TEST(SequentialTest, LoadStopsAtTheFirstRefusedRecordAndNamesIt) {
  testing::TempDir dir;
  CreateFromDef(dir.File("a.btr"), ParseDescription(kVariable), true);
  std::ostringstream seq;
  WriteSequential(seq, Record(1, "a"));
  WriteSequential(seq, Record(1, "b"));  // the same unique key
  std::istringstream in(seq.str());
  try {
    LoadRecords(dir.File("a.btr"), "", in);
    ADD_FAILURE() << "loaded";
  } catch (const BtrieveError& e) {
    EXPECT_EQ(5, e.Status());
    EXPECT_NE(std::string(e.what()).find("line 2"), std::string::npos) << e.what();
  }
}

}  // namespace
}  // namespace vader::tools
