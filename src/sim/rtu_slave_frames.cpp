#include "rtu_slave_frames.h"

#include <array>

namespace trelvan::sim {

namespace {

constexpr std::array<std::uint16_t, 256> MakeCrcTable() {
  std::array<std::uint16_t, 256> table{};
  for (unsigned i = 0; i < 256; ++i) {
    std::uint16_t c = static_cast<std::uint16_t>(i);
    for (int k = 0; k < 8; ++k) c = (c & 1) ? static_cast<std::uint16_t>((c >> 1) ^ 0xA001) : static_cast<std::uint16_t>(c >> 1);
    table[i] = c;
  }
  return table;
}

constexpr auto kCrcTable = MakeCrcTable();

} // namespace

std::uint16_t SlaveCrc(const std::uint8_t* data, std::size_t size) {
  std::uint16_t crc = 0xFFFF;
  for (std::size_t i = 0; i < size; ++i) crc = static_cast<std::uint16_t>((crc >> 8) ^ kCrcTable[(crc ^ data[i]) & 0xFF]);
  return crc;
}

int RequestFrameLength(const std::uint8_t* bytes, std::size_t size) {
  if (size < 2) return 0;
  switch (bytes[1]) {
    case 1: case 2: case 3: case 4: case 5: case 6:
      return 8;   // address, function, two words, CRC
    case 7: case 11: case 12: case 17:
      return 4;   // address, function, CRC
    case 15: case 16:
      return size < 7 ? 0 : 9 + bytes[6];   // ... byte count at offset 6, data, CRC
    case 22:
      return 10;  // mask write: address, function, three words, CRC
    case 23:
      return size < 11 ? 0 : 13 + bytes[10];
    default:
      return -1;
  }
}

std::vector<std::uint8_t> ReadRegistersReply(std::uint8_t station, const std::uint16_t* registers, int count) {
  std::vector<std::uint8_t> frame{station, 3, static_cast<std::uint8_t>(2 * count)};
  for (int k = 0; k < count; ++k) {
    frame.push_back(static_cast<std::uint8_t>(registers[k] >> 8));
    frame.push_back(static_cast<std::uint8_t>(registers[k] & 0xFF));
  }
  const std::uint16_t crc = SlaveCrc(frame.data(), frame.size());
  frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
  frame.push_back(static_cast<std::uint8_t>(crc >> 8));
  return frame;
}

} // namespace trelvan::sim
