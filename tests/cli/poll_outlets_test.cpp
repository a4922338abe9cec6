// Where trelvan-cli poll sends a reading besides its output: the limits of
// "trelvan.ini", the record (--record) and a mosquitto broker that each test
// starts on a free loopback port (--mqtt). The poller runs against the
// simulator, as the service runs it against the station.

#include <gtest/gtest.h>

#include <QDateTime>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <csignal>
#include <set>

#include "core/channel_table.h"
#include "core/reading_json.h"
#include "record/record_reader.h"
#include "support/cli_processes.h"
#include "support/running_broker.h"
#include "support/soak.h"
#include "support/temp_folder.h"

namespace trelvan {
namespace {

using namespace std::chrono_literals;
using testing::CliPath;
using testing::kReplyMs;
using testing::ReceivedMessage;
using testing::RunningBroker;
using testing::Subscriber;

// The poller as a child process whose output lines are read as they come.
class PollProcess {
 public:
  PollProcess(const QString& folder, const QStringList& args) {
    process_.setWorkingDirectory(folder);
    process_.start(CliPath(), QStringList{"poll"} + args);
    process_.waitForStarted(5000);
  }
  ~PollProcess() {
    process_.kill();
    process_.waitForFinished(3000);
  }
  PollProcess(const PollProcess&) = delete;
  PollProcess& operator=(const PollProcess&) = delete;

  // Reads until `count` lines have come; false when they do not within `within`.
  bool WaitLines(int count, std::chrono::milliseconds within = 10s) {
    QElapsedTimer clock;
    clock.start();
    for (;;) {
      while (process_.canReadLine()) lines_ << QString::fromUtf8(process_.readLine()).trimmed();
      if (lines_.size() >= count) return true;
      if (clock.elapsed() >= within.count() || process_.state() != QProcess::Running) return false;
      process_.waitForReadyRead(100);
    }
  }
  // Signals it and collects what it still printed; its exit status, or -1
  // when it was killed.
  int End(int signal) {
    ::kill(static_cast<pid_t>(process_.processId()), signal);
    process_.waitForFinished(10000);
    WaitLines(1 << 30, 0ms);
    err_ = QString::fromUtf8(process_.readAllStandardError());
    return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
  }
  const QStringList& lines() const { return lines_; }
  const QString& err() const { return err_; }

