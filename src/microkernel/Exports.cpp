// The library's C interface: the four exports the Btrieve client binding resolves by name.

#include <cstdint>

#include "microkernel/Engine.h"

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

__attribute__((visibility("default"))) int16_t WBTRVINIT(const char* /*initString*/) { return 0; }

__attribute__((visibility("default"))) int16_t WBTRVSTOP() { return Engine::Instance().StopAll(); }

}  // extern "C"
