// Our QSerialPort master polling the libmodbus simulator over a pseudo-terminal.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include "comm/measurement_requests.h"
#include "comm/qt_serial_line.h"
#include "core/channel_table.h"
#include "support/running_simulator.h"

namespace trelvan {
namespace {

using sim::SimConfig;
using sim::SimInstrument;
using sim::StationFaults;

SimInstrument Fixed(int station, int base, RequestMember member, std::array<std::uint16_t, 8> registers) {
  SimInstrument i;
  i.station = station;
  i.registerBase = base;
  i.member = member;
  i.fixedRegisters = registers;
  return i;
}

SimConfig Serving(std::vector<SimInstrument> instruments) {
  SimConfig config;
  config.instruments = std::move(instruments);
  return config;
}

class SimulatorLine : public ::testing::Test {
 protected:
  void Start(SimConfig config) {
    sim_ = std::make_unique<testing::RunningSimulator>(std::move(config));
    if (!sim_->available()) GTEST_SKIP() << "no pseudo-terminal: " << sim_->error();
    line_.SelectDevice(QString::fromStdString(sim_->devicePath()));
    QString error;
    ASSERT_TRUE(line_.Configure(LineSettings{}, &error)) << error.toStdString();
    ASSERT_TRUE(line_.Open(&error)) << error.toStdString();
    requests_.SetWaitTimes({300, 300});
  }
  void TearDown() override { line_.Close(); }

