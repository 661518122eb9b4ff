// Export and import of the sample's Customers through the real record manager: CSV in UTF-8
// and in the database's code page and JSON come back equal field by field, the SQL script
// runs back to the same rows, and an import reports each record it refuses with its line.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "SampleFixture.h"
#include "components/BtrMainQuery.h"
#include "components/BtrMainTable.h"
#include "components/DataExport.h"
#include "components/DataImport.h"
#include "platform/CodePage.h"

namespace vader {
namespace {

using Rows = std::vector<std::vector<TValue>>;

// Жук, "ООО" and a line break: the separator, quotes and a break in one Cyrillic name.
const std::string kName = "\u0416\u0443\u043A, \"\u041E\u041E\u041E\"\nNord";
const std::string kName866 = "\x86\xE3\xAA, \"\x8E\x8E\x8E\"";

class DataTransfer : public testing::SampleFixture {
 protected:
  void SetUp() override {
    SampleFixture::SetUp();
    previousAnsi_ = platform::AnsiCodePage();
    platform::SetAnsiCodePage("UTF-8");
    database_ = std::make_unique<TtbDatabase>(nullptr);
    database_->SetDatabaseName(db);
    database_->SetParams({"CODE PAGE=866"});
    database_->Open();
    table_ = std::make_unique<TtbTable>(nullptr);
    table_->SetDatabaseName(db);
    table_->SetTableName("Customers");
    table_->Open();
    // Texts that need quoting and the code page, a blank date and a negative decimal.
    table_->Edit();
    table_->FieldByName("Name")->SetAsString(kName);
    table_->FieldByName("Since")->Clear();
    table_->FieldByName("Balance")->SetAsString("-12.05");
    table_->Post();
  }
  void TearDown() override {
    table_.reset();
    database_.reset();
    SampleFixture::TearDown();
    platform::SetAnsiCodePage(previousAnsi_);
  }

  Rows Snapshot() {
    Rows rows;
    for (table_->First(); !table_->Eof(); table_->Next()) {
      rows.emplace_back();
      for (int f = 0; f < table_->FieldCount(); ++f)
        rows.back().push_back(table_->Fields(f)->Value());
    }
    return rows;
  }
  void Empty() {
    for (table_->First(); !table_->IsEmpty();) table_->Delete();
  }
  TImportResult Import(const std::string& path, const TImportFileOptions& options,
                       TImportMatch match = TImportMatch::imByName) {
    const TImportRows rows = ReadImportFile(path, options);
    return ImportRows(rows, MatchColumns(rows, *table_, match), *table_, {});
  }
  static std::string Read(const std::string& path) { return testing::TempDir::Read(path); }

