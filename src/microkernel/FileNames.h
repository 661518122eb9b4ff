#pragma once
// Looking up data files. Files written on DOS and Windows are named without regard to case: a
// program or a dictionary may name FILE.DDF a file that was copied here as file.ddf. Names are
// compared as the file system's bytes, with only the ASCII letters folded.

#include <string>

namespace vader::microkernel {

// Whether something exists at `path`.
bool FileExists(const std::string& path);

// `path` when it exists; else the existing path whose components equal those of `path`
// ignoring case (the first match in directory order where several do); else `path`, so that a
// file still to be created keeps the name it was given.
std::string FindIgnoringCase(const std::string& path);

// Whether the existing file `path` can be written here: it and its folder (which takes the
// files a database writes beside it) writable for this process and not marked read-only for
// everyone (which a process that may write anything, such as one run by root, would pass
// over). False on a read-only medium.
bool WritableHere(const std::string& path);

// Whether the file at `path` was written by a real Btrieve engine rather than by the record
// manager (whose files are SQLite databases); such files are read in place, read-only.
bool IsRealBtrieveFile(const std::string& path);

}  // namespace vader::microkernel
