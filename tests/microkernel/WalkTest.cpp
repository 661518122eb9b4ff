// Sequential reads interleaved with writes: whoever changes the file between two steps (another
// position block of the walking client, another client, another process, or the walking block
// itself), every step returns exactly what a fresh seek from the same place returns.

#include <sys/stat.h>

#include <chrono>
#include <memory>
#include <thread>

#include "ChildProcess.h"
#include "Fixture.h"

namespace vader::microkernel::test {
namespace {

enum : uint16_t { kGetNextExt = 36, kStepNextExt = 38 };
enum class Writer { kSameClient, kOtherClient, kOtherProcess };

// A read's status and the records it returned, each behind its 4-byte position.
using Seen = std::pair<int16_t, std::vector<std::string>>;

// One Get on key 0 or Step; appends the record read.
int16_t ReadOne(File& f, uint16_t op, std::vector<std::string>& out) {
  const int16_t s = op >= kStepNext ? f.Step(op) : f.Get(op, 0);
  uint32_t pos = 0;
  if (s == 0 && f.Position(pos) == 0) out.push_back(Le(pos, 4) + f.record);
  return s;
}

class WalkTest : public ApiTest, public ::testing::WithParamInterface<Writer> {
 protected:
  void SetUp() override {
    ApiTest::SetUp();
    MakePeople(walker_, {10, 20, 30, 40, 50, 60, 70, 80, 90});
  }
  void Use(Writer w) {
    writer_ = w;
    if (w == Writer::kOtherProcess)
      child_ = std::make_unique<Child>("write", std::vector<std::string>{Path("people")});
    else
      ASSERT_EQ(0, (w == Writer::kSameClient ? same_ : other_).Open(Path("people")));
  }
  int16_t Write(char verb, int32_t id, int32_t amount = 0) {
    if (writer_ != Writer::kOtherProcess)
      return WritePerson(writer_ == Writer::kSameClient ? same_ : other_, verb, id, amount);
    const std::string answer =
        child_->Ask(std::string(1, verb) + " " + std::to_string(id) + " " + std::to_string(amount));
    return answer.empty() ? -1 : static_cast<int16_t>(std::atoi(answer.c_str()));
  }

  // A step of the walker: a Get or Step, or the extended form of a Next for count > 1.
  Seen Step(uint16_t op, uint16_t count) {
    Seen seen{0, {}};
    if (count == 1) {
      seen.first = ReadOne(walker_, op, seen.second);
    } else {
      std::string body =
          "UC" + Le(0, 2) + Le(0, 2) + Le(count, 2) + Le(1, 2) + Le(32, 2) + Le(0, 2);
      std::string buffer = Le(body.size() + 2, 2) + body;
      buffer.resize(2 + count * 38, '\0');
      uint32_t len = static_cast<uint32_t>(buffer.size());
      seen.first = walker_.Call(op == kGetNext ? kGetNextExt : kStepNextExt, buffer.data(), len,
                                walker_.key, 255, 0);
      for (size_t i = 0; i < FromLe(buffer, 0, 2); ++i)
        seen.second.push_back(buffer.substr(4 + i * 38, 36));
    }
    if (seen.second.empty()) return seen;
    anchor_ = static_cast<uint32_t>(FromLe(seen.second.back(), 0, 4));
    key_ = IdOf(seen.second.back().substr(4));
    return seen;
  }

  // What a fresh seek from the walker's place returns: the records beyond it in the walk's
  // direction, as a block opened for this reads them on a connection of its own (a client of
  // its own, unless the walker's client's transaction must be seen).
  Seen Fresh(uint16_t op, uint16_t count, bool walkersClient) {
    ClientId id(77);
    File f(walkersClient ? nullptr : &id);
    EXPECT_EQ(0, f.Open(Path("people")));
    const bool physical = op >= kStepNext, first = op == kGetFirst || op == kStepFirst;
    const bool forward = first || op == kGetNext || op == kStepNext;
    const uint16_t start =
        physical ? (forward ? kStepFirst : kStepLast) : (forward ? kGetFirst : kGetLast);
    const uint16_t next =
        physical ? (forward ? kStepNext : kStepPrevious) : (forward ? kGetNext : kGetPrevious);
    std::vector<std::string> all;
    for (int16_t s = ReadOne(f, start, all); s == 0; s = ReadOne(f, next, all)) continue;
    Seen seen{0, {}};
    for (const std::string& r : all) {
      const int64_t at = physical ? static_cast<int64_t>(FromLe(r, 0, 4)) : IdOf(r.substr(4));
      const int64_t from = physical ? anchor_ : key_;
      if ((first || (forward ? at > from : at < from)) && seen.second.size() < count)
        seen.second.push_back(r);
    }
    seen.first = seen.second.size() < count ? 9 : 0;
    return seen;
  }

