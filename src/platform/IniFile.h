#pragma once
// Settings files with the semantics of Windows private-profile files: sections and keys
// match case-insensitively and the first match wins; blanks around names and values and a
// pair of surrounding quotes are dropped on read; a write creates the file, section and key
// as needed, keeps every other line as it was and replaces the file atomically.

#include <cstddef>
#include <string>

namespace vader::platform {

// Value of Key in Section of the file FileName, or Default when the file, section or key
// is missing. The value is cut to BufferSize - 1 characters, as a caller's fixed buffer
// would cut it. Never fails.
std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                    const std::string& defaultValue, std::size_t bufferSize,
                                    const std::string& fileName);

// Stores Value under Key in Section. Returns false when the file cannot be written: the
// path is invalid, the directory or the file is read-only, or the disk refuses it.
bool WritePrivateProfileString(const std::string& section, const std::string& key,
                               const std::string& value, const std::string& fileName);

}  // namespace vader::platform
