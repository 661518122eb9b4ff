#include "MainForm.h"

#include <sys/stat.h>

#include "DatabaseForm.h"
#include "AppForm.h"
#include "WindowLayout.h"
#include "framework/Dialogs.h"
#include "language/zInter.h"
#include "platform/CodePage.h"
#include "platform/ProgramFiles.h"

namespace vader::app {
namespace {

template <typename Control>
Control* Place(TComponent* owner, TWinControl* parent, const char* name, int left, int top,
               int width, int height) {
  auto* control = new Control(owner);
  control->SetName(name);
  control->SetParent(parent);
  control->SetBounds(left, top, width, height);
  return control;
}

TMenuItem* AddMenuItem(TForm* form, TMenuItem* parent, const char* name, const std::string& caption,
                       const std::string& hint = {}) {
  auto* item = new TMenuItem(form);
  item->SetName(name);
  item->SetCaption(caption);
  item->SetHint(hint);
  parent->Add(item);
  return item;
}

std::size_t CountLines(const std::string& path) {
  std::size_t lines = 0;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    for (int c; (c = std::fgetc(f)) != EOF;) lines += c == '\n';
    std::fclose(f);
  }
  return lines;
}

// Ends the application once every open window agrees (one with an unposted edit asks).
void ExitApplication() {
  if (TAppWindows::Instance().CanCloseAll()) Application().Terminate();
}

}  // namespace

const std::vector<BundledLanguage>& BundledLanguages() {
  static const std::vector<BundledLanguage> languages = {
      {"English", "", "English"},
      {"French", "French.txt", "Fran\u00E7ais"},
      {"German", "German.txt", "Deutsch"}};
  return languages;
}

void ShowLanguageItem(TMenuItem& item, const BundledLanguage& language) {
  // Named in itself whatever the windows' language, so that a person who does not read the
  // current one finds their own.
  item.SetCaption(platform::Utf8ToAnsi(language.ownName));
  item.SetChecked(DictionaryPath(language) == DictionaryFileName());
}

std::string DictionaryPath(const BundledLanguage& language) {
  if (language.dictionary.empty()) return {};
  return platform::ProgramDataDirectory() + "lang/" + language.dictionary;
}

TMainForm::TMainForm(TComponent* owner) : TForm(owner) {
  BeginLoading();
  SetName("MainForm");
  SetCaption("Vader Data Browser");
  SetHint("Browse and edit Btrieve databases");
  OnCloseQuery = [] { return TAppWindows::Instance().CanCloseAll(); };
  // At the left of the screen; the database windows open beside it.
  SetBounds(16, 24, 600, 440);
  BuildMenu();

  auto* title = Place<TLabel>(this, this, "TitleLabel", 16, 12, 568, 28);
  title->SetCaption("Welcome to Vader");
  title->SetAnchors({akLeft, akTop, akRight});
  auto* pages = Place<TPageControl>(this, this, "Pages", 16, 48, 568, 330);
  pages->SetAnchors({akLeft, akTop, akRight, akBottom});
  auto* welcome = new TTabSheet(this);
  welcome->SetName("WelcomePage");
  welcome->SetCaption("Welcome");
  welcome->SetPageControl(pages);
  auto* languages = new TTabSheet(this);
  languages->SetName("LanguagesPage");
  languages->SetCaption("Languages");
  languages->SetPageControl(pages);
  BuildWelcomePage(welcome);
  BuildLanguagesPage(languages);

  auto* about = Place<TButton>(this, this, "AboutButton", 376, 392, 100, 30);
  about->SetAnchors({akRight, akBottom});
  about->SetCaption("&About");
  about->SetHint("Show information about Vader");
  about->OnClick = [this](TComponent*) { ShowAbout(); };
  auto* exit = Place<TButton>(this, this, "ExitButton", 484, 392, 100, 30);
  exit->SetAnchors({akRight, akBottom});
  exit->SetCaption("E&xit");
  exit->SetHint("Close the application");
  exit->OnClick = [](TComponent*) { ExitApplication(); };
}

