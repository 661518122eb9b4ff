// vbutil: the command-line utility for record-manager files and DDF dictionaries.

#include <iostream>
#include <string>
#include <vector>

#include "platform/CodePage.h"
#include "tools/Cli.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 1 && args[0] == "--version") {
    std::cout << "vbutil " VADER_VERSION "\n";
    return 0;
  }
  vader::platform::UseLocaleCodePages();  // --codepage chooses another for stored texts
  return vader::tools::RunUtility(args, std::cout, std::cerr);
}
