// The session, database and dataset components over a copy of the sample database, through
// the call layer, the Btrieve driver and the real record manager.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <set>
#include <string>

#include "btrieve/BtrSess.h"
#include "common/TempDir.h"
#include "components/BtrMain.h"
#include "framework/Dialogs.h"
#include "platform/Registry.h"

namespace vader {
namespace {

// A dataset over one table of its database, the least a table component adds.
class TTestTable : public TttDBDataset {
 public:
  explicit TTestTable(TComponent* owner = nullptr) : TttDBDataset(owner) { SetSessionList(); }
  ~TTestTable() override { Unregister(); }

  std::string TableName;
  std::string IndexName;

  TVirtEng* Engine() const override { return BtrEngine(); }
  void SetSessionList() override { SetSessionListObject(BtrSessionList()); }
  TttSession* DefaultSession() const override { return BtrDefaultSession(); }
  TBaseTable* CreateHandle() override {
    TBaseTable* cursor = nullptr;
    const bool readOnly = Database()->ReadOnly();
    Check(Engine()->OpenTable(
        DBHandle(), TableName.c_str(), nullptr, IndexName.empty() ? nullptr : IndexName.c_str(),
        nullptr, 0, readOnly ? kOpenReadOnly : kOpenReadWrite,
        Database()->Exclusive() ? kShareExclusive : kShareShared, 0, false, nullptr, cursor));
    return cursor;
  }
};

std::string Text(TDataSet& table, const char* field) {
  return table.FieldByName(field)->AsString();
}
int64_t Int(TDataSet& table, const char* field) { return table.FieldByName(field)->AsInteger(); }

template <class F>
std::string ErrorOf(F&& call) {
  try {
    call();
  } catch (const std::exception& e) {
    return e.what();
  }
  return {};
}

class Components : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv(platform::kRegistryEnvironmentVariable, dir.File("registry.reg").c_str(), 1);
    std::filesystem::copy(VADER_SAMPLE_DATABASE, db);
    dir.Write("registry.reg",
              "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Vader\\Btrieve\\Aliases\\SAMPLE]\r\n"
              "\"Description\"=\"The sample\"\r\n\"PhysicalName\"=\"" +
                  db + "\"\r\n");
    BtrMainStartup();
  }
  void TearDown() override {
    tables.clear();
    if (BtrSessionList()) BtrMainShutdown();
    SetLoginDialogHandler(nullptr);
    unsetenv(platform::kRegistryEnvironmentVariable);
  }

  TTestTable& Table(const std::string& name, const std::string& database = "") {
    tables.push_back(std::make_unique<TTestTable>());
    TTestTable& table = *tables.back();
    table.SetDatabaseName(database.empty() ? db : database);
    table.TableName = name;
    return table;
  }
  TTestTable& Opened(const std::string& name) {
    TTestTable& table = Table(name);
    table.Open();
    return table;
  }

  testing::TempDir dir;
  std::string db = dir.File("sample");
  std::vector<std::unique_ptr<TTestTable>> tables;
};

// ---- sessions ----

TEST_F(Components, DefaultSessionStartsTheEngineAndShutdownFreesIt) {
  TttSession* session = BtrDefaultSession();
  ASSERT_NE(session, nullptr);
  EXPECT_EQ(session->SessionName(), "Btrieve");
  EXPECT_TRUE(session->IsDefault());
  EXPECT_EQ(BtrSessionList()->GetSession("BTRIEVE"), session);
  EXPECT_EQ(BtrEngine(), nullptr);

  auto other = std::make_unique<TtbSession>(nullptr);
  other->SetSessionName("Other");
  other->SetActive(true);  // activates the default session first
  ASSERT_NE(BtrEngine(), nullptr);
  EXPECT_TRUE(session->Active());
  EXPECT_EQ(BtrSessionList()->Count(), 2);

  BtrMainShutdown();  // the default session goes first: the engine with it, then the list
  EXPECT_EQ(BtrEngine(), nullptr);
  EXPECT_EQ(BtrDefaultSession(), nullptr);
  EXPECT_EQ(BtrSessionList(), nullptr);
  EXPECT_FALSE(other->Active());
  EXPECT_THROW(other->SetActive(true), ETDBEngineError);  // no engine to start a session on
  other.reset();  // a session that outlives the list goes quietly
}

