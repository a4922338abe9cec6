#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <map>
#include <set>
#include <thread>

#include "logger/logger_export.h"
#include "logger/logger_reset.h"
#include "logger/logger_texts.h"
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
  std::string Read(const std::string& name) const { return folder.read("out/" + name); }
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
  const RecordBytes r1{.volume1 = 0x00012345, .primary1 = 725, .secondary1 = 230, .volume2 = 0x99999999,
                       .primary2 = -5, .secondary2 = -5};
  const RecordBytes r4{.day = 1, .month = 1, .year = 0, .hour = 0, .minute = 0, .secondary1 = -32768, .primary2 = 100};
  log.record(r1).emptyRecord().emptyRecord().record(r4);

  std::vector<ExportProgress> reports;
  const ExportResult result = ExportLoggerFile(
      Request(log.bytes() + std::string(10, '\x25')), [&](const ExportProgress& p) { reports.push_back(p); }, {});

  ASSERT_TRUE(result.ok()) << result.outcome.text;
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
  // A fragment at the end is no record, and the closing message says so.
  EXPECT_EQ(result.trailingBytes, 10u);
  const std::string finished = logger_text::Finished(result.trailingBytes);
  EXPECT_TRUE(finished.starts_with("Ende der Ablesung") && finished.find("10 Byte") != std::string::npos) << finished;
}

