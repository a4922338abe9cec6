// Our QSerialPort master polling the libmodbus simulator over a pseudo-terminal.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>

#include "comm/measurement_requests.h"
#include "comm/qt_serial_line.h"
#include "core/channel_table.h"
#include "support/cli_processes.h"
#include "support/temp_folder.h"
#include "simulator_line.h"

namespace trelvan {
namespace {

using sim::SimConfig;
using sim::StationFaults;
using testing::Instrument;

constexpr int kPh = 2, kRedox = 3; // catalogue types

SimConfig Serving(std::vector<sim::SimInstrument> instruments) {
  SimConfig config;
  config.instruments = std::move(instruments);
  return config;
}

class SimulatorRequests : public testing::SimulatorLine {
 protected:
  void SetUp() override { requests_.SetWaitTimes({300, 300}); }

  SharedResults results_;
  MeasurementRequests requests_{line_, results_};
};

TEST_F(SimulatorRequests, StationsAnswerInAnyOrderAndOthersStaySilent) {
  // A single libmodbus receive loop would lose requests once the station
  // changes; the simulator frames them itself.
  if (!Start(Serving({Instrument(2, 0, kPh, {{0, 0, 0, 700, 0, 0, 0, 0}}),
                      Instrument(11, 0, kRedox, {{0, 0, 0, 321, 0, 0, 0, 0}})})))
    GTEST_SKIP() << "no pseudo-terminal";
  for (int round = 0; round < 5; ++round) {
    ASSERT_TRUE(requests_.RequestPh(2, 0).ok()) << round;
    ASSERT_TRUE(requests_.RequestRedox(11, 0).ok()) << round;
    ASSERT_TRUE(requests_.RequestRedox(11, 0).ok()) << round;
  }
  EXPECT_EQ(requests_.RequestPh(12, 0).failure, FailureKind::TimedOut);
  EXPECT_TRUE(requests_.RequestPh(2, 0).ok()) << "the line recovers after a silent station";
}

TEST_F(SimulatorRequests, VanishingDeviceEndsTheRequestAndClosesTheLine) {
  if (!Start(Serving({Instrument(2, 0, kPh, {{0, 0, 0, 700, 0, 0, 0, 0}})}))) GTEST_SKIP() << "no pseudo-terminal";
  ASSERT_TRUE(requests_.RequestPh(2, 0).ok());
  QString reason;
  QObject::connect(&line_, &SerialPort::lineLost, [&](const QString& text) { reason = text; });
  sim_.reset(); // the other end of the terminal goes away, like an unplugged adapter
  QElapsedTimer clock;
  clock.start();
  EXPECT_EQ(requests_.RequestPh(2, 0).failure, FailureKind::LineLost);
  EXPECT_LT(clock.elapsed(), 250);
  EXPECT_FALSE(line_.IsOpen());
  EXPECT_TRUE(reason.contains(line_.DeviceName())) << reason.toStdString();
}

struct FaultCase {
  const char* name;
  StationFaults faults;
  FailureKind error; // None: the request succeeds
  bool immediate;     // fails before the reply time-out
  const char* reason; // a part of the German text
};

void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }

class SimulatorFaults : public SimulatorRequests, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(SimulatorFaults, FaultyStationFailsOrSucceedsAsItShouldAndTheNextStationIsRead) {
  const FaultCase& c = GetParam();
  SimConfig config = Serving({Instrument(3, 0, kPh, {{0, 0, 0, 0x02BC, 0x00FA, 0, 0, 0}}),
                              Instrument(4, 0, kRedox, {{0, 0, 0, 123, 0, 0, 0, 0}})});
  config.faults[3] = c.faults;
  if (!Start(std::move(config))) GTEST_SKIP() << "no pseudo-terminal";

