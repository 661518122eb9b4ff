#include "tools/Sequential.h"

namespace vader::tools {
namespace {
constexpr int kCtrlZ = 0x1A;
constexpr size_t kMaxLengthDigits = 5;  // records are at most 65535 bytes
}  // namespace

SequentialError::SequentialError(uint64_t line, uint64_t offset, const std::string& message)
    : std::runtime_error("line " + std::to_string(line) + " (byte " + std::to_string(offset) +
                         "): " + message) {}

void SequentialReader::Fail(const std::string& message) const {
  throw SequentialError(line_, offset_, message);
}

bool SequentialReader::Next(Bytes& record) {
  int c = in_.get();
  if (c == std::char_traits<char>::eof() || c == kCtrlZ) return false;
  ++line_;
  std::string digits;
  for (; c != ','; c = in_.get(), ++offset_) {
    if (c == std::char_traits<char>::eof()) Fail("the input ends inside a record length");
    if (c < '0' || c > '9') Fail("expected the record length in digits and a comma");
    if (digits.size() == kMaxLengthDigits) Fail("the record length has too many digits");
    digits += static_cast<char>(c);
  }
  if (digits.empty()) Fail("the record length is missing before the comma");
  ++offset_;
  const unsigned long length = std::stoul(digits);
  if (length > kMaxRecord)
    Fail("record length " + digits + " exceeds " + std::to_string(kMaxRecord));
  record.resize(length);
  in_.read(record.data(), static_cast<std::streamsize>(length));
  if (static_cast<size_t>(in_.gcount()) != length)
    Fail("the input ends inside a record of " + digits + " bytes");
  offset_ += length;
  // The record ends with CR LF; a bare LF is accepted too.
  c = in_.get();
  if (c == '\r') {
    ++offset_;
    c = in_.get();
  }
  if (c != '\n') Fail("expected CR LF after the " + digits + " bytes of the record");
  ++offset_;
  return true;
}

void WriteSequential(std::ostream& out, const Bytes& record) {
  out << record.size() << ',';
  out.write(record.data(), static_cast<std::streamsize>(record.size()));
  out << "\r\n";
}

}  // namespace vader::tools
