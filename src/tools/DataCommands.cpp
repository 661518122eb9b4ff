// The utility's commands over the tables of a DDF database through the dataset components:
// export (CSV, JSON or an SQL script of the table's records) and import-csv (a CSV or JSON
// file into a table, refused records reported with their lines).

#include <ostream>
#include <sstream>

#include "components/BtrMain.h"
#include "components/BtrMainTable.h"
#include "components/DataExport.h"
#include "components/DataImport.h"
#include "tools/Cli.h"
#include "tools/ComponentsStarted.h"

namespace vader::tools {
namespace {

char SeparatorOf(const Args& a) {
  const std::string value = a.Value("separator", ",");
  if (value == "tab" || value == "\\t") return '\t';
  if (value.size() != 1 || value == "\"" || value == "\r" || value == "\n")
    throw UsageError("--separator takes one character (or 'tab'), not a quote or a line break");
  return value[0];
}

// "utf-8" or "database": whether texts are in the code page the database stores them in.
bool InDatabaseCodePage(const Args& a) {
  const std::string value = a.Value("encoding", "utf-8");
  if (value != "utf-8" && value != "database")
    throw UsageError("--encoding is utf-8 or database, not " + value);
  return value == "database";
}

TExportOptions ExportOptionsOf(const Args& a, const std::string& table) {
  TExportOptions options;
  const std::string format = a.Value("format", "csv");
  if (format == "json")
    options.format = TExportFormat::efJson;
  else if (format == "sql")
    options.format = TExportFormat::efSql;
  else if (format != "csv")
    throw UsageError("--format is csv, json or sql, not " + format);
  options.databaseCodePage = InDatabaseCodePage(a);
  options.separator = SeparatorOf(a);
  const std::string quote = a.Value("quote", "needed");
  if (quote == "texts")
    options.quoting = TCsvQuoting::cqTexts;
  else if (quote == "all")
    options.quoting = TCsvQuoting::cqAll;
  else if (quote != "needed")
    throw UsageError("--quote is needed, texts or all, not " + quote);
  options.header = !a.Has("no-header");
  const std::string ends = a.Value("line-ends", "crlf");
  if (ends != "crlf" && ends != "lf") throw UsageError("--line-ends is crlf or lf, not " + ends);
  options.lineEnd = ends == "lf" ? "\n" : "\r\n";
  options.tableName = a.Value("sql-table", table);
  return options;
}

int Export(const Args& a, Context& ctx) {
  a.Expect(3, 3);
  TExportOptions options = ExportOptionsOf(a, a.At(1));
  const ComponentsStarted started;
  TtbTable table;
  table.SetDatabaseName(DatabasePath(a.At(0)));
  table.SetTableName(a.At(1));
  table.SetReadOnly(true);
  if (a.Has("index")) table.SetIndexName(a.Value("index"));
  table.Open();
  const std::string path = ExportFileName(a.At(2), options.format);
  const auto progress = ProgressPrinter(a, ctx, "export of " + a.At(1));
  const TExportResult result = ExportDataSet(table, path, options, [&](int written) {
    if (progress) progress(static_cast<uint64_t>(written));
    return true;
  });
  ctx.out << "exported " << result.records << " records of " << a.At(1) << " to " << path << "\n";
  return kExitOk;
}

TImportFileOptions FileOptionsOf(const Args& a, const TtbTable& table, const std::string& path) {
  TImportFileOptions options;
  const bool jsonName = path.size() > 5 && path.compare(path.size() - 5, 5, ".json") == 0;
  const std::string format = a.Value("format", jsonName ? "json" : "csv");
  if (format == "json")
    options.format = TImportFormat::ifJson;
  else if (format != "csv")
    throw UsageError("--format is csv or json, not " + format);
  if (InDatabaseCodePage(a)) options.codePage = table.TextCodePage();
  options.separator = SeparatorOf(a);
  options.header = !a.Has("no-header");
  return options;
}

TImportSettings SettingsOf(const Args& a) {
  TImportSettings settings;
  const std::string mode = a.Value("mode", "append");
  if (mode == "update")
    settings.mode = TBatchMode::batUpdate;
  else if (mode == "append-update")
    settings.mode = TBatchMode::batAppendUpdate;
  else if (mode != "append")
    throw UsageError("--mode is append, update or append-update, not " + mode);
  settings.keyViolTableName = a.Value("keyviol-table");
  settings.problemTableName = a.Value("problem-table");
  return settings;
}

// --map FIELD=COLUMN,FIELD=COLUMN (a column by its name or number).
std::vector<std::string> ChosenPairs(const std::string& text) {
  std::vector<std::string> pairs;
  std::istringstream items(text);
  for (std::string item; std::getline(items, item, ',');)
    if (!item.empty()) pairs.push_back(item);
  return pairs;
}

TImportMatch MatchOf(const Args& a) {
  if (a.Has("map")) return TImportMatch::imChosen;
  return a.Has("by-position") ? TImportMatch::imByPosition : TImportMatch::imByName;
}

int ImportCsv(const Args& a, Context& ctx) {
  a.Expect(3, 3);
  const TImportSettings settings = SettingsOf(a);
  const ComponentsStarted started;
  TtbTable table;
  table.SetDatabaseName(DatabasePath(a.At(0)));
  table.SetTableName(a.At(1));
  table.Open();
  const TImportRows rows = ReadImportFile(a.At(2), FileOptionsOf(a, table, a.At(2)));
  const TImportMapping mapping = MatchColumns(rows, table, MatchOf(a), ChosenPairs(a.Value("map")));
  const auto progress = ProgressPrinter(a, ctx, "import into " + a.At(1));
  const TImportResult result = ImportRows(rows, mapping, table, settings, [&](int processed) {
    if (progress) progress(static_cast<uint64_t>(processed));
    return true;
  });
  ctx.out << "imported " << result.imported << " of " << rows.rows.size() << " records into "
          << a.At(1) << "\n";
  for (const TImportRefusal& refusal : result.refused)
    ctx.out << "  line " << refusal.line << ": " << (refusal.keyViolation ? "duplicate key: " : "")
            << refusal.reason << "\n";
  return result.refused.empty() ? kExitOk : kExitProblems;
}

}  // namespace

std::vector<Command> DataCommands() {
  const std::string csv =
      "  --encoding E      utf-8 (default) or database: the code page the database stores "
      "texts in\n"
      "  --separator C     the field separator (default ','; 'tab' for a tab)\n"
      "  --no-header       no first row of column names\n";
  return {
      {"export",
       "DIRECTORY TABLE FILE",
       "write the records of a table to a CSV, JSON or SQL file (.csv, .json, .sql added)",
       "  --format F        csv (default), json (an array of objects) or sql (INSERT "
       "statements)\n" +
           csv +
           "  --quote Q         needed (default), texts (every text and date) or all fields\n"
           "  --line-ends L     crlf (default) or lf\n"
           "  --index NAME      the order of the records (default: the first index)\n"
           "  --sql-table NAME  the table the INSERT statements name (default: TABLE)\n"
           "  --quiet           no progress lines\n",
       {"format", "encoding", "separator", "quote", "line-ends", "index", "sql-table"},
       {"no-header", "quiet"},
       Export},
      {"import-csv",
       "DIRECTORY TABLE FILE",
       "add the records of a CSV or JSON file to a table; refused records are listed by line",
       "  --format F        csv, or json (an array of objects); by default from the file name\n" +
           csv +
           "  --by-position     the Nth column goes to the Nth field (default: equal names)\n"
           "  --map PAIRS       FIELD=COLUMN,... (a column by its name or number from 1)\n"
           "  --mode M          append (default), update or append-update (by the first "
           "index)\n"
           "  --keyviol-table T a table of the database for the records with a duplicate key\n"
           "  --problem-table T a table of the database for the records whose values do not "
           "fit\n"
           "  --quiet           no progress lines\n"
           "Exits with 3 when a record was refused.\n",
       {"format", "encoding", "separator", "map", "mode", "keyviol-table", "problem-table"},
       {"no-header", "by-position", "quiet"},
       ImportCsv},
  };
}

}  // namespace vader::tools
