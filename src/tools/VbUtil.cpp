// vbutil: the command-line utility for record-manager files and DDF dictionaries.

#include <iostream>
#include <string>
#include <vector>

#include "platform/CodePage.h"
#include "tools/Cli.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  vader::platform::UseLocaleCodePages();  // --codepage chooses another for stored texts
  return vader::tools::RunUtility(args, std::cout, std::cerr);
}
