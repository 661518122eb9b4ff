#pragma once
// Where the person left each kind of window: its place and size, the positions of its
// splitters, and the widths they gave a table's columns, kept in the settings file (Vader.INI)
// and given back when such a window opens again, also after a restart.

#include <string>

#include "framework/DBCtrls.h"
#include "framework/Forms.h"

namespace vader::app {

// Gives Form the place, size, splitter positions and list column widths kept for its kind
// (its name); leaves it as designed when none are kept, or what is kept is no size a window
// can have.
void RestoreWindowLayout(TForm& form);
// Keeps them. A settings file that cannot be written keeps nothing and says nothing: the
// window opens as designed next time.
void SaveWindowLayout(const TForm& form);

// The column widths the person gave Grid on Table, by field.
void RestoreColumnWidths(TwwDBGrid& grid, const std::string& table);
void SaveColumnWidths(const TwwDBGrid& grid, const std::string& table);

}  // namespace vader::app
