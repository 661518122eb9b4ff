// Bulk scans straight from the storage give exactly the records, positions and order that the
// Get and Step operations give, on every kind of key, in batches of any size.

#include "Fixture.h"

namespace vader::microkernel::test {
namespace {

// Takes up to `room` records a call, each as its 4-byte position and its bytes.
class Collect final : public RecordSink {
 public:
  explicit Collect(size_t room) : room_(room) {}
  bool Take(uint32_t position, const uint8_t* data, uint32_t length) override {
    rows.push_back(Le(position, 4) + std::string(reinterpret_cast<const char*>(data), length));
    return ++taken_ % room_ != 0;
  }
  std::vector<std::string> rows;

 private:
  size_t room_, taken_ = 0;
};

class ScanTest : public ApiTest {
 protected:
  // Records of 16 bytes: id (INTEGER 4 at 1, unique), group (INTEGER 2 at 5, duplicates,
  // descending), tag (STRING 6 at 7, duplicates, null when all blanks), 4 spare bytes.
  void SetUp() override {
    ApiTest::SetUp();
    if (IsSkipped()) return;
    const auto layout = Layout(16)
                            .Key({{1, 4, 0, tInteger}})
                            .Key({{5, 2, kDup | kDesc, tInteger}})
                            .Key({{7, 6, kDup | kNullAll, tString, ' '}})
                            .Bytes();
    ASSERT_EQ(0, Create(Path("mixed"), layout));
    ASSERT_EQ(0, f_.Open(Path("mixed")));
    const char* const tags[] = {"beta  ", "      ", "alpha ", "beta  ", "      ", "gamma "};
    for (int32_t id = 1; id <= 30; ++id) {
      const int32_t i = (id * 7) % 31;  // inserted out of key order
      std::string r = Le(static_cast<uint32_t>(i), 4) + Le(static_cast<uint32_t>(i % 4), 2) +
                      tags[i % 6] + std::string(4, '\0');
      ASSERT_EQ(0, f_.Insert(r));
    }
  }

  // The records of a walk by the operations: `first` (with `value` for a keyed search), then
  // `next` to the end.
  std::vector<std::string> ByOperations(int8_t key, uint16_t first, const std::string& value = "") {
    std::vector<std::string> rows;
    const bool physical = key < 0;
    const uint16_t next = physical ? kStepNext : kGetNext;
    for (int16_t s = physical ? f_.Step(first) : f_.Get(first, key, value); s == 0;
         s = physical ? f_.Step(next) : f_.Get(next, key)) {
      uint32_t pos = 0;
      EXPECT_EQ(0, f_.Position(pos));
      rows.push_back(Le(pos, 4) + f_.record);
    }
    return rows;
  }
  // The same scan in batches of `room` records.
  std::vector<std::string> ByScan(int8_t key, int8_t start, size_t room, const std::string& value = "") {
    Collect sink(room);
    std::string image = value;
    image.resize(255, '\0');
    const auto* k = reinterpret_cast<const uint8_t*>(image.data());
    int16_t s = Api::Get().scan(f_.pb, nullptr, key, start, k, 255, &sink);
    while (s == 0) s = Api::Get().scan(f_.pb, nullptr, key, kScanContinue, k, 255, &sink);
    EXPECT_EQ(9, s);
    return sink.rows;
  }

  File f_;
};

TEST_F(ScanTest, ScansGiveWhatTheOperationsGiveOnEveryKind) {
  if (ServerBackend()) {  // the server's files are read through the operations
    Collect sink(1);
    EXPECT_EQ(1, Api::Get().scan(f_.pb, nullptr, 0, kScanFirst, nullptr, 0, &sink));
    return;
  }
  for (size_t room : {1, 4, 1000}) {
    SCOPED_TRACE(room);
    EXPECT_EQ(ByOperations(-1, kStepFirst), ByScan(-1, kScanFirst, room));
    for (int8_t key = 0; key < 3; ++key) EXPECT_EQ(ByOperations(key, kGetFirst), ByScan(key, kScanFirst, room)) << int{key};
    EXPECT_EQ(ByOperations(0, kGetGreaterEqual, Le(12, 4)), ByScan(0, kScanGreaterEqual, room, Le(12, 4)));
    EXPECT_EQ(ByOperations(0, kGetGreater, Le(12, 4)), ByScan(0, kScanGreater, room, Le(12, 4)));
    // Past every duplicate of a value, on a descending and on a nullable key.
    EXPECT_EQ(ByOperations(1, kGetGreater, Le(2, 2)), ByScan(1, kScanGreater, room, Le(2, 2)));
    EXPECT_EQ(ByOperations(1, kGetGreaterEqual, Le(2, 2)), ByScan(1, kScanGreaterEqual, room, Le(2, 2)));
    EXPECT_EQ(ByOperations(2, kGetGreater, "beta  "), ByScan(2, kScanGreater, room, "beta  "));
  }
  EXPECT_EQ(20u, ByScan(2, kScanFirst, 3).size());  // the blank tags are left out
  Collect sink(1);
  EXPECT_EQ(6, Api::Get().scan(f_.pb, nullptr, 5, kScanFirst, nullptr, 0, &sink));
  EXPECT_EQ(21, Api::Get().scan(f_.pb, nullptr, 0, kScanGreater, nullptr, 0, &sink));
  uint8_t closed[128] = {};
  EXPECT_EQ(3, Api::Get().scan(closed, nullptr, 0, kScanFirst, nullptr, 0, &sink));
}

// A scan goes on from where its last batch ended, and what another client wrote meanwhile
// is in the batches after it.
TEST_F(ScanTest, AScanSeesWhatIsWrittenBetweenItsBatches) {
  if (ServerBackend()) GTEST_SKIP() << "the server's files are read through the operations";
  Collect sink(4);
  ASSERT_EQ(0, Api::Get().scan(f_.pb, nullptr, -1, kScanFirst, nullptr, 0, &sink));
  ASSERT_EQ(4u, sink.rows.size());
  ClientId other(9);
  File o(&other);
  ASSERT_EQ(0, o.Open(Path("mixed")));
  ASSERT_EQ(0, o.Step(kStepLast));
  std::string changed = o.record;
  changed.replace(12, 4, "new!");
  ASSERT_EQ(0, o.Update(changed));
  int16_t s = 0;
  while ((s = Api::Get().scan(f_.pb, nullptr, -1, kScanContinue, nullptr, 0, &sink)) == 0) {
  }
  EXPECT_EQ(9, s);
  ASSERT_EQ(30u, sink.rows.size());
  EXPECT_EQ(changed, sink.rows.back().substr(4));
}

}  // namespace
}  // namespace vader::microkernel::test
