#pragma once
// Code-page conversions through iconv. The system's 8-bit texts are "ANSI" (Windows-1252 by
// default); the data manager's are "OEM" (code page 437 by default); the toolkit shows
// UTF-8. Characters a target code page lacks become '?', as the Windows conversions do.

#include <string>
#include <string_view>

namespace vader::platform {

std::string AnsiToUtf8(std::string_view ansi);
std::string Utf8ToAnsi(std::string_view utf8);

// CharToOemBuff / OemToCharBuff: same length in, same length out.
std::string CharToOem(std::string_view ansi);
std::string OemToChar(std::string_view oem);

// iconv names of the two code pages; an unknown name is refused (false) and nothing changes.
bool SetAnsiCodePage(const std::string& iconvName);
bool SetOemCodePage(const std::string& iconvName);

}  // namespace vader::platform
