// The desktop application, run as its own process from a copy in a fresh directory, so
// that Language.INI and the dictionaries beside it belong to the test alone.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>

#include "common/TempDir.h"

namespace {

using vader::testing::TempDir;

struct RunResult {
  int exitCode = -1;
  std::string output;  // stdout and stderr together
};

// One virtual X server for the whole suite, on a display number no one else uses.
class VirtualDisplay {
 public:
  bool Start() {
    const std::string xvfb = XVFB;
    if (xvfb.empty()) return false;
    for (int display = 90 + getpid() % 400; display < 1000; display += 7) {
      const std::string socket = "/tmp/.X11-unix/X" + std::to_string(display);
      if (access(socket.c_str(), F_OK) == 0) continue;
      const std::string name = ":" + std::to_string(display);
      pid_ = fork();
      if (pid_ == 0) {
        execl(xvfb.c_str(), xvfb.c_str(), name.c_str(), "-nolisten", "tcp", "-screen", "0",
              "1024x768x24", static_cast<char*>(nullptr));
        _exit(127);
      }
      for (int wait = 0; wait < 100 && access(socket.c_str(), F_OK) != 0; ++wait) usleep(50000);
      if (access(socket.c_str(), F_OK) == 0) {
        display_ = name;
        return true;
      }
      Stop();
    }
    return false;
  }
  void Stop() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
    pid_ = -1;
  }
  const std::string& Name() const { return display_; }

 private:
  pid_t pid_ = -1;
  std::string display_;
};

VirtualDisplay display;

class Application : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { display.Start(); }
  static void TearDownTestSuite() { display.Stop(); }

  void SetUp() override {
    executable = dir.File("vader");
    std::filesystem::copy_file(VADER_EXECUTABLE, executable);
  }

  // Runs the copy with Arguments; Runner goes before the executable (another user, say).
  RunResult Run(const std::string& arguments, const std::string& runner = "") {
    const std::string prefix = display.Name().empty() || !runner.empty()
                                   ? "QT_QPA_PLATFORM=offscreen "
                                   : "env -u QT_QPA_PLATFORM DISPLAY=" + display.Name() + " ";
    const std::string command = prefix + runner + executable + " " + arguments + " 2>&1";
    RunResult result;
    FILE* pipe = popen(command.c_str(), "r");
    std::array<char, 4096> buffer;
    for (std::size_t n; (n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0;)
      result.output.append(buffer.data(), n);
    const int status = pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
  }

  void UseDictionary(const std::string& content) {
    const std::string dictionary = dir.Write("lang.txt", content);
    dir.Write("Language.INI", "[Setup]\r\nRecStrFileName=" + dictionary + "\r\n");
  }

  TempDir dir;
  std::string executable;
};

bool Shows(const RunResult& run, const std::string& line) {
  return run.output.find(line + "\n") != std::string::npos;
}

TEST_F(Application, ShowsItsWindowTranslatedByTheDictionary) {
  UseDictionary(
      "Vader Data Browser~|~Navigateur de donn\xE9" "es\r\nWelcome to Vader~|~Bienvenue\r\n"
      "&File~|~&Fichier\r\nE&xit~|~&Quitter\r\nWelcome~|~Accueil\r\nLanguages~|~Langues\r\n");
  if (!std::string(XVFB).empty()) {
    ASSERT_FALSE(display.Name().empty()) << "Xvfb did not start";
  }
  const RunResult run = Run("--describe");
  ASSERT_EQ(run.exitCode, 0) << run.output;
  EXPECT_TRUE(Shows(run, "label TitleLabel: Bienvenue")) << run.output;
  EXPECT_NE(run.output.find("window MainForm: Navigateur de donn\u00E9es"), std::string::npos);
  EXPECT_TRUE(Shows(run, "menu &Fichier > &Quitter")) << run.output;
  EXPECT_NE(run.output.find("tabs qt_tabwidget_tabbar: Accueil | Langues"), std::string::npos);
  EXPECT_NE(run.output.find("button ExitButton: &Quitter"), std::string::npos);
}

TEST_F(Application, WithoutLanguageIniShowsTheDesignedTextsAndCreatesIt) {
  const RunResult run = Run("--describe");
  ASSERT_EQ(run.exitCode, 0) << run.output;
  EXPECT_TRUE(Shows(run, "label TitleLabel: Welcome to Vader")) << run.output;
  EXPECT_EQ(TempDir::Read(dir.File("Language.INI")), "[Setup]\nRecStrFileName=\n");
}

TEST_F(Application, UnwritableLanguageIniEndsStartUpBeforeAnyWindow) {
  dir.Write("Language.INI", "[Setup]\nRecStrFileName=\n");
  chmod(dir.File("Language.INI").c_str(), 0444);
  const RunResult run = Run("--describe");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.output.find("Unable to write to " + dir.File("Language.INI")), std::string::npos)
      << run.output;
  EXPECT_EQ(run.output.find("window MainForm"), std::string::npos);
}

