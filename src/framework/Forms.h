#pragma once
// Windows, the screen cursor and the application object.

#include <functional>
#include <memory>
#include <vector>

#include "framework/Controls.h"

namespace vader {

class TForm : public TWinControl {
 public:
  explicit TForm(TComponent* owner) : TWinControl(owner) {}

  TMainMenu* Menu() const { return menu_; }
  // The window was moved on screen (to the place of its frame's top left corner).
  void MovedOnScreen(int left, int top) { PlacedOnScreen(left, top); }
  void SetMenu(TMainMenu* menu) { menu_ = menu; }

  // Finishes construction: ends the loading phase (so stored Active datasets open) and then
  // runs the creation handler, in that order. Call once, right after the components exist.
  void AfterConstruction();

  // Where the user-interface layer asks the window to close; the handler may refuse.
  std::function<bool()> OnCloseQuery;

 protected:
  // The creation handler: runs after loading, before the window is first shown.
  virtual void FormCreate() {}
  void Loaded() override;

 private:
  TMainMenu* menu_ = nullptr;
};

// Cursor shapes of the screen.
using TCursor = int;
constexpr TCursor crDefault = 0;
constexpr TCursor crArrow = -2;
constexpr TCursor crHourGlass = -11;

// The screen: its cursor shape. The user-interface layer listens for changes.
class TScreen {
 public:
  TCursor Cursor() const { return cursor_; }
  void SetCursor(TCursor cursor);
  std::function<void(TCursor)> OnCursorChange;

 private:
  TCursor cursor_ = crDefault;
};
TScreen& Screen();

// The toolkit's event loop, supplied by the user-interface layer.
class TEventLoop {
 public:
  virtual ~TEventLoop() = default;
  virtual void Show(TForm* form) = 0;
  virtual void Run(TForm* mainForm) = 0;  // returns when the main window has closed
  virtual void ProcessMessages() = 0;
  virtual void Quit() = 0;  // ends Run()
};

// The application object: its initialisation-hook chain, main window and message loop.
class TApplication : public TComponent {
 public:
  TApplication() : TComponent(nullptr) {}

  // Runs the initialisation-hook chain (InitProc) once.
  void Initialize();
  bool Initialized() const { return initialized_; }

  // Makes Form the main window (the first window created becomes it, as a rule).
  void SetMainForm(TForm* form) { mainForm_ = form; }
  TForm* MainForm() const { return mainForm_; }

  void SetEventLoop(TEventLoop* loop) { loop_ = loop; }
  TEventLoop* EventLoop() const { return loop_; }

  // Shows the main window and runs the message loop until it closes.
  void Run();
  // Lets pending window messages run (posted broadcasts included).
  void ProcessMessages();
  // Ends the message loop.
  void Terminate();

 private:
  bool initialized_ = false;
  TForm* mainForm_ = nullptr;
  TEventLoop* loop_ = nullptr;
};

// The application-initialisation hook. A module chains into it by keeping the previous
// hook and calling it first from its own.
extern std::function<void()> InitProc;

TApplication& Application();

}  // namespace vader
