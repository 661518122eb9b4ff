// Field and master data links, the data-aware check box and edit, and definitions.

#include <gtest/gtest.h>

#include "framework/DBCtrls.h"
#include "framework/DataSetFixture.h"

namespace vader::testing {
namespace {

class LinkTest : public PeopleTest {
 protected:
  void SetUp() override {
    PeopleTest::SetUp();
    people.FieldDefs().Add("VIP", TFieldType::ftBoolean);
    Fill(3);
    source.SetDataSet(&people);
  }
};

TEST_F(LinkTest, AFieldLinkFollowsItsFieldOnly) {
  TFieldDataLink link;
  int changes = 0;
  link.OnDataChange = [&] { ++changes; };
  link.SetFieldName("NAME");
  link.SetDataSource(&source);
  EXPECT_EQ(link.Field(), nullptr);
  people.Open();
  ASSERT_EQ(link.Field(), people.FieldByName("NAME"));
  EXPECT_TRUE(link.CanModify());
  changes = 0;
  people.Edit();
  people.FieldByName("CITY")->SetAsString("Oslo");
  EXPECT_EQ(changes, 1);  // the edit itself, not the other field
  people.FieldByName("NAME")->SetAsString("X");
  EXPECT_EQ(changes, 2);
  people.Cancel();
  people.Close();
  EXPECT_EQ(link.Field(), nullptr);
}

TEST_F(LinkTest, TheEditKeepsTypedTextUntilPost) {
  TComponent owner;
  auto* edit = new TDBEdit(&owner);
  edit->SetDataSource(&source);
  edit->SetDataField("NAME");
  people.Open();
  EXPECT_EQ(edit->Text(), "Name1");
  ASSERT_TRUE(edit->SetText("Typed"));
  EXPECT_EQ(people.State(), TDataSetState::dsEdit);
  EXPECT_EQ(people.FieldByName("NAME")->AsString(), "Name1");  // still pending
  people.Post();
  EXPECT_EQ(people.FieldByName("NAME")->AsString(), "Typed");
  EXPECT_EQ(edit->Text(), "Typed");
  people.Next();
  EXPECT_EQ(edit->Text(), "Name2");
  edit->SetText("Dropped");
  people.Cancel();
  EXPECT_EQ(edit->Text(), "Name2");
  people.readOnly = true;
  EXPECT_FALSE(edit->SetText("No"));
}

TEST_F(LinkTest, TheCheckBoxShowsAndSetsItsField) {
  TComponent owner;
  auto* check = new TDBCheckBox(&owner);
  check->SetDataSource(&source);
  check->SetDataField("VIP");
  people.Open();
  EXPECT_EQ(check->State(), TDBCheckBox::TCheckState::cbGrayed);  // null
  ASSERT_TRUE(check->SetChecked(true));
  EXPECT_EQ(check->State(), TDBCheckBox::TCheckState::cbChecked);
  people.Post();
  EXPECT_TRUE(people.FieldByName("VIP")->AsBoolean());
  check->SetDataField("CITY");
  check->ValueChecked = "Paris";
  EXPECT_EQ(check->State(), TDBCheckBox::TCheckState::cbChecked);
  check->SetChecked(false);
  EXPECT_EQ(people.FieldByName("CITY")->AsString(), "False");
  check->SetDataSource(nullptr);
  EXPECT_EQ(check->State(), TDBCheckBox::TCheckState::cbGrayed);
}

// A detail dataset whose master link is its data source, for the circular check.
class Detail : public TMemoryDataSet {
 public:
  Detail() : master(this) {}
  TDataSource* DataSource() const override { return master.DataSource(); }
  TMasterDataLink master;
};

TEST_F(LinkTest, MasterLinksTellTheDetailAndRefuseCircles) {
  Detail detail;
  detail.FieldDefs().Add("ID", TFieldType::ftInteger);
  std::vector<std::int64_t> masterIds;
  int disabled = 0;
  detail.master.OnMasterChange = [&] {
    masterIds.push_back(detail.master.Fields().at(0)->AsInteger());
  };
  detail.master.OnMasterDisable = [&] { ++disabled; };
  detail.master.SetFieldNames("ID");
  detail.master.SetMasterSource(&source);
  people.Open();
  people.Next();
  people.Edit();
  people.FieldByName("NAME")->SetAsString("not a key");
  people.FieldByName("ID")->SetAsInteger(20);
  people.Post();
  people.Close();
  EXPECT_EQ(masterIds, (std::vector<std::int64_t>{1, 2, 2, 20, 20}));
  EXPECT_EQ(disabled, 1);

  TDataSource detailSource(nullptr);
  detailSource.SetDataSet(&detail);
  Detail third;
  third.master.SetMasterSource(&detailSource);  // people -> detail -> third: fine
  detailSource.SetDataSet(&third);
  try {
    third.master.SetMasterSource(&detailSource);  // third would be its own master
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "Circular datalinks are not allowed");
  }
  TDataSource loop(nullptr);
  loop.SetDataSet(&detail);
  EXPECT_THROW(detail.master.SetMasterSource(&loop), EDatabaseError);
  detailSource.SetDataSet(nullptr);
}

TEST(DefinitionTest, FieldDefinitionsNumberThemselvesAndNameDuplicates) {
  TFieldDefs defs;
  defs.Add("AMOUNT", TFieldType::ftFloat);
  EXPECT_EQ(defs.UniqueName("AMOUNT"), "AMOUNT_1");
  defs.Add(defs.UniqueName("AMOUNT"), TFieldType::ftFloat);
  EXPECT_EQ(defs.UniqueName("amount"), "amount_2");
  EXPECT_EQ(defs.back().fieldNo, 2);
  EXPECT_EQ(defs.IndexOf("Amount_1"), 1);
  EXPECT_EQ(defs.Find("nothing"), nullptr);
}

TEST(DefinitionTest, HiddenAndReadOnlyDefinitionsShapeTheDefaultFields) {
  TMemoryDataSet data;
  data.FieldDefs().Add("A", TFieldType::ftInteger).attributes = faHiddenCol;
  data.FieldDefs().Add("B", TFieldType::ftInteger).attributes = faReadonly;
  data.FieldDefs().back().childDefs.push_back(
      TFieldDef{"B1", TFieldType::ftInteger, 0, 0, 0, 0, false, {}});
  data.Open();
  ASSERT_EQ(data.FieldCount(), 1);
  EXPECT_EQ(data.Fields(0)->FieldNo(), 2);
  EXPECT_TRUE(data.Fields(0)->ReadOnly());
  EXPECT_EQ(data.FieldDefs()[1].childDefs.at(0).name, "B1");
  EXPECT_THROW(data.Fields(1), EDatabaseError);
}

TEST(DefinitionTest, IndexesAreFoundByNameOrByTheirFields) {
  TIndexDefs indexes;
  indexes.Add("ByName", "LAST;FIRST", ixCaseInsensitive);
  indexes.Add("Primary", "ID", ixPrimary | ixUnique);
  indexes.Add("ByLast", "LAST", 0);
  indexes.Add("Expr", "LAST", ixExpression);
  EXPECT_EQ(&indexes.FindIndex("byname"), &indexes[0]);
  EXPECT_EQ(indexes.GetIndexForFields("last ; first", true), &indexes[0]);
  EXPECT_EQ(indexes.GetIndexForFields("LAST;FIRST", false), nullptr);
  EXPECT_EQ(indexes.GetIndexForFields("LAST", false), &indexes[2]);
  EXPECT_EQ(indexes.GetIndexForFields("LAST", true), &indexes[0]);  // leading fields
  EXPECT_EQ(&indexes.FindIndexForFields("LAST;FIRST"), &indexes[0]);
  try {
    indexes.FindIndexForFields("FIRST;LAST");
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "No index for fields 'FIRST;LAST'");
  }
  EXPECT_THROW(indexes.FindIndex("None"), EDatabaseError);
  EXPECT_TRUE(indexes[1].Has(ixUnique));
}

}  // namespace
}  // namespace vader::testing
