// vbutil as its users meet it: help, exit codes, messages, and a session on a generated
// sample database. Runs the command frame in-process with captured output.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "common/TempDir.h"
#include "platform/CodePage.h"
#include "tools/Cli.h"
#include "tools/Dictionary.h"
#include "tools/IntegrityCheck.h"
#include "tools/Records.h"
#include "tools/SampleDatabase.h"
#include "tools/TableRecord.h"

namespace vader::tools {
namespace {

struct Result {
  int code;
  std::string out, err;
};

Result Vbutil(std::vector<std::string> args) {
  std::ostringstream out, err;
  const int code = RunUtility(args, out, err);
  return {code, out.str(), err.str()};
}

const SampleCounts kSmall{12, 4, 10, 5, 20};

TEST(UtilityTest, EveryCommandHasHelpAndRefusesWrongArguments) {
  std::vector<Command> all = FileCommands();
  for (Command& c : DictionaryCommands()) all.push_back(c);
  for (const Command& c : all) {
    std::vector<std::string> words;
    std::istringstream name(c.name);
    for (std::string w; name >> w;) words.push_back(w);
    std::vector<std::string> help = words;
    help.push_back("--help");
    const Result h = Vbutil(help);
    EXPECT_EQ(kExitOk, h.code) << c.name;
    EXPECT_NE(h.out.find("Usage: vbutil " + c.name), std::string::npos) << h.out;
    std::vector<std::string> bad = words;
    bad.push_back("--no-such-option");
    const Result b = Vbutil(bad);
    EXPECT_EQ(kExitUsage, b.code) << c.name;
    EXPECT_NE(b.err.find("unknown option --no-such-option"), std::string::npos) << b.err;
  }
  EXPECT_EQ(kExitUsage, Vbutil({}).code);
  EXPECT_EQ(kExitOk, Vbutil({"--help"}).code);
  EXPECT_EQ(kExitUsage, Vbutil({"frobnicate"}).code);
  EXPECT_EQ(kExitUsage, Vbutil({"check"}).code);
  EXPECT_EQ(kExitUsage, Vbutil({"check", "a", "b"}).code);
  EXPECT_EQ(kExitUsage, Vbutil({"owner", "set", "f", "muchtoolong"}).code);
}

TEST(UtilityTest, FailuresGiveAMessageAndExitCodeOne) {
  testing::TempDir dir;
  const Result missing = Vbutil({"describe", dir.File("none.btr")});
  EXPECT_EQ(kExitFailed, missing.code);
  EXPECT_NE(missing.err.find("status 12"), std::string::npos) << missing.err;
  dir.Write("bad.desc", "file record=10\nkey\nsegment length=4 position=1 type=foo\n");
  const Result bad = Vbutil({"create", dir.File("x.btr"), dir.File("bad.desc")});
  EXPECT_EQ(kExitFailed, bad.code);
  EXPECT_NE(bad.err.find("line 3: unknown type 'foo'"), std::string::npos) << bad.err;
  EXPECT_EQ(kExitFailed, Vbutil({"ddf", "list", dir.Path()}).code);  // no dictionary there
}

TEST(UtilityTest, SampleSessionDescribeCreateLoadCheck) {
  testing::TempDir dir;
  GenerateSampleDatabase(dir.Path(), kSmall);
  const std::string orders = dir.File("ORDERS.BTR");

  const Result list = Vbutil({"ddf", "list", dir.Path()});
  ASSERT_EQ(kExitOk, list.code) << list.err;
  EXPECT_NE(list.out.find("OrderLines"), std::string::npos) << list.out;
  EXPECT_EQ(std::string::npos, list.out.find("X$File")) << list.out;

  const Result described = Vbutil({"describe", orders});
  ASSERT_EQ(kExitOk, described.code);
  dir.Write("orders.desc", described.out);
  ASSERT_EQ(kExitOk, Vbutil({"create", dir.File("copy.btr"), dir.File("orders.desc")}).code);
  EXPECT_EQ(described.out, Vbutil({"describe", dir.File("copy.btr")}).out);
  ASSERT_EQ(kExitOk, Vbutil({"save", orders, dir.File("orders.seq")}).code);
  ASSERT_EQ(kExitOk, Vbutil({"load", dir.File("copy.btr"), dir.File("orders.seq")}).code);
  ASSERT_EQ(kExitOk, Vbutil({"save", dir.File("copy.btr"), dir.File("copy.seq")}).code);
  EXPECT_EQ(testing::TempDir::Read(dir.File("orders.seq")),
            testing::TempDir::Read(dir.File("copy.seq")));

  dir.Write("key.desc", "key duplicates\nsegment position=25 length=8 type=currency\n");
  EXPECT_EQ(kExitOk, Vbutil({"index", "add", dir.File("copy.btr"), dir.File("key.desc")}).code);
  const Result check = Vbutil({"check", dir.File("copy.btr")});
  EXPECT_EQ(kExitOk, check.code) << check.out;
  EXPECT_NE(check.out.find("20 records, 5 keys"), std::string::npos) << check.out;
  EXPECT_EQ(kExitOk, Vbutil({"index", "drop", dir.File("copy.btr"), "4"}).code);

  const Result schema = Vbutil({"ddf", "describe", dir.Path(), "orders"});
  EXPECT_NE(schema.out.find("part field=ShipDate"), std::string::npos) << schema.out;
}

TEST(UtilityTest, CodePageOptionEncodesWhatIsGivenAndDecodesWhatIsShown) {
  const std::string ansi = platform::AnsiCodePage();
  platform::SetAnsiCodePage("UTF-8");  // a UTF-8 terminal
  testing::TempDir dir;
  ASSERT_EQ(kExitOk, Vbutil({"ddf", "create", dir.Path()}).code);
  const std::string schema =
      dir.Write("schema.txt",
                "table name=\u041A\u043B\u0438\u0435\u043D\u0442\u044B file=K.BTR\n"
                "field name=\u0418\u043C\u044F type=string size=20\n");
  const Result defined = Vbutil({"ddf", "define", "--codepage", "866", dir.Path(), schema});
  ASSERT_EQ(kExitOk, defined.code) << defined.err;
  EXPECT_EQ(Dictionary(dir.Path()).Tables(false).at(0).name, "\x8A\xAB\xA8\xA5\xAD\xE2\xEB");
  const Result list = Vbutil({"ddf", "list", dir.Path(), "--codepage=866"});
  EXPECT_NE(
      list.out.find("\u041A\u043B\u0438\u0435\u043D\u0442\u044B" + std::string(14, ' ') + "K.BTR"),
      std::string::npos)
      << list.out;  // padded by characters, not bytes
  const Result shown = Vbutil({"ddf", "describe", dir.Path(), "--codepage", "866",
                               "\u041A\u043B\u0438\u0435\u043D\u0442\u044B"});
  EXPECT_NE(shown.out.find("field name=\u0418\u043C\u044F"), std::string::npos) << shown.out;
  EXPECT_EQ(kExitUsage, Vbutil({"ddf", "list", dir.Path(), "--codepage", "9999"}).code);
  const Result lacking =
      Vbutil({"ddf", "describe", dir.Path(), "--codepage", "866", "M\u00FCller"});
  EXPECT_EQ(kExitUsage, lacking.code);
  EXPECT_NE(lacking.err.find("U+00FC"), std::string::npos) << lacking.err;
  platform::SetAnsiCodePage(ansi);
  platform::SetOemCodePage("CP437");
}

TEST(UtilityTest, OwnerNamesOnFiles) {
  testing::TempDir dir;
  dir.Write("f.desc", "file record=8\nkey\nsegment position=1 length=4 type=integer\n");
  ASSERT_EQ(kExitOk, Vbutil({"create", dir.File("f.btr"), dir.File("f.desc")}).code);
  ASSERT_EQ(kExitOk, Vbutil({"owner", "set", dir.File("f.btr"), "Secret"}).code);
  const Result denied = Vbutil({"describe", dir.File("f.btr")});
  EXPECT_EQ(kExitFailed, denied.code);
  EXPECT_NE(denied.err.find("status 51"), std::string::npos) << denied.err;
  EXPECT_EQ(kExitOk, Vbutil({"describe", dir.File("f.btr"), "--owner", "Secret"}).code);
  EXPECT_EQ(kExitFailed, Vbutil({"owner", "clear", dir.File("f.btr"), "--owner", "secret"}).code);
  EXPECT_EQ(kExitOk, Vbutil({"owner", "clear", dir.File("f.btr"), "--owner", "Secret"}).code);
  EXPECT_EQ(kExitOk, Vbutil({"describe", dir.File("f.btr")}).code);
}

TEST(UtilityTest, SampleDatabaseIsDeterministicAndSound) {
  testing::TempDir a, b;
  GenerateSampleDatabase(a.Path(), kSmall);
  GenerateSampleDatabase(b.Path(), kSmall);
  Dictionary dictionary(a.Path(), kSampleDictionaryOwner);
  const std::vector<TableDef> tables = dictionary.Tables(false);
  ASSERT_EQ(6u, tables.size());
  for (const TableDef& t : tables) {
    std::ostringstream first, second;
    SaveRecords(a.File(t.location), "", first);
    SaveRecords(b.File(t.location), "", second);
    EXPECT_EQ(first.str(), second.str()) << t.name;
    EXPECT_TRUE(CheckFile(a.File(t.location)).Ok()) << t.name;
  }
  // The Employees photo is binary in "###" text; the memo ends the variable-length record.
  const TableDef employees = dictionary.Table("Employees");
  EXPECT_TRUE(employees.variable);
  BtrFile file(a.File("EMPLOYEE.BTR"));
  Bytes record;
  ASSERT_EQ(0, file.Step(kOpStepFirst, record));
  EXPECT_EQ("###AAAA!!!", record.substr(107, 10));
  EXPECT_EQ('\0', record.back());
  EXPECT_LT(record.size(), 107u + 600u);
}

TEST(UtilityTest, KeyNumbersCopyAndClone) {
  testing::TempDir dir;
  dir.Write("f.desc",
            "file record=12\nkey\nsegment position=1 length=4 type=integer\n"
            "key duplicates\nsegment position=5 length=4 type=integer\n");
  dir.Write("k.desc", "key number=7 modifiable\nsegment position=9 length=4 type=unsigned\n");
  ASSERT_EQ(kExitOk, Vbutil({"create", dir.File("a.btr"), dir.File("f.desc")}).code);
  ASSERT_EQ(kExitOk, Vbutil({"index", "add", dir.File("a.btr"), dir.File("k.desc")}).code);
  ASSERT_EQ(kExitOk, Vbutil({"index", "drop", dir.File("a.btr"), "0", "--keep-numbers"}).code);
  const std::string numbered = Vbutil({"describe", dir.File("a.btr")}).out;
  EXPECT_NE(numbered.find("key number=1 duplicates\n"), std::string::npos) << numbered;
  EXPECT_NE(numbered.find("key number=7 modifiable\n"), std::string::npos) << numbered;

  dir.Write("a.seq", "12,aaaabbbbcccc\r\n12,ddddbbbbeeee\r\n");
  ASSERT_EQ(kExitOk, Vbutil({"load", dir.File("a.btr"), dir.File("a.seq")}).code);
  ASSERT_EQ(kExitOk, Vbutil({"clone", dir.File("a.btr"), dir.File("b.btr")}).code);
  EXPECT_EQ(numbered, Vbutil({"describe", dir.File("b.btr")}).out);
  EXPECT_EQ(kExitFailed, Vbutil({"clone", dir.File("a.btr"), dir.File("b.btr")}).code);
  ASSERT_EQ(kExitOk, Vbutil({"owner", "set", dir.File("b.btr"), "Boss", "--level", "1"}).code);
  EXPECT_EQ(kExitFailed, Vbutil({"copy", dir.File("a.btr"), dir.File("b.btr")}).code);
  const Result copied =
      Vbutil({"copy", dir.File("a.btr"), dir.File("b.btr"), "--to-owner", "Boss"});
  EXPECT_EQ(kExitOk, copied.code) << copied.err;
  EXPECT_EQ("12,aaaabbbbcccc\r\n12,ddddbbbbeeee\r\n", Vbutil({"save", dir.File("b.btr")}).out);
}

TEST(UtilityTest, GeneratorCommandLine) {
  const std::string bin = std::filesystem::canonical("/proc/self/exe").parent_path().string();
  const auto run = [&](const std::string& args) {
    return WEXITSTATUS(std::system((bin + "/vsampledb " + args + " >/dev/null 2>&1").c_str()));
  };
  EXPECT_EQ(kExitOk, run("--help"));
  EXPECT_EQ(kExitUsage, run(""));
  EXPECT_EQ(kExitUsage, run("--scale 0 x"));
  EXPECT_EQ(kExitUsage, run("--bogus x"));
  EXPECT_EQ(kExitFailed, run("/proc/no/such/place"));
}

TEST(UtilityTest, ImportCsvListsEachRefusedLineAndExportAddsTheExtension) {
  testing::TempDir dir;
  GenerateSampleDatabase(dir.Path(), kSmall);
  const Result exported = Vbutil({"export", dir.Path(), "Customers", dir.File("all"), "--quiet",
                                  "--format", "json"});
  ASSERT_EQ(kExitOk, exported.code) << exported.err;
  EXPECT_NE(exported.out.find("exported 12 records"), std::string::npos) << exported.out;
  EXPECT_EQ(testing::TempDir::Read(dir.File("all.json")).substr(0, 11), "[\r\n  {\"Id\":");

  dir.Write("new.csv", "Name;Id;Since\nNew;13;2024-01-01\nTaken;1;2024-01-01\nBad;14;2024-13-01\n");
  const Result imported = Vbutil(
      {"import-csv", dir.Path(), "Customers", dir.File("new.csv"), "--separator", ";", "--quiet"});
  EXPECT_EQ(kExitProblems, imported.code) << imported.err;
  EXPECT_NE(imported.out.find("imported 1 of 3 records"), std::string::npos) << imported.out;
  EXPECT_NE(imported.out.find("line 3: duplicate key"), std::string::npos) << imported.out;
  EXPECT_NE(imported.out.find("line 4: "), std::string::npos) << imported.out;
  EXPECT_EQ(kExitUsage, Vbutil({"import-csv", dir.Path(), "Customers", dir.File("new.csv"),
                                "--separator", "\""}).code);

  // Bytes travel as hex digits, a zero byte among them; other characters are refused.
  dir.Write("pics.txt", "table name=Pics file=PICS.BTR\nfield name=Id type=integer size=4\n"
                        "field name=Data type=lvar size=4\nindex number=0\npart field=Id\n");
  ASSERT_EQ(kExitOk, Vbutil({"ddf", "define", dir.Path(), dir.File("pics.txt"), "--owner",
                             kSampleDictionaryOwner})
                         .code);
  dir.Write("pics.csv", "Id,Data\n1,00FF10A0\n2,0G\n");
  const Result bytes = Vbutil({"import-csv", dir.Path(), "Pics", dir.File("pics.csv"), "--quiet"});
  EXPECT_NE(bytes.out.find("imported 1 of 2 records"), std::string::npos) << bytes.out;
  EXPECT_NE(bytes.out.find("line 3: 0G is not a valid value for field 'Data'"), std::string::npos);
  ASSERT_EQ(kExitOk, Vbutil({"export", dir.Path(), "Pics", dir.File("pics"), "--quiet"}).code);
  EXPECT_EQ(testing::TempDir::Read(dir.File("pics.csv")), "Id,Data\r\n1,00FF10A0\r\n");
}

// A database named as a person types it: relative to the current folder, with letters beyond
// ASCII; the restructure finds it as export and import do.
TEST(UtilityTest, RestructureTakesARelativeNonAsciiDirectory) {
  testing::TempDir dir;
  const std::string name = "Donn\u00e9es \u0416";
  std::filesystem::create_directory(dir.File(name));
  GenerateSampleDatabase(dir.File(name), kSmall);
  const Result described = Vbutil({"ddf", "describe", dir.File(name), "Customers"});
  ASSERT_EQ(kExitOk, described.code) << described.err;
  dir.Write("customers.txt", described.out);
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(dir.Path());
  const Result restructured =
      Vbutil({"restructure", name, "Customers", dir.File("customers.txt"), "--quiet"});
  std::filesystem::current_path(before);
  EXPECT_EQ(kExitOk, restructured.code) << restructured.err;
  EXPECT_NE(restructured.out.find("(12 records)"), std::string::npos) << restructured.out;
}

TEST(UtilityTest, BlobTextRepeatsAndPadding) {
  EXPECT_EQ("###TQ==", EncodeBlobText("M"));
  EXPECT_EQ("###TWE=", EncodeBlobText("Ma"));
  EXPECT_EQ("###TWFu", EncodeBlobText("Man"));
  const std::string zeros = EncodeBlobText(Bytes(600, '\0'));
  EXPECT_EQ(206u, zeros.size());
  EXPECT_EQ("###AAAA!", zeros.substr(0, 8));
  EXPECT_EQ("###", EncodeBlobText(""));
}

}  // namespace
}  // namespace vader::tools
