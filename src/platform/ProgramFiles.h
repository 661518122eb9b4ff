#pragma once
// Where the program's own files are, and where a person's writable state goes.
//
// Run from a build tree, everything sits beside the executable. Installed under a prefix
// (PREFIX/bin, PREFIX/lib/vader, PREFIX/share/vader), the read-only files are shared in
// share/vader and the writable state lives in the user's XDG directories. Directory names
// returned here end with '/'.

#include <string>

namespace vader::platform {

// True when the executable sits in PREFIX/bin beside a PREFIX/share/vader directory.
bool IsInstalledLayout();

// The read-only files (dictionaries in lang/, the sample database in sample/):
// PREFIX/share/vader/ when installed, else the executable's directory.
std::string ProgramDataDirectory();

// PREFIX/lib/vader/, where an installed program keeps its client libraries.
std::string PrivateLibraryDirectory();

// $XDG_CONFIG_HOME/vader/ (else ~/.config/vader/) and $XDG_DATA_HOME/vader/
// (else ~/.local/share/vader/).
std::string UserConfigDirectory();
std::string UserDataDirectory();

// The settings file `name` (Language.INI, Vader.INI) to read and write: the one beside the
// executable when it exists and is writable; else, when it exists read-only, the user's copy
// (made from it the first time, so its settings carry over); else, when it is missing, beside
// the executable in a writable build tree and the user's copy otherwise.
std::string SettingsFilePath(const std::string& name);

// The sample database to open: beside the executable in a build tree; for an installed
// program the user's own copy in the data directory, copied from share/vader on first use so
// that it can be edited (the shared one when the copy cannot be made).
std::string SampleDatabaseDirectory();

}  // namespace vader::platform
