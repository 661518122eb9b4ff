#include "tools/SampleDatabase.h"

#include <array>
#include <filesystem>
#include <vector>

#include "tools/Dictionary.h"
#include "tools/Records.h"
#include "tools/TableRecord.h"

namespace vader::tools {
namespace {

// Variable-length tables end in a memo (ZSTRING of 256 bytes or more); their fixed part, the
// file's record length, stops where it begins. Photo222 is a binary value in "###" text.
const char* const kSchema = R"(# The sample business database.
table name=Customers file=CUSTOMER.BTR page=4096
field name=Id type=autoincrement size=4
field name=Name type=string size=40
field name=Contact type=zstring size=30
field name=City type=zstring size=25
field name=Country type=lstring size=21
field name=Phone type=string size=20
field name=CreditLimit type=currency size=8
field name=Balance type=decimal size=8 decimals=2
field name=Active type=logical size=1
field name=Since type=date size=4
index number=0
part field=Id
index number=1 duplicates modifiable
part field=Name nocase
index number=2 duplicates modifiable
part field=Country
part field=City

table name=Suppliers file=SUPPLIER.BTR page=4096 variable record=89
field name=Id type=integer size=4
field name=Name type=string size=40
field name=Country type=lstring size=21
field name=Phone type=string size=20
field name=Rating type=integer size=2
field name=Active type=logical size=2
field name=Notes type=zstring size=400
index number=0
part field=Id
index number=1 modifiable
part field=Name nocase

table name=Products file=PRODUCT.BTR page=4096 variable record=83
field name=Id type=autoincrement size=4
field name=Code type=string size=12
field name=Name type=string size=40
field name=SupplierId type=integer size=4
field name=UnitPrice type=decimal size=6 decimals=2
field name=Stock type=integer size=4
field name=Weight type=float size=8
field name=Discontinued type=logical size=1
field name=Category type=unsigned size=4
field name=Description type=zstring size=500
index number=0
part field=Id
index number=1
part field=Code acs
index number=2 duplicates
part field=SupplierId
index number=3 duplicates modifiable
part field=UnitPrice descending

table name=Employees file=EMPLOYEE.BTR page=4096 variable record=107
field name=Id type=integer size=4
field name=LastName type=string size=25
field name=FirstName type=string size=20
field name=Title type=zstring size=30
field name=BirthDate type=date size=4
field name=HireDate type=date size=4
field name=StartTime type=time size=4
field name=Salary type=decimal size=8 decimals=2
field name=ManagerId type=integer size=4
field name=Extension type=integer size=2
field name=Remote type=logical size=2
field name=Photo222 type=zstring size=600
index number=0
part field=Id
index number=1 duplicates modifiable
part field=LastName nocase
part field=FirstName nocase
index number=2 duplicates modifiable
part field=HireDate descending

table name=Orders file=ORDERS.BTR page=4096
field name=Id type=autoincrement size=4
field name=CustomerId type=integer size=4
field name=EmployeeId type=integer size=4
field name=OrderDate type=date size=4
field name=OrderTime type=time size=4
field name=ShipDate type=date size=4
field name=Total type=currency size=8
field name=Paid type=logical size=1
field name=Status type=string size=10
index number=0
part field=Id
index number=1 duplicates
part field=CustomerId
part field=OrderDate
index number=2 duplicates modifiable
part field=OrderDate descending
index number=3 duplicates modifiable null
part field=ShipDate

table name=OrderLines file=ORDLINE.BTR page=4096
field name=OrderId type=integer size=4
field name=LineNo type=integer size=2
field name=ProductId type=integer size=4
field name=Quantity type=integer size=4
field name=UnitPrice type=decimal size=6 decimals=2
field name=Discount type=float size=4
field name=Comment type=lstring size=31
index number=0
part field=OrderId
part field=LineNo
index number=1 duplicates
part field=ProductId
)";

// splitmix64: the same numbers on every platform and compiler.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  int Range(int lo, int hi) {
    return lo + static_cast<int>(Next() % static_cast<uint64_t>(hi - lo + 1));
  }
  template <size_t N>
  const char* Pick(const std::array<const char*, N>& items) {
    return items[Next() % N];
  }

 private:
  uint64_t state_;
};

