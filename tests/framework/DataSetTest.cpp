// The dataset's state machine, record window, editing and bookmarks over the in-memory table.

#include <gtest/gtest.h>

#include "framework/DBConsts.h"
#include "framework/DataSetFixture.h"

namespace vader::testing {
namespace {

using S = TDataSetState;

TEST_F(PeopleTest, OpeningMakesDefaultFieldsAndClosingRemovesThem) {
  Fill(3);
  int opened = 0;
  people.AfterOpen = [&](TDataSet*) { ++opened; };
  people.Open();
  EXPECT_EQ(people.State(), S::dsBrowse);
  ASSERT_EQ(people.FieldCount(), 4);
  EXPECT_NE(dynamic_cast<TSmallintField*>(people.FieldByName("age")), nullptr);
  EXPECT_TRUE(people.FieldByName("ID")->Required());
  EXPECT_EQ(Id(), 1);
  EXPECT_TRUE(people.Bof());
  EXPECT_FALSE(people.Eof());
  people.Close();
  EXPECT_EQ(people.State(), S::dsInactive);
  EXPECT_EQ(people.FieldCount(), 0);
  EXPECT_EQ(opened, 1);
  EXPECT_THROW(people.Next(), EDatabaseError);
  EXPECT_THROW(people.FieldByName("ID"), EDatabaseError);
}

TEST_F(PeopleTest, APersistentFieldWithoutDefinitionStopsTheOpen) {
  auto* stray = new TIntegerField(&people);
  stray->SetFieldName("MISSING");
  stray->SetDataSet(&people);
  try {
    people.Open();
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "People: Field 'MISSING' not found");
  }
  EXPECT_FALSE(people.Active());
}

TEST_F(PeopleTest, AFieldJoiningAnOpenDataSetStaysUnboundUntilReopened) {
  Fill(1);
  RecordingLink link;
  Connect(link);
  people.Open();
  link.events.clear();
  auto* late = new TStringField(&people);
  late->SetFieldName("CITY");
  late->SetDataSet(&people);
  auto* calc = new TIntegerField(&people);
  calc->SetFieldName("TWICE");
  calc->SetFieldKind(TFieldKind::fkCalculated);
  calc->SetDataSet(&people);
  EXPECT_EQ(link.events, (std::vector<std::string>{"changed", "changed"}));  // layout changes
  EXPECT_TRUE(late->IsNull());
  EXPECT_TRUE(calc->IsNull());
  people.Edit();
  EXPECT_THROW(late->SetAsString("x"), EDatabaseError);
  EXPECT_THROW(calc->SetAsInteger(2), EDatabaseError);
  people.Cancel();
  delete late;
  EXPECT_EQ(link.events.back(), "changed");
}

TEST_F(PeopleTest, AnEmptyTableIsAtBothEnds) {
  people.Open();
  EXPECT_TRUE(people.IsEmpty());
  EXPECT_TRUE(people.Bof() && people.Eof());
  EXPECT_EQ(people.MoveBy(3), 0);
  EXPECT_TRUE(people.FieldByName("NAME")->IsNull());
  EXPECT_EQ(people.FieldByName("NAME")->AsString(), "");
  EXPECT_THROW(people.Delete(), EDatabaseError);
}

TEST_F(PeopleTest, TheWindowFollowsTheActiveRecordToBothEnds) {
  Fill(10);
  RecordingLink link;
  Connect(link, 4);
  people.Open();
  EXPECT_EQ(people.BufferCount(), 4);
  EXPECT_EQ(people.BufferedRecords(), 4);
  EXPECT_EQ(link.events.front(), "active");

  EXPECT_EQ(people.MoveBy(3), 3);
  EXPECT_EQ(Id(), 4);
  EXPECT_EQ(link.ActiveRecord(), 3);
  link.events.clear();
  people.Next();  // the window moves by one
  EXPECT_EQ(Id(), 5);
  EXPECT_EQ(people.ActiveRecord(), 3);
  EXPECT_EQ(link.events, std::vector<std::string>{"scrolled 1"});

  EXPECT_EQ(people.MoveBy(100), 5);  // stops at the last row
  EXPECT_EQ(Id(), 10);
  EXPECT_TRUE(people.Eof());
  EXPECT_EQ(people.MoveBy(1), 0);
  EXPECT_EQ(people.MoveBy(-100), -9);
  EXPECT_EQ(Id(), 1);
  EXPECT_TRUE(people.Bof());
  EXPECT_EQ(people.ActiveRecord(), 0);

  people.Last();
  EXPECT_EQ(Id(), 10);
  EXPECT_EQ(people.ActiveRecord(), 3);  // the last rows fill the window
  people.Prior();
  EXPECT_EQ(Id(), 9);
  EXPECT_EQ(link.RecordCount(), 4);
}

TEST_F(PeopleTest, ShrinkingTheWindowKeepsTheActiveRecord) {
  Fill(10);
  RecordingLink link;
  Connect(link, 6);
  people.Open();
  people.MoveBy(5);
  link.SetBufferCount(2);
  EXPECT_EQ(people.BufferCount(), 2);
  EXPECT_EQ(Id(), 6);
  people.Next();
  EXPECT_EQ(Id(), 7);
  link.SetBufferCount(8);  // grows from the storage on both sides
  EXPECT_EQ(people.BufferedRecords(), 8);
  EXPECT_EQ(Id(), 7);
  link.SetDataSource(nullptr);
  EXPECT_EQ(people.BufferCount(), 1);
  EXPECT_EQ(Id(), 7);
}

TEST_F(PeopleTest, EditPostAndCancel) {
  Fill(3);
  people.Open();
  people.Next();
  TField* name = people.FieldByName("NAME");
  EXPECT_THROW(name->SetAsString("x"), EDatabaseError);  // browsing
  people.Edit();
  EXPECT_EQ(people.State(), S::dsEdit);
  name->SetAsString("Smith");
  EXPECT_TRUE(people.Modified());
  people.Post();
  EXPECT_EQ(people.State(), S::dsBrowse);
  EXPECT_EQ(name->AsString(), "Smith");
  EXPECT_EQ(Id(), 2);

  people.Edit();
  name->SetAsString("Jones");
  people.Cancel();
  EXPECT_EQ(name->AsString(), "Smith");
  people.First();
  people.Next();
  EXPECT_EQ(name->AsString(), "Smith");         // stored
  EXPECT_THROW(people.Post(), EDatabaseError);  // nothing to post
}

TEST_F(PeopleTest, OldValuesAreThoseBeforeTheEdit) {
  Fill(2);
  people.Open();
  TField* name = people.FieldByName("NAME");
  EXPECT_EQ(std::get<std::string>(name->OldValue()), "Name1");
  people.Edit();
  name->SetAsString("Changed");
  EXPECT_EQ(std::get<std::string>(name->OldValue()), "Name1");
  EXPECT_EQ(std::get<std::string>(name->NewValue()), "Changed");
  name->SetNewValue(std::string("Again"));
  EXPECT_EQ(name->AsString(), "Again");
  EXPECT_EQ(people.State(), S::dsEdit);
  people.Post();
  EXPECT_EQ(std::get<std::string>(name->OldValue()), "Again");
  EXPECT_THROW(name->SetNewValue(std::string("x")), EDatabaseError);  // browsing: nothing to edit
}

TEST_F(PeopleTest, WholeRecordsAreAddedInOneCallOrNotAtAll) {
  Fill(2);
  people.Open();
  people.AppendRecord({std::int64_t{7}, std::string("Seven")});
  EXPECT_EQ(Id(), 7);
  people.First();
  people.InsertRecord({std::int64_t{0}, std::string("Zero")});
  people.First();
  EXPECT_EQ(Id(), 0);
  EXPECT_THROW(people.AppendRecord({std::string("not a number")}), EDatabaseError);
  EXPECT_EQ(people.State(), S::dsBrowse);
  EXPECT_EQ(people.StoredRows(), 4);
}

TEST_F(PeopleTest, MovingPostsAModifiedEditAndCancelsAnUntouchedOne) {
  Fill(3);
  people.Open();
  people.Edit();
  people.FieldByName("AGE")->SetAsInteger(99);
  people.Next();
  EXPECT_EQ(people.State(), S::dsBrowse);
  people.Prior();
  EXPECT_EQ(people.FieldByName("AGE")->AsInteger(), 99);
  int posts = 0;
  people.BeforePost = [&](TDataSet*) { ++posts; };
  people.Edit();
  people.Next();
  EXPECT_EQ(posts, 0);
}

TEST_F(PeopleTest, InsertGoesBeforeTheActiveRowAppendAtTheEnd) {
  Fill(3);
  people.Open();
  people.Next();
  people.Insert();
  EXPECT_EQ(people.State(), S::dsInsert);
  EXPECT_TRUE(people.FieldByName("NAME")->IsNull());
  people.FieldByName("ID")->SetAsInteger(50);
  people.Post();
  EXPECT_EQ(Id(), 50);
  people.First();
  std::vector<std::int64_t> order;
  for (; !people.Eof(); people.Next()) order.push_back(Id());
  EXPECT_EQ(order, (std::vector<std::int64_t>{1, 50, 2, 3}));

  people.First();
  people.Append();
  people.FieldByName("ID")->SetAsInteger(60);
  people.Post();
  EXPECT_EQ(Id(), 60);
  people.Last();
  EXPECT_EQ(Id(), 60);
}

TEST_F(PeopleTest, CancellingAnInsertRestoresTheWindow) {
  Fill(5);
  RecordingLink link;
  Connect(link, 3);
  people.Open();
  people.Next();
  people.Insert();
  EXPECT_EQ(people.BufferedRecords(), 3);
  people.Cancel();
  EXPECT_EQ(Id(), 2);
  EXPECT_EQ(people.BufferedRecords(), 3);
  EXPECT_EQ(people.StoredRows(), 5);
}

TEST_F(PeopleTest, OnNewRecordValuesDoNotCountAsChanges) {
  Fill(1);
  people.OnNewRecord = [](TDataSet* d) { d->FieldByName("CITY")->SetAsString("Oslo"); };
  people.Open();
  people.Append();
  EXPECT_FALSE(people.Modified());
  EXPECT_EQ(people.FieldByName("CITY")->AsString(), "Oslo");
  people.CheckBrowseMode();  // unmodified: cancelled
  EXPECT_EQ(people.StoredRows(), 1);
}

TEST_F(PeopleTest, RequiredFieldsMustHaveAValue) {
  people.Open();
  people.Append();
  people.FieldByName("NAME")->SetAsString("x");
  try {
    people.Post();
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "People: Field 'ID' must have a value");
  }
  EXPECT_EQ(people.State(), S::dsInsert);
  people.Cancel();
  EXPECT_TRUE(people.IsEmpty());
}

