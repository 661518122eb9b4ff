// The engine call layer over a test session whose databases open keyed test tables: statuses,
// the error stack, the current objects, sessions, the database name rule, properties and cached
// updates.

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/BseCache.h"
#include "engine/BseEng.h"
#include "engine/KeyedTestTable.h"

namespace vader {
namespace {

using test::IdOf;
using test::KeyedTestTable;
using test::MakeRecord;
using test::Person;

// A keyed table whose backward moves report the end, and whose field reads can fail with an
// error that is not the engine's.
class OddTable : public KeyedTestTable {
 public:
  using KeyedTestTable::KeyedTestTable;
  void GetPriorRecord(TLockType, uint8_t*, RecordProps*) override { RaiseEOF(); }
  void GetField(uint16_t n, uint8_t* record, void* dest, bool& blank) override {
    if (n == 99) throw ERangeError("field 99");
    KeyedTestTable::GetField(n, record, dest, blank);
  }
};

// Tables PEOPLE (ids 1 to 5) and ODD; other names raise NOSUCHTABLE.
class PeopleDatabase : public test::TestDatabase {
 public:
  using TestDatabase::TestDatabase;
  void OpenTable(const char* name, const char*, const char*, const char*, uint16_t,
                 uint32_t openMode, uint32_t shareMode, uint32_t, bool, const void*,
                 TBaseTable*& cursor) override {
    if (std::strcmp(name, "ODD") == 0) {
      cursor = TBaseTable::Create<OddTable>(this, &Tables(), name, openMode, shareMode);
      return;
    }
    if (std::strcmp(name, "PEOPLE") != 0) RaiseEngineErrorContext(DBIERR_NOSUCHTABLE, name);
    auto* table = TBaseTable::Create<KeyedTestTable>(this, &Tables(), name, openMode, shareMode);
    table->PutIds({1, 2, 3, 4, 5});
    cursor = table;
  }
};

class TestSession : public TBaseSession {
 public:
  using TBaseSession::TBaseSession;
  void InitRegistryRoot() override {}
  void CreateDatabase(const DatabaseDesc& desc, uint32_t openMode, uint32_t shareMode,
                      const char* password, uint16_t optCount, const FieldDesc* optDescs,
                      const void* optParams, TBaseDatabase*& database) override {
    database = TBaseDatabase::Create<PeopleDatabase>(this, &Databases(), &desc, openMode, shareMode,
                                                     password, optCount, optDescs, optParams);
  }
};

struct CallLayerTest : ::testing::Test {
  TVirtEng engine{ClassOf<TestSession>()};

