#pragma once
// Stateless string routines: separator-delimited fields, filled strings, registered
// window messages and a prefix test. Character positions count from 1.

#include <cstdint>
#include <string>

namespace vader {

// Number of fields in S when Separator delimits them; 1 for an empty S or Separator.
std::uint16_t CountDelimitedFields(const std::string& s, const std::string& separator);

// Field N of S (the first is 1; 0 reads as 1); empty beyond the last field. Nothing trimmed.
std::string GetDelimitedField(const std::string& s, const std::string& separator, std::uint16_t n);

// Count copies of Ch; empty when Count <= 0.
std::string MakeFilledString(int count, char ch);

// The registered window message for Name; 0 when registering fails.
std::uint32_t RegisterAppMessage(const std::string& name);

// S without its leading and trailing characters of code 32 or below (blanks, tabs, line
// breaks and other control characters).
std::string TrimControls(const std::string& s);

// True when S begins with Prefix, compared exactly.
bool StartsWithText(const std::string& s, const std::string& prefix);

}  // namespace vader