TEST_F(Components, SessionsHaveTheirOwnClientIdentifiersAndNames) {
  TtbSession second(nullptr);
  EXPECT_EQ(ErrorOf([&] { second.SetActive(true); }), "Session name missing");
  EXPECT_EQ(ErrorOf([&] { second.SetSessionName("btrieve"); }), "Duplicate session name 'btrieve'");
  second.SetSessionName("Second");
  second.SetActive(true);
  EXPECT_EQ(ErrorOf([&] { second.SetSessionName("Third"); }),
            "Cannot perform this operation on an active session");
  const auto* first = dynamic_cast<TBtrSession*>(BtrDefaultSession()->Handle());
  const auto* own = dynamic_cast<TBtrSession*>(second.Handle());
  ASSERT_NE(first, nullptr);
  ASSERT_NE(own, nullptr);
  EXPECT_NE(first, own);
  EXPECT_NE(std::memcmp(first->ClientID(), own->ClientID(), kClientIdSize), 0);
  EXPECT_EQ(ErrorOf([] { BtrSessionList()->GetSession("Nobody"); }), "Invalid session name Nobody");

  // A table of the second session works under its own client.
  TTestTable& table = Table("Customers");
  table.SetSessionName("Second");
  table.Open();
  EXPECT_EQ(table.Database()->Session(), &second);
  EXPECT_EQ(Int(table, "Id"), 1);
  table.Close();
  second.SetActive(false);
  EXPECT_EQ(BtrEngine()->CurrentSession(), BtrDefaultSession()->Handle());
}

TEST_F(Components, AutomaticSessionNamesComeFromTheComponentName) {
  TComponent form1, form2;
  auto* a = new TtbSession(&form1);
  auto* b = new TtbSession(&form2);
  a->SetName("Session1");
  b->SetName("Session1");
  a->SetAutoSessionName(true);
  b->SetAutoSessionName(true);
  EXPECT_EQ(a->SessionName(), "Session1_1");
  EXPECT_EQ(b->SessionName(), "Session1_2");
  EXPECT_THAT(ErrorOf([&] { a->SetSessionName("X"); }),
              ::testing::EndsWith("Cannot modify SessionName while AutoSessionName is enabled"));
  EXPECT_THAT(ErrorOf([&] { new TtbSession(&form1); }),
              ::testing::EndsWith(
                  "Cannot add a session to the form or data-module while session 'Session1_1' has "
                  "AutoSessionName enabled"));
  a->SetAutoSessionName(false);  // gives its number back
  auto* c = new TtbSession(&form1);
  c->SetName("Session9");
  EXPECT_THAT(ErrorOf([&] { c->SetAutoSessionName(true); }),
              ::testing::EndsWith("Cannot enable AutoSessionName property with more than one "
                                  "session on a form or data-module"));
  delete a;
  c->SetAutoSessionName(true);
  EXPECT_EQ(c->SessionName(), "Session9_1");
}

// ---- databases ----

TEST_F(Components, ASessionFreesTheDatabasesItOwnsBeforeItGoes) {
  auto* session = new TtbSession(nullptr);
  session->SetSessionName("Owner");
  auto* database = new TtbDatabase(session);
  database->SetDatabaseName(db);
  TTestTable& table = Table("Customers");
  table.SetSessionName("Owner");
  table.Open();
  EXPECT_EQ(table.Database(), database);
  delete session;
  EXPECT_FALSE(table.Active());
  EXPECT_EQ(table.Database(), nullptr);
}

TEST_F(Components, ComponentsBesideAnAutomaticallyNamedSessionUseIt) {
  TComponent form;
  auto* session = new TtbSession(&form);
  session->SetName("Session1");
  session->SetAutoSessionName(true);
  auto* database = new TtbDatabase(&form);  // placed after the session took its name
  tables.push_back(std::make_unique<TTestTable>(&form));
  TTestTable& table = *tables.back();
  EXPECT_EQ(database->SessionName(), "Session1_1");
  EXPECT_EQ(table.SessionName(), "Session1_1");
  session->SetName("Orders");
  EXPECT_EQ(session->SessionName(), "Orders_1");
  EXPECT_EQ(database->SessionName(), "Orders_1");
  EXPECT_EQ(table.SessionName(), "Orders_1");
  tables.pop_back();
}

