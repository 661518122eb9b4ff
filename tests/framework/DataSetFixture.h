#pragma once
// A people table in memory (ID, NAME, AGE, CITY) and a link that records what it is told.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/MemoryDataSet.h"

namespace vader::testing {

class RecordingLink : public TDataLink {
 public:
  std::vector<std::string> events;

 protected:
  void ActiveChanged() override { events.push_back(Active() ? "active" : "inactive"); }
  void DataSetChanged() override { events.push_back("changed"); }
  void DataSetScrolled(int distance) override {
    events.push_back("scrolled " + std::to_string(distance));
  }
  void EditingChanged() override { events.push_back(Editing() ? "editing" : "browsing"); }
  void RecordChanged(TField* field) override {
    events.push_back("record " + (field ? field->FieldName() : std::string("-")));
  }
};

class PeopleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    people.SetName("People");
    people.FieldDefs().Add("ID", TFieldType::ftInteger, 0, true);
    people.FieldDefs().Add("NAME", TFieldType::ftString, 12);
    people.FieldDefs().Add("AGE", TFieldType::ftSmallint);
    people.FieldDefs().Add("CITY", TFieldType::ftString, 10);
  }
  void Fill(int rows) {
    for (int i = 1; i <= rows; ++i)
      people.AddRow({std::int64_t{i}, "Name" + std::to_string(i), std::int64_t{20 + i},
                     std::string(i % 2 ? "Paris" : "Rome")});
  }
  std::int64_t Id() { return people.FieldByName("ID")->AsInteger(); }
  // Connects Link to the people through the fixture's source, showing Rows records.
  void Connect(TDataLink& link, int rows = 1) {
    link.SetBufferCount(rows);
    source.SetDataSet(&people);
    link.SetDataSource(&source);
  }
  // Persistent fields for every definition, as a window would store them.
  void MakePersistentFields() {
    for (const TFieldDef& def : people.FieldDefs()) {
      TField* field = CreateField(def.dataType, &people);
      field->SetFieldName(def.name);
      if (def.size) field->SetSize(def.size);
      field->SetDataSet(&people);
    }
  }
  TMemoryDataSet people;
  TDataSource source{nullptr};
};

}  // namespace vader::testing