  std::unique_ptr<testing::RunningSimulator> sim_;
  QtSerialLine line_;
  SharedResults results_;
  MeasurementRequests requests_{line_, results_};
};

TEST_F(SimulatorLine, AllElevenMembersReadTheirInstruments) {
  Start(Serving({
      Fixed(1, 0, RequestMember::Resistivity, {0x0002, 0, 0, 1234, 215, 0, 0, 0}),
      Fixed(1, 20, RequestMember::Conductivity, {0x0003, 0, 0, 4520, 0xFFEC, 0, 0, 0}),
      Fixed(2, 0, RequestMember::Ph, {0, 0, 0, 0x02BC, 0x00FA, 0, 0, 0}),
      Fixed(3, 0, RequestMember::Redox, {0, 0, 0, 0xFF38, 180, 0, 0, 0}),
      Fixed(4, 0, RequestMember::Oxygen, {0x0001, 0, 0, 845, 190, 0, 0, 0}),
      Fixed(5, 20, RequestMember::Flow, {0x000A, 0x3456, 0x0012, 0xC350, 200, 0, 0x0999, 0x0000}),
      Fixed(6, 0, RequestMember::Chlorine, {0, 0, 0, 0x01F4, 210, 0, 0, 0}),
      Fixed(7, 0, RequestMember::Turbidity, {0x0042, 0, 0, 125, 220, 0, 0, 0}),
      Fixed(8, 0, RequestMember::DualResistivity, {0x0006, 0, 0, 1805, 1760, 0, 0, 0}),
      Fixed(9, 0, RequestMember::MultiUnit, {0x0073, 0, 0, 845, 230, 0, 0, 0}),
      Fixed(14, 0, RequestMember::Oxidant, {0x0011, 0, 0, 450, 240, 0, 0, 0}),
  }));
  SharedResults& r = results_;
  ASSERT_TRUE(requests_.RequestResistivity(1, 0).ok());
  EXPECT_EQ(r.ResistivityRange, 2);
  EXPECT_EQ(r.ResistivityRaw, 1234);
  EXPECT_DOUBLE_EQ(r.Temperature, 21.5);
  ASSERT_TRUE(requests_.RequestConductivity(1, 20).ok());
  EXPECT_EQ(r.ConductivityRange, 3);
  EXPECT_EQ(r.ConductivityRaw, 4520);
  EXPECT_DOUBLE_EQ(r.Temperature, -2.0);
  ASSERT_TRUE(requests_.RequestPh(2, 0).ok());
  EXPECT_DOUBLE_EQ(r.PhValue, 7.0);
  EXPECT_DOUBLE_EQ(r.Temperature, 25.0);
  ASSERT_TRUE(requests_.RequestRedox(3, 0).ok());
  EXPECT_EQ(r.RedoxValue, -200);
  ASSERT_TRUE(requests_.RequestOxygen(4, 0).ok());
  EXPECT_EQ(r.OxygenUnit, 1);
  EXPECT_EQ(r.OxygenRaw, 845);
  ASSERT_TRUE(requests_.RequestFlow(5, 20).ok());
  EXPECT_EQ(r.FlowRange, 10);
  EXPECT_EQ(r.FlowRate, 50000);
  EXPECT_EQ(r.FlowVolume1.value, 999);
  EXPECT_EQ(r.FlowVolume2.value, 123456);
  ASSERT_TRUE(requests_.RequestChlorine(6, 0).ok());
  EXPECT_DOUBLE_EQ(r.ChlorineValue, 0.5);
  ASSERT_TRUE(requests_.RequestTurbidity(7, 0).ok());
  EXPECT_EQ(r.TurbidityPointCode, 2);
  EXPECT_EQ(r.TurbidityUnit, "FNU");
  EXPECT_EQ(r.TurbidityRaw, 125);
  const double temperatureBefore = r.Temperature;
  ASSERT_TRUE(requests_.RequestDualResistivity(8, 0).ok());
  EXPECT_EQ(r.ResistivityRange, 6);
  EXPECT_EQ(r.ResistivityRaw, 1805);
  EXPECT_EQ(r.SecondResistivityRaw, 1760);
  EXPECT_EQ(r.Temperature, temperatureBefore);
  ASSERT_TRUE(requests_.RequestMultiUnit(9, 0).ok());
  EXPECT_EQ(r.MultiUnitPointCode, 3);
  EXPECT_EQ(r.MultiUnitUnit, "°C");
  ASSERT_TRUE(requests_.RequestOxidant(14, 0).ok());
  EXPECT_EQ(r.OxidantPointCode, 1);
  EXPECT_EQ(r.OxidantUnit, "g/l");
  EXPECT_EQ(r.OxidantRaw, 450);
  EXPECT_DOUBLE_EQ(r.Temperature, 24.0);
}

TEST_F(SimulatorLine, StationsAnswerInAnyOrderAndOthersStaySilent) {
  // A single libmodbus receive loop would lose requests once the station
  // changes; the simulator frames them itself.
  Start(Serving({Fixed(2, 0, RequestMember::Ph, {0, 0, 0, 700, 0, 0, 0, 0}),
                   Fixed(11, 0, RequestMember::Redox, {0, 0, 0, 321, 0, 0, 0, 0})}));
  for (int round = 0; round < 5; ++round) {
    ASSERT_TRUE(requests_.RequestPh(2, 0).ok()) << round;
    ASSERT_TRUE(requests_.RequestRedox(11, 0).ok()) << round;
    ASSERT_TRUE(requests_.RequestRedox(11, 0).ok()) << round;
  }
  EXPECT_EQ(requests_.RequestPh(12, 0).failure, FailureKind::TimedOut);
  EXPECT_TRUE(requests_.RequestPh(2, 0).ok()) << "the line recovers after a silent station";
}

TEST_F(SimulatorLine, RequestForABlockTheInstrumentLacksGetsAnException) {
  Start(Serving({Fixed(2, 0, RequestMember::Ph, {0, 0, 0, 700, 0, 0, 0, 0})}));
  QElapsedTimer clock;
  clock.start();
  const RequestResult r = requests_.RequestPh(2, 20);
  EXPECT_EQ(r.failure, FailureKind::Exception);
  EXPECT_EQ(r.exceptionCode, 2);
  EXPECT_LT(clock.elapsed(), 250);
}

TEST_F(SimulatorLine, VanishingDeviceEndsTheRequestAndClosesTheLine) {
  Start(Serving({Fixed(2, 0, RequestMember::Ph, {0, 0, 0, 700, 0, 0, 0, 0})}));
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
};

void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }

class SimulatorFaults : public SimulatorLine, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(SimulatorFaults, FaultyStationFailsOrSucceedsAsItShouldAndTheNextStationIsRead) {
  const FaultCase& c = GetParam();
  SimConfig config = Serving({Fixed(3, 0, RequestMember::Ph, {0, 0, 0, 0x02BC, 0x00FA, 0, 0, 0}),
                              Fixed(4, 0, RequestMember::Redox, {0, 0, 0, 123, 0, 0, 0, 0})});
  config.faults[3] = c.faults;
  Start(std::move(config));

