#pragma once
// Work that may take long (a filter reading a whole table, a statement changing many rows, a
// wait for a locked record). The loops doing it call LongWorkGoesOn now and then; while a
// TLongWork is running, that keeps the windows painted and, after a short delay, shows what is
// being done, how far it got, and a Stop button. Once the person stops, LongWorkGoesOn answers
// false and the work ends as if it had run out of things to do, leaving the data as it was.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace vader {

// The window that shows long work: supplied by the user-interface layer.
class TLongWorkView {
 public:
  virtual ~TLongWorkView() = default;
  // Made hidden when the work starts; shows Title and Text with a Stop button once the work
  // has taken a while. OnStop runs when the button is clicked.
  virtual void Show(const std::string& title, const std::string& text, std::string stopCaption,
                    std::function<void()> onStop) = 0;
  virtual void SetText(const std::string& text) = 0;
  // Lets the windows repaint. Until the view is shown no input is taken, so that nothing the
  // person does reaches the work half done; once shown, input reaches only the view.
  virtual void ProcessEvents() = 0;
};
using TLongWorkViewFactory = std::function<std::unique_ptr<TLongWorkView>()>;
void SetLongWorkViewFactory(TLongWorkViewFactory factory);

class TLongWork {
 public:
  // Describe turns the count of things done (records read, rows changed) into the progress
  // text; Title and StopCaption are shown as they are (translated by the caller).
  TLongWork(std::string title, std::function<std::string(std::uint64_t)> describe,
            std::string stopCaption);
  ~TLongWork();
  TLongWork(const TLongWork&) = delete;
  TLongWork& operator=(const TLongWork&) = delete;

  // Counts More things done; false once the person asked to stop.
  bool Step(std::uint64_t more);
  std::uint64_t Done() const { return done_; }
  bool Stopped() const { return stopped_; }
  void Stop() { stopped_ = true; }
  // Whether a step is letting events run now.
  bool Stepping() const { return stepping_; }
  // Whether the progress window was shown.
  bool Shown() const { return shown_; }

  // The work this thread runs now (the innermost), nullptr when none is.
  static TLongWork* Current();
  // How long work runs before its progress shows; tests shorten it.
  static void SetShowDelay(std::chrono::milliseconds delay);

 private:
  std::string title_;
  std::function<std::string(std::uint64_t)> describe_;
  std::string stopCaption_;
  std::chrono::steady_clock::time_point started_, lastEvents_{};  // none yet: the first step
  std::unique_ptr<TLongWorkView> view_;
  TLongWork* outer_;
  std::uint64_t done_ = 0;
  bool shown_ = false;
  bool stopped_ = false;
  bool stepping_ = false;  // a step is processing events: steps from inside it return at once
};

// What loops call: counts More things done by the running work; false once the person asked
// to stop. Without running work it only answers true.
bool LongWorkGoesOn(std::uint64_t more);
// Whether long work is running (controls then leave the data alone until it ends).
bool LongWorkRunning();

// Waits for a record or file another program holds. The first ask of a wait outside other
// long work starts long work of its own, made by Factory (the application's, with its texts);
// LockWaitEnded ends it once the call that waited returns. Waits of other threads than the
// one that set the factory are not shown.
void SetLockWaitWorkFactory(std::function<std::unique_ptr<TLongWork>()> factory);
// Asked while a wait lasts; false once the person asked to stop waiting.
bool LockWaitGoesOn();
void LockWaitEnded();

}  // namespace vader
