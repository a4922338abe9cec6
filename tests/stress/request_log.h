#pragma once
// The channels a line run polls, what the simulator's --log says about each
// request it received, and the label text the poller must show for a reply
// carrying those registers.

#include <array>
#include <cstdint>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "comm/measurement_decoding.h"
#include "core/catalogue.h"
#include "core/channel_table.h"
#include "core/live_display.h"
#include "sim/rtu_slave_frames.h"
#include "support/temp_folder.h"

namespace trelvan::testing {

struct PolledChannel {
  int station;
  int registerBase; // 0: the Master block, 20: the Ext. block
  int typeIndex;
};

// Channel i of the table polls channels[i]; "scenario.txt" has the simulator
// serve each of them.
inline bool SavePolledChannels(const std::vector<PolledChannel>& channels, TempFolder& dir) {
  ChannelTable table;
  std::string scenario;
  for (std::size_t i = 0; i < channels.size(); ++i) {
    const PolledChannel& c = channels[i];
    const bool master = c.registerBase == 0;
    table[static_cast<int>(i)] = {1, static_cast<std::int16_t>(c.typeIndex), std::to_string(c.station),
                                  "K" + std::to_string(i), master, !master};
    scenario += std::to_string(c.station) + (master ? " master " : " ext ") + std::to_string(c.typeIndex) + "\n";
  }
  dir.write("scenario.txt", scenario);
  return SaveChannelTable(table, dir.path()).ok();
}

struct LoggedRequest {
  long sequence = 0;
  int station = 0;
  int firstRegister = 0;
  std::string fault;
  std::array<std::uint16_t, 8> registers{};
};

// The simulator's log in the order the requests came:
// "<seq> <station> <first> <count> <fault> <r0> .. <r7>".
inline std::vector<LoggedRequest> ReadRequestLog(const std::string& text) {
  std::vector<LoggedRequest> log;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    int count = 0;
    LoggedRequest r;
    words >> r.sequence >> r.station >> r.firstRegister >> count >> r.fault;
    for (auto& word : r.registers) words >> word;
    if (words) log.push_back(r);
  }
  return log;
}

// What the poller must show for a reply carrying `registers`.
inline std::string ReadingText(int typeIndex, const std::array<std::uint16_t, 8>& registers) {
  const std::vector<std::uint8_t> frame = sim::ReadRegistersReply(1, registers.data(), 8);
  SharedResults results;
  DecodeMeasurement(MeasurementTypeAt(typeIndex)->requestMember, frame, results);
  return BuildLiveLabelText(typeIndex, results, ".");
}

// Pairs the poller's lines with the requests the simulator received. The
// poller asks its channels in order, so the next logged request is the
// line's own when it went to the line's station and block; otherwise the
// request was never sent (held back after its station's time-out).
struct RequestMatcher {
  std::vector<LoggedRequest> log;
  std::size_t next = 0;

  // The request of a line for `station` and `registerBase`, or nullptr when
  // none was sent.
  const LoggedRequest* Next(int station, int registerBase) {
    if (next >= log.size() || log[next].station != station || log[next].firstRegister != registerBase) return nullptr;
    return &log[next++];
  }
  std::size_t unmatched() const { return log.size() - next; }
};

} // namespace trelvan::testing
