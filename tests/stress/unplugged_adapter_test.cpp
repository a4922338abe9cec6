// An unplugged adapter: the simulator's pseudo-terminal closes while the
// station measures, and a new one appears under the same link a moment later.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QTimer>

#include "comm/qt_serial_line.h"
#include "live/measurement_window.h"
#include "support/cli_processes.h"
#include "support/running_simulator.h"
#include "support/event_loop.h"
#include "support/scripted_prompter.h"
#include "support/temp_folder.h"

namespace trelvan {
namespace {

template <typename Done>
bool WaitFor(Done done, int ms = 5000) {
  return testing::WaitFor(done, ms);
}

bool LinkResolves(const std::filesystem::path& link) { return QFileInfo::exists(QString::fromStdString(link.string())); }

sim::SimInstrument PhAt5() {
  sim::SimInstrument ph;
  ph.station = 5;
  ph.typeIndex = 2;
  ph.member = RequestMember::Ph;
  ph.fixedRegisters = std::array<std::uint16_t, 8>{0, 0, 0, 702, 215, 0, 0, 0};
  return ph;
}

TEST(UnpluggedAdapter, MeasurementWindowShowsFailuresReportsOnceAndReadsAgainOnItsOwn) {
  testing::TempFolder dir;
  const std::filesystem::path link = dir / "ttyTRELVAN";
  sim::SimConfig config;
  config.instruments = {PhAt5()};
  config.linkPath = link.string();
  config.closeAfterRequests = 5;
  config.reopenAfterMs = 300;
  testing::RunningSimulator sim(config);
  if (!sim.available()) GTEST_SKIP() << "no pseudo-terminal: " << sim.error();

  const QByteArray previous = qgetenv("TRELVAN_COM1");
  qputenv("TRELVAN_COM1", QByteArray::fromStdString(link.string()));
  Station station;
  station.AppTitle = "TRELVAN   V 2.19";
  station.channelTable[1] = {1, 2, "5", "Becken", true, false};
  BuildChannelCaptions(station.channelTable);
  QtSerialLine line;
  station.port = &line;
  testing::ScriptedPrompter prompter;
  F_Mesure window(station, prompter);
  QLabel* value = window.findChild<QLabel*>("Etiquette3_1");
  int losses = 0;
  QObject::connect(&line, &SerialPort::lineLost, [&] { ++losses; });

  window.Load();
  window.show();
  ASSERT_TRUE(line.IsOpen()) << window.lineMessage().toStdString();
  window.StartPolling(20);
  ASSERT_TRUE(WaitFor([&] { return value->text() == "7.02 pH     21.5  °C"; })) << value->text().toStdString();

  // The adapter goes after the fifth request. The loss is seen at once, not
  // only when a reply wait of 2000 ms runs out.
  QElapsedTimer clock;
  clock.start();
  ASSERT_TRUE(WaitFor([&] { return value->text() == "Außer Betrieb"; })) << value->text().toStdString();
  EXPECT_LT(clock.elapsed(), 1500);
  EXPECT_FALSE(line.IsOpen());
  const QString message = window.lineMessage();
  EXPECT_TRUE(message.contains(QString::fromStdString(link.string()))) << message.toStdString();
  EXPECT_TRUE(window.isVisible());
  EXPECT_TRUE(window.Minuterie1()->isActive());

  // The device comes back; the running measurement opens it again by itself
  // (tried every 2 s) and reads values, without a word more.
  ASSERT_TRUE(WaitFor([&] { return LinkResolves(link); }));
  EXPECT_TRUE(WaitFor([&] { return value->text() == "7.02 pH     21.5  °C"; })) << value->text().toStdString();
  EXPECT_TRUE(line.IsOpen());
  EXPECT_TRUE(window.lineMessage().isEmpty()) << window.lineMessage().toStdString();
  EXPECT_EQ(losses, 1);
  EXPECT_TRUE(prompter.messages.empty());
  window.Shutdown();
  if (previous.isEmpty()) qunsetenv("TRELVAN_COM1");
  else qputenv("TRELVAN_COM1", previous);
}

TEST(UnpluggedAdapter, PollerSaysOnceThatTheDeviceIsGoneAndReopensItOnItsOwn) {
  if (!testing::CliBuilt()) GTEST_SKIP() << "trelvan-cli not built";
  testing::TempFolder dir;
  ChannelTable table;
  table[0] = {1, 2, "5", "Becken", true, false};
  ASSERT_TRUE(SaveChannelTable(table, dir.path()).ok());
  dir.write("scenario.txt", "5 master pH 0 0 0 702 215 0 0 0\n");
  const QString folder = QString::fromStdString(dir.path().string());
  const QString link = folder + "/ttyTRELVAN";
  testing::SimProcess sim(folder, {"--config", "scenario.txt", "--link", link, "--close-after", "6",
                                   "--reopen-after", "1500"});
  if (sim.device().isEmpty()) GTEST_SKIP() << "no pseudo-terminal";
  ASSERT_EQ(sim.device(), link);

  QProcess poll;
  poll.setWorkingDirectory(folder);
  poll.start(testing::CliPath(), {"poll", "--json", "--interval", "100", "--passes", "40", "--device", link});
  ASSERT_TRUE(poll.waitForFinished(30000)) << "the poller hangs";
  ASSERT_EQ(poll.exitStatus(), QProcess::NormalExit);
  const QString err = QString::fromUtf8(poll.readAllStandardError());
  ASSERT_EQ(poll.exitCode(), 0) << err.toStdString();

  // The run reads, loses the device, shows failures, and reads again.
  std::string shape;
  for (const QByteArray& line : poll.readAllStandardOutput().split('\n')) {
    if (line.isEmpty()) continue;
    const QJsonObject o = QJsonDocument::fromJson(line).object();
    const bool ok = o.value("ok").toBool();
    EXPECT_EQ(o.value("text").toString(), ok ? "7.02 pH     21.5  °C" : "Außer Betrieb");
    const char mark = ok ? 'v' : 'x';
    if (shape.empty() || shape.back() != mark) shape += mark;
  }
  EXPECT_EQ(shape, "vxv");
  EXPECT_EQ(err.count("verloren"), 1) << err.toStdString();
  EXPECT_EQ(err.count("wieder geöffnet"), 1) << err.toStdString();
  EXPECT_TRUE(err.contains(link)) << err.toStdString();
}

} // namespace
} // namespace trelvan
