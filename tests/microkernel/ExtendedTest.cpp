// Extended reads: filters by type, connectors, the reject count, the extractor, currency and
// malformed descriptors.

#include "Fixture.h"

namespace vader::microkernel::test {
namespace {

enum : uint16_t { kGetNextExt = 36, kGetPrevExt = 37, kStepNextExt = 38 };
enum : uint8_t { kEq = 1, kGt = 2, kNe = 4, kNoCaseCompare = 0x40, kAnd = 1, kOr = 2 };

std::string Term(uint8_t type, uint16_t length, uint16_t offset, uint8_t comparison,
                 uint8_t connector, const std::string& value) {
  return std::string(1, static_cast<char>(type)) + Le(length, 2) + Le(offset, 2) +
         static_cast<char>(comparison) + static_cast<char>(connector) + value;
}

// A descriptor that returns the id (4 bytes at 0) of up to `count` matching records.
std::string Descriptor(const std::string& signature, uint16_t reject,
                       const std::vector<std::string>& terms, uint16_t count) {
  std::string body = signature + Le(reject, 2) + Le(terms.size(), 2);
  for (const auto& t : terms) body += t;
  body += Le(count, 2) + Le(1, 2) + Le(4, 2) + Le(0, 2);
  return Le(body.size() + 2, 2) + body;
}

class ExtendedTest : public ApiTest {
 protected:
  void SetUp() override {
    ApiTest::SetUp();
    ASSERT_EQ(0, Create(Path("people"), PeopleLayout()));
    ASSERT_EQ(0, f_.Open(Path("people")));
    for (int32_t id = 1; id <= 10; ++id)
      ASSERT_EQ(0, f_.Insert(Person(id, "p" + std::to_string(id), id % 3)));
  }
  // Runs an extended operation; returns the ids it returned.
  int16_t Run(uint16_t op, const std::string& descriptor, std::vector<int32_t>& ids,
              uint32_t size = 512) {
    std::string buffer = descriptor;
    buffer.resize(size, '\0');
    uint32_t len = size;
    const int16_t s = f_.Call(op, buffer.data(), len, f_.key, 255, 0);
    ids.clear();
    if (s != 0 && s != 9 && s != 60) return s;
    const auto count = FromLe(buffer, 0, 2);
    size_t at = 2;
    for (uint64_t i = 0; i < count; ++i) {
      EXPECT_EQ(4u, FromLe(buffer, at, 2));
      ids.push_back(static_cast<int32_t>(FromLe(buffer, at + 6, 4)));
      at += 10;
    }
    EXPECT_EQ(at, len);
    return s;
  }
  File f_;
};

TEST_F(ExtendedTest, FiltersAlongAKeyPath) {
  std::vector<int32_t> ids;
  ASSERT_EQ(0, f_.Get(kGetFirst, 0));
  const std::string amountIsZero = Term(tInteger, 4, 24, kEq, 0, Le(0, 4));
  EXPECT_EQ(9, Run(kGetNextExt, Descriptor("UC", 0, {amountIsZero}, 10), ids));
  EXPECT_EQ((std::vector<int32_t>{3, 6, 9}), ids);
  // "EG" examines the current record too; the walk stops at the requested count.
  ASSERT_EQ(0, f_.Get(kGetEqual, 0, Le(3, 4)));
  EXPECT_EQ(0, Run(kGetNextExt, Descriptor("EG", 0, {amountIsZero}, 2), ids));
  EXPECT_EQ((std::vector<int32_t>{3, 6}), ids);
  // Currency is on the last record examined; it cannot be updated without a read.
  ASSERT_EQ(0, f_.Get(kGetNext, 0));
  EXPECT_EQ(7, IdOf(f_.record));
  EXPECT_EQ(0, Run(kGetPrevExt, Descriptor("UC", 0, {}, 2), ids));
  EXPECT_EQ((std::vector<int32_t>{6, 5}), ids);
  EXPECT_EQ(8, f_.Delete());
}

TEST_F(ExtendedTest, ConnectorsCaseAndRejectCount) {
  std::vector<int32_t> ids;
  ASSERT_EQ(0, f_.Get(kGetFirst, 0));
  const std::string name = Term(tString, 20, 4, kEq | kNoCaseCompare, kOr, NameKey("P2"));
  const std::string five = Term(tInteger, 4, 0, kEq, 0, Le(5, 4));
  EXPECT_EQ(9, Run(kGetNextExt, Descriptor("EG", 0, {name, five}, 10), ids));
  EXPECT_EQ((std::vector<int32_t>{2, 5}), ids);
  ASSERT_EQ(0, f_.Get(kGetFirst, 0));
  const std::string big = Term(tInteger, 4, 0, kGt, kAnd, Le(100, 4));
  const std::string notZero = Term(tInteger, 4, 24, kNe, 0, Le(0, 4));
  EXPECT_EQ(60, Run(kGetNextExt, Descriptor("UC", 3, {big, notZero}, 10), ids));
  EXPECT_TRUE(ids.empty());
}

TEST_F(ExtendedTest, StepExtendedWalksPhysically) {
  ASSERT_EQ(0, f_.Close());
  ASSERT_EQ(0, f_.Open(Path("people")));
  std::vector<int32_t> ids;
  EXPECT_EQ(0, Run(kStepNextExt, Descriptor("UC", 0, {}, 3), ids));
  EXPECT_EQ((std::vector<int32_t>{1, 2, 3}), ids);
  EXPECT_EQ(0, Run(kStepNextExt, Descriptor("UC", 0, {}, 2), ids));
  EXPECT_EQ((std::vector<int32_t>{4, 5}), ids);
  EXPECT_EQ(8, Run(kGetNextExt, Descriptor("UC", 0, {}, 2), ids));  // no logical currency
}

TEST_F(ExtendedTest, MalformedDescriptors) {
  std::vector<int32_t> ids;
  ASSERT_EQ(0, f_.Get(kGetFirst, 0));
  std::string d = Descriptor("UC", 0, {}, 2);
  d[0] = static_cast<char>(d[0] + 1);  // wrong total length
  EXPECT_EQ(62, Run(kGetNextExt, d, ids));
  EXPECT_EQ(62, Run(kGetNextExt, Descriptor("XX", 0, {}, 2), ids));
  EXPECT_EQ(62,
            Run(kGetNextExt, Descriptor("UC", 0, {Term(tInteger, 4, 0, 7, 0, Le(1, 4))}, 2), ids));
  // Terms whose length their type cannot have.
  EXPECT_EQ(62, Run(kGetNextExt,
                    Descriptor("UC", 0, {Term(tFloat, 4096, 0, kEq, 0, std::string(4096, 'x'))}, 2),
                    ids, 8192));
  EXPECT_EQ(62, Run(kGetNextExt, Descriptor("UC", 0, {Term(tDate, 1, 0, kEq, 0, "x")}, 2), ids));
  std::string outside = Descriptor("UC", 0, {}, 2);
  outside.replace(outside.size() - 2, 2, Le(30, 2));  // 4 bytes at 30 in a 32-byte record
  EXPECT_EQ(65, Run(kGetNextExt, outside, ids));
  EXPECT_EQ(97, Run(kGetNextExt, Descriptor("UC", 0, {}, 100), ids, 64));
  std::string truncated = Descriptor("UC", 0, {}, 2).substr(0, 9);
  uint32_t len = static_cast<uint32_t>(truncated.size());
  EXPECT_EQ(62, f_.Call(kGetNextExt, truncated.data(), len, f_.key, 255, 0));
}

}  // namespace
}  // namespace vader::microkernel::test