  const SharedResults before = results_;
  QElapsedTimer clock;
  clock.start();
  const RequestResult result = requests_.RequestPh(3, 0);
  const qint64 elapsed = clock.elapsed();
  EXPECT_EQ(result.failure, c.error) << result.reason;
  if (c.error == FailureKind::None) {
    EXPECT_DOUBLE_EQ(results_.PhValue, 7.0);
  } else {
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

StationFaults With(void (*set)(StationFaults&)) {
  StationFaults f;
  set(f);
  return f;
}

INSTANTIATE_TEST_SUITE_P(
    EachFault, SimulatorFaults,
    ::testing::Values(
        FaultCase{"silent", With([](StationFaults& f) { f.silent = true; }), FailureKind::TimedOut, false},
        FaultCase{"badCrc", With([](StationFaults& f) { f.badCrc = true; }), FailureKind::BadCrc, true},
        FaultCase{"short", With([](StationFaults& f) { f.shortReply = true; }), FailureKind::TimedOut, false},
        FaultCase{"extra", With([](StationFaults& f) { f.extraBytes = 4; }), FailureKind::None, true},
        FaultCase{"delayWithinTimeOut", With([](StationFaults& f) { f.delayMs = 100; }), FailureKind::None, true},
        FaultCase{"delayPastTimeOut", With([](StationFaults& f) { f.delayMs = 450; }), FailureKind::TimedOut, false},
        FaultCase{"exception", With([](StationFaults& f) { f.exceptionCode = 6; }), FailureKind::Exception, true},
        FaultCase{"foreign", With([](StationFaults& f) { f.foreign = true; }), FailureKind::WrongStation, true},
        FaultCase{"trickle", With([](StationFaults& f) { f.trickle = true; }), FailureKind::None, true}),
    [](const ::testing::TestParamInfo<FaultCase>& p) { return std::string(p.param.name); });

TEST(SimulatorCommand, ServesTheChannelsOfConfigTxtUntilTerminated) {
  QString cli = qEnvironmentVariable("TRELVAN_CLI");
  if (cli.isEmpty()) {
    // The build tree's own tool, beside tests/comm.
    cli = QCoreApplication::applicationDirPath() + "/../../src/cli/trelvan-cli";
  }
  if (!QFileInfo(cli).isExecutable()) GTEST_SKIP() << "trelvan-cli not found: " << cli.toStdString();
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  ChannelTable table;
  table[0] = {1, 2, "3", "Becken", true, false};
  table[1] = {1, 5, "7", "Zulauf", false, true};
  ASSERT_TRUE(SaveChannelTable(table, folder.path().toStdString()).ok());

  QProcess sim;
  sim.setWorkingDirectory(folder.path());
  sim.start(cli, {"sim", "--silent", "3"});
  ASSERT_TRUE(sim.waitForStarted(5000));
  ASSERT_TRUE(sim.waitForReadyRead(5000)) << sim.readAllStandardError().toStdString();
  const QString device = QString::fromLocal8Bit(sim.readLine()).trimmed();
  if (!device.startsWith("/dev/")) GTEST_SKIP() << "no pseudo-terminal: " << sim.readAllStandardError().toStdString();

  QtSerialLine line;
  line.SelectDevice(device);
  QString error;
  ASSERT_TRUE(line.Configure(LineSettings{}, &error));
  ASSERT_TRUE(line.Open(&error)) << error.toStdString();
  SharedResults results;
  MeasurementRequests requests(line, results);
  requests.SetWaitTimes({300, 300});
  EXPECT_TRUE(requests.RequestFlow(7, 20).ok());
  EXPECT_GT(results.FlowRate, 0);
  EXPECT_TRUE(results.FlowVolume1.valid);
  EXPECT_FALSE(requests.RequestPh(3, 0).ok()) << "--silent 3";
  line.Close();

  sim.terminate(); // SIGTERM
  ASSERT_TRUE(sim.waitForFinished(5000));
  EXPECT_EQ(sim.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(sim.exitCode(), 0);
}

} // namespace
} // namespace trelvan
