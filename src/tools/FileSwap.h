#pragma once
// The replacement of a table's data file by a rebuilt copy, in steps that may be cut off at any
// moment. The copy is built beside the file as "<file>.new". The dictionary change that
// describes the new structure also sets a swap mark on the table's FILE.DDF entry; that one
// transaction decides which table exists. With the mark set, the file moves to "<file>.old"
// and the copy to "<file>"; the old file is removed, then the mark cleared. Whoever opens the
// table next finishes an interrupted swap (mark set) or removes the leftovers of one that never
// reached the dictionary (mark clear), so the table is always the old one or the new one, whole.
// A file on a server changes places with its copy in one server transaction (ServerFiles.h).

#include <cstddef>
#include <cstdint>
#include <string>

namespace vader::tools {

// Byte of a FILE.DDF entry (in its reserved area) that holds the swap mark.
constexpr size_t kSwapMarkOffset = 87;
constexpr uint8_t kSwapMark = 0x5A;

std::string RebuiltPath(const std::string& path);
std::string RetiredPath(const std::string& path);

// With the mark set: puts the rebuilt copy in the file's place. Each step can be repeated.
void CompleteSwap(const std::string& path);
// With the mark clear: removes a rebuilt copy that never took the file's place and an old file
// that was already replaced. A file that has left its place is put back instead of removed.
void DiscardSwapLeftovers(const std::string& path);
// Removes a data file with its record manager's side files; false when there was none.
bool RemoveDataFile(const std::string& path);

}  // namespace vader::tools
