#pragma once
// The utility's only way into the record manager: the exported BTRCALL entry point of
// libwbtrv32.so, wrapped in a position block with typed helpers. Failures throw BtrieveError.

#include <cstdint>
#include <stdexcept>
#include <string>

#include "microkernel/OperationCode.h"

extern "C" int16_t BTRCALL(uint16_t operation, void* positionBlock, void* dataBuffer,
                           uint32_t* dataLength, void* keyBuffer, uint8_t keyLength,
                           int8_t keyNumber);

namespace vader::tools {

using Bytes = std::string;  // binary-safe record and buffer contents

// The operation codes are the record manager's own table.
using microkernel::kOpAbortTransaction;
using microkernel::kOpBeginTransaction;
using microkernel::kOpClearOwner;
using microkernel::kOpClose;
using microkernel::kOpCreate;
using microkernel::kOpCreateIndex;
using microkernel::kOpDelete;
using microkernel::kOpDropIndex;
using microkernel::kOpEndTransaction;
using microkernel::kOpGetEqual;
using microkernel::kOpGetFirst;
using microkernel::kOpGetGreater;
using microkernel::kOpGetGreaterEqual;
using microkernel::kOpGetLast;
using microkernel::kOpGetNext;
using microkernel::kOpGetPosition;
using microkernel::kOpInsert;
using microkernel::kOpOpen;
using microkernel::kOpSetOwner;
using microkernel::kOpStat;
using microkernel::kOpStepFirst;
using microkernel::kOpStepNext;

constexpr int16_t kStatusKeyNotFound = 4;
constexpr int16_t kStatusEndOfFile = 9;
constexpr int16_t kStatusFileNotFound = 12;
constexpr size_t kMaxRecord = 65535;
constexpr size_t kKeyBufferSize = 255;

// A status other than 0 from the record manager, with the operation and file it concerned.
class BtrieveError : public std::runtime_error {
 public:
  BtrieveError(int16_t status, const std::string& what);
  int16_t Status() const { return status_; }

 private:
  int16_t status_;
};

// A short English text for the statuses a utility user commonly meets.
std::string StatusText(int16_t status);
// The same text, or nullptr for a status without one.
const char* KnownStatusText(int16_t status);

// One open file (one position block).
class BtrFile {
 public:
  BtrFile() = default;
  BtrFile(const std::string& path, const std::string& owner = "", int8_t mode = 0) {
    Open(path, owner, mode);
  }
  ~BtrFile();
  BtrFile(const BtrFile&) = delete;
  BtrFile& operator=(const BtrFile&) = delete;

  void Open(const std::string& path, const std::string& owner = "", int8_t mode = 0);
  void Close();
  const std::string& Path() const { return path_; }

  // The raw call on this position block.
  int16_t Call(uint16_t op, void* data, uint32_t& length, void* key, int8_t keyNumber);

  // The Stat buffer (file def, segment descriptors, ACS blocks).
  Bytes Stat();
  // Inserts without changing currency; `record` receives the stored image (autoincrement).
  void Insert(Bytes& record);
  // Step First/Next; returns 0 or the end-of-file status.
  int16_t Step(uint16_t op, Bytes& record);
  // Get on key `keyNumber`; `key` is the key buffer in and out.
  int16_t Get(uint16_t op, int8_t keyNumber, Bytes& key, Bytes& record);
  uint32_t Position();
  // Deletes the current record; `keyNumber` is the key of the Get that found it.
  void Delete(int8_t keyNumber);
  void CreateIndex(const Bytes& segments, int keyNumber);
  void DropIndex(int keyNumber, bool renumber);
  void SetOwner(const std::string& owner, int level);
  void ClearOwner();

 private:
  void Check(int16_t status, const char* operation) const;

  uint8_t pb_[128] = {};
  bool open_ = false;
  std::string path_;
};

// Creates a file from a Create buffer; `replace` overwrites an existing file.
void CreateFile(const std::string& path, const Bytes& def, bool replace);

// Begin/End transaction around a batch of writes (faster bulk loads); aborts when destroyed
// without Commit.
class Transaction {
 public:
  Transaction();
  ~Transaction();
  void Commit();

 private:
  bool active_ = false;
};

}  // namespace vader::tools
