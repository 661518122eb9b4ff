// The Vader desktop application: brings the services up in order, shows the translated
// main window, runs the message loop, takes the services down in reverse order, and then
// destroys the windows.

#include <QApplication>
#include <QMessageBox>
#include <QScreen>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "AppLifecycle.h"
#include "LongWorks.h"
#include "AppTexts.h"
#include "DataForm.h"
#include "DatabaseForm.h"
#include "QtPrompts.h"
#include "SqlForm.h"
#include "TableDesignRules.h"
#include "components/TableRestructure.h"
#include "framework/DBConsts.h"
#include "framework/Dialogs.h"
#include "language/zInter.h"
#include "platform/CodePage.h"
#include "platform/WindowMessages.h"
#include "shell/Startup.h"
#include "tools/SchemaTexts.h"
#include "ui/ErrorDisplay.h"
#include "ui/FormWindow.h"
#include "ui/QtEventLoop.h"

namespace {

const char* const kUsage =
    "Usage: vader [options] [DATABASE]\n"
    "Starts the Vader data browser on DATABASE (a directory with a DDF dictionary, or an alias);\n"
    "without one, on the sample database (for an installed program, the user's own copy). The\n"
    "language of its windows is the dictionary named by RecStrFileName in section [Setup] of\n"
    "Language.INI: the one beside the executable when it is there and writable, else the user's\n"
    "copy in $XDG_CONFIG_HOME/vader (~/.config/vader).\n"
    "\n"
    "Options:\n"
    "  --help               show this text and exit\n"
    "  --version            show the version and exit\n"
    "  --table NAME         open a data window on table NAME of the database\n"
    "  --sql STATEMENT      open an SQL window on the database and run STATEMENT\n"
    "  --no-database        open no database\n"
    "  --describe           show the windows, print their texts, and exit\n"
    "  --screenshot FILE    show the windows, save a picture of the front one as FILE (PNG), and\n"
    "                       exit\n"
    "  --untranslated       print every designed text of the windows that the current\n"
    "                       dictionary does not translate, as dictionary lines, and exit\n";

struct Options {
  bool describe = false;
  bool untranslated = false;
  bool noDatabase = false;
  std::string screenshot;
  std::string database;
  std::string table;
  std::string sql;
};

// Parses the command line; returns false (after printing why) when the program should stop.
bool ParseOptions(int argc, char** argv, Options& options, int& exitCode) {
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
      std::fputs(kUsage, stdout);
      exitCode = 0;
      return false;
    }
    if (!std::strcmp(argv[i], "--version")) {
      std::puts("vader " VADER_VERSION);
      exitCode = 0;
      return false;
    }
    if (!std::strcmp(argv[i], "--describe")) {
      options.describe = true;
    } else if (!std::strcmp(argv[i], "--screenshot") && i + 1 < argc) {
      options.screenshot = argv[++i];
    } else if (!std::strcmp(argv[i], "--table") && i + 1 < argc) {
      options.table = argv[++i];
    } else if (!std::strcmp(argv[i], "--sql") && i + 1 < argc) {
      options.sql = argv[++i];
    } else if (!std::strcmp(argv[i], "--untranslated")) {
      options.untranslated = true;
    } else if (!std::strcmp(argv[i], "--no-database")) {
      options.noDatabase = true;
    } else if (argv[i][0] != '-' && options.database.empty()) {
      options.database = argv[i];
    } else {
      std::fprintf(stderr, "vader: unknown option '%s'\n%s", argv[i], kUsage);
      exitCode = 2;
      return false;
    }
  }
  return true;
}

void PrintTexts(QWidget* window) {
  for (const QString& line : vader::ui::DescribeWidgets(window))
    std::printf("%s\n", line.toUtf8().constData());
}

// The main window follows a language switch made from any window, and keeps the delete
// confirmation setting in the settings file.
// Returns the receiver to remove when the windows are done with.
int HookMainForm(vader::app::TMainForm& form) {
  using vader::platform::PostedMessage;
  const int receiver = vader::platform::AddBroadcastReceiver([&form](const PostedMessage& message) {
    if (message.message == vader::LanguageChangeMessage()) form.Retranslate();
  });
  if (auto* confirm = dynamic_cast<vader::TCheckBox*>(form.FindComponent("ConfirmCheck"))) {
    confirm->SetChecked(vader::app::ConfirmDeletes());
    confirm->OnClick = [confirm](vader::TComponent*) {
      vader::app::SetConfirmDeletes(confirm->Checked());
    };
  }
  return receiver;
}

// Opens the database (and table, and SQL window) the command line names; the last of them.
vader::TForm* OpenStartWindows(const Options& options) {
  if (options.noDatabase) return nullptr;
  const std::string sample = vader::app::TDatabaseForm::SampleDatabase();
  // Without a sample beside the executable (a copy of the program alone) nothing opens.
  if (options.database.empty() && !vader::app::TDatabaseForm::CheckDirectory(sample).empty())
    return nullptr;
  const std::string database = options.database.empty() ? sample : options.database;
  vader::app::TDatabaseForm* form = vader::app::TDatabaseForm::OpenDatabase(database);
  if (form && !options.sql.empty()) {
    vader::app::TSqlForm* sql = form->OpenSqlWindow();
    sql->SetStatement(options.sql);
    sql->Run();
    return sql;
  }
  if (!form || options.table.empty()) return form;
  form->OpenTable(options.table);
  auto data = vader::app::TAppWindows::Instance().OfKind<vader::app::TDataForm>();
  return data.empty() ? static_cast<vader::TForm*>(form) : data.back();
}

