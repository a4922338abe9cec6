// trelvan-cli poll against trelvan-cli sim over a pseudo-terminal, as a
// script or the service runs it: what it prints and its status, and where it
// sends a reading besides: the limits of "trelvan.ini", the record (--record)
// and a mosquitto broker that the test starts on a free loopback port (--mqtt).
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>

#include <array>
#include <csignal>
#include <thread>

#include "cli_run.h"
#include "core/channel_table.h"
#include "core/reading_json.h"
#include "record/record_reader.h"
#include "support/running_broker.h"
#include "support/soak.h"
#include "support/temp_folder.h"

namespace trelvan {
namespace {

using namespace testing;
using Simulator = SimProcess;

// The simulator serves a flow meter on the Ext. block (station 2), a silent
// pH (4), a pH of 7.02 (5) and more pH meters (6 and 7). The folder's table
// polls station 5 and the silent 4 unless a test saves its own.
class PollFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!CliBuilt()) GTEST_SKIP() << "trelvan-cli not built";
    Save({{{1, 2, "5", "Becken"}, {1, 2, "4", "Stumm"}}});
    dir.write("scenario.txt",
              "2 ext    5  0x000A 0x3456 0x0012 1234 123 0 0x0999 0x0000\n"
              "4 master 2\n5 master pH 0 0 0 702 215 0 0 0\n6 master pH\n7 master pH\n");
    sim = std::make_unique<Simulator>(folder(), QStringList{"--config", "scenario.txt", "--silent", "4"});
    if (sim->device().isEmpty()) GTEST_SKIP() << "no pseudo-terminal";
  }
  // The folder's "config.txt": the channels given, on the Master block unless told, the rest off.
  void Save(const std::array<ChannelConfig, kChannelCount>& channels, const std::string& sub = "") {
    std::filesystem::create_directories(dir / sub);
    ASSERT_TRUE(SaveChannelTable({.channels = channels}, dir / sub).ok());
  }
  QString folder() const { return QString::fromStdString(dir.path().string()); }
  CliRun PollLine(const QStringList& args) {
    return RunCli(folder(), QStringList{"poll"} + args + QStringList{"--device", sim->device()});
  }

  TempFolder dir;
  std::unique_ptr<Simulator> sim;
};

TEST_F(PollFolder, ReadingsAsJsonLinesAndAsTheTextOfTheirLabels) {
  Save({{{1, 5, "2", "Zulauf", false, true}, {1, 2, "4", "Becken"}}}); // flow on the Ext. block, a silent pH
  const QStringList args{"--interval", "0", "--reply-ms", QString::number(kReplyMs), "--passes"};
  const CliRun run = PollLine(args + QStringList{"2", "--json"});
  ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
  ASSERT_EQ(run.lines.size(), 4) << run.lines.join("\n").toStdString();
  // Each line as it always was, its time stamp ("2026-12-08T13:05:40.123+01:00") taken out.
  const QStringList expected{
      R"({"pass":1,"channel":0,"ok":true,"text":"  12.34  m3/h    12.3  °C\r\n 999   m3  \r\n 123456   m3  ","station":2,"block":"ext","type":"Durchfluss","marker":"Zulauf","values":{"main":{"value":12.34,"unit":"m3/h"},"temperature":{"value":12.3,"unit":"°C"},"day_volume":{"value":999,"unit":"m3"},"total_volume":{"value":123456,"unit":"m3"}}})",
      R"({"pass":1,"channel":1,"ok":false,"text":"Außer Betrieb","station":4,"block":"master","type":"pH","marker":"Becken","error":"timeout","reason":"Station 4 antwortet nicht","values":{}})",
  };
  static const QRegularExpression time(R"("time":"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d",)");
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(QString(run.lines[i]).remove(time).toStdString(),
              QString(expected[i % 2]).replace("\"pass\":1", QString("\"pass\":%1").arg(i / 2 + 1)).toStdString());
  // The text of the labels, with the separator asked for and the lines of a label joined.
  const CliRun text = PollLine(args + QStringList{"1", "--decimal", ","});
  EXPECT_EQ(text.lines, (QStringList{"Kanal 0:   12,34  m3/h    12,3  °C |  999   m3   |  123456   m3  ",
                                     "Kanal 1: Außer Betrieb"}));
}