const std::array<const char*, 24> kFirst = {
    "Anna",    "Bernard", "Chloe",  "David", "Elena",  "Frank", "Greta",  "Hugo",
    "Ines",    "Jonas",   "Klara",  "Lukas", "Marie",  "Nils",  "Olga",   "Pierre",
    "Quentin", "Rosa",    "Stefan", "Tanja", "Ulrich", "Vera",  "Walter", "Yvonne"};
const std::array<const char*, 24> kLast = {
    "Adler",   "Bauer",   "Caron",  "Dubois",  "Eriksen", "Fischer", "Garcia", "Hansen",
    "Ivanova", "Jansen",  "Keller", "Lambert", "Moreau",  "Novak",   "Olsen",  "Petit",
    "Quinn",   "Richter", "Schulz", "Thomas",  "Urban",   "Vogel",   "Weber",  "Zimmermann"};
struct Place {
  const char* city;
  const char* country;
};
const std::array<Place, 16> kPlaces = {{{"Berlin", "Germany"},
                                        {"Hamburg", "Germany"},
                                        {"Munich", "Germany"},
                                        {"Paris", "France"},
                                        {"Lyon", "France"},
                                        {"Lille", "France"},
                                        {"Vienna", "Austria"},
                                        {"Graz", "Austria"},
                                        {"Zurich", "Switzerland"},
                                        {"Geneva", "Switzerland"},
                                        {"Madrid", "Spain"},
                                        {"Seville", "Spain"},
                                        {"Rome", "Italy"},
                                        {"Milan", "Italy"},
                                        {"Oslo", "Norway"},
                                        {"Bergen", "Norway"}}};
const std::array<const char*, 12> kCompany = {"Alpine",   "Baltic",  "Central", "Delta",
                                              "Eastern",  "Federal", "Golden",  "Harbour",
                                              "Imperial", "Jade",    "Kestrel", "Lakeside"};
const std::array<const char*, 8> kTrade = {"Trading", "Supplies",  "Foods",     "Imports",
                                           "Works",   "Logistics", "Wholesale", "Partners"};
const std::array<const char*, 16> kGoods = {
    "Coffee", "Tea",     "Chocolate", "Cheese", "Olive Oil", "Pasta",    "Honey",    "Biscuits",
    "Jam",    "Mustard", "Vinegar",   "Rice",   "Flour",     "Sardines", "Crackers", "Syrup"};
const std::array<const char*, 8> kAdjective = {"Organic", "Classic", "Premium", "Mild",
                                               "Strong",  "Smoked",  "Sweet",   "Spiced"};
const std::array<const char*, 6> kTitles = {
    "Sales Representative", "Sales Manager", "Accountant",
    "Warehouse Clerk",      "Buyer",         "Office Assistant"};
const std::array<const char*, 4> kStatus = {"open", "packed", "shipped", "delivered"};

std::string Number(uint64_t n, int width) {
  std::string s = std::to_string(n);
  return s.size() >= static_cast<size_t>(width) ? s : std::string(width - s.size(), '0') + s;
}

std::string CompanyName(Random& r, uint64_t i) {
  // One draw per statement: the order of operands of + is unspecified, and the sample must be
  // the same whichever compiler built the generator.
  const std::string company = r.Pick(kCompany);
  const std::string trade = r.Pick(kTrade);
  return company + " " + trade + " " + Number(i, 5);
}

class Generator {
 public:
  Generator(const std::string& dir, const SampleCounts& counts,
            const std::function<void(const std::string&)>& progress)
      : dir_(dir), counts_(counts), progress_(progress), random_(20260101) {}

  uint64_t Run() {
    Dictionary::Create(dir_, kSampleDictionaryOwner, 1, true);
    Dictionary dictionary(dir_, kSampleDictionaryOwner);
    for (const TableDef& t : ParseSchema(kSchema))
      tables_.push_back(dictionary.Define(t, true, true));
    Fill(0, counts_.customers, [this](TableRecord& r, uint64_t i) { Customer(r, i); });
    Fill(1, counts_.suppliers, [this](TableRecord& r, uint64_t i) { Supplier(r, i); });
    Fill(2, counts_.products, [this](TableRecord& r, uint64_t i) { Product(r, i); });
    Fill(3, counts_.employees, [this](TableRecord& r, uint64_t i) { Employee(r, i); });
    FillOrders();
    return rows_;
  }

