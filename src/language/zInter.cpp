#include "language/zInter.h"

#include <sys/stat.h>

#include <fstream>
#include <sstream>
#include <unordered_map>

#include "framework/DB.h"
#include "framework/DBCtrls.h"
#include "framework/Dialogs.h"
#include "framework/Forms.h"
#include "framework/FrameworkErrors.h"
#include "language/Zothrtns.h"
#include "language/Zstrrtns.h"
#include "platform/CodePage.h"
#include "platform/ProgramFiles.h"
#include "platform/TextCase.h"
#include "platform/WindowMessages.h"

namespace vader {
namespace {

const char* const kSeparator = "~|~";
const char* const kSetupSection = "Setup";
const char* const kDictionaryKey = "RecStrFileName";
const char* const kLanguageChangeName = "Tolvex International Language Changing";

struct LanguageState {
  std::string languageIniFile;
  std::string dictionaryFileName;
  std::uint16_t languageChangeMessage = 0;
  std::vector<std::string> keys;
  std::vector<std::string> texts;
  // Folded key -> first line holding it: the lookup a linear scan in file order would find.
  std::unordered_map<std::string, std::size_t> firstLineOfKey;
  bool padTranslations = false;
};

LanguageState& State() {
  static LanguageState state;
  return state;
}

bool IsExistingFile(const std::string& path) {
  struct stat st {};
  return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Splits at CR, LF or CR LF; a NUL ends the text; a final line break adds no empty line.
std::vector<std::string> SplitDictionaryLines(const std::string& content) {
  std::vector<std::string> lines;
  const std::size_t size =
      content.find('\0') == std::string::npos ? content.size() : content.find('\0');
  std::size_t at = 0;
  while (at < size) {
    const std::size_t start = at;
    while (at < size && content[at] != '\r' && content[at] != '\n') ++at;
    lines.push_back(content.substr(start, at - start));
    if (at < size && content[at] == '\r') ++at;
    if (at < size && content[at] == '\n') ++at;
  }
  return lines;
}

// The dictionary's text in the system code page. A file that starts with the UTF-8
// byte-order mark (as modern editors save it) is UTF-8; any other file is 8-bit text in
// Windows-1252, as dictionaries were written. Either is converted to the system code page.
constexpr const char* kDictionaryCodePage = "WINDOWS-1252";

std::string ReadDictionaryFile(const std::string& fileName) {
  std::ifstream in(fileName, std::ios::binary);
  if (!in) throw EFOpenError(FormatMessage("Cannot open file %s", fileName));
  std::ostringstream content;
  content << in.rdbuf();
  std::string text = content.str();
  constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
  if (std::string_view(text).starts_with(kUtf8Mark))
    return platform::Utf8ToAnsi(std::string_view(text).substr(kUtf8Mark.size()));
  return platform::NativeTextToAnsi(text, kDictionaryCodePage);
}

void ClearDictionary(LanguageState& state) {
  state.keys.clear();
  state.texts.clear();
  state.firstLineOfKey.clear();
}

void TranslateCaption(TControl* control) { control->SetCaption(TranslateText(control->Caption())); }
void TranslateHint(TControl* control) { control->SetHint(TranslateText(control->Hint())); }
void TranslateCaptionAndHint(TControl* control) {
  TranslateCaption(control);
  TranslateHint(control);
}

void TranslateItems(TItemsControl* control) {
  for (int i = 0; i < static_cast<int>(control->Items().size()); ++i)
    control->SetItem(i, TranslateText(control->Items()[static_cast<std::size_t>(i)]));
}

template <typename Kind>
Kind* As(TComponent* c) {
  return dynamic_cast<Kind*>(c);
}

// Translates the texts of C's own kind; the first kind that matches decides.
void TranslateOwnTexts(TComponent* c) {
  if (auto* grid = As<TwwDBGrid>(c)) {
    if (grid->DataSource() && grid->DataSource()->DataSet())
      TranslateDataSetLabels(grid->DataSource()->DataSet());
  } else if (auto* listView = As<TListView>(c)) {
    for (int i = 0; i < static_cast<int>(listView->Columns().size()); ++i)
      listView->SetColumnCaption(
          i, TranslateText(listView->Columns()[static_cast<std::size_t>(i)].caption));
  } else if (auto* pageControl = As<TPageControl>(c)) {
    for (int i = 0; i < pageControl->PageCount(); ++i) TranslateCaption(pageControl->Pages(i));
  } else if (auto* field = As<TField>(c)) {
    TranslateFieldLabel(field);
  } else if (auto* dataSet = As<TDataSet>(c)) {
    TranslateDataSetLabels(dataSet);
  } else if (auto* tabSet = As<TTabSet>(c)) {
    TranslateItems(tabSet);
  } else if (auto* tabbed = As<TTabbedNotebook>(c)) {
    TranslateItems(tabbed);
  } else if (auto* notebook = As<TOvcNotebook>(c)) {
    for (int i = 0; i < static_cast<int>(notebook->Pages().size()); ++i) {
      const auto& page = notebook->Pages()[static_cast<std::size_t>(i)];
      const std::string caption = TranslateText(page.caption);
      notebook->SetPageTexts(i, caption, TranslateText(page.hint));
    }
  } else if (auto* radioGroup = As<TRadioGroup>(c)) {
    TranslateCaption(radioGroup);  // its hint stays as designed
    TranslateItems(radioGroup);
  } else if (auto* menuItem = As<TMenuItem>(c)) {
    menuItem->SetCaption(TranslateText(menuItem->Caption()));
    menuItem->SetHint(TranslateText(menuItem->Hint()));
  } else if (As<TSpeedButton>(c) || As<TForm>(c) || As<TPanel>(c) || As<TLabel>(c) ||
             As<TfcLabel>(c) || As<TButton>(c) || As<TToolButton>(c) || As<TGroupBox>(c) ||
             As<TRadioButton>(c) || As<TCheckBox>(c) || As<TDBCheckBox>(c)) {
    TranslateCaptionAndHint(static_cast<TControl*>(c));
  }
}

}  // namespace

void ZInterStartup() {
  LanguageState& state = State();
  state.languageIniFile = platform::SettingsFilePath("Language.INI");
  state.languageChangeMessage = static_cast<std::uint16_t>(RegisterAppMessage(kLanguageChangeName));
  ClearDictionary(state);
  SetLanguageFile(ReadIniString(state.languageIniFile, kSetupSection, kDictionaryKey));
  // Message dialogs show their titles and buttons in the current language too.
  SetDialogTextTranslator(TranslateText);
}

void ZInterShutdown() {
  SetDialogTextTranslator(nullptr);
  LanguageState& state = State();
  ClearDictionary(state);
  state.dictionaryFileName.clear();
  state.languageIniFile.clear();
  state.padTranslations = false;
}

void SetLanguageFile(const std::string& fileName) {
  const LanguageState& state = State();
  WriteIniString(state.languageIniFile, kSetupSection, kDictionaryKey, fileName);
  LoadDictionary();
  platform::PostBroadcastMessage(state.languageChangeMessage, 0, 0);
}

void LoadDictionary() {
  LanguageState& state = State();
  ClearDictionary(state);
  state.dictionaryFileName = ReadIniString(state.languageIniFile, kSetupSection, kDictionaryKey);
  state.padTranslations =
      platform::AsciiUpperCase(state.dictionaryFileName).find("QUORVEL") != std::string::npos;
  if (!IsExistingFile(state.dictionaryFileName)) return;

  const auto lines = SplitDictionaryLines(ReadDictionaryFile(state.dictionaryFileName));
  state.keys.reserve(lines.size());
  state.texts.reserve(lines.size());
  for (const std::string& line : lines) {
    state.texts.push_back(GetDelimitedField(line, kSeparator, 2));
    state.keys.push_back(TrimControls(GetDelimitedField(line, kSeparator, 1)));
    state.firstLineOfKey.try_emplace(platform::LocaleFoldKey(state.keys.back()),
                                     state.keys.size() - 1);
  }
}

std::string TranslateText(const std::string& text) {
  const LanguageState& state = State();
  const auto hit = state.firstLineOfKey.find(platform::LocaleFoldKey(TrimControls(text)));
  if (hit == state.firstLineOfKey.end()) return text;
  const std::string& translation = state.texts[hit->second];
  if (translation.empty()) return text;
  if (!state.padTranslations) return translation;
  return translation + MakeFilledString(static_cast<int>(translation.size() / 4), ' ');
}

void TranslateComponent(TComponent* component) {
  if (!component) return;
  TranslateOwnTexts(component);
  // Counted after the own texts: fields created by opening a dataset are visited too.
  const int count = component->ComponentCount();
  for (int i = 0; i < count && i < component->ComponentCount(); ++i)
    TranslateComponent(component->Components(i));
}

void TranslateDataSetLabels(TDataSet* dataSet) {
  if (!dataSet->Active()) {
    try {
      if (!dataSet->OpenForTranslation()) return;
    } catch (...) {
      return;  // a table that cannot open keeps its labels, without a message
    }
  }
  for (int i = 0; i < dataSet->FieldCount(); ++i) TranslateFieldLabel(dataSet->Fields(i));
}

void TranslateFieldLabel(TField* field) {
  field->SetDisplayLabel(TranslateText(field->DisplayLabel()));
}

const std::string& LanguageIniFile() { return State().languageIniFile; }
const std::string& DictionaryFileName() { return State().dictionaryFileName; }
std::uint16_t LanguageChangeMessage() { return State().languageChangeMessage; }
const std::vector<std::string>& DictionaryKeys() { return State().keys; }
const std::vector<std::string>& DictionaryTexts() { return State().texts; }

}  // namespace vader