TEST_F(Components, DatabaseByDirectoryAndByAlias) {
  TtbDatabase byPath(nullptr);
  EXPECT_EQ(byPath.SessionName(), "Btrieve");
  EXPECT_FALSE(byPath.LoginPrompt());
  EXPECT_EQ(ErrorOf([&] { byPath.Open(); }), "Database name missing");
  byPath.SetDatabaseName(db);
  byPath.Open();
  EXPECT_TRUE(byPath.Connected());
  EXPECT_EQ(ErrorOf([&] { byPath.SetReadOnly(true); }),
            "Cannot perform this operation on an open database");
  EXPECT_EQ(BtrDefaultSession()->FindDatabase(db), &byPath);

  TtbDatabase byAlias(nullptr);
  byAlias.SetDatabaseName("Sample");
  byAlias.Open();
  EXPECT_TRUE(byAlias.Connected());
  TTestTable& table = Table("Suppliers", "Sample");
  table.Open();
  EXPECT_EQ(table.Database(), &byAlias);
  EXPECT_EQ(Int(table, "Id"), 10);
  byAlias.Close();  // closes its datasets
  EXPECT_FALSE(table.Active());
  EXPECT_EQ(table.Database(), nullptr);

  // An alias under another name opens through a session-only alias of that name, which goes
  // again when the database closes.
  TtbDatabase renamed(nullptr);
  renamed.SetDatabaseName("Mine");
  renamed.SetAliasName("Sample");
  renamed.Open();
  TTestTable& products = Table("Products", "Mine");
  products.Open();
  EXPECT_EQ(products.Database(), &renamed);
  EXPECT_EQ(Text(products, "Code"), "P-000001");
  renamed.Close();
  renamed.SetAliasName("");
  renamed.SetParams({});  // the merged parameters would describe the database by themselves
  EXPECT_THROW(renamed.Open(), ETDBEngineError);

  TtbDatabase unknown(nullptr);
  unknown.SetDatabaseName("NoSuchAlias");
  try {
    unknown.Open();
    FAIL() << "opened an unknown alias";
  } catch (const ETDBEngineError& e) {
    EXPECT_EQ(e.ErrorCode(), DBIERR_UNKNOWNDB);
    EXPECT_GE(e.ErrorCount(), 2);
    EXPECT_NE(std::string(e.what()).find("NoSuchAlias"), std::string::npos) << e.what();
  }
  EXPECT_FALSE(unknown.Connected());
  // An alias name that names no alias fails the same way, without a session alias of nothing.
  TtbDatabase unknownAlias(nullptr);
  unknownAlias.SetDatabaseName("Yours");
  unknownAlias.SetAliasName("NoSuchAlias");
  EXPECT_EQ(ErrorOf([&] { unknownAlias.Open(); }), ErrorOf([&] { unknown.Open(); }));
  EXPECT_FALSE(unknownAlias.Connected());
}

TEST_F(Components, TemporaryDatabasesFollowKeepConnection) {
  TttSession& session = *BtrDefaultSession();
  TttDatabase* first = session.AcquireDatabase(db, nullptr);
  EXPECT_EQ(session.AcquireDatabase(db, nullptr), first);
  EXPECT_TRUE(first->Temporary());
  EXPECT_EQ(first->RefCount(), 2);
  session.ReleaseDatabase(first);
  session.ReleaseDatabase(first);
  EXPECT_TRUE(first->Connected());  // KeepConnections is on by default

  first->SetKeepConnection(false);  // unused and not kept: closed at once
  EXPECT_FALSE(first->Connected());
  session.SetKeepConnections(false);
  TTestTable& table = Opened("Products");
  TttDatabase* used = table.Database();
  EXPECT_EQ(used, first);  // the same name finds the same database
  EXPECT_EQ(used->RefCount(), 1);
  table.Close();
  EXPECT_EQ(session.FindDatabase(db), nullptr);  // a temporary database without users is freed
}

TEST_F(Components, ExclusiveAndReadOnlyDatabases) {
  TtbSession other(nullptr);
  other.SetSessionName("Other");
  {
    TtbDatabase exclusive(nullptr);
    exclusive.SetDatabaseName(db);
    exclusive.SetExclusive(true);
    exclusive.Open();
    TTestTable& mine = Opened("Customers");
    EXPECT_EQ(mine.Database(), &exclusive);
    TTestTable& theirs = Table("Customers");
    theirs.SetSessionName("Other");
    EXPECT_THROW(theirs.Open(), ETDBEngineError);  // the file is held exclusively
    EXPECT_FALSE(theirs.Active());
  }
  EXPECT_FALSE(tables.front()->Active());  // closed with its database

  TtbDatabase readOnly(nullptr);
  readOnly.SetDatabaseName(db);
  readOnly.SetReadOnly(true);
  TTestTable& browse = Opened("Customers");
  EXPECT_EQ(browse.Database(), &readOnly);
  EXPECT_FALSE(browse.CanModify());
  EXPECT_EQ(ErrorOf([&] { browse.Edit(); }), "Cannot modify a read-only dataset");
}