// Why a channel fails, in the identifiers a script can rely on (the German
// reasons are the poll cycle's own, read in the window's tests; a time-out
// is read above, a held-back station in the stress tests), and each request
// and reply on stderr with --frames.
TEST_F(PollFolder, EachFailureKindHasItsIdentifierInTheJson) {
  const std::array<const char*, 4> errors{"crc", "exception", "station", "address"};
  Save({{{1, 2, "5", "K"}, {1, 2, "6", "K"}, {1, 2, "7", "K"}, {1, 2, "abc", "K"}}});
  sim = std::make_unique<Simulator>(
      folder(), QStringList{"--config", "scenario.txt", "--bad-crc", "5", "--exception", "6:2", "--foreign", "7"});
  ASSERT_FALSE(sim->device().isEmpty());
  const CliRun run = PollLine({"--json", "--frames", "--passes", "1", "--reply-ms", QString::number(kReplyMs)});
  ASSERT_EQ(run.lines.size(), 4) << run.err.toStdString();
  for (std::size_t i = 0; i < 4; ++i) {
    const QString& line = run.lines[static_cast<qsizetype>(i)];
    const QJsonObject o = QJsonDocument::fromJson(line.toUtf8()).object();
    EXPECT_EQ(o.value("error").toString().toStdString(), errors[i]) << line.toStdString();
    EXPECT_FALSE(o.value("reason").toString().isEmpty()) << line.toStdString();
    EXPECT_EQ(o.value("exception_code").toInt(-1), i == 1 ? 2 : -1) << line.toStdString();
  }
  EXPECT_TRUE(run.err.contains(">  St   5  ") && run.err.contains("<  St   5  ")) << run.err.toStdString();
}

// The status a script acts on: 0 when any channel answered (above) and for
// --help and --version; 1 when there is nothing to poll or the line cannot be
// opened; 2 for a value a command cannot use, told in German and naming the
// option, before the line is touched; 3 when passes ran and no channel ever
// answered.
TEST_F(PollFolder, ExitStatusAndWhatItSays) {
  Save({{{0, 2, "4", "aus"}}}, "aus");
  Save({{{1, 2, "4", "aus"}}}, "stumm");
  // named: in the output or the message
  const struct { QStringList args; int exit; const char* named; } cases[] = {
      {{"poll", "--help"}, 0, "Rückgabewerte:"},
      {{"--version"}, 0, "trelvan-cli 2."},
      {{"poll", "--folder=aus", "--device=LINE"}, 1, "Keine Messung konfiguriert"},
      {{"poll", "--device=no-such-device"}, 1, "no-such-device"},
      {{"poll", "--device", ""}, 2, "--device"},   // would fall back to the configured port
      {{"poll", "--decimal", ""}, 2, "--decimal"}, // "723 pH"
      {{"poll", "--reply-ms", "99"}, 2, "--reply-ms"},
      {{"poll", "--reply-ms=10001"}, 2, "--reply-ms"},
      {{"poll", "--passes", "0"}, 2, "--passes"},
      {{"poll", "--site", "werk"}, 2, "--mqtt"},   // publishing nowhere
      {{"poll", "--mqtt", "mqtt://broker", "--keepalive=4"}, 2, "Keep-Alive"},
      {{"records", "--db", "x", "--channel=4"}, 2, "--channel"},
      {{"poll", "--folder=stumm", "--reply-ms=100", "--device=LINE"}, 3, "Kanal 0: Außer Betrieb"},
  };
  for (const auto& c : cases) {
    QStringList args = c.args;
    args.replaceInStrings("=LINE", "=" + sim->device());
    if (args.front() == "poll" && c.exit != 0) args.insert(1, "--passes=1");
    const CliRun run = RunCli(folder(), args);
    const std::string trace = c.args.join(' ').toStdString() + "\n" + (run.out + run.err).toStdString();
    EXPECT_EQ(run.exitCode, c.exit) << trace;
    EXPECT_TRUE((run.out + run.err).contains(QString::fromUtf8(c.named))) << trace;
  }
}

