#pragma once
// What the station simulator serves: its instruments (station address,
// register block, instrument family) and the faults it injects per station.

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/catalogue.h"
#include "core/channel_table.h"

namespace trelvan::sim {

struct SimInstrument {
  int station = 1;         // 1..247
  int registerBase = 0;    // 0 "Master", 20 "Ext."
  int typeIndex = 0;       // catalogue entry, 0..15
  RequestMember member = RequestMember::Resistivity;
  // Registers 0..7 held constant; without them the values move.
  std::optional<std::array<std::uint16_t, 8>> fixedRegisters;
  bool operator==(const SimInstrument&) const = default;
};

struct StationFaults {
  bool silent = false;        // never answers
  bool badCrc = false;        // the reply's CRC is wrong
  bool shortReply = false;    // the reply lacks its last byte
  int extraBytes = 0;         // bytes appended after the reply
  int delayMs = 0;            // the reply starts this late
  int exceptionCode = 0;      // answers every request with this exception
  bool foreign = false;       // the reply carries another station's address
  bool trickle = false;       // the reply's bytes come one at a time, 2 ms apart
  bool operator==(const StationFaults&) const = default;
};

struct SimConfig {
  std::vector<SimInstrument> instruments;
  std::map<int, StationFaults> faults; // by station address
  // Volume counters run this many times faster than the clock, so that an
  // operator sees them move during a demonstration.
  double counterSpeed = 60;
};

struct SimOptions {
  SimConfig config;
  std::string scenarioFile; // --config FILE; empty: "config.txt" of the current folder
  bool help = false;
};

// Reads the command line of `trelvan-cli sim` (without the word "sim"). The
// instruments are not loaded here; see LoadInstruments.
std::optional<SimOptions> ParseSimArguments(const std::vector<std::string>& args, std::string* error);

// Reads a scenario text. One instrument a line:
//   <address> <block> <type> [<r0> ... <r7>]
// block: "master" (registers from 0), "ext" (from 20) or a register number;
// type: a typeIndex 0..15, a list label of the catalogue ("pH", "Durchfluss")
// or a family name ("flow"); r0..r7: eight fixed register words, decimal or 0x hex.
// "#" starts a comment.
std::optional<std::vector<SimInstrument>> ParseScenario(std::string_view text, std::string* error);

// One instrument for each channel with a measurement type and an address.
std::vector<SimInstrument> InstrumentsFromChannelTable(const ChannelTable& table);

// The instruments of the scenario file, or of "config.txt" in the current
// folder when no file is given.
bool LoadInstruments(SimOptions& options, std::string* error);

// German help text of `trelvan-cli sim`.
std::string SimHelpText();

} // namespace trelvan::sim
