// Sequential reads interleaved with writes: whoever changes the file between two steps (another
// position block of the walking client, another client, another process, or the walking block
// itself), every step returns exactly what a fresh seek from the same place returns.

#include <sys/stat.h>

#include <memory>

#include "ChildProcess.h"
#include "Fixture.h"

namespace vader::microkernel::test {
namespace {

enum : uint16_t { kGetNextExt = 36, kStepNextExt = 38 };

// What a read returned: its status and the records, position first.
struct Seen {
  int16_t status = 0;
  std::vector<std::string> records;
  bool operator==(const Seen&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Seen& s) {
  out << "status " << s.status << ":";
  for (const std::string& r : s.records)
    out << " " << FromLe(r, 0, 4) << "/" << static_cast<int32_t>(FromLe(r, 4, 4)) << "/"
        << static_cast<int32_t>(FromLe(r, 28, 4));
  return out;
}

std::string Hex(const std::string& bytes) {
  static const char* const kDigits = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out.push_back(kDigits[c >> 4]);
    out.push_back(kDigits[c & 15]);
  }
  return out;
}

enum class Writer { kSameClient, kOtherClient, kOtherProcess };

class WalkTest : public ApiTest {
 protected:
  void SetUp() override {
    ApiTest::SetUp();
    MakePeople(walker_, {10, 20, 30, 40, 50, 60, 70, 80, 90});
  }

  void Use(Writer w) {
    writer_ = w;
    if (w == Writer::kOtherProcess) {
      child_ = std::make_unique<Child>("write", std::vector<std::string>{Path("people")});
      return;
    }
    File& f = w == Writer::kSameClient ? same_ : other_;
    ASSERT_EQ(0, f.Open(Path("people")));
  }

  // The writes, made by the writer under test; updates and deletes find the record by id.
  int16_t Write(const std::string& verb, int32_t id, int32_t amount = 0) {
    const std::string rec = Person(id, "w" + std::to_string(id), amount);
    if (writer_ == Writer::kOtherProcess) {
      const std::string line = verb == "insert"   ? "insert " + Hex(rec)
                               : verb == "update" ? "update " + std::to_string(id) + " " + Hex(rec)
                                                  : "delete " + std::to_string(id);
      const std::string answer = child_->Ask(line);
      return answer.empty() ? -1 : static_cast<int16_t>(std::atoi(answer.c_str()));
    }
    File& f = writer_ == Writer::kSameClient ? same_ : other_;
    if (verb == "insert") return f.Insert(rec);
    if (int16_t s = f.Get(kGetEqual, 0, Le(static_cast<uint32_t>(id), 4)); s != 0) return s;
    return verb == "update" ? f.Update(rec) : f.Delete();
  }

  // One step of the walker, remembering where it stands (for the fresh seeks to compare with).
  Seen Step(uint16_t op, uint16_t count = 1) {
    Seen seen;
    if (op == kGetNextExt || op == kStepNextExt) return Extended(op, count);
    const bool physical = op >= kStepNext;
    seen.status = physical ? walker_.Step(op) : walker_.Get(op, 0);
    if (seen.status != 0) return seen;
    uint32_t pos = 0;
    EXPECT_EQ(0, walker_.Position(pos));
    Stand(pos, walker_.record);
    seen.records.push_back(Le(pos, 4) + walker_.record);
    return seen;
  }

  // What a position block that never walked returns from the walker's place, opened for this
  // one read: of a client of its own, so on a connection of its own, unless it must see the
  // walker's client's transaction.
  Seen Fresh(uint16_t op, uint16_t count, bool walkersClient) {
    ClientId id(77);
    File f(walkersClient ? nullptr : &id);
    EXPECT_EQ(0, f.Open(Path("people")));
    const bool physical = op == kStepNextExt || (op >= kStepNext && op <= kStepPrevious);
    const bool first = op == kGetFirst || op == kStepFirst;
    const bool forward = first || op == kGetNext || op == kStepNext || op == kGetNextExt ||
                         op == kStepNextExt;
    std::vector<std::string> order;  // the path in the walk's direction, position first
    if (physical) {
      for (int16_t s = f.Step(forward ? kStepFirst : kStepLast); s == 0;
           s = f.Step(forward ? kStepNext : kStepPrevious)) {
        uint32_t pos = 0;
        EXPECT_EQ(0, f.Position(pos));
        if (first || (forward ? pos > anchor_ : pos < anchor_))
          order.push_back(Le(pos, 4) + f.record);
      }
    } else {
      const std::string from = Le(static_cast<uint32_t>(key_), 4);
      for (int16_t s = f.Get(first ? kGetFirst : forward ? kGetGreater : kGetLess, 0, from); s == 0;
           s = f.Get(forward ? kGetNext : kGetPrevious, 0)) {
        uint32_t pos = 0;
        EXPECT_EQ(0, f.Position(pos));
        order.push_back(Le(pos, 4) + f.record);
      }
    }
    Seen seen;
    seen.status = order.size() < count ? 9 : 0;
    order.resize(std::min<size_t>(order.size(), count));
    seen.records = order;
    return seen;
  }

