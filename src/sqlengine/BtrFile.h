#pragma once
// The engine's only way to the data: BTRCALLID of the record manager with the 16-byte client
// identifier of one session, so the session's locks, transactions and open files are its own.

#include <cstdint>
#include <string>
#include <vector>

#include "microkernel/OperationCode.h"
#include "microkernel/RecordScan.h"

extern "C" int16_t BTRCALLID(uint16_t operation, void* positionBlock, void* dataBuffer,
                             uint32_t* dataLength, void* keyBuffer, uint8_t keyLength,
                             int8_t keyNumber, uint8_t* clientId);

namespace vader::sqlengine {

using namespace vader::microkernel;  // the operation codes

constexpr int16_t kBtrKeyNotFound = 4;
constexpr int16_t kBtrEndOfFile = 9;
constexpr int16_t kBtrNoSuchFile = 12;
constexpr int16_t kBtrBadOwner = 51;
constexpr size_t kKeyBufferSize = 255;
constexpr size_t kMaxRecord = 65535;

struct ClientId {
  uint8_t bytes[16] = {};
};

// One open file: one position block with its own currency.
class BtrFile {
 public:
  explicit BtrFile(ClientId* client) : client_(client) {}
  ~BtrFile() { Close(); }
  BtrFile(const BtrFile&) = delete;
  BtrFile& operator=(const BtrFile&) = delete;

  // Opens `path` trying no owner name, then each of `owners`; returns the last status.
  int16_t Open(const std::string& path, const std::vector<std::string>& owners, int8_t mode);
  void Close();
  bool IsOpen() const { return open_; }

  int16_t Call(uint16_t op, void* data, uint32_t& length, void* key, int8_t keyNumber) {
    uint8_t scratch[kKeyBufferSize];
    return BTRCALLID(op, pb_, data, &length, key ? key : scratch, kKeyBufferSize, keyNumber,
                     client_->bytes);
  }
  // A batch of a scan straight from the storage (RecordScan.h); `key` holds kKeyBufferSize
  // bytes.
  int16_t Scan(int8_t keyNumber, int8_t start, const uint8_t* key, RecordSink& sink) {
    return VADERSCANRECORDS(pb_, client_->bytes, keyNumber, start, key, kKeyBufferSize, &sink);
  }
  // Reads a record with `op` into `record` (resized to what came back).
  int16_t Read(uint16_t op, std::string& record, void* key, int8_t keyNumber);

 private:
  uint8_t pb_[128] = {};
  bool open_ = false;
  ClientId* client_;
};

// A transaction of the client (Begin / End / Abort), or a step of a statement in it.
int16_t ClientCall(ClientId* client, uint16_t op, int8_t keyNumber = 0);

}  // namespace vader::sqlengine