 private:
  QProcess process_;
  QStringList lines_;
  QString err_;
};

// Channel 0 reads pH 7.02 (above its upper limit of 7.0), channel 1 a pH that
// moves from pass to pass; the simulator serves both.
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
  }
  QString folder() const { return QString::fromStdString(dir.path().string()); }
  QStringList PollArgs(const RunningBroker& broker, int intervalMs) const {
    return {"--json", "--interval", QString::number(intervalMs), "--reply-ms", QString::number(kReplyMs),
            "--device", sim->device(), "--mqtt", QString::fromStdString(broker.url()), "--site", "test"};
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
  RunningBroker broker(dir.path() / "broker");
  ASSERT_TRUE(broker.Start()) << broker.log();
  Subscriber live(broker.port(), "trelvan/test/#");
  ASSERT_TRUE(live.WaitSubscribed());

  QProcess poll;
  poll.setWorkingDirectory(folder());
  poll.start(CliPath(), QStringList{"poll", "--passes", "3", "--record", "x.sqlite"} + PollArgs(broker, 100));
  ASSERT_TRUE(poll.waitForFinished(20000));
  const QString err = QString::fromUtf8(poll.readAllStandardError());
  ASSERT_EQ(poll.exitCode(), 0) << err.toStdString();
  const QStringList lines = QString::fromUtf8(poll.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
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

  // The broker got each reading in order, at QoS 1, the alarm, and the
  // status: "online", and "offline" at the end.
  ASSERT_TRUE(live.WaitForPayload("trelvan/test/status", "offline")) << broker.log();
  for (int channel : {0, 1}) {
    const auto on = live.On("trelvan/test/kanal/" + std::to_string(channel));
    EXPECT_EQ(Payloads(on), LinesOfChannel(lines, channel));
    for (const ReceivedMessage& m : on) EXPECT_EQ(m.qos, 1);
  }
  EXPECT_EQ(live.On("trelvan/test/alarm").size(), 1u);
  EXPECT_EQ(Payloads(live.On("trelvan/test/status")), (std::vector<std::string>{"online", "offline"}));

  // What a subscriber that comes later sees: each channel's last reading and
  // the status, retained.
  Subscriber late(broker.port(), "trelvan/test/#");
  ASSERT_TRUE(late.WaitFor([](const auto& m) { return m.size() >= 3; }));
  for (const ReceivedMessage& m : late.messages()) {
    EXPECT_TRUE(m.retain) << m.topic;
    if (m.topic == "trelvan/test/kanal/0") {
      EXPECT_EQ(m.payload, LinesOfChannel(lines, 0).back());
    } else if (m.topic == "trelvan/test/status") {
      EXPECT_EQ(m.payload, "offline");
    }
  }
}

// kill -9: the poller says nothing more; the broker tells its will within
// the keep-alive, and the record opens with every pass committed before.
TEST_F(PollOutlets, AKilledPollerLeavesItsWillAndEveryCommittedPass) {
  RunningBroker broker(dir.path() / "broker");
  ASSERT_TRUE(broker.Start()) << broker.log();
  Subscriber status(broker.port(), "trelvan/test/status");
  ASSERT_TRUE(status.WaitSubscribed());

  PollProcess poll(folder(), QStringList{"--record", "x.sqlite", "--keepalive", "5"} + PollArgs(broker, 50));
  ASSERT_TRUE(status.WaitForPayload("trelvan/test/status", "online")) << broker.log();
  ASSERT_TRUE(poll.WaitLines(11));
  const auto killedAt = testing::BrokerClock::now();
  EXPECT_EQ(poll.End(SIGKILL), -1);
  const auto offline = status.WaitForPayload("trelvan/test/status", "offline", 8s);
  ASSERT_TRUE(offline) << broker.log();
  EXPECT_LT(offline->at - killedAt, 5s);

  // A pass is committed before the next one begins.
  const QStringList printed = poll.lines();
  const qsizetype lastPassStarted = (printed.size() - 1) / 2 * 2;
  const QStringList recorded = Recorded();
  ASSERT_GE(recorded.size(), lastPassStarted);
  EXPECT_EQ(recorded, printed.mid(0, recorded.size()));
}

// While the broker is away, passes keep their pace; when it is back, every
// reading of the outage arrives, in order. SIGTERM ends it with "offline".
TEST_F(PollOutlets, ABrokerRestartHoldsUpNoPassAndLosesNoReading) {
  testing::BrokerSetup setup;
  setup.persistence = true; // the subscriber's session outlives the restart
  RunningBroker broker(dir.path() / "broker", setup);
  ASSERT_TRUE(broker.Start()) << broker.log();
  Subscriber live(broker.port(), "trelvan/test/#", "pruef-abonnent");
  ASSERT_TRUE(live.WaitSubscribed());

  constexpr int kIntervalMs = 200;
  PollProcess poll(folder(), PollArgs(broker, kIntervalMs));
  ASSERT_TRUE(poll.WaitLines(6));
  broker.Stop();
  ASSERT_TRUE(poll.WaitLines(poll.lines().size() + 14)); // seven passes while it is away
  ASSERT_TRUE(broker.Start()) << broker.log();
  const auto passOf = [](const std::string& json) { return std::atoll(json.c_str() + 8); }; // {"pass":N,
  const std::int64_t awayUntil = passOf(poll.lines().back().toStdString());
  EXPECT_TRUE(live.WaitFor(
      [&](const auto& m) {
        for (const ReceivedMessage& r : m)
          if (r.topic == "trelvan/test/kanal/1" && passOf(r.payload) > awayUntil) return true;
        return false;
      },
      15s))
      << broker.log();
  EXPECT_EQ(poll.End(SIGTERM), 0) << poll.err().toStdString();
  EXPECT_TRUE(live.WaitForPayload("trelvan/test/status", "offline"));

  // Pass times from the readings' own time stamps: no pass waited for the broker.
  std::vector<qint64> starts;
  for (const std::string& line : LinesOfChannel(poll.lines(), 0))
    starts.push_back(QDateTime::fromString(QJsonDocument::fromJson(QByteArray::fromStdString(line))
                                               .object()
                                               .value("time")
                                               .toString(),
                                           Qt::ISODateWithMs)
                         .toMSecsSinceEpoch());
  qint64 longest = 0;
  for (std::size_t k = 1; k < starts.size(); ++k) longest = std::max(longest, starts[k] - starts[k - 1]);
  EXPECT_LT(longest, kIntervalMs + 300) << "a pass waited";

  // Every pass printed reached the subscriber, in order (QoS 1 may repeat a
  // message; the order is that of first arrivals).
  std::vector<std::int64_t> firsts;
  std::set<std::int64_t> seen;
  for (const ReceivedMessage& m : live.On("trelvan/test/kanal/0"))
    if (seen.insert(passOf(m.payload)).second) firsts.push_back(passOf(m.payload));
  std::vector<std::int64_t> printed;
  for (const std::string& line : LinesOfChannel(poll.lines(), 0)) printed.push_back(passOf(line));
  EXPECT_EQ(firsts, printed);
}

} // namespace
} // namespace trelvan
