// The table commands of the utility that go through the data-access components: restructure.

#include <ostream>

#include "components/BtrMain.h"
#include "components/TableRestructure.h"
#include "framework/FrameworkErrors.h"
#include "tools/Cli.h"
#include "tools/ComponentsStarted.h"
#include "tools/TableSchema.h"

namespace vader::tools {
namespace {

TableDef OneTable(const std::string& schemaPath) {
  const std::vector<TableDef> tables = ParseSchema(StoredText(ReadInput(schemaPath)));
  if (tables.size() != 1) throw UsageError("the schema must describe exactly one table");
  return tables.front();
}

int Restructure(const Args& a, Context& ctx) {
  a.Expect(3, 3);
  const TableDef def = OneTable(a.At(2));
  const bool blank = a.Has("blank-bad-values");
  const bool quiet = a.Has("quiet");
  TRestructureOptions options;
  options.progressInterval = 50000;
  options.onBadValue = [&](const TBadValue& bad) {
    ctx.err << "record " << bad.record << ", field " << ShownText(bad.field) << ": '"
            << ShownText(bad.value) << "' does not convert (" << bad.reason << ")"
            << (blank ? "; set blank" : "") << "\n";
    return blank ? TBadValueAction::Blank : TBadValueAction::Stop;
  };
  options.onProgress = [&](int64_t done, int64_t total, bool&) {
    if (!quiet) ctx.err << done << " of " << total << " records\n";
  };
  ComponentsStarted components;
  const TRestructureResult result =
      RestructureTable(DatabasePath(a.At(0)), StoredText(a.At(1)), def, options);
  ctx.out << "restructured " << a.At(1) << " (" << result.records << " records";
  if (result.blanked) ctx.out << ", " << result.blanked << " values set blank";
  ctx.out << ")\n";
  return kExitOk;
}

}  // namespace

std::vector<Command> RestructureCommands() {
  return {
      {"restructure",
       "DIRECTORY TABLE SCHEMA",
       "give a table the structure of a schema, keeping its records",
       "  SCHEMA is one table as 'ddf describe' prints it, changed: fields added, dropped,\n"
       "  renamed (from=OLDNAME), moved, resized or of another type; indexes added or dropped.\n"
       "  --blank-bad-values  set a value that does not convert blank (default: stop)\n"
       "  --quiet             no progress lines\n",
       {},
       {"blank-bad-values", "quiet"},
       Restructure},
  };
}

}  // namespace vader::tools
