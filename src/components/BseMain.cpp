#include "components/BseMain.h"

#include "framework/Forms.h"
#include "platform/Com.h"

namespace vader {

bool ComInitialized = false;

namespace {
std::function<void()> hookBeforeCom;  // what the COM step chained onto
bool comStepChained = false;
}  // namespace

void BseMainStartup(bool isExecutable) {
  if (!isExecutable) return;
  auto previous = InitProc;
  hookBeforeCom = previous;
  comStepChained = true;
  InitProc = [previous] {
    if (previous) previous();
    ComInitialized = platform::Succeeded(platform::CoInitialize(nullptr));
  };
}

void BseMainShutdown() {
  if (ComInitialized) platform::CoUninitialize();
  ComInitialized = false;
  // Unchain the step, so a start-up that failed later leaves no COM step behind.
  if (comStepChained) InitProc = hookBeforeCom;
  comStepChained = false;
  hookBeforeCom = nullptr;
}

}  // namespace vader