TEST_F(PeopleTest, DeleteMovesToTheNextRowOrThePriorAtTheEnd) {
  Fill(3);
  people.Open();
  people.Delete();
  EXPECT_EQ(Id(), 2);
  people.Last();
  people.Delete();
  EXPECT_EQ(Id(), 2);
  people.Delete();
  EXPECT_TRUE(people.IsEmpty());
  EXPECT_TRUE(people.Eof());
}

TEST_F(PeopleTest, AReadOnlyDataSetRefusesChanges) {
  Fill(1);
  people.readOnly = true;
  people.Open();
  for (auto change : {&TDataSet::Edit, &TDataSet::Insert, &TDataSet::Append, &TDataSet::Delete}) {
    try {
      (people.*change)();
      FAIL();
    } catch (const EDatabaseError& e) {
      EXPECT_STREQ(e.what(), "People: Cannot modify a read-only dataset");
    }
  }
  EXPECT_EQ(people.State(), S::dsBrowse);
}

TEST_F(PeopleTest, ReadOnlyFieldsAndEditingAnEmptyTable) {
  people.Open();
  people.Edit();  // nothing to edit: a new record instead
  EXPECT_EQ(people.State(), S::dsInsert);
  people.FieldByName("ID")->SetReadOnly(true);
  try {
    people.FieldByName("ID")->SetAsInteger(1);
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "People: Field 'ID' cannot be modified");
  }
}

