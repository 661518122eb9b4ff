// The dictionary commands of the utility: ddf create, define, list, describe and drop.

#include <iomanip>
#include <ostream>

#include "tools/Cli.h"
#include "tools/Dictionary.h"
#include "tools/TableSchema.h"

namespace vader::tools {
namespace {

int DdfCreate(const Args& a, Context& ctx) {
  a.Expect(1, 1);
  const std::string owner = a.Value("owner");
  if (owner.size() > 8) throw UsageError("an owner name has 1 to 8 characters");
  Dictionary::Create(a.At(0), owner, a.Number("level", 0, 3, 0), a.Has("replace"));
  ctx.out << "created the dictionary in " << a.At(0) << "\n";
  return kExitOk;
}

int DdfDefine(const Args& a, Context& ctx) {
  a.Expect(2, 2);
  const std::vector<TableDef> tables = ParseSchema(StoredText(ReadInput(a.At(1))));
  Dictionary dictionary(a.At(0), a.Value("owner"));
  for (const TableDef& t : tables) {
    const TableDef stored = dictionary.Define(t, !a.Has("no-file"), a.Has("replace"));
    ctx.out << "defined " << ShownText(stored.name) << " (table id " << stored.id << ", "
            << stored.fields.size() << " fields, " << stored.indexes.size() << " indexes)\n";
  }
  return kExitOk;
}

int DdfCreateTable(const Args& a, Context& ctx) {
  a.Expect(2, 2);
  const std::vector<TableDef> tables = ParseSchema(StoredText(ReadInput(a.At(1))));
  if (tables.size() != 1) throw UsageError("the schema must describe exactly one table");
  const TableDef stored =
      Dictionary(a.At(0), a.Value("owner")).Define(tables.front(), true, false);
  ctx.out << "created " << ShownText(stored.name) << " (table id " << stored.id << ", "
          << stored.fields.size() << " fields, " << stored.indexes.size() << " indexes)\n";
  return kExitOk;
}

int DdfList(const Args& a, Context& ctx) {
  a.Expect(1, 1);
  Dictionary dictionary(a.At(0), a.Value("owner"));
  for (const TableDef& t : dictionary.Tables(a.Has("all")))
    ctx.out << std::setw(5) << t.id << "  " << PadToWidth(ShownText(t.name), 21)
            << ShownText(t.location) << (t.flags & kTableDictionary ? "  (dictionary)" : "")
            << "\n";
  return kExitOk;
}

int DdfDescribe(const Args& a, Context& ctx) {
  a.Expect(2, 2);
  ctx.out << ShownText(
      FormatSchema(Dictionary(a.At(0), a.Value("owner")).Table(StoredText(a.At(1)))));
  return kExitOk;
}

int DdfDrop(const Args& a, Context& ctx) {
  a.Expect(2, 2);
  Dictionary(a.At(0), a.Value("owner")).Drop(StoredText(a.At(1)), a.Has("delete-file"));
  ctx.out << "dropped " << a.At(1) << (a.Has("delete-file") ? " and its data file" : "") << "\n";
  return kExitOk;
}

}  // namespace

std::vector<Command> DictionaryCommands() {
  const std::string owner = "  --owner NAME   the owner name of the dictionary files\n";
  return {
      {"ddf create",
       "DIRECTORY",
       "create FILE.DDF, FIELD.DDF and INDEX.DDF",
       "  --owner NAME   set this owner name on the dictionary files\n"
       "  --level N      owner access level (0 owner needed, 1 read-only without it)\n"
       "  --replace      overwrite existing dictionary files\n",
       {"owner", "level"},
       {"replace"},
       DdfCreate},
      {"ddf define",
       "DIRECTORY SCHEMA",
       "add the tables of a schema and create their data files",
       owner + "  --no-file      only write the dictionary entries\n"
               "  --replace      overwrite existing data files\n",
       {"owner"},
       {"no-file", "replace"},
       DdfDefine},
      {"ddf create-table",
       "DIRECTORY SCHEMA",
       "create one table: its data file and its dictionary entries, all or nothing",
       owner + "  SCHEMA describes one table; an existing data file is never replaced\n",
       {"owner"},
       {},
       DdfCreateTable},
      {"ddf list",
       "DIRECTORY",
       "list the tables",
       owner + "  --all          include the "
               "dictionary's own tables\n",
       {"owner"},
       {"all"},
       DdfList},
      {"ddf describe",
       "DIRECTORY TABLE",
       "print a table's schema",
       owner,
       {"owner"},
       {},
       DdfDescribe},
      {"ddf drop",
       "DIRECTORY TABLE",
       "remove a table's dictionary entries",
       owner + "  --delete-file  also delete its data file\n",
       {"owner"},
       {"delete-file"},
       DdfDrop},
  };
}

}  // namespace vader::tools
