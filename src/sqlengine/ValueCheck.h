#pragma once
// What a column accepts: a value that is written into a record must fit the field. A number
// too large for its bytes or digits, a date that is not in the calendar, a time that is not of
// the day and a text that is no number are refused instead of being stored wrapped, cut or
// blank.

#include <cstdint>

#include "sqlengine/Value.h"

namespace vader::sqlengine {

// 0 when `v` can be stored in a field of format `f`, else the status that refuses it
// (kStatusOutOfRange, kStatusInvalidDate, kStatusInvalidTime, kStatusNotANumber). A number
// written as text becomes the number, so the field stores what was checked. NULL, texts for
// text fields and binary values are taken as they are; an empty text stands for no date or time.
int16_t Admit(const FieldFormat& f, Value& v);

// Whether `v` keeps its value in a field of format `f`: encoded and read back, it compares
// equal. A key image of a value that does not survive this would not order as the value does.
bool Representable(const FieldFormat& f, const Value& v);

}  // namespace vader::sqlengine
