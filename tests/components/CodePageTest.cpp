// Texts stored in a database's own code page, shown and typed in Unicode: a copy of the sample
// database with a table whose name, field names and texts are in code page 866 (Cyrillic),
// opened through the table component with the database's "CODE PAGE" parameter.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "SampleFixture.h"
#include "components/BtrMainQuery.h"
#include "components/BtrMainTable.h"
#include "framework/FrameworkErrors.h"
#include "platform/CodePage.h"
#include "tools/Dictionary.h"
#include "tools/SampleDatabase.h"

namespace vader {
namespace {

// "Клиенты" and "Имя" in code page 866.
const std::string kTable866 = "\x8A\xAB\xA8\xA5\xAD\xE2\xEB";
const std::string kName866 = "\x88\xAC\xEF";
// ИЧП "ГЕО" with a box-drawing corner (0xC9) that no Windows code page holds.
const std::string kCompany866 = "\x88\x97\x8F \"\x83\x85\x8E\" \xC9";
const std::string kCompanyShown = "\u0418\u0427\u041F \"\u0413\u0415\u041E\" \u2554";

class DatabaseCodePage : public testing::SampleFixture {
 protected:
  void SetUp() override {
    SampleFixture::SetUp();
    previousAnsi_ = platform::AnsiCodePage();
    platform::SetAnsiCodePage("UTF-8");
    tools::Dictionary dictionary(db, tools::kSampleDictionaryOwner);
    tools::TableDef def = dictionary.Table("Customers");
    def.id = 0;
    def.name = kTable866;
    def.location = "KLIENT.BTR";
    for (auto& f : def.fields) {
      f.id = 0;
      if (f.name == "Name") f.name = kName866;
    }
    for (auto& index : def.indexes)
      for (auto& part : index.parts)
        if (part.field == "Name") part.field = kName866;
    dictionary.Define(def, true, true);
  }
  void TearDown() override {
    SampleFixture::TearDown();
    platform::SetAnsiCodePage(previousAnsi_);
  }

  // A table of the database with its texts in CodePage ("UTF-8" shows the stored bytes as
  // they are); both close when it goes.
  struct Opened {
    std::unique_ptr<TtbDatabase> database;
    std::unique_ptr<TtbTable> table;
    TtbTable* operator->() const { return table.get(); }
  };
  Opened Open(const std::string& codePage, const std::string& table) {
    Opened opened{std::make_unique<TtbDatabase>(nullptr), std::make_unique<TtbTable>(nullptr)};
    opened.database->SetDatabaseName(db);
    opened.database->SetParams({"CODE PAGE=" + codePage});
    opened.database->Open();
    opened.table->SetDatabaseName(db);
    opened.table->SetTableName(table);
    opened.table->Open();
    return opened;
  }
  // The stored bytes of the first row's name, read with nothing converted.
  std::string StoredName() { return Open("UTF-8", kTable866)->Fields(1)->AsString(); }

