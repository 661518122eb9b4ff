#include "tools/Btrieve.h"

#include <cstring>
#include <map>

namespace vader::tools {

BtrieveError::BtrieveError(int16_t status, const std::string& what)
    : std::runtime_error(what + ": status " + std::to_string(status) + " (" + StatusText(status) +
                         ")"),
      status_(status) {}

const char* KnownStatusText(int16_t status) {
  static const std::map<int16_t, const char*> texts = {
      {1, "the operation is invalid"},
      {2, "I/O error"},
      {3, "the file is not open"},
      {4, "key value not found"},
      {5, "duplicate key value"},
      {6, "invalid key number"},
      {9, "end of file"},
      {10, "the key field is not modifiable"},
      {11, "invalid file name"},
      {12, "file not found"},
      {22, "data buffer too short"},
      {24, "invalid page size"},
      {25, "the file cannot be created"},
      {26, "invalid number of keys or segments"},
      {27, "invalid key position"},
      {28, "invalid record length"},
      {29, "invalid key length"},
      {30, "not a record-manager file"},
      {41, "operation not allowed"},
      {45, "inconsistent key flags"},
      {46, "access denied"},
      {48, "invalid alternate collating sequence"},
      {49, "invalid key type"},
      {50, "the owner is already set"},
      {51, "invalid owner name"},
      {55, "invalid autoincrement key"},
      {59, "the file already exists"},
      {84, "the record is locked"},
      {85, "the file is locked"},
      {88, "incompatible open mode"},
      {95, "the connection to the server is lost"},
  };
  const auto it = texts.find(status);
  return it == texts.end() ? nullptr : it->second;
}

std::string StatusText(int16_t status) {
  const char* text = KnownStatusText(status);
  return text ? text : "record manager status";
}

BtrFile::~BtrFile() {
  if (open_) {
    uint32_t len = 0;
    Call(kOpClose, nullptr, len, nullptr, 0);
  }
}

int16_t BtrFile::Call(uint16_t op, void* data, uint32_t& length, void* key, int8_t keyNumber) {
  uint8_t scratch[kKeyBufferSize] = {};
  return BTRCALL(op, pb_, data, &length, key ? key : scratch, kKeyBufferSize, keyNumber);
}

void BtrFile::Check(int16_t status, const char* operation) const {
  if (status != 0) throw BtrieveError(status, std::string(operation) + " " + path_);
}

void BtrFile::Open(const std::string& path, const std::string& owner, int8_t mode) {
  if (path.size() >= kKeyBufferSize) throw BtrieveError(11, "open " + path);
  char name[kKeyBufferSize] = {};
  std::memcpy(name, path.data(), path.size());
  char ownerBuf[9] = {};
  std::memcpy(ownerBuf, owner.data(), std::min<size_t>(owner.size(), 8));
  uint32_t len = owner.empty() ? 0 : static_cast<uint32_t>(std::strlen(ownerBuf) + 1);
  path_ = path;
  Check(Call(kOpOpen, owner.empty() ? nullptr : ownerBuf, len, name, mode), "open");
  open_ = true;
}

void BtrFile::Close() {
  if (!open_) return;
  uint32_t len = 0;
  open_ = false;
  Check(Call(kOpClose, nullptr, len, nullptr, 0), "close");
}

Bytes BtrFile::Stat() {
  Bytes buf(33455, '\0');
  uint32_t len = static_cast<uint32_t>(buf.size());
  Check(Call(kOpStat, buf.data(), len, nullptr, -1), "stat");
  buf.resize(len);
  return buf;
}

void BtrFile::Insert(Bytes& record) {
  uint32_t len = static_cast<uint32_t>(record.size());
  Check(Call(kOpInsert, record.data(), len, nullptr, -1), "insert into");
}

int16_t BtrFile::Step(uint16_t op, Bytes& record) {
  record.resize(kMaxRecord);
  uint32_t len = static_cast<uint32_t>(record.size());
  const int16_t s = Call(op, record.data(), len, nullptr, 0);
  if (s != 0 && s != kStatusEndOfFile) Check(s, "read");
  record.resize(s == 0 ? len : 0);
  return s;
}

int16_t BtrFile::Get(uint16_t op, int8_t keyNumber, Bytes& key, Bytes& record) {
  uint8_t keyBuf[kKeyBufferSize] = {};
  std::memcpy(keyBuf, key.data(), std::min(key.size(), sizeof keyBuf));
  record.resize(kMaxRecord);
  uint32_t len = static_cast<uint32_t>(record.size());
  const int16_t s = Call(op, record.data(), len, keyBuf, keyNumber);
  if (s != 0 && s != kStatusEndOfFile && s != kStatusKeyNotFound) Check(s, "read");
  record.resize(s == 0 ? len : 0);
  if (s == 0) key.assign(reinterpret_cast<const char*>(keyBuf), key.size());
  return s;
}

uint32_t BtrFile::Position() {
  uint8_t buf[4] = {};
  uint32_t len = sizeof buf;
  Check(Call(kOpGetPosition, buf, len, nullptr, 0), "get position in");
  return static_cast<uint32_t>(buf[0]) | (static_cast<uint32_t>(buf[1]) << 8) |
         (static_cast<uint32_t>(buf[2]) << 16) | (static_cast<uint32_t>(buf[3]) << 24);
}

void BtrFile::Delete(int8_t keyNumber) {
  uint32_t len = 0;
  Check(Call(kOpDelete, nullptr, len, nullptr, keyNumber), "delete from");
}

void BtrFile::CreateIndex(const Bytes& segments, int keyNumber) {
  Bytes buf = segments;
  uint32_t len = static_cast<uint32_t>(buf.size());
  const int8_t kn = static_cast<int8_t>(keyNumber < 0 ? 0 : (keyNumber | 0x80));
  Check(Call(kOpCreateIndex, buf.data(), len, nullptr, kn), "create index in");
}

void BtrFile::DropIndex(int keyNumber, bool renumber) {
  uint32_t len = 0;
  const int8_t kn = static_cast<int8_t>(renumber ? keyNumber : (keyNumber | 0x80));
  Check(Call(kOpDropIndex, nullptr, len, nullptr, kn), "drop index in");
}

void BtrFile::SetOwner(const std::string& owner, int level) {
  char data[9] = {};
  char key[kKeyBufferSize] = {};
  std::memcpy(data, owner.data(), std::min<size_t>(owner.size(), 8));
  std::memcpy(key, data, sizeof data);
  uint32_t len = static_cast<uint32_t>(std::strlen(data) + 1);
  Check(Call(kOpSetOwner, data, len, key, static_cast<int8_t>(level)), "set owner of");
}

void BtrFile::ClearOwner() {
  uint32_t len = 0;
  Check(Call(kOpClearOwner, nullptr, len, nullptr, 0), "clear owner of");
}

void CreateFile(const std::string& path, const Bytes& def, bool replace) {
  if (path.size() >= kKeyBufferSize) throw BtrieveError(11, "create " + path);
  char name[kKeyBufferSize] = {};
  std::memcpy(name, path.data(), path.size());
  Bytes buf = def;
  uint32_t len = static_cast<uint32_t>(buf.size());
  uint8_t pb[128] = {};
  const int16_t s =
      BTRCALL(kOpCreate, pb, buf.data(), &len, name, kKeyBufferSize, replace ? 0 : -1);
  if (s != 0) throw BtrieveError(s, "create " + path);
}

namespace {
int16_t PlainCall(uint16_t op) {
  uint8_t pb[128] = {};
  uint8_t key[kKeyBufferSize] = {};
  uint32_t len = 0;
  return BTRCALL(op, pb, nullptr, &len, key, kKeyBufferSize, 0);
}
}  // namespace

Transaction::Transaction() {
  const int16_t s = PlainCall(kOpBeginTransaction);
  if (s != 0) throw BtrieveError(s, "begin transaction");
  active_ = true;
}

Transaction::~Transaction() {
  if (active_) PlainCall(kOpAbortTransaction);
}

void Transaction::Commit() {
  active_ = false;
  const int16_t s = PlainCall(kOpEndTransaction);
  if (s != 0) throw BtrieveError(s, "end transaction");
}

}  // namespace vader::tools
