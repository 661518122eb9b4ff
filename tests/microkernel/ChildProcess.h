#pragma once
// A child process running one of the roles of ChildMain.cpp, with pipes on its standard input
// and output.

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "BtrieveApi.h"

namespace vader::microkernel::test {

class Child {
 public:
  // With `netns`, the child runs inside that network namespace (another simulated host).
  Child(const std::string& role, const std::vector<std::string>& args,
        const std::string& netns = std::string()) {
    int out[2], in[2];
    if (::pipe(out) != 0) return;
    if (::pipe(in) != 0) {
      ::close(out[0]);
      ::close(out[1]);
      return;
    }
    pid_ = SpawnChild(role, args, out[1], in[0], netns);
    ::close(out[1]);
    ::close(in[0]);
    in_ = ::fdopen(out[0], "r");
    out_ = ::fdopen(in[1], "w");
  }
  ~Child() {
    Kill();
    if (in_) std::fclose(in_);
    if (out_) std::fclose(out_);
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  // The next line the child wrote; empty at its end.
  std::string Line() {
    char buf[256];
    if (!in_ || !std::fgets(buf, sizeof buf, in_)) return std::string();
    std::string s(buf);
    if (!s.empty() && s.back() == '\n') s.pop_back();
    return s;
  }
  // Sends one line to the child and returns the line it answers.
  std::string Ask(const std::string& line) {
    if (!out_ || std::fprintf(out_, "%s\n", line.c_str()) < 0 || std::fflush(out_) != 0)
      return std::string();
    return Line();
  }
  // The same, giving up with an empty answer after `ms` milliseconds.
  std::string AskWithin(const std::string& line, int ms) {
    if (!out_ || std::fprintf(out_, "%s\n", line.c_str()) < 0 || std::fflush(out_) != 0)
      return std::string();
    pollfd answer{::fileno(in_), POLLIN, 0};
    return ::poll(&answer, 1, ms) > 0 ? Line() : std::string();
  }
  void Kill() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  int pid_ = -1;
  FILE* in_ = nullptr;
  FILE* out_ = nullptr;
};

}  // namespace vader::microkernel::test
