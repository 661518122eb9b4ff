#pragma once
// Data files kept on a PostgreSQL server, handled as whole files for the replacement of a
// table's file by a rebuilt copy (see FileSwap.h): whether one exists, removing one, and
// renaming in one server transaction, so that the file's name always leads to the old records
// or to the new ones, never to neither.

#include <string>

namespace vader::tools {

// Whether `path` names a file on a server: a server location, or a path in a directory mapped
// to one.
bool IsServerFile(const std::string& path);
bool ServerFileExists(const std::string& path);
// Removes the file with its records; false when there was none or it could not be removed
// (then it stays whole).
bool RemoveServerFile(const std::string& path);
// In one server transaction: when `rebuilt` exists, `path` (when it exists) becomes `retired`,
// replacing a leftover of that name, and `rebuilt` becomes `path`. Throws std::runtime_error
// when the server refuses; nothing has changed then.
void SwapServerFiles(const std::string& path, const std::string& rebuilt,
                     const std::string& retired);
// In one server transaction: removes `rebuilt`; puts `retired` back as `path` when `path` is
// missing, else removes it.
void DiscardServerLeftovers(const std::string& path, const std::string& rebuilt,
                            const std::string& retired);

}  // namespace vader::tools
