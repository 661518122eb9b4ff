#pragma once
// Binary and graphic values kept as text inside a fixed record: "###", then Base64 groups in
// which a group equal to the last one written in full shrinks to a single "!".

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vader {

constexpr uint16_t DBIERR_BLOBVERSION = 0x2F05;

// A growable byte buffer with a read/write position.
class TMemoryStream {
 public:
  size_t Size() const { return data_.size(); }
  size_t Position() const { return position_; }
  const uint8_t* Data() const { return data_.data(); }
  // Empties the stream.
  void Clear();
  // Moves the position; past the end the next write fills the gap with zeros.
  void Seek(size_t position) { position_ = position; }
  // Reads up to `count` bytes from the position; returns how many were read.
  size_t Read(void* dest, size_t count);
  void Write(const void* src, size_t count);
  // Cuts or zero-extends the stream to `size` bytes.
  void Resize(size_t size) { data_.resize(size); }

 private:
  std::vector<uint8_t> data_;
  size_t position_ = 0;
};

// Writes the blob text of the whole of `source` into `dest`, replacing its contents.
void EncodeBlob(TMemoryStream& source, TMemoryStream& dest);
// The bytes Value takes in a record as blob text, the ending NUL included (0 for no value,
// which is stored as an empty text).
size_t BlobTextLength(const std::string& value);
// Writes the value of the blob text in `source` into `dest`, replacing its contents. A text
// without "###" raises DBIERR_BLOBVERSION; a character outside the alphabet EConvertError.
void DecodeBlob(TMemoryStream& source, TMemoryStream& dest);

}  // namespace vader
