// The Btrieve session and database over the sample database: opening by directory and alias,
// tables by name, file name, owner and resource, table and field lists, dictionary maintenance,
// client identifiers, transactions and the registry settings.

#include <cstring>
#include <thread>

#include "btrieve/BtrConv.h"
#include "btrieve/BtrDict.h"
#include "btrieve/BtrTestSupport.h"
#include "btrieve/DatabaseSupport.h"
#include "common/EngineErrorCode.h"
#include "engine/BseRgtry.h"

namespace vader::testing {
namespace {

std::vector<std::string> Names(const std::vector<std::vector<uint8_t>>& rows) {
  std::vector<std::string> names;
  for (const auto& row : rows) names.push_back(reinterpret_cast<const char*>(row.data()));
  return names;
}

const std::vector<std::string> kUserTables = {"Customers", "Suppliers", "Products",
                                              "Employees", "Orders",    "OrderLines"};

TEST_F(BtrDatabaseTest, SampleOpensByDirectoryAndByRegisteredAlias) {
  TBtrDatabase& db = Sample();
  EXPECT_STREQ("Btrieve (FILE.DDF)", db.Desc().DbName);
  EXPECT_STREQ("BTRIEVE", db.Desc().DbType);
  EXPECT_EQ(sample_ + "/", db.Directory());
  EXPECT_EQ(session_->ClientID(), db.ClientIDRef());
  EXPECT_TRUE(session_->DatabasesOpened());

  TBaseTable* list = nullptr;
  db.OpenTableList(false, false, nullptr, list);
  const auto rows = ReadAll(*list, sizeof(TableListRecord));
  EXPECT_EQ(kUserTables, Names(rows));
  EXPECT_STREQ("CUSTOMER.BTR", reinterpret_cast<const TableListRecord*>(rows[0].data())->FileName);
  delete list;
  db.OpenTableList(true, true, nullptr, list);
  const auto all = ReadAll(*list, sizeof(ExtendedTableListRecord));
  delete list;
  ASSERT_EQ(9u, all.size());
  const auto* first = reinterpret_cast<const ExtendedTableListRecord*>(all[0].data());
  EXPECT_STREQ("X$File", first->Base.Name);
  EXPECT_EQ(kFileFlagDictionary, first->Flags);
  EXPECT_EQ(4, reinterpret_cast<const ExtendedTableListRecord*>(all[3].data())->TableId);
  bool exists = false;
  db.TableExists("orderlines", exists);
  EXPECT_TRUE(exists);
  db.SetDirectory(sample_.c_str());  // the client's current directory
  char current[kMaxPathLength + 1] = {};
  db.GetDirectory(current);
  EXPECT_EQ(sample_, current);

  session_->AddAliasToRegistry("Shop", ("PhysicalName:\"" + sample_ + "\"").c_str());
  TBtrDatabase& shop = OpenDatabase("Shop");
  EXPECT_EQ(sample_ + "/", shop.Directory());
  uint32_t count = 0;
  OpenTable(shop, "Customers").GetRecordCount(count);
  EXPECT_EQ(400u, count);
  EXPECT_EQ(DBIERR_UNKNOWNDB, ErrorCode([&] { OpenDatabase("NoSuchAlias"); }));
}

TEST_F(BtrDatabaseTest, TablesOpenByNameFileNameAndOwner) {
  TBtrDatabase& db = Sample();
  TBtrTable& byName = OpenTable(db, "customers");
  EXPECT_EQ(sample_ + "/CUSTOMER.BTR", byName.GetFileName());
  EXPECT_EQ(10, byName.FieldCache().Count());
  EXPECT_EQ(byName.ClientIDRef(), session_->ClientID());
  const std::string firstName = NextText(byName, 2);
  EXPECT_FALSE(firstName.empty());
  EXPECT_EQ(firstName, NextText(OpenTable(db, "customer.btr"), 2));
  EXPECT_EQ(firstName, NextText(OpenTable(db, sample_ + "/CUSTOMER.BTR"), 2));
  EXPECT_EQ(2, OpenTable(db, "Customers", "2").Btr().KeyNumber());

  const auto missing = [&] { OpenTable(db, "Invoices"); };
  EXPECT_EQ(204, StatusOf(missing));
  EXPECT_EQ(DBIERR_NOSUCHTABLE, ErrorCode(missing));
  const int opened = db.Tables().Count();
  EXPECT_EQ(204, StatusOf(missing));
  EXPECT_EQ(opened, db.Tables().Count());  // a table that failed to open is not kept

  {  // an owner on the orders file, needed for any access
    TWinBtr orders;
    orders.Open(sample_ + "/ORDERS.BTR");
    char owner[9] = "Secret";
    std::memcpy(orders.KeyBuffer(), owner, sizeof owner);
    orders.CallDirect(29, owner, sizeof owner);
  }
  EXPECT_EQ(51, StatusOf([&] { OpenTable(db, "Orders"); }));
  EXPECT_EQ(51, StatusOf([&] { OpenTable(db, "Orders;OWNER:Wrong"); }));
  TBtrTable& orders = OpenTable(db, "Orders;owner:Secret");
  EXPECT_STREQ("Orders", orders.GetTableName());
  EXPECT_STREQ("Secret", orders.OwnerName());
  uint32_t count = 0;
  orders.GetRecordCount(count);
  EXPECT_EQ(1500u, count);
}

TEST_F(BtrDatabaseTest, TablesTakeTheirFieldsFromAResource) {
  TBtrDatabase& db = Sample();
  const std::string firstName = NextText(OpenTable(db, "Customers"), 2);
  for (const char* name : {"CUSTOMER.BTR;RES:CUSTDEF", "Customers;RES:custdef;OWNER:x"}) {
    TBtrTable& table = OpenTable(db, name);
    EXPECT_TRUE(table.HasResource()) << name;
    EXPECT_EQ("CustName", table.FieldCache().GetItem(2).FieldName()) << name;
    EXPECT_EQ(firstName, NextText(table, 2)) << name;
  }
  TBaseTable* fields = nullptr;
  db.OpenFieldList("Customers;RES:CUSTDEF", nullptr, false, fields);
  uint32_t count = 0;
  fields->GetRecordCount(count);
  EXPECT_EQ(10u, count);
  EXPECT_STREQ(
      "CustNo",
      reinterpret_cast<const FieldDesc*>(ReadAll(*fields, sizeof(FieldDesc))[0].data())->FieldName);
  delete fields;

  for (const char* name : {"CUSTOMER.BTR;RES:NOSUCH", "Customers;RES:NOSUCH"}) {
    TBtrTable& fallback = OpenTable(db, name);
    EXPECT_FALSE(fallback.HasResource()) << name;
    EXPECT_EQ("Name", fallback.FieldCache().GetItem(2).FieldName()) << name;
  }
}

TEST_F(BtrDatabaseTest, FieldListMatchesTheDictionary) {
  TBtrDatabase& db = Sample();
  TBaseTable* list = nullptr;
  db.OpenFieldList("Orders", nullptr, false, list);
  std::unique_ptr<TBaseTable> owned(list);
  uint32_t count = 0;
  list->GetRecordCount(count);
  const auto rows = ReadAll(*list, sizeof(FieldDesc));
  ASSERT_EQ(count, rows.size());
  TBtrTable& table = OpenTable(db, "Orders");
  ASSERT_EQ(table.FieldCache().Count(), static_cast<int>(count));
  uint16_t offset = 0;
  for (size_t i = 0; i < rows.size(); ++i) {
    FieldDesc listed;
    std::memcpy(&listed, rows[i].data(), sizeof listed);
    const FieldDesc& cached = table.FieldCache().GetItem(static_cast<int>(i + 1)).Desc();
    EXPECT_EQ(i + 1, listed.FieldNumber);
    EXPECT_STREQ(cached.FieldName, listed.FieldName);
    EXPECT_EQ(cached.FieldType, listed.FieldType) << listed.FieldName;
    EXPECT_EQ(cached.FieldSubType, listed.FieldSubType) << listed.FieldName;
    EXPECT_EQ(offset, listed.FieldOffset) << listed.FieldName;  // the sample packs its fields
    offset = static_cast<uint16_t>(listed.FieldOffset + listed.FieldLength);
  }
  const auto* id = reinterpret_cast<const FieldDesc*>(rows[0].data());
  EXPECT_EQ(fldINT32, id->FieldType);
  EXPECT_EQ(4, id->FieldLength);
}

TEST_F(BtrDatabaseTest, DictionaryEntriesAreRenamedAndDeleted) {
  TBtrDatabase& db = Sample();
  db.RenameTable("customers", "Clients");
  EXPECT_EQ(204, StatusOf([&] { OpenTable(db, "Customers"); }));
  TBtrTable& clients = OpenTable(db, "CLIENTS");
  EXPECT_EQ(sample_ + "/CUSTOMER.BTR", clients.GetFileName());
  EXPECT_EQ(10, clients.FieldCache().Count());
  EXPECT_EQ(204, StatusOf([&] { db.RenameTable("Customers", "Other"); }));
  EXPECT_EQ(DBIERR_TABLEEXISTS, ErrorCode([&] { db.RenameTable("Clients", "orders"); }));

  db.DeleteTable("Orders");
  EXPECT_EQ(204, StatusOf([&] { OpenTable(db, "Orders"); }));
  EXPECT_EQ(204, StatusOf([&] { db.DeleteTable("Orders"); }));
  EXPECT_TRUE(std::filesystem::exists(sample_ + "/ORDERS.BTR"));
  // No field record of the table (id 8) is left.
  DictionaryFile orders{};
  orders.TableId = 8;
  EXPECT_TRUE(ReadAll(*std::unique_ptr<TBaseTable>(db.OpenFieldList("x", &orders)), 62).empty());
  TBaseTable* list = nullptr;
  db.OpenTableList(false, false, nullptr, list);
  EXPECT_EQ(
      (std::vector<std::string>{"Clients", "Suppliers", "Products", "Employees", "OrderLines"}),
      Names(ReadAll(*list, sizeof(TableListRecord))));
  delete list;
}

TEST_F(BtrDatabaseTest, SessionsHaveTheirOwnClientsAndTransactions) {
  std::unique_ptr<TBtrSession> other(NewSession("Other"));
  EXPECT_NE(0, std::memcmp(other->ClientID(), session_->ClientID(), kClientIdSize));

  // A session of a worker thread uses the library the main thread started, and leaves it.
  std::thread([&] {
    std::unique_ptr<TBtrSession> worker(NewSession("Worker"));
    EXPECT_EQ(400u,
              OpenTable(OpenDatabase(sample_, worker.get()), "Customers").Btr().RecordCount());
  }).join();
  EXPECT_TRUE(BtrieveLibraryLoaded());

  TBtrDatabase& db = Sample();
  TBtrDatabase& seen = OpenDatabase(sample_, other.get());
  EXPECT_EQ(other->ClientID(), seen.ClientIDRef());
  const auto counts = [&] {
    uint32_t a = 0, b = 0;
    OpenTable(seen, "Customers").GetRecordCount(a);
    OpenTable(seen, "OrderLines").GetRecordCount(b);
    return std::pair(a, b);
  };
  const auto before = counts();
  const auto deleteFirst = [&](const char* name) {
    TBtrTable& t = OpenTable(db, name);
    CursorProps props{};
    t.GetCursorProps(props);
    std::vector<uint8_t> record(props.RecBufSize);
    t.GetNextRecord(dbiNOLOCK, record.data(), nullptr);
    t.DeleteRecord(record.data());
  };
  for (const uint32_t end : {xendABORT, xendCOMMIT}) {
    TTranHandle tran = nullptr;
    db.BeginTran(0, tran);
    EXPECT_EQ(&db, tran);
    EXPECT_EQ(DBIERR_ACTIVETRAN, ErrorCode([&] { db.BeginTran(0, tran); }));
    deleteFirst("Customers");
    deleteFirst("OrderLines");
    db.EndTran(tran, end);
    EXPECT_EQ(xsINACTIVE, db.TranState());
    const auto after = counts();
    const uint32_t removed = end == xendABORT ? 0 : 1;
    EXPECT_EQ(before.first - removed, after.first) << end;
    EXPECT_EQ(before.second - removed, after.second) << end;
  }
}

TEST_F(BtrDatabaseTest, RegistrySettingsTakeEffect) {
  session_.reset();
  TRightsRegistry reg;
  reg.SetRootKey(platform::HKEY_LOCAL_MACHINE);
  const auto group = [&](const char* name) {
    reg.CloseKey();
    EXPECT_TRUE(
        reg.OpenKey(std::string("\\Software\\Vader\\Btrieve\\Configuration\\") + name, true));
  };
  group("Btrieve Client");
  reg.WriteString("DLLName", "NoSuchRequester.DLL");
  reg.WriteString("Options", "/M:64");
  try {
    delete NewSession(nullptr);
    ADD_FAILURE() << "a session without its client library";
  } catch (const EBtrieveEngineError& e) {
    EXPECT_EQ(20, e.NativeError());
    EXPECT_EQ("/M:64", e.ExtraText());
  }
  reg.WriteString("DLLName", "WBTRV32.DLL");  // loaded by its lower-case name
  group("Intl");
  reg.WriteInteger("IgnoreOemAnsi", 1);
  group("Fields");
  reg.WriteString("StringPaddedSpaces", "false");
  group("Records");
  reg.WriteInteger("TrueRecordCount", 0);
  group("Default Session");
  reg.WriteString("Name", "Configured");
  reg.WriteString("Directory", sample_);
  session_.reset(NewSession(nullptr));
  EXPECT_EQ("wbtrv32.dll", BtrSettings().DllName);
  EXPECT_STREQ("Configured", session_->SessionName());
  EXPECT_STREQ(sample_.c_str(), session_->NetDir());
  EXPECT_TRUE(session_->IgnoreOemAnsi());
  EXPECT_FALSE(session_->IgnoreAnsiOem());
  EXPECT_FALSE(ConversionOptions().StringPaddedSpaces);

  // Under a range the count is the file's unless true counts are asked for.
  TBtrTable& customers = OpenTable(Sample(), "Customers");
  const int32_t low = 1, high = 10;
  CursorProps props{};
  customers.GetCursorProps(props);
  std::vector<uint8_t> record(props.RecBufSize);
  customers.SetRecordBuffer(record.data());
  customers.SetRange(true, 1, 0, &low, true, 1, 0, &high, true);
  uint32_t count = 0;
  customers.GetRecordCount(count);
  EXPECT_EQ(400u, count);
  BtrSettings().TrueRecordCount = true;
  customers.GetRecordCount(count);
  EXPECT_EQ(10u, count);
  ConversionOptions() = TConversionOptions{};
}

}  // namespace
}  // namespace vader::testing
