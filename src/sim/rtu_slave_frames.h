#pragma once
// The slave's own view of Modbus RTU frames, written apart from the master's
// codec so that each checks the other: request framing on a byte stream, the
// CRC (table-driven here) and the reply frames the fault injection sends.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace trelvan::sim {

std::uint16_t SlaveCrc(const std::uint8_t* data, std::size_t size);

// Length of the request frame that starts `bytes`, CRC included; 0 when more
// bytes are needed to tell, -1 for a function code whose frame is unknown.
int RequestFrameLength(const std::uint8_t* bytes, std::size_t size);

// station, function 3, byte count, the registers high byte first, CRC low byte first.
std::vector<std::uint8_t> ReadRegistersReply(std::uint8_t station, const std::uint16_t* registers, int count);

} // namespace trelvan::sim
