#include "microkernel/ExtendedFilter.h"

#include <cstring>

namespace vader::microkernel {
namespace {

constexpr uint16_t kDefaultRejectLimit = 4095;
constexpr uint8_t kCompareMask = 0x07;
constexpr uint8_t kCompareAcs = 0x08;
constexpr uint8_t kCompareField = 0x20;
constexpr uint8_t kCompareNoCase = 0x40;

// A one-segment key of the term's type, so that values compare as keys of that type sort.
KeyCodec TermCodec(uint8_t type, uint16_t length, uint8_t comparison, const FileDefinition& def) {
  KeyDef key;
  Segment s;
  s.position = 1;
  s.length = length;
  s.rawType = s.type = type;
  s.flags = kKeyExtendedType;
  if ((comparison & kCompareAcs) && !def.acs.empty()) s.flags |= kKeyAcs;
  if (comparison & kCompareNoCase) s.flags |= kKeyNoCase;
  key.segments.push_back(s);
  return KeyCodec(key, def);
}

// Bounded reader over the descriptor.
class DescriptorReader {
 public:
  DescriptorReader(const uint8_t* p, size_t n) : p_(p), n_(n) {}
  bool U8(uint8_t& v) { return Take(1) ? (v = p_[at_ - 1], true) : false; }
  bool U16(uint16_t& v) { return Take(2) ? (v = ReadU16(p_ + at_ - 2), true) : false; }
  bool Raw(size_t n, Bytes& out) {
    if (!Take(n)) return false;
    out.assign(reinterpret_cast<const char*>(p_ + at_ - n), n);
    return true;
  }
  size_t At() const { return at_; }

 private:
  bool Take(size_t n) {
    if (n_ - at_ < n) return false;
    at_ += n;
    return true;
  }
  const uint8_t* p_;
  size_t n_;
  size_t at_ = 0;
};

Status ParseTerm(DescriptorReader& in, const FileDefinition& def, std::vector<FilterTerm>& terms) {
  uint8_t type = 0, comparison = 0, connector = 0;
  uint16_t length = 0, offset = 0;
  if (!in.U8(type) || !in.U16(length) || !in.U16(offset) || !in.U8(comparison) || !in.U8(connector))
    return kInvalidDescriptor;
  const uint8_t code = comparison & kCompareMask;
  if (code < 1 || code > 6 || length == 0 || connector > 2) return kInvalidDescriptor;
  // A value whose length its type cannot have (a float of 3 bytes) would be decoded past it.
  if (!SegmentLengthFitsType(type, length)) return kInvalidDescriptor;
  FilterTerm term(TermCodec(type, length, comparison, def));
  term.offset = offset;
  term.length = length;
  term.comparison = code;
  term.connector = connector;
  term.withField = comparison & kCompareField;
  if (term.withField ? !in.U16(term.otherOffset) : !in.Raw(length, term.value))
    return kInvalidDescriptor;
  terms.push_back(std::move(term));
  return kOk;
}

// The field's bytes, or none when the record is too short to hold it.
bool Field(const Bytes& record, uint16_t offset, uint16_t length, Bytes& out) {
  if (size_t{offset} + length > record.size()) return false;
  out.assign(record, offset, length);
  return true;
}

bool Compare(int order, uint8_t code) {
  switch (code) {
    case 1:
      return order == 0;
    case 2:
      return order > 0;
    case 3:
      return order < 0;
    case 4:
      return order != 0;
    case 5:
      return order >= 0;
    default:
      return order <= 0;
  }
}

bool TermMatches(const FilterTerm& t, const Bytes& record) {
  Bytes field, other;
  if (!Field(record, t.offset, t.length, field)) return false;
  if (!t.withField)
    other = t.value;
  else if (!Field(record, t.otherOffset, t.length, other))
    return false;
  const Bytes a = t.codec.Encode(reinterpret_cast<const uint8_t*>(field.data()));
  const Bytes b = t.codec.Encode(reinterpret_cast<const uint8_t*>(other.data()));
  return Compare(a.compare(b), t.comparison);
}

}  // namespace

size_t ExtendedRequest::ExtractLength() const {
  size_t n = 0;
  for (const ExtractField& f : fields) n += f.length;
  return n;
}

bool ExtendedRequest::Matches(const Bytes& record) const {
  if (terms.empty()) return true;
  bool result = TermMatches(terms[0], record);
  for (size_t i = 1; i < terms.size(); ++i) {
    const bool next = TermMatches(terms[i], record);
    result = terms[i - 1].connector == 2 ? (result || next) : (result && next);
  }
  return result;
}

void ExtendedRequest::Extract(const Bytes& record, Bytes& out) const {
  for (const ExtractField& f : fields) {
    const size_t start = out.size();
    out.append(f.length, '\0');
    if (f.offset < record.size())
      std::memcpy(out.data() + start, record.data() + f.offset,
                  std::min<size_t>(f.length, record.size() - f.offset));
  }
}

Status ParseExtendedRequest(const uint8_t* data, size_t length, const FileDefinition& def,
                            ExtendedRequest& out) {
  DescriptorReader in(data, length);
  uint16_t total = 0, reject = 0, termCount = 0;
  Bytes signature;
  if (!in.U16(total) || !in.Raw(2, signature) || !in.U16(reject) || !in.U16(termCount))
    return kInvalidDescriptor;
  if (signature != "UC" && signature != "EG") return kInvalidDescriptor;
  ExtendedRequest request;
  request.includeCurrent = signature == "EG";
  request.rejectLimit = reject == 0 ? kDefaultRejectLimit : reject;
  for (uint16_t i = 0; i < termCount; ++i)
    if (Status s = ParseTerm(in, def, request.terms); s != kOk) return s;
  uint16_t fieldCount = 0;
  if (!in.U16(request.maxRecords) || !in.U16(fieldCount) || request.maxRecords == 0)
    return kInvalidDescriptor;
  for (uint16_t i = 0; i < fieldCount; ++i) {
    ExtractField f;
    if (!in.U16(f.length) || !in.U16(f.offset)) return kInvalidDescriptor;
    if (!def.Variable() && size_t{f.offset} + f.length > def.recordLength) return kInvalidExtractor;
    request.fields.push_back(f);
  }
  if (in.At() != total || request.fields.empty()) return kInvalidDescriptor;
  out = std::move(request);
  return kOk;
}

}  // namespace vader::microkernel
