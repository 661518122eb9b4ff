#pragma once
// The application's main window: a welcome page, the list of bundled languages, and the
// Language menu that switches the language and rebuilds the window in it.

#include <functional>
#include <string>

#include "framework/Forms.h"

namespace vader::app {

struct BundledLanguage {
  std::string name;        // as designed, translated when shown
  std::string dictionary;  // file name under lang/ beside the executable; empty: none
};

const std::vector<BundledLanguage>& BundledLanguages();
std::string DictionaryPath(const BundledLanguage& language);

class TMainForm : public TForm {
 public:
  // OnSwitchLanguage runs after a language switch, to rebuild the window.
  TMainForm(TComponent* owner, std::function<void()> onLanguageSwitched);

 protected:
  void FormCreate() override;

 private:
  void BuildMenu();
  void BuildWelcomePage(TTabSheet* page);
  void BuildLanguagesPage(TTabSheet* page);
  void SwitchLanguage(const BundledLanguage& language);
  void ShowAbout();

  std::function<void()> onLanguageSwitched_;
};

}  // namespace vader::app
