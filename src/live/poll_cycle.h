#pragma once
// The poll cycle: one pass asks every enabled channel's instrument for its
// reading, in channel order, and hands each channel's Reading (with the value
// text, or the failure text, of its label) to a sink. Windowless: the
// measurement window and the CLI poller both drive it.

#include <functional>
#include <string>

#include "comm/measurement_requests.h"
#include "core/catalogue.h"
#include "core/reading.h"
#include "live/station.h"

namespace trelvan {

class PollCycle {
 public:
  // Performs one request of a catalogue member at a station (1..247) and a
  // register base.
  using RequestFn = std::function<RequestResult(RequestMember, int station, int registerBase)>;
  // Called as each pass begins.
  using PassStartFn = std::function<void()>;
  // Receives the Reading of a channel after its request; the station's
  // diagnostics have counted it.
  using ReadingSink = std::function<void(const Reading&)>;

  PollCycle(Station& station, RequestFn request, ReadingSink sink, PassStartFn passStart = {});
  // Polls through the master, each pass a pass of its requests, its frames
  // going to the station's frame log.
  PollCycle(Station& station, MeasurementRequests& master, ReadingSink sink);

  // Register block of a channel set to "Ext.".
  static constexpr int kExtRegisterBase = 20;

  // What a channel was asked, as the table stood when its request began (the
  // dialog may edit it during the wait).
  struct Asked {
    int channel;
    int typeIndex;
    int registerBase;
    std::optional<int> station;
    std::string marker;
  };
  // The Reading of a channel's request as the label shows it.
  Reading MakeReading(const Asked& asked, const RequestResult& result) const;

  // One pass over channels 0..3 (PollCycle). Sets PollBusy for its duration;
  // a stop requested meanwhile ends the pass after the current channel. An
  // address text that names no station is never sent; its channel shows the
  // failure text. A request cut short (RequestResult::interrupted) gives no
  // Reading: its label stays as it was.
  void RunPass();

  // The poll timer's tick: a pending stop runs the stop action; a tick that
  // falls due during a running pass starts nothing; otherwise one pass.
  void Tick();

  void setStopAction(std::function<void()> stopAction) { stopAction_ = std::move(stopAction); }

  int passCount() const { return passes_; }

 private:
  Station& station_;
  RequestFn request_;
  ReadingSink sink_;
  PassStartFn passStart_;
  std::function<void()> stopAction_;
  int passes_ = 0;
};

} // namespace trelvan
