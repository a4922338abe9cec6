// An unplugged adapter: the simulator's pseudo-terminal closes while the
// poller runs, and a new one appears under the same link a moment later.
// (The measurement window's own reopening is tested against a fake line, the
// loss of a real device in the line's tests.)
#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>

#include "stress/request_log.h"
#include "support/cli_processes.h"
#include "support/temp_folder.h"

namespace trelvan {
namespace {

TEST(UnpluggedAdapter, PollerSaysOnceThatTheDeviceIsGoneAndReopensItOnItsOwn) {
  if (!testing::CliBuilt()) GTEST_SKIP() << "trelvan-cli not built";
  testing::TempFolder dir;
  ASSERT_TRUE(testing::SavePolledChannels({{5, 0, 2}}, dir)); // pH at station 5
  dir.write("scenario.txt", "5 master pH 0 0 0 702 215 0 0 0\n");
  const QString folder = QString::fromStdString(dir.path().string());
  const QString link = folder + "/ttyTRELVAN";
  testing::SimProcess sim(folder, {"--config", "scenario.txt", "--link", link, "--close-after", "6",
                                   "--reopen-after", "1500"});
  if (sim.device().isEmpty()) GTEST_SKIP() << "no pseudo-terminal";

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
