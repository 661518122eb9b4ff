#pragma once
// The sequential record format of load and save: for every record its length in decimal, a
// comma, the record's bytes, CR LF. A Ctrl-Z (0x1A) or the end of the input ends the file.

#include <cstdint>
#include <istream>
#include <ostream>
#include <stdexcept>

#include "tools/Btrieve.h"

namespace vader::tools {

class SequentialError : public std::runtime_error {
 public:
  SequentialError(uint64_t line, uint64_t offset, const std::string& message);
};

class SequentialReader {
 public:
  explicit SequentialReader(std::istream& in) : in_(in) {}
  // Reads the next record; false at the end. Throws SequentialError on malformed input.
  bool Next(Bytes& record);
  uint64_t Line() const { return line_; }

 private:
  [[noreturn]] void Fail(const std::string& message) const;
  std::istream& in_;
  uint64_t line_ = 0;    // records begun so far: the line of the record being read
  uint64_t offset_ = 0;  // bytes consumed
};

void WriteSequential(std::ostream& out, const Bytes& record);

}  // namespace vader::tools
