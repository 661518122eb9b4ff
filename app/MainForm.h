#pragma once
// The application's main window: a welcome page, the list of bundled languages, and the
// Language menu that switches the language and translates the open window again in place.

#include <functional>
#include <string>

#include "framework/Forms.h"
#include "language/DesignedTexts.h"

namespace vader::app {

struct BundledLanguage {
  std::string name;        // as designed, translated when shown
  std::string dictionary;  // file name under lang/ beside the executable; empty: none
  std::string ownName;     // the language's name in itself (UTF-8), as its menu item shows it
};

const std::vector<BundledLanguage>& BundledLanguages();
std::string DictionaryPath(const BundledLanguage& language);
// Shows Item of a Language menu after a translation: the language named in itself, checked
// when it is the current one.
void ShowLanguageItem(TMenuItem& item, const BundledLanguage& language);

class TMainForm : public TForm {
 public:
  explicit TMainForm(TComponent* owner);

  // Shows the window in the current language again: the designed texts translated anew, the
  // language marked in the menu and named in the list; nothing else of the window changes.
  void Retranslate();

 protected:
  void FormCreate() override;

 private:
  void BuildMenu();
  void BuildWelcomePage(TTabSheet* page);
  void BuildLanguagesPage(TTabSheet* page);
  void ShowLanguageState();
  void SwitchLanguage(const BundledLanguage& language);
  void ShowAbout();

  TDesignedTexts designed_;
};

}  // namespace vader::app
