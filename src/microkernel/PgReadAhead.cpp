#include "microkernel/PgReadAhead.h"

#include <algorithm>

namespace vader::microkernel {
namespace {

// Each batch of a walk that goes on holds this many times the rows of the one before: a short
// look at a few rows reads few, a long walk soon reads thousands per round trip.
constexpr size_t kGrowth = 8;

// Batch sizes are powers of two, so that a file needs few distinct statements.
size_t PowerOfTwoAtLeast(size_t n) {
  size_t p = 1;
  while (p < n) p <<= 1;
  return p;
}

}  // namespace

bool ReadAhead::Continues(int number, bool forward, const Bytes& entry, uint32_t pos,
                          const Stamp& now) const {
  if (batch_ == 0 || number != number_ || forward != forward_ || !(now == stamp_)) return false;
  return number < 0 ? pos == lastPos_ : entry == lastEntry_;
}

void ReadAhead::Take(Row& row) {
  Row& next = rows_[next_++];
  row.entry.swap(next.entry);
  row.data.swap(next.data);
  row.pos = next.pos;
  lastEntry_.assign(row.entry);
  lastPos_ = row.pos;
}

size_t ReadAhead::NextBatch(bool continuing, size_t expected, size_t cap) const {
  const size_t grown = continuing ? batch_ * kGrowth : 1;
  return std::min(cap, PowerOfTwoAtLeast(std::max(grown, expected)));
}

void ReadAhead::Begin(int number, bool forward, const Stamp& stamp, size_t size) {
  number_ = number;
  forward_ = forward;
  stamp_ = stamp;
  batch_ = size;
  filled_ = next_ = 0;
}

Row& ReadAhead::Add() {
  if (filled_ == rows_.size()) rows_.emplace_back();
  return rows_[filled_++];
}

void ReadAhead::Forget() {
  batch_ = 0;
  filled_ = next_ = 0;
  // A large batch's buffers are not kept for a walk that may never come back.
  if (rows_.size() > kGrowth) rows_.clear();
}

}  // namespace vader::microkernel
