// trelvan-cli export, run as a process the way scripts use it.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>

#include "cli_run.h"
#include "logger/logger_export.h"
#include "logger/logger_file_builder.h"
#include "support/temp_folder.h"

namespace trelvan {
namespace {

namespace fs = std::filesystem;
using testing::CliRun;
using testing::LoggerFileBuilder;
using testing::TempFolder;

class ExportCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testing::CliBuilt()) GTEST_SKIP() << "trelvan-cli not built";
    LoggerFileBuilder log;
    log.channel1("06", "BECKEN 1", 10).channel2("03", "ZULAUF", 0);
    const testing::RecordBytes r{.primary1 = 725, .primary2 = -5};
    log.record(r).emptyRecord().record(r);
    folder.write("station.log", log.bytes());
    fs::create_directories(out);
  }
  CliRun Export(const QStringList& extra) {
    return testing::RunCli(QString::fromStdString(folder.path().string()),
                           QStringList{"export", "station.log", "--out-dir", "out"} + extra);
  }

  TempFolder folder;
  fs::path out = folder / "out";
};

// A refused export writes nothing: an existing output file with content
// needs --replace or --append, and bad arguments or folders are status 2.
// What is written is byte for byte what the logger file's window writes.
TEST_F(ExportCommandTest, WritesTheWindowsBytesOnlyWhenAllowed) {
  folder.write("out/pH_ZULAUF.xls", "old");
  const struct { QStringList args; const char* says; } cases[] = {
      {{}, "pH_ZULAUF.xls"},
      {{"--replace", "--append"}, "schließen einander aus"},
      {{"--decimal", "5"}, "Ziffer"},
      {{"--out-dir", "missing"}, "'missing' existiert nicht"},
  };
  for (const auto& c : cases) {
    const CliRun run = Export(c.args);
    EXPECT_EQ(run.exitCode, 2) << c.says;
    EXPECT_TRUE(run.err.contains(QString::fromUtf8(c.says))) << run.err.toStdString();
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 1);
  EXPECT_EQ(folder.read("out/pH_ZULAUF.xls"), "old");

  ASSERT_EQ(Export({"--append"}).exitCode, 0);
  EXPECT_EQ(folder.read("out/pH_ZULAUF.xls").substr(0, 12), "oldLogger : ");

  const CliRun run = Export({"--replace", "--decimal", ","});
  ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
  EXPECT_EQ(run.out.toStdString(), "out/Durchfluss_BECKEN 1.xls\nout/pH_ZULAUF.xls\n"
                                   "2 Datensätze geschrieben (1 leere übergangen)\n");
  EXPECT_EQ(run.err.toStdString(), ""); // no progress: stderr is not a terminal
  fs::create_directories(folder / "library");
  ASSERT_TRUE(ExportLoggerFile({folder / "station.log", folder / "library", ","}, {}, {}).ok());
  for (const char* name : {"Durchfluss_BECKEN 1.xls", "pH_ZULAUF.xls"})
    EXPECT_EQ(folder.read(std::string("out/") + name), folder.read(std::string("library/") + name));

  // An unreadable logger file is status 1.
  folder.write("station.log", "short");
  const CliRun shortFile = Export({"--replace"});
  EXPECT_EQ(shortFile.exitCode, 1);
  EXPECT_TRUE(shortFile.err.contains("station.log")) << shortFile.err.toStdString();
}

// SIGINT or SIGTERM in the middle: the export stops with status 1, and the
// appended file goes back to its old length.
TEST_F(ExportCommandTest, AnInterruptedExportLeavesTheFilesAsTheyWere) {
  LoggerFileBuilder log;
  log.channel1("03", "A", 0).channel2("03", "B", 0);
  for (int i = 0; i < 8192; ++i) log.record({.primary1 = 725});
  const std::string bytes = log.bytes();
  const std::string records = bytes.substr(kLoggerHeaderSize);
  for (int signal : {SIGINT, SIGTERM}) {
    folder.write("out/pH_A.xls", "old A");
    fs::remove(folder / "fed.log");
    ASSERT_EQ(mkfifo((folder / "fed.log").c_str(), 0600), 0);
    const int feed = ::open((folder / "fed.log").c_str(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(feed, 0);

    QProcess p;
    p.setWorkingDirectory(QString::fromStdString(folder.path().string()));
    p.start(testing::CliPath(), {"export", "fed.log", "--out-dir", "out", "--append"});
    ASSERT_TRUE(p.waitForStarted());
    // Feed records until the export has written a part (5 MB); then signal,
    // and go on feeding until it notices.
    constexpr std::size_t part = std::size_t{5} << 20;
    std::string pending = bytes;
    std::size_t fed = 0;
    QElapsedTimer clock;
    clock.start();
    while (p.state() != QProcess::NotRunning && clock.elapsed() < 20000) {
      const std::size_t n = static_cast<std::size_t>(std::max<ssize_t>(::write(feed, pending.data(), pending.size()), 0));
      if (n == 0) p.waitForFinished(5);
      pending = n == pending.size() ? records : pending.substr(n);
      if (fed < part && (fed += n) >= part) ::kill(static_cast<pid_t>(p.processId()), signal);
    }
    ::close(feed);
    ASSERT_TRUE(p.state() == QProcess::NotRunning || p.waitForFinished(5000));
    const std::string err = p.readAllStandardError().toStdString();
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit) << signal;
    EXPECT_EQ(p.exitCode(), 1) << err;
    EXPECT_NE(err.find("abgebrochen"), std::string::npos) << err;
    EXPECT_NE(err.find("out/pH_A.xls', 'out/pH_B.xls'"), std::string::npos) << err;
    EXPECT_EQ(folder.read("out/pH_A.xls"), "old A");
  }
}

} // namespace
} // namespace trelvan