TEST_F(Components, LoginAsksTheHandlerOrTheDialog) {
  TtbDatabase database(nullptr);
  database.SetDatabaseName(db);
  database.SetLoginPrompt(true);
  std::string asked;
  SetLoginDialogHandler([&](const std::string& name, std::string& user, std::string&) {
    asked = name;
    user = "Clerk";
    return false;
  });
  EXPECT_EQ(ErrorOf([&] { database.Open(); }), "Cannot connect to database '" + db + "'");
  EXPECT_EQ(asked, db);
  EXPECT_FALSE(database.Connected());

  SetLoginDialogHandler([](const std::string&, std::string& user, std::string& password) {
    user = "Clerk";
    password = "secret";
    return true;
  });
  database.Open();
  EXPECT_TRUE(database.Connected());
  const auto& params = database.Params();
  EXPECT_NE(std::find(params.begin(), params.end(), "USER NAME=Clerk"), params.end());
  EXPECT_NE(std::find(params.begin(), params.end(), "PATH=" + db), params.end());
  database.Close();

  std::vector<std::string> seen;
  database.OnLogin = [&](TttDatabase*, std::vector<std::string>& login) {
    seen = login;
    login.push_back("PASSWORD=x");
  };
  database.Open();
  EXPECT_EQ(seen, std::vector<std::string>{"USER NAME=Clerk"});
}

// ---- the dataset ----

TEST_F(Components, NavigatesBothEndsAndKeepsBookmarks) {
  TTestTable& table = Opened("Customers");
  EXPECT_EQ(table.FieldCount(), 10);
  EXPECT_TRUE(table.Bof());
  EXPECT_EQ(Int(table, "Id"), 1);
  EXPECT_EQ(table.RecordCount(), 400);
  EXPECT_EQ(table.RecNo(), -1);
  table.Last();
  EXPECT_TRUE(table.Eof());
  EXPECT_EQ(Int(table, "Id"), 400);
  table.Next();  // past the last row: no error, still the last
  EXPECT_EQ(Int(table, "Id"), 400);
  table.First();
  EXPECT_EQ(table.MoveBy(4), 4);
  const TBookmark fifth = table.GetBookmark();
  table.Next();
  table.Next();
  const TBookmark seventh = table.GetBookmark();
  EXPECT_LT(table.CompareBookmarks(fifth, seventh), 0);
  EXPECT_GT(table.CompareBookmarks(seventh, fifth), 0);
  EXPECT_EQ(table.CompareBookmarks(fifth, fifth), 0);
  EXPECT_LT(table.CompareBookmarks({}, fifth), 0);
  EXPECT_EQ(table.CompareBookmarks({}, {}), 0);
  table.Last();
  EXPECT_TRUE(table.BookmarkValid(fifth));
  table.GotoBookmark(fifth);
  EXPECT_EQ(Int(table, "Id"), 5);
  table.Prior();
  EXPECT_EQ(Int(table, "Id"), 4);
}

TEST_F(Components, BlockReadingHandsOutEveryRowInOrder) {
  EXPECT_EQ(TttBDEDataset::BlockReadRows(1000, 100), 245);
  EXPECT_EQ(TttBDEDataset::BlockReadRows(7, 100), 7);
  TTestTable& table = Opened("Suppliers");
  table.SetBlockReadSize(7);
  std::vector<int64_t> ids;
  std::vector<TBookmark> bookmarks;
  for (; !table.Eof(); table.Next()) {
    ids.push_back(Int(table, "Id"));
    bookmarks.push_back(table.GetBookmark());
  }
  ASSERT_EQ(ids.size(), 40u);
  for (std::size_t i = 0; i < ids.size(); ++i) EXPECT_EQ(ids[i], 10 * static_cast<int64_t>(i + 1));
  table.SetBlockReadSize(0);
  EXPECT_EQ(table.State(), TDataSetState::dsBrowse);
  table.First();
  EXPECT_EQ(Int(table, "Id"), 10);
  // Every row of a block keeps its own bookmark, inside a block and at its ends.
  for (std::size_t i : {2u, 6u, 7u, 39u}) {
    table.GotoBookmark(bookmarks[i]);
    EXPECT_EQ(Int(table, "Id"), ids[i]);
  }
}

