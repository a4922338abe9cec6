#pragma once
// The station simulator on a thread of its own and our master's line open to
// it, for the length of a test. Start() is false when the machine has no
// pseudo-terminal: skip the test then. Start() again serves a new simulator.

#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include "comm/qt_serial_line.h"
#include "core/catalogue.h"
#include "support/running_simulator.h"

namespace trelvan::testing {

// An instrument of catalogue type `typeIndex`; with `registers` its values stay put.
inline sim::SimInstrument Instrument(int station, int base, int typeIndex,
                                     std::optional<std::array<std::uint16_t, 8>> registers = {}) {
  return {station, base, typeIndex, MeasurementTypeAt(typeIndex)->requestMember, registers};
}

class SimulatorLine : public ::testing::Test {
 protected:
  bool Start(sim::SimConfig config) {
    line_.Close();
    sim_ = std::make_unique<RunningSimulator>(std::move(config));
    if (!sim_->available()) return false;
    line_.SelectDevice(QString::fromStdString(sim_->devicePath()));
    QString error;
    EXPECT_TRUE(line_.Configure(LineSettings{}, &error) && line_.Open(&error)) << error.toStdString();
    return true;
  }
  void TearDown() override { line_.Close(); }

  std::unique_ptr<RunningSimulator> sim_;
  QtSerialLine line_;
};

} // namespace trelvan::testing