 private:
  template <typename Make>
  void Fill(size_t table, uint64_t count, Make make) {
    const TableDef& t = tables_[table];
    BtrFile file(dictionaryPath(t));
    BatchInserter inserter;
    for (uint64_t i = 1; i <= count; ++i) {
      TableRecord record(t);
      make(record, i);
      Bytes image = record.Finish();
      inserter.Insert(file, image);
    }
    rows_ += inserter.Finish();
    Report(t, count);
  }

  std::string dictionaryPath(const TableDef& t) const { return dir_ + "/" + t.location; }

  void Report(const TableDef& t, uint64_t count) {
    if (progress_) progress_(t.name + ": " + std::to_string(count) + " rows");
  }

  struct Day {
    int year, month, day;
  };

  // Each draw in a statement of its own, so every compiler makes the same sample.
  Day RandomDay(int fromYear, int toYear) {
    const int year = random_.Range(fromYear, toYear);
    const int month = random_.Range(1, 12);
    return {year, month, random_.Range(1, 28)};
  }

  std::string Phone() {
    const uint64_t area = random_.Next() % 100;
    return "+" + Number(area, 2) + " " + Number(random_.Next() % 10000000, 7);
  }

  void Customer(TableRecord& r, uint64_t i) {
    const Place& place = kPlaces[random_.Next() % kPlaces.size()];
    // Every seventh name in lower case, so the case-insensitive key has something to do.
    std::string name = CompanyName(random_, i);
    if (i % 7 == 0)
      for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const std::string first = random_.Pick(kFirst);
    const std::string contact = first + " " + random_.Pick(kLast);
    // Drawn before the record is built: arguments of one call are evaluated in no fixed order.
    const Day since = RandomDay(2012, 2024);
    r.Int("Id", 0)
        .Text("Name", name)
        .Text("Contact", contact)
        .Text("City", place.city)
        .Text("Country", place.country)
        .Text("Phone", Phone())
        .Cents("CreditLimit", random_.Range(10, 500) * 10000)
        .Cents("Balance", random_.Range(-50000, 2000000))
        .Int("Active", i % 11 != 0)
        .Date("Since", since.year, since.month, since.day);
  }

  void Supplier(TableRecord& r, uint64_t i) {
    const Place& place = kPlaces[random_.Next() % kPlaces.size()];
    r.Int("Id", static_cast<int64_t>(i) * 10)
        .Text("Name", CompanyName(random_, i))
        .Text("Country", place.country)
        .Text("Phone", Phone())
        .Int("Rating", random_.Range(1, 5))
        .Int("Active", i % 9 != 0)
        .Text("Notes", i % 3 == 0 ? ""
                                  : "Delivers to " + std::string(place.city) +
                                        " twice a week.\r\nPayment within 30 days.");
  }

  void Product(TableRecord& r, uint64_t i) {
    const std::string goods = random_.Pick(kGoods);
    const uint64_t supplier = 1 + random_.Next() % counts_.suppliers;
    r.Int("Id", 0)
        .Text("Code", (i % 5 == 0 ? "p-" : "P-") + Number(i, 6))
        .Text("Name", std::string(random_.Pick(kAdjective)) + " " + goods)
        .Int("SupplierId", static_cast<int64_t>(supplier) * 10)
        .Cents("UnitPrice", random_.Range(99, 9999))
        .Int("Stock", random_.Range(0, 500))
        .Real("Weight", random_.Range(50, 5000) / 1000.0)
        .Int("Discontinued", i % 13 == 0)
        .Int("Category", 1 + static_cast<int64_t>(random_.Next() % 8))
        .Text("Description", i % 4 == 0 ? "" : "A " + goods + " of our own selection.");
  }

