#include "shell/Startup.h"

#include "btrieve/BtrConv.h"
#include "components/BseMain.h"
#include "components/BtrMain.h"
#include "language/Zothrtns.h"
#include "language/zInter.h"

namespace vader {

TModuleTable BuildModuleTable(bool isExecutable) {
  TModuleTable table;
  table.Add({"BtrConv", BtrConvStartup, BtrConvShutdown});
  table.Add({"BseMain", [isExecutable] { BseMainStartup(isExecutable); }, BseMainShutdown});
  table.Add({"BtrMain", BtrMainStartup, BtrMainShutdown});
  table.Add({"zInter", ZInterStartup, ZInterShutdown});
  table.Add({"Zothrtns", ZothrtnsStartup, nullptr});
  return table;
}

}  // namespace vader
