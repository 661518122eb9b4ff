#pragma once
// The application's top-level error handler: errors that reach the event loop are shown in
// an error dialog, except the framework's silent ones.

#include <exception>
#include <functional>
#include <string>

namespace vader::ui {

// Message, each of its lines in the current language where the dictionary has that line (the
// engine's status lines such as "Btrieve Status 5 - ...", framework messages); the other
// lines (names, keys, codes) as they are.
std::string ShownErrorText(const std::string& message);

// The text of an error as ShowException shows it.
std::string ShownErrorText(const std::exception& error);

void ShowException(const std::exception& error);

// Runs Action; an error it raises is shown instead of leaving the event loop.
void Guarded(const std::function<void()>& action);

}  // namespace vader::ui