  // Steps the walker and checks the step against a fresh seek made just before it.
  void Expect(uint16_t op, int32_t id, uint16_t count = 1, bool walkersClient = false) {
    const Seen fresh = Fresh(op, count, walkersClient);
    const Seen seen = Step(op, count);
    EXPECT_EQ(fresh, seen) << "op " << op;
    if (id == 0) return;
    ASSERT_FALSE(seen.records.empty()) << "op " << op;
    EXPECT_EQ(id, static_cast<int32_t>(FromLe(seen.records.front(), 4, 4)));
  }

  Seen Extended(uint16_t op, uint16_t count) {
    std::string body = "UC" + Le(0, 2) + Le(0, 2) + Le(count, 2) + Le(1, 2) + Le(32, 2) + Le(0, 2);
    std::string buffer = Le(body.size() + 2, 2) + body;
    buffer.resize(2 + count * (6 + 32), '\0');
    uint32_t len = static_cast<uint32_t>(buffer.size());
    Seen seen;
    seen.status = walker_.Call(op, buffer.data(), len, walker_.key, 255, 0);
    for (size_t i = 0, at = 2; i < FromLe(buffer, 0, 2); ++i, at += 38) {
      seen.records.push_back(buffer.substr(at + 2, 4) + buffer.substr(at + 6, 32));
      Stand(static_cast<uint32_t>(FromLe(buffer, at + 2, 4)), buffer.substr(at + 6, 32));
    }
    return seen;
  }

  void Stand(uint32_t pos, const std::string& record) {
    anchor_ = pos;
    key_ = IdOf(record);
  }

