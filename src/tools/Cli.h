#pragma once
// The command-line frame of the utility: subcommands with their help, option parsing, and
// the mapping of failures to messages and exit codes.

#include <functional>
#include <iosfwd>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace vader::tools {

enum ExitCode : int {
  kExitOk = 0,
  kExitFailed = 1,    // the operation failed (message on stderr)
  kExitUsage = 2,     // wrong arguments
  kExitProblems = 3,  // check found problems
};

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Positional arguments and --options of one command.
class Args {
 public:
  // `valued` names the options that take a value; `switches` those that do not.
  Args(const std::vector<std::string>& argv, const std::set<std::string>& valued,
       const std::set<std::string>& switches);
  const std::string& At(size_t n) const;  // throws UsageError when missing
  size_t Count() const { return positional_.size(); }
  bool Has(const std::string& option) const { return options_.count(option) > 0; }
  std::string Value(const std::string& option, const std::string& fallback = "") const;
  int Number(const std::string& option, int min, int max, int fallback) const;
  void Expect(size_t min, size_t max) const;

 private:
  std::vector<std::string> positional_;
  std::map<std::string, std::string> options_;
};

struct Context {
  std::ostream& out;
  std::ostream& err;
};

struct Command {
  std::string name;     // "describe", "ddf define", ...
  std::string usage;    // arguments after the name
  std::string summary;  // one line
  std::string details;  // the options, one per line
  std::set<std::string> valued;
  std::set<std::string> switches;
  std::function<int(const Args&, Context&)> run;
};

// Texts stored in the files (names, values, statements) as the terminal shows them, decoded
// from the code page of stored texts (--codepage); typed text in that code page, where a
// character it cannot hold is a UsageError.
std::string ShownText(std::string_view stored);
std::string StoredText(std::string_view typed);
// The characters a terminal shows for Text, and Text followed by blanks up to Width of them.
std::size_t TextWidth(std::string_view text);
std::string PadToWidth(std::string text, std::size_t width);

// Reads a whole file, or standard input for "-".
std::string ReadInput(const std::string& path);
// Prints "N records" progress lines to `err` unless --quiet.
std::function<void(uint64_t)> ProgressPrinter(const Args& args, Context& ctx,
                                              const std::string& what);

std::vector<Command> FileCommands();
std::vector<Command> DictionaryCommands();
std::vector<Command> ImportCommands();
std::vector<Command> CopyDbCommands();
std::vector<Command> DataCommands();
std::vector<Command> RestructureCommands();

// The frame of a single-command program: --help prints `usage`; `run` gets the parsed
// arguments; a UsageError prints the message and the usage (exit 2), any other failure the
// message (exit 1). Messages begin with `program`.
int RunProgram(const char* program, const char* usage, const std::vector<std::string>& argv,
               const std::set<std::string>& valued, const std::set<std::string>& switches,
               const std::function<int(const Args&)>& run);
std::vector<Command> SqlCommands();

// Runs the utility on argv[1..]; returns the exit code.
int RunUtility(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace vader::tools
