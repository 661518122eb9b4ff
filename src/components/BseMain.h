#pragma once
// The engine-neutral components' module. At start-up, in an executable, it chains COM
// initialisation into the application-initialisation hook, so COM is up on the GUI
// thread before the first window exists; at shutdown it undoes what succeeded.

namespace vader {

// Set when this process's own COM initialisation succeeded.
extern bool ComInitialized;

// IsExecutable is false when the module is loaded as a library: then nothing is chained.
void BseMainStartup(bool isExecutable);
void BseMainShutdown();

}  // namespace vader
