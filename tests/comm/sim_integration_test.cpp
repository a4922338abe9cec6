// Our QSerialPort master polling the libmodbus simulator over a pseudo-terminal.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>

#include "comm/measurement_requests.h"
#include "core/channel_table.h"
#include "support/cli_processes.h"
#include "support/temp_folder.h"
#include "simulator_line.h"

namespace trelvan {
namespace {

using sim::StationFaults;
using testing::Instrument;

constexpr int kPh = 2, kRedox = 3; // catalogue types

class SimulatorRequests : public testing::SimulatorLine {
 protected:
  void SetUp() override { requests_.SetWaitTimes({300, 300}); }

  SharedResults results_;
  MeasurementRequests requests_{line_, results_};
};

TEST_F(SimulatorRequests, VanishingDeviceEndsTheRequestAndClosesTheLine) {
  sim::SimConfig config;
  config.instruments = {Instrument(2, 0, kPh, {{0, 0, 0, 700, 0, 0, 0, 0}})};
  if (!Start(config)) GTEST_SKIP() << "no pseudo-terminal";
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
    results_ = {};
    MeasurementRequests requests(line_, results_); // without the hold of the case before
    requests.SetWaitTimes({300, 300});
    QElapsedTimer clock;
    clock.start();
    const RequestResult result = requests.RequestPh(3, 0);
    const qint64 elapsed = clock.elapsed();
    EXPECT_EQ(result.failure, c.error) << result.reason;
    EXPECT_EQ(result.exceptionCode, c.faults.exceptionCode);
    if (c.error == FailureKind::None) {
      EXPECT_DOUBLE_EQ(results_.PhValue, 7.0);
    } else {
      EXPECT_NE(result.reason.find("Station 3"), std::string::npos) << result.reason;
      EXPECT_NE(result.reason.find(c.reason), std::string::npos) << result.reason;
      EXPECT_EQ(results_, SharedResults{});
      EXPECT_EQ(elapsed < 250, c.immediate) << elapsed << " ms";
      EXPECT_GE(elapsed, c.immediate ? 0 : 300);
    }
    clock.restart();
    ASSERT_TRUE(requests.RequestRedox(4, 0).ok());
    EXPECT_LT(clock.elapsed(), 100);
    EXPECT_EQ(results_.RedoxValue, 123);
  }
}

// `trelvan-cli sim` ends cleanly on SIGTERM, as its help says. (What it serves
// from config.txt: the demo station's test and the channel table's mapping.)
TEST(SimulatorCommand, EndsCleanlyOnSigterm) {
  if (!testing::CliBuilt()) GTEST_SKIP() << "trelvan-cli not built";
  testing::TempFolder folder;
  ChannelTable table;
  table[1] = {1, 5, "7", "Zulauf", false, true};
  ASSERT_TRUE(SaveChannelTable(table, folder.path()).ok());
  testing::SimProcess sim(QString::fromStdString(folder.path().string()), {});
  if (sim.device().isEmpty()) GTEST_SKIP() << "no pseudo-terminal";
  sim.process().terminate();
  ASSERT_TRUE(sim.process().waitForFinished(5000));
  EXPECT_EQ(sim.process().exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(sim.process().exitCode(), 0);
}

} // namespace
} // namespace trelvan
