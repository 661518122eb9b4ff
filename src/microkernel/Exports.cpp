// The library's C interface: the four exports the Btrieve client binding resolves by name, the
// hook it may register for waits, and the bulk scan the relational engine reads with.

#include <cstdint>

#include "microkernel/Engine.h"
#include "microkernel/RecordScan.h"
#include "microkernel/WaitHook.h"

using vader::microkernel::Engine;

extern "C" {

__attribute__((visibility("default"))) int16_t BTRCALL(uint16_t operation, void* positionBlock,
                                                       void* dataBuffer, uint32_t* dataLength,
                                                       void* keyBuffer, uint8_t keyLength,
                                                       int8_t keyNumber) {
  return Engine::Instance().Call(operation, positionBlock, dataBuffer, dataLength, keyBuffer,
                                 keyLength, keyNumber, nullptr);
}

__attribute__((visibility("default"))) int16_t BTRCALLID(uint16_t operation, void* positionBlock,
                                                         void* dataBuffer, uint32_t* dataLength,
                                                         void* keyBuffer, uint8_t keyLength,
                                                         int8_t keyNumber, uint8_t* clientId) {
  return Engine::Instance().Call(operation, positionBlock, dataBuffer, dataLength, keyBuffer,
                                 keyLength, keyNumber, clientId);
}

__attribute__((visibility("default"))) int16_t VADERSCANRECORDS(
    void* positionBlock, const uint8_t* clientId, int8_t keyNumber, int8_t start,
    const uint8_t* key, uint8_t keyLength, vader::microkernel::RecordSink* sink) {
  return Engine::Instance().Scan(positionBlock, clientId, keyNumber, start, key, keyLength, sink);
}

__attribute__((visibility("default"))) int16_t WBTRVINIT(const char* /*initString*/) { return 0; }

__attribute__((visibility("default"))) int16_t WBTRVSTOP() { return Engine::Instance().StopAll(); }

// Hook (an int16_t (*)(), null for none) is asked now and then while a call waits for a record
// or file another client holds; a non-zero answer ends the wait as if its time had run out.
// Answers the hook registered before.
__attribute__((visibility("default"))) void* WBTRVWAITHOOK(void* hook) {
  return reinterpret_cast<void*>(
      vader::microkernel::SetWaitHook(reinterpret_cast<vader::microkernel::WaitHook>(hook)));
}

}  // extern "C"
