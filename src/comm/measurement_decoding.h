#pragma once
// How each member of the request family reads the eight registers of its
// instrument into the shared results. Pure: a validated reply in, fields out.
//
// Register block (from the register base 0 "Master" or 20 "Ext."):
//   0  low byte: range code, unit code, or point code (low nibble) and unit
//      code (high nibble), by family; the high byte is not read
//   1  flow: lower four digits of volume counter 2 (BCD)
//   2  flow: upper four digits of volume counter 2 (BCD)
//   3  the measured value
//   4  temperature in tenths of a degree, signed; dual resistivity: second value
//   5  not read
//   6  flow: lower four digits of volume counter 1 (BCD)
//   7  flow: upper four digits of volume counter 1 (BCD)

#include "comm/frame_codec.h"
#include "core/catalogue.h"
#include "core/shared_results.h"

namespace trelvan {

// Writes the fields of `member` from `reply`, which holds at least the 21
// bytes of a read of eight registers. Fields of other members stay as they
// are, and so does a unit text whose unit code the member does not know.
void DecodeMeasurement(RequestMember member, ByteView reply, SharedResults& results);

} // namespace trelvan