  // Steps the walker and checks the step against a fresh seek made just before it; `id` is
  // the first record expected (0: none).
  void Expect(uint16_t op, int32_t id, uint16_t count = 1, bool walkersClient = false) {
    const Seen fresh = Fresh(op, count, walkersClient);
    const Seen seen = Step(op, count);
    EXPECT_EQ(fresh, seen) << "op " << op;
    EXPECT_EQ(id, seen.second.empty() ? 0 : IdOf(seen.second.front().substr(4))) << "op " << op;
  }

  // A batch of `count` records of the walker's bulk scan on key 0 (physical: the physical
  // order), checked against a fresh seek from the same place made just before it; `id` is the
  // first record expected (0: none).
  void ExpectScan(int8_t start, bool physical, int32_t id, uint16_t count) {
    class Batch final : public RecordSink {
     public:
      explicit Batch(uint16_t room) : room_(room) {}
      bool Take(uint32_t position, const uint8_t* data, uint32_t length) override {
        rows.push_back(Le(position, 4) + std::string(reinterpret_cast<const char*>(data), length));
        return rows.size() < room_;
      }
      std::vector<std::string> rows;

     private:
      size_t room_;
    } batch(count);
    const uint16_t op = start == kScanContinue ? (physical ? kStepNext : kGetNext)
                                               : (physical ? kStepFirst : kGetFirst);
    const Seen fresh = Fresh(op, count, false);
    const int16_t s = Api::Get().scan(walker_.pb, nullptr, physical ? -1 : 0, start, nullptr, 0, &batch);
    const Seen seen{s, batch.rows};
    EXPECT_EQ(fresh, seen) << "start " << int{start};
    EXPECT_EQ(id, seen.second.empty() ? 0 : IdOf(seen.second.front().substr(4)));
    if (seen.second.empty()) return;
    anchor_ = static_cast<uint32_t>(FromLe(seen.second.back(), 0, 4));
    key_ = IdOf(seen.second.back().substr(4));
  }

