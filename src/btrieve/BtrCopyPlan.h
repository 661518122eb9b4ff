#pragma once
// A plan for copying records from one record layout into another: the fields that keep their
// type, size and decimals are moved as bytes, consecutive ones in one move, so that copying a
// record costs a few memcpy calls; texts going into a text field that holds at least as much
// are re-encoded natively (their code page stays); the other fields are left to the value
// conversions.

#include <cstdint>
#include <vector>

#include "engine/BseTable.h"

namespace vader {

struct TByteRun {
  uint32_t from = 0;  // offset in the old record
  uint32_t to = 0;    // offset in the new record
  uint32_t length = 0;
};

class TCopyPlan {
 public:
  // Whether a value of field `from` is stored in field `to` byte for byte.
  static bool SameStorage(const FieldDesc& from, const FieldDesc& to);

  // Whether every text field `from` holds fits field `to`, both plain texts (not memos).
  static bool TextWidens(const FieldDesc& from, const FieldDesc& to);

  // Moves field `from` of the old layout into field `to` of the new one as bytes; fields added
  // one after another in both layouts join one run. The caller sees that both fields lie inside
  // the records Apply is given.
  void AddMove(const FieldDesc& from, const FieldDesc& to);
  // Re-encodes the text of field `from` into field `to` (TextWidens must hold); a blank text
  // leaves field `to` as the new record had it.
  void AddText(const FieldDesc& from, const FieldDesc& to);
  const std::vector<TByteRun>& Runs() const { return runs_; }
  // The offset just past the last byte of `field` in its record.
  static uint32_t End(const FieldDesc& field);

  void Apply(const uint8_t* oldRecord, uint8_t* newRecord);

 private:
  struct TextMove {
    FieldDesc from, to;
  };
  std::vector<TByteRun> runs_;
  std::vector<TextMove> texts_;
  std::vector<uint8_t> text_;  // one text in the engine's form
};

}  // namespace vader
