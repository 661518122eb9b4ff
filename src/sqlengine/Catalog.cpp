#include "sqlengine/Catalog.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <set>

namespace vader::sqlengine {
namespace {

constexpr size_t kFileRecord = 97;
constexpr size_t kFieldRecord = 32;
constexpr size_t kIndexRecord = 10;
constexpr uint16_t kFieldNoCase = 0x0001;  // FIELD.DDF flags
constexpr uint16_t kIndexNoCase = 0x0020;  // INDEX.DDF flags
constexpr uint8_t kSystemTable = 0x10;
constexpr uint8_t kIndexNameRow = 255;
constexpr uint8_t kConstraintRow = 227;
constexpr int8_t kReadOnly = -2;

uint16_t U16(const std::string& r, size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(r[at]) | static_cast<uint8_t>(r[at + 1]) << 8);
}

std::string Text(const std::string& r, size_t at, size_t size) {
  std::string t = r.substr(at, size);
  const size_t nul = t.find('\0');
  if (nul != std::string::npos) t.resize(nul);
  while (!t.empty() && t.back() == ' ') t.pop_back();
  return t;
}

// Reads every record of a dictionary file in physical order.
int16_t ReadAll(const std::string& path, ClientId* client, const std::vector<std::string>& owners,
                size_t minimum, std::vector<std::string>& out) {
  BtrFile f(client);
  if (int16_t s = f.Open(path, owners, kReadOnly); s != 0) return s;
  std::string rec;
  for (int16_t s = f.Read(kOpStepFirst, rec, nullptr, 0);; s = f.Read(kOpStepNext, rec, nullptr, 0)) {
    if (s == kBtrEndOfFile) break;
    if (s != 0) return s;
    if (rec.size() >= minimum) out.push_back(rec);
  }
  return 0;
}

}  // namespace