  std::unique_ptr<TtbDatabase> database_;
  std::unique_ptr<TtbTable> table_;
  std::string previousAnsi_;
};

TEST_F(DataTransfer, CsvAndJsonComeBackEqualFieldByField) {
  const Rows original = Snapshot();
  ASSERT_EQ(original.size(), 400u);

  TExportOptions utf8;
  ASSERT_EQ(ExportDataSet(*table_, dir.File("utf8.csv"), utf8).records, 400);
  EXPECT_NE(Read(dir.File("utf8.csv")).find("\"" + kName.substr(0, 8)), std::string::npos);
  Empty();
  EXPECT_TRUE(Import(dir.File("utf8.csv"), {}).refused.empty());
  EXPECT_EQ(Snapshot(), original);

  // The database's code page, semicolons, every field quoted, no header, LF line ends: the
  // columns then go to the fields by position.
  TExportOptions native;
  native.databaseCodePage = true;
  native.separator = ';';
  native.quoting = TCsvQuoting::cqAll;
  native.header = false;
  native.lineEnd = "\n";
  ExportDataSet(*table_, dir.File("866.csv"), native);
  const std::string bytes = Read(dir.File("866.csv"));
  EXPECT_EQ(bytes.find("\"1\";\"" + kName866.substr(0, 5)), 0u) << bytes.substr(0, 40);
  EXPECT_EQ(bytes.find('\r'), std::string::npos);
  Empty();
  TImportFileOptions nativeFile;
  nativeFile.codePage = "866";
  nativeFile.separator = ';';
  nativeFile.header = false;
  EXPECT_EQ(Import(dir.File("866.csv"), nativeFile, TImportMatch::imByPosition).refused.size(), 0u);
  EXPECT_EQ(Snapshot(), original);

  TExportOptions asJson;
  asJson.format = TExportFormat::efJson;
  ExportDataSet(*table_, dir.File("all.json"), asJson);
  const std::string text = Read(dir.File("all.json"));
  EXPECT_NE(
      text.find("\"Id\": 1, \"Name\": \"\u0416\u0443\u043A, \\\"\u041E\u041E\u041E\\\"\\nNord\""),
      std::string::npos)
      << text.substr(0, 300);
  EXPECT_NE(text.find("\"Balance\": -12.05, \"Active\": true, \"Since\": null}"),
            std::string::npos);
  Empty();
  TImportFileOptions jsonFile;
  jsonFile.format = TImportFormat::ifJson;
  EXPECT_TRUE(Import(dir.File("all.json"), jsonFile).refused.empty());
  EXPECT_EQ(Snapshot(), original);

  // Stopped halfway: the file the name held before stays whole, and nothing is left beside it.
  dir.Write("kept.csv", "kept");
  const auto stop = [](int) { return false; };
  EXPECT_TRUE(ExportDataSet(*table_, dir.File("kept.csv"), utf8, stop).stopped);
  EXPECT_EQ(Read(dir.File("kept.csv")), "kept");
  EXPECT_FALSE(std::filesystem::exists(dir.File("kept.csv.part")));
}

TEST_F(DataTransfer, TheSqlScriptRunsBackToTheSameRows) {
  const Rows original = Snapshot();
  const std::string path = ExportFileName(dir.File("customers"), TExportFormat::efSql);
  EXPECT_EQ(path, dir.File("customers.sql"));
  TExportOptions asSql;
  asSql.format = TExportFormat::efSql;
  asSql.tableName = "Customers";
  ExportDataSet(*table_, path, asSql);
  Empty();
  std::ifstream script(path);
  int statements = 0;
  for (std::string statement; std::getline(script, statement, ';');) {
    if (statement.find_first_not_of("\r\n") == std::string::npos) continue;
    TtbQuery query(nullptr);
    query.SetDatabaseName(db);
    query.SetSQL(statement);
    query.ExecSQL();
    ++statements;
  }
  EXPECT_EQ(statements, 400);
  table_->Refresh();
  EXPECT_EQ(Snapshot(), original);
}

TEST_F(DataTransfer, AnImportReportsEachRefusedLineAndTakesTheRest) {
  std::string forty;
  for (int i = 0; i < 40; ++i) forty += "\u0416";
  std::ofstream(dir.File("new.csv")) << "Id,Name,Since,Balance\n"
                                     << "401,Fits,2024-01-31,1.50\n"
                                     << "1,Duplicate key,2024-01-31,0\n"
                                     << "\"402\",\"Quoted\n"
                                     << "over two lines\",2024-02-30,0\n"
                                     << "403," << std::string(41, 'x') << ",,0\n"
                                     << "404,Too large,2024-01-01,1e300\n"
                                     << "405,Last,2023-12-31T00:00:00,2\n"
      << "406," << forty << ",,0\n";
  const TImportResult result = Import(dir.File("new.csv"), {});
  EXPECT_EQ(result.imported, 3);
  ASSERT_EQ(result.refused.size(), 4u);
  EXPECT_EQ(result.refused[0].line, 3);
  EXPECT_TRUE(result.refused[0].keyViolation);
  EXPECT_EQ(result.refused[1].line, 4);  // the record starts on line 4
  EXPECT_NE(result.refused[1].reason.find("2024-02-30"), std::string::npos)
      << result.refused[1].reason;
  EXPECT_EQ(result.refused[2].line, 6);  // 41 characters in a field of 40: not cut
  EXPECT_EQ(result.refused[3].line, 7);  // too large for the decimal: not wrapped
  EXPECT_FALSE(result.refused[3].keyViolation);
  ASSERT_TRUE(table_->FindKey({int64_t{405}}));
  EXPECT_EQ(table_->FieldByName("Since")->AsString(), "2023-12-31");
  EXPECT_FALSE(table_->FindKey({int64_t{403}}));
  ASSERT_TRUE(table_->FindKey({int64_t{406}}));  // 40 letters fill the 40 bytes of code page 866
  EXPECT_EQ(table_->FieldByName("Name")->AsString(), forty);
}

}  // namespace
}  // namespace vader
