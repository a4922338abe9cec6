#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "logger/logger_export.h"
#include "logger/logger_reset.h"
#include "logger_file_builder.h"
#include "support/temp_folder.h"

namespace trelvan {
namespace {

namespace fs = std::filesystem;
using testing::LoggerFileBuilder;
using testing::RecordBytes;
using testing::TempFolder;

class LoggerExportTest : public ::testing::Test {
 protected:
  ExportRequest Request(const std::string& bytes, const char* separator = ",") {
    folder.write("station.log", bytes);
    fs::create_directories(out);
    return {folder / "station.log", out, separator};
  }
  ExportResult Export(const std::string& bytes, ExistingOutput answer = ExistingOutput::Cancel) {
    return ExportLoggerFile(Request(bytes), {}, [&](const PlannedOutput& o) {
      asked.push_back(o.fileName);
      return answer;
    });
  }
  std::string Read(const std::string& name) const {
    std::ifstream in(out / PathFromUtf8(name), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  std::set<std::string> OutputFiles() const {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(out)) names.insert(PathText(e.path().filename()));
    return names;
  }

  TempFolder folder;
  fs::path out = folder / "out";
  std::vector<std::string> asked;
};

TEST_F(LoggerExportTest, FlowAndPhChannelsSkipEmptyRecordsButCountThem) {
  LoggerFileBuilder log;
  log.channel1("06", "BECKEN 1", 10).channel2("03", "ZULAUF", 0);
  RecordBytes r1;
  r1.volume1 = 0x00012345;
  r1.primary1 = 725;
  r1.secondary1 = 230;
  r1.volume2 = 0x99999999;
  r1.primary2 = -5;
  r1.secondary2 = -5;
  RecordBytes r4;
  r4.day = r4.month = 0x01;
  r4.year = r4.hour = r4.minute = 0;
  r4.secondary1 = -32768;
  r4.primary2 = 100;
  log.record(r1).emptyRecord().emptyRecord().record(r4);

  std::vector<ExportProgress> reports;
  const ExportResult result = ExportLoggerFile(
      Request(log.bytes()), [&](const ExportProgress& p) { reports.push_back(p); }, {});

  ASSERT_EQ(result.status, ExportStatus::Done) << result.message;
  EXPECT_EQ(Read("Durchfluss_BECKEN 1.xls"),
            "Logger : BECKEN 1        \r\n\r\nDurchfluss\r\n\r\n"
            "Datum\tUhr\tm3/h\t\xB0" "C\tGesamtvolumen M3\r\n"
            "25/3/12\t9:5\t7,25\t23\t00012345\r\n"
            "1/1/0\t0:0\t0\t-3276,8\t00000000\r\n");
  EXPECT_EQ(Read("pH_ZULAUF.xls"),
            "Logger : ZULAUF          \r\n\r\npH\r\n\r\nDatum\tUhr\tpH\t\xB0" "C\r\n"
            "25/3/12\t9:5\t-0,05\t-0,5\t\r\n"
            "1/1/0\t0:0\t1\t0\t\r\n");
  EXPECT_EQ(result.recordsRead, 4u);
  EXPECT_EQ(result.linesWritten, 2u);
  // The last record's position counts the two empty ones before it.
  EXPECT_EQ(result.lastProgressText, "4 : 1/1/0 0:0  0 -32768 00000000");
  ASSERT_FALSE(reports.empty());
  EXPECT_EQ(reports.back().text, result.lastProgressText);
  EXPECT_EQ(reports.back().recordsExpected, 4u);
  EXPECT_EQ(FinishedMessage(result), "Ende der Ablesung");
}

TEST_F(LoggerExportTest, HeaderOnlyFileGivesTheFiveHeaderLines) {
  LoggerFileBuilder log;
  log.channel1("03", "BECKEN 1", 0).channel2("04", "BECKEN 2", 0);
  const ExportResult result = Export(log.bytes());
  ASSERT_EQ(result.status, ExportStatus::Done) << result.message;
  EXPECT_EQ(Read("pH_BECKEN 1.xls"), "Logger : BECKEN 1        \r\n\r\npH\r\n\r\nDatum\tUhr\tpH\t\xB0" "C\r\n");
  EXPECT_EQ(Read("Redox_BECKEN 2.xls"), "Logger : BECKEN 2        \r\n\r\nRedox\r\n\r\nDatum\tUhr\tmV\t\xB0" "C\r\n");
  EXPECT_EQ(result.linesWritten, 0u);
  EXPECT_EQ(result.lastProgressText, "");
}

TEST_F(LoggerExportTest, DualResistivityOnBothChannels) {
  LoggerFileBuilder log;
  log.channel1("0>", "A", 5).channel2("0>", "B", 1);
  RecordBytes r;
  r.primary1 = 1234;   // / 1000 MOhm
  r.secondary1 = 1234; // / 100
  r.primary2 = 15;     // / 10 Ohm
  r.secondary2 = 7;
  log.record(r);
  ASSERT_EQ(Export(log.bytes()).status, ExportStatus::Done);
  EXPECT_EQ(Read("R_862_A.xls"),
            "Logger : A               \r\n\r\nR_862\r\n\r\nDatum\tUhr\tMOhm\tMOhm\r\n"
            "25/3/12\t9:5\t1,234\t12,34\t\r\n");
  EXPECT_EQ(Read("R_862_B.xls"),
            "Logger : B               \r\n\r\nR_862\r\n\r\nDatum\tUhr\tOhm\tOhm\r\n"
            "25/3/12\t9:5\t1,5\t0,07\t\r\n");
}

TEST_F(LoggerExportTest, TypesWithoutARuleAndUnknownCodes) {
  LoggerFileBuilder log;
  log.channel1("12", "X", 3).channel2("0A", "Y", 0); // channel 2: unknown, not exported
  RecordBytes r;
  r.primary1 = 1234;
  r.secondary1 = 235;
  log.record(r);
  ASSERT_EQ(Export(log.bytes()).status, ExportStatus::Done);
  EXPECT_EQ(OutputFiles(), std::set<std::string>{"731 CHLORDIOXID_X.xls"});
  EXPECT_EQ(Read("731 CHLORDIOXID_X.xls"),
            "Logger : X               \r\n\r\n731 CHLORDIOXID\r\n\r\nDatum\tUhr\t\r\n"
            "25/3/12\t9:5\t1234\t23,5\t\r\n");

  // Channel 1 is exported even when its code is unknown.
  LoggerFileBuilder unknown;
  unknown.channel1("ZZ", "X", 0).record(r);
  ASSERT_EQ(Export(unknown.bytes()).status, ExportStatus::Done);
  EXPECT_EQ(Read("_X.xls"), "Logger : X               \r\n\r\n\r\n\r\nDatum\tUhr\t\r\n"
                            "25/3/12\t9:5\t1234\t23,5\t\r\n");
}

TEST_F(LoggerExportTest, ExistingOutputIsReplacedAppendedOrLeftAlone) {
  LoggerFileBuilder log;
  log.channel1("03", "A", 0).channel2("03", "B", 0);
  RecordBytes r;
  r.primary1 = 700;
  log.record(r);
  const std::string blockA =
      "Logger : A               \r\n\r\npH\r\n\r\nDatum\tUhr\tpH\t\xB0" "C\r\n25/3/12\t9:5\t7\t0\t\r\n";
  fs::create_directories(out);
  std::ofstream(out / "pH_B.xls", std::ios::binary) << "old";

  // Cancel: asked about B only, and A is not even created.
  EXPECT_EQ(Export(log.bytes(), ExistingOutput::Cancel).status, ExportStatus::Cancelled);
  EXPECT_EQ(asked, std::vector<std::string>{"pH_B.xls"});
  EXPECT_EQ(OutputFiles(), std::set<std::string>{"pH_B.xls"});
  EXPECT_EQ(Read("pH_B.xls"), "old");

  // No: a second block follows the old content.
  ASSERT_EQ(Export(log.bytes(), ExistingOutput::Append).status, ExportStatus::Done);
  EXPECT_EQ(Read("pH_B.xls").substr(0, 13), "oldLogger : B");
  EXPECT_EQ(Read("pH_A.xls"), blockA);
  ASSERT_EQ(Export(log.bytes(), ExistingOutput::Append).status, ExportStatus::Done);
  EXPECT_EQ(Read("pH_A.xls"), blockA + blockA);

  // Yes: only the new block.
  ASSERT_EQ(Export(log.bytes(), ExistingOutput::Replace).status, ExportStatus::Done);
  EXPECT_EQ(Read("pH_A.xls"), blockA);

  EXPECT_EQ(ReplaceQuestionText("pH_A.xls"),
            "Datei  'pH_A.xls'  existiert bereits.\nsoll es ersetzt werden ? ");
}

TEST_F(LoggerExportTest, AnEmptyExistingFileIsNotAskedAbout) {
  LoggerFileBuilder log;
  log.channel1("03", "A", 0);
  fs::create_directories(out);
  std::ofstream(out / "pH_A.xls", std::ios::binary).flush();
  ASSERT_EQ(Export(log.bytes()).status, ExportStatus::Done);
  EXPECT_TRUE(asked.empty());
}

TEST_F(LoggerExportTest, ChannelsWithTheSameNameGetTwoFiles) {
  LoggerFileBuilder log;
  log.channel1("03", "A", 0).channel2("03", "A", 0);
  ASSERT_EQ(Export(log.bytes()).status, ExportStatus::Done);
  EXPECT_EQ(OutputFiles(), (std::set<std::string>{"pH_A.xls", "pH_A (2).xls"}));
}

TEST_F(LoggerExportTest, NameFieldsCannotLeaveTheOutputFolder) {
  LoggerFileBuilder log;
  log.channel1("03", "../x", 0).channel2("03", std::string("/etc\0\0\0\0\0\0\0\0\0\0\0\0", 16), 0);
  ASSERT_EQ(Export(log.bytes()).status, ExportStatus::Done);
  EXPECT_EQ(OutputFiles(), (std::set<std::string>{"pH_.._x.xls", "pH__etc.xls"}));
  EXPECT_FALSE(fs::exists(folder / "x.xls"));
  // Inside the file the name field stays as stored.
  EXPECT_EQ(Read("pH__etc.xls").substr(0, 25), std::string("Logger : /etc\0\0\0\0\0\0\0\0\0\0\0\0", 25));
}

TEST_F(LoggerExportTest, ShortFilesAndTrailingFragments) {
  LoggerFileBuilder log;
  log.channel1("03", "A", 0);
  const ExportResult tooShort = Export(log.bytes().substr(0, 57));
  EXPECT_EQ(tooShort.status, ExportStatus::Failed);
  EXPECT_NE(tooShort.message.find("station.log"), std::string::npos) << tooShort.message;
  EXPECT_NE(tooShort.message.find("58 Byte"), std::string::npos);
  EXPECT_TRUE(OutputFiles().empty());

  RecordBytes r;
  log.record(r).raw(std::string(10, '\x25'));
  const ExportResult fragment = Export(log.bytes());
  ASSERT_EQ(fragment.status, ExportStatus::Done);
  EXPECT_EQ(fragment.linesWritten, 1u);
  EXPECT_EQ(fragment.trailingBytes, 10u);
  EXPECT_NE(FinishedMessage(fragment).find("10 Byte"), std::string::npos);
  EXPECT_EQ(FinishedMessage(fragment).rfind("Ende der Ablesung", 0), 0u);
}

TEST_F(LoggerExportTest, FileErrorsStopWithAMessageNamingTheFile) {
  LoggerFileBuilder log;
  log.channel1("03", "A", 0).channel2("03", "B", 0).record({});

  const ExportResult gone = ExportLoggerFile({folder / "missing.log", out, "."}, {}, {});
  EXPECT_EQ(gone.status, ExportStatus::Failed);
  EXPECT_NE(gone.message.find("missing.log"), std::string::npos) << gone.message;

  // The output folder does not exist.
  folder.write("station.log", log.bytes());
  const ExportResult noFolder = ExportLoggerFile({folder / "station.log", folder / "nowhere", "."}, {}, {});
  EXPECT_EQ(noFolder.status, ExportStatus::Failed);
  EXPECT_NE(noFolder.message.find("nowhere/pH_A.xls"), std::string::npos) << noFolder.message;

  // Channel 2's file cannot be created: channel 1's is not left behind either.
  fs::create_directories(out / "pH_B.xls");
  const ExportResult blocked = Export(log.bytes());
  EXPECT_EQ(blocked.status, ExportStatus::Failed);
  EXPECT_NE(blocked.message.find("pH_B.xls"), std::string::npos) << blocked.message;
  EXPECT_FALSE(fs::exists(out / "pH_A.xls"));
  fs::remove(out / "pH_B.xls");

  const ExportResult notAFile = ExportLoggerFile({out, out, "."}, {}, {});
  EXPECT_EQ(notAFile.status, ExportStatus::Failed);

  const ExportResult badSeparator = ExportLoggerFile(Request(log.bytes(), ""), {}, {});
  EXPECT_EQ(badSeparator.status, ExportStatus::Failed);
}

TEST_F(LoggerExportTest, FullDiskIsAFailureNotASuccess) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  LoggerFileBuilder log;
  log.channel1("03", "A", 0);
  for (int i = 0; i < 100; ++i) log.record({});
  fs::create_directories(out);
  fs::create_symlink("/dev/full", out / "pH_A.xls");
  const ExportResult result = Export(log.bytes());
  EXPECT_EQ(result.status, ExportStatus::Failed);
  EXPECT_NE(result.message.find("pH_A.xls"), std::string::npos) << result.message;
}

TEST_F(LoggerExportTest, ProgressComesAtAHumanRateAndAStopEndsTheExport) {
  LoggerFileBuilder log;
  log.channel1("03", "A", 0);
  for (int i = 0; i < 200000; ++i) log.record({});
  int reports = 0;
  const ExportResult result =
      ExportLoggerFile(Request(log.bytes()), [&](const ExportProgress&) { ++reports; }, {});
  ASSERT_EQ(result.status, ExportStatus::Done);
  EXPECT_EQ(result.linesWritten, 200000u);
  EXPECT_GE(reports, 1);
  EXPECT_LT(reports, 100);

  std::stop_source stop;
  stop.request_stop();
  const ExportResult stopped =
      ExportLoggerFile(Request(log.bytes()), {}, [](const PlannedOutput&) { return ExistingOutput::Replace; },
                       stop.get_token());
  EXPECT_EQ(stopped.status, ExportStatus::Cancelled);
  EXPECT_LT(stopped.recordsRead, 200000u);
}

TEST(LoggerReset, EmptiesOrCreatesAndReportsFailures) {
  TempFolder folder;
  folder.write("a.log", std::string(100, 'x'));
  EXPECT_EQ(ResetLoggerFile(folder / "a.log"), std::nullopt);
  EXPECT_TRUE(fs::exists(folder / "a.log"));
  EXPECT_EQ(fs::file_size(folder / "a.log"), 0u);

  EXPECT_EQ(CreateLoggerFile(folder.path()), std::nullopt);
  EXPECT_EQ(fs::file_size(folder / "Kestrane.log"), 0u);

  fs::create_directories(folder / "locked.log");
  const auto resetError = ResetLoggerFile(folder / "locked.log");
  ASSERT_TRUE(resetError.has_value());
  EXPECT_NE(resetError->find("locked.log"), std::string::npos) << *resetError;

  const auto createError = CreateLoggerFile(folder / "gone");
  ASSERT_TRUE(createError.has_value());
  EXPECT_NE(createError->find("gone/Kestrane.log"), std::string::npos) << *createError;
}

} // namespace
} // namespace trelvan
