#include "sqlengine/BtrFile.h"

#include <cstring>

namespace vader::sqlengine {

int16_t BtrFile::Open(const std::string& path, const std::vector<std::string>& owners,
                      int8_t mode) {
  Close();
  if (path.size() >= kKeyBufferSize) return 11;
  char name[kKeyBufferSize] = {};
  std::memcpy(name, path.data(), path.size());
  int16_t status = 0;
  for (size_t i = 0; i <= owners.size(); ++i) {
    char owner[9] = {};
    if (i > 0) std::memcpy(owner, owners[i - 1].data(), std::min<size_t>(owners[i - 1].size(), 8));
    uint32_t len = i == 0 ? 0 : static_cast<uint32_t>(std::strlen(owner) + 1);
    status = Call(kOpOpen, i == 0 ? nullptr : owner, len, name, mode);
    if (status == 0) {
      open_ = true;
      return 0;
    }
    if (status != kBtrBadOwner) return status;
  }
  return status;
}

void BtrFile::Close() {
  if (!open_) return;
  uint32_t len = 0;
  Call(kOpClose, nullptr, len, nullptr, 0);
  open_ = false;
}

int16_t BtrFile::Read(uint16_t op, std::string& record, void* key, int8_t keyNumber) {
  if (record.size() < kMaxRecord) record.resize(kMaxRecord);
  uint32_t len = static_cast<uint32_t>(record.size());
  const int16_t s = Call(op, record.data(), len, key, keyNumber);
  record.resize(s == 0 ? len : 0);
  return s;
}

int16_t ClientCall(ClientId* client, uint16_t op, int8_t keyNumber) {
  uint8_t pb[128] = {};
  uint8_t key[kKeyBufferSize] = {};
  uint32_t len = 0;
  return BTRCALLID(op, pb, nullptr, &len, key, kKeyBufferSize, keyNumber, client->bytes);
}

}  // namespace vader::sqlengine
