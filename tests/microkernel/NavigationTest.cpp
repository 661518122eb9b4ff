// Currency: Get by key, duplicates, descending keys, key-number changes, Get Key, Step,
// Get Position / Get Direct, the percentages and supplemental indexes.

#include "Fixture.h"

namespace vader::microkernel::test {
namespace {

using Ids = std::vector<int32_t>;

class GetTest : public ApiTest {};

TEST_F(GetTest, KeyedSearchesOnAUniqueKey) {
  File f;
  MakePeople(f, {50, 10, 40, 20, 30});
  EXPECT_EQ((Ids{10, 20, 30, 40, 50}), Walk(f, 0));
  EXPECT_EQ((Ids{50, 40, 30, 20, 10}), Walk(f, 0, kGetLast, kGetPrevious));
  struct Case {
    uint16_t op;
    int32_t key;
    int16_t status;
    int32_t id;
  };
  for (const Case& c : std::vector<Case>{{kGetEqual, 30, 0, 30},
                                         {kGetEqual, 35, 4, 0},
                                         {kGetGreater, 30, 0, 40},
                                         {kGetGreater, 50, 9, 0},
                                         {kGetGreaterEqual, 30, 0, 30},
                                         {kGetGreaterEqual, 31, 0, 40},
                                         {kGetLess, 30, 0, 20},
                                         {kGetLess, 10, 9, 0},
                                         {kGetLessEqual, 30, 0, 30},
                                         {kGetLessEqual, 29, 0, 20},
                                         {kGetGreaterEqual, -5, 0, 10}}) {
    EXPECT_EQ(c.status, f.Get(c.op, 0, Le(static_cast<uint32_t>(c.key), 4)))
        << c.op << " " << c.key;
    if (c.status == 0) {
      EXPECT_EQ(c.id, IdOf(f.record)) << c.op << " " << c.key;
      EXPECT_EQ(Le(static_cast<uint32_t>(c.id), 4), std::string(reinterpret_cast<char*>(f.key), 4));
    }
  }
  // A Get Next continues from wherever the last search landed.
  ASSERT_EQ(0, f.Get(kGetGreaterEqual, 0, Le(25, 4)));
  ASSERT_EQ(0, f.Get(kGetNext, 0));
  EXPECT_EQ(40, IdOf(f.record));
  ASSERT_EQ(0, f.Get(kGetLast, 0));
  EXPECT_EQ(9, f.Get(kGetNext, 0));
}

TEST_F(GetTest, DuplicatesKeepInsertionOrder) {
  ASSERT_EQ(0, Create(Path("d"), PeopleLayout()));
  File f;
  ASSERT_EQ(0, f.Open(Path("d")));
  // Names: b(1) a(2) b(3) c(4) b(5) a(6)
  const std::vector<std::pair<int32_t, std::string>> rows = {{1, "b"}, {2, "a"}, {3, "b"},
                                                             {4, "c"}, {5, "b"}, {6, "a"}};
  for (const auto& [id, name] : rows) ASSERT_EQ(0, f.Insert(Person(id, name)));
  EXPECT_EQ((Ids{2, 6, 1, 3, 5, 4}), Walk(f, 1));
  EXPECT_EQ((Ids{4, 5, 3, 1, 6, 2}), Walk(f, 1, kGetLast, kGetPrevious));
  ASSERT_EQ(0, f.Get(kGetEqual, 1, NameKey("b")));
  EXPECT_EQ(1, IdOf(f.record));  // first of the duplicates
  ASSERT_EQ(0, f.Get(kGetGreater, 1, NameKey("a")));
  EXPECT_EQ(1, IdOf(f.record));
  ASSERT_EQ(0, f.Get(kGetLessEqual, 1, NameKey("b")));
  EXPECT_EQ(5, IdOf(f.record));  // last of the duplicates
  ASSERT_EQ(0, f.Get(kGetLess, 1, NameKey("b")));
  EXPECT_EQ(6, IdOf(f.record));
  // Changing a record's key moves it to the end of its new group.
  ASSERT_EQ(0, f.Get(kGetEqual, 0, Le(2, 4)));
  ASSERT_EQ(0, f.Update(Person(2, "b"), 0));
  EXPECT_EQ((Ids{6, 1, 3, 5, 2, 4}), Walk(f, 1));
  // A key-only walk visits each value once.
  Ids keys;
  for (int16_t s = f.Get(kGetFirst + kKeyBias, 1); s == 0; s = f.Get(kGetNext + kKeyBias, 1))
    keys.push_back(f.key[0]);
  EXPECT_EQ((Ids{'a', 'b', 'c'}), keys);
}

TEST_F(GetTest, DescendingAndCaseInsensitiveKeys) {
  ASSERT_EQ(0, Create(Path("k"), Layout(32)
                                     .Key({{1, 4, 0, tInteger}})
                                     .Key({{5, 20, kDup | kDesc, tString}})
                                     .Key({{5, 20, kDup | kNoCase, tString}})
                                     .Bytes()));
  File f;
  ASSERT_EQ(0, f.Open(Path("k")));
  ASSERT_EQ(0, f.Insert(Person(1, "apple")));
  ASSERT_EQ(0, f.Insert(Person(2, "Banana")));
  ASSERT_EQ(0, f.Insert(Person(3, "cherry")));
  EXPECT_EQ((Ids{3, 1, 2}), Walk(f, 1));  // descending bytes: 'c' > 'a' > 'B'
  ASSERT_EQ(0, f.Get(kGetGreater, 1, NameKey("apple")));
  EXPECT_EQ(2, IdOf(f.record));  // "greater" follows index order: the next lower value
  EXPECT_EQ((Ids{1, 2, 3}), Walk(f, 2));
  ASSERT_EQ(0, f.Get(kGetEqual, 2, NameKey("BANANA")));
  EXPECT_EQ(2, IdOf(f.record));
}

TEST_F(GetTest, KeyNumberChangesAndMissingCurrency) {
  File f;
  MakePeople(f, {1, 2, 3});
  ASSERT_EQ(0, f.Close());
  ASSERT_EQ(0, f.Open(Path("people")));
  EXPECT_EQ(8, f.Get(kGetNext, 0));  // nothing read yet
  ASSERT_EQ(0, f.Get(kGetFirst, 0));
  EXPECT_EQ(7, f.Get(kGetNext, 1));
  ASSERT_EQ(0, f.Step(kStepFirst));
  EXPECT_EQ(8, f.Get(kGetNext, 0));  // physical positioning gives no logical currency
  // An Update through another key number: the next Get Next reports 7 once.
  ASSERT_EQ(0, f.Get(kGetEqual, 0, Le(1, 4)));
  ASSERT_EQ(0, f.Update(Person(1, "changed"), 1));
  EXPECT_EQ(7, f.Get(kGetNext, 0));
  // Get Position + Get Direct is the way to change key path.
  ASSERT_EQ(0, f.Get(kGetEqual, 0, Le(2, 4)));
  uint32_t pos = 0;
  ASSERT_EQ(0, f.Position(pos));
  ASSERT_EQ(0, f.Direct(pos, 1));
  EXPECT_EQ(NameKey("p2"), std::string(reinterpret_cast<char*>(f.key), 20));
  ASSERT_EQ(0, f.Get(kGetNext, 1));
  EXPECT_EQ(3, IdOf(f.record));
  EXPECT_EQ(43, f.Direct(pos + 1000, 0));
}

TEST_F(GetTest, DeletingTheCurrentRecordKeepsBothCurrencies) {
  File f;
  MakePeople(f, {1, 2, 3, 4});
  ASSERT_EQ(0, f.Get(kGetEqual, 0, Le(2, 4)));
  ASSERT_EQ(0, f.Delete());
  uint32_t pos = 0;
  EXPECT_EQ(8, f.Position(pos));
  ASSERT_EQ(0, f.Get(kGetNext, 0));
  EXPECT_EQ(3, IdOf(f.record));
  ASSERT_EQ(0, f.Delete());
  ASSERT_EQ(0, f.Get(kGetPrevious, 0));
  EXPECT_EQ(1, IdOf(f.record));
  // Physical: Step Next after a Delete returns the record that followed it.
  ASSERT_EQ(0, f.Step(kStepFirst));
  ASSERT_EQ(0, f.Delete());
  ASSERT_EQ(0, f.Step(kStepNext));
  EXPECT_EQ(4, IdOf(f.record));
}

class PhysicalTest : public ApiTest {};

TEST_F(PhysicalTest, StepsWalkInPositionOrder) {
  File f;
  MakePeople(f, {30, 10, 20});
  ASSERT_EQ(0, f.Close());
  ASSERT_EQ(0, f.Open(Path("people")));
  ASSERT_EQ(0, f.Step(kStepNext));  // right after Open: the first record
  EXPECT_EQ(30, IdOf(f.record));
  Ids ids;
  for (int16_t s = f.Step(kStepFirst); s == 0; s = f.Step(kStepNext)) ids.push_back(IdOf(f.record));
  EXPECT_EQ((Ids{30, 10, 20}), ids);
  ids.clear();
  for (int16_t s = f.Step(kStepLast); s == 0; s = f.Step(kStepPrevious))
    ids.push_back(IdOf(f.record));
  EXPECT_EQ((Ids{20, 10, 30}), ids);
  EXPECT_EQ(9, f.Step(kStepPrevious));
}

TEST_F(PhysicalTest, DataOnlyFiles) {
  ASSERT_EQ(0, Create(Path("data"), Layout(8).Bytes()));
  File f;
  ASSERT_EQ(0, f.Open(Path("data")));
  EXPECT_EQ(9, f.Step(kStepFirst));
  ASSERT_EQ(0, f.Insert("record-1"));
  ASSERT_EQ(0, f.Insert("record-2"));
  ASSERT_EQ(0, f.Step(kStepLast));
  EXPECT_EQ("record-2", f.record);
  uint32_t pos = 0;
  ASSERT_EQ(0, f.Position(pos));
  ASSERT_EQ(0, f.Step(kStepFirst));
  ASSERT_EQ(0, f.Direct(pos, 0));  // the key number is not used on a data-only file
  EXPECT_EQ("record-2", f.record);
  EXPECT_EQ(6, f.Get(kGetFirst, 0));
}

TEST_F(PhysicalTest, PercentagesRoundTrip) {
  std::vector<int32_t> ids;
  for (int32_t i = 1; i <= 101; ++i) ids.push_back(i);
  File f;
  MakePeople(f, ids);
  uint8_t buf[64] = {};
  uint32_t len = sizeof buf;
  // By key: the key of id 51 is the middle of 101 records.
  std::memcpy(f.key, Le(51, 4).data(), 4);
  ASSERT_EQ(0, f.Call(kFindPercentage, buf, len, f.key, 255, 0));
  EXPECT_EQ(5000u, FromLe(std::string(reinterpret_cast<char*>(buf), 4), 0, 4));
  for (uint32_t percent : {0u, 2500u, 10000u, 5000u}) {
    std::string data = Le(percent, 4) + std::string(60, '\0');
    len = 64;
    ASSERT_EQ(0, f.Call(kGetByPercentage, data.data(), len, f.key, 255, 0));
    EXPECT_EQ(static_cast<int32_t>(1 + percent / 100), IdOf(data)) << percent;
  }
  ASSERT_EQ(0, f.Get(kGetNext, 0));  // logical currency was established
  EXPECT_EQ(52, IdOf(f.record));
  // Physically: the position of the 26th record inserted.
  ASSERT_EQ(0, f.Get(kGetEqual, 0, Le(26, 4)));
  uint32_t pos = 0;
  ASSERT_EQ(0, f.Position(pos));
  std::memcpy(buf, &pos, 4);
  len = 4;
  ASSERT_EQ(0, f.Call(kFindPercentage, buf, len, f.key, 255, -1));
  EXPECT_EQ(2500u, FromLe(std::string(reinterpret_cast<char*>(buf), 4), 0, 4));
  std::string data = Le(10001, 4) + std::string(60, '\0');
  len = 64;
  EXPECT_EQ(1, f.Call(kGetByPercentage, data.data(), len, f.key, 255, -1));
}

class IndexTest : public ApiTest {};

TEST_F(IndexTest, CreateAndDropSupplementalIndexesOnAPopulatedFile) {
  File f;
  MakePeople(f, {3, 1, 2});
  // Key 2: amount (bytes 25-28), descending, duplicates.
  for (int32_t id : {1, 2, 3}) {
    ASSERT_EQ(0, f.Get(kGetEqual, 0, Le(id, 4)));
    ASSERT_EQ(0, f.Update(Person(id, "p" + std::to_string(id), id % 2)));
  }
  auto seg = Layout::SegmentBytes({{25, 4, kDup | kDesc | kMod, tInteger}});
  uint32_t len = static_cast<uint32_t>(seg.size());
  ASSERT_EQ(0, f.Call(kCreateIndex, seg.data(), len, f.key, 255, 0));
  EXPECT_EQ((Ids{3, 1, 2}), Walk(f, 2));  // duplicates of a built index in physical order
  // Keep number 5 through the +0x80 form.
  len = static_cast<uint32_t>(seg.size());
  ASSERT_EQ(0, f.Call(kCreateIndex, seg.data(), len, f.key, 255, static_cast<int8_t>(0x80 | 5)));
  EXPECT_EQ((Ids{3, 1, 2}), Walk(f, 5));
  std::vector<uint8_t> stat;
  ASSERT_EQ(0, f.Stat(stat));
  EXPECT_EQ(4, stat[4]);
  // The new index is maintained by later writes.
  ASSERT_EQ(0, f.Insert(Person(4, "p4", 7)));
  EXPECT_EQ((Ids{4, 3, 1, 2}), Walk(f, 2));
  // Dropping key 1 renumbers 2 -> 1 and 5 -> 4.
  len = 0;
  ASSERT_EQ(0, f.Call(kDropIndex, nullptr, len, f.key, 255, 1));
  EXPECT_EQ((Ids{4, 3, 1, 2}), Walk(f, 1));
  EXPECT_EQ((Ids{4, 3, 1, 2}), Walk(f, 4));
  EXPECT_EQ(6, f.Get(kGetFirst, 5));
  // Without renumbering.
  ASSERT_EQ(0, f.Call(kDropIndex, nullptr, len, f.key, 255, static_cast<int8_t>(0x80 | 1)));
  EXPECT_EQ(6, f.Get(kGetFirst, 1));
  EXPECT_EQ((Ids{4, 3, 1, 2}), Walk(f, 4));
  // Reopened, the file keeps its definition.
  ASSERT_EQ(0, f.Close());
  ASSERT_EQ(0, f.Open(Path("people")));
  EXPECT_EQ((Ids{4, 3, 1, 2}), Walk(f, 4));
}

TEST_F(IndexTest, AUniqueIndexOverDuplicateValuesIsRefused) {
  File f;
  MakePeople(f, {1, 2});
  auto seg = Layout::SegmentBytes({{25, 4, 0, tInteger}});  // every amount is 0
  uint32_t len = static_cast<uint32_t>(seg.size());
  EXPECT_EQ(5, f.Call(kCreateIndex, seg.data(), len, f.key, 255, 0));
  EXPECT_EQ(6, f.Get(kGetFirst, 2));
  EXPECT_EQ(0, f.Insert(Person(3, "c")));
}

}  // namespace
}  // namespace vader::microkernel::test
