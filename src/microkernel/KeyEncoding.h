#pragma once
// Order-preserving key encoding: a key value becomes a byte string whose unsigned byte-wise
// order is the key's collation (type, descending, case, ACS), so that SQLite's BLOB comparison
// sorts the index exactly as the key path must be walked.

#include <cstddef>
#include <cstdint>

#include "microkernel/Bytes.h"
#include "microkernel/FileLayout.h"

namespace vader::microkernel {

// In a key with duplicates, each index entry is the encoded key value followed by this many
// bytes of sequence number (big-endian), so duplicates keep the order they were added in.
constexpr size_t kDuplicateSequenceSize = 8;

class KeyCodec {
 public:
  KeyCodec(const KeyDef& key, const FileDefinition& def);

  const KeyDef& Key() const { return key_; }
  size_t Length() const { return length_; }  // key-buffer bytes
  size_t EncodedLength() const { return encodedLength_; }

  // The key's bytes as stored in the record (segments concatenated).
  Bytes Extract(const uint8_t* record) const;
  // Whether two records hold the same bytes of this key (their Extract is equal).
  bool SameIn(const uint8_t* a, const uint8_t* b) const;
  // Whether a key value (Length() bytes) leaves the record out of this index.
  bool IsNull(const uint8_t* key) const;
  // Whether a search value has a non-zero null-indicator segment (never found).
  bool HasNullIndicatorSet(const uint8_t* key) const;
  // Copies the key's bytes from the record to `out` (Length() bytes).
  void ExtractInto(const uint8_t* record, uint8_t* out) const;
  // The encoded, fixed-length form of a key value.
  Bytes Encode(const uint8_t* key) const;
  // The same into `out`, reusing its storage.
  void EncodeInto(const uint8_t* key, Bytes& out) const;

 private:
  void EncodeSegment(const Segment& s, const uint8_t* src, Bytes& out) const;
  const uint8_t* CollationTable(const Segment& s) const;

  KeyDef key_;
  size_t length_;
  size_t encodedLength_ = 0;
  std::vector<Bytes> acs_;
  uint8_t upper_[256];
};

}  // namespace vader::microkernel
