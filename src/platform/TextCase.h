#pragma once
// Case handling of texts in the ANSI code page (Windows-1252, or UTF-8): the user-locale,
// case-insensitive comparison that CompareString(LOCALE_USER_DEFAULT, NORM_IGNORECASE)
// gives, and plain ASCII case folding for names (settings keys, message names).

#include <string>
#include <string_view>

namespace vader::platform {

// True when A and B are equal with ASCII letters compared case-insensitively.
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);

// Upper-cases the letters a to z only.
std::string AsciiUpperCase(std::string_view s);

// The comparison key of a text for the user locale with case ignored: two texts compare
// equal under the locale comparison exactly when their keys are byte-equal. Letters of
// Windows-1252 (accented ones included), and in UTF-8 those of the Latin, Greek and Cyrillic
// scripts, fold to one case, and the ligatures and sharp s
// expand to the letters they stand for (ß = ss, æ = ae, œ = oe), as the locale compares them.
std::string LocaleFoldKey(std::string_view text);

// The same key for UTF-8 text, whatever the ANSI code page.
std::string Utf8FoldKey(std::string_view utf8);

// The locale comparison with case ignored: negative, zero or positive.
int CompareTextLocale(std::string_view a, std::string_view b);

}  // namespace vader::platform