  File walker_;
  File same_;
  ClientId otherId_{2};
  File other_{&otherId_};
  std::unique_ptr<Child> child_;
  Writer writer_ = Writer::kSameClient;
  uint32_t anchor_ = 0;  // position of the walker's record
  int32_t key_ = 0;      // its id, the value of key 0
};

class WalkByWriterTest : public WalkTest, public ::testing::WithParamInterface<Writer> {};

TEST_P(WalkByWriterTest, KeyPathStepsSeeEveryChange) {
  Use(GetParam());
  Expect(kGetFirst, 10);
  ASSERT_EQ(0, Write("insert", 15));  // just ahead
  Expect(kGetNext, 15);
  ASSERT_EQ(0, Write("insert", 17));
  ASSERT_EQ(0, Write("insert", 5));  // behind
  Expect(kGetNext, 17);
  ASSERT_EQ(0, Write("delete", 20));  // the record a step would have returned
  Expect(kGetNext, 30);
  ASSERT_EQ(0, Write("update", 40, 7));  // the next record's data
  Expect(kGetNext, 40);
  ASSERT_EQ(0, Write("delete", 40));  // the walker's own record
  Expect(kGetNext, 50);
  Expect(kGetNext, 60);  // nothing changed
  ASSERT_EQ(0, Write("delete", 70));
  ASSERT_EQ(0, Write("insert", 65));
  Expect(kGetNext, 65);
  ASSERT_EQ(0, Write("insert", 62));
  Expect(kGetPrevious, 62);
  ASSERT_EQ(0, Write("update", 60, 9));
  Expect(kGetPrevious, 60);
  ASSERT_EQ(0, Write("insert", 61));
  Expect(kGetNextExt, 61, 3);  // 61, 62, 65
  ASSERT_EQ(0, Write("insert", 66));
  ASSERT_EQ(0, Write("update", 80, 3));
  Expect(kGetNextExt, 66, 3);  // 66, 80, 90
  ASSERT_EQ(0, Write("insert", 95));
  Expect(kGetNext, 95);
  Expect(kGetNext, 0);  // 9: the end
}

TEST_P(WalkByWriterTest, PhysicalStepsSeeEveryChange) {
  Use(GetParam());
  Expect(kStepFirst, 10);
  ASSERT_EQ(0, Write("insert", 100));  // goes to the end
  Expect(kStepNext, 20);
  ASSERT_EQ(0, Write("delete", 30));
  Expect(kStepNext, 40);
  ASSERT_EQ(0, Write("update", 50, 4));
  Expect(kStepNext, 50);
  ASSERT_EQ(0, Write("delete", 50));  // the walker's own record
  Expect(kStepNext, 60);
  Expect(kStepNext, 70);
  ASSERT_EQ(0, Write("delete", 60));
  Expect(kStepPrevious, 40);
  ASSERT_EQ(0, Write("insert", 110));
  ASSERT_EQ(0, Write("update", 90, 1));
  Expect(kStepNextExt, 70, 8);  // 70, 80, 90, 100, 110, then the end: 9
}

INSTANTIATE_TEST_SUITE_P(Writers, WalkByWriterTest,
                         ::testing::Values(Writer::kSameClient, Writer::kOtherClient,
                                           Writer::kOtherProcess),
                         [](const ::testing::TestParamInfo<Writer>& info) {
                           return info.param == Writer::kSameClient    ? "SameClient"
                                  : info.param == Writer::kOtherClient ? "OtherClient"
                                                                       : "OtherProcess";
                         });

TEST_F(WalkTest, TheWalkingBlocksOwnWritesAndTransactions) {
  Expect(kGetFirst, 10);
  Expect(kGetNext, 20);
  // An insert without currency change keeps the logical position.
  ASSERT_EQ(0, walker_.Insert(Person(25, "ncc"), -1));
  Expect(kGetNext, 25);
  // An insert with currency change moves the walker to the new record.
  ASSERT_EQ(0, walker_.Insert(Person(35, "moved")));
  Stand(0, walker_.record);
  Expect(kGetNext, 40);
  Expect(kGetPrevious, 35);
  ASSERT_EQ(0, walker_.Update(Person(35, "changed", 5)));
  ASSERT_EQ(0, walker_.Delete());
  Expect(kGetPrevious, 30);
  // Inside a transaction the walker sees its client's writes; after the abort they are gone.
  ASSERT_EQ(0, Op(kBegin));
  ASSERT_EQ(0, same_.Open(Path("people")));
  ASSERT_EQ(0, same_.Insert(Person(32, "txn")));
  Expect(kGetNext, 32, 1, true);
  ASSERT_EQ(0, same_.Insert(Person(33, "txn")));
  Expect(kGetNext, 33, 1, true);
  ASSERT_EQ(0, Op(kAbort));
  Expect(kGetNext, 40);
  Expect(kGetPrevious, 30);
}

TEST_F(WalkTest, ARefusedLockLeavesTheWalkerWhereItWas) {
  ClientId holder(5);
  File h(&holder);
  ASSERT_EQ(0, h.Open(Path("people")));
  ASSERT_EQ(0, h.Get(kGetEqual + 200, 0, Le(30, 4)));
  ASSERT_EQ(0, walker_.Get(kGetEqual, 0, Le(10, 4)));
  ASSERT_EQ(0, walker_.Get(kGetNext + 200, 0));
  EXPECT_EQ(84, walker_.Get(kGetNext + 200, 0));  // 30 is locked: currency stays on 20
  ASSERT_EQ(0, h.Close());
  ASSERT_EQ(0, walker_.Get(kGetNext + 200, 0));
  EXPECT_EQ(30, IdOf(walker_.record));
  ASSERT_EQ(0, walker_.Get(kGetNext, 0));
  EXPECT_EQ(40, IdOf(walker_.record));
}

TEST_F(WalkTest, AWalkDoesNotHoldBackTheLogOfThisProcesssWriters) {
  // A walk holds a read transaction open; while it does, the write-ahead log cannot start
  // over, and grows with every commit. Another client's commit ends it at once.
  Expect(kGetFirst, 10);
  Expect(kGetNext, 20);
  ClientId writer(3);
  File w(&writer);
  ASSERT_EQ(0, w.Open(Path("people")));
  for (int32_t id = 1000; id < 4000; ++id) ASSERT_EQ(0, w.Insert(Person(id, "log")));
  struct stat st {};
  ASSERT_EQ(0, ::stat((Path("people") + "-wal").c_str(), &st));
  EXPECT_LT(st.st_size, 8 << 20);  // a log that never starts over holds about 3,000 commits
  Expect(kGetNext, 30);
}

}  // namespace
}  // namespace vader::microkernel::test
