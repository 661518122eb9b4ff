// Databases over the keyed test tables: lookups of open cursors, operations on tables opened
// for the call, destruction with open cursors, properties and parameters.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/BseDbase.h"
#include "engine/BseStmt.h"
#include "engine/KeyedTestTable.h"

namespace vader::test {
namespace {

class DatabaseTest : public ::testing::Test {
 protected:
  TBaseTable* Open(const char* name) {
    TBaseTable* cursor = nullptr;
    db_.OpenTable(name, nullptr, nullptr, nullptr, 0, kOpenReadWrite, kShareShared, 0, false,
                  nullptr, cursor);
    return cursor;
  }
  TBaseTable* Find(const char* name) {
    TBaseTable* cursor = nullptr;
    db_.FindOpenTableByName(name, cursor);
    return cursor;
  }

  TestDatabase db_;
};

TEST_F(DatabaseTest, OpenCursorsAreFoundByFileNameForPathsAndByTableNameOtherwise) {
  TBaseTable* first = Open("PEOPLE");
  Open("people");
  TBaseTable* orders = Open("ORDERS");
  // A cursor without a physical file name is never the answer.
  auto* scratch = TBaseTable::Create<KeyedTestTable>(&db_, &db_.Tables(), "SCRATCH");

  EXPECT_EQ(Find("People"), first);  // the first registered of two
  EXPECT_EQ(Find("/DATA/people.dat"), first);
  EXPECT_EQ(Find("ORDERS;OWNER:boss"), orders);
  // A path is compared with file names only, a bare name with table names only.
  EXPECT_EQ(ErrorCode([&] { Find("PEOPLE.DAT"); }), DBIERR_NOSUCHTABLE);
  EXPECT_EQ(ErrorCode([&] { Find("/data/orders"); }), DBIERR_NOSUCHTABLE);
  EXPECT_EQ(ErrorCode([&] { Find(scratch->GetTableName()); }), DBIERR_NOSUCHTABLE);

  uint32_t count = 0;
  db_.GetTableOpenCount("people", nullptr, count);
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(ErrorCode([&] { db_.GetTableOpenCount("INVOICES", nullptr, count); }),
            DBIERR_NOSUCHTABLE);

  db_.tableNames = {"ORDERS", "People"};
  bool exists = false;
  db_.TableExists("PEOPLE", exists);
  EXPECT_TRUE(exists);
  db_.TableExists("INVOICES", exists);
  EXPECT_FALSE(exists);
  EXPECT_EQ(db_.Tables().Count(), 4);  // the table lists are gone again
}

TEST_F(DatabaseTest, TablesOpenedForOneOperationAreFreedWhateverTheOutcome) {
  IndexDesc index{};
  index.IndexId = 3;
  // The fixture's cursors cannot add or delete indexes.
  EXPECT_EQ(ErrorCode([&] { db_.AddIndex(nullptr, "PEOPLE", nullptr, index, nullptr); }),
            DBIERR_NOTSUPPORTED);
  EXPECT_EQ(ErrorCode([&] { db_.DeleteIndex(nullptr, "PEOPLE", nullptr, "ByName", nullptr, 2); }),
            DBIERR_NOTSUPPORTED);
  db_.EmptyTable(nullptr, "PEOPLE", nullptr);
  EXPECT_EQ(db_.Tables().Count(), 0);
  ASSERT_EQ(db_.opens.size(), 3u);
  for (const auto& open : db_.opens) {
    EXPECT_EQ(open.openMode, kOpenReadWrite);
    EXPECT_EQ(open.shareMode, kShareExclusive);
    EXPECT_TRUE(open.uniDirectional);
  }
  EXPECT_EQ(db_.opens[0].indexId, 3);
  EXPECT_EQ(db_.opens[1].indexId, 2);
  EXPECT_EQ(db_.opens[2].indexId, 0);

  // An open that fails half way hands back its cursor, which is freed too.
  db_.failingOpens = {"BROKEN"};
  TBaseTable* list = nullptr;
  EXPECT_EQ(ErrorCode([&] { db_.OpenIndexList("BROKEN", nullptr, list); }), DBIERR_NOSUCHTABLE);
  EXPECT_EQ(ErrorCode([&] { db_.EmptyTable(nullptr, "BROKEN", nullptr); }), DBIERR_NOSUCHTABLE);
  EXPECT_EQ(db_.Tables().Count(), 0);

  // A table that is not open is opened read-only and shared for its index list; only the list
  // stays.
  db_.OpenIndexList("PEOPLE", nullptr, list);
  EXPECT_EQ(db_.opens.back().openMode, kOpenReadOnly);
  EXPECT_EQ(db_.opens.back().shareMode, kShareShared);
  ASSERT_EQ(db_.Tables().Count(), 1);
  IndexDesc listed{};
  list->GetNextRecord(dbiNOLOCK, reinterpret_cast<uint8_t*>(&listed), nullptr);
  EXPECT_STREQ(listed.IndexName, "ById");
  EXPECT_EQ(ErrorCode([&] { list->GetNextRecord(dbiNOLOCK, nullptr, nullptr); }), DBIERR_EOF);

  // An open cursor answers itself.
  TBaseTable* people = Open("PEOPLE");
  const size_t opens = db_.opens.size();
  db_.OpenIndexList("PEOPLE;OWNER:x", nullptr, list);
  EXPECT_EQ(db_.opens.size(), opens);
  EXPECT_EQ(list->Owner(), &db_);
  people->CloseCursor();  // a closed cursor does not count
  db_.OpenIndexList("PEOPLE", nullptr, list);
  EXPECT_EQ(db_.opens.size(), opens + 1);
}

// Notes, when it is destroyed, how many databases its database's collection still holds.
class LoggedTable : public KeyedTestTable {
 public:
  LoggedTable(TBapiListItem* owner, TVaderCollection* collection, std::vector<int>* log)
      : KeyedTestTable(owner, collection), log_(log) {}
  ~LoggedTable() override { log_->push_back(Owner()->Collection()->Count()); }

