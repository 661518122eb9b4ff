#include "shell/Startup.h"

#include "components/BseMain.h"
#include "language/Zothrtns.h"
#include "language/zInter.h"

namespace vader {

TModuleTable BuildModuleTable(bool isExecutable) {
  TModuleTable table;
  table.Add({"BseMain", [isExecutable] { BseMainStartup(isExecutable); }, BseMainShutdown});
  table.Add({"zInter", ZInterStartup, ZInterShutdown});
  table.Add({"Zothrtns", ZothrtnsStartup, nullptr});
  return table;
}

}  // namespace vader
