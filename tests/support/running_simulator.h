#pragma once
// A station simulator serving on its own thread for the length of a test.
// Skip the test when `available()` is false: the machine has no pseudo-terminals.

#include <string>
#include <thread>

#include "sim/simulator.h"

namespace trelvan::testing {

class RunningSimulator {
 public:
  explicit RunningSimulator(sim::SimConfig config) : simulator_(std::move(config)) {
    if (simulator_.Open(&error_)) thread_ = std::thread([this] { simulator_.Run(); });
  }
  ~RunningSimulator() {
    simulator_.Stop();
    if (thread_.joinable()) thread_.join();
  }
  RunningSimulator(const RunningSimulator&) = delete;
  RunningSimulator& operator=(const RunningSimulator&) = delete;

  bool available() const { return thread_.joinable(); }
  const std::string& error() const { return error_; }
  const std::string& devicePath() const { return simulator_.DevicePath(); }
  std::uint64_t requestsAnswered() const { return simulator_.requestsAnswered(); }

 private:
  sim::Simulator simulator_;
  std::string error_;
  std::thread thread_;
};

} // namespace trelvan::testing
