#include "components/BseMain.h"

#include "framework/Forms.h"
#include "platform/Com.h"

namespace vader {

bool ComInitialized = false;

void BseMainStartup(bool isExecutable) {
  if (!isExecutable) return;
  auto previous = InitProc;
  InitProc = [previous] {
    if (previous) previous();
    ComInitialized = platform::Succeeded(platform::CoInitialize(nullptr));
  };
}

void BseMainShutdown() {
  if (ComInitialized) platform::CoUninitialize();
  ComInitialized = false;
}

}  // namespace vader
