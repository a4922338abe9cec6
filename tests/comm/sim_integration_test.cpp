// Our master, its requests and its address scan, against the station
// simulator over a pseudo-terminal.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QTimer>

#include <algorithm>
#include <memory>
#include <optional>
#include <tuple>

#include "comm/address_scan.h"
#include "comm/measurement_requests.h"
#include "comm/qt_serial_line.h"
#include "core/catalogue.h"
#include "support/cli_processes.h"
#include "support/running_simulator.h"
#include "support/temp_folder.h"

namespace trelvan {
namespace {

using sim::StationFaults;
using testing::RunningSimulator;

constexpr int kPh = 2, kRedox = 3; // catalogue types

// An instrument of catalogue type `typeIndex`; with `registers` its values stay put.
sim::SimInstrument Instrument(int station, int base, int typeIndex,
                                     std::optional<std::array<std::uint16_t, 8>> registers = {}) {
  return {station, base, typeIndex, MeasurementTypeAt(typeIndex)->requestMember, registers};
}

// The simulator on a thread of its own and our master's line open to it, for
// the length of a test. Start() is false when the machine has no
// pseudo-terminal: skip the test then. Start() again serves a new simulator.
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

using SimulatorRequests = SimulatorLine;

TEST_F(SimulatorRequests, VanishingDeviceEndsTheRequestAndClosesTheLine) {
  sim::SimConfig config;
  config.instruments = {Instrument(2, 0, kPh, {{0, 0, 0, 700, 0, 0, 0, 0}})};
  if (!Start(config)) GTEST_SKIP() << "no pseudo-terminal";
  SharedResults results;
  MeasurementRequests requests(line_, results);
  requests.SetWaitTimes({300, 300});
  ASSERT_TRUE(requests.RequestPh(2, 0).ok());
  QString reason;
  QObject::connect(&line_, &SerialPort::lineLost, [&](const QString& text) { reason = text; });
  sim_.reset(); // the other end of the terminal goes away, like an unplugged adapter
  QElapsedTimer clock;
  clock.start();
  EXPECT_EQ(requests.RequestPh(2, 0).failure, FailureKind::LineLost);
  EXPECT_LT(clock.elapsed(), 250);
  EXPECT_FALSE(line_.IsOpen());
  EXPECT_TRUE(reason.contains(line_.DeviceName())) << reason.toStdString();
}

// Station 3 with each fault the simulator can give it: the request fails
// (None: succeeds) before the reply time-out or after it, with its German
// reason, and changes no result; delays past the time-out are the late-reply
// stress runs' case. Station 4 answers at once after it, whatever station 3
// did: a delayed reply holds up no other station, and a change of station
// loses no request.
TEST_F(SimulatorRequests, FaultyStationFailsOrSucceedsAsItShouldAndTheNextStationIsRead) {
  const struct {
    const char* name;
    StationFaults faults;
    FailureKind error;
    bool immediate;
    const char* reason; // a part of the German text
  } cases[] = {
      {"silent", {.silent = true}, FailureKind::TimedOut, false, "antwortet nicht"},
      {"bad CRC", {.badCrc = true}, FailureKind::BadCrc, true, "Prüfsumme"},
      {"short", {.shortReply = true}, FailureKind::TimedOut, false, "antwortet nicht"},
      {"extra bytes", {.extraBytes = 4}, FailureKind::None, true, ""},
      {"delay within the time-out", {.delayMs = 100}, FailureKind::None, true, ""},
      {"exception", {.exceptionCode = 2}, FailureKind::Exception, true, "Ausnahme 2 (unzulässige Datenadresse)"},
      {"foreign", {.foreign = true}, FailureKind::WrongStation, true, "anderen Station"},
      {"trickle", {.trickle = true}, FailureKind::None, true, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    sim::SimConfig config;
    config.instruments = {Instrument(3, 0, kPh, {{0, 0, 0, 0x02BC, 0x00FA, 0, 0, 0}}),
                          Instrument(4, 0, kRedox, {{0, 0, 0, 123, 0, 0, 0, 0}})};
    config.faults[3] = c.faults;
    if (!Start(std::move(config))) GTEST_SKIP() << "no pseudo-terminal";
    SharedResults results;
    MeasurementRequests requests(line_, results); // without the hold of the case before
    requests.SetWaitTimes({300, 300});
    QElapsedTimer clock;
    clock.start();
    const RequestResult result = requests.RequestPh(3, 0);
    const qint64 elapsed = clock.elapsed();
    EXPECT_EQ(result.failure, c.error) << result.reason;
    EXPECT_EQ(result.exceptionCode, c.faults.exceptionCode);
    if (c.error == FailureKind::None) {
      EXPECT_DOUBLE_EQ(results.PhValue, 7.0);
    } else {
      EXPECT_NE(result.reason.find("Station 3"), std::string::npos) << result.reason;
      EXPECT_NE(result.reason.find(c.reason), std::string::npos) << result.reason;
      EXPECT_EQ(results, SharedResults{});
      EXPECT_EQ(elapsed < 250, c.immediate) << elapsed << " ms";
      EXPECT_GE(elapsed, c.immediate ? 0 : 300);
    }
    clock.restart();
    ASSERT_TRUE(requests.RequestRedox(4, 0).ok());
    EXPECT_LT(clock.elapsed(), 100);
    EXPECT_EQ(results.RedoxValue, 123);
  }
}

// `trelvan-cli sim` ends cleanly on SIGTERM, as its help says. (What it serves
// from config.txt: the demo station's test and the channel table's mapping.)
TEST(SimulatorCommand, EndsCleanlyOnSigterm) {
  if (!testing::CliBuilt()) GTEST_SKIP() << "trelvan-cli not built";
  testing::TempFolder folder;
  folder.write("scenario.txt", "7 ext Durchfluss\n");
  testing::SimProcess sim(QString::fromStdString(folder.path().string()), {"--config", "scenario.txt"});
  if (sim.device().isEmpty()) GTEST_SKIP() << "no pseudo-terminal";
  sim.process().terminate();
  ASSERT_TRUE(sim.process().waitForFinished(5000));
  EXPECT_EQ(sim.process().exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(sim.process().exitCode(), 0);
}

using Found = std::tuple<int, Block, int>; // station, block, exception code

using ScanLine = SimulatorLine;

TEST_F(ScanLine, FindsStationsOnBothBlocksPassesOverSilentOnesAndStopsWhenCancelled) {
  sim::SimConfig config;
  config.instruments = {Instrument(2, 0, 2, {{0, 0, 0, 712, 215, 0, 0, 0}}), Instrument(2, 20, 5),
                        Instrument(4, 0, 1), Instrument(6, 0, 0), Instrument(7, 20, 3)};
  config.faults[6].silent = true;
  if (!Start(config)) GTEST_SKIP() << "no pseudo-terminal";

  AddressScan scan(line_);
  std::vector<Found> found;
  QObject::connect(&scan, &AddressScan::answered,
                   [&](const ScanAnswer& a) { found.emplace_back(a.station, a.block, a.exceptionCode); });
  QElapsedTimer clock;
  clock.start();
  ASSERT_TRUE(scan.Scan({1, 8, true, true, 100}));
  // Five silent stations, each asked once a round: 10 time-outs of 100 ms.
  EXPECT_LT(clock.elapsed(), 3000);

  // Master round first; a station without the block answers with an exception.
  const std::vector<Found> expected{{2, Block::Master, 0}, {4, Block::Master, 0}, {7, Block::Master, 2},
                                    {2, Block::Ext, 0},    {4, Block::Ext, 2},    {7, Block::Ext, 0}};
  EXPECT_EQ(found, expected);

  const ScanAnswer& ph = scan.answers().front();
  const auto pH = std::find_if(ph.readings.begin(), ph.readings.end(), [](auto& r) { return r.typeIndex == 2; });
  ASSERT_NE(pH, ph.readings.end());
  EXPECT_EQ(pH->text, "7.12 pH     21.5  °C");
  // A register 0 of 0 is no resistivity range, so that type is not offered.
  EXPECT_TRUE(std::none_of(ph.readings.begin(), ph.readings.end(), [](auto& r) { return r.typeIndex == 0; }));

  // A cancel ends the wait under way, not after the 2000 ms of silent station 1.
  AddressScan cancelled(line_);
  QTimer::singleShot(100, &cancelled, &AddressScan::Cancel);
  clock.restart();
  EXPECT_FALSE(cancelled.Scan({1, 14, true, true, 2000}));
  EXPECT_TRUE(cancelled.cancelled());
  EXPECT_LT(clock.elapsed(), 1000);
}

TEST_F(ScanLine, SettingsSearchFindsTheOneTheStationAnswersTo) {
  sim::SimConfig config;
  config.instruments = {Instrument(3, 0, 2)};
  config.answerOnly = sim::LineChoice{4800, 2};
  if (!Start(config)) GTEST_SKIP() << "no pseudo-terminal";

  AddressScan scan(line_);
  ASSERT_TRUE(scan.SearchSettings(3, 100));
  // A pseudo-terminal does not carry the parity: whatever answers answers
  // at the station's speed and stop bits.
  ASSERT_FALSE(scan.answers().empty());
  EXPECT_EQ(CompactSettingsText(scan.answers()[0].settings), "4800,n,8,2");
  for (const ScanAnswer& a : scan.answers())
    EXPECT_TRUE(a.settings.baudRate == 4800 && a.settings.stopBits == 2) << CompactSettingsText(a.settings);
  // The line is set back to what it was.
  EXPECT_EQ(line_.lineSettings(), LineSettings{});
}

} // namespace
} // namespace trelvan