// The other channel types, names and codes, each file byte for byte; the
// header is in Windows-1252.
TEST_F(LoggerExportTest, EachChannelGetsItsFileWithItsHeaderAndColumns) {
  const RecordBytes r{.primary1 = 1234, .secondary1 = 235, .primary2 = 15, .secondary2 = 7};
  const struct { const char* name; LoggerFileBuilder log; std::map<std::string, std::string> files; } cases[] = {
      {"header only, no records",
       LoggerFileBuilder().channel1("03", "BECKEN 1", 0).channel2("02", "BECKEN 2", 1),
       {{"pH_BECKEN 1.xls", "Logger : BECKEN 1        \r\n\r\npH\r\n\r\nDatum\tUhr\tpH\t\xB0" "C\r\n"},
        {"Leitfähigkeit_BECKEN 2.xls",
         "Logger : BECKEN 2        \r\n\r\nLeitf\xE4higkeit\r\n\r\nDatum\tUhr\t\xB5S\t\xB0" "C\r\n"}}},
      {"dual resistivity: MOhm / 1000 and / 100, Ohm / 10 and / 100",
       LoggerFileBuilder().channel1("0>", "A", 5).channel2("0>", "B", 1).record(r),
       {{"R_862_A.xls", "Logger : A               \r\n\r\nR_862\r\n\r\nDatum\tUhr\tMOhm\tMOhm\r\n"
                        "25/3/12\t9:5\t1,234\t2,35\t\r\n"},
        {"R_862_B.xls", "Logger : B               \r\n\r\nR_862\r\n\r\nDatum\tUhr\tOhm\tOhm\r\n"
                        "25/3/12\t9:5\t1,5\t0,07\t\r\n"}}},
      {"no unit rule: undivided, no unit columns; unknown code on channel 2: no file",
       LoggerFileBuilder().channel1("12", "X", 3).channel2("0A", "Y", 0).record(r),
       {{"731 CHLORDIOXID_X.xls", "Logger : X               \r\n\r\n731 CHLORDIOXID\r\n\r\nDatum\tUhr\t\r\n"
                                  "25/3/12\t9:5\t1234\t23,5\t\r\n"}}},
      {"unknown code on channel 1 is exported", LoggerFileBuilder().channel1("ZZ", "X", 0).record(r),
       {{"_X.xls", "Logger : X               \r\n\r\n\r\n\r\nDatum\tUhr\t\r\n25/3/12\t9:5\t1234\t23,5\t\r\n"}}},
      {"an empty unit text keeps its column", LoggerFileBuilder().channel1("0=", "X", 0x0083).record(r),
       {{"Trübung_X.xls", "Logger : X               \r\n\r\nTr\xFC" "bung\r\n\r\nDatum\tUhr\t\t\xB0" "C\r\n"
                          "25/3/12\t9:5\t123,4\t23,5\t\r\n"}}},
      {"same names", LoggerFileBuilder().channel1("03", "A", 0).channel2("03", "A", 0),
       {{"pH_A.xls", "Logger : A               \r\n\r\npH\r\n\r\nDatum\tUhr\tpH\t\xB0" "C\r\n"},
        {"pH_A (2).xls", "Logger : A               \r\n\r\npH\r\n\r\nDatum\tUhr\tpH\t\xB0" "C\r\n"}}},
      {"names that would leave the folder; inside the file the field stays as stored",
       LoggerFileBuilder().channel1("03", "../x", 0).channel2("03", std::string("/etc\0\0\0\0\0\0\0\0\0\0\0\0", 16),
                                                              0),
       {{"pH_.._x.xls", "Logger : ../x            \r\n\r\npH\r\n\r\nDatum\tUhr\tpH\t\xB0" "C\r\n"},
        {"pH__etc.xls", "Logger : " + std::string("/etc\0\0\0\0\0\0\0\0\0\0\0\0", 16) +
                            "\r\n\r\npH\r\n\r\nDatum\tUhr\tpH\t\xB0" "C\r\n"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(out);
    const ExportResult result = Export(c.log.bytes());
    ASSERT_TRUE(result.ok()) << result.outcome.text;
    std::set<std::string> names;
    for (const auto& [name, bytes] : c.files) {
      names.insert(name);
      EXPECT_EQ(Read(name), bytes) << name;
    }
    EXPECT_EQ(OutputFiles(), names);
  }
  EXPECT_FALSE(fs::exists(folder / "x.xls"));
}

TEST_F(LoggerExportTest, ExistingOutputIsReplacedAppendedOrLeftAlone) {
  const auto log = LoggerFileBuilder().channel1("03", "A", 0).channel2("03", "B", 0).record({.primary1 = 700});
  const std::string blockA =
      "Logger : A               \r\n\r\npH\r\n\r\nDatum\tUhr\tpH\t\xB0" "C\r\n25/3/12\t9:5\t7\t0\t\r\n";
  fs::create_directories(out);
  folder.write("out/pH_A.xls", ""); // an empty file is not asked about
  folder.write("out/pH_B.xls", "old");

  // Cancel: asked about B only, and A is left as it was.
  EXPECT_EQ(Export(log.bytes(), ExistingOutput::Cancel).outcome.kind, LoggerResultKind::Cancelled);
  EXPECT_EQ(asked, std::vector<std::string>{"pH_B.xls"});
  EXPECT_EQ(Read("pH_A.xls"), "");
  EXPECT_EQ(Read("pH_B.xls"), "old");

  // No: a second block follows the old content.
  ASSERT_TRUE(Export(log.bytes(), ExistingOutput::Append).ok());
  EXPECT_EQ(Read("pH_B.xls").substr(0, 13), "oldLogger : B");
  EXPECT_EQ(Read("pH_A.xls"), blockA);

  // Yes: only the new block.
  ASSERT_TRUE(Export(log.bytes(), ExistingOutput::Replace).ok());
  EXPECT_EQ(Read("pH_A.xls"), blockA);
}

// (An output folder that is missing or no folder: the export command's test.)
TEST_F(LoggerExportTest, UnusableInputsAreRefusedBeforeAnythingIsWritten) {
  const auto log = LoggerFileBuilder().channel1("03", "A", 0).record({});
  folder.write("station.log", log.bytes());
  folder.write("short.log", log.bytes().substr(0, 57));
  fs::create_directories(out);
  const struct { fs::path loggerFile; const char* separator; LoggerResultKind kind; const char* says; } cases[] = {
      {folder / "missing.log", ".", LoggerResultKind::LoggerFileUnreadable, "missing.log"},
      {out, ".", LoggerResultKind::LoggerFileUnreadable, "ist ein Ordner"},
      // A separator the general rule accepts, but the files cannot hold.
      {folder / "station.log", "٫", LoggerResultKind::BadSeparator, "Windows-1252"},
      {folder / "short.log", ",", LoggerResultKind::NotALoggerFile, "short.log' ist keine Loggerdatei: sie ist 57 Byte"},
  };
  for (const auto& c : cases) {
    const ExportResult result = ExportLoggerFile({c.loggerFile, out, c.separator}, {}, {});
    EXPECT_EQ(result.outcome.kind, c.kind) << c.says;
    EXPECT_NE(result.outcome.text.find(c.says), std::string::npos) << result.outcome.text;
  }
  EXPECT_TRUE(fs::is_empty(out));
}

// The output names are taken by what the export must never write through or
// over: it refuses, and nothing anywhere changes.
TEST_F(LoggerExportTest, OutputNamesThatAreNotPlainFilesAreRefused) {
  const auto log = LoggerFileBuilder().channel1("03", "A", 0).record({});
  // make: puts something at out/pH_A.xls
  const struct { const char* name; std::function<void()> make; LoggerResultKind kind; } cases[] = {
      {"link to a file", [&] { fs::create_symlink("../victim.txt", out / "pH_A.xls"); },
       LoggerResultKind::OutputNotAFile},
      {"dangling link", [&] { fs::create_symlink("../created-by-export.txt", out / "pH_A.xls"); },
       LoggerResultKind::OutputNotAFile},
      {"folder", [&] { fs::create_directories(out / "pH_A.xls"); }, LoggerResultKind::OutputNotAFile},
      {"fifo", [&] { mkfifo((out / "pH_A.xls").c_str(), 0600); }, LoggerResultKind::OutputNotAFile},
      {"hard link to the logger file",
       [&] { fs::create_hard_link(folder / "station.log", out / "pH_A.xls"); },
       LoggerResultKind::OutputIsLoggerFile},
  };
  for (ExistingOutput answer : {ExistingOutput::Replace, ExistingOutput::Append}) {
    for (const auto& c : cases) {
      fs::remove_all(out);
      folder.write("victim.txt", "precious");
      const ExportRequest request = Request(log.bytes());
      c.make();
      const ExportResult result =
          ExportLoggerFile(request, {}, [&](const PlannedOutput&) { return answer; });
      EXPECT_EQ(result.outcome.kind, c.kind) << c.name;
      EXPECT_NE(result.outcome.text.find("pH_A.xls"), std::string::npos) << result.outcome.text;
      EXPECT_EQ(folder.read("victim.txt"), "precious") << c.name;
      EXPECT_FALSE(fs::exists(folder / "created-by-export.txt")) << c.name;
      EXPECT_EQ(folder.read("station.log"), log.bytes()) << c.name;
      EXPECT_EQ(OutputFiles(), std::set<std::string>{"pH_A.xls"}) << c.name;
    }
  }
}

// Enough records for several output pieces to reach the disk before the end.
std::string ManyRecords(int n) {
  LoggerFileBuilder log;
  for (int i = 0; i < n; ++i) log.record({.primary1 = 725});
  return log.bytes().substr(kLoggerHeaderSize);
}

// The first export also reports its progress at a human rate, not per record.
TEST_F(LoggerExportTest, ASecondExportIntoABusyFolderIsRefusedAndWritesNothing) {
  const auto log = LoggerFileBuilder().channel1("03", "A", 0).channel2("03", "B", 0);
  fs::create_directories(out);
  // The first reads a pipe the test feeds: it stands still where the feed stops.
  ASSERT_EQ(mkfifo((folder / "first.log").c_str(), 0600), 0);
  const int feed = ::open((folder / "first.log").c_str(), O_RDWR);
  ExportResult done;
  int reports = 0;
  std::thread first([&] {
    done = ExportLoggerFile({folder / "first.log", out, ","}, [&](const ExportProgress&) { ++reports; },
                            [](const PlannedOutput&) { return ExistingOutput::Replace; });
  });
  const std::string bytes = log.bytes() + ManyRecords(60000); // past the first chunk: the folder is locked
  EXPECT_EQ(::write(feed, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));

  folder.write("second.log", log.bytes());
  const ExportResult second = ExportLoggerFile({folder / "second.log", out, ","}, {}, {});
  ::close(feed);
  first.join();
  EXPECT_EQ(second.outcome.kind, LoggerResultKind::OutputFolderBusy);
  EXPECT_NE(second.outcome.text.find("pH_B.xls"), std::string::npos) << second.outcome.text;
  ASSERT_TRUE(done.ok()) << done.outcome.text;
  EXPECT_EQ(done.linesWritten, 60000u);
  EXPECT_GE(reports, 1);
  EXPECT_LT(reports, 100);
  EXPECT_EQ(OutputFiles(), (std::set<std::string>{"pH_A.xls", "pH_B.xls"}));
  // Into the folder again once the first is done.
  EXPECT_TRUE(ExportLoggerFile({folder / "second.log", out, ","}, {},
                               [](const PlannedOutput&) { return ExistingOutput::Replace; })
                  .ok());
}

// A write that fails half-way (beyond 1 MB, as on a full disk, after a part
// went through) leaves each output file as it was: a new one never appears, a
// replaced one keeps its old content, an appended one goes back to its old
// length; the message names them all, and no temporary file stays behind. A
// stop takes the same way back (the window's and the command's tests stop one).
TEST_F(LoggerExportTest, AnExportThatDoesNotCompleteLeavesEveryFileAsItWas) {
  const auto log = LoggerFileBuilder().channel1("03", "A", 0).channel2("03", "B", 0);
  folder.write("station.log", log.bytes() + ManyRecords(120000)); // about 3.6 MB into each file
  for (ExistingOutput answer : {ExistingOutput::Replace, ExistingOutput::Append}) {
    SCOPED_TRACE(answer == ExistingOutput::Replace ? "replacing" : "appending");
    fs::remove_all(out);
    fs::create_directories(out);
    folder.write("out/pH_B.xls", "old B");
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small{1 << 20, old.rlim_max};
    setrlimit(RLIMIT_FSIZE, &small);
    const ExportResult result = ExportLoggerFile({folder / "station.log", out, ","}, {},
                                                 [answer](const PlannedOutput&) { return answer; });
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(result.outcome.kind, LoggerResultKind::WriteFailed);
    EXPECT_NE(result.outcome.text.find("unverändert: '" + PathText(out / "pH_A.xls") + "', '" +
                                       PathText(out / "pH_B.xls") + "'"),
              std::string::npos)
        << result.outcome.text;
    EXPECT_EQ(OutputFiles(), std::set<std::string>{"pH_B.xls"});
    EXPECT_EQ(Read("pH_B.xls"), "old B");
  }
}

TEST(LoggerReset, RefusesWhatIsNotAPlainFileAndNamesAMissingFolder) {
  TempFolder folder;
  folder.write("victim.txt", "precious");
  fs::create_symlink("victim.txt", folder / "link.log");
  fs::create_directories(folder / "folder.log");
  ASSERT_EQ(mkfifo((folder / "pipe.log").c_str(), 0600), 0); // must not block
  for (const char* name : {"link.log", "folder.log", "pipe.log"}) {
    const LoggerResult refused = ResetLoggerFile(folder / name);
    EXPECT_EQ(refused.kind, LoggerResultKind::ResetFailed) << name;
    EXPECT_NE(refused.text.find(name), std::string::npos) << refused.text;
  }
  EXPECT_EQ(folder.read("victim.txt"), "precious");

  const LoggerResult createError = CreateLoggerFile(folder / "gone");
  EXPECT_NE(createError.text.find("gone/Kestrane.log' kann nicht angelegt werden: nicht vorhanden"),
            std::string::npos) << createError.text;
}

} // namespace
} // namespace trelvan
