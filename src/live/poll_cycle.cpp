#include "poll_cycle.h"

#include "comm/operator_texts.h"
#include "core/live_display.h"
#include "core/station_address.h"

namespace trelvan {

PollCycle::PollCycle(Station& station, RequestFn request, LabelSink sink, PassStartFn passStart)
    : station_(station), request_(std::move(request)), sink_(std::move(sink)), passStart_(std::move(passStart)) {}

PollCycle::PollCycle(Station& station, MeasurementRequests& master, LabelSink sink)
    : PollCycle(
          station,
          [&master](RequestMember member, int stationNumber, int base) {
            return master.Request(member, stationNumber, base);
          },
          std::move(sink), [&master] { master.BeginPass(); }) {}

void PollCycle::RunPass() {
  station_.PollBusy = true;
  ++passes_;
  if (passStart_) passStart_();
  for (int i = 0; i < kChannelCount; ++i) {
    // The table is read afresh for every channel: the configuration dialog
    // edits it in place while measuring.
    const ChannelConfig& channel = station_.channelTable[i];
    if (channel.isEnabled()) {
      const int base = IsMasterChannel(station_.channelTable, i) ? 0 : kExtRegisterBase;
      const std::optional<int> stationNumber = StationNumber(channel.stationAddress);
      const int type = channel.typeIndex;
      if (const MeasurementType* entry = MeasurementTypeAt(type)) {
        // An address that is no station is never sent (0 would reach every
        // instrument on the line).
        const RequestResult result =
            stationNumber ? request_(entry->requestMember, *stationNumber, base)
                          : RequestResult::Failed(FailureKind::NotAStation, NotAStationText(channel.stationAddress));
        if (result.ok())
          sink_(i, BuildLiveLabelText(type, station_.sharedResults, station_.decimalSeparator), true);
        else if (!result.interrupted)
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
