// Child-process roles: when VADER_MK_CHILD is set, this test executable acts as a second
// program using the library, before any test runs.

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "Fixture.h"

namespace vader::microkernel::test {
namespace {

void Ack(const std::string& line) {
  const std::string text = line + "\n";
  if (::write(1, text.data(), text.size()) < 0) std::_Exit(3);
}

// insert <path> <first id> <count>: inserts and acknowledges each record once written.
int InsertRole(char** argv) {
  File f;
  if (f.Open(argv[1]) != 0) return 2;
  const int first = std::atoi(argv[2]);
  const int count = std::atoi(argv[3]);
  for (int id = first; id < first + count; ++id) {
    std::string rec = Le(static_cast<uint32_t>(id), 4) + "child";
    rec.resize(32, ' ');
    if (f.Insert(rec) != 0) return 4;
    Ack(std::to_string(id));
  }
  ::pause();
  return 0;
}

// lock <path> <id>: holds a single-record lock until killed.
int LockRole(char** argv) {
  File f;
  if (f.Open(argv[1]) != 0) return 2;
  if (f.Get(kGetEqual + 200, 0, Le(static_cast<uint32_t>(std::atoi(argv[2])), 4)) != 0) return 4;
  Ack("locked");
  ::pause();
  return 0;
}

// txn <path a> <path b> <id>: inserts the id into both files inside one transaction, then
// waits, uncommitted, to be killed.
int TransactionRole(char** argv) {
  ClientId client(9);
  File a(&client), b(&client);
  if (a.Open(argv[1]) != 0 || b.Open(argv[2]) != 0) return 2;
  if (Op(kBegin, &client) != 0) return 4;
  std::string rec = Le(static_cast<uint32_t>(std::atoi(argv[3])), 4) + "child";
  rec.resize(32, ' ');
  if (a.Insert(rec) != 0 || b.Insert(rec) != 0) return 4;
  Ack("inserted");
  ::pause();
  return 0;
}

// write <path>: runs the writes of WritePerson it reads on its standard input, one a line
// ("VERB ID AMOUNT"), and answers each with its status.
int WriteRole(char** argv) {
  File f;
  if (f.Open(argv[1]) != 0) return 2;
  char verb = 0;
  int id = 0, amount = 0;
  while (std::scanf(" %c %d %d", &verb, &id, &amount) == 3)
    Ack(std::to_string(WritePerson(f, verb, id, amount)));
  return 0;
}

// people <path>...: creates people files, answers "created" and waits.
int PeopleRole(char** argv) {
  const auto layout = Layout(32, 4096).Key({{1, 4, 0, tInteger}}).Key({{5, 20, kDup | kMod, tString}});
  for (char** path = argv + 1; *path; ++path)
    if (Create(*path, layout.Bytes()) != 0) return 2;
  File f;
  if (f.Open(argv[1]) != 0 || f.Insert(PersonRecord(1, "shared", 0)) != 0) return 4;
  Ack("created");
  ::pause();
  return 0;
}

// bump <path> <id> <count> [strict]: adds 1 to the amount of the record, `count` times, each
// time under a wait lock and retrying what a concurrent writer made fail; answers "done
// <amount>" with the amount it then reads. Strict: the record read with the lock must be the
// one stored, so an update that meets a change (80) fails.
int BumpRole(char** argv) {
  File f;
  if (f.Open(argv[1]) != 0) return 2;
  const bool strict = argv[4] && std::string(argv[4]) == "strict";
  const auto id = static_cast<uint32_t>(std::atoi(argv[2]));
  for (int i = 0, count = std::atoi(argv[3]); i < count; ++i) {
    for (int16_t s = -1; s != 0;) {
      s = f.Get(kGetEqual + 100, 0, Le(id, 4));
      if (s == 0) {
        const auto amount = static_cast<int32_t>(FromLe(f.record, 24, 4));
        s = f.Update(PersonRecord(static_cast<int32_t>(id), "shared", amount + 1));
      }
      if (s != 0 && (s != 80 || strict) && s != 84 && s != 85) {
        Ack("failed " + std::to_string(s));
        return 4;
      }
    }
  }
  if (f.Get(kGetEqual, 0, Le(id, 4)) != 0) return 4;
  Ack("done " + std::to_string(static_cast<int32_t>(FromLe(f.record, 24, 4))));
  ::pause();
  return 0;
}

struct ChildDispatch {
  ChildDispatch() {
    const char* role = std::getenv("VADER_MK_CHILD");
    if (!role) return;
    char** argv = nullptr;
    // Arguments come from /proc/self/cmdline: this runs before main.
    static std::string cmdline;
    if (FILE* in = std::fopen("/proc/self/cmdline", "rb")) {
      char buf[4096];
      size_t n;
      while ((n = std::fread(buf, 1, sizeof buf, in)) > 0) cmdline.append(buf, n);
      std::fclose(in);
    }
    static std::vector<char*> args;
    for (size_t i = 0; i < cmdline.size(); i += std::strlen(cmdline.c_str() + i) + 1)
      args.push_back(cmdline.data() + i);
    args.push_back(nullptr);
    argv = args.data();
    const std::string r = role;
    std::_Exit(r == "insert"  ? InsertRole(argv)
               : r == "lock"  ? LockRole(argv)
               : r == "txn"   ? TransactionRole(argv)
               : r == "write" ? WriteRole(argv)
               : r == "people" ? PeopleRole(argv)
               : r == "bump"  ? BumpRole(argv)
                              : 5);
  }
} childDispatch;

}  // namespace
}  // namespace vader::microkernel::test