  File walker_, same_;
  ClientId otherId_{2};
  File other_{&otherId_};
  std::unique_ptr<Child> child_;
  Writer writer_ = Writer::kSameClient;
  uint32_t anchor_ = 0;  // position of the walker's record
  int32_t key_ = 0;      // its id, the value of key 0
};

TEST_P(WalkTest, KeyPathStepsSeeEveryChange) {
  Use(GetParam());
  Expect(kGetFirst, 10);
  ASSERT_EQ(0, Write('i', 15));  // just ahead
  Expect(kGetNext, 15);
  ASSERT_EQ(0, Write('i', 17));
  ASSERT_EQ(0, Write('i', 5));  // behind
  Expect(kGetNext, 17);
  ASSERT_EQ(0, Write('d', 20));  // the record a step would have returned
  Expect(kGetNext, 30);
  ASSERT_EQ(0, Write('u', 40, 7));  // the next record's data
  Expect(kGetNext, 40);
  ASSERT_EQ(0, Write('d', 40));  // the walker's own record
  Expect(kGetNext, 50);
  Expect(kGetNext, 60);  // nothing changed
  ASSERT_EQ(0, Write('d', 70));
  ASSERT_EQ(0, Write('i', 65));
  Expect(kGetNext, 65);
  ASSERT_EQ(0, Write('i', 62));
  Expect(kGetPrevious, 62);
  ASSERT_EQ(0, Write('u', 60, 9));
  Expect(kGetPrevious, 60);
  ASSERT_EQ(0, Write('i', 61));
  Expect(kGetNext, 61, 3);  // extended: 61, 62, 65
  ASSERT_EQ(0, Write('i', 66));
  ASSERT_EQ(0, Write('u', 80, 3));
  Expect(kGetNext, 66, 3);  // 66, 80, 90
  ASSERT_EQ(0, Write('i', 95));
  Expect(kGetNext, 95);
  Expect(kGetNext, 0);  // the end
}

TEST_P(WalkTest, PhysicalStepsSeeEveryChange) {
  Use(GetParam());
  Expect(kStepFirst, 10);
  ASSERT_EQ(0, Write('i', 100));  // goes to the end
  Expect(kStepNext, 20);
  ASSERT_EQ(0, Write('d', 30));
  Expect(kStepNext, 40);
  ASSERT_EQ(0, Write('u', 50, 4));
  Expect(kStepNext, 50);
  ASSERT_EQ(0, Write('d', 50));  // the walker's own record
  Expect(kStepNext, 60);
  Expect(kStepNext, 70);
  ASSERT_EQ(0, Write('d', 60));
  Expect(kStepPrevious, 40);
  ASSERT_EQ(0, Write('i', 110));
  ASSERT_EQ(0, Write('u', 90, 1));
  Expect(kStepNext, 70, 8);  // extended: 70, 80, 90, 100, 110, then the end
}

TEST_P(WalkTest, BulkScansSeeEveryChange) {
  Use(GetParam());
  if (ServerBackend()) return;  // the server's files are read through the operations
  ExpectScan(kScanFirst, false, 10, 2);  // 10, 20, and the scan stays open
  ASSERT_EQ(0, Write('i', 25));
  ExpectScan(kScanContinue, false, 25, 2);
  ASSERT_EQ(0, Write('d', 40));
  ASSERT_EQ(0, Write('u', 50, 3));
  ExpectScan(kScanContinue, false, 50, 2);
  ASSERT_EQ(0, Write('i', 5));  // a new scan, as the next statement starts one, sees it
  ExpectScan(kScanFirst, false, 5, 3);
  ExpectScan(kScanFirst, false, 5, 3);  // nothing changed: the open scan hands over
  ASSERT_EQ(0, Write('u', 10, 8));
  ExpectScan(kScanFirst, false, 5, 3);
  ExpectScan(kScanFirst, true, 10, 4);
  ASSERT_EQ(0, Write('d', 50));
  ASSERT_EQ(0, Write('i', 100));
  ExpectScan(kScanContinue, true, 60, 10);  // to the end
}

std::string WriterName(const ::testing::TestParamInfo<Writer>& info) {
  static const char* const kNames[] = {"SameClient", "OtherClient", "OtherProcess"};
  return kNames[static_cast<int>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(Writers, WalkTest,
                         ::testing::Values(Writer::kSameClient, Writer::kOtherClient,
                                           Writer::kOtherProcess),
                         WriterName);

using OwnWalkTest = WalkTest;

TEST_F(OwnWalkTest, TheWalkingBlocksOwnWritesAndItsClientsTransaction) {
  Expect(kGetFirst, 10);
  ASSERT_EQ(0, walker_.Insert(Person(15, "ncc"), -1));  // no currency change
  Expect(kGetNext, 15);
  ASSERT_EQ(0, walker_.Insert(Person(35, "moved")));  // currency moves to the new record
  ASSERT_EQ(0, walker_.Position(anchor_));
  key_ = 35;
  Expect(kGetNext, 40);
  ASSERT_EQ(0, walker_.Update(Person(40, "changed", 5)));
  ASSERT_EQ(0, walker_.Delete());
  Expect(kGetPrevious, 35);
  ASSERT_EQ(0, Op(kBegin));
  ASSERT_EQ(0, same_.Open(Path("people")));
  ASSERT_EQ(0, same_.Insert(Person(36, "txn")));
  Expect(kGetNext, 36, 1, true);  // the client sees its own transaction
  ASSERT_EQ(0, same_.Insert(Person(37, "txn")));
  ASSERT_EQ(0, Op(kAbort));
  Expect(kGetNext, 50);
}

TEST_F(OwnWalkTest, ARefusedLockLeavesTheWalkerWhereItWas) {
  ClientId holder(5);
  File h(&holder);
  ASSERT_EQ(0, h.Open(Path("people")));
  ASSERT_EQ(0, h.Get(kGetEqual + 200, 0, Le(30, 4)));
  ASSERT_EQ(0, walker_.Get(kGetFirst, 0));
  ASSERT_EQ(0, walker_.Get(kGetNext + 200, 0));
  EXPECT_EQ(84, walker_.Get(kGetNext + 200, 0));  // 30 is locked: currency stays on 20
  ASSERT_EQ(0, h.Close());
  ASSERT_EQ(0, walker_.Get(kGetNext + 200, 0));
  EXPECT_EQ(30, IdOf(walker_.record));
}

// A walk holds a read transaction open, and while it does the write-ahead log cannot start over:
// it would grow with every commit, to about 40 MB for these. A commit in this process ends the
// walk at once; for another process's commits, a walk left idle ends within half a second. The
// log then starts over at the file's checkpoint interval (3,000 pages here: 12 MB).
TEST_P(WalkTest, AWalkDoesNotHoldBackTheLog) {
  Use(GetParam());
  Expect(kGetFirst, 10);
  Expect(kGetNext, 20);
  if (GetParam() == Writer::kOtherProcess)
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
  for (int32_t id = 1000; id < 4000; ++id) ASSERT_EQ(0, Write('i', id));
  struct stat st {};
  ASSERT_EQ(0, ::stat((Path("people") + "-wal").c_str(), &st));
  EXPECT_LT(st.st_size, 16 << 20);
  Expect(kGetNext, 30);
}

}  // namespace
}  // namespace vader::microkernel::test
