#pragma once
// The poll cycle: one pass asks every enabled channel's instrument for its
// reading, in channel order, and writes each channel's value text (or its
// failure text) to a sink. Windowless: the measurement window and the CLI
// poller both drive it.

#include <functional>
#include <optional>
#include <string>

#include "core/catalogue.h"
#include "live/station.h"

namespace trelvan {

class PollCycle {
 public:
  // Performs one request of a catalogue member; true when a valid reply was
  // decoded into station.sharedResults.
  using RequestFn = std::function<bool(RequestMember, double stationAddress, double registerBase)>;
  // Receives the label text of channel i after its request (ok = the request succeeded).
  using LabelSink = std::function<void(int channel, const std::string& text, bool ok)>;

  PollCycle(Station& station, RequestFn request, LabelSink sink);

  // Register block of a channel set to "Ext.".
  static constexpr int kExtRegisterBase = 20;
  // Station addresses that can be sent: 0 is the broadcast address, which no
  // instrument answers, and Modbus allows no address above 247.
  static constexpr int kFirstAddress = 1;
  static constexpr int kLastAddress = 247;

  // One pass over channels 0..3 (PollCycle). Sets PollBusy for its duration;
  // a stop requested meanwhile ends the pass after the current channel.
  void RunPass();

  // The poll timer's tick: a pending stop runs the stop action; a tick that
  // falls due during a running pass starts nothing; otherwise one pass.
  void Tick();

  void setStopAction(std::function<void()> stopAction) { stopAction_ = std::move(stopAction); }

  // The address a channel's text gives, rounded as the request takes it, or
  // nothing when it is not a station that can be asked.
  static std::optional<int> StationAddressOf(const std::string& addressText);

  int passCount() const { return passes_; }

 private:
  Station& station_;
  RequestFn request_;
  LabelSink sink_;
  std::function<void()> stopAction_;
  int passes_ = 0;
};

} // namespace trelvan
