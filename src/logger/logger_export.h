#pragma once
// Exporting a logger file as tab-separated spreadsheet files, one per logged
// quantity, without any window: the logger-file window and `trelvan-cli
// export` both drive it. Output files are Windows-1252 text with CR LF; their
// names are UTF-8, the file system's convention.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "logger/file_io.h"
#include "logger/logger_file.h"
#include "logger/logger_result.h"
#include "logger/output_folder.h"

namespace trelvan {

struct ExportRequest {
  std::filesystem::path loggerFile;
  std::filesystem::path outputFolder; // the output files are created here
  std::string decimalSeparator = "."; // UTF-8, see ExportSeparatorProblem
};

// Why a decimal separator cannot go into the export files: the reasons of
// DecimalSeparatorProblem, or a character Windows-1252 does not have.
std::optional<std::string> ExportSeparatorProblem(std::string_view utf8);

struct PlannedOutput {
  int channel = 1;                // logger channel 1 or 2
  std::string fileName;           // UTF-8, no directory
  std::filesystem::path path;     // in the output folder
  bool existsWithContent = false; // the replace-or-append question applies
};

// What an export will do, known from the header alone.
struct ExportPlan {
  LoggerFileHeader header;
  LoggerChannelLayout channel1;
  LoggerChannelLayout channel2;
  std::vector<PlannedOutput> outputs; // channel 1, then channel 2 if its type has a name
};

// The answer for an output file that exists and is not empty.
enum class ExistingOutput { Replace, Append, Cancel };
using ExistingOutputQuestion = std::function<ExistingOutput(const PlannedOutput&)>;

struct ExportProgress {
  std::uint64_t recordsRead = 0;     // empty records included
  std::uint64_t recordsExpected = 0; // from the file's size; 0 when unknown
  std::string text;                  // progress text of the last non-empty record
};
// Called from the exporting thread at most every 50 ms or so, and once at the
// end of a completed export with the final figures.
using ExportProgressSink = std::function<void(const ExportProgress&)>;

struct ExportResult {
  LoggerResult outcome;
  std::vector<PlannedOutput> outputs;
  std::uint64_t recordsRead = 0;   // the position of the last record read
  std::uint64_t linesWritten = 0;  // data lines in each output file (non-empty records)
  std::uint64_t trailingBytes = 0; // a fragment shorter than a record at the end, ignored
  std::string lastProgressText;

  bool ok() const { return outcome.ok(); }
};

// One export from start to end, in four steps:
//   plan   (construction) opens the logger file and the output folder, reads
//          the header and looks at the output names, writing nothing;
//   open   locks the output folder and opens every output file;
//   write  turns the records into lines;
//   finish puts every output file on the disk under its final name.
// A failure or a stop in any step goes through one clean-up path that leaves
// every output file as it was, and the failure names them. run() may be
// called on another thread than the plan.
class LoggerExport {
 public:
  explicit LoggerExport(ExportRequest request);
  ~LoggerExport();
  LoggerExport(const LoggerExport&) = delete;
  LoggerExport& operator=(const LoggerExport&) = delete;

  // Why the export cannot start; ok() when it can.
  const LoggerResult& planResult() const { return planResult_; }
  // Valid when planResult() is ok.
  const ExportPlan& plan() const { return plan_; }
  // Records the file's size promises; 0 when it has no size (a pipe).
  std::uint64_t expectedRecords() const { return expectedRecords_; }

  // See ExportLoggerFile. Runs once.
  ExportResult run(const ExistingOutputQuestion& question, const ExportProgressSink& progress,
                   std::stop_token stop = {});

 private:
  struct Sink;
  LoggerResult planInput();
  LoggerResult planOutputs();
  LoggerResult open(const std::vector<ExistingOutput>& answers, const std::stop_token& stop);
  LoggerResult write(const ExportProgressSink& progress, const std::stop_token& stop,
                     ExportResult& result);
  LoggerResult finish();
  LoggerResult abandon(LoggerResult failure);

  ExportRequest request_;
  LoggerResult planResult_;
  ExportPlan plan_;
  std::string separator_; // Windows-1252
  UniqueFd input_;
  FileId inputId_;
  std::uint64_t expectedRecords_ = 0;
  OutputFolder folder_;
  std::vector<Sink> sinks_; // after folder_: its files end before it
};

// Exports the logger file. The question is asked for every output file that
// exists with content, all before any file is created or changed; Cancel
// leaves everything as it was. Replace puts the new file in the old one's
// place, Append writes a new header block after the old content. A stop
// request ends the export between records; like any failure it leaves every
// output file as it was before.
ExportResult ExportLoggerFile(const ExportRequest& request, const ExportProgressSink& progress,
                              const ExistingOutputQuestion& question,
                              std::stop_token stop = {});

} // namespace trelvan
