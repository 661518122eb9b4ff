// Filtering through OnFilterRecord, the find family, locate and lookup.

#include <gtest/gtest.h>

#include "framework/DataSetFixture.h"

namespace vader::testing {
namespace {

class SearchTest : public PeopleTest {
 protected:
  void SetUp() override {
    PeopleTest::SetUp();
    Fill(9);
    people.Open();
  }
  void OnlyRome() {
    people.SetOnFilterRecord(
        [](TDataSet* d, bool& accept) { accept = d->FieldByName("CITY")->AsString() == "Rome"; });
  }
  std::vector<std::int64_t> All() {
    std::vector<std::int64_t> ids;
    for (people.First(); !people.Eof(); people.Next()) ids.push_back(Id());
    return ids;
  }
};

TEST_F(SearchTest, FilteredShowsOnlyAcceptedRecordsInBothDirections) {
  OnlyRome();
  EXPECT_EQ(All().size(), 9u);  // not filtered yet
  people.SetFiltered(true);
  EXPECT_EQ(All(), (std::vector<std::int64_t>{2, 4, 6, 8}));
  people.Last();
  EXPECT_EQ(Id(), 8);
  people.Prior();
  EXPECT_EQ(Id(), 6);
  people.SetFiltered(false);
  EXPECT_EQ(Id(), 1);  // back at the start
}

TEST_F(SearchTest, FindUsesTheFilterConditionWithoutFiltering) {
  OnlyRome();
  EXPECT_TRUE(people.FindFirst());
  EXPECT_EQ(Id(), 2);
  EXPECT_TRUE(people.FindNext());
  EXPECT_EQ(Id(), 4);
  EXPECT_TRUE(people.FindLast());
  EXPECT_EQ(Id(), 8);
  EXPECT_FALSE(people.FindNext());
  EXPECT_EQ(Id(), 8);  // stays where it was
  EXPECT_TRUE(people.FindPrior());
  EXPECT_EQ(Id(), 6);
  people.Next();
  EXPECT_EQ(Id(), 7);  // the window is in step with the storage again
}

TEST_F(SearchTest, LocateMovesToTheMatchAndHonoursItsOptions) {
  EXPECT_TRUE(people.Locate("NAME", {std::string("Name5")}, 0));
  EXPECT_EQ(Id(), 5);
  EXPECT_FALSE(people.Locate("NAME", {std::string("name7")}, 0));
  EXPECT_EQ(Id(), 5);
  EXPECT_TRUE(people.Locate("NAME", {std::string("name7")}, loCaseInsensitive));
  EXPECT_EQ(Id(), 7);
  EXPECT_TRUE(people.Locate("CITY;NAME", {std::string("Rome"), std::string("Name")}, loPartialKey));
  EXPECT_EQ(Id(), 2);
  EXPECT_TRUE(people.Locate("AGE", {std::int64_t{29}}, 0));
  EXPECT_EQ(Id(), 9);
  people.Next();
  EXPECT_TRUE(people.Eof());
  EXPECT_THROW(people.Locate("NAME;CITY", {std::string("x")}, 0), EDatabaseError);
  EXPECT_THROW(people.Locate("NOPE", {std::string("x")}, 0), EDatabaseError);
}

TEST_F(SearchTest, LookupReadsAnotherRecordWithoutMoving) {
  people.MoveBy(2);
  const auto found = people.Lookup("ID", {std::int64_t{6}}, "NAME;AGE");
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(std::get<std::string>(found[0]), "Name6");
  EXPECT_EQ(std::get<std::int64_t>(found[1]), 26);
  EXPECT_EQ(Id(), 3);
  people.Next();
  EXPECT_EQ(Id(), 4);  // the storage was put back in step
  const auto none = people.Lookup("ID", {std::int64_t{60}}, "NAME");
  EXPECT_TRUE(std::holds_alternative<std::monostate>(none.at(0)));
}

TEST_F(SearchTest, ReadingRecordsLeavesTheDataSetWhereItWas) {
  int scrolls = 0;
  people.AfterScroll = [&](TDataSet*) { ++scrolls; };
  people.MoveBy(4);
  scrolls = 0;
  const TBookmark second = (people.First(), people.Next(), people.GetBookmark());
  people.MoveBy(3);
  scrolls = 0;
  std::vector<std::string> names;
  EXPECT_TRUE(people.ReadRecords(second, [&] {
    names.push_back(people.FieldByName("NAME")->AsString());
    return names.size() < 3;
  }));
  EXPECT_EQ(names, (std::vector<std::string>{"Name3", "Name4", "Name5"}));
  EXPECT_EQ(scrolls, 0);
  EXPECT_EQ(Id(), 5);
  people.Next();
  EXPECT_EQ(Id(), 6);
  int all = 0;
  EXPECT_FALSE(people.ReadRecords({}, [&] { return ++all > 0; }));
  EXPECT_EQ(all, 9);
  people.Edit();
  EXPECT_THROW(people.ReadRecords({}, [] { return true; }), EDatabaseError);
}

TEST_F(SearchTest, ChangingTheFilterPostsAPendingEdit) {
  people.Edit();
  people.FieldByName("NAME")->SetAsString("Kept");
  people.SetFiltered(true);
  EXPECT_EQ(people.State(), TDataSetState::dsBrowse);
  EXPECT_EQ(people.FieldByName("NAME")->AsString(), "Kept");
}

}  // namespace
}  // namespace vader::testing
