// The table component, its blob streams, the batch move and the translation of a closed
// attached table, over a copy of the sample database through the real record manager.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "common/ErrorOf.h"
#include "SampleFixture.h"
#include "common/TempDir.h"
#include "components/BtrMainTable.h"
#include "language/zInter.h"
#include "platform/Registry.h"
#include "tools/Dictionary.h"
#include "tools/SampleDatabase.h"

namespace vader {
namespace {

using testing::ErrorOf;

int64_t Int(TDataSet& t, const char* field) { return t.FieldByName(field)->AsInteger(); }

int Rows(TDataSet& t) {
  int n = 0;
  for (t.First(); !t.Eof(); t.Next()) ++n;
  return n;
}

class Table : public testing::SampleFixture {
 protected:
  TtbTable& Make(const std::string& name) {
    auto* t = new TtbTable(owner.get());
    t->SetDatabaseName(db);
    t->SetTableName(name);
    return *t;
  }
  // A table of the database with the layout of OrderLines, its comment cut to `comment`.
  void DefineLines(const std::string& name, const std::string& file, int comment = 31) {
    tools::Dictionary dictionary(db, tools::kSampleDictionaryOwner);
    tools::TableDef def = dictionary.Table("OrderLines");
    def.id = 0;
    def.name = name;
    def.location = file;
    for (auto& f : def.fields) {
      f.id = 0;
      if (f.name == "Comment") f.size = static_cast<uint16_t>(comment);
    }
    uint16_t offset = 0;
    for (auto& f : def.fields) {
      f.offset = offset;
      offset = static_cast<uint16_t>(offset + f.size);
    }
    dictionary.Define(def, true, true);
  }

};

TEST_F(Table, OpensByNameOrFileSelectsIndexesAndReadsDefinitionsWhileClosed) {
  TtbTable& orders = Make("Orders");
  EXPECT_EQ(orders.FieldDefs().size(), 9u);  // from the field list: the table stays closed
  EXPECT_EQ(orders.FieldDefs()[1].name, "CustomerId");
  orders.UpdateIndexDefs();
  ASSERT_EQ(orders.IndexDefs().size(), 4u);
  EXPECT_EQ(orders.IndexDefs()[1].fields, "CustomerId;OrderDate");
  EXPECT_FALSE(orders.Active());
  EXPECT_EQ(orders.Database(), nullptr);  // the definitions do not keep the database

  orders.SetIndexFieldNames("CustomerId;OrderDate");
  orders.Open();
  EXPECT_EQ(orders.IndexName(), "");
  int64_t last = -1;
  for (orders.First(); !orders.Eof(); orders.Next()) {
    ASSERT_LE(last, Int(orders, "CustomerId"));
    last = Int(orders, "CustomerId");
  }
  orders.SetIndexName(orders.IndexDefs()[2].name);  // OrderDate descending
  EXPECT_EQ(orders.IndexFieldNames(), "");
  orders.First();
  const double newest = orders.FieldByName("OrderDate")->AsFloat();
  orders.Next();
  EXPECT_GE(newest, orders.FieldByName("OrderDate")->AsFloat());
  EXPECT_EQ(ErrorOf([&] { orders.SetIndexFieldNames("Status"); }), "No index for fields 'Status'");
  EXPECT_EQ(ErrorOf([&] { orders.SetTableName("Other"); }),
            "Cannot perform this operation on an open dataset");

  TtbTable& byFile = Make("ORDERS.BTR");
  byFile.Open();
  EXPECT_EQ(byFile.RecordCount(), 1500);
  EXPECT_EQ(ErrorOf([&] { Make("").Open(); }), "Missing TableName property");
  TtbTable& noDefault = Make("Orders");  // index number 0xFFFF: the driver's choice of order
  noDefault.SetDefaultIndex(false);
  noDefault.Open();
  EXPECT_EQ(Rows(noDefault), 1500);
}

TEST_F(Table, FindsKeysAndAppliesRanges) {
  TtbTable& orders = Make("Orders");
  orders.Open();
  EXPECT_TRUE(orders.FindKey({int64_t{100}}));
  EXPECT_EQ(Int(orders, "Id"), 100);
  EXPECT_FALSE(orders.FindKey({int64_t{999999}}));
  EXPECT_EQ(Int(orders, "Id"), 100);  // a missing key does not move
  orders.FindNearest({int64_t{999999}});
  EXPECT_EQ(Int(orders, "Id"), 1500);  // nothing after the key: the last record

  TtbTable& lines = Make("OrderLines");
  lines.Open();
  lines.FindNearest({int64_t{7}});
  EXPECT_EQ(Int(lines, "OrderId"), 7);
  EXPECT_EQ(Int(lines, "LineNo"), 1);

  // A locate on another index's fields goes through a read-only clone on that index.
  ASSERT_TRUE(lines.Locate("ProductId", {int64_t{17}}, 0));
  EXPECT_EQ(Int(lines, "ProductId"), 17);
  EXPECT_EQ(lines.RecordCount(), Rows(lines));  // the table itself keeps its order and rows

  orders.SetRange({int64_t{10}}, {int64_t{12}});
  EXPECT_EQ(Int(orders, "Id"), 10);
  EXPECT_EQ(Rows(orders), 3);
  orders.SetRangeStart();
  orders.FieldByName("Id")->SetAsInteger(1498);
  orders.SetKeyExclusive(true);  // from after 1498
  orders.SetRangeEnd();
  orders.FieldByName("Id")->SetAsInteger(2000);
  orders.ApplyRange();
  EXPECT_EQ(Rows(orders), 2);
  orders.CancelRange();
  EXPECT_EQ(Rows(orders), 1500);
}

TEST_F(Table, ExclusiveBoundsOnTheLeadingFieldOfATwoFieldIndex) {
  TtbTable& orders = Make("Orders");
  orders.SetIndexFieldNames("CustomerId;OrderDate");
  orders.Open();
  std::map<int64_t, int> perCustomer;
  for (orders.First(); !orders.Eof(); orders.Next()) ++perCustomer[Int(orders, "CustomerId")];
  const auto range = [&](bool startExclusive, bool endExclusive) {
    orders.SetRangeStart();
    orders.FieldByName("CustomerId")->SetAsInteger(5);
    orders.SetKeyExclusive(startExclusive);
    orders.SetRangeEnd();
    orders.FieldByName("CustomerId")->SetAsInteger(7);
    orders.SetKeyExclusive(endExclusive);
    orders.ApplyRange();
  };
  range(true, false);  // after customer 5, up to customer 7
  EXPECT_EQ(Rows(orders), perCustomer[6] + perCustomer[7]);
  orders.First();
  EXPECT_EQ(Int(orders, "CustomerId"), 6);
  orders.Last();
  EXPECT_EQ(Int(orders, "CustomerId"), 7);

  range(false, true);  // from customer 5, before customer 7
  EXPECT_EQ(Rows(orders), perCustomer[5] + perCustomer[6]);
  orders.Last();
  EXPECT_EQ(Int(orders, "CustomerId"), 6);
  orders.First();
  EXPECT_EQ(Int(orders, "CustomerId"), 5);
}

TEST_F(Table, DetailFollowsItsMasterAndRefusesAnIndexThatDoesNotLeadWithTheLink) {
  TtbTable& orders = Make("Orders");
  TDataSource source(owner.get());
  source.SetDataSet(&orders);
  orders.Open();
  TtbTable& lines = Make("OrderLines");
  lines.SetIndexFieldNames("OrderId");
  lines.SetMasterSource(&source);
  lines.SetMasterFields("Id");
  lines.Open();
  TtbTable& all = Make("OrderLines");
  all.Open();
  for (int order = 0; order < 3; ++order) {
    const int64_t id = Int(orders, "Id");
    int expected = 0;
    for (all.First(); !all.Eof(); all.Next()) expected += Int(all, "OrderId") == id;
    EXPECT_EQ(Rows(lines), expected);
    lines.First();
    EXPECT_EQ(Int(lines, "OrderId"), id);
    orders.Next();  // the detail moves with the master
  }
  lines.Append();  // a new detail row carries the master's key
  EXPECT_EQ(Int(lines, "OrderId"), Int(orders, "Id"));
  lines.Cancel();
  std::vector<TField*> masterFields, detailFields;
  lines.GetDetailLinkFields(masterFields, detailFields);
  ASSERT_EQ(detailFields.size(), 2u);
  EXPECT_EQ(masterFields.at(0)->FieldName(), "Id");
  EXPECT_EQ(detailFields[0]->FieldName(), "OrderId");

  TDataSource linesSource(owner.get());
  linesSource.SetDataSet(&lines);
  EXPECT_EQ(ErrorOf([&] { orders.SetMasterSource(&linesSource); }),
            "Circular datalinks are not allowed");

  TtbTable& byProduct = Make("OrderLines");  // one key field for two link fields
  byProduct.SetIndexFieldNames("ProductId");
  byProduct.SetMasterSource(&source);
  byProduct.SetMasterFields("Id;CustomerId");
  EXPECT_EQ(ErrorOf([&] { byProduct.Open(); }), "Field index out of range");
  EXPECT_FALSE(byProduct.Active());
  byProduct.SetIndexFieldNames("ProductId;OrderId");
  EXPECT_EQ(ErrorOf([&] { byProduct.Open(); }), "No index for fields 'ProductId;OrderId'");
}

TEST_F(Table, MemoAndBinaryFieldsStreamInAndOut) {
  std::string binary(600, '\0');
  for (std::size_t i = 300; i < binary.size(); ++i) binary[i] = static_cast<char>(i * 7);
  const std::string memo = "Ships on Tuesdays; call ahead.";
  {
    TtbTable& suppliers = Make("Suppliers");
    suppliers.Open();
    suppliers.Edit();
    auto out = suppliers.CreateBlobStream(suppliers.FieldByName("Notes"), TBlobStreamMode::bmWrite);
    EXPECT_EQ(out->Write(memo.data(), 10), 10);
    EXPECT_EQ(out->Seek(0, TSeekOrigin::soEnd), 10);  // a write at the end appends
    EXPECT_EQ(out->Write(memo.data() + 10, static_cast<int64_t>(memo.size() - 10)),
              static_cast<int64_t>(memo.size() - 10));
    out.reset();
    suppliers.Post();
    TtbTable& employees = Make("Employees");
    employees.Open();
    employees.Edit();
    employees.FieldByName("Photo222")->SetAsString(binary);
    employees.Post();
  }
  owner = std::make_unique<TComponent>();
  TtbTable& suppliers = Make("Suppliers");
  suppliers.Open();
  TField* notes = suppliers.FieldByName("Notes");
  EXPECT_EQ(notes->DataType(), TFieldType::ftMemo);
  auto in = suppliers.CreateBlobStream(notes, TBlobStreamMode::bmRead);
  std::string read;
  char chunk[4];
  for (int64_t n; (n = in->Read(chunk, 4)) > 0;) read.append(chunk, static_cast<std::size_t>(n));
  EXPECT_EQ(read, memo);
  EXPECT_TRUE(static_cast<TttBlobStream&>(*in).Cached());
  auto again = suppliers.CreateBlobStream(notes, TBlobStreamMode::bmRead);
  EXPECT_TRUE(static_cast<TttBlobStream&>(*again).Cached());  // from the row's cache
  EXPECT_EQ(again->ReadAll(), memo);

  suppliers.Edit();  // a memo keeps what fits its field, and says so
  EXPECT_EQ(ErrorOf([&] { notes->SetAsString(std::string(500, 'x')); }),
            "Could not write all 500 bytes to field 'Notes'");
  suppliers.Cancel();
  suppliers.Edit();  // a write stream empties the field at once
  suppliers.CreateBlobStream(notes, TBlobStreamMode::bmWrite);
  EXPECT_EQ(notes->AsString(), "");
  suppliers.Cancel();
  suppliers.Edit();  // a truncation keeps what lies before the position
  {
    auto stream = suppliers.CreateBlobStream(notes, TBlobStreamMode::bmReadWrite);
    stream->Seek(3, TSeekOrigin::soBeginning);
    stream->Truncate();
  }
  EXPECT_EQ(notes->AsString(), memo.substr(0, 3));
  suppliers.Cancel();
  suppliers.Edit();  // the common rewrite: new text, then cut what is left of the old
  {
    auto stream = suppliers.CreateBlobStream(notes, TBlobStreamMode::bmReadWrite);
    stream->Write("Short", 5);
    stream->Truncate();
  }
  suppliers.Post();
  suppliers.Refresh();
  EXPECT_EQ(notes->AsString(), "Short");

  TtbTable& employees = Make("Employees");
  employees.Open();
  EXPECT_EQ(employees.FieldByName("Photo222")->DataType(), TFieldType::ftBlob);
  EXPECT_EQ(employees.FieldByName("Photo222")->AsString(), binary);
  employees.Next();
  const std::string second = employees.FieldByName("Photo222")->AsString();
  employees.Edit();  // a cancelled change leaves no trace in the next reads
  employees.FieldByName("Photo222")->SetAsString("changed");
  EXPECT_EQ(employees.FieldByName("Photo222")->AsString(), "changed");
  employees.Cancel();
  EXPECT_EQ(employees.FieldByName("Photo222")->AsString(), second);
  employees.Prior();
  EXPECT_EQ(employees.FieldByName("Photo222")->AsString(), binary);

  suppliers.SetRange({int64_t{100000}}, {int64_t{100001}});  // no rows: a stream reads nothing
  auto none = suppliers.CreateBlobStream(notes, TBlobStreamMode::bmRead);
  EXPECT_EQ(none->Read(chunk, 4), 0);
}

TEST_F(Table, WalkerOpensAClosedAttachedTableToTranslateItsLabels) {
  ZInterStartup();
  SetLanguageFile(dir.Write("de.txt", "Quantity~|~Menge\nComment~|~Bemerkung\n"));
  TtbTable& attached = Make("OrderLines");
  TtbTable& idle = Make("OrderLines");
  TtbTable& broken = Make("NoSuchTable");
  attached.SetDBFlag(dbfFieldList, true);  // holds its database without being open
  broken.SetDBFlag(dbfFieldList, true);
  TranslateComponent(owner.get());
  EXPECT_TRUE(attached.Active());
  EXPECT_EQ(attached.FieldByName("Quantity")->DisplayLabel(), "Menge");
  EXPECT_EQ(attached.FieldByName("Comment")->DisplayLabel(), "Bemerkung");
  EXPECT_FALSE(idle.Active());
  EXPECT_FALSE(broken.Active());  // failed silently
  attached.Close();
  attached.SetDBFlag(dbfFieldList, false);
  broken.SetDBFlag(dbfFieldList, false);
  SetLanguageFile("");
  ZInterShutdown();
}

TEST_F(Table, BatchMoveRunsEveryModeWithSideTables) {
  DefineLines("LinesCopy", "LINESCPY.BTR", 11);
  DefineLines("LinesKeyViol", "LINESKV.BTR");
  DefineLines("LinesProblem", "LINESPRB.BTR");
  DefineLines("LinesChanged", "LINESCHG.BTR");
  TtbTable& source = Make("OrderLines");
  source.Open();
  source.SetRange({int64_t{1}}, {int64_t{3}});
  const int n = Rows(source);
  ASSERT_GE(n, 4);
  source.First();
  source.Edit();
  source.FieldByName("Comment")->SetAsString("far longer than ten characters");
  source.Post();
  TtbTable& copy = Make("LinesCopy");
  copy.Open();
  source.Last();  // its key is in the destination already
  copy.AppendRecord({source.FieldByName("OrderId")->Value(), source.FieldByName("LineNo")->Value()});

  TtbBatchMove move(owner.get());
  move.SetSource(&source);
  move.SetDestination(&copy);
  move.AbortOnKeyViol = move.AbortOnProblem = false;
  move.KeyViolTableName = "LinesKeyViol";
  move.ProblemTableName = "LINESPRB.BTR";
  move.Execute();
  EXPECT_EQ(move.MovedCount(), n - 2);
  EXPECT_EQ(move.KeyViolCount(), 1);
  EXPECT_EQ(move.ProblemCount(), 1);
  EXPECT_EQ(Rows(copy), n - 1);
  TtbTable& keyViol = Make("LinesKeyViol");
  keyViol.Open();
  EXPECT_EQ(Rows(keyViol), 1);
  TtbTable& problem = Make("LinesProblem");
  problem.Open();
  EXPECT_EQ(Rows(problem), 1);
  EXPECT_EQ(problem.FieldByName("Comment")->AsString(), "far longer than ten characters");

  for (copy.First(); !copy.Eof(); copy.Next()) {
    copy.Edit();
    copy.FieldByName("Quantity")->SetAsInteger(-1);
    copy.Post();
  }
  move.SetMappings({"OrderId", "LineNo", "Quantity=Quantity"});
  move.Mode = TBatchMode::batUpdate;
  move.ChangedTableName = "LinesChanged";
  move.Execute();
  EXPECT_EQ(move.MovedCount(), n - 1);
  EXPECT_EQ(move.ChangedCount(), n - 1);
  for (copy.First(); !copy.Eof(); copy.Next()) {
    ASSERT_TRUE(source.Locate("OrderId;LineNo",
                              {copy.FieldByName("OrderId")->Value(), copy.FieldByName("LineNo")->Value()}, 0));
    EXPECT_EQ(Int(copy, "Quantity"), Int(source, "Quantity"));
  }
  TtbTable& changed = Make("LinesChanged");
  changed.Open();
  EXPECT_EQ(Rows(changed), n - 1);
  EXPECT_EQ(Int(changed, "Quantity"), -1);

  move.Mode = TBatchMode::batAppendUpdate;
  move.Execute();
  EXPECT_EQ(move.MovedCount(), n);
  EXPECT_EQ(Rows(copy), n);

  move.Mode = TBatchMode::batDelete;
  move.Execute();
  EXPECT_EQ(Rows(copy), 0);

  int calls = 0;
  move.Mode = TBatchMode::batCopy;
  move.CommitCount = 2;
  move.ProgressInterval = 2;
  move.OnProgress = [&](TttBatchMove*, int, bool&) { ++calls; };
  move.Execute();
  EXPECT_EQ(Rows(copy), n);
  EXPECT_EQ(calls, n / 2 + 1);

  // The fourth record violates a key and aborts: the first two were committed, the third is
  // undone with the open transaction.
  move.Mode = TBatchMode::batDelete;
  move.Execute();
  source.First();
  for (int i = 0; i < 3; ++i) source.Next();
  copy.AppendRecord({source.FieldByName("OrderId")->Value(), source.FieldByName("LineNo")->Value()});
  move.Mode = TBatchMode::batAppend;
  move.AbortOnKeyViol = true;
  EXPECT_NE(ErrorOf([&] { move.Execute(); }), "");
  EXPECT_EQ(move.MovedCount(), 2);
  EXPECT_EQ(move.KeyViolCount(), 1);
  EXPECT_EQ(Rows(copy), 3);

  copy.Close();
  delete &copy;  // a removed destination is forgotten
  EXPECT_EQ(move.Destination(), nullptr);
}

}  // namespace
}  // namespace vader