  const SharedResults before = results_;
  QElapsedTimer clock;
  clock.start();
  const RequestResult result = requests_.RequestPh(3, 0);
  const qint64 elapsed = clock.elapsed();
  EXPECT_EQ(result.failure, c.error) << result.reason;
  EXPECT_EQ(result.exceptionCode, c.faults.exceptionCode);
  if (c.error == FailureKind::None) {
    EXPECT_DOUBLE_EQ(results_.PhValue, 7.0);
  } else {
    EXPECT_NE(result.reason.find("Station 3"), std::string::npos) << result.reason;
    EXPECT_NE(result.reason.find(c.reason), std::string::npos) << result.reason;
    EXPECT_EQ(results_, before);
    if (c.immediate) {
      EXPECT_LT(elapsed, 250);
    } else {
      EXPECT_GE(elapsed, 300);
    }
  }
  // The next station answers at once, whatever station 3 does: a delayed
  // reply holds up no other station.
  clock.restart();
  ASSERT_TRUE(requests_.RequestRedox(4, 0).ok());
  EXPECT_LT(clock.elapsed(), 100);
  EXPECT_EQ(results_.RedoxValue, 123);
}

INSTANTIATE_TEST_SUITE_P(
    EachFault, SimulatorFaults,
    ::testing::Values(
        FaultCase{"silent", {.silent = true}, FailureKind::TimedOut, false, "antwortet nicht"},
        FaultCase{"badCrc", {.badCrc = true}, FailureKind::BadCrc, true, "Prüfsumme"},
        FaultCase{"short", {.shortReply = true}, FailureKind::TimedOut, false, "antwortet nicht"},
        FaultCase{"extra", {.extraBytes = 4}, FailureKind::None, true, ""},
        FaultCase{"delayWithinTimeOut", {.delayMs = 100}, FailureKind::None, true, ""},
        FaultCase{"delayPastTimeOut", {.delayMs = 450}, FailureKind::TimedOut, false, "antwortet nicht"},
        FaultCase{"exception", {.exceptionCode = 2}, FailureKind::Exception, true, "Ausnahme 2 (unzulässige Datenadresse)"},
        FaultCase{"foreign", {.foreign = true}, FailureKind::WrongStation, true, "anderen Station"},
        FaultCase{"trickle", {.trickle = true}, FailureKind::None, true, ""}),
    [](const ::testing::TestParamInfo<FaultCase>& p) { return std::string(p.param.name); });

// `trelvan-cli sim` without a scenario serves the channels of config.txt and
// ends cleanly on SIGTERM.
TEST(SimulatorCommand, ServesTheChannelsOfConfigTxtUntilTerminated) {
  if (!testing::CliBuilt()) GTEST_SKIP() << "trelvan-cli not built";
  testing::TempFolder folder;
  ChannelTable table;
  table[0] = {1, 2, "3", "Becken", true, false};
  table[1] = {1, 5, "7", "Zulauf", false, true};
  ASSERT_TRUE(SaveChannelTable(table, folder.path()).ok());
  testing::SimProcess sim(QString::fromStdString(folder.path().string()), {"--silent", "3"});
  if (sim.device().isEmpty()) GTEST_SKIP() << "no pseudo-terminal";

  QtSerialLine line;
  line.SelectDevice(sim.device());
  QString error;
  ASSERT_TRUE(line.Configure(LineSettings{}, &error) && line.Open(&error)) << error.toStdString();
  SharedResults results;
  MeasurementRequests requests(line, results);
  requests.SetWaitTimes({300, 300});
  EXPECT_TRUE(requests.RequestFlow(7, 20).ok());
  EXPECT_GT(results.FlowRate, 0);
  EXPECT_TRUE(results.FlowVolume1.valid);
  EXPECT_FALSE(requests.RequestPh(3, 0).ok()) << "--silent 3";
  line.Close();

  sim.process().terminate(); // SIGTERM
  ASSERT_TRUE(sim.process().waitForFinished(5000));
  EXPECT_EQ(sim.process().exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(sim.process().exitCode(), 0);
}

} // namespace
} // namespace trelvan
