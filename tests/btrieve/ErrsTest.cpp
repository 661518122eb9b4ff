#include <gtest/gtest.h>

#include <string>

#include "btrieve/BtrErrs.h"
#include "sql/SqlErrs.h"

namespace vader {
namespace {

EBtrieveEngineError Caught(int16_t status, std::string_view text = {}) {
  try {
    BtrieveErrorText(status, text);
  } catch (const EBtrieveEngineError& e) {
    return e;
  }
  ADD_FAILURE() << "no EBtrieveEngineError for status " << status;
  return EBtrieveEngineError(0);
}

TEST(BtrieveStatusCodes, MapToEngineCodes) {
  EXPECT_EQ(BtrieveStatusCode(4), 0x2206);  // record not found
  EXPECT_EQ(BtrieveStatusCode(5), 0x2A10);
  EXPECT_EQ(BtrieveStatusCode(12), 0x2704);
  EXPECT_EQ(BtrieveStatusCode(20), DBIERR_NOTINITIALIZED);
  EXPECT_EQ(BtrieveStatusCode(81), 0x2801);  // both lock statuses are "locked"
  EXPECT_EQ(BtrieveStatusCode(84), 0x2801);
  EXPECT_EQ(BtrieveStatusCode(80), 0x2803);  // both conflicts are "file busy"
  EXPECT_EQ(BtrieveStatusCode(85), 0x2803);
  EXPECT_EQ(BtrieveStatusCode(2120), 0x250E);
  EXPECT_EQ(BtrieveStatusCode(-109), DBIERR_EOF);
}

TEST(BtrieveStatusCodes, UnmappedStatusIsItsOwnCode) {
  EXPECT_EQ(BtrieveStatusCode(46), 46);
  EXPECT_EQ(BtrieveStatusCode(70), 70);
  EXPECT_EQ(BtrieveStatusCode(2999), 2999);
}

TEST(BtrieveStatusCodes, SqlSuccessNoticesMapToNoError) {
  for (int s : {-101, -102, -103, -104, -105, -106, -107, -110, -111, -112, -113, -114, -115, -116})
    EXPECT_EQ(BtrieveStatusCode(static_cast<int16_t>(s)), 0) << s;
  EXPECT_EQ(BtrieveStatusCode(-108), static_cast<uint16_t>(-108));
}

TEST(BtrieveStatusCodes, TableHasEveryPairOnceInOrder) {
  const auto table = BtrieveStatusTable();
  EXPECT_EQ(table.size(), 63u);
  EXPECT_EQ(table.front().status, 1);
  EXPECT_EQ(table.back().status, static_cast<uint16_t>(-116));
  for (size_t i = 0; i < table.size(); ++i)
    for (size_t j = i + 1; j < table.size(); ++j) EXPECT_NE(table[i].status, table[j].status);
}

TEST(BtrieveException, CarriesCodeAndNativeStatus) {
  const EBtrieveEngineError e = Caught(4);
  EXPECT_EQ(e.Code(), 0x2206);
  EXPECT_EQ(e.NativeError(), 4);
  EXPECT_TRUE(e.Context().empty());
  EXPECT_STREQ(e.what(), "");
  EXPECT_EQ(e.ExtraLength(), 0);
  EXPECT_EQ(EBtrieveEngineError(-109).NativeError(), -109);
}

TEST(BtrieveException, MessageQuotesThePublishedText) {
  EXPECT_EQ(Caught(4).GetNativeMessage(),
            "Btrieve Status 4 - The application cannot find the key value.");
  EXPECT_EQ(Caught(91).GetNativeMessage(),
            "Btrieve Status 91 - The application encountered a server error..");
}

TEST(BtrieveException, ExtraTextMakesASecondLine) {
  EXPECT_EQ(Caught(12, "/data/CUSTOMER.BTR").GetNativeMessage(),
            "Btrieve Status 12 - The MicroKernel cannot find the specified file.\r\n"
            "Key=[/data/CUSTOMER.BTR]");
}

TEST(BtrieveException, StatusWithoutTextUsesTheNumberOnly) {
  const EBtrieveEngineError e = Caught(70, "ignored");
  EXPECT_EQ(e.GetNativeMessage(), "Btrieve Error 70.");
  EXPECT_EQ(e.Code(), 70);
  EXPECT_EQ(Caught(2999).GetNativeMessage(), "Btrieve Error 2999.");
}

TEST(BtrieveException, ExtraTextAndMessageAreCutAt255) {
  const std::string longText(400, 'x');
  const EBtrieveEngineError e = Caught(12, longText);
  EXPECT_EQ(e.ExtraLength(), 255);
  EXPECT_EQ(e.ExtraText(), longText.substr(0, 255));
  const std::string message = e.GetNativeMessage();
  EXPECT_EQ(message.size(), 255u);
  EXPECT_TRUE(message.starts_with("Btrieve Status 12 - "));
}

TEST(BtrieveException, EndOfFileIsTheEngineBoundaryError) {
  EXPECT_THROW(BtrieveError(9), EVaderEOFError);
  EXPECT_THROW(BtrieveErrorText(9, "file"), EVaderEOFError);
  EXPECT_THROW(BtrieveError(4), EBtrieveEngineError);
}

TEST(NativeMessages, FoundByIdentifier) {
  EXPECT_EQ(LoadNativeMessage(5014), "The MicroKernel cannot create or open the preimage file");
  EXPECT_EQ(LoadNativeMessage(4891), "The view contains no more records");
  EXPECT_EQ(LoadNativeMessage(6016), "The MicroKernel is already initialized");
  EXPECT_EQ(LoadNativeMessage(5162).substr(0, 26), "The client table is full. ");
  // Scalable SQL, requester, router and network-services statuses with published titles.
  EXPECT_EQ(LoadNativeMessage(5200), "Scalable SQL local engine or Requester is not loaded");
  EXPECT_EQ(LoadNativeMessage(5804), "The specified column position is invalid");
  EXPECT_EQ(LoadNativeMessage(6020), "Btrieve Requester Interface communications error");
  EXPECT_EQ(LoadNativeMessage(7103), "Scalable SQL is not active on the requested server");
  EXPECT_EQ(LoadNativeMessage(8014), "The MicroKernel router cannot find an engine");
  EXPECT_EQ(LoadNativeMessage(8106),
            "The Pervasive Network Services Layer encountered a connection failure");
  EXPECT_EQ(LoadNativeMessage(8126).substr(0, 41), "The Pervasive Network Services Layer was ");
  EXPECT_EQ(Caught(3005).GetNativeMessage(),
            "Btrieve Status 3005 - The MicroKernel router encountered an operating system error.");
  // Titles that could not be found keep the numeric form.
  for (int id : {5070, 5201, 7000, 7900, 8007, 8102, 12002, 13001})
    EXPECT_TRUE(LoadNativeMessage(id).empty()) << id;
  EXPECT_TRUE(LoadNativeMessage(5000).empty());
  EXPECT_TRUE(LoadNativeMessage(14000).empty());
}

TEST(NativeMessages, ReachTheErrorStack) {
  TErrorStack stack(10);
  stack.PushException(EBtrieveEngineError(46));
  int32_t native = 0;
  char text[kErrorTextSize] = {};
  EXPECT_EQ(GetErrorEntry(stack, 1, native, text), 46);
  EXPECT_EQ(native, 46);
  EXPECT_EQ(std::string(text),
            "Btrieve Status 46 - Access to the requested file is denied.\r\n"
            "DBI Error Code = Vader (BDE) Error 46.");
}

TEST(ScalableSqlErrors, CheckStatus) {
  EXPECT_EQ(CheckSQLStatus(0), 0);
  EXPECT_EQ(CheckSQLStatus(-109), -109);
  EXPECT_EQ(CheckSQLStatus(-102), -102);
  EXPECT_THROW(CheckSQLStatus(9), EVaderEOFError);
  try {
    CheckSQLStatus(204);
    FAIL();
  } catch (const EScalableSQLEngineError& e) {
    EXPECT_EQ(e.Code(), DBIERR_NOSUCHTABLE);
    EXPECT_EQ(e.GetNativeMessage(),
              "Btrieve Status 204 - The table is not defined in the dictionary.");
  }
}

TEST(ScalableSqlErrors, RaisingRoutinesDoNotDivertEndOfFile) {
  EXPECT_THROW(SQLError(9), EScalableSQLEngineError);
  try {
    SQLErrorText(348, "SALES");
    FAIL();
  } catch (const EScalableSQLEngineError& e) {
    EXPECT_EQ(e.Code(), 0x271E);
    EXPECT_EQ(e.ExtraText(), "SALES");
  }
}

}  // namespace
}  // namespace vader
