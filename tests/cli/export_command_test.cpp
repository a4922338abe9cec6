// trelvan-cli export, run as a process the way scripts use it.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>

#include "logger/logger_export.h"
#include "logger/logger_file_builder.h"
#include "support/temp_folder.h"

namespace trelvan {
namespace {

namespace fs = std::filesystem;
using testing::LoggerFileBuilder;
using testing::TempFolder;

struct CliRun {
  int exitCode;
  std::string out;
  std::string err;
};

class ExportCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    cli = qEnvironmentVariable("TRELVAN_CLI");
#ifdef TRELVAN_CLI_PATH
    if (cli.isEmpty()) cli = TRELVAN_CLI_PATH;
#endif
    if (cli.isEmpty() || !QFileInfo::exists(cli)) GTEST_SKIP() << "trelvan-cli not built";
    LoggerFileBuilder log;
    log.channel1("06", "BECKEN 1", 10).channel2("03", "ZULAUF", 0);
    testing::RecordBytes r;
    r.primary1 = 725;
    r.primary2 = -5;
    log.record(r).emptyRecord().record(r);
    folder.write("station.log", log.bytes());
    fs::create_directories(out);
  }
  CliRun Export(QStringList extra) {
    QProcess p;
    p.setWorkingDirectory(QString::fromStdString(folder.path().string()));
    p.start(cli, QStringList{"export", "station.log", "--out-dir", "out"} + extra);
    p.waitForFinished(30000);
    return {p.exitCode(), p.readAllStandardOutput().toStdString(),
            p.readAllStandardError().toStdString()};
  }

  QString cli;
  TempFolder folder;
  fs::path out = folder / "out";
};

TEST_F(ExportCommandTest, WritesTheWindowsBytesAndSaysWhat) {
  const CliRun run = Export({"--decimal", ","});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "out/Durchfluss_BECKEN 1.xls\nout/pH_ZULAUF.xls\n"
                     "2 Datensätze geschrieben (1 leere übergangen)\n");
  EXPECT_EQ(run.err, ""); // no progress: stderr is not a terminal

  fs::create_directories(folder / "library");
  const ExportResult same =
      ExportLoggerFile({folder / "station.log", folder / "library", ","}, {}, {});
  ASSERT_TRUE(same.ok());
  for (const char* name : {"Durchfluss_BECKEN 1.xls", "pH_ZULAUF.xls"})
    EXPECT_EQ(folder.read(std::string("out/") + name), folder.read(std::string("library/") + name));
  EXPECT_NE(folder.read("out/pH_ZULAUF.xls").find("\t-0,05\t"), std::string::npos);
}

TEST_F(ExportCommandTest, ExistingOutputNeedsReplaceOrAppend) {
  folder.write("out/pH_ZULAUF.xls", "old");
  const CliRun refused = Export({});
  EXPECT_EQ(refused.exitCode, 2);
  EXPECT_NE(refused.err.find("pH_ZULAUF.xls"), std::string::npos) << refused.err;
  EXPECT_FALSE(fs::exists(out / "Durchfluss_BECKEN 1.xls"));
  EXPECT_EQ(folder.read("out/pH_ZULAUF.xls"), "old");

  EXPECT_EQ(Export({"--replace", "--append"}).exitCode, 2);

  ASSERT_EQ(Export({"--append"}).exitCode, 0);
  EXPECT_EQ(folder.read("out/pH_ZULAUF.xls").substr(0, 12), "oldLogger : ");
  ASSERT_EQ(Export({"--replace"}).exitCode, 0);
  EXPECT_EQ(folder.read("out/pH_ZULAUF.xls").substr(0, 9), "Logger : ");
}

TEST_F(ExportCommandTest, BadInputIsAnErrorExit) {
  folder.write("not-a-folder", "x");
  struct Case {
    QStringList args;
    int exitCode;
    const char* says;
  };
  const Case cases[] = {
      {{"--decimal", "5"}, 2, "Ziffer"},
      {{"--decimal", "abc"}, 2, "einzelnes Zeichen"},
      {{"--decimal", ""}, 2, "leer"},
      {{"--bogus"}, 2, "--bogus"},
      {{"--out-dir", "not-a-folder"}, 2, "'not-a-folder' ist kein Ordner"},
      {{"--out-dir", "missing"}, 2, "'missing' existiert nicht"},
  };
  for (const Case& c : cases) {
    const CliRun run = Export(c.args);
    EXPECT_EQ(run.exitCode, c.exitCode) << c.says;
    EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
  }
  folder.write("station.log", "short");
  const CliRun shortFile = Export({});
  EXPECT_EQ(shortFile.exitCode, 1);
  EXPECT_NE(shortFile.err.find("station.log"), std::string::npos);
  EXPECT_TRUE(fs::is_empty(out));
}

// SIGINT or SIGTERM in the middle: the export stops, the appended file goes
// back to its old length and the new one never appears.
TEST_F(ExportCommandTest, AnInterruptedExportLeavesTheFilesAsTheyWere) {
  LoggerFileBuilder log;
  log.channel1("03", "A", 0).channel2("03", "B", 0);
  testing::RecordBytes r;
  r.primary1 = 725;
  for (int i = 0; i < 8192; ++i) log.record(r);
  const std::string bytes = log.bytes();
  const std::string records = bytes.substr(kLoggerHeaderSize);
  for (int signal : {SIGINT, SIGTERM}) {
    fs::remove_all(out);
    fs::create_directories(out);
    folder.write("out/pH_A.xls", "old A");
    fs::remove(folder / "fed.log");
    ASSERT_EQ(mkfifo((folder / "fed.log").c_str(), 0600), 0);
    const int feed = ::open((folder / "fed.log").c_str(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(feed, 0);

    QProcess p;
    p.setWorkingDirectory(QString::fromStdString(folder.path().string()));
    p.start(cli, {"export", "fed.log", "--out-dir", "out", "--append"});
    ASSERT_TRUE(p.waitForStarted());
    // Feed records until the export has written a part; then signal, and go
    // on feeding until it notices.
    std::string pending = bytes;
    std::size_t fed = 0;
    bool signalled = false;
    QElapsedTimer clock;
    clock.start();
    while (p.state() != QProcess::NotRunning && clock.elapsed() < 20000) {
      if (pending.empty()) pending = records;
      const ssize_t n = ::write(feed, pending.data(), pending.size());
      if (n > 0) {
        pending.erase(0, static_cast<std::size_t>(n));
        fed += static_cast<std::size_t>(n);
      } else {
        p.waitForFinished(5);
      }
      if (!signalled && fed > (std::size_t{5} << 20)) {
        ::kill(static_cast<pid_t>(p.processId()), signal);
        signalled = true;
      }
    }
    ::close(feed);
    if (p.state() != QProcess::NotRunning) {
      ASSERT_TRUE(p.waitForFinished(5000));
    }
    const std::string err = p.readAllStandardError().toStdString();
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit) << signal;
    EXPECT_EQ(p.exitCode(), 1) << err;
    EXPECT_NE(err.find("abgebrochen"), std::string::npos) << err;
    EXPECT_NE(err.find("out/pH_A.xls', 'out/pH_B.xls'"), std::string::npos) << err;
    EXPECT_EQ(folder.read("out/pH_A.xls"), "old A");
    EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 1);
  }
}

} // namespace
} // namespace trelvan
