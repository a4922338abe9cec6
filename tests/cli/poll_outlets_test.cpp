// Where trelvan-cli poll sends a reading besides its output: the limits of
// "trelvan.ini", the record (--record) and a mosquitto broker that each test
// starts on a free loopback port (--mqtt). The poller runs against the
// simulator, as the service runs it against the station.

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <csignal>

#include "cli_run.h"
#include "core/channel_table.h"
#include "core/reading_json.h"
#include "record/record_reader.h"
#include "support/running_broker.h"
#include "support/soak.h"
#include "support/temp_folder.h"

namespace trelvan {
namespace {

using testing::CliPath;
using testing::kReplyMs;
using testing::ReceivedMessage;
using testing::RunningBroker;
using testing::Subscriber;

// Channel 0 reads pH 7.02 (above its upper limit of 7.0), channel 1 a pH that
// moves from pass to pass; the simulator serves both, a broker of the test's
// own listens, and a subscriber hears all of the site.
class PollOutlets : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testing::CliBuilt()) GTEST_SKIP() << "trelvan-cli not built";
    if (testing::MosquittoBinary().empty()) GTEST_SKIP() << "mosquitto is not installed (scripts/install-deps)";
    ChannelTable table;
    table[0] = {1, 2, "5", "Becken", true, false};
    table[1] = {1, 2, "6", "Zulauf", true, false};
    ASSERT_TRUE(SaveChannelTable(table, dir.path()).ok());
    dir.write("trelvan.ini", "[Limits]\nKanal0_oben=7.0\n");
    dir.write("scenario.txt", "5 master pH 0 0 0 702 215 0 0 0\n6 master pH\n");
    sim = std::make_unique<testing::SimProcess>(folder(), QStringList{"--config", "scenario.txt"});
    if (sim->device().isEmpty()) GTEST_SKIP() << "no pseudo-terminal";
    std::filesystem::create_directory(dir.path() / "broker");
    broker = std::make_unique<RunningBroker>(dir.path() / "broker");
    ASSERT_TRUE(broker->Start()) << broker->log();
    live = std::make_unique<Subscriber>(broker->port(), "trelvan/test/#");
    ASSERT_TRUE(live->WaitSubscribed());
  }
  QString folder() const { return QString::fromStdString(dir.path().string()); }
  QStringList PollArgs(int intervalMs) const {
    return {"--json", "--interval", QString::number(intervalMs), "--reply-ms", QString::number(kReplyMs),
            "--device", sim->device(), "--mqtt", QString::fromStdString(broker->url()), "--site", "test"};
  }
  // The readings of the record, each as poll --json prints it.
  QStringList Recorded() {
    RecordReader reader;
    if (const auto problem = reader.Open(dir.path() / "x.sqlite")) {
      ADD_FAILURE() << *problem;
      return {};
    }
    QStringList lines;
    reader.ForEachReading({}, [&](const Reading& r) {
      lines << QString::fromStdString(ReadingJson(r));
      return true;
    });
    return lines;
  }

  testing::TempFolder dir;
  std::unique_ptr<testing::SimProcess> sim;
  std::unique_ptr<RunningBroker> broker;
  std::unique_ptr<Subscriber> live;
};

std::vector<std::string> Payloads(const std::vector<ReceivedMessage>& messages) {
  std::vector<std::string> payloads;
  for (const ReceivedMessage& m : messages) payloads.push_back(m.payload);
  return payloads;
}

std::vector<std::string> LinesOfChannel(const QStringList& lines, int channel) {
  std::vector<std::string> of;
  for (const QString& line : lines)
    if (line.contains(QStringLiteral("\"channel\":%1,").arg(channel))) of.push_back(line.toStdString());
  return of;
}

TEST_F(PollOutlets, EachReadingGoesToTheOutputTheRecordAndTheBrokerAlike) {
  const auto [exitCode, out, err, lines] =
      testing::RunCli(folder(), QStringList{"poll", "--passes", "3", "--record", "x.sqlite"} + PollArgs(100));
  ASSERT_EQ(exitCode, 0) << err.toStdString();
  ASSERT_EQ(lines.size(), 6) << err.toStdString();

  // The limit raised one alarm: every reading of channel 0 carries it, the
  // raise is told once.
  for (const QString& line : lines)
    EXPECT_EQ(QJsonDocument::fromJson(line.toUtf8()).object().value("alarm").toString(),
              line.contains("\"channel\":0,") ? "high" : "")
        << line.toStdString();
  EXPECT_EQ(err.count("Alarm Kanal 0"), 1) << err.toStdString();

  // The record holds the very readings printed, and the alarm event.
  EXPECT_EQ(Recorded(), lines);
  RecordReader reader;
  ASSERT_FALSE(reader.Open(dir.path() / "x.sqlite"));
  ASSERT_EQ(reader.AlarmEvents({}).size(), 1u);
  EXPECT_TRUE(reader.AlarmEvents({})[0].raised);

  // The broker got each reading in order, the alarm, and the status:
  // "online", and "offline" at the end, after everything queued.
  ASSERT_TRUE(live->WaitForPayload("trelvan/test/status", "offline")) << broker->log();
  for (int channel : {0, 1})
    EXPECT_EQ(Payloads(live->On("trelvan/test/kanal/" + std::to_string(channel))), LinesOfChannel(lines, channel));
  EXPECT_EQ(live->On("trelvan/test/alarm").size(), 1u);
  EXPECT_EQ(Payloads(live->On("trelvan/test/status")), (std::vector<std::string>{"online", "offline"}));
}

// kill -9: the record opens with every pass committed before. (The broker
// telling the poller's will is the publisher's own test.)
TEST_F(PollOutlets, AKilledPollerLeavesEveryCommittedPassInTheRecord) {
  QProcess poll;
  poll.setWorkingDirectory(folder());
  poll.start(CliPath(), QStringList{"poll", "--record", "x.sqlite"} + PollArgs(50));
  QStringList printed;
  const auto readLines = [&] {
    while (poll.canReadLine()) printed << QString::fromUtf8(poll.readLine()).trimmed();
  };
  while (printed.size() < 11 && poll.waitForReadyRead(10000)) readLines();
  ASSERT_GE(printed.size(), 11);
  ::kill(static_cast<pid_t>(poll.processId()), SIGKILL);
  poll.waitForFinished(10000);
  readLines();
  EXPECT_EQ(poll.exitStatus(), QProcess::CrashExit);

  // A pass is committed before the next one begins.
  const qsizetype lastPassStarted = (printed.size() - 1) / 2 * 2;
  const QStringList recorded = Recorded();
  ASSERT_GE(recorded.size(), lastPassStarted);
  EXPECT_EQ(recorded, printed.mid(0, recorded.size()));
}

} // namespace
} // namespace trelvan
