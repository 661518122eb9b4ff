// The engine call layer over the Btrieve driver on a copy of the sample database: a whole
// database-to-records round trip through statuses, and the name and session rules against the
// real session class.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "btrieve/DatabaseSupport.h"
#include "engine/BseEng.h"

namespace vader {
namespace {

// The engine's own session takes the place of the fixture's.
struct CallLayerBtrieve : testing::BtrDatabaseTest {
  void SetUp() override {
    BtrDatabaseTest::SetUp();
    session_.reset();
    engine = std::make_unique<TVirtEng>(ClassOf<TBtrSession>());
    ASSERT_EQ(engine->InitStatus(), 0);
  }
  void TearDown() override {
    engine.reset();
    BtrDatabaseTest::TearDown();
  }

  TBaseTable* Open(TBaseDatabase* database, const char* name, uint16_t* status = nullptr) {
    TBaseTable* cursor = nullptr;
    uint16_t s = engine->OpenTable(database, name, nullptr, nullptr, nullptr, 0, kOpenReadOnly,
                                   kShareShared, 0, false, nullptr, cursor);
    if (status) *status = s;
    return cursor;
  }
  uint16_t Entry1() {
    int32_t native = 0;
    char text[kErrorTextSize] = {};
    return engine->GetErrorEntry(1, native, text);
  }

  const std::string& db = sample_;
  std::unique_ptr<TVirtEng> engine;
};

TEST_F(CallLayerBtrieve, ReadsEveryCustomerAndClosesThroughStatuses) {
  TBaseDatabase* database = nullptr;
  ASSERT_EQ(engine->OpenDatabase(db.c_str(), nullptr, kOpenReadOnly, kShareShared, nullptr, 0,
                                 nullptr, nullptr, database),
            0);
  uint16_t status = 0;
  EXPECT_EQ(Open(database, "NoSuchTable", &status), nullptr);
  const uint16_t openFailure = status;
  EXPECT_NE(openFailure, 0);
  TBaseTable* cursor = Open(database, "Customers", &status);
  ASSERT_EQ(status, 0);

  CursorProps props{};
  ASSERT_EQ(engine->GetCursorProps(cursor, props), 0);
  const uint16_t fieldCount = props.FieldCount;  // copied: packed members do not bind
  ASSERT_EQ(fieldCount, 10);
  std::vector<FieldDesc> descs(fieldCount);
  ASSERT_EQ(engine->GetFieldDescs(cursor, descs.data()), 0);
  std::vector<uint8_t> record(props.RecBufSize);
  int rows = 0;
  int32_t lastId = 0;
  bool ordered = true;
  while ((status = engine->GetNextRecord(cursor, dbiNOLOCK, record.data(), nullptr)) == 0) {
    ++rows;
    for (const FieldDesc& d : descs) {
      uint8_t value[1024] = {};
      bool blank = true;
      ASSERT_EQ(engine->GetField(cursor, d.FieldNumber, record.data(), value, blank), 0);
      if (d.FieldNumber != 1) continue;
      int32_t id = 0;
      std::memcpy(&id, value, sizeof id);
      ordered = ordered && id > lastId;
      lastId = id;
    }
    // The failed open stays readable while the reads succeed.
    if (rows == 1) {
      EXPECT_EQ(Entry1(), openFailure);
    }
  }
  EXPECT_EQ(status, DBIERR_EOF);
  EXPECT_EQ(rows, 400);
  EXPECT_TRUE(ordered);
  EXPECT_EQ(lastId, 400);

  ASSERT_EQ(engine->SetToBegin(cursor), 0);
  EXPECT_EQ(engine->GetPriorRecord(cursor, dbiNOLOCK, record.data(), nullptr), DBIERR_BOF);
  uint32_t count = 0;
  ASSERT_EQ(engine->GetRecordCount(cursor, count), 0);
  EXPECT_EQ(count, 400u);

  EXPECT_EQ(engine->CloseCursor(cursor), 0);
  EXPECT_EQ(engine->CloseDatabase(database), 0);
  EXPECT_EQ(engine->CloseSession(engine->CurrentSession()), DBIERR_INVALIDHNDL);
  EXPECT_EQ(engine->Sessions().Count(), 0);
  EXPECT_EQ(engine->CurrentSession(), nullptr);
}

TEST_F(CallLayerBtrieve, ServerPrefixedPathsOpenTheDirectory) {
  const std::string prefixed = "[SERVER]:" + db;
  TBaseDatabase* database = nullptr;
  ASSERT_EQ(engine->OpenDatabase(prefixed.c_str(), nullptr, kOpenReadOnly, kShareShared, nullptr, 0,
                                 nullptr, nullptr, database),
            0);
  EXPECT_NE(Open(database, "Products"), nullptr);

  FieldDesc param{};
  std::strcpy(param.FieldName, "PATH");
  std::vector<char> value(prefixed.begin(), prefixed.end());
  value.push_back('\0');
  ASSERT_EQ(engine->OpenDatabase(nullptr, nullptr, kOpenReadOnly, kShareShared, nullptr, 1, &param,
                                 value.data(), database),
            0);
  EXPECT_EQ(std::string(value.data()), db);
  TBaseTable* orders = Open(database, "Orders");
  ASSERT_NE(orders, nullptr);
  uint32_t count = 0;
  ASSERT_EQ(engine->GetRecordCount(orders, count), 0);
  EXPECT_EQ(count, 1500u);

  // A second session gets its own client; closing it leaves the first one current.
  TBaseSession* first = engine->CurrentSession();
  TBaseSession* second = nullptr;
  ASSERT_EQ(engine->StartSession("Second", second, nullptr), 0);
  EXPECT_EQ(engine->CloseSession(second), 0);
  EXPECT_EQ(engine->CurrentSession(), first);
  EXPECT_EQ(engine->GetRecordCount(orders, count), 0);
}

}  // namespace
}  // namespace vader
