#pragma once
// The readable description of a file: record length, page size, file flags, keys with their
// segments, types and flags, and ACS blocks. Describe writes exactly what Parse reads, so a
// description of a file creates the same file again.
//
//   file record=64 page=4096 variable
//   key number=0 modifiable
//   segment position=1 length=4 type=integer
//   key number=1 duplicates
//   segment position=5 length=20 type=string nocase
//   segment position=25 length=4 type=date descending

#include <string>

#include "tools/FileDef.h"

namespace vader::tools {

// Throws ParseError naming the line.
FileDef ParseDescription(const std::string& text);
// Only key and segment lines (and ACS lines), as Create Index takes them.
FileDef ParseKeyDescription(const std::string& text);
std::string Describe(const FileDef& def);

}  // namespace vader::tools
