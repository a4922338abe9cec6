#pragma once
// The station simulator: a Modbus RTU slave on a pseudo-terminal that answers
// for every instrument of a SimConfig.
//
// libmodbus builds the replies (modbus_reply, modbus_reply_exception). The
// framing of requests is ours: libmodbus 3.1.6's RTU receive answers only its
// own slave id and, after a request to another id, takes the next frame on the
// line for that slave's reply and drops it. So each request is framed and
// checked here (length from the function code, CRC, resynchronisation after a
// silence), then the context is pointed at the request's station.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "sim/sim_config.h"

namespace trelvan::sim {

class Simulator {
 public:
  explicit Simulator(SimConfig config);
  ~Simulator();
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  // Opens the pseudo-terminal; DevicePath() is then the device for the master.
  // A terminal opened anew after an unplug has another name; the link of
  // SimConfig::linkPath follows it.
  bool Open(std::string* error);
  const std::string& DevicePath() const;

  // Serves requests until Stop(); returns at once if Open() failed. A
  // delayed reply is sent when due, while the other stations go on
  // answering.
  void Run();
  // Ends Run() from any thread, or from a signal handler.
  void Stop();
  // The descriptor Stop() writes to, for a signal handler: write one byte.
  int StopDescriptor() const { return stopWrite_; }

  // Requests answered in any way (faults included, silence excluded).
  std::uint64_t requestsAnswered() const { return answered_.load(); }

 private:
  // Sleeps `ms` (-1: until the stop), or less when a stop arrives; false on a stop.
  bool Pause(int ms);
  // The adapter is pulled: the terminal closes; a new one opens after the
  // configured time. False when the run is to end.
  bool Unplug();

  struct Impl;
  std::unique_ptr<Impl> impl_;
  int stopRead_ = -1;
  int stopWrite_ = -1;
  std::atomic<std::uint64_t> answered_{0};
};

} // namespace trelvan::sim
