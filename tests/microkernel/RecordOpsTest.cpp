// Create, Open, Stat, Insert, Update and Delete: statuses, buffers and file definitions.

#include <algorithm>

#include <fcntl.h>
#include <sys/stat.h>
#include <sqlite3.h>
#include <unistd.h>

#include "Fixture.h"

namespace vader::microkernel::test {
namespace {

class FileOpsTest : public ApiTest {};

TEST_F(FileOpsTest, CreateValidatesTheDefinition) {
  EXPECT_EQ(24, Create(Path("a"), Layout(32, 1000).Bytes()));
  EXPECT_EQ(28, Create(Path("a"), Layout(2).Bytes()));
  EXPECT_EQ(27, Create(Path("a"), Layout(32).Key({{30, 4, 0, tInteger}}).Bytes()));
  EXPECT_EQ(27, Create(Path("a"), Layout(32).Key({{0, 4, 0, tInteger}}).Bytes()));
  EXPECT_EQ(29, Create(Path("a"), Layout(32).Key({{1, 3, 0, tInteger}}).Bytes()));
  EXPECT_EQ(29, Create(Path("a"), Layout(32).Key({{1, 4, 0, tTimestamp}}).Bytes()));
  EXPECT_EQ(49, Create(Path("a"), Layout(32).Key({{1, 4, 0, 21}}).Bytes()));
  EXPECT_EQ(
      45, Create(Path("a"), Layout(32).Key({{1, 4, kDup, tInteger}, {5, 4, 0, tInteger}}).Bytes()));
  EXPECT_EQ(55, Create(Path("a"), Layout(32).Key({{1, 4, kDup, tAutoInc}}).Bytes()));
  EXPECT_EQ(22, Create(Path("a"), Layout(32).Key({{1, 4, kAcsFlag, tString}}).Bytes()));
  std::vector<uint8_t> badAcs(265, 0);
  badAcs[0] = 0x42;
  EXPECT_EQ(48, Create(Path("a"), Layout(32).Key({{1, 4, kAcsFlag, tString}}).Acs(badAcs).Bytes()));
  auto shortBuffer = Layout(32).Key({{1, 4, 0, tInteger}}).Bytes();
  shortBuffer.resize(20);
  EXPECT_EQ(22, Create(Path("a"), shortBuffer));
  EXPECT_EQ(-1, ::access(Path("a").c_str(), F_OK));  // nothing was created
}

TEST_F(FileOpsTest, CreateModesAndOpenFailures) {
  ASSERT_EQ(0, Create(Path("a"), PeopleLayout()));
  EXPECT_EQ(59, Create(Path("a"), PeopleLayout(), -1));
  File f;
  ASSERT_EQ(0, f.Open(Path("a")));
  ASSERT_EQ(0, f.Insert(Person(1, "x")));
  EXPECT_EQ(85, Create(Path("a"), PeopleLayout(), 0));  // not while it is open
  ASSERT_EQ(0, f.Close());
  ASSERT_EQ(0, Create(Path("a"), PeopleLayout(), 0));  // mode 0 replaces the file
  ASSERT_EQ(0, f.Open(Path("a")));
  EXPECT_EQ(0u, f.RecordCount());
  File g;
  EXPECT_EQ(12, g.Open(Path("missing")));
  EXPECT_EQ(11, g.Open(""));
  const int fd = ::open(Path("text").c_str(), O_CREAT | O_WRONLY, 0644);
  ASSERT_EQ(4, ::write(fd, "junk", 4));
  ::close(fd);
  EXPECT_EQ(30, g.Open(Path("text")));
}

TEST_F(FileOpsTest, DamagedFilesGiveStatusesNotCrashes) {
  File f;
  MakePeople(f, {1, 2});
  ASSERT_EQ(0, f.Close());
  auto tamper = [&](const char* sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open(Path("people").c_str(), &db));
    EXPECT_EQ(SQLITE_OK, sqlite3_exec(db, sql, nullptr, nullptr, nullptr));
    sqlite3_close(db);
  };
  tamper("UPDATE records SET data = x'0102' WHERE pos = 1");
  ASSERT_EQ(0, f.Open(Path("people")));
  EXPECT_EQ(2, f.Get(kGetFirst, 0));
  EXPECT_EQ(2, f.Step(kStepFirst));
  // Scans straight from the storage stop at it too, in physical order and along a key.
  struct Any final : RecordSink {
    bool Take(uint32_t, const uint8_t*, uint32_t) override { return true; }
  } sink;
  if (!ServerBackend()) {
    EXPECT_EQ(2, Api::Get().scan(f.pb, nullptr, -1, kScanFirst, nullptr, 0, &sink));
    EXPECT_EQ(2, Api::Get().scan(f.pb, nullptr, 0, kScanFirst, nullptr, 0, &sink));
  }
  ASSERT_EQ(0, f.Close());
  tamper("UPDATE vader_file SET definition = x'00'");
  EXPECT_EQ(30, f.Open(Path("people")));
}

TEST_F(FileOpsTest, BackslashNamesResolve) {
  ASSERT_EQ(0, Create(Path("b.dat"), PeopleLayout()));
  std::string windowsStyle = dir_ + "\\b.dat";
  File f;
  EXPECT_EQ(0, f.Open(windowsStyle));
}

TEST_F(FileOpsTest, StatReturnsTheCreateLayoutAndCreateLikeClonesIt) {
  auto layout = Layout(40, 2048, 0x0001)
                    .Key({{1, 4, kMod, tInteger}})
                    .Key({{5, 10, kDup | kNoCase, tString}, {15, 2, kDup | kDesc, tInteger}})
                    .Bytes();
  ASSERT_EQ(0, Create(Path("a"), layout));
  File f;
  ASSERT_EQ(0, f.Open(Path("a")));
  std::string rec(40, 'x');
  rec.replace(0, 4, Le(7, 4));
  ASSERT_EQ(0, f.Insert(rec));
  std::vector<uint8_t> stat;
  ASSERT_EQ(0, f.Stat(stat));
  ASSERT_EQ(16u + 3 * 16, stat.size());
  EXPECT_EQ(40, stat[0] | stat[1] << 8);
  EXPECT_EQ(2048, stat[2] | stat[3] << 8);
  EXPECT_EQ(2, stat[4]);
  EXPECT_EQ(1u, FromLe(std::string(stat.begin(), stat.end()), 6, 4));
  EXPECT_EQ(0x0001, stat[10] | stat[11] << 8);
  // Second key, first segment: position 5, length 10, segmented + no-case + duplicates.
  const uint8_t* seg = stat.data() + 32;
  EXPECT_EQ(5, seg[0]);
  EXPECT_EQ(10, seg[2]);
  EXPECT_EQ(0x0400 | 0x0100 | 0x0010 | 0x0001, seg[4] | seg[5] << 8);
  EXPECT_EQ(1, seg[14]);
  // A short buffer gets what fits and status 22.
  std::vector<uint8_t> part;
  EXPECT_EQ(22, f.Stat(part, -1, 40));
  EXPECT_EQ(40u, part.size());
  // Stat then Create (the driver's CreateLike) with the whole 1920-byte area.
  std::vector<uint8_t> area;
  ASSERT_EQ(0, f.Stat(area, -1, 1920));
  area.resize(1920, 0);
  ASSERT_EQ(0, Create(Path("clone"), area));
  File g;
  ASSERT_EQ(0, g.Open(Path("clone")));
  std::vector<uint8_t> cloneStat;
  ASSERT_EQ(0, g.Stat(cloneStat));
  stat[6] = 0;  // the record count differs
  for (size_t i = 16; i < stat.size(); i += 16) stat[i + 6] = stat[i + 7] = 0;  // unique counts
  for (size_t i = 16; i < cloneStat.size(); i += 16) cloneStat[i + 6] = cloneStat[i + 7] = 0;
  EXPECT_EQ(stat, cloneStat);
}

TEST_F(FileOpsTest, AlternateCollatingSequenceSurvivesStatAndCreateLike) {
  std::vector<uint8_t> upper(265, 0);
  upper[0] = 0xAC;
  std::memcpy(upper.data() + 1, "UPPER   ", 8);
  for (int c = 0; c < 256; ++c)
    upper[9 + c] = static_cast<uint8_t>(c >= 'a' && c <= 'z' ? c - 32 : c);
  ASSERT_EQ(0, Create(Path("acs"), Layout(32)
                                       .Key({{1, 4, 0, tInteger}})
                                       .Key({{5, 20, kDup | kAcsFlag, tString}})
                                       .Acs(upper)
                                       .Bytes()));
  File f;
  ASSERT_EQ(0, f.Open(Path("acs")));
  std::vector<uint8_t> stat;
  ASSERT_EQ(0, f.Stat(stat));
  ASSERT_EQ(16u + 2 * 16 + 265, stat.size());
  EXPECT_TRUE((stat[32 + 4] | stat[32 + 5] << 8) & 0x20);
  EXPECT_EQ(upper, std::vector<uint8_t>(stat.begin() + 48, stat.end()));
  stat.resize(1920, 0);
  ASSERT_EQ(0, Create(Path("clone"), stat));
  File g;
  ASSERT_EQ(0, g.Open(Path("clone")));
  ASSERT_EQ(0, g.Insert(Person(1, "beta")));
  ASSERT_EQ(0, g.Insert(Person(2, "ALPHA")));
  ASSERT_EQ(0, g.Insert(Person(3, "Alpha")));
  EXPECT_EQ((std::vector<int32_t>{2, 3, 1}), Walk(g, 1));  // case folded, duplicates in order
}

TEST_F(FileOpsTest, OwnerNames) {
  File f;
  MakePeople(f, {1});
  char owner[9] = "SECRET";
  uint32_t len = 7;
  char key[255] = "SECRET";
  ASSERT_EQ(0, f.Call(kSetOwner, owner, len, key, 255, 1));  // read-only without the owner
  EXPECT_EQ(50, f.Call(kSetOwner, owner, len, key, 255, 1));
  ASSERT_EQ(0, f.Close());
  File g;
  EXPECT_EQ(51, g.Open(Path("people"), 0, "WRONG"));
  ASSERT_EQ(0, g.Open(Path("people")));  // level 1: read-only access
  EXPECT_EQ(0, g.Get(kGetFirst, 0));
  EXPECT_EQ(46, g.Insert(Person(2, "y")));
  EXPECT_EQ(46, g.Update(Person(1, "z")));
  ASSERT_EQ(0, g.Close());
  File h;
  ASSERT_EQ(0, h.Open(Path("people"), 0, "SECRET"));
  EXPECT_EQ(0, h.Insert(Person(2, "y")));
  ASSERT_EQ(0, h.Call(kClearOwner, nullptr, len, key, 255, 0));
  ASSERT_EQ(0, h.Close());
  File k;
  EXPECT_EQ(0, k.Open(Path("people")));
  EXPECT_EQ(0, k.Insert(Person(3, "w")));
}

// Stat tells what the owner name guards in the high bits of the file flags, stored with the
// file (a new connection sees them), never the name itself; a Create from that Stat buffer
// makes a file without an owner name.
TEST_F(FileOpsTest, StatTellsTheOwnerLevelButNotTheName) {
  constexpr uint16_t kOwnerName = 0x4000, kReadOnly = 0x2000, kEncrypted = 0x8000;
  const uint16_t expected[] = {kOwnerName, kOwnerName | kReadOnly, kOwnerName | kEncrypted,
                               kOwnerName | kReadOnly | kEncrypted};
  const auto fileFlags = [](const std::vector<uint8_t>& stat) {
    return static_cast<uint16_t>(stat[10] | stat[11] << 8);
  };
  for (int level = -1; level <= 3; ++level) {
    SCOPED_TRACE(level);
    const std::string name = "owned" + std::to_string(level + 1);
    ASSERT_EQ(0, Create(Path(name), PeopleLayout(0x0001)));
    File f;
    ASSERT_EQ(0, f.Open(Path(name)));
    char owner[9] = "SECRET";
    char key[255] = "SECRET";
    uint32_t len = 7;
    if (level >= 0) {
      ASSERT_EQ(0, f.Call(kSetOwner, owner, len, key, 255, static_cast<int8_t>(level)));
    }
    ASSERT_EQ(0, f.Close());
    File g;
    ASSERT_EQ(0, g.Open(Path(name), 0, level >= 0 ? "SECRET" : ""));
    std::vector<uint8_t> stat;
    ASSERT_EQ(0, g.Stat(stat));
    EXPECT_EQ(fileFlags(stat), level < 0 ? 0x0001 : (expected[level] | 0x0001));
    EXPECT_EQ(std::search(stat.begin(), stat.end(), owner, owner + 6), stat.end());
    stat.resize(1920, 0);
    ASSERT_EQ(0, Create(Path(name + "clone"), stat));
    File clone;
    ASSERT_EQ(0, clone.Open(Path(name + "clone")));
    ASSERT_EQ(0, clone.Insert(Person(1, "x")));
    ASSERT_EQ(0, clone.Stat(stat));
    EXPECT_EQ(fileFlags(stat), 0x0001);
  }
  // 0x1000 is also a caller's flag (0x1200, no system data): Create keeps it as given.
  ASSERT_EQ(0, Create(Path("nosystemdata"), PeopleLayout(0x1201)));
  File plain;
  ASSERT_EQ(0, plain.Open(Path("nosystemdata")));
  std::vector<uint8_t> stat;
  ASSERT_EQ(0, plain.Stat(stat));
  EXPECT_EQ(fileFlags(stat), 0x1201);
}

TEST_F(FileOpsTest, OpenModes) {
  File f;
  MakePeople(f, {1});
  ASSERT_EQ(0, f.Close());
  File ro, ex, other;
  ASSERT_EQ(0, ro.Open(Path("people"), -2));
  EXPECT_EQ(46, ro.Insert(Person(2, "a")));
  EXPECT_EQ(88, ex.Open(Path("people"), -4));  // another block has it open
  ASSERT_EQ(0, ro.Close());
  ASSERT_EQ(0, ex.Open(Path("people"), -4));
  EXPECT_EQ(85, other.Open(Path("people")));
  EXPECT_EQ(0, ex.Insert(Person(2, "a")));
}

// Files copied from DOS and Windows are found whatever the case of the name they are opened by.
TEST_F(FileOpsTest, NamesResolveIgnoringCase) {
  if (ServerBackend()) GTEST_SKIP() << "file names only";
  ASSERT_EQ(0, ::mkdir(Path("Data").c_str(), 0755));
  File f;
  MakePeople(f, {1, 2}, "Data/people.dat");
  ASSERT_EQ(0, f.Close());
  File upper;
  ASSERT_EQ(0, upper.Open(dir_ + "/DATA/PEOPLE.DAT"));
  EXPECT_EQ(std::vector<int32_t>({1, 2}), Walk(upper, 0));
  EXPECT_EQ(12, f.Open(dir_ + "/DATA/NOBODY.DAT"));
  // A file created under another case is a new file: the existing one is not replaced.
  ASSERT_EQ(0, Create(dir_ + "/Data/PEOPLE.DAT", PeopleLayout()));
  File lower;
  ASSERT_EQ(0, lower.Open(dir_ + "/Data/people.dat"));
  EXPECT_EQ(std::vector<int32_t>({1, 2}), Walk(lower, 0));
}

// A file that cannot be written here opens for reading, and nothing is created beside it.
TEST_F(FileOpsTest, ReadOnlyFilesAndFoldersOpenForReading) {
  if (ServerBackend()) GTEST_SKIP() << "file permissions only";
  File f;
  MakePeople(f, {1, 2}, "people.dat");
  ASSERT_EQ(0, f.Close());
  const auto besides = [&] {
    return ::access((Path("people.dat") + "-wal").c_str(), F_OK) == 0 ||
           ::access((Path("people.dat") + "-shm").c_str(), F_OK) == 0;
  };
  ASSERT_FALSE(besides());
  for (const bool folder : {false, true}) {
    SCOPED_TRACE(folder ? "read-only folder" : "read-only file");
    ASSERT_EQ(0, ::chmod((folder ? dir_ : Path("people.dat")).c_str(), folder ? 0555 : 0444));
    File ro;
    ASSERT_EQ(0, ro.Open(Path("people.dat")));
    EXPECT_EQ(std::vector<int32_t>({1, 2}), Walk(ro, 0));
    EXPECT_EQ(46, ro.Insert(Person(3, "c")));
    EXPECT_EQ(0, ro.Get(kGetFirst, 0));
    EXPECT_EQ(46, ro.Delete());
    EXPECT_FALSE(besides());
    ASSERT_EQ(0, ro.Close());
    ASSERT_EQ(0, ::chmod((folder ? dir_ : Path("people.dat")).c_str(), folder ? 0755 : 0644));
  }
  ASSERT_EQ(0, f.Open(Path("people.dat")));
  EXPECT_EQ(std::vector<int32_t>({1, 2}), Walk(f, 0));
  EXPECT_EQ(0, f.Insert(Person(3, "c")));
}

class RecordOpsTest : public ApiTest {};

TEST_F(RecordOpsTest, InsertReturnsTheKeyAndMakesTheRecordCurrent) {
  File f;
  MakePeople(f, {5, 3});
  ASSERT_EQ(0, f.Insert(Person(4, "dora"), 1));
  EXPECT_EQ(NameKey("dora"), std::string(reinterpret_cast<char*>(f.key), 20));
  uint32_t pos = 0;
  ASSERT_EQ(0, f.Position(pos));
  EXPECT_NE(0u, pos);
  // Logical currency is on key 1: the next name after "dora" is "p3".
  ASSERT_EQ(0, f.Get(kGetNext, 1));
  EXPECT_EQ(3, IdOf(f.record));
}

TEST_F(RecordOpsTest, DuplicateAndModifiabilityChecksLeaveNothingChanged) {
  File f;
  MakePeople(f, {1, 2});
  EXPECT_EQ(5, f.Insert(Person(1, "again")));
  EXPECT_EQ(2u, f.RecordCount());
  ASSERT_EQ(0, f.Get(kGetEqual, 0, Le(2, 4)));
  EXPECT_EQ(10, f.Update(Person(9, "p2")));          // key 0 is not modifiable
  EXPECT_EQ(0, f.Update(Person(2, "renamed", 77)));  // key 1 is
  ASSERT_EQ(0, f.Get(kGetEqual, 1, NameKey("renamed")));
  EXPECT_EQ(77, static_cast<int32_t>(FromLe(f.record, 24, 4)));
  EXPECT_EQ(4, f.Get(kGetEqual, 1, NameKey("p2")));
}

TEST_F(RecordOpsTest, UpdateToADuplicateOfAUniqueKeyGives5) {
  ASSERT_EQ(0, Create(Path("u"), Layout(32).Key({{1, 4, kMod, tInteger}}).Bytes()));
  File f;
  ASSERT_EQ(0, f.Open(Path("u")));
  ASSERT_EQ(0, f.Insert(Person(1, "a")));
  ASSERT_EQ(0, f.Insert(Person(2, "b")));
  EXPECT_EQ(5, f.Update(Person(1, "b")));
  ASSERT_EQ(0, f.Get(kGetEqual, 0, Le(2, 4)));
  EXPECT_EQ("b", f.record.substr(4, 1));
}

TEST_F(RecordOpsTest, UpdateAndDeleteNeedACurrentRecord) {
  File f;
  MakePeople(f, {1});
  ASSERT_EQ(0, f.Close());
  ASSERT_EQ(0, f.Open(Path("people")));
  EXPECT_EQ(8, f.Update(Person(1, "x")));
  EXPECT_EQ(8, f.Delete());
  ASSERT_EQ(0, f.Get(kGetFirst + kKeyBias, 0));
  EXPECT_EQ(8, f.Delete());  // a Get Key reads no record
  ASSERT_EQ(0, f.Get(kGetFirst, 0));
  ASSERT_EQ(0, f.Delete());
  EXPECT_EQ(8, f.Delete());
  EXPECT_EQ(0u, f.RecordCount());
}

TEST_F(RecordOpsTest, ShortBuffers) {
  File f;
  MakePeople(f, {1});
  EXPECT_EQ(22, f.Insert(std::string(31, 'x')));
  EXPECT_EQ(22, f.Get(kGetFirst, 0, "", 31));
  EXPECT_EQ(0u, f.record.size());
  uint32_t pos = 0;
  EXPECT_EQ(0, f.Position(pos));  // the position was still established
  char key[2];
  uint32_t len = 64;
  char data[64];
  EXPECT_EQ(21, f.Call(kGetFirst, data, len, key, 2, 0));
  EXPECT_EQ(6, f.Get(kGetFirst, 5));
  EXPECT_EQ(6, f.Get(kGetFirst, -3));
}

TEST_F(RecordOpsTest, FixedLengthRecordsStoreTheRecordLength) {
  File f;
  MakePeople(f, {});
  ASSERT_EQ(0, f.Insert(Person(1, "a") + "extra bytes"));
  ASSERT_EQ(0, f.Get(kGetFirst, 0));
  EXPECT_EQ(32u, f.record.size());
}

TEST_F(RecordOpsTest, VariableLengthRecords) {
  ASSERT_EQ(0, Create(Path("v"), PeopleLayout(0x0001 | 0x0002)));  // variable, blank truncation
  File f;
  ASSERT_EQ(0, f.Open(Path("v")));
  const std::string longRecord = Person(1, "long") + std::string(500, 'v') + "   ";
  ASSERT_EQ(0, f.Insert(longRecord));
  ASSERT_EQ(0, f.Insert(Person(2, "short")));
  ASSERT_EQ(0, f.Get(kGetEqual, 0, Le(1, 4), 1000));
  EXPECT_EQ(532u, f.record.size());  // trailing blanks of the variable part are not kept
  EXPECT_EQ(longRecord.substr(0, 532), f.record);
  // The fixed part fits but not the rest: what fits, and 22.
  EXPECT_EQ(22, f.Get(kGetEqual, 0, Le(1, 4), 100));
  EXPECT_EQ(100u, f.record.size());
  EXPECT_EQ(longRecord.substr(0, 100), f.record);
  // The record can shrink and grow with Update.
  ASSERT_EQ(0, f.Get(kGetEqual, 0, Le(2, 4)));
  ASSERT_EQ(0, f.Update(Person(2, "short") + "tail"));
  ASSERT_EQ(0, f.Get(kGetEqual, 0, Le(2, 4)));
  EXPECT_EQ(36u, f.record.size());
}

TEST_F(RecordOpsTest, AutoIncrementAssignsAndEchoesTheRecord) {
  ASSERT_EQ(0, Create(Path("a"), Layout(16).Key({{1, 4, 0, tAutoInc}}).Bytes()));
  File f;
  ASSERT_EQ(0, f.Open(Path("a")));
  const std::string zero(16, '\0');
  ASSERT_EQ(0, f.Insert(zero));
  EXPECT_EQ(1u, FromLe(f.record, 0, 4));  // the record came back with its number
  ASSERT_EQ(0, f.Insert(Le(10, 4) + std::string(12, '\0')));
  ASSERT_EQ(0, f.Insert(zero));
  EXPECT_EQ(11u, FromLe(f.record, 0, 4));
  EXPECT_EQ(5, f.Insert(Le(10, 4) + std::string(12, '\0')));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(f.key), 4), Le(11, 4));  // untouched on failure
}