bool SameText(const std::string& a, const std::string& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

std::string JoinPath(const std::string& dir, const std::string& name) {
  std::string n = name;
  std::replace(n.begin(), n.end(), '\\', '/');
  if (n.size() > 1 && n[1] == ':') n = n.substr(2);  // a drive letter means nothing here
  if (!n.empty() && n[0] == '/') return n;
  if (dir.empty()) return n;
  return dir.back() == '/' ? dir + n : dir + "/" + n;
}

int Table::ColumnIndex(const std::string& n) const {
  for (size_t i = 0; i < columns.size(); ++i)
    if (SameText(columns[i].name, n)) return static_cast<int>(i);
  return -1;
}

int16_t Table::LoadLayout(BtrFile& file) {
  if (layoutKnown) return 0;
  std::string stat(16 + 16 * 420 + 265 * 8, '\0');
  uint32_t len = static_cast<uint32_t>(stat.size());
  if (int16_t s = file.Call(kOpStat, stat.data(), len, nullptr, 0); s != 0) return s;
  if (len < 16) return 2;
  stat.resize(len);
  recordLength = U16(stat, 0);
  variable = U16(stat, 10) & kFileVariable;
  const size_t keyCount = static_cast<uint8_t>(stat[4]);
  size_t at = 16;
  keys.clear();
  for (size_t k = 0; k < keyCount && at + 16 <= stat.size(); ++k) {
    Key key;
    key.number = static_cast<uint8_t>(stat[at + 14]);
    for (;;) {
      if (at + 16 > stat.size()) break;
      KeySegment seg;
      const uint16_t position = U16(stat, at);
      seg.offset = position > 0 ? position - 1 : 0;
      seg.length = U16(stat, at + 2);
      seg.flags = U16(stat, at + 4);
      seg.type = (seg.flags & kKeyExtendedType) ? static_cast<uint8_t>(stat[at + 10])
                                      : static_cast<uint8_t>((seg.flags & kKeyBinary) ? kUnsigned : uint8_t{kString});
      at += 16;
      if (key.segments.empty()) {
        key.unique = !(seg.flags & kKeyDuplicates);
        key.nullable = seg.flags & (kKeyNullAll | kKeyNullAny);
      }
      key.nullable = key.nullable || (seg.flags & (kKeyNullAll | kKeyNullAny));
      for (size_t c = 0; c < columns.size(); ++c)
        if (columns[c].offset == seg.offset && columns[c].format.size == seg.length) seg.column = static_cast<int>(c);
      const bool more = seg.flags & kKeySegmented;
      key.segments.push_back(seg);
      if (!more) break;
    }
    keys.push_back(std::move(key));
  }
  layoutKnown = true;
  return 0;
}

int16_t LoadCatalog(const std::string& dictionaryDir, const std::string& dataDir,
                    ClientId* client, const std::vector<std::string>& owners,
                    std::vector<std::unique_ptr<Table>>& tables) {
  std::vector<std::string> ddfOwners = owners;
  ddfOwners.push_back(kDictionaryOwner);
  std::vector<std::string> files, fields;
  if (int16_t s = ReadAll(JoinPath(dictionaryDir, "FILE.DDF"), client, ddfOwners, kFileRecord, files); s != 0)
    return s;
  if (int16_t s = ReadAll(JoinPath(dictionaryDir, "FIELD.DDF"), client, ddfOwners, kFieldRecord, fields); s != 0)
    return s;
  // Key parts of INDEX.DDF that ignore case, by table and field id. A dictionary without the
  // file (or one that cannot be read) has none.
  std::vector<std::string> parts;
  ReadAll(JoinPath(dictionaryDir, "INDEX.DDF"), client, ddfOwners, kIndexRecord, parts);
  std::set<std::pair<uint16_t, uint16_t>> noCaseParts;
  for (const std::string& r : parts)
    if (U16(r, 8) & kIndexNoCase) noCaseParts.insert({U16(r, 0), U16(r, 2)});
  std::map<uint16_t, Table*> byId;
  tables.clear();
  for (const std::string& r : files) {
    auto t = std::make_unique<Table>();
    t->id = U16(r, 0);
    t->name = Text(r, 2, 20);
    t->system = static_cast<uint8_t>(r[86]) & kSystemTable;
    const std::string location = Text(r, 22, 64);
    // Dictionary files lie beside the dictionary, the others in the data directory.
    const std::string base = t->system || dataDir.empty() ? dictionaryDir : dataDir;
    std::string loc = location;
    std::replace(loc.begin(), loc.end(), '\\', '/');
    const size_t slash = loc.rfind('/');
    t->path = t->system && slash != std::string::npos ? JoinPath(dictionaryDir, loc.substr(slash + 1))
                                                      : JoinPath(base, loc);
    if (t->name.empty() || byId.count(t->id)) continue;
    byId[t->id] = t.get();
    tables.push_back(std::move(t));
  }
  struct Row {
    uint16_t id;
    Table* table;
    Column column;
  };
  std::vector<Row> rows;
  for (const std::string& r : fields) {
    const auto type = static_cast<uint8_t>(r[24]);
    const uint16_t size = U16(r, 27);
    const auto it = byId.find(U16(r, 2));
    if (it == byId.end() || size == 0 || type == kIndexNameRow || type == kConstraintRow) continue;
    Column c;
    c.name = Text(r, 4, 20);
    c.format = FieldFormat{type, size, static_cast<uint8_t>(r[29])};
    c.offset = U16(r, 25);
    c.flags = U16(r, 30);
    c.noCase = (c.flags & kFieldNoCase) || noCaseParts.count({U16(r, 2), U16(r, 0)});
    if (c.name.empty()) continue;
    rows.push_back(Row{U16(r, 0), it->second, c});
  }
  std::stable_sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) { return a.id < b.id; });
  for (Row& row : rows)
    if (row.table->ColumnIndex(row.column.name) < 0) row.table->columns.push_back(row.column);
  return 0;
}

}  // namespace vader::sqlengine
