// End to end: trelvan-cli poll against trelvan-cli sim over a pseudo-terminal.
#include <gtest/gtest.h>

#include <QProcess>

#include "core/channel_table.h"
#include "support/cli_processes.h"
#include "support/temp_folder.h"

namespace trelvan {
namespace {

using testing::CliBuilt;
using testing::CliPath;
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
  if (!p.waitForFinished(30000)) {
    p.kill();
    p.waitForFinished();
    return run;
  }
  run.exitCode = p.exitCode();
  run.lines = QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
  run.err = QString::fromUtf8(p.readAllStandardError());
  return run;
}

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
                       {"--json", "--passes", "2", "--interval", "0", "--device", sim.device()});
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

} // namespace
} // namespace trelvan
