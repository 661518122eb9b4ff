// The integrity check against files whose index tables were damaged behind the record
// manager's back (the storage is SQLite: table "records" and one table "key<N>" per key).

#include <gtest/gtest.h>
#include <sqlite3.h>

#include "common/TempDir.h"
#include "tools/Description.h"
#include "tools/IntegrityCheck.h"
#include "tools/NativeTypes.h"
#include "tools/Records.h"

namespace vader::tools {
namespace {

class CheckTest : public ::testing::Test {
 protected:
  // Key 0 unique integer id; key 1 case-insensitive name with duplicates; key 2 a null key.
  void SetUp() override {
    path_ = dir_.File("people.btr");
    CreateFromDef(path_,
                  ParseDescription("file record=28\n"
                                   "key\nsegment position=1 length=4 type=integer\n"
                                   "key duplicates\nsegment position=5 length=20 nocase\n"
                                   "key duplicates null=all\n"
                                   "segment position=25 length=4 type=integer\n"),
                  true);
    BtrFile file(path_);
    for (int i = 1; i <= 20; ++i) {
      Bytes r = Person(i, i % 3 ? "Name" + std::to_string(i % 5) : "name1", i % 4 ? i : 0);
      file.Insert(r);
    }
  }

  static Bytes Person(int id, const std::string& name, int group) {
    Bytes r(28, ' ');
    WriteLe(r, 0, 4, static_cast<uint32_t>(id));
    r.replace(4, name.size(), name);
    WriteLe(r, 24, 4, static_cast<uint32_t>(group));
    return r;
  }

  void Sql(const std::string& statement) {
    sqlite3* db = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open(path_.c_str(), &db));
    char* error = nullptr;
    EXPECT_EQ(SQLITE_OK, sqlite3_exec(db, statement.c_str(), nullptr, nullptr, &error))
        << (error ? error : "");
    sqlite3_free(error);
    sqlite3_close(db);
  }

  // A second entry in duplicate key `key` with the key value of record `from` and another
  // last sequence byte, pointing at record `pos`.
  static std::string Entry(int key, int from, const std::string& lastByte, int pos) {
    const std::string table = "key" + std::to_string(key);
    return "INSERT INTO " + table + "(k, pos) SELECT substr(k, 1, length(k) - 1) || x'" + lastByte +
           "', " + std::to_string(pos) + " FROM " + table + " WHERE pos = " + std::to_string(from) +
           ";";
  }

  std::string Problems() {
    const CheckReport report = CheckFile(path_);
    std::string all;
    for (const std::string& p : report.problems) all += p + "\n";
    return all;
  }