TEST_F(PeopleTest, BookmarksReturnToTheirRowAndCompare) {
  Fill(20);
  people.Open();
  people.MoveBy(7);
  const TBookmark eighth = people.GetBookmark();
  people.Last();
  const TBookmark last = people.GetBookmark();
  people.GotoBookmark(eighth);
  EXPECT_EQ(Id(), 8);
  EXPECT_TRUE(people.BookmarkValid(eighth));
  EXPECT_LT(people.CompareBookmarks(eighth, last), 0);
  EXPECT_EQ(people.CompareBookmarks(TBookmark(), eighth), -1);
  EXPECT_EQ(people.CompareBookmarks(last, TBookmark()), 1);
  EXPECT_EQ(people.CompareBookmarks(TBookmark(), TBookmark()), 0);

  people.Delete();
  EXPECT_FALSE(people.BookmarkValid(eighth));
  EXPECT_THROW(people.GotoBookmark(eighth), EDatabaseError);
  people.Insert();
  EXPECT_TRUE(people.GetBookmark().empty());  // a new row has no bookmark yet
}

TEST_F(PeopleTest, ResyncAfterTheStorageLostTheActiveRow) {
  Fill(4);
  people.Open();
  people.MoveBy(3);
  people.RemoveStoredRow(3);
  people.Refresh();
  EXPECT_EQ(Id(), 3);
}

