// A recording stand-in for the Btrieve client library: it answers Stat with a configurable file
// description, Get Position with a fixed position, and every other operation by filling the
// data buffer with 0xAB up to a configurable length. The operation codes it receives are kept
// for the tests to read.

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {
struct State {
  int initCount = 0;
  int stopCount = 0;
  uint16_t ops[256] = {};
  int8_t keyNumbers[256] = {};
  int opCount = 0;
  int16_t status = 0;        // answered by every operation but Stat and Get Position
  uint16_t failOp = 0xFFFF;  // only this operation fails, when set
  uint32_t returnLength = 0xFFFFFFFF;
  uint16_t recordLength = 16;
  uint8_t keyCount = 1;
  uint8_t stat[4096] = {};  // a whole Stat image, when one is set
  uint32_t statLength = 0;
};
State state;

int16_t Call(uint16_t op, void* data, uint32_t* length, int8_t keyNumber) {
  if (state.opCount < 256) {
    state.keyNumbers[state.opCount] = keyNumber;
    state.ops[state.opCount++] = op;
  }
  if (op == 15 && state.statLength > 0) {
    const uint32_t n = std::min(*length, state.statLength);
    std::memcpy(data, state.stat, n);
    *length = n;
    return n < state.statLength ? 22 : 0;
  }
  if (op == 15) {
    uint8_t stat[16] = {};
    std::memcpy(stat, &state.recordLength, 2);
    stat[4] = state.keyCount;
    const uint32_t records = 3;
    std::memcpy(stat + 6, &records, 4);
    std::memcpy(data, stat, std::min<uint32_t>(*length, sizeof stat));
    return 0;
  }
  if (op == 22) {
    const int32_t position = 1234;
    std::memcpy(data, &position, 4);
    *length = 4;
    return 0;
  }
  if (state.status != 0 && (state.failOp == 0xFFFF || state.failOp == op)) return state.status;
  const uint32_t n = std::min(*length, state.returnLength);
  if (data != nullptr && op != 0 && op != 1) std::memset(data, 0xAB, n);
  *length = n;
  return 0;
}
}  // namespace

#define EXPORT extern "C" __attribute__((visibility("default")))

EXPORT int16_t BTRCALL(uint16_t op, void*, void* data, uint32_t* length, void*, uint8_t,
                       int8_t keyNumber) {
  return Call(op, data, length, keyNumber);
}

EXPORT int16_t BTRCALLID(uint16_t op, void*, void* data, uint32_t* length, void*, uint8_t,
                         int8_t keyNumber, uint8_t*) {
  return Call(op, data, length, keyNumber);
}

EXPORT int16_t WBTRVINIT(const char*) { return static_cast<int16_t>(++state.initCount, 0); }

#ifndef FAKE_WITHOUT_STOP
EXPORT int16_t WBTRVSTOP() { return static_cast<int16_t>(++state.stopCount, 0); }
#endif

// Controls for the tests.
EXPORT void FakeReset() { state = State{}; }
EXPORT void FakeConfigure(uint16_t recordLength, uint8_t keyCount, uint32_t returnLength) {
  state.recordLength = recordLength;
  state.keyCount = keyCount;
  state.returnLength = returnLength;
}
EXPORT void FakeFail(uint16_t op, int16_t status) {
  state.failOp = op;
  state.status = status;
}
EXPORT void FakeSetStat(const uint8_t* image, uint32_t length) {
  state.statLength = std::min<uint32_t>(length, sizeof state.stat);
  std::memcpy(state.stat, image, state.statLength);
}
EXPORT int FakeInitCount() { return state.initCount; }
EXPORT int FakeStopCount() { return state.stopCount; }
EXPORT int FakeOpCount() { return state.opCount; }
EXPORT uint16_t FakeOp(int i) { return state.ops[i]; }
EXPORT int8_t FakeKeyNumber(int i) { return state.keyNumbers[i]; }
