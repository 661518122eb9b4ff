#pragma once
// The application's life once its modules have started: the application object is
// initialised, the main window is created (translating itself) and shown, then the modules
// shut down in reverse order, and only after them are the windows, and the components they
// own, destroyed, as when the application object goes: the other windows first, the main
// window last.

#include <functional>

#include "MainForm.h"
#include "shell/ModuleTable.h"
#include "ui/QtEventLoop.h"

namespace vader::app {

// What to do with the main window once it exists (run the message loop, or show it once and
// describe it); returns the exit code.
using UseMainWindow = std::function<int(ui::TQtEventLoop& loop, TMainForm& form)>;

// Requires a QApplication and started Modules; shuts them down. Returns the exit code: that
// of Use, or 1 when the window could not be made or a module failed to shut down.
int RunApplication(TModuleTable& modules, const UseMainWindow& use);

}  // namespace vader::app