  void Employee(TableRecord& r, uint64_t i) {
    Bytes photo(static_cast<size_t>(random_.Range(24, 120)), '\0');
    for (size_t b = 0; b < photo.size(); ++b)
      photo[b] = static_cast<char>(b < 12 ? 0 : random_.Next() % 256);  // zeros repeat as "!"
    const std::string lastName = random_.Pick(kLast);
    const std::string firstName = random_.Pick(kFirst);
    const std::string title = random_.Pick(kTitles);
    const Day birth = RandomDay(1960, 2000);
    const Day hire = RandomDay(2005, 2024);
    const int startHour = random_.Range(7, 10);
    const int startMinute = random_.Range(0, 3) * 15;
    r.Int("Id", static_cast<int64_t>(i))
        .Text("LastName", lastName)
        .Text("FirstName", firstName)
        .Text("Title", title)
        .Date("BirthDate", birth.year, birth.month, birth.day)
        .Date("HireDate", hire.year, hire.month, hire.day)
        .Time("StartTime", startHour, startMinute, 0)
        .Cents("Salary", random_.Range(2800, 9000) * 100)
        .Int("ManagerId", i == 1 ? 0 : 1 + static_cast<int64_t>(random_.Next() % (i - 1)))
        .Int("Extension", 200 + static_cast<int64_t>(i))
        .Int("Remote", i % 4 == 0)
        .Text("Photo222", EncodeBlobText(photo));
  }

  // Orders and their lines together, so that an order's total is the sum of its lines.
  void FillOrders() {
    const TableDef& orders = tables_[4];
    const TableDef& lines = tables_[5];
    BtrFile orderFile(dictionaryPath(orders)), lineFile(dictionaryPath(lines));
    BatchInserter inserter;
    uint64_t lineRows = 0;
    for (uint64_t i = 1; i <= counts_.orders; ++i) {
      const int lineCount = random_.Range(1, 5);
      int64_t totalCents = 0;
      for (int n = 1; n <= lineCount; ++n) {
        const int quantity = random_.Range(1, 40);
        const int price = random_.Range(99, 9999);
        const int discount = random_.Range(0, 3) * 5;
        totalCents += static_cast<int64_t>(quantity) * price * (100 - discount) / 100;
        Bytes line =
            TableRecord(lines)
                .Int("OrderId", static_cast<int64_t>(i))
                .Int("LineNo", n)
                .Int("ProductId", 1 + static_cast<int64_t>(random_.Next() % counts_.products))
                .Int("Quantity", quantity)
                .Cents("UnitPrice", price)
                .Real("Discount", discount / 100.0)
                .Text("Comment", n == 1 && i % 6 == 0 ? "gift wrap" : "")
                .Finish();
        inserter.Insert(lineFile, line);
        ++lineRows;
      }
      const int month = random_.Range(1, 12), day = random_.Range(1, 28);
      const int hour = random_.Range(8, 17), minute = random_.Range(0, 59),
                second = random_.Range(0, 59);
      const bool shipped = i % 5 != 0;
      TableRecord order(orders);
      order.Int("Id", 0)
          .Int("CustomerId", 1 + static_cast<int64_t>(random_.Next() % counts_.customers))
          .Int("EmployeeId", 1 + static_cast<int64_t>(random_.Next() % counts_.employees))
          .Date("OrderDate", 2024 + static_cast<int>(i % 2), month, day)
          .Time("OrderTime", hour, minute, second)
          .Cents("Total", totalCents)
          .Int("Paid", i % 3 != 0)
          .Text("Status", shipped ? kStatus[2 + i % 2] : kStatus[i % 2]);
      if (shipped)
        order.Date("ShipDate", 2024 + static_cast<int>(i % 2), month, std::min(day + 2, 28));
      Bytes image = order.Finish();
      inserter.Insert(orderFile, image);
    }
    rows_ += inserter.Finish();
    Report(orders, counts_.orders);
    Report(lines, lineRows);
  }

  std::string dir_;
  SampleCounts counts_;
  std::function<void(const std::string&)> progress_;
  Random random_;
  std::vector<TableDef> tables_;
  uint64_t rows_ = 0;
};

}  // namespace

SampleCounts SampleCounts::Scaled(uint64_t factor) const {
  SampleCounts c = *this;
  for (uint64_t* n : {&c.customers, &c.suppliers, &c.products, &c.employees, &c.orders})
    *n = std::max<uint64_t>(1, *n * factor);
  return c;
}

const std::string& SampleSchema() {
  static const std::string schema = kSchema;
  return schema;
}

uint64_t GenerateSampleDatabase(const std::string& directory, const SampleCounts& counts,
                                const std::function<void(const std::string&)>& progress) {
  std::filesystem::create_directories(directory);
  return Generator(directory, counts, progress).Run();
}

}  // namespace vader::tools
