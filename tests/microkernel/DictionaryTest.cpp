// The dictionary files the driver reads: FIELD.DDF-shaped records behind an owner name, read
// the driver's way (read-only open with the owner, Get Greater or Equal on the table id, Get
// Next while the table id holds).

#include "Fixture.h"

namespace vader::microkernel::test {
namespace {

class DictionaryTest : public ApiTest {};

std::string FieldRecord(uint16_t fieldId, uint16_t tableId, const std::string& name, uint8_t type,
                        uint16_t offset, uint16_t size) {
  std::string r = Le(fieldId, 2) + Le(tableId, 2) + name;
  r.resize(24, ' ');
  r += static_cast<char>(type);
  r += Le(offset, 2) + Le(size, 2) + std::string(1, '\0') + Le(0, 2);
  return r;
}

TEST_F(DictionaryTest, FieldListReadTheDriversWay) {
  // FIELD.DDF: key 0 field id (unique), key 1 table id (duplicates), key 2 table id + name.
  ASSERT_EQ(0, Create(Path("FIELD.DDF"), Layout(32, 1024)
                                             .Key({{1, 2, 0, tInteger}})
                                             .Key({{3, 2, kDup, tInteger}})
                                             .Key({{3, 2, 0, tInteger}, {5, 20, kNoCase, tString}})
                                             .Bytes()));
  File f;
  ASSERT_EQ(0, f.Open(Path("FIELD.DDF")));
  const uint16_t tables[] = {2, 1, 2, 3, 1, 2};
  for (uint16_t id = 1; id <= 6; ++id)
    ASSERT_EQ(0, f.Insert(FieldRecord(id, tables[id - 1], "F" + std::to_string(id), 0, id * 4, 4)));
  char owner[9] = "..RV....";
  uint32_t len = 9;
  ASSERT_EQ(0, f.Call(kSetOwner, owner, len, owner, 255, 0));
  ASSERT_EQ(0, f.Close());

  File g;
  EXPECT_EQ(51, g.Open(Path("FIELD.DDF"), -2));
  ASSERT_EQ(0, g.Open(Path("FIELD.DDF"), -2, "..RV...."));
  std::vector<uint16_t> fields;
  for (int16_t s = g.Get(kGetGreaterEqual, 1, Le(2, 2) + std::string(2, '\0'));
       s == 0 && FromLe(g.record, 2, 2) == 2; s = g.Get(kGetNext, 1))
    fields.push_back(static_cast<uint16_t>(FromLe(g.record, 0, 2)));
  EXPECT_EQ((std::vector<uint16_t>{1, 3, 6}), fields);
  // The unique (table, name) key finds a field case-insensitively.
  ASSERT_EQ(0, g.Get(kGetEqual, 2, Le(3, 2) + NameKey("f4")));
  EXPECT_EQ(4u, FromLe(g.record, 0, 2));
  EXPECT_EQ(46, g.Insert(FieldRecord(9, 1, "X", 0, 0, 1)));
}

}  // namespace
}  // namespace vader::microkernel::test
