#include "poll_cycle.h"

#include <cmath>

#include "core/live_display.h"

namespace trelvan {

PollCycle::PollCycle(Station& station, RequestFn request, LabelSink sink)
    : station_(station), request_(std::move(request)), sink_(std::move(sink)) {}

std::optional<int> PollCycle::StationAddressOf(const std::string& addressText) {
  const double number = std::round(LeadingNumber(addressText));
  if (!(number >= kFirstAddress && number <= kLastAddress)) return std::nullopt;
  return static_cast<int>(number);
}

void PollCycle::RunPass() {
  station_.PollBusy = true;
  ++passes_;
  for (int i = 0; i < kChannelCount; ++i) {
    // The table is read afresh for every channel: the configuration dialog
    // edits it in place while measuring.
    const ChannelConfig& channel = station_.channelTable[i];
    if (channel.isEnabled()) {
      const int base = IsMasterChannel(station_.channelTable, i) ? 0 : kExtRegisterBase;
      const std::optional<int> address = StationAddressOf(channel.stationAddress);
      const int type = channel.typeIndex;
      if (const MeasurementType* entry = MeasurementTypeAt(type)) {
        // An address that is no station is never sent (0 would reach every
        // instrument on the line); the channel shows as failed.
        const bool ok = address && request_(entry->requestMember, *address, base);
        if (ok)
          sink_(i, BuildLiveLabelText(type, station_.sharedResults, station_.decimalSeparator), true);
        else
          sink_(i, std::string(FailureText(type)), false);
      }
    }
    if (station_.StopRequested) break;
  }
  station_.PollBusy = false;
}

void PollCycle::Tick() {
  if (station_.StopRequested) {
    if (stopAction_) stopAction_();
    return;
  }
  if (station_.PollBusy) return;
  RunPass();
}

} // namespace trelvan
