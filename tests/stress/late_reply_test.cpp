// Late replies: one station answers every request a little after the
// master's reply time-out, up to one and a half of it. Its late reply must
// never be shown, least of all as the reading of its other block, and the
// healthy station on the same line must always be read. The normal suite
// runs this at a 200 ms reply time-out; the soak build at the station's
// own 2000 ms.
#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <string>

#include "stress/request_log.h"
#include "support/cli_processes.h"
#include "support/soak.h"
#include "support/temp_folder.h"

namespace trelvan {
namespace {

using testing::kReplyMs;

// Station 5 (healthy, redox) is asked first; station 3 carries pH on its
// Master block and flow on its Ext. block and always answers late.
const std::vector<testing::PolledChannel> kChannels{{5, 0, 3}, {3, 0, 2}, {3, 20, 5}};

// Just past the reply time-out and near the end of the range, with passes
// back to back and with a tick of one and a half time-outs.
TEST(LateReplies, AreNeverShownAndTheHealthyStationIsAlwaysRead) {
  if (!testing::CliBuilt()) GTEST_SKIP() << "trelvan-cli not built";
  const int passes = testing::kSoak ? 20 : 6;
  for (const auto& [delayPercent, intervalPercent] : {std::pair{105, 0}, {145, 0}, {105, 150}, {145, 150}}) {
    const int delayMs = kReplyMs * delayPercent / 100, intervalMs = kReplyMs * intervalPercent / 100;
    SCOPED_TRACE("delay " + std::to_string(delayMs) + " ms, tick " + std::to_string(intervalMs) + " ms");

    testing::TempFolder dir;
    ASSERT_TRUE(testing::SavePolledChannels(kChannels, dir));
    const QString folder = QString::fromStdString(dir.path().string());
    // No random faults ("0:0"), but every reply carries its request's number
    // in the temperature register, so no two replies look alike.
    testing::SimProcess sim(folder, {"--config", "scenario.txt", "--delay", "3:" + QString::number(delayMs),
                                     "--random-faults", "1:0:0", "--log", "sim.log"});
    if (sim.device().isEmpty()) GTEST_SKIP() << "no pseudo-terminal";

    QProcess poll;
    poll.setWorkingDirectory(folder);
    poll.start(testing::CliPath(), {"poll", "--json", "--passes", QString::number(passes), "--interval",
                                    QString::number(intervalMs), "--reply-ms", QString::number(kReplyMs), "--device",
                                    sim.device()});
    ASSERT_TRUE(poll.waitForFinished(passes * kReplyMs * 5 + 10000)) << "the poller hangs";
    ASSERT_EQ(poll.exitCode(), 0) << poll.readAllStandardError().toStdString();
    const QList<QByteArray> lines = poll.readAllStandardOutput().trimmed().split('\n');
    ASSERT_EQ(lines.size(), 3 * passes);

    testing::RequestMatcher requests{testing::ReadRequestLog(dir.read("sim.log"))};
    int healthyRead = 0, heldBack = 0;
    for (const QByteArray& line : lines) {
      const QJsonObject o = QJsonDocument::fromJson(line).object();
      const testing::PolledChannel& c = kChannels.at(static_cast<std::size_t>(o.value("channel").toInt()));
      const std::string text = o.value("text").toString().toStdString();
      const testing::LoggedRequest* request = requests.Next(c.station, c.registerBase);
      SCOPED_TRACE(line.toStdString());
      if (c.station == 5) {
        ASSERT_NE(request, nullptr);
        EXPECT_TRUE(o.value("ok").toBool()) << "the healthy station is always read";
        EXPECT_EQ(text, testing::ReadingText(c.typeIndex, request->registers));
        healthyRead += o.value("ok").toBool();
      } else {
        EXPECT_FALSE(o.value("ok").toBool()) << "a reply " << delayMs << " ms late is never shown";
        EXPECT_EQ(text, "Außer Betrieb");
        if (c.registerBase == 20) {
          EXPECT_EQ(request, nullptr) << "the Ext. block is held back after the Master block's time-out";
          EXPECT_EQ(o.value("error").toString(), "held-back");
          heldBack += request == nullptr;
        }
      }
    }
    EXPECT_EQ(requests.unmatched(), 0u);
    EXPECT_EQ(healthyRead, passes);
    EXPECT_EQ(heldBack, passes);
  }
}

} // namespace
} // namespace trelvan
