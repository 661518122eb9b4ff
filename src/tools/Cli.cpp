#include "tools/Cli.h"

#include <fstream>
#include <iostream>
#include <sstream>

#include "platform/CodePage.h"
#include "tools/Btrieve.h"
#include "tools/Sequential.h"
#include "tools/TextLines.h"

namespace vader::tools {
namespace {

constexpr const char* kProgram = "vbutil";

std::vector<Command> AllCommands() {
  std::vector<Command> all = FileCommands();
  for (Command& c : DictionaryCommands()) all.push_back(std::move(c));
  for (Command& c : ImportCommands()) all.push_back(std::move(c));
  for (Command& c : SqlCommands()) all.push_back(std::move(c));
  for (Command& c : CopyDbCommands()) all.push_back(std::move(c));
  for (Command& c : DataCommands()) all.push_back(std::move(c));
  for (Command& c : RestructureCommands()) all.push_back(std::move(c));
  return all;
}

void PrintOverview(std::ostream& out) {
  out << "Usage: " << kProgram << " COMMAND [ARGUMENTS] [OPTIONS]\n"
      << "Creates, inspects, loads, saves and checks record-manager files and DDF "
         "dictionaries,\nand imports files and databases written by real Btrieve engines.\n\n"
         "Commands:\n";
  for (const Command& c : AllCommands()) {
    std::string head = "  " + c.name + " " + c.usage;
    if (head.size() < 44) head.resize(44, ' ');
    out << head << " " << c.summary << "\n";
  }
  out << "\nEvery command takes --codepage N (437, 850, 852, 866, 1251, utf-8 ...): the code "
         "page of the\ntexts stored in the files (names, values, statements); default: the OEM "
         "code page of\nthe locale.\n"
      << "\n'" << kProgram << " COMMAND --help' describes one command. Exit codes: 0 done, 1 "
      << "failed, 2 wrong arguments, 3 check found problems.\n";
}

// Takes --codepage N (or --codepage=N) out of Args and makes N the code page of stored texts.
std::vector<std::string> UseCodePageOption(std::vector<std::string> args) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string value;
    std::size_t taken = 1;
    if (args[i].rfind("--codepage=", 0) == 0) {
      value = args[i].substr(11);
    } else if (args[i] == "--codepage") {
      if (i + 1 >= args.size()) throw UsageError("--codepage needs a value");
      value = args[i + 1];
      taken = 2;
    } else {
      continue;
    }
    const std::string name = platform::CodePageName(value);
    if (name.empty()) throw UsageError("unknown code page '" + value + "'");
    platform::SetOemCodePage(name);
    args.erase(args.begin() + static_cast<std::ptrdiff_t>(i),
               args.begin() + static_cast<std::ptrdiff_t>(i + taken));
    --i;
  }
  return args;
}

void PrintHelp(const Command& c, std::ostream& out) {
  out << "Usage: " << kProgram << " " << c.name << " " << c.usage << "\n" << c.summary << "\n";
  if (!c.details.empty()) out << "\n" << c.details;
}

// The command named by the first one or two words; `used` receives how many words it took.
const Command* Find(const std::vector<Command>& all, const std::vector<std::string>& args,
                    size_t& used) {
  for (const Command& c : all) {
    const bool twoWords = c.name.find(' ') != std::string::npos;
    if (!twoWords && args[0] == c.name) {
      used = 1;
      return &c;
    }
    if (twoWords && args.size() > 1 && args[0] + " " + args[1] == c.name) {
      used = 2;
      return &c;
    }
  }
  return nullptr;
}

int Execute(const Command& c, const std::vector<std::string>& rest, Context& ctx) {
  try {
    for (const std::string& a : rest)
      if (a == "--help" || a == "-h") {
        PrintHelp(c, ctx.out);
        return kExitOk;
      }
    return c.run(Args(rest, c.valued, c.switches), ctx);
  } catch (const UsageError& e) {
    ctx.err << kProgram << " " << c.name << ": " << e.what() << "\nUsage: " << kProgram << " "
            << c.name << " " << c.usage << "\n";
    return kExitUsage;
  } catch (const std::exception& e) {
    ctx.err << kProgram << " " << c.name << ": " << e.what() << "\n";
    return kExitFailed;
  }
}

}  // namespace

