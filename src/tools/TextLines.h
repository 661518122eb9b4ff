#pragma once
// The line syntax shared by file descriptions and table schemas: one item per line, a leading
// word, then `name=value` attributes and bare words; `#` starts a comment; values with blanks
// are quoted. Errors name the line.

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/SchemaTexts.h"

namespace vader::tools {

class ParseError : public std::runtime_error {
 public:
  ParseError(int line, const std::string& message)
      : std::runtime_error(texts::Filled(texts::kAtLine, {std::to_string(line), message})),
        line_(line) {}
  int Line() const { return line_; }

 private:
  int line_;
};

// One non-empty line: its word, its positional words and its attributes. Every getter marks
// what it used, so Finish can reject anything left over.
class TextLine {
 public:
  TextLine(int line, std::vector<std::string> tokens);

  int Line() const { return line_; }
  const std::string& Word() const { return word_; }
  // The n-th bare word after the leading one, or "" when absent.
  std::string Positional(size_t n);
  bool Flag(const std::string& name);
  bool Has(const std::string& name) const { return attributes_.count(name) > 0; }
  std::string Text(const std::string& name, const std::string& fallback = "");
  // A decimal or 0x-hexadecimal number within [min, max].
  int64_t Number(const std::string& name, int64_t min, int64_t max, int64_t fallback = 0);
  int64_t ParseNumber(const std::string& what, const std::string& text, int64_t min,
                      int64_t max) const;
  // Rejects attributes and words no getter asked for.
  void Finish() const;
  [[noreturn]] void Fail(const std::string& message) const { throw ParseError(line_, message); }

 private:
  int line_;
  std::string word_;
  std::vector<std::string> positional_;
  std::vector<bool> positionalUsed_;
  std::map<std::string, std::string> attributes_;
  std::map<std::string, bool> used_;
};

// Splits text into lines of tokens; blank and comment lines are dropped.
std::vector<TextLine> ParseLines(const std::string& text);

// ASCII case conversions for names and keywords.
std::string AsciiLower(std::string text);
std::string AsciiUpper(std::string text);

// Quotes a value that holds blanks, quotes or '#'.
std::string QuoteValue(const std::string& value);

}  // namespace vader::tools
