#pragma once
// The registers a simulated instrument holds at a moment: plausible readings
// for its family that drift slowly and ripple a little from reading to
// reading, with range, point and unit codes, a temperature and, for flow, two
// running BCD volume counters.

#include <array>
#include <cstdint>

#include "sim/sim_config.h"

namespace trelvan::sim {

using RegisterBlock = std::array<std::uint16_t, 8>;

// Registers 0..7 of `instrument` `seconds` after the simulator started.
RegisterBlock RegistersAt(const SimInstrument& instrument, double seconds, double counterSpeed);

// An 8-digit counter as two BCD registers: {upper four digits, lower four}.
std::array<std::uint16_t, 2> BcdRegisters(std::uint32_t value);

} // namespace trelvan::sim