Args::Args(const std::vector<std::string>& argv, const std::set<std::string>& valued,
           const std::set<std::string>& switches) {
  for (size_t i = 0; i < argv.size(); ++i) {
    const std::string& a = argv[i];
    if (a.size() < 3 || a.compare(0, 2, "--") != 0) {
      positional_.push_back(a);
      continue;
    }
    const std::string name = a.substr(2);
    if (switches.count(name)) {
      options_[name] = "";
    } else if (valued.count(name)) {
      if (i + 1 >= argv.size()) throw UsageError("option " + a + " needs a value");
      options_[name] = argv[++i];
    } else {
      throw UsageError("unknown option " + a);
    }
  }
}

const std::string& Args::At(size_t n) const {
  if (n >= positional_.size()) throw UsageError("missing argument");
  return positional_[n];
}

std::string Args::Value(const std::string& option, const std::string& fallback) const {
  const auto it = options_.find(option);
  return it == options_.end() ? fallback : it->second;
}

int Args::Number(const std::string& option, int min, int max, int fallback) const {
  const auto it = options_.find(option);
  if (it == options_.end()) return fallback;
  const std::string& v = it->second;
  const bool digits =
      !v.empty() && v.size() <= 9 && v.find_first_not_of("0123456789") == std::string::npos;
  const int n = digits ? std::stoi(v) : -1;
  if (!digits || n < min || n > max)
    throw UsageError("--" + option + " takes a number from " + std::to_string(min) + " to " +
                     std::to_string(max));
  return n;
}

void Args::Expect(size_t min, size_t max) const {
  if (positional_.size() < min) throw UsageError("missing argument");
  if (positional_.size() > max) throw UsageError("too many arguments");
}

int RunProgram(const char* program, const char* usage, const std::vector<std::string>& argv,
               const std::set<std::string>& valued, const std::set<std::string>& switches,
               const std::function<int(const Args&)>& run) {
  for (const std::string& a : argv)
    if (a == "--help" || a == "-h") {
      std::cout << usage;
      return kExitOk;
    }
  try {
    return run(Args(argv, valued, switches));
  } catch (const UsageError& e) {
    std::cerr << program << ": " << e.what() << "\n" << usage;
    return kExitUsage;
  } catch (const std::exception& e) {
    std::cerr << program << ": " << e.what() << "\n";
    return kExitFailed;
  }
}

std::string ReadInput(const std::string& path) {
  std::ostringstream text;
  if (path == "-") {
    text << std::cin.rdbuf();
    return text.str();
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  text << in.rdbuf();
  return text.str();
}

std::function<void(uint64_t)> ProgressPrinter(const Args& args, Context& ctx,
                                              const std::string& what) {
  if (args.Has("quiet")) return {};
  return [&ctx, what](uint64_t n) { ctx.err << what << ": " << n << " records\n" << std::flush; };
}

std::string ShownText(std::string_view stored) {
  return platform::NativeTextToAnsi(stored, platform::OemCodePage());
}

std::string StoredText(std::string_view typed) {
  platform::EncodedText native = platform::AnsiTextToNative(typed, platform::OemCodePage());
  if (!native.ok)
    throw UsageError("code page " + platform::OemCodePage() + " has no character \"" +
                     platform::Utf8ToAnsi(native.refused) + "\" (" +
                     platform::CharacterCodeText(native.refused) + ")");
  return std::move(native.bytes);
}

std::size_t TextWidth(std::string_view text) {
  if (!platform::AnsiIsUtf8()) return text.size();
  std::size_t characters = 0;
  for (std::size_t at = 0; at < text.size(); ++characters) platform::NextUtf8Character(text, at);
  return characters;
}

std::string PadToWidth(std::string text, std::size_t width) {
  const std::size_t characters = TextWidth(text);
  if (characters < width) text.append(width - characters, ' ');
  return text;
}

int RunUtility(const std::vector<std::string>& given, std::ostream& out, std::ostream& err) {
  Context ctx{out, err};
  std::vector<std::string> args;
  try {
    args = UseCodePageOption(given);
  } catch (const UsageError& e) {
    err << kProgram << ": " << e.what() << "\n";
    return kExitUsage;
  }
  if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    PrintOverview(args.empty() ? err : out);
    return args.empty() ? kExitUsage : kExitOk;
  }
  const std::vector<Command> all = AllCommands();
  size_t used = 0;
  const Command* c = Find(all, args, used);
  if (!c) {
    err << kProgram << ": unknown command '" << args[0] << "'; '" << kProgram
        << " --help' lists the commands\n";
    return kExitUsage;
  }
  return Execute(*c, std::vector<std::string>(args.begin() + used, args.end()), ctx);
}

}  // namespace vader::tools