  std::string previousAnsi_;
};

TEST_F(DatabaseCodePage, NamesAndTextsShowDecodedAndAnEditChangesOnlyItsByte) {
  const std::string table = "\u041A\u043B\u0438\u0435\u043D\u0442\u044B";  // Клиенты, as typed
  const std::string field = "\u0418\u043C\u044F";                               // Имя
  {
    Opened t = Open("866", table);
    ASSERT_NE(t->FindField(field), nullptr);
    t->Insert();
    t->FieldByName("Id")->SetAsInteger(1);
    t->FieldByName(field)->SetAsString(kCompanyShown);
    t->Post();
  }
  EXPECT_EQ(StoredName(), kCompany866);

  {
    Opened t = Open("866", "\u043A\u043B\u0438\u0435\u043D\u0442\u044B");  // any case
    EXPECT_EQ(t->FieldByName(field)->AsString(), kCompanyShown);
    t->Edit();
    t->FieldByName(field)->SetAsString("\u0418\u0427\u0416 \"\u0413\u0415\u041E\" \u2554");  // П -> Ж
    t->Post();
  }
  std::string expected = kCompany866;
  expected[2] = '\x86';
  EXPECT_EQ(StoredName(), expected);

  // A search by the index on the Cyrillic field finds the row by its typed value.
  Opened t = Open("866", table);
  t->Insert();
  t->FieldByName("Id")->SetAsInteger(2);
  t->FieldByName(field)->SetAsString("\u0410\u0411");  // АБ, sorted first
  t->Post();
  t->SetIndexFieldNames(field);
  ASSERT_TRUE(t->FindKey({std::string("\u0418\u0427\u0416 \"\u0413\u0415\u041E\" \u2554")}));
  EXPECT_EQ(t->FieldByName("Id")->AsInteger(), 1);
}

TEST_F(DatabaseCodePage, ACharacterTheCodePageLacksIsRefusedAndNothingIsStored) {
  {
    Opened t = Open("866", kTable866);
    TField* name = t->Fields(1);
    t->Insert();
    t->FieldByName("Id")->SetAsInteger(1);
    name->SetAsString("\u0416\u0443\u043A");  // Жук
    t->Post();
    t->Edit();
    try {
      name->SetAsString("M\u00FCller \u0416\u0443\u043A \u4E2D");  // 866 has no ü
      FAIL() << "stored";
    } catch (const ECharacterNotStored& refused) {
      EXPECT_EQ(refused.Character(), "\"\u00FC\" (U+00FC)");
      EXPECT_EQ(refused.Field(), "\u0418\u043C\u044F");
      EXPECT_NE(std::string(refused.what()).find("\u0418\u043C\u044F"), std::string::npos);
    }
    t->Cancel();
  }
  EXPECT_EQ(StoredName(), "\x86\xE3\xAA");

  {
    // Central European letters fit code page 852, and a filter finds them.
    Opened t = Open("852", kTable866);
    TField* name = t->Fields(1);
    t->Edit();
    name->SetAsString("\u0141\u00F3d\u017A");  // Łódź
    t->Post();
    t->SetFilterText("[" + name->FieldName() + "] = '\u0141\u00F3d\u017A'");
    t->SetFiltered(true);
    t->First();
    EXPECT_FALSE(t->Eof());
    EXPECT_EQ(name->AsString(), "\u0141\u00F3d\u017A");
  }
  EXPECT_EQ(StoredName(), "\x9D\xA2\x64\xAB");
}

TEST_F(DatabaseCodePage, MemoTextIsConvertedOnceAndWhole) {
  const std::string notes = "\u0416\u0443\u043A \u2554";  // Жук ╔
  {
    Opened t = Open("866", "Suppliers");
    ASSERT_EQ(t->FieldByName("Notes")->DataType(), TFieldType::ftMemo);
    t->Edit();
    t->FieldByName("Notes")->SetAsString(notes);
    t->Post();
    EXPECT_EQ(t->FieldByName("Notes")->AsString(), notes);
  }
  EXPECT_EQ(Open("UTF-8", "Suppliers")->FieldByName("Notes")->AsString(), "\x86\xE3\xAA \xC9");
}

TEST_F(DatabaseCodePage, TheRelationalEngineStoresAndFindsTheSameCharacters) {
  const std::string city = "\u0422\u0443\u043B\u0430";  // Тула
  {
    Opened t = Open("866", "Customers");
    TtbQuery update(nullptr);
    update.SetDatabaseName(db);
    update.SetSQL("UPDATE Customers SET City = '" + city + "' WHERE Id = 1");
    update.ExecSQL();
    TtbQuery select(nullptr);
    select.SetDatabaseName(db);
    select.SetSQL("SELECT Id, City FROM Customers WHERE City = '" + city + "'");
    select.Open();
    ASSERT_FALSE(select.Eof());
    EXPECT_EQ(select.FieldByName("City")->AsString(), city);
    EXPECT_EQ(select.FieldByName("Id")->AsInteger(), 1);
    t->Refresh();
    ASSERT_TRUE(t->FindKey({int64_t{1}}));
    EXPECT_EQ(t->FieldByName("City")->AsString(), city);  // the table window's characters
  }
  Opened raw = Open("UTF-8", "Customers");
  ASSERT_TRUE(raw->FindKey({int64_t{1}}));
  EXPECT_EQ(raw->FieldByName("City")->AsString(), "\x92\xE3\xAB\xA0");
}

}  // namespace
}  // namespace vader
