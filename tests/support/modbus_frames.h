#pragma once
// Reply frames as an instrument sends them, for scripting a fake line.

#include <array>
#include <cstdint>

#include "comm/frame_codec.h"

namespace trelvan::testing {

// Station `station` answering a read of eight registers with `registers`.
inline Bytes ReadReply(std::uint8_t station, const std::array<std::uint16_t, 8>& registers) {
  Bytes r{station, 3, 16};
  for (std::uint16_t w : registers) {
    r.push_back(static_cast<std::uint8_t>(w >> 8));
    r.push_back(static_cast<std::uint8_t>(w & 0xFF));
  }
  const Bytes crc = ComputeCrc(r);
  r.insert(r.end(), crc.begin(), crc.end());
  return r;
}

// Station `station` refusing a read with exception `code`.
inline Bytes ExceptionReply(std::uint8_t station, std::uint8_t code) {
  Bytes r{station, 0x83, code};
  const Bytes crc = ComputeCrc(r);
  r.insert(r.end(), crc.begin(), crc.end());
  return r;
}

} // namespace trelvan::testing
