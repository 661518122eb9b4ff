#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "engine/BseErrs.h"

namespace vader {
namespace {

// The BDE error categories with their names in order; "NAME(n)" restarts the numbering at n.
// Kept apart from the table in the engine so that a typo in either shows up as a mismatch.
struct Category {
  uint16_t category;
  const char* names;
};
constexpr Category kCategories[] = {
    {0x00, "NONE"},
    {0x21,
     "SYSFILEOPEN SYSFILEIO SYSCORRUPT NOCONFIGFILE CFGCANNOTWRITE CFGMULTIFILE "
     "REENTERED CANTFINDODAPI CANTLOADODAPI CANTLOADLIBRARY"},
    {0x22,
     "BOF EOF RECMOVED RECDELETED KEYORRECDELETED(4) NOCURRREC RECNOTFOUND ENDOFBLOB "
     "OBJNOTFOUND FMLMEMBERNOTFOUND BLOBFILEMISSING LDNOTFOUND"},
    {0x23,
     "HEADERCORRUPT FILECORRUPT MEMOCORRUPT BMPCORRUPT INDEXCORRUPT CORRUPTLOCKFILE "
     "FAMFILEINVALID VALFILECORRUPT FOREIGNINDEX"},
    {0x24, "READERR WRITEERR DIRNOACCESS FILEDELETEFAIL FILENOACCESS ACCESSDISABLED"},
    {0x25,
     "NOMEMORY NOFILEHANDLES NODISKSPACE NOTEMPTBLSPACE RECTOOBIG CURSORLIMIT "
     "TABLEFULL WSSESLIMIT SERNUMLIMIT INTERNALLIMIT OPENTBLLIMIT TBLCURSORLIMIT "
     "RECLOCKLIMIT CLIENTSLIMIT INDEXLIMIT SESSIONSLIMIT DBLIMIT PASSWORDLIMIT "
     "DRIVERLIMIT FLDLIMIT TBLLOCKLIMIT OPENBLOBLIMIT LOCKFILELIMIT OPENQRYLIMIT "
     "THREADLIMIT BLOBLIMIT"},
    {0x26,
     "KEYVIOL MINVALERR MAXVALERR REQDERR FORIEGNKEYERR DETAILRECORDSEXIST "
     "MASTERTBLLEVEL LOOKUPTABLEERR LOOKUPTBLOPENERR DETAILTBLOPENERR MASTERTBLOPENERR "
     "FIELDISBLANK MASTEREXISTS MASTERTBLOPEN DETAILTABLESEXIST DETAILRECEXISTEMPTY "
     "MASTERREFERENCEERR DETAILTBLOPEN DEPENDENTSMUSTBEEMPTY RINTREQINDEX "
     "LINKEDTBLPROTECTED FIELDMULTILINKED"},
    {0x27,
     "OUTOFRANGE INVALIDPARAM INVALIDFILENAME NOSUCHFILE INVALIDOPTION INVALIDHNDL "
     "UNKNOWNTBLTYPE UNKNOWNFILE PRIMARYKEYREDEFINE INVALIDRINTDESCNUM "
     "KEYFLDTYPEMISMATCH INVALIDMODIFYREQUEST NOSUCHINDEX INVALIDBLOBOFFSET "
     "INVALIDDESCNUM INVALIDFLDTYPE INVALIDFLDDESC INVALIDFLDXFORM INVALIDRECSTRUCT "
     "INVALIDDESC INVALIDINDEXSTRUCT INVALIDVCHKSTRUCT INVALIDRINTSTRUCT "
     "INVALIDRESTRTBLORDER NAMENOTUNIQUE INDEXNAMEREQUIRED INVALIDSESHANDLE "
     "INVALIDRESTROP UNKNOWNDRIVER UNKNOWNDB INVALIDPASSWORD NOCALLBACK "
     "INVALIDCALLBACKBUFLEN INVALIDDIR INVALIDXLATION DIFFERENTTABLES INVALIDBOOKMARK "
     "INVALIDINDEXNAME INVALIDIDXDESC NOSUCHTABLE USECOUNT INVALIDKEY INDEXEXISTS "
     "INDEXOPEN INVALIDBLOBLEN INVALIDBLOBHANDLE TABLEOPEN NEEDRESTRUCTURE INVALIDMODE "
     "CANNOTCLOSE ACTIVEINDEX INVALIDUSRPASS MULTILEVELCASCADE INVALIDFIELDNAME "
     "INVALIDTABLENAME INVALIDLINKEXPR NAMERESERVED INVALIDFILEEXTN INVALIDLANGDRV "
     "ALIASNOTOPEN INCOMPATRECSTRUCTS RESERVEDOSNAME DESTMUSTBEINDEXED "
     "INVALIDINDEXTYPE LANGDRVMISMATCH NOSUCHFILTER INVALIDFILTER INVALIDTABLECREATE "
     "INVALIDTABLEDELETE INVALIDINDEXCREATE INVALIDINDEXDELETE INVALIDTABLE "
     "MULTIRESULTS INVALIDTIME INVALIDDATE INVALIDTIMESTAMP DIFFERENTPATH MISMATCHARGS "
     "FUNCTIONNOTFOUND MUSTUSEBASEORDER INVALIDPROCEDURENAME"},
    {0x28,
     "LOCKED UNLOCKFAILED FILEBUSY DIRBUSY FILELOCKED DIRLOCKED ALREADYLOCKED "
     "NOTLOCKED LOCKTIMEOUT GROUPLOCKED LOSTTBLLOCK LOSTEXCLACCESS NEEDEXCLACCESS "
     "RECGROUPCONFLICT DEADLOCK ACTIVETRAN NOACTIVETRAN RECLOCKFAILED OPTRECLOCKFAILED "
     "OPTRECLOCKRECDEL"},
    {0x29,
     "NOTSUFFFIELDRIGHTS NOTSUFFTABLERIGHTS NOTSUFFFAMILYRIGHTS READONLYDIR READONLYDB "
     "READONLYFLD TBLENCRYPTED NOTSUFFSQLRIGHTS"},
    {0x2A,
     "NOTABLOB BLOBOPENED BLOBNOTOPENED NA NOTINDEXED NOTINITIALIZED MULTIPLEINIT "
     "NOTSAMESESSION PDXDRIVERNOTACTIVE DRIVERNOTLOADED TABLEREADONLY NOASSOCINDEX "
     "HASOPENCURSORS NOTABLESUPPORT INDEXREADONLY NOUNIQUERECS NOTCURSESSION "
     "INVALIDKEYWORD CONNECTINUSE CONNECTNOTSHARED"},
    {0x2B,
     "OSEINVFNC OSENOENT OSENOPATH OSEMFILE OSEACCES OSEBADF OSECONTR OSENOMEM "
     "OSEINVMEM OSEINVENV OSEINVFMT OSEINVACC OSEINVDAT OSENODEV(15) OSECURDIR "
     "OSENOTSAM OSENMFILE OSEINVAL OSE2BIG OSENOEXEC OSEXDEV OSEDOM(33) OSERANGE "
     "OSEEXIST OSUNKNOWN(39) OSSHAREVIOL(50) OSLOCKVIOL OSNETERR(101) OSINT24FAIL(52) "
     "OSDRIVENOTREADY NOTEXACT(100) OSUNKNOWNSRVERR(102) SERVERNOMEMORY "
     "OSALREADYLOCKED OSNOTLOCKED NOSERVERSW"},
    {0x2C,
     "NETINITERR NETUSERLIMIT NETFILEVERSION NETFILELOCKED DIRNOTPRIVATE NETMULTIPLE "
     "NETUNKNOWN SHAREDFILE SHARENOTLOADED NOTONANETWORK SQLCOMMLOST SERVERCOMMLOST"},
    {0x3E,
     "WRONGDRVNAME WRONGSYSVER WRONGDRVVER WRONGDRVTYPE CANNOTLOADDRV CANNOTLOADLDDRV "
     "VENDINITFAIL"},
    {0x2E,
     "AMBJOASY AMBJOSYM AMBOUTEX AMBOUTPR AMBSYMAS ASETOPER AVENUMDA BADEXPR1 BADFLDOR "
     "BADVNAME BITMAPER CALCBADR CALCTYPE CHGTO1TI CHGTOCHG CHGTOEXP CHGTOINS CHGTONEW "
     "CHGTOVAL CHKMRKFI CHNAMBIG CHUNKERR COLUM255 CONAFTAS DEL1TIME DELAMBIG DELFRDEL "
     "EGFLDTYP EXAMINOR EXPRTYPS EXTRACOM EXTRAORO EXTRAQRO FIND1ATT FINDANST GRPNOSET "
     "GRPSTROW IDFINLCO IDFPERLI INANEXPR INS1TIME INSAMBIG INSDELCH INSEXPRR INSTOINS "
     "ISARRAY LABELERR LINKCALC LNGVNAME LONGQURY MEMVPROC MISNGCOM MISNGRPA MISSRTQU "
     "NAMTWICE NOCHKMAR NODEFOCC NOGROUPS NONSENSE NOPATTER NOSUCHDA NOVALUE ONLYCONS "
     "ONLYSETR OUTSENS1 OUTTWIC1 PAROWCNT PERSEPAR PROCPLSW PWINSRTS PWMODRTS "
     "QBEFLDFOUND QBENOFENCE QBENOFENCET QBENOHEADERT QBENOTAB QBENUMCOLS QBEOPENTAB "
     "QBETWICE QRYNOANSWER QRYNOTPREP QUAINDEL QUAININS RAGININS RAGINSET ROWUSERR "
     "SETEXPEC SETVAMB1 SETVBAD1 SETVDEF1 SUMNUMBE TBLISWP3 TOKENNOT TWOOUTR1 TYPEMISM "
     "UNRELQ1 UNUSEDST USEINSDE USEOFCHG VARMUSTF REGISTER LONGEXPR REFRESH CANCEXCEPT "
     "DBEXCEPT MEMEXCEPT FATALEXCEPT QRYNIY BADFORMAT QRYEMPTY NOQRYTOPREP "
     "BUFFTOOSMALL QRYNOTPARSE NOTHANDLE QRYSYNTERR QXFLDCOUNT QXFLDSYMNOTFOUND "
     "QXTBLSYMNOTFOUND BLOBTERM BLOBERR RESTARTQRY UNKNOWNANSTYPE SQLG_MDIST "
     "SQLG_NOARI SQLG_LIKEN SQLG_ALPHO SQLG_DATEO SQLG_RELOP SQLG_ONLYC SQLG_CNTLN "
     "SQLG_CHINI SQLG_UNION SQLG_SLFIN SQLG_OTJVR SQLG_STROW SQLG_QUANT SQLG_REGSO "
     "SQLG_COUNT SQLG_AVERA SQLG_DATEA SQLG_BADPT SQLG_RELPA SQLG_PATRN SQLG_FNDSU "
     "SQLG_IFDCS SQLG_IDCCO SQLG_ONLYI SQLG_SQLDIALECT SQLG_NOQUERY BLOBGROUP "
     "QRYNOPROP ANSTYPNOTSUP ANSALIASNOTSUP INSBLOBREQ CHGUNIQUENDXREQ DELUNIQUENDXREQ "
     "SQLNOFULLUPDATE CANTEXECREMOTE UNEXPECTEDEOC SQLPARAMNOTSET QUERYTOOLONG"},
    {0x2F,
     "INTERFACEVER INDEXOUTOFDATE OLDVERSION VALFILEINVALID BLOBVERSION ENGQRYMISMATCH "
     "SERVERVERSION"},
    {0x30, "NOTSUPPORTED NIY TABLESQL SEARCHCOLREQD NOMULTCONNECT"},
    {0x31,
     "INVALIDDBSPEC UNKNOWNDBTYPE INVALIDSYSDATA UNKNOWNNETTYPE NOTONTHATNET "
     "INVALIDCFGPARAM"},
    {0x32,
     "OBJIMPLICITLYDROPPED OBJMAYBETRUNCATED OBJIMPLICITLYMODIFIED VALIDATEDATA "
     "VALFIELDMODIFIED TABLELEVELCHANGED COPYLINKEDTABLES OTHERSERVERLOADED "
     "OBJIMPLICITLYTRUNCATED VCHKMAYNOTBEENFORCED MULTIPLEUNIQRECS FIELDMUSTBETRIMMED"},
    {0x33, "FILEEXISTS BLOBMODIFIED UNKNOWNSQL TABLEEXISTS PDX10TABLE"},
    {0x34, "DIFFSORTORDER DIRINUSEBYOLDVER PDX35LDDRIVER"},
    {0x2D, "REQOPTPARAM INVALIDOPTPARAM"},
};

struct Expected {
  uint16_t code;
  std::string name;
};

std::vector<Expected> ExpectedTable() {
  std::vector<Expected> result;
  for (const auto& c : kCategories) {
    std::istringstream words(c.names);
    std::string word;
    int number = 0;
    while (words >> word) {
      const auto open = word.find('(');
      number = open == std::string::npos ? number + 1 : std::stoi(word.substr(open + 1));
      const uint16_t code = c.category == 0 ? 0 : static_cast<uint16_t>(c.category * 256 + number);
      result.push_back({code, word.substr(0, open)});
    }
  }
  return result;
}

TEST(ErrorNames, TableMatchesTheCategoryLists) {
  const auto expected = ExpectedTable();
  const auto table = ErrorNameTable();
  ASSERT_EQ(expected.size(), 471u);
  ASSERT_EQ(table.size(), expected.size());
  for (size_t i = 0; i < table.size(); ++i) {
    EXPECT_EQ(table[i].code, expected[i].code) << "index " << i;
    EXPECT_EQ(table[i].mnemonic, expected[i].name) << "index " << i;
    EXPECT_EQ(LoadEngineString(14000 + static_cast<int>(i)), expected[i].name);
  }
  EXPECT_EQ(table[270].code, 0x2E01);
  EXPECT_EQ(table[430].code, 0x2EA1);
  EXPECT_EQ(LoadEngineString(14471), "");
  EXPECT_EQ(LoadEngineString(9023), "");
}

TEST(ErrorNames, NamesAndGenericDescriptions) {
  EXPECT_EQ(GetErrorName(0x2204), "DBIERR_RECDELETED");
  EXPECT_EQ(GetErrorName(0), "DBIERR_NONE");
  EXPECT_EQ(GetErrorName(0x3001), "DBIERR_NOTSUPPORTED");
  EXPECT_EQ(GetErrorName(0x2B65), "DBIERR_OSNETERR");
  EXPECT_EQ(GetErrorName(0x1234), "Vader (BDE) Error 4660.");
  EXPECT_EQ(GetErrorName(0xFFFF), "Vader (BDE) Error 65535.");
  EXPECT_EQ(GetErrorName(0x2202, 9), "DBIERR_EO");
}

TEST(ErrorNames, TranslateStatusUsesFirstMatchAndPassesTheRestThrough) {
  const StatusCodePair pairs[] = {{9, 0x2202}, {4, 0x2204}, {9, 0x1111}};
  EXPECT_EQ(TranslateStatus(pairs, 3, 9), 0x2202);
  EXPECT_EQ(TranslateStatus(pairs, 3, 4), 0x2204);
  EXPECT_EQ(TranslateStatus(pairs, 3, 77), 77);
  EXPECT_EQ(TranslateStatus(pairs, 3, 0), 0);
  EXPECT_EQ(TranslateStatus(pairs, 0, 9), 9);
  EXPECT_EQ(TranslateStatus(pairs, -1, 9), 9);
}

TEST(EngineExceptions, FamilyCodesAndSilence) {
  try {
    RaiseEOF();
  } catch (const EVaderBoundryError& e) {
    EXPECT_EQ(e.Code(), DBIERR_EOF);
    EXPECT_FALSE(IsShownToUser(e));
    EXPECT_STREQ(e.what(), "");
  }
  EXPECT_THROW(RaiseBOF(), EVaderBOFError);
  try {
    RaiseEngineErrorContext(0x2728, std::string(300, 'x'));
  } catch (const EVaderEngineError& e) {
    EXPECT_EQ(e.Code(), 0x2728);
    EXPECT_EQ(e.Context().size(), 255u);
    EXPECT_EQ(e.NativeError(), 0);
    EXPECT_EQ(dynamic_cast<const EVaderBoundryError*>(&e), nullptr);
  }
}

TEST(EngineExceptions, NotSupportedCarriesAnEmptyContextForEngineIds) {
  try {
    RaiseNotSupported(9023);
    FAIL();
  } catch (const EVaderEngineError& e) {
    EXPECT_EQ(e.Code(), 0x3001);
    EXPECT_EQ(e.Context(), "");
  }
}

TEST(EngineExceptions, CheckRoutines) {
  int value = 0;
  EXPECT_TRUE(CheckCondition(true, 1));
  EXPECT_EQ(CheckParam(&value), &value);
  try {
    CheckHandle<int>(nullptr);
    FAIL();
  } catch (const EVaderEngineError& e) {
    EXPECT_EQ(e.Code(), DBIERR_INVALIDHNDL);
  }
  try {
    CheckParam<int>(nullptr);
    FAIL();
  } catch (const EVaderEngineError& e) {
    EXPECT_EQ(e.Code(), DBIERR_INVALIDPARAM);
  }
}

// A driver-style error with a native status and its own description.
class TestDriverError : public EVaderEngineError {
 public:
  TestDriverError(uint16_t code, int32_t native) : EVaderEngineError(code) {
    SetNativeError(native);
  }
  std::string GetNativeMessage() const override {
    return "Btrieve status " + std::to_string(NativeError());
  }
};

TErrorEntry MakeEntry(uint16_t code) {
  TErrorEntry entry{};
  entry.Code = code;
  return entry;
}

TEST(ErrorStack, UnnamedCodeUsesTheNativeStatusInTheMessage) {
  TErrorStack stack(10);
  stack.PushException(EVaderEngineError(0x1234));
  TErrorEntry entry;
  ASSERT_TRUE(stack.GetEntry(1, entry));
  EXPECT_STREQ(entry.Message, "Vader (BDE) Error 0.");
  EXPECT_EQ(uint16_t{entry.Code}, 0x1234);
}

TEST(ErrorStack, ContextIsCutTo127CharactersInLineOne) {
  TErrorStack stack(10);
  stack.PushException(EVaderEngineError(0x2728, std::string(200, 'c')));
  TErrorEntry entry;
  ASSERT_TRUE(stack.GetEntry(1, entry));
  EXPECT_EQ(std::string(entry.Context[0]), std::string(127, 'c'));
  EXPECT_STREQ(entry.Context[1], "");
  EXPECT_STREQ(entry.Context[3], "");
  EXPECT_STREQ(entry.Message, "DBIERR_NOSUCHTABLE");
}

TEST(ErrorStack, FullStackDropsTheOldestAndKeepsNewestFirst) {
  TErrorStack stack(10);
  for (uint16_t i = 1; i <= 11; ++i) stack.Push(MakeEntry(i));
  EXPECT_EQ(stack.Count(), 10);
  TErrorEntry entry;
  ASSERT_TRUE(stack.GetEntry(1, entry));
  EXPECT_EQ(uint16_t{entry.Code}, 11);
  ASSERT_TRUE(stack.GetEntry(10, entry));
  EXPECT_EQ(uint16_t{entry.Code}, 2);
  EXPECT_FALSE(stack.GetEntry(11, entry));
  EXPECT_FALSE(stack.GetEntry(0, entry));
}

TEST(ErrorStack, CapacityIsClampedAndClearKeepsNothingReadable) {
  EXPECT_EQ(TErrorStack(25).Capacity(), 20);
  TErrorStack empty(0);
  empty.Push(MakeEntry(5));
  EXPECT_FALSE(empty.HasEntries());
  TErrorStack stack(3);
  stack.Push(MakeEntry(5));
  EXPECT_TRUE(stack.HasEntries());
  stack.Clear();
  TErrorEntry entry;
  EXPECT_FALSE(stack.GetEntry(1, entry));
}

TEST(ErrorReadOut, EmptyStackLeavesTheCallersBuffersAlone) {
  TErrorStack stack(10);
  int32_t native = 42;
  char text[kErrorTextSize] = "untouched";
  EXPECT_EQ(GetErrorEntry(stack, 1, native, text), 0);
  EXPECT_EQ(native, 42);
  EXPECT_STREQ(text, "untouched");
}

TEST(ErrorReadOut, UnmappedDriverStatusGetsTheDbiErrorCodeLine) {
  TErrorStack stack(10);
  stack.PushException(TestDriverError(99, 99));
  int32_t native = 0;
  char text[kErrorTextSize];
  EXPECT_EQ(GetErrorEntry(stack, 1, native, text), 99);
  EXPECT_EQ(native, 99);
  EXPECT_STREQ(text, "Btrieve status 99\r\nDBI Error Code = Vader (BDE) Error 99.");
}

TEST(ErrorReadOut, MappedErrorShowsNativeTextNameAndContext) {
  TErrorStack stack(10);
  TestDriverError error(DBIERR_EOF, 9);
  error.SetContext("CUSTOMER");
  stack.PushException(error);
  int32_t native = 0;
  char text[kErrorTextSize];
  EXPECT_EQ(GetErrorEntry(stack, 1, native, text), DBIERR_EOF);
  EXPECT_STREQ(text, "Btrieve status 9\r\nDBIERR_EOF\r\nCUSTOMER");
}

TEST(ErrorReadOut, TextIsCutTo260Characters) {
  TErrorStack stack(10);
  TErrorEntry entry = MakeEntry(DBIERR_EOF);
  std::strcpy(entry.Message, "DBIERR_EOF");
  for (auto& line : entry.Context) std::memset(line, 'z', 127);
  stack.Push(entry);
  int32_t native = 0;
  char text[kErrorTextSize + 8];
  std::memset(text, '#', sizeof text);
  GetErrorEntry(stack, 1, native, text);
  EXPECT_EQ(std::strlen(text), 260u);
  EXPECT_EQ(text[261], '#');
}

TEST(ErrorReadOut, GetErrorStringFindsTheCodeOrReportsIt) {
  TErrorStack stack(10);
  stack.PushException(EVaderEngineError(0x2728, "ORDERS"));
  stack.PushException(EVaderEngineError(DBIERR_EOF));
  char text[kErrorTextSize];
  EXPECT_EQ(GetErrorString(stack, 0x2728, text), 0);
  EXPECT_STREQ(text, "DBIERR_NOSUCHTABLE\r\nORDERS");
  EXPECT_EQ(GetErrorString(stack, 0x2701, text), 0x2701);
  EXPECT_STREQ(text, "");
}

TEST(ErrorReadOut, GuardKeepsOnlyTheLastEngineErrorAndPassesOthers) {
  TErrorStack stack(10);
  EXPECT_EQ(GuardEngineCall(stack, [] { RaiseEngineError(0x2706); }), 0x2706);
  EXPECT_EQ(GuardEngineCall(stack, [] { RaiseEOF(); }), DBIERR_EOF);
  EXPECT_EQ(stack.Count(), 1);
  EXPECT_EQ(GuardEngineCall(stack, [] {}), 0);
  EXPECT_EQ(stack.Count(), 1);
  EXPECT_THROW(GuardEngineCall(stack, [] { throw std::runtime_error("other"); }),
               std::runtime_error);
  EXPECT_EQ(stack.Count(), 1);
}

}  // namespace
}  // namespace vader
