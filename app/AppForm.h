#pragma once
// What every window of the application shares: it translates itself when created, follows
// every language change in place (the broadcast reaches each open window), closes through the
// window list that owns it, and places its controls with a few helpers.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/DBCtrls.h"
#include "framework/DataLinks.h"
#include "framework/Forms.h"
#include "language/DesignedTexts.h"

namespace vader::app {

class TAppForm : public TForm {
 public:
  explicit TAppForm(TComponent* owner);
  ~TAppForm() override;

  // Shows the window in the current language again, keeping everything the person did.
  void Retranslate();
  // Whether the window may close now; a window holding work not yet saved asks the person
  // first, and saves or drops it as they choose.
  virtual bool CanClose() { return true; }
  // Closes the window (File > Close) when it may.
  void CloseWindow();
  // Keeps where the window is and how its panes and columns are sized, for the next time a
  // window of its kind opens.
  virtual void SaveLayout();

  template <typename Control>
  Control* Place(TWinControl* parent, const char* name, int left, int top, int width, int height) {
    auto* control = new Control(this);
    control->SetName(name);
    control->SetParent(parent);
    control->SetBounds(left, top, width, height);
    return control;
  }
  // A plain area along an edge of Parent (Size high or wide as the edge goes), or filling the
  // rest of it (alClient); its controls are placed inside it at its size.
  TPanel* AddPane(TWinControl* parent, const char* name, TAlign align, int size = 0);
  // A bar the person drags to share the room of Parent between the pane aligned to the same
  // edge before it and the alClient pane.
  TSplitter* AddSplitter(TWinControl* parent, const char* name, TAlign align);
  TButton* AddButton(TWinControl* parent, const char* name, const std::string& caption, int left,
                     int top, int width, std::function<void()> onClick,
                     const std::string& hint = {});
  TMenuItem* AddMenuItem(TMenuItem* parent, const char* name, const std::string& caption,
                         std::function<void()> onClick = {}, const std::string& hint = {});
  // One button per step in a row from (Left, Top), each Width wide; a step's error is shown.
  struct TButtonStep {
    const char* name;
    const char* caption;
    std::function<void()> action;
  };
  void AddButtonRow(TWinControl* parent, int left, int top, int width,
                    const std::vector<TButtonStep>& steps);
  TMainMenu* MainMenu();
  // The Language menu of the bundled dictionaries; a choice switches every open window.
  void AddLanguageMenu();

 protected:
  void FormCreate() override;
  // Runs after every translation: texts made from data and translated formats are shown anew.
  virtual void ShowState() {}
  // Gives the window the place, size and splitter positions kept for its kind; one that
  // would open exactly over another open window moves a little aside.
  virtual void RestoreLayout();

 private:
  void ShowLanguage();
  TDesignedTexts designed_;
  int receiver_ = 0;
};

// The open windows other than the main one. Each is owned here from its creation until the
// person closes it; a closed window goes once the event that closed it has finished.
class TAppWindows {
 public:
  static TAppWindows& Instance();

  // Creates the window (it translates itself) and shows it.
  template <typename Form, typename... Args>
  Form* Open(Args&&... args) {
    auto form = std::make_unique<Form>(std::forward<Args>(args)...);
    Form* shown = form.get();
    Adopt(std::move(form));
    return shown;
  }
  void Close(TForm* form);
  // Closes the window at once (its files are closed on return); only for a window whose own
  // event is not running.
  void CloseNow(TForm* form);
  void CloseAll();
  // Asks every open window, the last opened first, whether it may close; false as soon as
  // one may not (the person chose to go on with it).
  bool CanCloseAll();
  const std::vector<std::unique_ptr<TAppForm>>& Forms() const { return forms_; }
  template <typename Form>
  std::vector<Form*> OfKind() const {
    std::vector<Form*> out;
    for (const auto& form : forms_)
      if (auto* kind = dynamic_cast<Form*>(form.get())) out.push_back(kind);
    return out;
  }

 private:
  void Adopt(std::unique_ptr<TAppForm> form);
  std::vector<std::unique_ptr<TAppForm>> forms_;
};

// Calls Changed at every move and state change of the dataset its data source shows.
class TStateLink : public TDataLink {
 public:
  explicit TStateLink(std::function<void()> changed) : changed_(std::move(changed)) {}

 protected:
  void ActiveChanged() override { changed_(); }
  void DataSetChanged() override { changed_(); }
  void DataSetScrolled(int) override { changed_(); }
  void EditingChanged() override { changed_(); }
  void RecordChanged(TField*) override {}

 private:
  std::function<void()> changed_;
};

// The record count of a dataset, asked of the engine again only when its rows changed (an
// open, a post, a delete, a range, a filter, another index), not on every move: the count may
// cost a pass over the rows.
class TRecordCount {
 public:
  int Of(TDataSet& data) {
    if (count_ < 0 || version_ != data.RowsVersion()) {
      count_ = data.RecordCount();
      version_ = data.RowsVersion();
    }
    return count_;
  }

 private:
  int count_ = -1;
  std::uint64_t version_ = 0;
};

// "Record N of M" of Data with Count records: the engine's record number, else the grid's row
// (counted from the first row), else "about N" from Estimate (when given); the new-record and
// no-records texts where they apply.
std::string RecordPositionText(TDataSet& data, const TwwDBGrid* grid, int count,
                               const std::function<int()>& estimate = {});

// Texts shown in messages and status lines: translated, with %s and %d filled in order.
std::string Format(const std::string& designed, const std::vector<std::string>& values);
// The translation of a designed text the code shows (noted for the translators' list).
std::string Tr(const std::string& designed);
// Message in the current language when it has the form of one of Designed (texts with %s
// slots; the values in the slots translated the same way, so messages nest); else as it is.
std::string TranslateFormatted(const std::string& message,
                               const std::vector<const char*>& designed);

// Collects the designed texts of the windows created while it lives, and of the texts the
// code translates, for the list of texts a dictionary lacks.
class TDesignedTextCollector {
 public:
  TDesignedTextCollector();
  ~TDesignedTextCollector();
  static TDesignedTextCollector* Active();
  void Add(const std::string& text);
  // Adds every text of Root and what it owns, as it stands (call before translating).
  void AddComponent(TComponent* root);
  // The texts in first-seen order, each once.
  const std::vector<std::string>& Texts() const { return texts_; }

 private:
  std::vector<std::string> texts_;
};

}  // namespace vader::app
