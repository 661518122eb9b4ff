#pragma once
// The Btrieve data-access components, started for the length of one utility command.

#include "components/BtrMain.h"

namespace vader::tools {

class ComponentsStarted {
 public:
  ComponentsStarted() { BtrMainStartup(); }
  ~ComponentsStarted() { BtrMainShutdown(); }
  ComponentsStarted(const ComponentsStarted&) = delete;
  ComponentsStarted& operator=(const ComponentsStarted&) = delete;
};

}  // namespace vader::tools
