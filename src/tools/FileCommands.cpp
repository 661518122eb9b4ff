// The file commands of the utility: create, describe, save, load, copy, clone, index add and
// drop, check, owner set and clear.

#include <fstream>
#include <iostream>

#include "tools/Cli.h"
#include "tools/Description.h"
#include "tools/IntegrityCheck.h"
#include "tools/Records.h"

namespace vader::tools {
namespace {

const char* const kOwnerHelp = "  --owner NAME   the file's owner name\n";

int Create(const Args& a, Context& ctx) {
  a.Expect(2, 2);
  const FileDef def = ParseDescription(ReadInput(a.At(1)));
  CreateFromDef(a.At(0), def, a.Has("replace"));
  ctx.out << "created " << a.At(0) << " (" << def.keys.size() << " keys)\n";
  return kExitOk;
}

int DescribeFile(const Args& a, Context& ctx) {
  a.Expect(1, 1);
  ctx.out << Describe(StatFile(a.At(0), a.Value("owner")));
  return kExitOk;
}

int Save(const Args& a, Context& ctx) {
  a.Expect(1, 2);
  const std::string target = a.Count() > 1 ? a.At(1) : "-";
  uint64_t n = 0;
  const auto progress = ProgressPrinter(a, ctx, "save " + a.At(0));
  if (target == "-") {
    n = SaveRecords(a.At(0), a.Value("owner"), ctx.out, progress);
  } else {
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("cannot write " + target);
    n = SaveRecords(a.At(0), a.Value("owner"), out, progress);
    ctx.out << "saved " << n << " records to " << target << "\n";
  }
  return kExitOk;
}

int Load(const Args& a, Context& ctx) {
  a.Expect(2, 2);
  std::ifstream file;
  if (a.At(1) != "-") {
    file.open(a.At(1), std::ios::binary);
    if (!file) throw std::runtime_error("cannot read " + a.At(1));
  }
  std::istream& in = a.At(1) == "-" ? std::cin : file;
  const uint64_t n =
      LoadRecords(a.At(0), a.Value("owner"), in, ProgressPrinter(a, ctx, "load " + a.At(0)));
  ctx.out << "loaded " << n << " records into " << a.At(0) << "\n";
  return kExitOk;
}

int Copy(const Args& a, Context& ctx) {
  a.Expect(2, 2);
  const uint64_t n = CopyRecords(a.At(0), a.Value("owner"), a.At(1), a.Value("to-owner"),
                                 ProgressPrinter(a, ctx, "copy to " + a.At(1)));
  ctx.out << "copied " << n << " records from " << a.At(0) << " to " << a.At(1) << "\n";
  return kExitOk;
}

int Clone(const Args& a, Context& ctx) {
  a.Expect(2, 2);
  CloneFile(a.At(0), a.Value("owner"), a.At(1), a.Has("replace"));
  ctx.out << "created " << a.At(1) << " with the definition of " << a.At(0) << "\n";
  return kExitOk;
}

int IndexAdd(const Args& a, Context& ctx) {
  a.Expect(2, 2);
  const FileDef keys = ParseKeyDescription(ReadInput(a.At(1)));
  if (keys.keys.size() != 1) throw UsageError("the description must hold exactly one key");
  BtrFile file(a.At(0), a.Value("owner"));
  Bytes segments = SegmentBuffer(keys.keys.front(), false);
  for (const Bytes& acs : keys.acs) segments += acs;
  const bool numbered = a.Has("number") || keys.flags & kFileNumberedKeys;
  file.CreateIndex(segments, numbered ? a.Number("number", 0, 118, keys.keys.front().number) : -1);
  ctx.out << "added a key to " << a.At(0) << "\n";
  return kExitOk;
}

int IndexDrop(const Args& a, Context& ctx) {
  a.Expect(2, 2);
  Args number({"--number", a.At(1)}, {"number"}, {});
  BtrFile file(a.At(0), a.Value("owner"));
  file.DropIndex(number.Number("number", 0, 118, 0), !a.Has("keep-numbers"));
  ctx.out << "dropped key " << a.At(1) << " of " << a.At(0) << "\n";
  return kExitOk;
}

int Check(const Args& a, Context& ctx) {
  a.Expect(1, 1);
  const CheckReport report = CheckFile(a.At(0), a.Value("owner"));
  for (const std::string& p : report.problems) ctx.out << a.At(0) << ": " << p << "\n";
  if (report.problemCount > report.problems.size())
    ctx.out << "... and " << report.problemCount - report.problems.size() << " more\n";
  ctx.out << a.At(0) << ": " << report.records << " records, " << report.keys << " keys, "
          << (report.Ok() ? "every index agrees with the records"
                          : std::to_string(report.problemCount) + " problems")
          << "\n";
  return report.Ok() ? kExitOk : kExitProblems;
}

int OwnerSet(const Args& a, Context& ctx) {
  a.Expect(2, 2);
  if (a.At(1).empty() || a.At(1).size() > 8)
    throw UsageError("an owner name has 1 to 8 characters");
  BtrFile file(a.At(0), a.Value("owner"), -4);
  file.SetOwner(a.At(1), a.Number("level", 0, 3, 0));
  ctx.out << "owner name set on " << a.At(0) << "\n";
  return kExitOk;
}

int OwnerClear(const Args& a, Context& ctx) {
  a.Expect(1, 1);
  BtrFile file(a.At(0), a.Value("owner"), -4);
  file.ClearOwner();
  ctx.out << "owner name cleared on " << a.At(0) << "\n";
  return kExitOk;
}

}  // namespace

std::vector<Command> FileCommands() {
  const std::string owner = kOwnerHelp;
  const std::string quiet = "  --quiet        no progress lines\n";
  return {
      {"create",
       "FILE DESCRIPTION",
       "create a file from a description ('-': standard input)",
       "  --replace      overwrite an existing file\n",
       {},
       {"replace"},
       Create},
      {"describe",
       "FILE",
       "print the file's definition as a description",
       owner,
       {"owner"},
       {},
       DescribeFile},
      {"save",
       "FILE [OUTPUT]",
       "write every record in sequential format (default: standard output)",
       owner + quiet,
       {"owner"},
       {"quiet"},
       Save},
      {"load",
       "FILE INPUT",
       "insert the records of a sequential file ('-': standard input)",
       owner + quiet,
       {"owner"},
       {"quiet"},
       Load},
      {"copy",
       "FROM TO",
       "insert every record of FROM into the existing file TO",
       owner + "  --to-owner NAME  the owner name of TO\n" + quiet,
       {"owner", "to-owner"},
       {"quiet"},
       Copy},
      {"clone",
       "FROM TO",
       "create TO, empty, with the definition of FROM",
       owner + "  --replace      overwrite an existing TO\n",
       {"owner"},
       {"replace"},
       Clone},
      {"index add",
       "FILE DESCRIPTION",
       "add a key given as 'key' and 'segment' lines",
       owner + "  --number N     the key's number (default: the next free one)\n",
       {"owner", "number"},
       {},
       IndexAdd},
      {"index drop",
       "FILE NUMBER",
       "drop a key; higher keys are renumbered",
       owner + "  --keep-numbers  keep the numbers of the higher keys\n",
       {"owner"},
       {"keep-numbers"},
       IndexDrop},
      {"check",
       "FILE",
       "check that every key index agrees with the records",
       owner,
       {"owner"},
       {},
       Check},
      {"owner set",
       "FILE NAME",
       "set an owner name (1 to 8 characters)",
       owner + "  --level N      0 owner needed for any access (default), 1 read-only without "
               "it, 2 and 3 the same with encryption\n",
       {"owner", "level"},
       {},
       OwnerSet},
      {"owner clear",
       "FILE",
       "remove the owner name (give it with --owner)",
       owner,
       {"owner"},
       {},
       OwnerClear},
  };
}

}  // namespace vader::tools
