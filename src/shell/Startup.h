#pragma once
// The system's own entries of the module start-up table, in start-up order.

#include "shell/ModuleTable.h"

namespace vader {

// IsExecutable is false when the system is loaded as a library (no COM step then).
TModuleTable BuildModuleTable(bool isExecutable);

}  // namespace vader