TEST_F(Components, EditsPostCancelInsertAndDeleteReachTheFile) {
  {
    TTestTable& table = Opened("Customers");
    table.MoveBy(2);
    table.Edit();
    table.FieldByName("Name")->SetAsString("Changed Company");
    table.Post();
    EXPECT_EQ(Text(table, "Name"), "Changed Company");
    table.Edit();
    table.FieldByName("Name")->SetAsString("Not kept");
    table.Cancel();
    EXPECT_EQ(Text(table, "Name"), "Changed Company");

    table.Append();
    table.FieldByName("Name")->SetAsString("New Company");
    table.FieldByName("City")->SetAsString("Bern");
    table.Post();
    EXPECT_EQ(Text(table, "Name"), "New Company");
    EXPECT_EQ(Int(table, "Id"), 401);  // the record manager numbers it
    EXPECT_EQ(table.RecordCount(), 401);

    table.First();
    TTestTable& other = Opened("Customers");
    other.Delete();  // another user removes the row first
    EXPECT_THROW(table.Edit(), ETDBEngineError);
    table.Delete();  // it is gone as asked, and the next row stays
    EXPECT_EQ(Int(table, "Id"), 2);
    table.Close();
  }
  TTestTable& again = Opened("Customers");
  EXPECT_EQ(Int(again, "Id"), 2);
  EXPECT_EQ(again.RecordCount(), 400);
  again.Next();
  EXPECT_EQ(Text(again, "Name"), "Changed Company");
  again.Last();
  EXPECT_EQ(Text(again, "City"), "Bern");
}

TEST_F(Components, FieldsOfEveryNativeTypeReadAndWrite) {
  TTestTable& customers = Opened("Customers");
  using T = TFieldType;
  const std::pair<const char*, T> types[] = {
      {"Id", T::ftAutoInc},           {"Name", T::ftString},
      {"Contact", T::ftString},       {"Country", T::ftString},
      {"CreditLimit", T::ftCurrency}, {"Balance", T::ftFloat},
      {"Active", T::ftBoolean},       {"Since", T::ftDate}};
  for (const auto& [name, type] : types)
    EXPECT_EQ(customers.FieldByName(name)->DataType(), type) << name;
  EXPECT_EQ(customers.FieldByName("Name")->Size(), 40);
  EXPECT_EQ(customers.FieldByName("Country")->Size(), 20);  // an lstring's length byte is not text
  customers.Next();
  customers.Edit();
  customers.FieldByName("CreditLimit")->SetAsFloat(12345.67);
  customers.FieldByName("Balance")->SetAsFloat(-42.5);
  customers.FieldByName("Active")->SetAsBoolean(false);
  customers.FieldByName("Since")->SetAsString("2020-02-29");
  customers.FieldByName("Country")->SetAsString("Switzerland");
  customers.Post();

  TTestTable& employees = Opened("Employees");
  EXPECT_EQ(employees.FieldByName("StartTime")->DataType(), T::ftTime);
  EXPECT_EQ(employees.FieldByName("Extension")->DataType(), T::ftSmallint);
  EXPECT_EQ(employees.FieldByName("Photo222")->DataType(), T::ftBlob);
  EXPECT_EQ(Int(employees, "Extension"), 201);
  const std::string photo = employees.FieldByName("Photo222")->AsString();
  ASSERT_GE(photo.size(), 24u);
  EXPECT_EQ(photo.substr(0, 12), std::string(12, '\0'));
  employees.Edit();
  employees.FieldByName("StartTime")->SetAsString("08:45:00");
  employees.FieldByName("Remote")->SetAsBoolean(true);
  employees.FieldByName("Photo222")->SetAsString(std::string("\x01\x02\x00\xff", 4));
  employees.Post();

  TTestTable& products = Opened("Products");
  EXPECT_EQ(products.FieldByName("Weight")->DataType(), T::ftFloat);
  EXPECT_EQ(products.FieldByName("Category")->DataType(), T::ftInteger);
  EXPECT_EQ(products.FieldByName("Description")->DataType(), T::ftMemo);
  EXPECT_EQ(Text(products, "Code"), "P-000001");
  EXPECT_EQ(products.FieldByName("Discontinued")->AsBoolean(), false);
  products.Edit();
  products.FieldByName("Weight")->SetAsFloat(1.25);
  products.FieldByName("Category")->SetAsInteger(7);
  products.Post();
  products.Edit();
  products.FieldByName("Description")->SetAsString("Hand made.");
  products.Next();  // a changed memo alone is a change that moving posts

  for (auto& table : tables) table->Close();
  TTestTable& c = Opened("Customers");
  c.Next();
  EXPECT_DOUBLE_EQ(c.FieldByName("CreditLimit")->AsFloat(), 12345.67);
  EXPECT_DOUBLE_EQ(c.FieldByName("Balance")->AsFloat(), -42.5);
  EXPECT_FALSE(c.FieldByName("Active")->AsBoolean());
  EXPECT_EQ(Text(c, "Since"), "2020-02-29");
  EXPECT_EQ(Text(c, "Country"), "Switzerland");
  TTestTable& e = Opened("Employees");
  EXPECT_EQ(Text(e, "StartTime"), "08:45:00");
  EXPECT_TRUE(e.FieldByName("Remote")->AsBoolean());
  EXPECT_EQ(e.FieldByName("Photo222")->AsString(), std::string("\x01\x02\x00\xff", 4));
  TTestTable& p = Opened("Products");
  EXPECT_DOUBLE_EQ(p.FieldByName("Weight")->AsFloat(), 1.25);
  EXPECT_EQ(Int(p, "Category"), 7);
  EXPECT_EQ(Text(p, "Description"), "Hand made.");
  EXPECT_EQ(ErrorOf([&] { p.FieldByName("Weight")->SetAsFloat(2); }),
            "Dataset not in edit or insert mode");
}