  TBaseDatabase* OpenDb(const char* name = "\\DATA\\PEOPLE") {
    TBaseDatabase* db = nullptr;
    EXPECT_EQ(engine.OpenDatabase(name, nullptr, 0, 0, nullptr, 0, nullptr, nullptr, db), 0);
    return db;
  }
  TBaseTable* Open(TBaseDatabase* db, const char* table = "PEOPLE") {
    TBaseTable* cursor = nullptr;
    EXPECT_EQ(
        engine.OpenTable(db, table, nullptr, nullptr, nullptr, 0, 0, 0, 0, false, nullptr, cursor),
        0);
    return cursor;
  }
  uint16_t Entry1(std::string* text = nullptr) {
    int32_t native = 0;
    char buffer[kErrorTextSize] = {};
    uint16_t code = engine.GetErrorEntry(1, native, buffer);
    if (text) *text = buffer;
    return code;
  }
};

TEST_F(CallLayerTest, ReadsATableThroughStatusesOnly) {
  EXPECT_EQ(engine.InitStatus(), 0);
  ASSERT_NE(engine.CurrentSession(), nullptr);
  EXPECT_EQ(engine.CurrentDatabase(), &engine);

  TBaseDatabase* db = OpenDb();
  ASSERT_NE(db, nullptr);
  EXPECT_STREQ(db->Desc().PhysicalPath, "\\DATA\\PEOPLE\\");
  EXPECT_EQ(engine.CurrentDatabase(), db);
  TBaseTable* cursor = Open(db);
  ASSERT_NE(cursor, nullptr);

  CursorProps props{};
  ASSERT_EQ(engine.GetCursorProps(cursor, props), 0);
  std::vector<FieldDesc> descs(props.FieldCount);
  ASSERT_EQ(engine.GetFieldDescs(cursor, descs.data()), 0);
  std::vector<uint8_t> record(props.RecBufSize);
  std::vector<int32_t> ids;
  uint16_t status;
  while ((status = engine.GetNextRecord(cursor, dbiNOLOCK, record.data(), nullptr)) == 0) {
    for (const FieldDesc& d : descs) {
      uint8_t value[64] = {};
      bool blank = false;
      ASSERT_EQ(engine.GetField(cursor, d.FieldNumber, record.data(), value, blank), 0);
      if (d.FieldNumber == test::kId) ids.push_back(IdOf(value));
    }
  }
  EXPECT_EQ(status, DBIERR_EOF);
  EXPECT_EQ(ids, (std::vector<int32_t>{1, 2, 3, 4, 5}));
  EXPECT_EQ(Entry1(), DBIERR_EOF);

  // Backward past the first record is the beginning, however the cursor reports it.
  ASSERT_EQ(engine.SetToBegin(cursor), 0);
  EXPECT_EQ(engine.GetPriorRecord(cursor, dbiNOLOCK, record.data(), nullptr), DBIERR_BOF);
  EXPECT_EQ(Entry1(), DBIERR_BOF);
  TBaseTable* odd = Open(db, "ODD");
  EXPECT_EQ(engine.GetPriorRecord(odd, dbiNOLOCK, record.data(), nullptr), DBIERR_BOF);
  EXPECT_EQ(Entry1(), DBIERR_EOF);

  uint32_t count = 0;
  EXPECT_EQ(engine.GetRecordCount(cursor, count), 0);
  EXPECT_EQ(count, 5u);
  EXPECT_EQ(engine.CloseCursor(cursor), 0);
  EXPECT_EQ(db->Tables().Count(), 1);
  EXPECT_EQ(engine.CloseDatabase(db), 0);
  EXPECT_EQ(db, nullptr);
  EXPECT_EQ(engine.CurrentDatabase(), nullptr);
}

TEST_F(CallLayerTest, KeepsTheLastEngineErrorAndLetsOtherExceptionsThrough) {
  TBaseDatabase* db = OpenDb();
  TBaseTable* cursor = nullptr;
  EXPECT_EQ(engine.OpenTable(db, "MISSING", nullptr, nullptr, nullptr, 0, 0, 0, 0, false, nullptr,
                             cursor),
            DBIERR_NOSUCHTABLE);
  EXPECT_EQ(cursor, nullptr);
  cursor = Open(db);
  std::vector<uint8_t> record(test::kKeyedRecordSize);
  ASSERT_EQ(engine.GetNextRecord(cursor, dbiNOLOCK, record.data(), nullptr), 0);
  // Successes leave the failure readable, with its context.
  std::string text;
  EXPECT_EQ(Entry1(&text), DBIERR_NOSUCHTABLE);
  EXPECT_NE(text.find("DBIERR_NOSUCHTABLE"), std::string::npos);
  EXPECT_NE(text.find("MISSING"), std::string::npos);
  char buffer[kErrorTextSize] = {};
  EXPECT_EQ(engine.GetErrorString(DBIERR_NOSUCHTABLE, buffer), 0);
  EXPECT_EQ(std::string(buffer), text);
  EXPECT_EQ(engine.GetErrorString(DBIERR_EOF, buffer), DBIERR_EOF);

  // The next failure replaces it.
  EXPECT_EQ(engine.OpenVchkList(db, "PEOPLE", nullptr, cursor), DBIERR_NOTSUPPORTED);
  EXPECT_EQ(engine.ErrorStack().Count(), 1);
  EXPECT_EQ(Entry1(), DBIERR_NOTSUPPORTED);

  // A missing handle is a status for guarded operations and an exception for the others.
  bool blank = false;
  EXPECT_EQ(engine.GetField(nullptr, 1, record.data(), record.data(), blank), DBIERR_INVALIDHNDL);
  EXPECT_EQ(engine.SetDirectory(nullptr, "\\X"), DBIERR_INVALIDHNDL);
  EXPECT_THROW(engine.SetToBegin(nullptr), EVaderEngineError);

  // Errors that are not the engine's pass through and leave the stack alone.
  TBaseTable* odd = Open(db, "ODD");
  EXPECT_THROW(engine.GetField(odd, 99, record.data(), record.data(), blank), ERangeError);
  EXPECT_EQ(Entry1(), DBIERR_INVALIDHNDL);
}

TEST_F(CallLayerTest, SessionsAndTheCurrentSession) {
  TBaseSession* first = engine.CurrentSession();
  TBaseSession* second = nullptr;
  ASSERT_EQ(engine.StartSession("Second", second, "\\NET"), 0);
  EXPECT_EQ(engine.CurrentSession(), second);
  EXPECT_STREQ(second->SessionName(), "Second");
  EXPECT_STREQ(second->NetDir(), "\\NET");
  EXPECT_EQ(second->Owner(), &engine);

  SessionInfo info{};
  ASSERT_EQ(engine.GetSesInfo(info), 0);
  EXPECT_STREQ(info.SessionName, "Second");
  ASSERT_EQ(engine.SetCurrSession(first), 0);
  EXPECT_EQ(engine.SetCurrSession(nullptr), DBIERR_INVALIDHNDL);
  EXPECT_EQ(engine.CurrentSession(), first);
  ASSERT_EQ(engine.SetPrivateDir("\\PRIV"), 0);
  EXPECT_STREQ(first->PrivateDir(), "\\PRIV");

  // Closing a session forgets the current objects under it.
  ASSERT_EQ(engine.SetCurrSession(second), 0);
  TBaseTable* cursor = Open(OpenDb());
  uint8_t bookmark[256] = {};
  engine.GetBookMark(cursor, bookmark);  // recorded even though it fails off a record
  EXPECT_EQ(engine.CurrentCursor(), cursor);
  ASSERT_EQ(engine.CloseSession(second), 0);
  EXPECT_EQ(engine.CurrentSession(), first);
  EXPECT_EQ(engine.CurrentCursor(), nullptr);
  EXPECT_EQ(engine.CurrentDatabase(), nullptr);

  // The last session goes, and with it every session-level service but SetPrivateDir.
  EXPECT_EQ(engine.CloseSession(first), DBIERR_INVALIDHNDL);
  EXPECT_EQ(engine.Sessions().Count(), 0);
  TBaseSession* current = first;
  EXPECT_EQ(engine.GetCurrSession(current), 0);
  EXPECT_EQ(current, nullptr);
  EXPECT_EQ(engine.GetSesInfo(info), DBIERR_INVALIDHNDL);
  TBaseDatabase* db = nullptr;
  EXPECT_EQ(engine.OpenDatabase("\\X", nullptr, 0, 0, nullptr, 0, nullptr, nullptr, db),
            DBIERR_INVALIDHNDL);
  EXPECT_EQ(engine.SetPrivateDir("\\PRIV"), 0);
  ASSERT_EQ(engine.StartSession(nullptr, current, nullptr), 0);
  EXPECT_EQ(engine.CurrentSession(), current);

  // Without a session class nothing starts, and the constructor keeps the status.
  TVirtEng none(nullptr);
  EXPECT_EQ(none.InitStatus(), DBIERR_INVALIDPARAM);
  EXPECT_EQ(none.CurrentSession(), nullptr);
  EXPECT_EQ(none.Sessions().Count(), 0);
}

TEST(ServerPrefix, RemovesTheBracketedNameAndTheCharacterAfterIt) {
  EXPECT_EQ(RemoveServerPrefix("[SRV]:\\DATA"), "\\DATA");
  EXPECT_EQ(RemoveServerPrefix("X[SRV]:\\DATA"), "X\\DATA");
  EXPECT_EQ(RemoveServerPrefix("[SRV]"), "");
  EXPECT_EQ(RemoveServerPrefix("\\DATA]x[SRV"), "\\DATA]x[SRV");
  EXPECT_EQ(RemoveServerPrefix("C:\\DATA"), "C:\\DATA");
}

TEST_F(CallLayerTest, OpenDatabaseNameComesFromTheNameOrThePathParameter) {
  TBaseDatabase* db = OpenDb("[SRV]:\\DATA\\A");
  EXPECT_STREQ(db->Desc().PhysicalPath, "\\DATA\\A\\");

  // Neither name nor type: the "PATH" parameter, whose value is rewritten in place.
  FieldDesc descs[2] = {};
  std::strcpy(descs[0].FieldName, "USER NAME");
  std::strcpy(descs[1].FieldName, "path");
  descs[1].FieldOffset = 16;
  char params[64] = "Boss";
  std::strcpy(params + 16, "[SRV]:\\DATA\\B");
  ASSERT_EQ(engine.OpenDatabase(nullptr, nullptr, 0, 0, nullptr, 2, descs, params, db), 0);
  EXPECT_STREQ(params + 16, "\\DATA\\B");
  EXPECT_STREQ(db->Desc().PhysicalPath, "\\DATA\\B\\");
  EXPECT_STREQ(db->UserName(), "Boss");

  // Configuration paths lose the server name too.
  TBaseTable* list = nullptr;
  ASSERT_EQ(engine.OpenCfgInfoList(nullptr, 0, 0, "\\DATABASES\\[SRV]:C:\\DB\\DB OPEN", list), 0);
  CursorProps props{};
  ASSERT_EQ(engine.GetCursorProps(list, props), 0);
  std::vector<uint8_t> row(props.RecBufSize);
  char value[128] = {};
  bool blank = true;
  ASSERT_EQ(engine.GetNextRecord(list, dbiNOLOCK, row.data(), nullptr), 0);
  ASSERT_EQ(engine.GetField(list, 4, row.data(), value, blank), 0);
  EXPECT_STREQ(value, "C:\\DB");

  // No such parameter: an empty name, which is no known alias.
  EXPECT_EQ(engine.OpenDatabase(nullptr, nullptr, 0, 0, nullptr, 1, descs, params, db),
            DBIERR_UNKNOWNDB);
  EXPECT_EQ(db, nullptr);
}

TEST_F(CallLayerTest, PropertiesObjectsAndUnavailableServices) {
  uint16_t len = 7;
  int32_t value = 0;
  EXPECT_EQ(engine.GetProp(nullptr, kEngineProperty, &value, 4, len), DBIERR_INVALIDPARAM);
  EXPECT_EQ(len, 0);
  EXPECT_EQ(engine.SetProp(nullptr, kEngineProperty, 1), DBIERR_INVALIDPARAM);
  EXPECT_FALSE(engine.ErrorStack().HasEntries());

  ASSERT_EQ(engine.SetProp(&engine, kEngineProperty, 0x12345678), 0);
  ASSERT_EQ(engine.GetProp(&engine, kEngineProperty, &value, 4, len), 0);
  EXPECT_EQ(value, 0x12345678);
  EXPECT_EQ(len, 4);
  // Only the full number names it.
  EXPECT_EQ(engine.GetProp(&engine, 0x00070002, &value, 4, len), DBIERR_NOTSUPPORTED);
  EXPECT_EQ(engine.GetProp(&engine, kEngineProperty, &value, 3, len), DBIERR_INVALIDPARAM);

  TBaseDatabase* db = OpenDb();
  TBapiListItem* object = nullptr;
  EXPECT_EQ(engine.GetObjFromObj(db, objOWNER, object), 0);
  EXPECT_EQ(object, engine.CurrentSession());
  EXPECT_EQ(engine.GetObjFromObj(db, 4, object), DBIERR_INVALIDPARAM);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(engine.GetObjFromObj(nullptr, objOWNER, object), DBIERR_INVALIDPARAM);

  EXPECT_EQ(engine.RegisterDatasetCallback(0, nullptr), DBIERR_NA);
  EXPECT_EQ(engine.UnregisterDatasetCallback(), DBIERR_NA);
  EXPECT_EQ(engine.RegisterCallBack(nullptr, 0, 0, 0, nullptr, nullptr), DBIERR_NOTSUPPORTED);

  char ansi[4] = {};
  uint32_t loss = 1;
  ASSERT_EQ(engine.NativeToAnsi(nullptr, ansi, "\x81", 1, loss), 0);
  EXPECT_EQ(std::string(ansi), "\xFC");  // u umlaut, code page 437 to Windows-1252
  EXPECT_EQ(loss, 0u);
}

TEST_F(CallLayerTest, CachedUpdatesReachTheSourceWhenApplied) {
  TBaseTable* source = Open(OpenDb());
  TBaseTable* cursor = source;
  ASSERT_EQ(engine.BeginDelayedUpdates(cursor), 0);
  ASSERT_NE(cursor, source);
  std::vector<uint8_t> bookmark(512);
  engine.GetBookMark(cursor, bookmark.data());
  EXPECT_EQ(engine.CurrentCursor(), cursor);
  EXPECT_EQ(engine.BeginDelayedUpdates(cursor), DBIERR_NOTSUPPORTED);

  auto record = MakeRecord(Person{.id = 9, .name = "Nine"});
  ASSERT_EQ(engine.InsertRecord(cursor, dbiNOLOCK, record.data()), 0);
  EXPECT_EQ(static_cast<KeyedTestTable*>(source)->RowCount(), 5u);
  ASSERT_EQ(engine.ApplyDelayedUpdates(cursor, dbiDelayedUpdPrepare), 0);
  ASSERT_EQ(engine.ApplyDelayedUpdates(cursor, dbiDelayedUpdCommit), 0);
  EXPECT_EQ(static_cast<KeyedTestTable*>(source)->RowCount(), 6u);

  // The caching cursor is gone; the call layer remembers the one it cached.
  ASSERT_EQ(engine.EndDelayedUpdates(cursor), 0);
  EXPECT_EQ(cursor, source);
  EXPECT_EQ(engine.CurrentCursor(), source);
  EXPECT_EQ(engine.ApplyDelayedUpdates(cursor, dbiDelayedUpdCommit), DBIERR_NOTSUPPORTED);
}

}  // namespace
}  // namespace vader
