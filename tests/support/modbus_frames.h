#pragma once
// Reply frames as an instrument sends them, for scripting a fake line.

#include <array>
#include <cstdint>

#include "comm/frame_codec.h"

namespace trelvan::testing {

inline Bytes WithCrc(Bytes frame) {
  const Bytes crc = ComputeCrc(frame);
  frame.insert(frame.end(), crc.begin(), crc.end());
  return frame;
}

// Station `station` answering a read of eight registers with `registers`.
inline Bytes ReadReply(std::uint8_t station, const std::array<std::uint16_t, 8>& registers) {
  Bytes r{station, 3, 16};
  for (std::uint16_t w : registers) r.insert(r.end(), {static_cast<std::uint8_t>(w >> 8), static_cast<std::uint8_t>(w)});
  return WithCrc(r);
}

// Station `station` refusing a read with exception `code`.
inline Bytes ExceptionReply(std::uint8_t station, std::uint8_t code) { return WithCrc({station, 0x83, code}); }

} // namespace trelvan::testing
