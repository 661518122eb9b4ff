#pragma once
// Stand-in for COM initialisation: the process has no COM, but the start-up sequence
// initialises and uninitialises it per thread, and the outcome decides whether the
// matching uninitialise runs. Calls are counted so the pairing can be checked.

#include <cstdint>

namespace vader::platform {

using HRESULT = std::int32_t;
constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;        // already initialised on this thread
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);

inline bool Succeeded(HRESULT hr) { return hr >= 0; }

HRESULT CoInitialize(void* reserved);
void CoUninitialize();

// Initialisations on the calling thread not yet matched by an uninitialise.
int ComInitCount();

// Makes the next CoInitialize calls on any thread return Result (S_OK restores the normal
// behaviour); lets tests take the failure path of start-up.
void SetCoInitializeResultForTesting(HRESULT result);

}  // namespace vader::platform
