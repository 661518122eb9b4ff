#pragma once
// The texts of an open window as designed, kept from before its first translation, so that a
// language switch can translate the window again where it stands: every text the walker
// translates goes back to its designed form and is translated anew with the current
// dictionary. Nothing else is touched, so whatever the person did in the window (the page
// shown, ticked boxes, values entered, the position in a grid, an open dataset) stays.

#include <string>
#include <typeinfo>
#include <unordered_map>
#include <vector>

namespace vader {

class TComponent;
class TField;

class TDesignedTexts {
 public:
  // Records the texts of Root and of everything it owns (and of the fields of the datasets
  // they show). Call it before Root is first translated.
  void Capture(TComponent* root);

  // Puts the designed texts back on the components that are still there, records those that
  // have come since as they are, translates Root with TranslateComponent and tells every
  // control on screen that its texts changed.
  void TranslateAgain(TComponent* root);

 private:
  struct Entry {
    const std::type_info* kind = nullptr;
    std::string name;
    std::vector<std::string> texts;
  };

  void Visit(TComponent* c, bool restore);
  void Keep(TComponent* c, bool restore);
  void KeepFields(TComponent* dataSet, bool restore);

  std::unordered_map<const TComponent*, Entry> entries_;
};

}  // namespace vader