TEST_F(Application, WritableLanguageIniInAFolderTheUserCannotWriteLetsItStart) {
  // An installed copy: the folder is read-only to the user, Language.INI is not.
  std::string runner;
  if (geteuid() == 0) {
    if (system("setpriv --reuid=nobody --regid=nogroup --clear-groups true 2>/dev/null") != 0)
      GTEST_SKIP() << "not tested as an unprivileged user: setpriv cannot switch to 'nobody'";
    runner = "setpriv --reuid=nobody --regid=nogroup --clear-groups ";
  }
  const std::string dictionary = dir.Write("lang.txt", "Welcome to Vader~|~Hallo\r\n");
  const std::string ini =
      dir.Write("Language.INI", "[Setup]\nRecStrFileName = " + dictionary + " \n");
  chmod(ini.c_str(), 0666);
  chmod(dictionary.c_str(), 0644);
  chmod(dir.Path().c_str(), 0555);
  struct stat before {}, after {};
  stat(ini.c_str(), &before);
  const RunResult run = Run("--describe", runner);
  chmod(dir.Path().c_str(), 0755);
  ASSERT_EQ(run.exitCode, 0) << run.output;
  EXPECT_TRUE(Shows(run, "label TitleLabel: Hallo")) << run.output;
  EXPECT_EQ(TempDir::Read(ini), "[Setup]\nRecStrFileName=" + dictionary + "\n");  // rewritten
  stat(ini.c_str(), &after);
  EXPECT_EQ(after.st_ino, before.st_ino);  // in place, the same file
  EXPECT_FALSE(std::filesystem::exists(ini + ".tmp~"));
}

TEST_F(Application, MalformedDictionaryIsReadWithoutHarm) {
  std::string garbage(std::string("Welcome to Vader~|~Hallo\r\r\n\x01\xFF\xFE~|~~|~\n", 35));
  garbage += std::string(200000, 'x') + "\n" + std::string("\0Exit~|~never", 13);
  UseDictionary(garbage);
  const RunResult run = Run("--describe");
  ASSERT_EQ(run.exitCode, 0) << run.output;
  EXPECT_TRUE(Shows(run, "label TitleLabel: Hallo")) << run.output;
  EXPECT_NE(run.output.find("button ExitButton: E&xit"), std::string::npos);
}

TEST_F(Application, OpensTheSampleDataWindowTranslatedAndListsWhatADictionaryLacks) {
  std::filesystem::copy(VADER_SAMPLE_DATABASE, dir.File("sample"));
  std::filesystem::create_symlink(VADER_CLIENT_LIBRARY, dir.File("libwbtrv32.so"));
  RunResult run = Run("--describe --table Orders");
  ASSERT_EQ(run.exitCode, 0) << run.output;
  EXPECT_NE(run.output.find("columns TableList: Table | File"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("grid Grid: Id | CustomerId | EmployeeId"), std::string::npos);
  EXPECT_TRUE(Shows(run, "label PositionLabel: Record 1 of 1500")) << run.output;
  run = Run("--untranslated");
  EXPECT_TRUE(Shows(run, "Table %s~|~")) << run.output;
  EXPECT_TRUE(Shows(run, "CustomerId~|~"));
  EXPECT_TRUE(Shows(run, "Delete the current record?~|~"));  // a message never shown

  std::filesystem::create_directory(dir.File("lang"));
  std::filesystem::copy_file(std::string(VADER_LANG_DIR) + "/German.txt",
                             dir.File("lang/German.txt"));
  dir.Write("Language.INI", "[Setup]\r\nRecStrFileName=" + dir.File("lang/German.txt") + "\r\n");
  run = Run("--describe --table Orders");
  EXPECT_NE(run.output.find("grid Grid: Nummer | Kunde | Mitarbeiter"), std::string::npos)
      << run.output;
  EXPECT_TRUE(Shows(run, "label PositionLabel: Datensatz 1 von 1500")) << run.output;
  run = Run("--untranslated");
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.output.find("~|~"), std::string::npos) << run.output;  // German is complete

  run = Run("--describe " + dir.File("nowhere"));
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_NE(run.output.find("Das Verzeichnis " + dir.File("nowhere") + " gibt es nicht."),
            std::string::npos)
      << run.output;
  EXPECT_EQ(run.output.find("window DatabaseForm"), std::string::npos);
}

TEST_F(Application, OpensADatabaseInAFolderWithANonAsciiName) {
  const std::string folder = dir.File("Donn\u00E9es \u0416");
  std::filesystem::copy(VADER_SAMPLE_DATABASE, folder);
  std::filesystem::create_symlink(VADER_CLIENT_LIBRARY, dir.File("libwbtrv32.so"));
  const RunResult run = Run("--describe --table Customers '" + folder + "'", "LC_ALL=C.UTF-8 ");
  ASSERT_EQ(run.exitCode, 0) << run.output;
  EXPECT_NE(run.output.find("label PathLabel: Database: " + folder), std::string::npos)
      << run.output;
  EXPECT_TRUE(Shows(run, "label PositionLabel: Record 1 of 400")) << run.output;
}

TEST_F(Application, HelpAndUnknownOptions) {
  RunResult run = Run("--help");
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_NE(run.output.find("Usage: vader"), std::string::npos);
  run = Run("--bogus");
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_NE(run.output.find("unknown option '--bogus'"), std::string::npos);
}

}  // namespace
