#pragma once
// The application's top-level error handler: errors that reach the event loop are shown in
// an error dialog, except the framework's silent ones.

#include <exception>
#include <functional>

namespace vader::ui {

void ShowException(const std::exception& error);

// Runs Action; an error it raises is shown instead of leaving the event loop.
void Guarded(const std::function<void()>& action);

}  // namespace vader::ui