 private:
  std::vector<int>* log_;
};

TEST(Database, DestroyingADatabaseDestroysItsCursorsBeforeItLeavesItsSession) {
  TVaderCollection databases;
  std::vector<int> log;
  auto* db = new TestDatabase(nullptr, &databases);
  TBaseTable::Create<LoggedTable>(db, &db->Tables(), &log);
  TBaseTable::Create<LoggedTable>(db, &db->Tables(), &log);
  delete db;
  EXPECT_EQ(log, (std::vector<int>{1, 1}));
  EXPECT_EQ(databases.Count(), 0);
}

TEST(Database, PropertiesParametersAndUnsupportedOperations) {
  FieldDesc params[2] = {};
  std::strcpy(params[0].FieldName, "user name");
  std::strcpy(params[1].FieldName, "PASSWORD");
  params[1].FieldOffset = 8;
  const char values[] = "alice\0\0\0secret";
  const std::string longPassword(40, 'p');
  std::unique_ptr<TestDatabase> db(TBaseDatabase::Create<TestDatabase>(
      nullptr, nullptr, nullptr, kOpenReadOnly, kShareExclusive, longPassword.c_str(), 2, params,
      values));
  EXPECT_STREQ(db->UserName(), "alice");
  EXPECT_EQ(std::string(db->Password()), longPassword.substr(0, 31));
  EXPECT_EQ(db->OpenMode(), kOpenReadOnly);

  char text[8] = "xxxxxxx";
  uint16_t len = 0;
  db->GetProp(0x00050002, text, 3, len);
  EXPECT_EQ(std::string(text, 4), "STAx");
  EXPECT_EQ(len, 4);
  uint16_t level = 0;
  db->GetProp(0, &level, sizeof level, len);
  EXPECT_EQ(level, 27);
  EXPECT_EQ(ErrorCode([&] { db->CheckProp(2, true); }), DBIERR_NOTSUPPORTED);

  TBaseTable* cursor = nullptr;
  EXPECT_EQ(ErrorCode([&] { db->Reserved22("PEOPLE", nullptr, cursor); }), DBIERR_NOTSUPPORTED);
  EXPECT_EQ(ErrorCode([&] { db->QExecDirect(qrylangSQL, "SELECT 1", &cursor); }),
            DBIERR_NOTSUPPORTED);
  EXPECT_EQ(ErrorCode([&] { db->Connect(); }), DBIERR_NOTSUPPORTED);

  EXPECT_EQ(ErrorCode([&] { db->CreateInMemTable("MEM", 0, params, cursor); }),
            DBIERR_INVALIDPARAM);
  params[0].FieldType = fldZSTRING;
  params[0].FieldUnits1 = 31;
  db->CreateInMemTable("MEM", 1, params, cursor);
  EXPECT_EQ(cursor->GetRecordSize(), 32u);
  EXPECT_EQ(cursor->State(), TCursorState::Unpositioned);  // ready to be filled and read
  EXPECT_EQ(db->Tables().IndexOf(cursor), 0);
}

// A statement that records what the driver would be asked.
class ProbeStmt : public TSqlStmt {
 public:
  ProbeStmt(TBapiListItem* owner, TVaderCollection* collection, const char* sql, uint16_t language)
      : TSqlStmt(owner, collection, sql, language) {}
  void Allocate() override { allocatedText = SqlText() ? SqlText() : "(none)"; }
  void SetParams(uint16_t, const FieldDesc*, const void*) override {}
  void Execute(TBaseTable**) override {}
  void SetProcParams(uint16_t, const FieldDesc*, const void*) override {}
  std::string allocatedText;
};

TEST(SqlStmt, TextIsStoredInTheOemSetBeforeAllocationAndOptionsRoundTrip) {
  TVaderCollection statements;
  auto* stmt = CreateItem<ProbeStmt>(nullptr, &statements, "SELECT 'caf\xE9'", qrylangSQL);
  EXPECT_EQ(stmt->allocatedText, "SELECT 'caf\x82'");  // code page 437
  stmt->SetProp(0x10010, 7);
  int32_t option = 0;
  uint16_t len = 0;
  stmt->GetProp(16, &option, sizeof option, len);
  EXPECT_EQ(option, 7);
  EXPECT_EQ(ErrorCode([&] { stmt->CheckProp(19, true); }), DBIERR_NOTSUPPORTED);
  delete stmt;
  EXPECT_EQ(statements.Count(), 0);
}

}  // namespace
}  // namespace vader::test
