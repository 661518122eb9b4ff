#include <cmath>

#include "BtrTestSupport.h"
#include "ConvFixture.h"
#include "framework/Dialogs.h"

namespace vader::testing {
namespace {

using DecimalFloatFields = ConversionTest;

TEST_F(DecimalFloatFields, Layout) {
  EXPECT_EQ(Encode(BT_EXT_DECIMAL_FLOAT, 10, 1.0), Bytes({64, 0, 0, 0, 0, 0, 0, 0, 0, 0x10}));
  EXPECT_EQ(Encode(BT_EXT_DECIMAL_FLOAT, 10, -0.0025),
            Bytes({0x80 | 61, 0x10, 0, 0, 0, 0, 0, 0, 0, 0x25}));  // 17 digits of the double
  EXPECT_EQ(Decode(BT_EXT_DECIMAL_FLOAT, {66, 0, 0, 0, 0, 0, 0, 0, 0x67, 0x12}).As<double>(),
            126.7);
  EXPECT_EQ(Decode(BT_EXT_DECIMAL_FLOAT, Bytes(10, 0)).As<double>(), 0.0);
}

TEST_F(DecimalFloatFields, RoundTripAndLimits) {
  for (double v : {0.1, -123456789.123, 1e-10, 9.87654321e60, -5e-16})
    EXPECT_EQ(RoundTrip(BT_EXT_DECIMAL_FLOAT, 10, v), v) << v;
  EXPECT_EQ(Encode(BT_EXT_DECIMAL_FLOAT, 10, 1e-17), Bytes(10, 0));
  Bytes field;
  EXPECT_CONVERSION_ERROR(field = Encode(BT_EXT_DECIMAL_FLOAT, 10, 1e100));
  Decoded d;
  EXPECT_CONVERSION_ERROR(d = Decode(BT_EXT_DECIMAL_FLOAT, {64, 0, 0, 0, 0, 0, 0, 0, 0, 0xA0}));
  EXPECT_CONVERSION_ERROR(d = Decode(BT_EXT_DECIMAL_FLOAT, {64, 0, 0, 0x10}));  // too short
}

using RealFields = ConversionTest;

TEST_F(RealFields, SixByteReal) {
  EXPECT_EQ(Encode(BT_EXT_REAL48, 6, 1.0), Bytes({0x81, 0, 0, 0, 0, 0}));
  EXPECT_EQ(Encode(BT_EXT_REAL48, 6, -1.0), Bytes({0x81, 0, 0, 0, 0, 0x80}));
  EXPECT_EQ(Decode(BT_EXT_REAL48, {0x82, 0, 0, 0, 0, 0x40}).As<double>(), 3.0);
  EXPECT_EQ(Decode(BT_EXT_REAL48, Bytes(6, 0)).As<double>(), 0.0);
  for (double v : {0.1, -2.5e-20, 1.7e38}) {
    const double back = RoundTrip(BT_EXT_REAL48, 6, v);
    EXPECT_NEAR(back, v, std::fabs(v) * 1e-11) << v;
  }
  EXPECT_EQ(RoundTrip(BT_EXT_REAL48, 6, 1234.5), 1234.5);
  Bytes field;
  EXPECT_CONVERSION_ERROR(field = Encode(BT_EXT_REAL48, 6, 1e40));
  ConversionOptions().Write = true;
  EXPECT_EQ(Encode(BT_EXT_REAL48, 6, 1e40), Bytes(6, 0));
}

using UnknownCodes = ConversionTest;

TEST_F(UnknownCodes, NothingIsWritten) {
  const Decoded d = Decode(100, {1, 2, 3, 4});
  EXPECT_FALSE(d.blank);
  EXPECT_TRUE(d.Untouched(8));
  EXPECT_EQ(Encode(BT_EXT_NUMERIC + 60, 4, 1.0), Bytes(4, 0xEE));
}

using ConversionLibrary = ConversionTest;

TEST_F(ConversionLibrary, MissingLibraryMakesExtendedCodesBadValues) {
  EXPECT_FALSE(ConversionFunctions().IsLoaded());
  EXPECT_EQ(ConversionFunctions().LibraryHandle(), TConversionFunctions::kNotLoaded);
  Decoded d;
  EXPECT_CONVERSION_ERROR(d = Decode(BT_EXT_YMD, {1, 2, 3, 4}));
  EXPECT_CONVERSION_ERROR(d = Decode(BT_EXT_VB_CURRENCY, {1, 0, 0, 0, 0, 0, 0, 0}));
  Bytes field;
  EXPECT_CONVERSION_ERROR(field = Encode<int32_t>(BT_EXT_YYYYMMDD, 8, DayNumber(2000, 1, 1)));
  EXPECT_TRUE(Decode(BT_EXT_YMD, Bytes(4, 0)).blank);  // the blank test needs no library
  EXPECT_EQ(Decode(BT_EXT_VB_CURRENCY, Bytes(8, 0)).As<double>(), 0.0);
  ConversionOptions().Read = true;
  EXPECT_EQ(Decode(BT_EXT_YMD, {1, 2, 3, 4}).As<int64_t>(), 0);
}

TEST_F(ConversionLibrary, LoadsOnlyOnce) {
  TConversionFunctions functions{TConversionFunctions::NoLibrary{}};
  EXPECT_FALSE(functions.LoadLibraryFile(Double("missing.so")));
  EXPECT_FALSE(functions.IsLoaded());
  EXPECT_TRUE(functions.LoadLibraryFile(Double("libfakeconv.so")));
  EXPECT_TRUE(functions.IsLoaded());
  EXPECT_FALSE(functions.LoadLibraryFile(Double("libfakeconv.so")));
}

class LoadedConversionLibrary : public ConversionTest {
 protected:
  void SetUp() override {
    ConversionTest::SetUp();
    auto functions = std::make_unique<TConversionFunctions>(TConversionFunctions::NoLibrary{});
    ASSERT_TRUE(functions->LoadLibraryFile(Double("libfakeconv.so")));
    SetConversionFunctions(std::move(functions));
  }
};

TEST_F(LoadedConversionLibrary, DatesGoThroughTheNativeDate) {
  EXPECT_EQ(Decode(BT_EXT_YYYYMMDD, B("19940615")).As<int32_t>(), DayNumber(1994, 6, 15));
  EXPECT_EQ(Encode<int32_t>(BT_EXT_YYYYMMDD, 8, DayNumber(2024, 2, 29)), B("20240229"));
  for (int32_t n : {DayNumber(1, 1, 1), DayNumber(1899, 12, 30), DayNumber(9999, 12, 31)})
    EXPECT_EQ(RoundTrip(BT_EXT_YYYYMMDD, 8, n), n);
}

TEST_F(LoadedConversionLibrary, NumbersAndFailingFunctions) {
  EXPECT_EQ(RoundTrip(BT_EXT_VB_CURRENCY, 8, -12.5), -12.5);
  Decoded d;
  EXPECT_CONVERSION_ERROR(d = Decode(BT_EXT_YMD, {1, 2, 3, 4}));  // the library answers 1
  Bytes field;
  EXPECT_CONVERSION_ERROR(field = Encode(BT_EXT_UDECIMAL, 4, 1.0));
}

TEST_F(ConversionLibrary, MissingExportIsReportedAndLeftEmpty) {
  std::vector<std::string> messages;
  MessageDialogHandler previous = SetMessageDialogHandler([&](const MessageDialogRequest& r) {
    messages.push_back(r.message);
    return mrOk;
  });
  auto functions = std::make_unique<TConversionFunctions>(TConversionFunctions::NoLibrary{});
  const std::string path = Double("libpartialconv.so");
  EXPECT_TRUE(functions->LoadLibraryFile(path));
  SetMessageDialogHandler(previous);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], "Error Loading Dynamic Function Get_VBCurrency from " + path);
  EXPECT_EQ(functions->Entry(TConversionExport::Get_VBCurrency), nullptr);
  SetConversionFunctions(std::move(functions));
  Decoded d;
  EXPECT_CONVERSION_ERROR(d = Decode(BT_EXT_VB_CURRENCY, {1, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(Encode(BT_EXT_VB_CURRENCY, 8, 1.0), Encode<int64_t>(BT_INTEGER, 8, 10000));
}

}  // namespace
}  // namespace vader::testing