  testing::TempDir dir_;
  std::string path_;
};

TEST_F(CheckTest, SoundFileHasNoProblems) {
  const CheckReport report = CheckFile(path_);
  EXPECT_TRUE(report.Ok()) << Problems();
  EXPECT_EQ(20u, report.records);
  EXPECT_EQ(3u, report.keys);
}

TEST_F(CheckTest, MissingEntryIsFound) {
  Sql("DELETE FROM key1 WHERE pos = 4;");
  const std::string problems = Problems();
  EXPECT_NE(problems.find("key 1: record at position 4 is missing from the index"),
            std::string::npos)
      << problems;
  EXPECT_EQ(std::string::npos, problems.find("key 0:")) << problems;
}

TEST_F(CheckTest, EntryForAVanishedRecordIsFound) {
  // Key 0 gets the value 99 (the last byte of the encoded id of record 20 changed), filed under
  // a position that holds no record.
  Sql("INSERT INTO key0(k, pos) SELECT substr(k, 1, length(k) - 1) || x'63', 999 FROM key0 "
      "WHERE pos = 20;");
  const std::string problems = Problems();
  EXPECT_NE(problems.find("key 0: walking the key path stopped"), std::string::npos) << problems;
}

TEST_F(CheckTest, RecordChangedUnderItsIndexIsOutOfPlace) {
  // Record 6's id becomes 60 in the record, but key 0 still files it under 6.
  Sql("UPDATE records SET data = x'3c000000' || substr(data, 5) WHERE pos = 6;");
  const std::string problems = Problems();
  EXPECT_NE(problems.find("key 0: record at position 6 is not where its key value sorts"),
            std::string::npos)
      << problems;
  EXPECT_EQ(std::string::npos, problems.find("key 1:")) << problems;
}

TEST_F(CheckTest, NullRecordIndexedInANullKeyIsFound) {
  // Record 4 has group 0, which the null key leaves out; an entry for it is wrong.
  Sql(Entry(2, 5, "fe", 4));
  const std::string problems = Problems();
  EXPECT_NE(problems.find("key 2: record at position 4 is null in this key but indexed"),
            std::string::npos)
      << problems;
}

TEST_F(CheckTest, SecondEntryForARecordIsFound) {
  Sql(Entry(1, 7, "fd", 7));
  const std::string problems = Problems();
  EXPECT_NE(problems.find("key 1: record at position 7"), std::string::npos) << problems;
  EXPECT_EQ(std::string::npos, problems.find("key 0:")) << problems;
}

TEST_F(CheckTest, EntryPointingAtAnotherRecordIsFound) {
  Sql("UPDATE key0 SET pos = 5 WHERE pos = 6;");
  const std::string problems = Problems();
  EXPECT_NE(problems.find("key 0: record at position 5 is listed twice"), std::string::npos)
      << problems;
  EXPECT_NE(problems.find("key 0: record at position 6 is missing from the index"),
            std::string::npos)
      << problems;
  EXPECT_EQ(std::string::npos, problems.find("key 1:")) << problems;
}

// Record 9's entry in key 2 says 8 (the last byte of the encoded value, before the 8-byte
// sequence): the entries still list the records in order, but a search for 9 misses it.
constexpr char kMisfiledEntry[] =
    "UPDATE key2 SET k = CAST(substr(k, 1, 3) || x'08' || substr(k, 5) AS BLOB) WHERE pos = 9;";
constexpr char kMisfiledProblem[] = "key 2: record at position 9 is not where its key value sorts";

TEST_F(CheckTest, EntryUnderAnotherValueThatSortsInPlaceIsFound) {
  Sql(kMisfiledEntry);
  const std::string problems = Problems();
  EXPECT_NE(problems.find(kMisfiledProblem), std::string::npos) << problems;
}

TEST_F(CheckTest, PositionsFarApartAreChecked) {
  // Record 20 (null in key 2) moves far beyond the others.
  Sql("UPDATE records SET pos = 100020 WHERE pos = 20; UPDATE key0 SET pos = 100020 WHERE pos = 20;"
      "UPDATE key1 SET pos = 100020 WHERE pos = 20;");
  EXPECT_TRUE(CheckFile(path_).Ok()) << Problems();
  Sql(kMisfiledEntry);
  const std::string problems = Problems();
  EXPECT_NE(problems.find(kMisfiledProblem), std::string::npos) << problems;
}

TEST_F(CheckTest, WrongCountsAreFound) {
  // One record and one distinct value of key 1 too many; key 0 (unique, never null) has as
  // many values as the file has records.
  Sql("UPDATE vader_counts SET entries = entries + 1 WHERE key = -1;"
      "UPDATE vader_counts SET distinct_values = distinct_values + 1 WHERE key = 1;");
  const std::string problems = Problems();
  EXPECT_NE(problems.find("key 0: the index holds 21 distinct values, its key path shows 20"),
            std::string::npos)
      << problems;
  EXPECT_NE(problems.find("key 1: the index holds 6 distinct values, its key path shows 5"),
            std::string::npos)
      << problems;
  EXPECT_EQ(std::string::npos, problems.find("key 2:")) << problems;
}

TEST_F(CheckTest, DuplicateInAUniqueKeyIsFound) {
  Sql("UPDATE records SET data = (SELECT data FROM records WHERE pos = 3) WHERE pos = 9;");
  Sql("UPDATE key0 SET k = (SELECT k FROM key0 WHERE pos = 3) || x'00' WHERE pos = 9;");
  EXPECT_FALSE(CheckFile(path_).Ok());
}

}  // namespace
}  // namespace vader::tools
