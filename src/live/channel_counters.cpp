#include "channel_counters.h"

#include <algorithm>

namespace trelvan {

void ChannelCounters::Count(const Reading& reading, std::optional<double> replyMs) {
  ++requests;
  switch (reading.failure) {
    case FailureKind::None: ++answers; break;
    case FailureKind::TimedOut: ++timeOuts; break;
    case FailureKind::BadCrc: ++crcErrors; break;
    case FailureKind::WrongStation:
    case FailureKind::WrongFunction:
    case FailureKind::WrongByteCount: ++badReplies; break;
    case FailureKind::Exception: ++exceptions; break;
    case FailureKind::HeldBack:
    case FailureKind::NotOpen:
    case FailureKind::LineLost:
    case FailureKind::NotAStation: break;
  }
  if (reading.ok) {
    lastGoodMs = reading.timeMs;
  } else {
    lastFailureMs = reading.timeMs;
    lastFailure = reading.reason;
  }
  if (replyMs) {
    replyLastMs = *replyMs;
    replyMinMs = std::min(replyMinMs.value_or(*replyMs), *replyMs);
    replyMaxMs = std::max(replyMaxMs.value_or(*replyMs), *replyMs);
    replySumMs += *replyMs;
    ++replies;
  }
}

std::optional<double> ChannelCounters::replyMeanMs() const {
  if (replies == 0) return std::nullopt;
  return replySumMs / static_cast<double>(replies);
}

void ChannelDiagnostics::Count(const Reading& reading, std::optional<double> replyMs) {
  if (reading.channel < 0 || reading.channel >= kChannelCount) return;
  channels[static_cast<std::size_t>(reading.channel)].Count(reading, replyMs);
  lastReading[reading.channel] = reading;
}

namespace {

std::string AgeText(std::int64_t ms) {
  const std::int64_t s = std::max<std::int64_t>(0, ms / 1000);
  if (s < 120) return std::to_string(s) + " s";
  if (s < 7200) return std::to_string(s / 60) + " min";
  return std::to_string(s / 3600) + " h";
}

} // namespace

std::string GaugeToolTip(const ChannelDiagnostics& diagnostics, int channel, std::int64_t nowMs) {
  if (channel < 0 || channel >= kChannelCount) return {};
  const ChannelCounters& c = diagnostics.channels[static_cast<std::size_t>(channel)];
  std::string tip;
  if (const auto& last = diagnostics.lastReading[channel]; last && !last->ok) tip = last->reason + "\n";
  tip += c.lastGoodMs ? "Letzter gültiger Wert vor " + AgeText(nowMs - *c.lastGoodMs)
                      : std::string("Noch kein gültiger Wert");
  return tip;
}

} // namespace trelvan
