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
    std::string error;
    if (simulator_.Open(&error)) thread_ = std::thread([this] { simulator_.Run(); });
  }
  ~RunningSimulator() {
    simulator_.Stop();
    if (thread_.joinable()) thread_.join();
  }
  RunningSimulator(const RunningSimulator&) = delete;
  RunningSimulator& operator=(const RunningSimulator&) = delete;

  bool available() const { return thread_.joinable(); }
  const std::string& devicePath() const { return simulator_.DevicePath(); }

 private:
  sim::Simulator simulator_;
  std::thread thread_;
};

} // namespace trelvan::testing
