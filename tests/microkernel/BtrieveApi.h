#pragma once
// Test access to libwbtrv32.so the way the driver uses it: loaded with dlopen, called only
// through its exports.

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "microkernel/RecordScan.h"

namespace vader::microkernel::test {

using BtrCall = int16_t (*)(uint16_t, void*, void*, uint32_t*, void*, uint8_t, int8_t);
using BtrCallId = int16_t (*)(uint16_t, void*, void*, uint32_t*, void*, uint8_t, int8_t, uint8_t*);
using BtrInit = int16_t (*)(const char*);
using BtrStop = int16_t (*)();
using BtrWaitHook = void* (*)(void*);
using BtrScan = decltype(&::VADERSCANRECORDS);

struct Api {
  BtrCall call = nullptr;
  BtrCallId callId = nullptr;
  BtrInit init = nullptr;
  BtrStop stop = nullptr;
  BtrWaitHook waitHook = nullptr;
  BtrScan scan = nullptr;
  static const Api& Get();  // loads the library beside the test executable once
};

// A 16-byte client identifier; thread id distinguishes clients.
struct ClientId {
  uint8_t bytes[16] = {};
  explicit ClientId(uint16_t thread) {
    bytes[12] = 'V';
    bytes[13] = 'T';
    std::memcpy(bytes + 14, &thread, 2);
  }
};

// One position block and its buffers, optionally bound to a client identifier.
class File {
 public:
  explicit File(ClientId* client = nullptr) : client_(client) {}
  ~File();
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  int16_t Call(uint16_t op, void* data, uint32_t& length, void* key, uint8_t keyLength,
               int8_t keyNumber);
  int16_t Open(const std::string& path, int8_t mode = 0, const std::string& owner = "");
  int16_t Close();
  // Record operations with the record in `record`; `key` receives the returned key.
  int16_t Insert(const std::string& record, int8_t keyNumber = 0);
  int16_t Update(const std::string& record, int8_t keyNumber = 0);
  int16_t Delete(int8_t keyNumber = 0);
  // Get with a key value (Equal, GT, ...) or without (First, Next, ...); record in `record`.
  int16_t Get(uint16_t op, int8_t keyNumber, const std::string& keyValue = "",
              uint32_t bufferSize = 4096);
  int16_t Step(uint16_t op, uint32_t bufferSize = 4096);
  int16_t Position(uint32_t& pos);
  int16_t Direct(uint32_t pos, int8_t keyNumber, uint32_t bufferSize = 4096);
  int16_t Stat(std::vector<uint8_t>& out, int8_t keyNumber = -1, uint32_t size = 1920);
  uint32_t RecordCount();

  uint8_t pb[128] = {};
  uint8_t key[255] = {};
  std::string record;
  bool open = false;

 private:
  ClientId* client_;
};

// Builds Create buffers.
class Layout {
 public:
  Layout(uint16_t recordLength, uint16_t pageSize = 4096, uint16_t flags = 0);
  // Adds a key of one or more segments: {position (1-based), length, flags, type}.
  struct Seg {
    uint16_t position, length, flags;
    uint8_t type;
    uint8_t nullValue = 0;
    uint8_t acs = 0;
  };
  Layout& Key(std::vector<Seg> segments);
  Layout& Acs(const std::vector<uint8_t>& block);
  std::vector<uint8_t> Bytes() const;
  static std::vector<uint8_t> SegmentBytes(const std::vector<Seg>& segments);

 private:
  std::vector<uint8_t> file_;
  std::vector<std::vector<Seg>> keys_;
  std::vector<std::vector<uint8_t>> acs_;
};

int16_t Create(const std::string& path, const std::vector<uint8_t>& layout, int8_t mode = 0,
               ClientId* client = nullptr);
int16_t Op(uint16_t op, ClientId* client = nullptr);  // operations without a file (19, 20, 25 ...)

// A fresh temporary directory per test, removed afterwards.
std::string TempDir();
void RemoveTree(const std::string& dir);

// Integer to little-endian bytes and back.
std::string Le(uint64_t v, size_t n);
uint64_t FromLe(const std::string& s, size_t offset, size_t n);

// Runs this test executable as a child with VADER_MK_CHILD=role and args; returns the pid.
int SpawnChild(const std::string& role, const std::vector<std::string>& args, int stdoutFd = -1,
               int stdinFd = -1, const std::string& netns = std::string());

}  // namespace vader::microkernel::test