TEST(FieldTypeMapping, EngineDescriptorsBecomeFrameworkTypes) {
  using T = TFieldType;
  const auto map = [](uint16_t type, uint16_t subType, int16_t units1, uint16_t length) {
    FieldDesc desc{};
    desc.FieldType = type;
    desc.FieldSubType = subType;
    desc.FieldUnits1 = units1;
    desc.FieldLength = length;
    return EngineFieldType(desc);
  };
  EXPECT_EQ(map(fldUINT16, 0, 0, 1), T::ftSmallint);
  EXPECT_EQ(map(fldUINT16, 0, 0, 2), T::ftWord);
  EXPECT_EQ(map(fldUINT16, 0, 0, 3), T::ftUnknown);
  EXPECT_EQ(map(fldINT16, 0, 0, 4), T::ftUnknown);
  EXPECT_EQ(map(fldZSTRING, 0, 0, 0), T::ftUnknown);
  EXPECT_EQ(map(fldZSTRING, 31, 10, 10), T::ftFixedChar);
  EXPECT_EQ(map(fldINT32, fldstAUTOINC, 0, 4), T::ftAutoInc);
  EXPECT_EQ(map(fldFLOAT, fldstMONEY, 0, 8), T::ftCurrency);
  EXPECT_EQ(map(fldBLOB, 22, 0, 10), T::ftMemo);
  EXPECT_EQ(map(fldBLOB, 26, 0, 10), T::ftGraphic);
  EXPECT_EQ(map(fldBLOB, 28, 0, 10), T::ftTypedBinary);
  EXPECT_EQ(map(fldBLOB, 30, 0, 10), T::ftBlob);
  EXPECT_EQ(map(fldUINT64, 0, 0, 8), T::ftLargeint);
  EXPECT_EQ(map(24, 0, 0, 8), T::ftUnknown);
}

TEST_F(Components, KeyBuffersSetAndDropRanges) {
  TTestTable& table = Opened("Customers");
  EXPECT_EQ(table.KeyFieldCount(), 1);
  table.SetKeyFields(TKeyIndex::kiRangeStart, {int64_t{10}});
  table.SetKeyFields(TKeyIndex::kiRangeEnd, {int64_t{20}});
  EXPECT_TRUE(table.SetCursorRange());
  EXPECT_FALSE(table.SetCursorRange());  // the same range again changes nothing
  std::vector<int64_t> ids;
  for (table.First(); !table.Eof(); table.Next()) ids.push_back(Int(table, "Id"));
  EXPECT_EQ(ids.size(), 11u);
  EXPECT_EQ(ids.front(), 10);
  EXPECT_EQ(ids.back(), 20);
  EXPECT_TRUE(table.ResetCursorRange());
  table.Last();
  EXPECT_EQ(Int(table, "Id"), 400);

  EXPECT_THAT(ErrorOf([&] {
                table.SetKeyFields(TKeyIndex::kiRangeStart, {int64_t{1}, int64_t{2}});
              }),
              ::testing::HasSubstr("Field index out of range"));
  EXPECT_EQ(table.State(), TDataSetState::dsBrowse);
  table.SetKeyBuffer(TKeyIndex::kiLookup, true);
  EXPECT_THAT(ErrorOf([&] { table.FieldByName("Name")->SetAsString("x"); }),
              ::testing::HasSubstr("Field 'Name' is not indexed and cannot be modified"));
  table.FieldByName("Id")->SetAsInteger(7);
  EXPECT_EQ(Int(table, "Id"), 7);  // set-key state shows the key buffer
  table.Cancel();
  EXPECT_EQ(Int(table, "Id"), 400);
}

