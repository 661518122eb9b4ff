#pragma once
// Table-driven checks that a text parser refuses input with the right line and message.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/TextLines.h"

namespace vader::tools {

struct ParseCase {
  const char* text;
  int line;
  const char* message;
};

// Calls parse(text) for every case and expects a ParseError naming the line and the message.
template <typename Parse>
void ExpectParseErrors(const std::vector<ParseCase>& cases, Parse parse) {
  for (const ParseCase& c : cases) {
    try {
      parse(c.text);
      ADD_FAILURE() << "accepted: " << c.text;
    } catch (const ParseError& e) {
      EXPECT_EQ(c.line, e.Line()) << c.text;
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
  }
}

}  // namespace vader::tools
