// Feeds arbitrary bytes to the two text formats the language service reads: as a settings
// file (Language.INI) and as a dictionary. A value written into any settings file must read
// back as written; every dictionary line must look up without harm.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "language/Zothrtns.h"
#include "language/zInter.h"
#include "platform/ProcessInfo.h"
#include "platform/WindowMessages.h"

namespace {

void WriteFile(const std::string& path, const uint8_t* data, size_t size) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) std::abort();
  if (size > 0) std::fwrite(data, 1, size, f);
  std::fclose(f);
}

// A directory of its own, standing for the executable's, with Language.INI naming the
// dictionary that each input is written to.
const std::string& Folder() {
  static const std::string folder = [] {
    char name[] = "/tmp/vader-dictionary-fuzz-XXXXXX";
    if (mkdtemp(name) == nullptr) std::abort();
    const std::string dir = std::string(name) + "/";
    vader::platform::SetMessageTableFile(dir + "messages");
    vader::platform::SetExecutablePathForTesting(dir + "vader");
    vader::ZInterStartup();
    vader::WriteIniString(vader::LanguageIniFile(), "Setup", "RecStrFileName",
                          dir + "dictionary.txt");
    vader::platform::DiscardPendingBroadcasts();
    return dir;
  }();
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vader;
  const std::string& dir = Folder();
  const std::string settings = dir + "settings.ini";
  WriteFile(settings, data, size);
  ReadIniString(settings, "Setup", "RecStrFileName");
  WriteIniString(settings, "Setup", "Fuzzed", "value with = and ; inside");
  if (ReadIniString(settings, "Setup", "Fuzzed") != "value with = and ; inside") std::abort();

  WriteFile(dir + "dictionary.txt", data, size);
  LoadDictionary();
  if (DictionaryKeys().size() != DictionaryTexts().size()) std::abort();
  for (size_t i = 0; i < DictionaryKeys().size() && i < 64; ++i) TranslateText(DictionaryKeys()[i]);
  TranslateText("");
  return 0;
}