TEST_F(Components, FilterTextAndCallbackFilters) {
  TTestTable& table = Opened("Suppliers");
  table.SetFilterText("Active = FALSE");
  table.SetFiltered(true);
  std::set<int64_t> inactive;
  for (table.First(); !table.Eof(); table.Next()) inactive.insert(Int(table, "Id"));
  EXPECT_EQ(inactive, (std::set<int64_t>{90, 180, 270, 360}));  // every ninth supplier

  table.SetFilterText("Notes is null or Rating >= 6");  // the third ones have no notes
  int rows = 0;
  for (table.First(); !table.Eof(); table.Next(), ++rows) EXPECT_EQ(Int(table, "Id") % 30, 0);
  EXPECT_EQ(rows, 13);

  table.SetFilterText("");
  table.SetOnFilterRecord([](TDataSet* dataSet, bool& accept) {
    accept = dataSet->FieldByName("Id")->AsInteger() > 380;
  });
  table.First();
  EXPECT_EQ(Int(table, "Id"), 390);
  table.SetFiltered(false);
  EXPECT_EQ(Int(table, "Id"), 10);
  EXPECT_TRUE(table.FindLast());  // the callback filter serves the search
  EXPECT_EQ(Int(table, "Id"), 400);
  EXPECT_THAT(ErrorOf([&] { table.SetFilterText("Nope = 1"); }),
              ::testing::HasSubstr("Field 'Nope' not found"));
}

TEST_F(Components, LocateAndLookupOnIndexedAndOtherFields) {
  TTestTable& table = Opened("Products");
  ASSERT_TRUE(table.Locate("Id", {int64_t{123}}, 0));  // the current index
  EXPECT_EQ(Text(table, "Code"), "P-000123");
  ASSERT_TRUE(table.Locate("Code", {std::string("p-000125")}, 0));  // no index in use: a filter
  EXPECT_EQ(Int(table, "Id"), 125);
  EXPECT_FALSE(table.Locate("Code", {std::string("P-999999")}, 0));
  EXPECT_EQ(Int(table, "Id"), 125);
  table.First();
  std::string name = Text(table, "Name");
  table.Last();
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  ASSERT_TRUE(table.Locate("Name", {name.substr(0, 4)}, loPartialKey | loCaseInsensitive));
  EXPECT_EQ(Int(table, "Id"), 1);

  const auto found = table.Lookup("Code", {std::string("P-000007")}, "Id;Code");
  EXPECT_EQ(found, (std::vector<TValue>{int64_t{7}, std::string("P-000007")}));
  EXPECT_EQ(Int(table, "Id"), 1);  // lookup does not move
  EXPECT_EQ(table.Lookup("Code", {std::string("none")}, "Id"), std::vector<TValue>{TValue{}});
  table.Next();
  EXPECT_EQ(Int(table, "Id"), 2);

  TTestTable& employees = Opened("Employees");
  employees.SwitchToIndex("1", "");  // LastName, FirstName without case
  employees.First();
  const std::string last = Text(employees, "LastName");
  employees.Last();
  ASSERT_TRUE(employees.Locate("LastName", {last.substr(0, 2)}, loPartialKey | loCaseInsensitive));
  EXPECT_EQ(Text(employees, "LastName"), last);
}

TEST_F(Components, EngineErrorsCarryTheirTexts) {
  TTestTable& table = Table("NoSuchTable");
  try {
    table.Open();
    FAIL() << "opened a missing table";
  } catch (const ETDBEngineError& e) {
    ASSERT_GE(e.ErrorCount(), 2);
    EXPECT_NE(e.ErrorCode(), 0);
    EXPECT_EQ(e.Errors(1).ErrorCode, e.ErrorCode());
    EXPECT_FALSE(e.Errors(1).Message.empty());
    const std::string message = e.what();
    EXPECT_NE(message.find("NoSuchTable"), std::string::npos) << message;
    // no line twice
    std::set<std::string> lines;
    std::size_t from = 0;
    for (std::size_t at; (at = message.find('\n', from)) != std::string::npos; from = at + 1)
      EXPECT_TRUE(lines.insert(message.substr(from, at - from)).second) << message;
  }
  EXPECT_FALSE(table.Active());
  EXPECT_EQ(table.Database(), nullptr);  // the failed open let go of the database
  EXPECT_EQ(ETDBEngineError(nullptr, 0x1234).what(),
            std::string("Vader Interface Error: ( 1234 )"));
}

