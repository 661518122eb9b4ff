// Field values: conversions between the native forms and text, numbers, dates and booleans,
// null handling, range and format errors, and calculated and lookup fields.

#include <gtest/gtest.h>

#include <cstdlib>

#include "framework/DataSetFixture.h"

namespace vader::testing {
namespace {

class FieldTest : public ::testing::Test {
 protected:
  void SetUp() override {
    data.SetName("T");
    auto& defs = data.FieldDefs();
    defs.Add("S", TFieldType::ftString, 5);
    defs.Add("FIXED", TFieldType::ftFixedChar, 6);
    defs.Add("SMALL", TFieldType::ftSmallint);
    defs.Add("WORD", TFieldType::ftWord);
    defs.Add("INT", TFieldType::ftInteger);
    defs.Add("BIG", TFieldType::ftLargeint);
    defs.Add("AUTO", TFieldType::ftAutoInc, 0, true);
    defs.Add("FLOAT", TFieldType::ftFloat);
    defs.Add("MONEY", TFieldType::ftCurrency);
    defs.Add("BCD", TFieldType::ftBCD, 2);
    defs.Add("FLAG", TFieldType::ftBoolean);
    defs.Add("DAY", TFieldType::ftDate);
    defs.Add("CLOCK", TFieldType::ftTime);
    defs.Add("STAMP", TFieldType::ftDateTime);
    defs.Add("RAW", TFieldType::ftBytes, 4);
    defs.Add("VAR", TFieldType::ftVarBytes, 4);
    defs.Add("MEMO", TFieldType::ftMemo);
    defs.Add("PIC", TFieldType::ftGraphic);
    defs.Add("ODD", TFieldType::ftUnknown);
    data.Open();
    data.Append();
  }
  TField* F(const char* name) { return data.FieldByName(name); }
  std::string Error(const std::function<void()>& action) {
    try {
      action();
    } catch (const EDatabaseError& e) {
      return e.what();
    }
    return "no error";
  }

