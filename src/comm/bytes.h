#pragma once
// Frames and replies on the serial line: bytes 0..255 carried unchanged, never text.

#include <cstdint>
#include <vector>

namespace trelvan {

using Bytes = std::vector<std::uint8_t>;

} // namespace trelvan
