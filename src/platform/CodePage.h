#pragma once
// Code-page conversions through iconv. The system's own 8-bit texts are "ANSI" (Windows-1252
// by default, UTF-8 where the user's locale is UTF-8); the data manager's are "OEM" (code page
// 437 by default); the toolkit shows UTF-8. Both are chosen from the user's locale the way the
// original platform chose them, and a database may have its own code page for its texts.
//
// Two kinds of conversion: the session's plain ones (AnsiToUtf8 ... OemToChar), in which a
// character the target lacks becomes '?' as the Windows conversions do, and the text ones
// (DecodeText, EncodeText) used for what is stored in a database, which never lose a byte:
// decoding is reversible and encoding refuses a character the code page cannot hold.

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
std::string AnsiCodePage();
bool AnsiIsUtf8();
std::string OemCodePage();

// The iconv name of a code page given as a user writes it: "866", "cp866", "IBM866",
// "1251", "windows-1251", "utf-8"; empty when iconv does not know it.
std::string CodePageName(std::string_view given);

// The ANSI and OEM code pages of a locale ("ru_RU.UTF-8", "de_DE", "C"): the pair the
// original platform used for its language (en_US 1252/437, de 1252/850, ru 1251/866 ...);
// the ANSI side is UTF-8 when the locale's character set is UTF-8.
struct CodePagePair {
  std::string ansi;
  std::string oem;
};
CodePagePair CodePagesForLocale(std::string_view locale);

// Sets both code pages from the user's locale (LC_ALL, then LC_CTYPE, then LANG).
void UseLocaleCodePages();

// Bytes in CodePage as UTF-8. Every byte decodes: one the code page leaves undefined becomes
// the private-use character U+F700 + byte, which EncodeText turns back into that byte.
std::string DecodeText(std::string_view bytes, const std::string& codePage);

// UTF-8 text in CodePage. When a character cannot be held, ok is false, bytes is empty and
// refused is that character (UTF-8); nothing is ever replaced.
struct EncodedText {
  bool ok = true;
  std::string bytes;
  std::string refused;
};
EncodedText EncodeText(std::string_view utf8, const std::string& codePage);

// UTF-8 characters one at a time: the character at At (advanced past it); a byte that does not
// start a well-formed sequence is the private-use character U+F700 + byte.
char32_t NextUtf8Character(std::string_view utf8, std::size_t& at);
std::string Utf8Of(char32_t character);

// "U+0416": the code of the first character of UTF-8 text, for messages.
std::string CharacterCodeText(std::string_view utf8);

// Database text and the system's ANSI texts: decoding goes straight to UTF-8 when ANSI is
// UTF-8; encoding refuses as EncodeText does.
std::string NativeTextToAnsi(std::string_view native, const std::string& codePage);
EncodedText AnsiTextToNative(std::string_view ansi, const std::string& codePage);

}  // namespace vader::platform