TEST_F(RecordOpsTest, InsertExtendedStopsAtTheFirstFailure) {
  File f;
  MakePeople(f, {5});
  auto batch = [](const std::vector<int32_t>& ids) {
    std::string b = Le(ids.size(), 2);
    for (int32_t id : ids) b += Le(32, 2) + Person(id, "x");
    return b;
  };
  std::string buffer = batch({1, 2, 3});
  uint32_t len = static_cast<uint32_t>(buffer.size());
  ASSERT_EQ(0, f.Call(40, buffer.data(), len, f.key, 255, 0));
  EXPECT_EQ(14u, len);
  EXPECT_EQ(3u, FromLe(buffer, 0, 2));
  ASSERT_EQ(0, f.Direct(static_cast<uint32_t>(FromLe(buffer, 10, 4)), 0));
  EXPECT_EQ(3, IdOf(f.record));
  buffer = batch({7, 5, 8});  // 5 exists
  len = static_cast<uint32_t>(buffer.size());
  EXPECT_EQ(5, f.Call(40, buffer.data(), len, f.key, 255, 0));
  EXPECT_EQ(1u, FromLe(buffer, 0, 2));
  EXPECT_EQ((std::vector<int32_t>{1, 2, 3, 5, 7}), Walk(f, 0));
  buffer = batch({9}).substr(0, 20);  // cut short
  len = static_cast<uint32_t>(buffer.size());
  EXPECT_EQ(63, f.Call(40, buffer.data(), len, f.key, 255, 0));
}

