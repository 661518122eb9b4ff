#include "tools/Cli.h"

#include <fstream>
#include <iostream>
#include <sstream>

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
  out << "\n'" << kProgram << " COMMAND --help' describes one command. Exit codes: 0 done, 1 "
      << "failed, 2 wrong arguments, 3 check found problems.\n";
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

int RunUtility(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  Context ctx{out, err};
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
