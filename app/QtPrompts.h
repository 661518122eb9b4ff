#pragma once
// The toolkit's file, directory and text dialogs behind the application's prompts.

namespace vader::app {

void InstallQtPrompts();

}  // namespace vader::app