TEST_F(RecordOpsTest, ChangedByAnotherBlockSinceReadGives80) {
  File a, b;
  MakePeople(a, {1});
  ASSERT_EQ(0, b.Open(Path("people")));
  ASSERT_EQ(0, a.Get(kGetFirst, 0));
  ASSERT_EQ(0, b.Get(kGetFirst, 0));
  ASSERT_EQ(0, b.Update(Person(1, "b-was-here")));
  EXPECT_EQ(80, a.Update(Person(1, "a-was-here")));
  EXPECT_EQ(80, a.Delete());
  ASSERT_EQ(0, a.Get(kGetFirst, 0));
  EXPECT_EQ(0, a.Update(Person(1, "a-was-here")));
}

TEST_F(RecordOpsTest, NullKeysAreLeftOutOfTheirIndex) {
  ASSERT_EQ(0, Create(Path("n"), Layout(16)
                                     .Key({{1, 4, 0, tInteger}})
                                     .Key({{5, 4, kNullAll | kDup | kMod, tString, ' '}})
                                     .Bytes()));
  File f;
  ASSERT_EQ(0, f.Open(Path("n")));
  ASSERT_EQ(0, f.Insert(Le(1, 4) + "    " + std::string(8, '\0')));
  ASSERT_EQ(0, f.Insert(Le(2, 4) + "abcd" + std::string(8, '\0')));
  EXPECT_EQ((std::vector<int32_t>{2}), Walk(f, 1));
  EXPECT_EQ(4, f.Get(kGetEqual, 1, "    "));
  EXPECT_EQ(2u, f.RecordCount());
  uint32_t pos = 0;
  ASSERT_EQ(0, f.Get(kGetEqual, 0, Le(1, 4)));
  ASSERT_EQ(0, f.Position(pos));
  EXPECT_EQ(44, f.Direct(pos, 1));
  // The key's entries are counted apart from the records: all the way along it is record 2.
  std::string data = Le(10000, 4) + std::string(12, '\0');
  uint32_t len = static_cast<uint32_t>(data.size());
  ASSERT_EQ(0, f.Call(kGetByPercentage, data.data(), len, f.key, 255, 1));
  EXPECT_EQ(Le(2, 4), data.substr(0, 4));
  // Giving it a value puts it in the index.
  ASSERT_EQ(0, f.Get(kGetEqual, 0, Le(1, 4)));
  ASSERT_EQ(0, f.Update(Le(1, 4) + "aaaa" + std::string(8, '\0')));
  EXPECT_EQ((std::vector<int32_t>{1, 2}), Walk(f, 1));
}

}  // namespace
}  // namespace vader::microkernel::test
