#pragma once
// The descriptor of the extended reads (Get/Step Next/Previous Extended): a header, filter
// terms compared with the type rules of keys, and an extractor naming the fields to return.

#include <cstdint>
#include <utility>
#include <vector>

#include "microkernel/FileLayout.h"
#include "microkernel/KeyEncoding.h"
#include "microkernel/Status.h"

namespace vader::microkernel {

struct FilterTerm {
  explicit FilterTerm(KeyCodec c) : codec(std::move(c)) {}
  KeyCodec codec;  // compares the field by its data type
  uint16_t offset = 0;
  uint16_t length = 0;
  uint8_t comparison = 0;  // 1 =, 2 >, 3 <, 4 !=, 5 >=, 6 <=
  bool withField = false;  // compare with another field of the record instead of a value
  uint16_t otherOffset = 0;
  Bytes value;
  uint8_t connector = 0;  // to the next term: 1 AND, 2 OR, 0 last
};

struct ExtractField {
  uint16_t length = 0;
  uint16_t offset = 0;
};

struct ExtendedRequest {
  bool includeCurrent = false;  // "EG": the current record is examined too
  uint32_t rejectLimit = 0;
  std::vector<FilterTerm> terms;
  uint16_t maxRecords = 0;
  std::vector<ExtractField> fields;

  size_t ExtractLength() const;
  bool Matches(const Bytes& record) const;
  // Appends the extracted fields (zero-filled past the record's end).
  void Extract(const Bytes& record, Bytes& out) const;
};

// Parses the descriptor at the start of a data buffer of `length` bytes: 62 for a malformed
// descriptor, 65 for an extractor field outside the record.
Status ParseExtendedRequest(const uint8_t* data, size_t length, const FileDefinition& def,
                            ExtendedRequest& out);

}  // namespace vader::microkernel
