#pragma once
// What the running measurement has seen of each channel: requests, answers,
// the kinds of failure, the last failure and the last good reading, and the
// reply times. Kept for one measurement run; a new run, or the operator,
// resets them.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "core/channel_table.h"
#include "core/reading.h"

namespace trelvan {

struct ChannelCounters {
  std::int64_t requests = 0;   // readings made for the channel
  std::int64_t answers = 0;    // good readings
  std::int64_t timeOuts = 0;
  std::int64_t crcErrors = 0;
  std::int64_t badReplies = 0; // wrong station, function or byte count
  std::int64_t exceptions = 0;
  std::optional<std::int64_t> lastFailureMs; // wall clock, ms
  std::string lastFailure;                   // German
  std::optional<std::int64_t> lastGoodMs;
  // Reply times in ms, of the replies that came.
  std::optional<double> replyLastMs, replyMinMs, replyMaxMs;
  double replySumMs = 0;
  std::int64_t replies = 0;

  void Count(const Reading& reading, std::optional<double> replyMs);
  std::optional<double> replyMeanMs() const;
};

struct ChannelDiagnostics {
  std::array<ChannelCounters, kChannelCount> channels{};
  std::optional<Reading> lastReading[kChannelCount];

  void Count(const Reading& reading, std::optional<double> replyMs);
  void Reset() { *this = {}; }
};

// The tooltip of a channel's gauge: why its last reading failed, if it did,
// and how old its last good reading is.
std::string GaugeToolTip(const ChannelDiagnostics& diagnostics, int channel, std::int64_t nowMs);

} // namespace trelvan
