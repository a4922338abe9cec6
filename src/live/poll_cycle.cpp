#include "poll_cycle.h"

#include "comm/operator_texts.h"
#include "core/live_display.h"
#include "core/station_address.h"
#include "core/time_text.h"
#include "core/trim.h"

namespace trelvan {

PollCycle::PollCycle(Station& station, RequestFn request, ReadingSink sink, PassStartFn passStart)
    : station_(station), request_(std::move(request)), sink_(std::move(sink)), passStart_(std::move(passStart)) {}

PollCycle::PollCycle(Station& station, MeasurementRequests& master, ReadingSink sink)
    : PollCycle(
          station,
          [&master](RequestMember member, int stationNumber, int base) {
            return master.Request(member, stationNumber, base);
          },
          std::move(sink), [&master] { master.BeginPass(); }) {
  master.SetFrameLog(&station.frames);
}

Reading PollCycle::MakeReading(const Asked& asked, const RequestResult& result) const {
  const int type = asked.typeIndex;
  Reading r;
  r.timeMs = NowMs();
  r.pass = passes_;
  r.channel = asked.channel;
  r.station = asked.station.value_or(0);
  r.block = asked.registerBase == 0 ? Block::Master : Block::Ext;
  r.typeIndex = type;
  r.type = std::string(Trim(MeasurementTypeAt(type)->listLabel));
  r.marker = asked.marker;
  r.ok = result.ok();
  if (r.ok) {
    r.values = LiveReadingValues(type, station_.sharedResults);
    r.text = BuildLiveLabelText(type, station_.sharedResults, station_.decimalSeparator);
  } else {
    r.failure = result.failure;
    r.reason = result.reason;
    r.exceptionCode = result.exceptionCode;
    r.text = FailureText(type);
  }
  return r;
}

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
        const Asked asked{i, type, base, stationNumber, channel.marker};
        // An address that is no station is never sent (0 would reach every
        // instrument on the line).
        const RequestResult result =
            stationNumber ? request_(entry->requestMember, *stationNumber, base)
                          : RequestResult::Failed(FailureKind::NotAStation, NotAStationText(channel.stationAddress));
        if (!result.interrupted) {
          const Reading reading = MakeReading(asked, result);
          station_.diagnostics.Count(reading, result.replyMs);
          sink_(reading);
        }
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