TEST_F(Components, CachedUpdatesReachTheTableOnlyWhenApplied) {
  {
    TTestTable& table = Table("Customers");
    table.SetCachedUpdates(true);
    table.Open();
    const TValue original = table.FieldByName("Name")->Value();
    table.Edit();
    table.FieldByName("Name")->SetAsString("Cached Name");
    table.Post();
    EXPECT_EQ(table.UpdateStatus(), TUpdateStatus::usModified);
    EXPECT_EQ(table.FieldByName("Name")->OldValue(), original);
    table.Last();
    table.Delete();
    EXPECT_EQ(Int(table, "Id"), 399);

    TTestTable& other = Opened("Customers");  // the file itself is unchanged meanwhile
    EXPECT_NE(Text(other, "Name"), "Cached Name");
    other.Close();

    table.ApplyUpdates();
    table.Close();
  }
  TTestTable& applied = Opened("Customers");
  EXPECT_EQ(Text(applied, "Name"), "Cached Name");
  EXPECT_EQ(applied.RecordCount(), 399);
  applied.Close();

  TTestTable& cancelled = Table("Customers");
  cancelled.Open();
  cancelled.SetCachedUpdates(true);  // on an open dataset
  cancelled.Edit();
  cancelled.FieldByName("Name")->SetAsString("Dropped");
  cancelled.Post();
  cancelled.CancelUpdates();
  EXPECT_EQ(Text(cancelled, "Name"), "Cached Name");
  cancelled.SetCachedUpdates(false);
  cancelled.Close();
  TTestTable& check = Opened("Customers");
  EXPECT_EQ(Text(check, "Name"), "Cached Name");
  EXPECT_EQ(ErrorOf([&] { check.ApplyUpdates(); }), "Not in cached update mode");
}

TEST_F(Components, ARefusedCachedChangeIsReportedAndStaysCachedWhileTheOthersAreWritten) {
  TTestTable& table = Table("Customers");
  table.SetCachedUpdates(true);
  table.Open();
  table.Edit();
  table.FieldByName("Name")->SetAsString("Written Edit");
  table.Post();
  table.Insert();
  table.FieldByName("Id")->SetAsInteger(2);  // a key the file has
  table.FieldByName("Name")->SetAsString("Refused Insert");
  table.Post();

  EXPECT_THAT(ErrorOf([&] { table.ApplyUpdates(); }), ::testing::HasSubstr("Btrieve Status 5"));
  TTestTable& other = Opened("Customers");
  EXPECT_EQ(Text(other, "Name"), "Written Edit");
  EXPECT_EQ(other.RecordCount(), 400);
  other.Close();
  table.Last();  // the refused insert, still cached, to be corrected
  ASSERT_EQ(Text(table, "Name"), "Refused Insert");
  EXPECT_EQ(table.UpdateStatus(), TUpdateStatus::usInserted);
  table.Edit();
  table.FieldByName("Id")->SetAsInteger(9001);
  table.Post();
  table.ApplyUpdates();
  other.Open();
  EXPECT_EQ(other.RecordCount(), 401);
  EXPECT_TRUE(other.Locate("Name", {std::string("Refused Insert")}, 0));
}

TEST_F(Components, ARecordAnotherUserRemovedIsNeitherValidNorReplacedByItsNeighbour) {
  TTestTable& table = Table("Customers");
  table.Open();
  ASSERT_TRUE(table.Locate("Id", {int64_t{5}}, 0));
  const TBookmark five = table.GetBookmark();
  table.SetCachedUpdates(true);  // the row stays current
  ASSERT_EQ(Int(table, "Id"), 5);
  table.Delete();  // cached

  TTestTable& other = Opened("Customers");
  ASSERT_TRUE(other.Locate("Id", {int64_t{5}}, 0));
  other.Delete();
  EXPECT_FALSE(table.BookmarkValid(five));
  EXPECT_THAT(ErrorOf([&] { table.ApplyUpdates(); }),  // nothing left to delete: reported
              ::testing::HasSubstr("The record was deleted by another user."));
  other.Close();
  other.Open();
  EXPECT_EQ(other.RecordCount(), 399);
  EXPECT_TRUE(other.Locate("Id", {int64_t{6}}, 0));  // the neighbour is still there
  table.CancelUpdates();
  ASSERT_TRUE(table.Locate("Id", {int64_t{7}}, 0));
  table.SetCachedUpdates(false);
  EXPECT_EQ(Int(table, "Id"), 7);
}

}  // namespace
}  // namespace vader
