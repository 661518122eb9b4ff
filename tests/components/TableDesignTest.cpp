// Creating, copying and restructuring tables of a Btrieve database through the driver and the
// table components, over a copy of the sample database.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "SampleFixture.h"
#include "TableRows.h"
#include "btrieve/BtrConst.h"
#include "btrieve/BtrCreate.h"
#include "btrieve/BtrDbase.h"
#include "common/ErrorOf.h"
#include "components/BtrMainTable.h"
#include "components/TableRestructure.h"
#include "tools/Dictionary.h"
#include "tools/NativeTypes.h"
#include "tools/Records.h"
#include "tools/SampleDatabase.h"

namespace vader {
namespace {

using testing::ErrorOf;
using testing::Rows;

class TableDesign : public testing::SampleFixture {
 protected:
  TtbTable& Make(const std::string& name) { return testing::NewTable(owner.get(), db, name); }
  Rows Read(const std::string& table, const std::vector<std::string>& fields) {
    return testing::ReadRows(Make(table), fields);
  }
  // The batch move's copy mode from table `from` into a new table `to` (of database `into`).
  void BatchCopy(const std::string& from, const std::string& to, const std::string& into = "") {
    TtbBatchMove move(owner.get());
    TtbTable& destination = Make(to);
    if (!into.empty()) destination.SetDatabaseName(into);
    move.SetSource(&Make(from));
    move.SetDestination(&destination);
    move.Mode = TBatchMode::batCopy;
    move.Execute();
  }
  tools::TableDef Described(const std::string& table) {
    return tools::Dictionary(db, tools::kSampleDictionaryOwner).Table(table);
  }
  // A FIELDEXT.DDF giving the named fields of `table` the type ZSTRING.
  void OverrideTypes(const std::string& table, const std::vector<std::string>& fields) {
    tools::FileDef ext;
    ext.recordLength = 6;
    ext.pageSize = 512;
    ext.keys = {{0,
                 {{1, 2, tools::kKeyExtendedType, tools::kTypeUnsigned},
                  {3, 2, tools::kKeyExtendedType, tools::kTypeUnsigned}}}};
    tools::CreateFromDef(db + "/FIELDEXT.DDF", ext, false);
    const tools::TableDef def = Described(table);
    tools::BtrFile file(db + "/FIELDEXT.DDF");
    for (const std::string& field : fields) {
      tools::Bytes row(6, '\0');
      tools::WriteLe(row, 0, 2, def.id);
      tools::WriteLe(row, 2, 2, def.Field(field)->id);
      tools::WriteLe(row, 4, 2, tools::kTypeZString);
      file.Insert(row);
    }
  }
  // The overridden types of the fields of `table`, by field name.
  std::map<std::string, uint64_t> Overrides(const std::string& table) {
    const tools::TableDef def = Described(table);
    std::map<std::string, uint64_t> types;
    tools::BtrFile file(db + "/FIELDEXT.DDF");
    tools::Bytes row;
    for (int16_t s = file.Step(tools::kOpStepFirst, row); s == 0;
         s = file.Step(tools::kOpStepNext, row)) {
      if (tools::ReadLe(row, 0, 2) != def.id) continue;
      std::string name = "#" + std::to_string(tools::ReadLe(row, 2, 2));
      for (const tools::FieldDef& f : def.fields)
        if (f.id == tools::ReadLe(row, 2, 2)) name = f.name;
      types[name] = tools::ReadLe(row, 4, 2);
    }
    return types;
  }
};

constexpr const char* kEveryType = R"(table name=Everything file=EVERY.BTR page=1024
field name=Id type=autoincrement size=4
field name=Code type=string size=10
field name=Label type=zstring size=20
field name=Title type=lstring size=16
field name=Small type=integer size=2
field name=Big type=integer size=8
field name=Count type=unsigned size=4
field name=Ratio type=float size=8
field name=Single type=float size=4
field name=Born type=date size=4
field name=At type=time size=4
field name=Price type=decimal size=6 decimals=2
field name=Fee type=money size=8 decimals=2
field name=Amount type=numeric size=8 decimals=3
field name=Flag type=logical size=1
field name=Cash type=currency size=8
field name=Weight type=bfloat size=8
index number=0
part field=Id
index number=1 duplicates modifiable
part field=Code nocase
part field=Born descending
index number=2 duplicates
part field=Label acs
index number=3 duplicates modifiable null
part field=Small
)";

TEST_F(TableDesign, CreatesEveryTypeAndIndexFlagAndKeepsWhatIsInserted) {
  TtbTable& customers = Make("Customers");
  customers.Open();
  auto& database = *dynamic_cast<TBtrDatabase*>(customers.DBHandle());
  const tools::TableDef def = tools::ParseSchema(kEveryType).front();
  CreateBtrieveTable(database, def);
  // A second table of that name, or over an existing file, leaves nothing behind.
  EXPECT_THROW(CreateBtrieveTable(database, def), EVaderEngineError);
  tools::TableDef sameFile = def;
  sameFile.name = "Other";
  EXPECT_THROW(CreateBtrieveTable(database, sameFile), EVaderEngineError);
  EXPECT_FALSE(database.IsTableDefined("Other"));
  customers.Close();

  const tools::FileDef file = tools::StatFile(db + "/EVERY.BTR");
  EXPECT_EQ(file.pageSize, 1024);
  ASSERT_EQ(file.keys.size(), 4u);
  const auto flags = [&](size_t key, size_t segment) { return file.keys[key].segments[segment].flags; };
  EXPECT_EQ(flags(1, 0) & (tools::kKeyDuplicates | tools::kKeyModifiable | tools::kKeyNoCase),
            tools::kKeyDuplicates | tools::kKeyModifiable | tools::kKeyNoCase);
  EXPECT_TRUE(flags(1, 1) & tools::kKeyDescending);
  EXPECT_TRUE(flags(2, 0) & tools::kKeyAcs);
  EXPECT_TRUE(flags(3, 0) & tools::kKeyNullAll);

  const std::vector<std::string> names = {"Code", "Label", "Title", "Small", "Big",
                                          "Count", "Ratio", "Single", "Born", "At",
                                          "Price", "Fee", "Amount", "Flag", "Cash", "Weight"};
  TtbTable& every = Make("Everything");
  every.Open();
  every.Append();
  const std::vector<std::string> values = {"abc", "label", "title", "-12", "123456789012", "7",
                                           "2.5", "0.25", every.FieldByName("Born")->AsString(),
                                           "", "12.34", "99.5", "1.125", "True", "3.1416", "6.5"};
  every.FieldByName("Born")->SetAsDateTime(45000);
  every.FieldByName("At")->SetAsDateTime(0.5);
  for (size_t i = 0; i < names.size(); ++i)
    if (!values[i].empty() && names[i] != "Born") every.FieldByName(names[i])->SetAsString(values[i]);
  every.Post();
  Rows written;
  written.emplace_back();
  for (const std::string& n : names) written.back().push_back(every.FieldByName(n)->AsString());
  every.Close();

  const Rows read = Read("Everything", names);
  EXPECT_EQ(read, written);
  EXPECT_EQ(read[0][0], "abc");
  EXPECT_EQ(read[0][4], "123456789012");
  EXPECT_EQ(read[0][10], "12.34");
  EXPECT_EQ(read[0][12], "1.125");
}

TEST_F(TableDesign, BatchCopyCreatesItsDestinationWithTheSourceStructure) {
  BatchCopy("Products", "ProductsCopy");
  const tools::TableDef from = Described("Products");
  tools::TableDef to = Described("ProductsCopy");
  EXPECT_EQ(to.location, "ProductsCopy.BTR");
  to.name = from.name;
  to.location = from.location;
  EXPECT_EQ(tools::FormatSchema(to), tools::FormatSchema(from));
  EXPECT_EQ(tools::StatFile(db + "/ProductsCopy.BTR").keys.size(),
            tools::StatFile(db + "/PRODUCT.BTR").keys.size());
  const std::vector<std::string> all = {"Id", "Code", "Name", "UnitPrice", "Weight",
                                        "Description"};
  EXPECT_EQ(Read("ProductsCopy", all), Read("Products", all));
}

// The parts of every index of a table as the dictionary lists them: "number:field,field".
std::vector<std::string> IndexParts(const tools::TableDef& def) {
  std::vector<std::string> out;
  for (const tools::IndexDef& index : def.indexes) {
    std::string text = std::to_string(index.number) + ":";
    for (const tools::IndexPart& part : index.parts) text += part.field + ",";
    out.push_back(text);
  }
  return out;
}

TEST_F(TableDesign, AddedAndDroppedIndexesChangeTheDictionaryWithTheFile) {
  const std::string file = db + "/CUSTOMER.BTR";
  const std::vector<std::string> sample = {"0:Id,", "1:Name,", "2:Country,City,"};
  ASSERT_EQ(IndexParts(Described("Customers")), sample);
  TtbTable& customers = Make("Customers");
  customers.AddIndex("ByCity", "City;Name", 0);
  std::vector<std::string> added = sample;
  added.push_back("3:City,Name,");
  EXPECT_EQ(IndexParts(Described("Customers")), added);
  EXPECT_EQ(tools::StatFile(file).keys.size(), 4u);
  // The records read in the new index's order.
  std::vector<std::string> cities;
  for (const auto& row : Read("Customers", {"City"})) cities.push_back(row[0]);
  std::sort(cities.begin(), cities.end());
  TtbTable& byCity = Make("Customers");
  byCity.SetIndexFieldNames("City;Name");
  byCity.Open();
  std::vector<std::string> read;
  for (byCity.First(); !byCity.Eof(); byCity.Next()) read.push_back(byCity.FieldByName("City")->AsString());
  byCity.Close();
  EXPECT_EQ(read, cities);

  // Duplicate countries: the unique index is refused, file and dictionary stay as they were.
  EXPECT_NE(ErrorOf([&] { customers.AddIndex("", "Country", ixUnique); }), "");
  // A dictionary that cannot be written takes the new key away again.
  const auto other = [] {
    std::array<uint8_t, 16> id{};
    id[12] = 'T';
    return id;
  }();
  {
    TWinBtr holder(other.data());
    holder.Open(db + "/INDEX.DDF", kDictionaryOwner, OpenExclusive);
    EXPECT_NE(ErrorOf([&] { customers.AddIndex("", "Country", 0); }), "");
  }
  EXPECT_EQ(IndexParts(Described("Customers")), added);
  EXPECT_EQ(tools::StatFile(file).keys.size(), 4u);

  // Dropping the index on Name numbers the later ones down, in the file and the dictionary.
  customers.UpdateIndexDefs();
  customers.DeleteIndex(customers.IndexDefs().FindIndexForFields("Name").name);
  const tools::TableDef now = Described("Customers");
  EXPECT_EQ(IndexParts(now), (std::vector<std::string>{"0:Id,", "1:Country,City,", "2:City,Name,"}));
  const tools::FileDef keys = tools::StatFile(file);
  ASSERT_EQ(keys.keys.size(), 3u);
  EXPECT_EQ(keys.keys[2].segments.at(0).position, now.Field("City")->offset + 1);
  byCity.Open();
  EXPECT_EQ(byCity.FieldByName("City")->AsString(), cities.front());
}

TEST_F(TableDesign, RestructureKeepsEveryRecordThroughEveryKindOfChange) {
  const std::vector<std::string> kept = {"Id", "Name", "Contact", "City", "Country",
                                         "CreditLimit", "Balance", "Active", "Since"};
  const Rows before = Read("Customers", kept);
  ASSERT_GT(before.size(), 5u);
  // Name widened, Phone dropped, Contact renamed and moved last, CreditLimit from currency to
  // decimal, a new Email field, and a new index on City.
  tools::TableDef def = tools::ParseSchema(R"(table name=Customers file=CUSTOMER.BTR
field name=Id type=autoincrement size=4
field name=Name type=string size=60
field name=City type=zstring size=25
field name=Country type=lstring size=21
field name=CreditLimit type=decimal size=10 decimals=2
field name=Balance type=decimal size=8 decimals=2
field name=Active type=logical size=1
field name=Since type=date size=4
field name=Email type=zstring size=40
field name=Person type=zstring size=30 from=Contact
index number=0
part field=Id
index number=1 duplicates modifiable
part field=Name nocase
index number=2 duplicates modifiable
part field=City
)").front();
  const TRestructureResult result = RestructureTable(db, "Customers", def);
  EXPECT_EQ(result.records, static_cast<int64_t>(before.size()));
  EXPECT_EQ(result.blanked, 0);

  Rows after = Read("Customers", {"Id", "Name", "Person", "City", "Country", "CreditLimit",
                                  "Balance", "Active", "Since"});
  ASSERT_EQ(after.size(), before.size());
  for (size_t r = 0; r < before.size(); ++r) {
    EXPECT_EQ(std::stod(after[r][5]), std::stod(before[r][5])) << r;
    after[r][5] = before[r][5];
  }
  EXPECT_EQ(after, before);
  const tools::TableDef now = Described("Customers");
  EXPECT_EQ(now.Field("Phone"), nullptr);
  EXPECT_EQ(now.Field("Name")->size, 60);
  EXPECT_EQ(now.indexes.size(), 3u);
  EXPECT_EQ(tools::StatFile(db + "/CUSTOMER.BTR").keys.size(), 3u);
  EXPECT_FALSE(std::filesystem::exists(db + "/CUSTOMER.BTR.new"));
  EXPECT_FALSE(std::filesystem::exists(db + "/CUSTOMER.BTR.old"));
  // Searching by the new index works on the copied records.
  TtbTable& byCity = Make("Customers");
  byCity.SetIndexFieldNames("City");
  byCity.Open();
  EXPECT_EQ(byCity.RecordCount(), static_cast<int>(before.size()));
}

TEST_F(TableDesign, RestructureStopsOrBlanksAValueThatDoesNotConvert) {
  const Rows lines = Read("OrderLines", {"OrderId", "LineNo", "Quantity", "Comment"});
  tools::TableDef def = Described("OrderLines");
  for (auto& f : def.fields) {
    if (f.name == "Quantity") f.type = tools::kTypeDecimal, f.size = 6, f.decimals = 2;
    if (f.name == "Comment") f.type = tools::kTypeInteger, f.size = 4;
  }
  uint16_t offset = 0;
  for (auto& f : def.fields) f.offset = offset, offset = static_cast<uint16_t>(offset + f.size);
  def.recordLength = 0;
  // Stopped at the first comment that is no number: the table is as it was.
  EXPECT_NE(ErrorOf([&] { RestructureTable(db, "OrderLines", def); }), "");
  EXPECT_EQ(Read("OrderLines", {"OrderId", "LineNo", "Quantity", "Comment"}), lines);
  EXPECT_FALSE(std::filesystem::exists(db + "/ORDLINE.BTR.new"));

  TRestructureOptions options;
  int asked = 0;
  options.onBadValue = [&](const TBadValue&) { return ++asked, TBadValueAction::Blank; };
  const TRestructureResult result = RestructureTable(db, "OrderLines", def, options);
  EXPECT_EQ(result.blanked, asked);
  const Rows after = Read("OrderLines", {"OrderId", "LineNo", "Quantity"});
  ASSERT_EQ(after.size(), lines.size());
  for (size_t r = 0; r < lines.size(); ++r)
    EXPECT_EQ(std::stod(after[r][2]), std::stod(lines[r][2])) << r;
}

TEST_F(TableDesign, TypeOverridesFollowTheirFieldsIntoACopyAndThroughARestructure) {
  OverrideTypes("Customers", {"Name", "Phone"});
  const Rows names = Read("Customers", {"Name"});
  BatchCopy("Customers", "CustomersCopy");
  const std::map<std::string, uint64_t> both = {{"Name", tools::kTypeZString},
                                                {"Phone", tools::kTypeZString}};
  EXPECT_EQ(Overrides("CustomersCopy"), both);
  EXPECT_EQ(Read("CustomersCopy", {"Name"}), names);
  // Into a database whose dictionary has no FIELDEXT.DDF yet: it gets one.
  const std::string other = dir.File("other");
  tools::Dictionary::Create(other, "", 0, false);
  BatchCopy("Customers", "Clients", other);
  tools::TableDef clients = tools::Dictionary(other).Table("Clients");
  tools::Dictionary(other).ApplyFieldExtensions(clients);
  EXPECT_EQ(clients.Field("Name")->type, tools::kTypeZString);
  EXPECT_EQ(clients.Field("Phone")->type, tools::kTypeZString);

  // Name renamed (its override follows), Phone dropped (its override goes), Balance widened.
  tools::TableDef def = Described("Customers");
  std::erase_if(def.fields, [](const tools::FieldDef& f) { return f.name == "Phone"; });
  for (tools::FieldDef& f : def.fields) {
    if (f.name == "Name") f.from = "Name", f.name = "FullName";
    if (f.name == "Balance") f.size = 10;
  }
  for (tools::IndexDef& index : def.indexes)
    for (tools::IndexPart& part : index.parts)
      if (part.field == "Name") part.field = "FullName";
  RestructureTable(db, "Customers", def);
  const std::map<std::string, uint64_t> renamed = {{"FullName", tools::kTypeZString}};
  EXPECT_EQ(Overrides("Customers"), renamed);
  EXPECT_EQ(Read("Customers", {"FullName"}), names);
}

}  // namespace
}  // namespace vader
