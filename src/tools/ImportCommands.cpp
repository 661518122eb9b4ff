// The import commands of the utility: import (one real Btrieve file) and import-db (a whole
// database directory with its DDF dictionary).

#include <ostream>
#include <sstream>

#include "tools/Cli.h"
#include "tools/Description.h"
#include "tools/Import.h"

namespace vader::tools {
namespace {

// Lines "FILE=NAME": the owner name of each source file, by its path in the database directory.
std::vector<std::pair<std::string, std::string>> OwnerNames(const std::string& text) {
  std::vector<std::pair<std::string, std::string>> owners;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    const size_t equals = line.find('=');
    const std::string owner = equals == std::string::npos ? "" : line.substr(equals + 1);
    if (equals == 0 || owner.empty() || owner.size() > 8)
      throw UsageError("owner names are lines FILE=NAME, each name of 1 to 8 characters: " + line);
    owners.emplace_back(line.substr(0, equals), owner);
  }
  return owners;
}

ImportOptions OptionsOf(const Args& a, Context& ctx, const std::string& what) {
  ImportOptions options;
  options.owner = a.Value("owner");
  if (a.Has("owner") && (options.owner.empty() || options.owner.size() > 8))
    throw UsageError("an owner name has 1 to 8 characters");
  if (a.Has("owner-file")) options.owners = OwnerNames(ReadInput(a.Value("owner-file")));
  options.ownerLevel = a.Number("level", 0, 3, 0);
  options.replace = a.Has("replace");
  options.skipUnreadable = a.Has("skip-unreadable");
  options.check = a.Has("check");
  options.progress = ProgressPrinter(a, ctx, what);
  return options;
}

void PrintNotes(const FileImport& f, Context& ctx) {
  if (f.ownerSet) ctx.out << "  " << f.dest << ": owner name set\n";
  for (const std::string& n : f.notes) ctx.out << "  " << f.dest << ": " << n << "\n";
}

int Import(const Args& a, Context& ctx) {
  a.Expect(a.Has("check") ? 1 : 2, 2);
  const ImportOptions options = OptionsOf(a, ctx, "import into " + a.At(a.Count() - 1));
  const ReadSource source = ReadLegacy(a.At(0));
  const legacy::FileInfo& info = source.file.Info();
  if (options.check) {
    ctx.out << a.At(0) << ": Btrieve " << (info.format == legacy::Format::kV6 ? "6.x" : "pre-6.0")
            << " file, " << info.records << " records, readable"
            << (info.ownerProtected ? ", owner-protected" : "") << "\n"
            << Describe(DefinitionOf(info));
    if (source.orderConflicts)
      ctx.out << source.orderConflicts << " records cannot follow every key's duplicate order\n";
    return kExitOk;
  }
  const FileImport f = ImportFile(source, a.At(1), options);
  ctx.out << "imported " << f.records << " records from " << a.At(0) << " into " << a.At(1) << " ("
          << source.file.Info().keys.size() << " keys)\n";
  PrintNotes(f, ctx);
  if (!options.owner.empty() && !f.ownerSet)
    ctx.out << "  " << a.At(0) << " has no owner name, so none was set\n";
  return kExitOk;
}

int ImportDb(const Args& a, Context& ctx) {
  a.Expect(2, 2);
  const ImportOptions options = OptionsOf(a, ctx, "import");
  std::ostream silent(nullptr);  // --quiet: the per-file lines go nowhere
  const DatabaseImport db =
      ImportDatabase(a.At(0), a.At(1), options, a.Has("quiet") ? silent : ctx.err);
  ctx.out << (options.check ? "would import " : "imported ") << db.files.size() << " files ("
          << db.Records() << " records) from " << a.At(0) << " into " << a.At(1) << "\n";
  if (options.check)
    for (const FileImport& f : db.files)
      ctx.out << "  " << f.source << ": " << f.records << " records"
              << (f.ownerProtected ? ", owner-protected" : "") << "\n";
  for (const FileImport& f : db.files) PrintNotes(f, ctx);
  for (const std::string& n : db.notes) ctx.out << "  " << n << "\n";
  if (db.skipped.empty()) return kExitOk;
  // A copy without some of the files the dictionary names is not a finished import.
  ctx.out << "skipped " << db.skipped.size() << ":\n";
  for (const std::string& s : db.skipped) ctx.out << "  " << s << "\n";
  ctx.err << "vbutil: " << db.skipped.size() << " of the files the dictionary names "
          << (options.check ? "would be" : "were") << " left out (listed above)\n";
  return kExitFailed;
}

}  // namespace

std::vector<Command> ImportCommands() {
  const std::string common =
      "  --owner NAME   owner name to set where a source file is owner-protected\n"
      "  --level N      its access level (0 owner needed, 1 read-only without it, 2 and 3 the "
      "same with encryption)\n"
      "  --replace      overwrite existing files\n"
      "  --check        only read and check the sources and say what would be imported\n"
      "  --quiet        no progress lines\n";
  return {
      {"import",
       "SOURCE DEST",
       "create DEST from a data file written by Btrieve 5.x or 6.x",
       common,
       {"owner", "level"},
       {"replace", "quiet", "check"},
       Import},
      {"import-db",
       "SOURCE_DIR DEST_DIR",
       "import a Btrieve database: its DDF files and every data file they name",
       common +
           "  --owner-file FILE  owner names of single files, one line FILE=NAME each (FILE as "
           "the\n                    database directory names it); --owner names the others\n"
           "  --skip-unreadable  leave out files that cannot be read instead of stopping\n"
           "Exits with 1 when a file the dictionary names was left out (each is listed).\n",
       {"owner", "owner-file", "level"},
       {"replace", "quiet", "skip-unreadable", "check"},
       ImportDb},
  };
}

}  // namespace vader::tools
