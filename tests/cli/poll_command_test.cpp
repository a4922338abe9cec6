// trelvan-cli poll against trelvan-cli sim over a pseudo-terminal, as a
// script runs it.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>

#include <csignal>
#include <thread>

#include "core/channel_table.h"
#include "support/cli_processes.h"
#include "support/soak.h"
#include "support/temp_folder.h"

namespace trelvan {
namespace {

using testing::CliBuilt;
using testing::CliPath;
using testing::kReplyMs;
using Simulator = testing::SimProcess;

struct PollRun {
  int exitCode = -1;
  QStringList lines;
  QString err;
};

PollRun Poll(const QString& folder, const QStringList& args) {
  QProcess p;
  p.setWorkingDirectory(folder);
  p.start(CliPath(), QStringList{"poll"} + args);
  PollRun run;
  if (!p.waitForFinished(60000)) {
    p.kill();
    p.waitForFinished();
    return run;
  }
  run.exitCode = p.exitCode();
  run.lines = QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
  run.err = QString::fromUtf8(p.readAllStandardError());
  return run;
}

// A folder with one pH channel at station 5 and a silent one at station 4,
// and the simulator serving it.
class PollFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!CliBuilt()) GTEST_SKIP() << "trelvan-cli not built";
    ChannelTable table;
    table[0] = {1, 2, "5", "Becken", true, false};
    table[1] = {1, 2, "4", "Stumm", true, false};
    ASSERT_TRUE(SaveChannelTable(table, dir.path()).ok());
    dir.write("scenario.txt", "5 master pH 0 0 0 702 215 0 0 0\n4 master pH\n");
    sim = std::make_unique<Simulator>(folder(), QStringList{"--config", "scenario.txt", "--silent", "4"});
    if (sim->device().isEmpty()) GTEST_SKIP() << "no pseudo-terminal";
  }
  QString folder() const { return QString::fromStdString(dir.path().string()); }

  testing::TempFolder dir;
  std::unique_ptr<Simulator> sim;
};

TEST(PollCommand, FourChannelsOneExtOneSilentAgainstTheSimulator) {
  if (!CliBuilt()) GTEST_SKIP() << "trelvan-cli not built";
  testing::TempFolder dir;
  ChannelTable table;
  table[0] = {1, 0, "1", "Reinwasser", true, false};  // resistivity
  table[1] = {1, 5, "2", "Zulauf", false, true};      // flow on the Ext. block
  table[2] = {1, 12, "3", "Ablauf", true, false};     // turbidity
  table[3] = {1, 2, "4", "Becken", true, false};      // pH, silent
  ASSERT_TRUE(SaveChannelTable(table, dir.path()).ok());
  dir.write("scenario.txt",
            "1 master 0  0x0002 0 0 1234 215 0 0 0\n"
            "2 ext    5  0x000A 0x3456 0x0012 1234 123 0 0x0999 0x0000\n"
            "3 master 12 0x0042 0 0 1234 -20 0 0 0\n"
            "4 master 2\n");
  Simulator sim(QString::fromStdString(dir.path().string()),
                {"--config", "scenario.txt", "--silent", "4"});
  if (sim.device().isEmpty()) GTEST_SKIP() << "no pseudo-terminal";

  const PollRun run = Poll(QString::fromStdString(dir.path().string()),
                           {"--json", "--passes", "2", "--interval", "0", "--reply-ms", QString::number(kReplyMs),
                            "--device", sim.device()});
  ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
  ASSERT_EQ(run.lines.size(), 8) << run.lines.join("\n").toStdString();
  const QStringList expected{
      R"({"pass":1,"channel":0,"ok":true,"text":"1.234 kOhm 21.5 °C"})",
      R"({"pass":1,"channel":1,"ok":true,"text":"  12.34  m3/h    12.3  °C\r\n 999   m3  \r\n 123456   m3  "})",
      R"({"pass":1,"channel":2,"ok":true,"text":" 12.34  FNU     -2.0  °C"})",
      R"({"pass":1,"channel":3,"ok":false,"text":"Außer Betrieb"})",
  };
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(run.lines[i].toStdString(), expected[i].toStdString());
    EXPECT_EQ(run.lines[i + 4].toStdString(), QString(expected[i]).replace("\"pass\":1", "\"pass\":2").toStdString());
  }
}

TEST(PollCommand, TextOutputAndALineThatCannotBeOpened) {
  if (!CliBuilt()) GTEST_SKIP() << "trelvan-cli not built";
  testing::TempFolder dir;
  ChannelTable table;
  table[0] = {1, 5, "2", "Zulauf", true, false};
  ASSERT_TRUE(SaveChannelTable(table, dir.path()).ok());
  dir.write("scenario.txt", "2 master 5 0x000A 0x3456 0x0012 1234 123 0 0x0999 0x0000\n");
  const QString folder = QString::fromStdString(dir.path().string());
  {
    Simulator sim(folder, {"--config", "scenario.txt"});
    if (sim.device().isEmpty()) GTEST_SKIP() << "no pseudo-terminal";
    const PollRun run = Poll(folder, {"--passes", "1", "--interval", "0", "--device", sim.device(),
                                      "--decimal", ","});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    ASSERT_EQ(run.lines.size(), 1);
    EXPECT_EQ(run.lines[0].toStdString(), "Kanal 0:   12,34  m3/h    12,3  °C |  999   m3   |  123456   m3  ");
  }
  const PollRun failed = Poll(folder, {"--passes", "1", "--device", folder + "/no-such-device"});
  EXPECT_EQ(failed.exitCode, 1);
  EXPECT_TRUE(failed.err.contains("no-such-device")) << failed.err.toStdString();
}

TEST(PollCommand, RefusesOptionsItCannotUseBeforeTouchingTheLine) {
  if (!CliBuilt()) GTEST_SKIP() << "trelvan-cli not built";
  testing::TempFolder dir;
  const QString folder = QString::fromStdString(dir.path().string());
  const struct {
    QStringList args;
    const char* named; // in the message
  } cases[] = {
      {{"--device", ""}, "--device"},     // would fall back to the configured port
      {{"--decimal", ""}, "--decimal"},   // "723 pH"
      {{"--decimal", "5"}, "--decimal"},  // "7523 pH"
      {{"--decimal", " "}, "--decimal"},
      {{"--reply-ms", "99"}, "--reply-ms"},
      {{"--reply-ms", "10001"}, "--reply-ms"},
      {{"--passes", "0"}, "--passes"},
  };
  for (const auto& c : cases) {
    const PollRun run = Poll(folder, QStringList{"--passes", "1"} + c.args);
    EXPECT_EQ(run.exitCode, 2) << c.args.join(' ').toStdString();
    EXPECT_TRUE(run.err.contains(c.named)) << run.err.toStdString();
    EXPECT_TRUE(run.lines.isEmpty());
  }
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
    EXPECT_EQ(out.count('\n'), 1) << out.toStdString();
    EXPECT_FALSE(out.contains("\"channel\":1")) << out.toStdString();
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

} // namespace
} // namespace trelvan
