#include "tools/TextLines.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

namespace vader::tools {
namespace {

// Splits one line into tokens; a quoted part may hold blanks and '#', and "" is a quote.
std::vector<std::string> Tokenize(const std::string& line, int number) {
  std::vector<std::string> tokens;
  std::string current;
  bool inToken = false, quoted = false;
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted) {
      if (c != '"') {
        current += c;
      } else if (i + 1 < line.size() && line[i + 1] == '"') {
        current += '"';
        ++i;
      } else {
        quoted = false;
      }
    } else if (c == '"') {
      quoted = inToken = true;
    } else if (c == '#') {
      break;
    } else if (c == ' ' || c == '\t' || c == '\r') {
      if (inToken) tokens.push_back(current);
      current.clear();
      inToken = false;
    } else {
      current += c;
      inToken = true;
    }
  }
  if (quoted) throw ParseError(number, texts::kUnterminatedQuote);
  if (inToken) tokens.push_back(current);
  return tokens;
}

}  // namespace

TextLine::TextLine(int line, std::vector<std::string> tokens) : line_(line) {
  word_ = AsciiLower(tokens.front());
  for (size_t i = 1; i < tokens.size(); ++i) {
    const std::string& t = tokens[i];
    const size_t eq = t.find('=');
    if (eq == std::string::npos) {
      positional_.push_back(t);
      continue;
    }
    const std::string name = AsciiLower(t.substr(0, eq));
    if (name.empty()) Fail(texts::Filled(texts::kAttributeWithoutName, {t}));
    if (!attributes_.emplace(name, t.substr(eq + 1)).second)
      Fail(texts::Filled(texts::kAttributeTwice, {name}));
  }
  positionalUsed_.assign(positional_.size(), false);
}

std::string TextLine::Positional(size_t n) {
  if (n >= positional_.size()) return "";
  positionalUsed_[n] = true;
  return positional_[n];
}

bool TextLine::Flag(const std::string& name) {
  for (size_t i = 0; i < positional_.size(); ++i)
    if (AsciiLower(positional_[i]) == name) {
      positionalUsed_[i] = true;
      return true;
    }
  return false;
}

std::string TextLine::Text(const std::string& name, const std::string& fallback) {
  const auto it = attributes_.find(name);
  if (it == attributes_.end()) return fallback;
  used_[name] = true;
  return it->second;
}

int64_t TextLine::ParseNumber(const std::string& what, const std::string& text, int64_t min,
                              int64_t max) const {
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const std::string digits = hex ? text.substr(2) : text;
  const bool valid = !digits.empty() && digits.size() <= 18 &&
                     std::all_of(digits.begin(), digits.end(), [hex](unsigned char c) {
                       return hex ? std::isxdigit(c) != 0 : std::isdigit(c) != 0;
                     });
  if (!valid) Fail(texts::Filled(texts::kNotANumber, {what, text}));
  const int64_t v = std::strtoll(digits.c_str(), nullptr, hex ? 16 : 10);
  if (v < min || v > max)
    Fail(texts::Filled(texts::kOutOfRange,
                       {what, text, std::to_string(min), std::to_string(max)}));
  return v;
}

int64_t TextLine::Number(const std::string& name, int64_t min, int64_t max, int64_t fallback) {
  const auto it = attributes_.find(name);
  if (it == attributes_.end()) return fallback;
  used_[name] = true;
  return ParseNumber(name, it->second, min, max);
}

void TextLine::Finish() const {
  for (const auto& [name, value] : attributes_)
    if (!used_.count(name)) Fail(texts::Filled(texts::kUnknownAttribute, {name, word_}));
  for (size_t i = 0; i < positional_.size(); ++i)
    if (!positionalUsed_[i]) Fail(texts::Filled(texts::kUnexpectedWord, {positional_[i], word_}));
}

std::string texts::Filled(const char* format, std::initializer_list<std::string> values) {
  std::string out;
  auto value = values.begin();
  for (const char* c = format; *c; ++c) {
    if (c[0] == '%' && c[1] == 's' && value != values.end()) {
      out += *value++;
      ++c;
    } else {
      out += *c;
    }
  }
  return out;
}

std::vector<TextLine> ParseLines(const std::string& text) {
  std::vector<TextLine> lines;
  int number = 0;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    ++number;
    std::vector<std::string> tokens = Tokenize(text.substr(start, end - start), number);
    if (!tokens.empty()) lines.emplace_back(number, std::move(tokens));
    start = end + 1;
  }
  return lines;
}

std::string AsciiLower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::string AsciiUpper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

std::string QuoteValue(const std::string& value) {
  const bool plain = !value.empty() && value.find_first_of(" \t\"#=") == std::string::npos;
  if (plain) return value;
  std::string out = "\"";
  for (char c : value) out += c == '"' ? std::string("\"\"") : std::string(1, c);
  return out + "\"";
}

}  // namespace vader::tools
