#include "btrieve/Bseres.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "btrieve/BtrConv.h"
#include "engine/BseUtils.h"
#include "framework/Dialogs.h"
#include "framework/Forms.h"

namespace vader {
namespace {

constexpr char kEndMark[] = "ABCD";  // followed by its NUL
constexpr size_t kEndMarkSize = sizeof kEndMark;
constexpr size_t kVersionSize = 5;  // four digits and a NUL
constexpr int kValuesPerRecord = 8;

const char gDriverModuleTag = 0;

// A bounded reader over the resource's bytes.
class ResourceCursor {
 public:
  explicit ResourceCursor(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}

  bool Has(size_t n) const { return at_ <= bytes_.size() && bytes_.size() - at_ >= n; }
  const uint8_t* Take(size_t n) {
    if (!Has(n)) return nullptr;
    const uint8_t* p = bytes_.data() + at_;
    at_ += n;
    return p;
  }
  bool AtEndMark() const {
    return Has(kEndMarkSize) && std::memcmp(bytes_.data() + at_, kEndMark, kEndMarkSize) == 0;
  }

 private:
  const std::vector<uint8_t>& bytes_;
  size_t at_ = 0;
};

// The version number of the four digits; nullopt when they are not digits.
std::optional<int> ReadVersion(ResourceCursor& in) {
  const uint8_t* digits = in.Take(kVersionSize);
  if (digits == nullptr || digits[4] != 0) return std::nullopt;
  int version = 0;
  for (int i = 0; i < 4; ++i) {
    if (digits[i] < '0' || digits[i] > '9') return std::nullopt;
    version = version * 10 + (digits[i] - '0');
  }
  return version;
}

[[noreturn]] void RaiseMalformed(const char* name, const char* what) {
  RaiseEngineErrorContext(DBIERR_INVALIDRECSTRUCT, std::string("Resource [") + name + "] " + what);
}

void ReadFields(ResourceCursor& in, const char* name, TVaderFieldCache& cache) {
  while (!in.AtEndMark()) {
    const uint8_t* head = in.Take(3);
    if (head == nullptr) RaiseMalformed(name, "ends before its end mark");
    uint16_t number = 0;
    std::memcpy(&number, head, 2);
    const uint8_t nameLength = head[2];
    const uint8_t* text = in.Take(nameLength);
    const uint8_t* values = text ? in.Take(kValuesPerRecord * 2) : nullptr;
    if (values == nullptr) RaiseMalformed(name, "ends inside a field record");
    uint16_t v[kValuesPerRecord];
    std::memcpy(v, values, sizeof v);
    FieldDesc desc{};
    CopyBounded(desc.FieldName, kMaxFieldNameLength + 1,
                std::string_view(reinterpret_cast<const char*>(text), nameLength));
    desc.FieldType = v[0];
    desc.FieldSubType = v[1];
    desc.FieldUnits1 = static_cast<int16_t>(v[2]);
    desc.FieldUnits2 = static_cast<int16_t>(v[3]);
    desc.FieldOffset = v[4];
    desc.FieldLength = v[5];
    TFieldCacheItem::Create(cache, desc, number, v[6], v[7]);
  }
}

void AppendBytes(std::vector<uint8_t>& out, const void* p, size_t n) {
  if (n == 0) return;
  const size_t at = out.size();
  out.resize(at + n);
  std::memcpy(out.data() + at, p, n);
}

template <class T>
void Append(std::vector<uint8_t>& out, T value) {
  AppendBytes(out, &value, sizeof value);
}

}  // namespace

platform::ResourceModule DriverResourceModule() { return &gDriverModuleTag; }

std::vector<uint8_t> BuildTableResource(std::string_view title, std::span<const FieldDesc> fields) {
  std::vector<uint8_t> out;
  title = title.substr(0, 255);
  Append<uint8_t>(out, static_cast<uint8_t>(title.size()));
  AppendBytes(out, title.data(), title.size());
  char version[kVersionSize];
  std::snprintf(version, sizeof version, "%04u", unsigned{kTableResourceVersion});
  AppendBytes(out, version, kVersionSize);
  for (const FieldDesc& d : fields) {
    const std::string name = BoundedString(d.FieldName);
    Append<uint16_t>(out, d.FieldNumber);
    Append<uint8_t>(out, static_cast<uint8_t>(name.size()));
    AppendBytes(out, name.data(), name.size());
    for (uint16_t value : {d.FieldType, d.FieldSubType, static_cast<uint16_t>(d.FieldUnits1),
                           static_cast<uint16_t>(d.FieldUnits2), d.FieldOffset, d.FieldLength,
                           d.LocalType, d.LocalSize})
      Append<uint16_t>(out, value);
  }
  AppendBytes(out, kEndMark, kEndMarkSize);
  return out;
}

std::vector<uint8_t> TableResourceFromDictionary(std::string_view title,
                                                 std::span<const DictionaryField> fields) {
  std::vector<FieldDesc> descs;
  for (const DictionaryField& entry : fields) {
    if (entry.Size == 0) continue;
    FieldDesc d{};
    BuildFieldDesc(entry, static_cast<uint16_t>(descs.size() + 1), &d);
    d.LocalType = entry.DataType;
    d.LocalSize = entry.Size;
    descs.push_back(d);
  }
  return BuildTableResource(title, descs);
}

// ---- TTblResReader ----

bool TTblResReader::ReadDefinition(const char* name) {
  if (name == nullptr) return false;
  auto bytes = platform::FindResource(platform::kExecutableModule, platform::RT_RCDATA, name);
  if (!bytes) bytes = platform::FindResource(DriverResourceModule(), platform::RT_RCDATA, name);
  if (!bytes) return false;
  ResourceCursor in(*bytes);
  const uint8_t* titleLength = in.Take(1);
  if (titleLength == nullptr || in.Take(*titleLength) == nullptr) return false;
  const std::optional<int> version = ReadVersion(in);
  if (version == 1) {
    static std::atomic<bool> reported{false};
    if (!reported.exchange(true)) {
      MessageDlg(std::string("Error - Resource [") + name + "] " +
                     " in old format. Re-compile with VORIDUD.EXE",
                 TMsgDlgType::mtError, mbOK, 0);
      Application().Terminate();
    }
    return true;
  }
  if (version != kTableResourceVersion) return false;
  TVaderFieldCache& cache = table_.FieldCache();
  cache.Clear();
  try {
    ReadFields(in, name, cache);
  } catch (...) {
    cache.Clear();
    throw;
  }
  return true;
}

// ---- TResFieldListTable ----

TResFieldListTable::TResFieldListTable(TBapiListItem* database, TVaderCollection* collection,
                                       const char* resourceName)
    : TBaseTable(database, collection, resourceName, nullptr, nullptr, kOpenReadOnly,
                 kShareShared) {
  TTblResReader(*this).ReadDefinition(resourceName);
}

void TResFieldListTable::OpenCursor() {
  CheckCondition(FieldCache().Count() > 0, DBIERR_INVALIDPARAM);
  TBaseTable::OpenCursor();
  SetToBegin();
}

void TResFieldListTable::SetToBegin() {
  TBaseTable::SetToBegin();
  next_ = 0;
}

void TResFieldListTable::GetNextRecord(TLockType /*lock*/, uint8_t* record,
                                       RecordProps* /*props*/) {
  CheckParam(record);
  if (next_ >= FieldCache().Count()) RaiseEOF();
  const FieldDesc& desc = FieldCache().GetItem(++next_).Desc();
  std::memcpy(record, &desc, sizeof desc);
}

}  // namespace vader