TEST_F(PeopleTest, DisabledControlsHearOneChangeAtTheEnd) {
  Fill(5);
  RecordingLink link;
  Connect(link);
  people.Open();
  link.events.clear();
  people.DisableControls();
  people.Next();
  people.Next();
  EXPECT_TRUE(link.events.empty());
  people.EnableControls();
  EXPECT_EQ(link.events, std::vector<std::string>{"changed"});
}

TEST_F(PeopleTest, StateChangesReachLinksAndTheSource) {
  Fill(2);
  RecordingLink link;
  std::vector<S> states;
  source.OnStateChange = [&](TDataSource* s) { states.push_back(s->State()); };
  source.SetDataSet(&people);
  link.SetDataSource(&source);
  people.Open();
  people.Edit();
  people.FieldByName("NAME")->SetAsString("A");
  people.Post();
  people.Close();
  EXPECT_EQ(states, (std::vector<S>{S::dsBrowse, S::dsEdit, S::dsBrowse, S::dsInactive}));
  EXPECT_EQ(link.events, (std::vector<std::string>{"active", "editing", "record -", "record NAME",
                                                   "changed", "browsing", "inactive"}));
  source.SetEnabled(false);
  people.Open();
  EXPECT_FALSE(link.Active());
}

TEST_F(PeopleTest, BlockReadingMovesWithoutTellingTheControls) {
  Fill(5);
  RecordingLink link;
  Connect(link);
  people.Open();
  link.events.clear();
  people.SetBlockReadSize(10);
  EXPECT_EQ(people.State(), S::dsBlockRead);
  people.Next();
  EXPECT_EQ(Id(), 2);
  people.SetBlockReadSize(0);
  EXPECT_EQ(people.State(), S::dsBrowse);
  EXPECT_EQ(Id(), 2);
  EXPECT_EQ(link.events, std::vector<std::string>{"changed"});
}

TEST_F(PeopleTest, DestroyingEitherSideLeavesNoDanglingLink) {
  RecordingLink link;
  {
    TMemoryDataSet other;
    other.FieldDefs().Add("X", TFieldType::ftInteger);
    TDataSource inner(nullptr);
    inner.SetDataSet(&other);
    link.SetDataSource(&inner);
    other.Open();
  }
  EXPECT_EQ(link.DataSource(), nullptr);
  EXPECT_FALSE(link.Active());
  auto* dataSet = new TMemoryDataSet;
  dataSet->FieldDefs().Add("X", TFieldType::ftInteger);
  source.SetDataSet(dataSet);
  dataSet->Open();
  delete dataSet;
  EXPECT_EQ(source.DataSet(), nullptr);
}

}  // namespace
}  // namespace vader::testing
