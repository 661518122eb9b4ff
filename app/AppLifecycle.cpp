#include "AppLifecycle.h"

#include <cstdio>
#include <exception>

#include "AppForm.h"
#include "LongWorks.h"
#include "MainWindowKeeper.h"
#include "ui/ErrorDisplay.h"

namespace vader::app {

int RunApplication(TModuleTable& modules, const UseMainWindow& use) {
  int result = 0;
  ui::TQtEventLoop loop;
  Application().SetEventLoop(&loop);
  Application().Initialize();
  ShowLockWaits();
  {
    MainWindowKeeper keeper(loop);
    TMainForm* form = nullptr;
    try {
      form = keeper.Create();
    } catch (const std::exception& error) {
      ui::ShowException(error);
      result = 1;
    }
    if (form) result = use(loop, *form);
    try {
      modules.Shutdown();
    } catch (const std::exception& error) {
      std::fprintf(stderr, "vader: %s\n", error.what());
      result = 1;
    }
    TAppWindows::Instance().CloseAll();
  }  // the main window goes here, the last window, after every module has shut down
  Application().SetEventLoop(nullptr);
  return result;
}

}  // namespace vader::app