  TMemoryDataSet data;
};

TEST_F(FieldTest, EveryTypeGetsItsFieldClass) {
  EXPECT_NE(dynamic_cast<TStringField*>(F("FIXED")), nullptr);
  EXPECT_TRUE(static_cast<TStringField*>(F("FIXED"))->FixedChar());
  EXPECT_NE(dynamic_cast<TWordField*>(F("WORD")), nullptr);
  EXPECT_NE(dynamic_cast<TAutoIncField*>(F("AUTO")), nullptr);
  EXPECT_FALSE(F("AUTO")->Required());  // never required
  EXPECT_NE(dynamic_cast<TLargeintField*>(F("BIG")), nullptr);
  EXPECT_NE(dynamic_cast<TCurrencyField*>(F("MONEY")), nullptr);
  EXPECT_NE(dynamic_cast<TBCDField*>(F("BCD")), nullptr);
  EXPECT_NE(dynamic_cast<TDateField*>(F("DAY")), nullptr);
  EXPECT_NE(dynamic_cast<TTimeField*>(F("CLOCK")), nullptr);
  EXPECT_NE(dynamic_cast<TVarBytesField*>(F("VAR")), nullptr);
  EXPECT_NE(dynamic_cast<TMemoField*>(F("MEMO")), nullptr);
  EXPECT_NE(dynamic_cast<TGraphicField*>(F("PIC")), nullptr);
  const TField* odd = F("ODD");
  EXPECT_EQ(typeid(*odd), typeid(TField));
  EXPECT_EQ(Error([&] { (void)F("ODD")->AsString(); }), "Cannot access field 'ODD' as type String");
}

TEST_F(FieldTest, NewRecordFieldsAreNullAndClearMakesThemNullAgain) {
  for (int i = 0; i < data.FieldCount() - 1; ++i) EXPECT_TRUE(data.Fields(i)->IsNull()) << i;
  EXPECT_TRUE(std::holds_alternative<std::monostate>(F("INT")->Value()));
  EXPECT_EQ(F("INT")->AsInteger(), 0);
  F("INT")->SetAsInteger(0);
  EXPECT_FALSE(F("INT")->IsNull());
  F("INT")->SetAsString("  ");  // blank text clears a number
  EXPECT_TRUE(F("INT")->IsNull());
  F("S")->SetAsString("");
  EXPECT_FALSE(F("S")->IsNull());  // an empty string is a value
  F("S")->Clear();
  EXPECT_TRUE(F("S")->IsNull());
}

TEST_F(FieldTest, StringsAreCutAtTheirSizeAndFixedCharsLoseTrailingBlanks) {
  F("S")->SetAsString("abcdefgh");
  EXPECT_EQ(F("S")->AsString(), "abcde");
  F("FIXED")->SetAsString("ab    ");
  EXPECT_EQ(F("FIXED")->AsString(), "ab");
  F("S")->SetAsString("42");
  EXPECT_EQ(F("S")->AsInteger(), 42);
  F("S")->SetAsString("4x");
  EXPECT_EQ(Error([&] { (void)F("S")->AsInteger(); }), "'4x' is not a valid integer value");
  F("S")->SetAsBoolean(true);
  EXPECT_EQ(F("S")->AsString(), "True");
  EXPECT_TRUE(F("S")->AsBoolean());
}

TEST_F(FieldTest, IntegersKeepToTheRangeOfTheirWidth) {
  F("SMALL")->SetAsInteger(-32768);
  EXPECT_EQ(F("SMALL")->AsInteger(), -32768);
  EXPECT_EQ(Error([&] { F("SMALL")->SetAsInteger(40000); }),
            "40000 is not a valid value for field 'SMALL'. The allowed range is -32768 to 32767");
  F("WORD")->SetAsInteger(65535);
  EXPECT_EQ(F("WORD")->AsString(), "65535");
  EXPECT_THROW(F("WORD")->SetAsInteger(-1), EDatabaseError);
  F("BIG")->SetAsString("9223372036854775807");
  EXPECT_EQ(F("BIG")->AsInteger(), INT64_MAX);
  EXPECT_EQ(Error([&] { F("INT")->SetAsString("12abc"); }), "'12abc' is not a valid integer value");
  F("INT")->SetAsFloat(2.6);
  EXPECT_EQ(F("INT")->AsInteger(), 3);
  EXPECT_THROW(F("INT")->SetAsFloat(1e300), EDatabaseError);
  EXPECT_EQ(std::get<std::int64_t>(F("INT")->Value()), 3);
}

TEST_F(FieldTest, FloatsParseStrictlyAndRejectNonFiniteValues) {
  F("FLOAT")->SetAsString("2.5");
  EXPECT_DOUBLE_EQ(F("FLOAT")->AsFloat(), 2.5);
  EXPECT_EQ(F("FLOAT")->AsString(), "2.5");
  EXPECT_EQ(F("FLOAT")->AsInteger(), 3);
  EXPECT_THROW(F("FLOAT")->SetAsString("2,5"), EDatabaseError);
  EXPECT_THROW(F("MONEY")->SetAsFloat(std::numeric_limits<double>::infinity()), EDatabaseError);
  F("BCD")->SetAsInteger(7);
  EXPECT_DOUBLE_EQ(std::get<double>(F("BCD")->Value()), 7.0);
}

TEST_F(FieldTest, NumbersShowTheirStoredDigitsAndTheirDecimals) {
  auto* single = static_cast<TFloatField*>(F("FLOAT"));
  single->SetSinglePrecision(true);
  // Each as a 4-byte float holds it: the shortest text that reads back to the same value.
  for (float stored : {0.15f, 16777216.0f, 1234567.5f, 3e38f, -1e-7f, 0.1f + 0.2f}) {
    single->SetAsFloat(stored);
    const std::string text = single->AsString();
    EXPECT_EQ(std::strtof(text.c_str(), nullptr), stored) << text;
    EXPECT_LE(text.size(), 40u) << text;
  }
  single->SetAsFloat(0.15f);
  EXPECT_EQ(single->AsString(), "0.15");
  single->SetAsFloat(1e300);  // typed, beyond 4 bytes: shown as it is, not wrapped
  EXPECT_EQ(single->AsString(), "1e+300");
  F("MONEY")->SetAsFloat(12.5);
  EXPECT_EQ(F("MONEY")->DisplayText(), "12.50");
  F("MONEY")->SetAsFloat(-0.1234);
  EXPECT_EQ(F("MONEY")->DisplayText(), "-0.1234");  // never rounded away
  F("BCD")->SetAsFloat(3);
  EXPECT_EQ(F("BCD")->DisplayText(), "3.00");
  static_cast<TFloatField*>(F("MONEY"))->SetScale(3);
  EXPECT_EQ(F("MONEY")->DisplayText(), "-0.123");
  F("MONEY")->Clear();
  EXPECT_EQ(F("MONEY")->DisplayText(), "");
}

TEST_F(FieldTest, BooleansAcceptTheUsualWords) {
  F("FLAG")->SetAsString("yes");
  EXPECT_TRUE(F("FLAG")->AsBoolean());
  EXPECT_EQ(F("FLAG")->AsString(), "True");
  F("FLAG")->SetAsInteger(0);
  EXPECT_EQ(F("FLAG")->AsString(), "False");
  EXPECT_EQ(Error([&] { F("FLAG")->SetAsString("maybe"); }),
            "'maybe' is not a valid boolean value");
  std::int16_t native = 0;
  F("FLAG")->SetAsBoolean(true);
  ASSERT_TRUE(F("FLAG")->GetData(&native));
  EXPECT_EQ(native, -1);
}

TEST_F(FieldTest, DatesTimesAndStampsKeepTheirNativeForms) {
  F("DAY")->SetAsString("2024-02-29");
  EXPECT_EQ(F("DAY")->AsString(), "2024-02-29");
  std::int32_t day = 0;
  ASSERT_TRUE(F("DAY")->GetData(&day));
  EXPECT_EQ(day, 738945);  // days from 1 January 0001, that day being day 1
  F("DAY")->SetAsString("0001-01-01");
  F("DAY")->GetData(&day);
  EXPECT_EQ(day, 1);
  EXPECT_DOUBLE_EQ(F("DAY")->AsDateTime(), 1 - kDateDelta);
  EXPECT_THROW(F("DAY")->SetAsString("2023-02-29"), EDatabaseError);
  F("CLOCK")->SetAsString("10:15:30");
  std::int32_t ms = 0;
  F("CLOCK")->GetData(&ms);
  EXPECT_EQ(ms, 36930000);
  EXPECT_EQ(F("CLOCK")->AsString(), "10:15:30");
  F("STAMP")->SetAsString("1899-12-30 12:00:00");
  EXPECT_DOUBLE_EQ(F("STAMP")->AsDateTime(), 0.5);
  double stamp = 0;
  F("STAMP")->GetData(&stamp);
  EXPECT_DOUBLE_EQ(stamp, 693594.0 * 86400000 + 43200000);
  EXPECT_EQ(F("STAMP")->AsString(), "1899-12-30 12:00:00");
  EXPECT_THROW(F("STAMP")->SetAsString("12:61"), EDatabaseError);
  // A corrupt stored value shows as the calendar's end, never as undefined arithmetic.
  const double corrupt[] = {1e300, std::numeric_limits<double>::quiet_NaN()};
  F("STAMP")->SetData(&corrupt[0]);
  EXPECT_EQ(F("STAMP")->AsString(), "9999-12-31 23:59:59");
  F("STAMP")->SetData(&corrupt[1]);
  EXPECT_EQ(F("STAMP")->AsString(), "1899-12-30");
}

TEST_F(FieldTest, BinaryFieldsKeepTheirLengthAndNeverReadPastIt) {
  F("RAW")->SetAsString(std::string("\x01\x00\x02", 3));
  EXPECT_EQ(F("RAW")->AsString(), std::string("\x01\x00\x02\x00", 4));
  F("VAR")->SetAsString("abcdef");
  EXPECT_EQ(F("VAR")->AsString(), "abcd");
  std::uint8_t corrupt[6] = {0xFF, 0x7F, 'w', 'x', 'y', 'z'};  // claims 32767 bytes
  F("VAR")->SetData(corrupt);
  EXPECT_EQ(F("VAR")->AsString(), "wxyz");
}

TEST_F(FieldTest, BlobsGoThroughTheBlobStream) {
  F("MEMO")->SetAsString("a long text");
  EXPECT_EQ(F("MEMO")->AsString(), "a long text");
  EXPECT_FALSE(F("MEMO")->IsNull());
  F("MEMO")->SetAsString("");
  EXPECT_TRUE(F("MEMO")->IsNull());
  // More than the storage takes is an error, not a silently shortened value.
  EXPECT_EQ(Error([&] { F("MEMO")->SetAsString(std::string(100, 'x')); }),
            "T: Could not write all 100 bytes to field 'MEMO'");
  data.Cancel();
  EXPECT_THROW(F("MEMO")->SetAsString("x"), EDatabaseError);  // not editing
}

TEST_F(FieldTest, ValuesSetByKind) {
  F("INT")->SetValue(TValue{std::int64_t{5}});
  F("S")->SetValue(TValue{std::string("x")});
  F("FLAG")->SetValue(TValue{true});
  F("FLOAT")->SetValue(TValue{1.5});
  F("FLOAT")->SetValue(TValue{});
  EXPECT_EQ(F("INT")->AsInteger(), 5);
  EXPECT_EQ(F("S")->AsString(), "x");
  EXPECT_TRUE(F("FLAG")->AsBoolean());
  EXPECT_TRUE(F("FLOAT")->IsNull());
}

TEST_F(PeopleTest, CalculatedFieldsFollowEveryRowAndEveryEdit) {
  Fill(3);
  auto* label = new TStringField(&people);
  label->SetFieldName("LABEL");
  label->SetSize(30);
  label->SetFieldKind(TFieldKind::fkCalculated);
  MakePersistentFields();
  label->SetDataSet(&people);
  people.OnCalcFields = [](TDataSet* d) {
    d->FieldByName("LABEL")->SetAsString(d->FieldByName("NAME")->AsString() + "@" +
                                         d->FieldByName("CITY")->AsString());
  };
  people.Open();
  EXPECT_EQ(label->AsString(), "Name1@Paris");
  people.Next();
  EXPECT_EQ(label->AsString(), "Name2@Rome");
  people.Edit();
  people.FieldByName("CITY")->SetAsString("Oslo");
  EXPECT_EQ(label->AsString(), "Name2@Oslo");
  people.Cancel();
  EXPECT_EQ(label->AsString(), "Name2@Rome");
  people.OnCalcFields = [](TDataSet* d) { d->FieldByName("NAME")->SetAsString("x"); };
  EXPECT_THROW(people.Refresh(), EDatabaseError);  // data fields are not writable there
}

TEST_F(PeopleTest, LookupFieldsShowTheLinkedRecordsValue) {
  TMemoryDataSet cities;
  cities.FieldDefs().Add("CODE", TFieldType::ftString, 10);
  cities.FieldDefs().Add("COUNTRY", TFieldType::ftString, 10);
  cities.AddRow({std::string("Paris"), std::string("France")});
  cities.AddRow({std::string("Rome"), std::string("Italy")});
  cities.Open();
  Fill(2);
  MakePersistentFields();
  auto* country = new TStringField(&people);
  country->SetFieldName("COUNTRY");
  country->SetFieldKind(TFieldKind::fkLookup);
  country->LookupDataSet = &cities;
  country->KeyFields = "CITY";
  country->LookupKeyFields = "CODE";
  country->LookupResultField = "COUNTRY";
  country->SetDataSet(&people);
  people.Open();
  EXPECT_EQ(country->AsString(), "France");
  people.Next();
  EXPECT_EQ(country->AsString(), "Italy");
  people.Edit();
  people.FieldByName("CITY")->SetAsString("Lima");
  EXPECT_TRUE(country->IsNull());
}

}  // namespace
}  // namespace vader::testing
