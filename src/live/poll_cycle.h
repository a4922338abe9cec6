#pragma once
// The poll cycle: one pass asks every enabled channel's instrument for its
// reading, in channel order, and writes each channel's value text (or its
// failure text) to a sink. Windowless: the measurement window and the CLI
// poller both drive it.

#include <functional>
#include <string>

#include "comm/measurement_requests.h"
#include "core/catalogue.h"
#include "live/station.h"

namespace trelvan {

class PollCycle {
 public:
  // Performs one request of a catalogue member at a station (1..247) and a
  // register base.
  using RequestFn = std::function<RequestResult(RequestMember, int station, int registerBase)>;
  // Called as each pass begins.
  using PassStartFn = std::function<void()>;
  // Receives the label text of channel i after its request (ok = the request succeeded).
  using LabelSink = std::function<void(int channel, const std::string& text, bool ok)>;

  PollCycle(Station& station, RequestFn request, LabelSink sink, PassStartFn passStart = {});
  // Polls through the master, each pass a pass of its requests.
  PollCycle(Station& station, MeasurementRequests& master, LabelSink sink);

  // Register block of a channel set to "Ext.".
  static constexpr int kExtRegisterBase = 20;

  // One pass over channels 0..3 (PollCycle). Sets PollBusy for its duration;
  // a stop requested meanwhile ends the pass after the current channel. An
  // address text that names no station is never sent; its channel shows the
  // failure text. A request cut short (RequestResult::interrupted) leaves its
  // label as it was.
  void RunPass();

  // The poll timer's tick: a pending stop runs the stop action; a tick that
  // falls due during a running pass starts nothing; otherwise one pass.
  void Tick();

  void setStopAction(std::function<void()> stopAction) { stopAction_ = std::move(stopAction); }

  int passCount() const { return passes_; }

 private:
  Station& station_;
  RequestFn request_;
  LabelSink sink_;
  PassStartFn passStart_;
  std::function<void()> stopAction_;
  int passes_ = 0;
};

} // namespace trelvan
