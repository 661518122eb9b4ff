#pragma once
// The module start-up table: modules start in table order, each at most once, and shut
// down in exactly the reverse order, only those that started. When a start-up procedure
// raises, the modules already started are shut down (last first) and the error goes on
// to the caller.

#include <functional>
#include <string>
#include <vector>

namespace vader {

struct ModuleEntry {
  std::string name;
  std::function<void()> startup;   // optional
  std::function<void()> shutdown;  // optional
};

class TModuleTable {
 public:
  void Add(ModuleEntry entry) { entries_.push_back(std::move(entry)); }
  const std::vector<ModuleEntry>& Entries() const { return entries_; }

  void Startup();
  // Shuts down the started modules, last first. Errors there are collected and the first
  // is raised once every module has had its turn, so one failure loses nothing else.
  void Shutdown();
  int StartedCount() const { return started_; }

 private:
  std::vector<ModuleEntry> entries_;
  int started_ = 0;  // entries [0, started_) have run their start-up
};

}  // namespace vader
