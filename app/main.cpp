// The Vader desktop application: brings the services up in order, shows the translated
// main window, runs the message loop, takes the services down in reverse order, and then
// destroys the windows.

#include <QApplication>
#include <QMessageBox>
#include <QScreen>
#include <cstdio>
#include <cstring>
#include <string>

#include "AppLifecycle.h"
#include "language/zInter.h"
#include "shell/Startup.h"
#include "ui/FormWindow.h"
#include "ui/QtEventLoop.h"

namespace {

const char* const kUsage =
    "Usage: vader [options]\n"
    "Starts the Vader data browser. The language of its windows is the dictionary named by\n"
    "RecStrFileName in section [Setup] of Language.INI beside the executable.\n"
    "\n"
    "Options:\n"
    "  --help               show this text and exit\n"
    "  --describe           show the main window, print its texts, and exit\n"
    "  --screenshot FILE    show the main window, save a picture of it as FILE (PNG), and exit\n";

struct Options {
  bool describe = false;
  std::string screenshot;
};

// Parses the command line; returns false (after printing why) when the program should stop.
bool ParseOptions(int argc, char** argv, Options& options, int& exitCode) {
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
      std::fputs(kUsage, stdout);
      exitCode = 0;
      return false;
    }
    if (!std::strcmp(argv[i], "--describe")) {
      options.describe = true;
    } else if (!std::strcmp(argv[i], "--screenshot") && i + 1 < argc) {
      options.screenshot = argv[++i];
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

}  // namespace

int main(int argc, char** argv) {
  Options options;
  int exitCode = 0;
  if (!ParseOptions(argc, argv, options, exitCode)) return exitCode;
  const bool interactive = !options.describe && options.screenshot.empty();

  QApplication qtApplication(argc, argv);
  vader::TModuleTable modules = vader::BuildModuleTable(true);
  try {
    modules.Startup();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "vader: %s\n", error.what());
    if (interactive) QMessageBox::critical(nullptr, "Vader", QString::fromLocal8Bit(error.what()));
    return 1;
  }

  return vader::app::RunApplication(modules, [&](vader::ui::TQtEventLoop& loop,
                                                 vader::app::TMainForm& form) {
    if (interactive) {
      vader::Application().Run();
      return 0;
    }
    loop.Show(&form);
    loop.ProcessMessages();
    QWidget* window = loop.WindowOf(&form);
    if (options.describe) PrintTexts(window);
    if (!options.screenshot.empty() &&
        !window->grab().save(QString::fromStdString(options.screenshot))) {
      std::fprintf(stderr, "vader: cannot save the picture to %s\n", options.screenshot.c_str());
      return 1;
    }
    return 0;
  });
}
