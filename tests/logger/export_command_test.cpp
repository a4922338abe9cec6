// trelvan-cli export, run as a process the way scripts use it.
#include <gtest/gtest.h>

#include <QFileInfo>
#include <QProcess>

#include <filesystem>

#include "logger/logger_export.h"
#include "logger_file_builder.h"
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
  ASSERT_EQ(same.status, ExportStatus::Done);
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
  folder.write("station.log", "short");
  const CliRun shortFile = Export({});
  EXPECT_EQ(shortFile.exitCode, 1);
  EXPECT_NE(shortFile.err.find("station.log"), std::string::npos);
  EXPECT_TRUE(fs::is_empty(out));
  EXPECT_EQ(Export({"--decimal", "5"}).exitCode, 2);
  EXPECT_EQ(Export({"--bogus"}).exitCode, 2);
}

} // namespace
} // namespace trelvan
