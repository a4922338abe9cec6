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

// A faulty line: every request draws its own fault from a seeded generator,
// so a run can be repeated exactly. Fast faults fail (or pass) at once; slow
// ones (silence, a reply lacking its last byte, a delay of 1800..2300 ms) cost
// the master its whole reply wait, so they get their own, smaller share.
struct RandomFaults {
  std::uint64_t seed = 1;
  double fastPercent = 20; // wrong CRC, extra bytes, exception, foreign station, trickle
  double slowPercent = 2;  // silence, short reply, delay around the 2000 ms limit
  bool operator==(const RandomFaults&) const = default;
};

// The delays a random fault draws from, around the master's reply time-out
// (1800..2300 ms at the default 2000): about half of them end within the
// wait, the others arrive after it, before the master asks the station again.
struct DelayRange {
  int lowMs;
  int highMs;
};
inline DelayRange RandomDelayRange(int masterReplyMs) { return {masterReplyMs * 9 / 10, masterReplyMs * 23 / 20}; }

// Speed and stop bits of a line. (Its parity is not among them: a Linux
// pseudo-terminal always clears the parity-enable flag, and QSerialPort
// leaves the odd flag set when parity is switched off, so the simulator
// cannot read the parity the master set.)
struct LineChoice {
  int baudRate = 9600;
  int stopBits = 1;
  bool operator==(const LineChoice&) const = default;
};

struct SimConfig {
  std::vector<SimInstrument> instruments;
  std::map<int, StationFaults> faults; // by station address
  // Volume counters run this many times faster than the clock, so that an
  // operator sees them move during a demonstration.
  double counterSpeed = 60;
  // Per-request faults; with them the temperature register carries the
  // request's sequence number modulo 1000, so that no two neighbouring
  // replies look alike.
  std::optional<RandomFaults> randomFaults;
  // The master's reply time-out, which the random delays are drawn around.
  int masterReplyMs = 2000;
  // One line per request received: what was asked and what was sent back.
  std::string logFile;
  // A symbolic link kept pointing at the current terminal, a stable name for
  // the master across an unplug and a replug. A path that exists and is not
  // such a link is refused.
  std::string linkPath;
  // The instruments are set to this line: while the master's side of the
  // terminal has another speed or stop-bit count, they stay silent, as on a
  // real line where the bytes arrive garbled. None: any settings.
  std::optional<LineChoice> answerOnly;
  // The terminal closes (an unplugged adapter) after this many requests; 0: never.
  int closeAfterRequests = 0;
  // A new terminal opens this long after the close; negative: it stays away.
  int reopenAfterMs = -1;
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

} // namespace trelvan::sim
