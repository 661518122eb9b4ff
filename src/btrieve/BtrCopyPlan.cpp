#include "btrieve/BtrCopyPlan.h"

#include <algorithm>
#include <cstring>

namespace vader {

bool TCopyPlan::SameStorage(const FieldDesc& from, const FieldDesc& to) {
  // The native type and size decide the bytes; the engine type and subtype (which overrides
  // and field names can change) decide how they read, so all must agree.
  return from.LocalType == to.LocalType && from.LocalSize == to.LocalSize &&
         from.FieldLength == to.FieldLength && from.FieldUnits2 == to.FieldUnits2 &&
         from.FieldType == to.FieldType && from.FieldSubType == to.FieldSubType;
}

void TCopyPlan::AddMove(const FieldDesc& from, const FieldDesc& to) {
  const uint32_t length = from.FieldLength;
  if (length == 0) return;
  const bool follows = !runs_.empty() &&
                       runs_.back().from + runs_.back().length == from.FieldOffset &&
                       runs_.back().to + runs_.back().length == to.FieldOffset;
  if (follows)
    runs_.back().length += length;
  else
    runs_.push_back({from.FieldOffset, to.FieldOffset, length});
  oldExtent_ = std::max(oldExtent_, uint32_t{from.FieldOffset} + length);
  newExtent_ = std::max(newExtent_, uint32_t{to.FieldOffset} + length);
}

void TCopyPlan::Apply(const uint8_t* oldRecord, uint8_t* newRecord) const {
  for (const TByteRun& run : runs_) std::memcpy(newRecord + run.to, oldRecord + run.from, run.length);
}

}  // namespace vader
