#pragma once
// The application's top-level error handler: errors that reach the event loop are shown in
// an error dialog, except the framework's silent ones.

#include <exception>
#include <functional>
#include <string>
#include <vector>

namespace vader::ui {

// Message, each of its lines in the current language where the dictionary has that line (the
// engine's status lines such as "Btrieve Status 5 - ...", framework messages); the other
// lines (names, keys, codes) as they are.
std::string ShownErrorText(const std::string& message);

// The text of an error as ShowException shows it.
std::string ShownErrorText(const std::exception& error);
// An error message as a person reads it: Text holds what happened in words, in the current
// language; Details the internal codes ("DBIERR_...", "DBI Error Code = ..."), as they are.
// A message that has nothing but codes is told in words by what its code means.
struct TShownError {
  std::string text;
  std::string details;
};
TShownError SplitErrorText(const std::string& message);
// The designed texts that tell an internal code in words (for the translators' list).
const std::vector<const char*>& ErrorExplanations();

void ShowException(const std::exception& error);

// Runs Action; an error it raises is shown instead of leaving the event loop.
void Guarded(const std::function<void()>& action);

}  // namespace vader::ui