void TMainForm::BuildMenu() {
  auto* menu = new TMainMenu(this);
  menu->SetName("MainMenu");
  SetMenu(menu);
  TMenuItem* root = menu->Items();
  TMenuItem* file = AddMenuItem(this, root, "FileMenu", "&File");
  // What the database windows offer, here too: with no database open (none given, or the
  // first one failed) this is where another one is opened.
  AddMenuItem(this, file, "OpenDatabaseItem", "&Open database...",
              "Open a directory with a DDF dictionary")
      ->OnClick = [](TComponent*) { TDatabaseForm::AskAndOpenDatabase(); };
  AddMenuItem(this, file, "OpenAliasItem", "Open &alias...", "Open a database by its alias")
      ->OnClick = [](TComponent*) { TDatabaseForm::AskAndOpenAlias(); };
  AddMenuItem(this, file, "ImportItem", "&Import a Btrieve database...",
              "Copy the files of a real Btrieve database and open the copy")
      ->OnClick = [](TComponent*) { TDatabaseForm::ImportDatabase(); };
  AddMenuItem(this, file, "ExitItem", "E&xit", "Close the application")->OnClick = [](TComponent*) {
    ExitApplication();
  };
  TMenuItem* language = AddMenuItem(this, root, "LanguageMenu", "&Language");
  for (const auto& entry : BundledLanguages()) {
    TMenuItem* item = AddMenuItem(this, language, ("Language" + entry.name).c_str(), entry.name,
                                  "Show the windows in this language");
    item->OnClick = [this, entry](TComponent*) { SwitchLanguage(entry); };
  }
  TMenuItem* help = AddMenuItem(this, root, "HelpMenu", "&Help");
  AddMenuItem(this, help, "AboutItem", "&About Vader...", "Show information about Vader")->OnClick =
      [this](TComponent*) { ShowAbout(); };
}

void TMainForm::BuildWelcomePage(TTabSheet* page) {
  auto* box = Place<TGroupBox>(this, page, "IntroBox", 12, 12, 536, 120);
  box->SetAnchors({akLeft, akTop, akRight});
  box->SetCaption("Getting started");
  Place<TLabel>(this, box, "IntroLabel", 12, 28, 512, 24)
      ->SetCaption("Choose a language in the Language menu.");
  Place<TLabel>(this, box, "DataLabel", 12, 60, 512, 24)
      ->SetCaption("The window follows every switch at once.");
  auto* confirm = Place<TCheckBox>(this, page, "ConfirmCheck", 12, 150, 536, 24);
  confirm->SetCaption("Confirm before deleting records");
  confirm->SetHint("Ask before a record is deleted");
  Place<TLabel>(this, page, "RecentLabel", 12, 186, 150, 24)->SetCaption("Recent databases:");
  auto* recent = Place<TComboBox>(this, page, "RecentCombo", 170, 184, 378, 26);
  recent->SetAnchors({akLeft, akTop, akRight});
  recent->OnChange = [recent](TComponent*) {
    if (recent->ItemIndex() >= 0)
      TDatabaseForm::OpenDatabase(recent->Items()[std::size_t(recent->ItemIndex())]);
  };
}

void TMainForm::BuildLanguagesPage(TTabSheet* page) {
  auto* list = Place<TListView>(this, page, "LanguageList", 12, 12, 536, 270);
  list->SetAnchors({akLeft, akTop, akRight, akBottom});
  list->AddColumn("Language", 180);
  list->AddColumn("Dictionary", 240);
  list->AddColumn("Entries", 100);
  for (const auto& entry : BundledLanguages()) {
    const std::string path = DictionaryPath(entry);
    list->AddRow({entry.name, entry.dictionary.empty() ? "-" : entry.dictionary,
                  path.empty() ? "0" : std::to_string(CountLines(path))});
  }
}

void TMainForm::FormCreate() {
  RestoreWindowLayout(*this);
  designed_.Capture(this);
  TranslateComponent(this);
  ShowLanguageState();
  if (auto* recent = dynamic_cast<TComboBox*>(FindComponent("RecentCombo")))
    recent->SetItems(RecentDatabases());
}

void TMainForm::Retranslate() {
  designed_.TranslateAgain(this);
  ShowLanguageState();
}

void TMainForm::ShowLanguageState() {
  auto* list = dynamic_cast<TListView*>(FindComponent("LanguageList"));
  const auto& languages = BundledLanguages();
  for (std::size_t i = 0; i < languages.size(); ++i) {
    if (auto* item = dynamic_cast<TMenuItem*>(FindComponent("Language" + languages[i].name)))
      ShowLanguageItem(*item, languages[i]);
    // Cells are data the walker leaves alone; the language names are shown translated.
    if (list && i < list->Rows().size())
      list->SetCell(static_cast<int>(i), 0, TranslateText(languages[i].name));
  }
}

void TMainForm::SwitchLanguage(const BundledLanguage& language) {
  SetLanguageFile(DictionaryPath(language));
  Retranslate();
}

void TMainForm::ShowAbout() {
  MessageDlg(TranslateText("Vader: a data-aware desktop application for Btrieve databases."),
             TMsgDlgType::mtInformation, mbOK, 0);
}

}  // namespace vader::app
