#include "btrieve/BtrCopyPlan.h"

#include <algorithm>
#include <cstring>

#include "btrieve/BtrConst.h"
#include "btrieve/BtrConv.h"

namespace vader {
namespace {

bool IsPlainText(const FieldDesc& field) {
  const bool text = field.LocalType == BT_STRING || field.LocalType == BT_LSTRING ||
                    field.LocalType == BT_ZSTRING;
  return text && field.FieldSubType == 0 && field.LocalSize > 0;
}

// The characters a text field holds: a ZSTRING keeps room for its NUL, an LSTRING for its
// length byte (a count of at most 255).
size_t TextCapacity(const FieldDesc& field) {
  if (field.LocalType == BT_STRING) return field.LocalSize;
  const size_t room = field.LocalSize - 1u;
  return field.LocalType == BT_LSTRING ? std::min<size_t>(room, 255) : room;
}

}  // namespace

bool TCopyPlan::SameStorage(const FieldDesc& from, const FieldDesc& to) {
  // The native type and size decide the bytes; the engine type and subtype (which overrides
  // and field names can change) decide how they read, so all must agree.
  return from.LocalType == to.LocalType && from.LocalSize == to.LocalSize &&
         from.FieldLength == to.FieldLength && from.FieldUnits2 == to.FieldUnits2 &&
         from.FieldType == to.FieldType && from.FieldSubType == to.FieldSubType;
}

bool TCopyPlan::TextWidens(const FieldDesc& from, const FieldDesc& to) {
  return IsPlainText(from) && IsPlainText(to) && from.FieldType == to.FieldType &&
         TextCapacity(to) >= TextCapacity(from);
}

void TCopyPlan::AddText(const FieldDesc& from, const FieldDesc& to) {
  texts_.push_back({from, to});
  // The engine's form of a text: its characters and a NUL, at least 8 bytes.
  text_.resize(
      std::max({text_.size(), size_t{8}, size_t{from.LocalSize} + 1u, size_t{to.LocalSize} + 1u}));
}

uint32_t TCopyPlan::End(const FieldDesc& field) {
  return uint32_t{field.FieldOffset} + std::max(field.LocalSize, field.FieldLength);
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
}

void TCopyPlan::Apply(const uint8_t* oldRecord, uint8_t* newRecord) {
  for (const TByteRun& run : runs_)
    std::memcpy(newRecord + run.to, oldRecord + run.from, run.length);
  for (const TextMove& move : texts_) {
    const FieldDesc& from = move.from;
    const FieldDesc& to = move.to;
    bool blank = false;
    ConvertNativeToLocal(from.LocalType, from.LocalSize, from.FieldUnits2, from.FieldLength,
                         oldRecord + from.FieldOffset, text_.data(), blank);
    if (!blank)
      ConvertLocalToNative(to.LocalType, to.LocalSize, to.FieldUnits2, to.FieldLength, text_.data(),
                           newRecord + to.FieldOffset);
  }
}

}  // namespace vader
