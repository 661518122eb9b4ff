// Native field formats the generator and the schema tools write: packed decimals, dates and
// times, counted and terminated strings, money, and the variable-length tail of a memo.

#include <gtest/gtest.h>

#include "tools/NativeTypes.h"
#include "tools/TableRecord.h"
#include "tools/TableSchema.h"
#include "tools/TextLines.h"

namespace vader::tools {
namespace {

Bytes Hex(std::initializer_list<int> bytes) {
  Bytes out;
  for (int b : bytes) out += static_cast<char>(b);
  return out;
}

TEST(RecordFormatTest, WritersProduceTheNativeLayouts) {
  RecordWriter w(40);
  w.Decimal(0, 4, 12345);      // 0012345F: digits from the right, sign nibble last
  w.Decimal(4, 3, -705);       // 00705D
  w.Date(7, 2024, 2, 29);      // day, month, year little-endian
  w.Time(11, 23, 59, 58, 99);  // hundredths, seconds, minutes, hours
  w.LString(15, 5, "abcdefg");
  w.ZString(20, 4, "wxyz");
  w.String(24, 6, "ab");
  w.Integer(30, 2, -2);
  const Bytes& r = w.Record();
  EXPECT_EQ(Hex({0x00, 0x12, 0x34, 0x5F}), r.substr(0, 4));
  EXPECT_EQ(Hex({0x00, 0x70, 0x5D}), r.substr(4, 3));
  EXPECT_EQ(Hex({29, 2, 0xE8, 0x07}), r.substr(7, 4));
  EXPECT_EQ(Hex({99, 58, 59, 23}), r.substr(11, 4));
  EXPECT_EQ(Bytes("\x04"
                  "abcd",
                  5),
            r.substr(15, 5));                     // the count, then what fits
  EXPECT_EQ(Bytes("wxy\0", 4), r.substr(20, 4));  // always terminated inside the field
  EXPECT_EQ("ab    ", r.substr(24, 6));
  EXPECT_EQ(Hex({0xFE, 0xFF}), r.substr(30, 2));
  EXPECT_THROW(w.Integer(38, 4, 1), std::out_of_range);
  EXPECT_THROW(w.Float(0, 6, 1.0), std::invalid_argument);
}

const char* const kTable =
    "table name=T file=T.BTR variable record=26\n"
    "field name=Id type=autoincrement size=4\n"
    "field name=Price type=decimal size=5 decimals=3\n"
    "field name=Whole type=decimal size=3\n"
    "field name=Amount type=currency size=8\n"
    "field name=Ok type=logical size=1\n"
    "field name=Pad type=string size=5\n"
    "field name=Memo type=zstring size=300\n";

TEST(RecordFormatTest, TableRecordConvertsMoneyAndEndsTheMemoTail) {
  const TableDef t = ParseSchema(kTable).front();
  const Bytes r = TableRecord(t)
                      .Int("Id", 7)
                      .Cents("Price", 1999)   // 19.990 with three decimals
                      .Cents("Whole", 1999)   // 19 with none
                      .Cents("Amount", -250)  // -2.50 in ten-thousandths
                      .Int("Ok", 1)
                      .Text("memo", "hello")  // field names compare case-insensitively
                      .Finish();
  ASSERT_EQ(26u + 6u, r.size());  // the fixed part, the text and its NUL
  EXPECT_EQ(Hex({0x00, 0x00, 0x19, 0x99, 0x0F}), r.substr(4, 5));
  EXPECT_EQ(Hex({0x00, 0x01, 0x9F}), r.substr(9, 3));
  EXPECT_EQ(static_cast<uint64_t>(-25000), ReadLe(r, 12, 8));
  EXPECT_EQ(Bytes("hello\0", 6), r.substr(26));
  TableRecord wrong(t);
  EXPECT_THROW(wrong.Int("Memo", 1), std::invalid_argument);
  EXPECT_THROW(wrong.Text("Nope", ""), std::invalid_argument);
}

TEST(RecordFormatTest, QuotedNamesAndLocationsSurviveTheSchemaText) {
  TableDef t = ParseSchema(
                   "table name=\"Old Stock\" file=\"C:\\data files\\OLD STOCK.BTR\"\n"
                   "field name=\"Say \"\"hi\"\"\" type=string size=4\n")
                   .front();
  EXPECT_EQ("Old Stock", t.name);
  EXPECT_EQ("C:\\data files\\OLD STOCK.BTR", t.location);
  EXPECT_EQ("Say \"hi\"", t.fields.front().name);
  const std::string text = FormatSchema(t);
  EXPECT_EQ(text, FormatSchema(ParseSchema(text).front()));
}

TEST(RecordFormatTest, TypeNamesRoundTrip) {
  for (int code = 0; code < 256; ++code) {
    const std::string name = TypeName(static_cast<uint8_t>(code));
    ASSERT_EQ(code, TypeCode(name).value_or(-1)) << name;
  }
  EXPECT_EQ(kTypeZString, TypeCode("ZString"));
  EXPECT_FALSE(TypeCode("type256").has_value());
  EXPECT_FALSE(TypeCode("typex").has_value());
}

}  // namespace
}  // namespace vader::tools