std::string Folded(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// The texts that no line of the current dictionary has as its key.
void PrintUntranslated(const std::vector<std::string>& texts) {
  std::set<std::string> keys;
  for (const std::string& key : vader::DictionaryKeys()) keys.insert(Folded(key));
  for (const std::string& text : texts) {
    if (text.find_first_not_of("0123456789 .,:-+%") == std::string::npos) continue;
    if (!keys.count(Folded(text))) std::printf("%s~|~\n", text.c_str());
  }
}

int UseWindows(vader::ui::TQtEventLoop& loop, vader::app::TMainForm& form,
               const Options& options, bool interactive) {
  if (!interactive) {
    // Nobody answers dialogs in a run that only describes: messages go to the error output.
    vader::SetMessageDialogHandler([](const vader::MessageDialogRequest& request) {
      std::fprintf(stderr, "vader: %s\n", request.message.c_str());
      return vader::mrNo;
    });
  }
  if (options.untranslated) {
    // Every kind of window, on the sample's orders (memo, details and all), is made once.
    vader::app::TDesignedTextCollector collector;
    vader::app::TMainForm designed(nullptr);
    collector.AddComponent(&designed);
    Options all = options;
    all.table.clear();
    all.sql.clear();
    if (auto* database = dynamic_cast<vader::app::TDatabaseForm*>(OpenStartWindows(all))) {
      vader::app::TSqlForm* sql = database->OpenSqlWindow();
      sql->SetStatement("SELECT * FROM Customers");
      sql->Run();
      sql->Retranslate();
      for (const auto& table : database->Tables()) {
        database->OpenTable(table.name);
        database->ShowStructure(table.name);
      }
      database->NewTable();
      if (!database->Tables().empty()) database->RestructureTable(database->Tables().front().name);
      for (auto* data : vader::app::TAppWindows::Instance().OfKind<vader::app::TDataForm>()) {
        data->ShowFormView();
        std::string masterField, detailField;
        const std::string detail = data->FindDetail(masterField, detailField);
        if (!detail.empty()) data->OpenDetail(detail, masterField, detailField);
        data->Table().Insert();
        data->Retranslate();
        data->Table().Cancel();
        data->ApplyFilter("bad (", true);
      }
    }
    for (const char* text : vader::app::texts::kAll) collector.Add(text);
    for (const char* text : vader::app::texts::kLongWorkTexts) collector.Add(text);
    collector.Add(vader::dbconsts::SCharacterNotStored);
    collector.Add(vader::SRestructureStopped);
    collector.Add(vader::SRestructureCountMismatch);
    for (const char* text : vader::app::texts::kFilterProblems) collector.Add(text);
    for (const char* text : vader::tools::texts::kSchemaProblems) collector.Add(text);
    for (const char* text : vader::app::kDesignProblems) collector.Add(text);
    for (const char* text : vader::ui::ErrorExplanations()) collector.Add(text);
    PrintUntranslated(collector.Texts());
    return 0;
  }
  vader::TForm* front = OpenStartWindows(options);
  if (interactive) {
    vader::Application().Run();
    return 0;
  }
  loop.Show(&form);
  loop.ProcessMessages();
  if (options.describe) {
    PrintTexts(loop.WindowOf(&form));
    for (const auto& open : vader::app::TAppWindows::Instance().Forms())
      if (loop.WindowOf(open.get())) PrintTexts(loop.WindowOf(open.get()));
  }
  QWidget* window = loop.WindowOf(front ? front : &form);
  if (!options.screenshot.empty() &&
      !window->grab().save(QString::fromStdString(options.screenshot))) {
    std::fprintf(stderr, "vader: cannot save the picture to %s\n", options.screenshot.c_str());
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  int exitCode = 0;
  if (!ParseOptions(argc, argv, options, exitCode)) return exitCode;
  const bool interactive =
      !options.describe && options.screenshot.empty() && !options.untranslated;

  QApplication qtApplication(argc, argv);
  // Texts of the system and of databases in the code pages of the user's locale, unless the
  // driver settings choose others.
  vader::platform::UseLocaleCodePages();
  vader::TModuleTable modules = vader::BuildModuleTable(true);
  try {
    modules.Startup();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "vader: %s\n", error.what());
    if (interactive)
      QMessageBox::critical(nullptr, "Vader", QString::fromLocal8Bit(error.what()));
    return 1;
  }

  vader::app::InstallQtPrompts();
  return vader::app::RunApplication(modules, [&](vader::ui::TQtEventLoop& loop,
                                                 vader::app::TMainForm& form) {
    const int receiver = HookMainForm(form);
    const int result = UseWindows(loop, form, options, interactive);
    vader::platform::RemoveBroadcastReceiver(receiver);
    return result;
  });
}
