#include "framework/LongWork.h"

#include <thread>
#include <utility>

namespace vader {
namespace {

using Clock = std::chrono::steady_clock;

// Events are processed this often while work runs: the windows stay painted, and the work
// does not spend its time in the event loop.
constexpr auto kEventInterval = std::chrono::milliseconds(50);

TLongWorkViewFactory& ViewFactory() {
  static TLongWorkViewFactory factory;
  return factory;
}

std::chrono::milliseconds& ShowDelay() {
  static std::chrono::milliseconds delay{500};
  return delay;
}

// Each thread has its own: loops of other threads never process this thread's events.
TLongWork*& Running() {
  thread_local TLongWork* current = nullptr;
  return current;
}

struct TLockWait {
  std::function<std::unique_ptr<TLongWork>()> factory;
  std::thread::id thread;  // the thread whose waits are shown
  std::unique_ptr<TLongWork> work;
};

TLockWait& LockWait() {
  static TLockWait wait;
  return wait;
}

}  // namespace

void SetLongWorkViewFactory(TLongWorkViewFactory factory) { ViewFactory() = std::move(factory); }

TLongWork::TLongWork(std::string title, std::function<std::string(std::uint64_t)> describe,
                     std::string stopCaption)
    : title_(std::move(title)),
      describe_(std::move(describe)),
      stopCaption_(std::move(stopCaption)),
      started_(Clock::now()),
      outer_(Running()) {
  if (ViewFactory()) view_ = ViewFactory()();
  Running() = this;
}

TLongWork::~TLongWork() { Running() = outer_; }

TLongWork* TLongWork::Current() { return Running(); }

void TLongWork::SetShowDelay(std::chrono::milliseconds delay) { ShowDelay() = delay; }

bool TLongWork::Step(std::uint64_t more) {
  done_ += more;
  if (stopped_ || stepping_) return !stopped_;
  const Clock::time_point now = Clock::now();
  if (now - lastEvents_ < kEventInterval) return true;
  lastEvents_ = now;
  if (!view_) return true;
  stepping_ = true;
  if (!shown_ && now - started_ >= ShowDelay()) {
    view_->Show(title_, describe_(done_), stopCaption_, [this] { stopped_ = true; });
    shown_ = true;
  } else if (shown_) {
    view_->SetText(describe_(done_));
  }
  try {
    view_->ProcessEvents();
  } catch (...) {
    stepping_ = false;
    throw;
  }
  stepping_ = false;
  return !stopped_;
}

bool LongWorkGoesOn(std::uint64_t more) {
  TLongWork* work = TLongWork::Current();
  return work == nullptr || work->Step(more);
}

bool LongWorkRunning() { return TLongWork::Current() != nullptr; }

void SetLockWaitWorkFactory(std::function<std::unique_ptr<TLongWork>()> factory) {
  LockWait().factory = std::move(factory);
  LockWait().thread = std::this_thread::get_id();
}

bool LockWaitGoesOn() {
  TLockWait& wait = LockWait();
  if (std::this_thread::get_id() != wait.thread) return true;
  if (!wait.work && !TLongWork::Current() && wait.factory) wait.work = wait.factory();
  return LongWorkGoesOn(1);
}

void LockWaitEnded() {
  TLockWait& wait = LockWait();
  // A call made by the events a step lets run returns inside that step: the work goes on.
  if (wait.work && !wait.work->Stepping() && std::this_thread::get_id() == wait.thread)
    wait.work.reset();
}

}  // namespace vader
