#pragma once
// A Yes/No confirmation prompt, one-call settings-file access, and the three data-change
// window messages registered at start-up.

#include <cstdint>
#include <string>

namespace vader {

// Modal warning dialog with Yes and No; true only for Yes. Shows the arrow cursor while
// it waits and puts the previous cursor back afterwards, also when the dialog fails.
bool ConfirmPrompt(const std::string& message);

// Value of Key in Section of FileName, cut to 2047 characters; empty when absent.
std::string ReadIniString(const std::string& fileName, const std::string& section,
                          const std::string& key);

// Stores Value under Key in Section; raises EIniFileException "Unable to write to <file>".
void WriteIniString(const std::string& fileName, const std::string& section,
                    const std::string& key, const std::string& value);

extern std::uint16_t OpenDataMessage;
extern std::uint16_t CloseDataMessage;
extern std::uint16_t RefreshDataMessage;

// Start-up of the module: registers the data-change messages from the executable's path.
void ZothrtnsStartup();

}  // namespace vader