// Only one program holds the line: a second one is told which has it (the
// simulator, which merely has the device open, is no holder). The lock also
// stops root, whom the terminal's own exclusive mode lets through.
TEST_F(PollFolder, ASecondProgramOnTheLineIsToldWhichHoldsIt) {
  QProcess first;
  first.setWorkingDirectory(folder());
  first.start(CliPath(), {"poll", "--interval", "100", "--reply-ms", "100", "--device", sim->device()});
  ASSERT_TRUE(first.waitForReadyRead(5000));
  const qint64 holder = first.processId();
  const CliRun second = PollLine({"--passes", "1", "--reply-ms", "100"});
  first.terminate();
  first.waitForFinished(5000);
  EXPECT_EQ(second.exitCode, 1);
  EXPECT_TRUE(second.err.contains(QStringLiteral("belegt: trelvan-cli (PID %1).").arg(holder)))
      << second.err.toStdString();
}

// An interrupt is the normal way to end an endless poll: the request it cuts
// short shows nothing (its instrument may well be working), the line is
// closed and the status is 0.
TEST_F(PollFolder, AnInterruptDuringAReplyWaitPrintsNothingForThatRequest) {
  for (const int signal : {SIGINT, SIGTERM}) {
    QProcess poll;
    poll.setWorkingDirectory(folder());
    poll.start(CliPath(), {"poll", "--json", "--interval", "0", "--reply-ms", "2000", "--device", sim->device()});
    ASSERT_TRUE(poll.waitForStarted(5000));
    // Channel 0 answers; channel 1's silent station keeps the poller waiting.
    while (!poll.canReadLine() && poll.waitForReadyRead(5000)) {}
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    QElapsedTimer clock;
    clock.start();
    ::kill(static_cast<pid_t>(poll.processId()), signal);
    ASSERT_TRUE(poll.waitForFinished(5000));
    EXPECT_LT(clock.elapsed(), 1000) << "the wait ends at once";
    EXPECT_EQ(poll.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(poll.exitCode(), 0);
    const QString out = QString::fromUtf8(poll.readAllStandardOutput());
    EXPECT_EQ(out.count('\n'), 1) << "only channel 0's line: " << out.toStdString();
  }
}

// With SIGPIPE ignored a closed pipe fails every write; the poller must not
// poll on for nobody.
TEST_F(PollFolder, AFailedWriteToTheOutputEndsThePollWithStatusOne) {
  QProcess shell;
  shell.setWorkingDirectory(folder());
  shell.start("bash", {"-c", "trap '' PIPE; \"$0\" poll --json --interval 0 --reply-ms 100 --device \"$1\" | head -n 1 "
                             ">/dev/null; echo \"status ${PIPESTATUS[0]}\"",
                       CliPath(), sim->device()});
  ASSERT_TRUE(shell.waitForFinished(20000)) << "the poller polls on";
  EXPECT_EQ(QString::fromUtf8(shell.readAllStandardOutput()).trimmed().toStdString(), "status 1");
  EXPECT_TRUE(shell.readAllStandardError().contains("Ausgabe"));
}

// Channel 0 reads pH 7.02 (above its upper limit of 7.0), channel 1 a pH that
// moves from pass to pass; a broker of the test's own listens, and a
// subscriber hears all of the site.
class PollOutlets : public PollFolder {
 protected:
  void SetUp() override {
    PollFolder::SetUp();
    if (IsSkipped()) return;
    if (MosquittoBinary().empty()) GTEST_SKIP() << "mosquitto is not installed (scripts/install-deps)";
    Save({{{1, 2, "5", "Becken"}, {1, 2, "6", "Zulauf"}}});
    dir.write("trelvan.ini", "[Limits]\nKanal0_oben=7.0\n");
    std::filesystem::create_directory(dir / "broker");
    broker = std::make_unique<RunningBroker>(dir / "broker");
    ASSERT_TRUE(broker->Start()) << broker->log();
    live = std::make_unique<Subscriber>(broker->port(), "trelvan/test/#");
    ASSERT_TRUE(live->WaitSubscribed());
  }
  QStringList PollArgs(int intervalMs) const {
    return {"poll", "--record", "x.sqlite", "--json", "--interval", QString::number(intervalMs), "--reply-ms",
            QString::number(kReplyMs), "--device", sim->device(), "--mqtt", QString::fromStdString(broker->url()),
            "--site", "test"};
  }
  // The readings of the record, each as poll --json prints it.
  QStringList Recorded() {
    RecordReader reader;
    if (const auto problem = reader.Open(dir / "x.sqlite")) return {QString::fromStdString(*problem)};
    QStringList lines;
    reader.ForEachReading({}, [&](const Reading& r) { lines << QString::fromStdString(ReadingJson(r)); return true; });
    return lines;
  }

  std::unique_ptr<RunningBroker> broker;
  std::unique_ptr<Subscriber> live;
};

TEST_F(PollOutlets, EachReadingGoesToTheOutputTheRecordAndTheBrokerAlike) {
  const auto [exitCode, out, err, lines] = RunCli(folder(), PollArgs(100) + QStringList{"--passes", "3"});
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
  ASSERT_FALSE(reader.Open(dir / "x.sqlite"));
  ASSERT_EQ(reader.AlarmEvents({}).size(), 1u);
  EXPECT_TRUE(reader.AlarmEvents({})[0].raised);

  // The broker got each reading in order, the alarm, and the status:
  // "online", and "offline" at the end, after everything queued.
  ASSERT_TRUE(live->WaitForPayload("trelvan/test/status", "offline")) << broker->log();
  const auto payloads = [&](const std::string& topic) {
    std::vector<std::string> of;
    for (const ReceivedMessage& m : live->On("trelvan/test/" + topic)) of.push_back(m.payload);
    return of;
  };
  for (int channel : {0, 1}) {
    std::vector<std::string> printed;
    for (const QString& line : lines)
      if (line.contains(QStringLiteral("\"channel\":%1,").arg(channel))) printed.push_back(line.toStdString());
    EXPECT_EQ(payloads("kanal/" + std::to_string(channel)), printed);
  }
  EXPECT_EQ(payloads("alarm").size(), 1u);
  EXPECT_EQ(payloads("status"), (std::vector<std::string>{"online", "offline"}));
}

// kill -9: the record opens with every pass committed before, and the broker
// tells the poller's last will, kept for whoever subscribes later.
TEST_F(PollOutlets, AKilledPollerLeavesEveryCommittedPassAndItsWill) {
  QProcess poll;
  poll.setWorkingDirectory(folder());
  poll.start(CliPath(), PollArgs(50));
  QStringList printed;
  const auto readLines = [&] {
    while (poll.canReadLine()) printed << QString::fromUtf8(poll.readLine()).trimmed();
  };
  while (printed.size() < 11 && poll.waitForReadyRead(10000)) readLines();
  ASSERT_GE(printed.size(), 11);
  ASSERT_TRUE(live->WaitForPayload("trelvan/test/status", "online")) << broker->log();
  ::kill(static_cast<pid_t>(poll.processId()), SIGKILL);
  poll.waitForFinished(10000);
  readLines();

  // A pass is committed before the next one begins.
  const qsizetype lastPassStarted = (printed.size() - 1) / 2 * 2;
  const QStringList recorded = Recorded();
  ASSERT_GE(recorded.size(), lastPassStarted);
  EXPECT_EQ(recorded, printed.mid(0, recorded.size()));

  ASSERT_TRUE(live->WaitForPayload("trelvan/test/status", "offline")) << broker->log();
  const auto kept = Subscriber(broker->port(), "trelvan/test/status").WaitForPayload("trelvan/test/status", "offline");
  ASSERT_TRUE(kept);
  EXPECT_TRUE(kept->retain);
}

} // namespace
} // namespace trelvan
