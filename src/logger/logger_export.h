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

#include "logger/logger_file.h"

namespace trelvan {

struct ExportRequest {
  std::filesystem::path loggerFile;
  std::filesystem::path outputFolder; // the output files are created here
  std::string decimalSeparator = "."; // UTF-8, see IsUsableDecimalSeparator
};

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
// end with the final figures.
using ExportProgressSink = std::function<void(const ExportProgress&)>;

enum class ExportStatus { Done, Cancelled, Failed };

struct ExportResult {
  ExportStatus status = ExportStatus::Failed;
  std::string message; // UTF-8; why the export failed or was cancelled
  std::vector<PlannedOutput> outputs;
  std::uint64_t recordsRead = 0;   // the position of the last record read
  std::uint64_t linesWritten = 0;  // data lines in each output file (non-empty records)
  std::uint64_t trailingBytes = 0; // a fragment shorter than a record at the end, ignored
  std::string lastProgressText;
};

// One export from start to end. Construction opens the logger file and reads
// its header, so the plan (output names, which of them exist) is known before
// anything is written; run() then writes the output files, and may do so on
// another thread.
class LoggerExport {
 public:
  explicit LoggerExport(ExportRequest request);
  ~LoggerExport();
  LoggerExport(const LoggerExport&) = delete;
  LoggerExport& operator=(const LoggerExport&) = delete;

  // Why the export cannot start (file unreadable, shorter than the header,
  // unusable decimal separator); empty when it can.
  const std::string& error() const { return error_; }
  // Valid when error() is empty.
  const ExportPlan& plan() const { return plan_; }
  // Records the file's size promises; 0 when it has no size (a pipe).
  std::uint64_t expectedRecords() const;

  // See ExportLoggerFile. Runs once.
  ExportResult run(const ExistingOutputQuestion& question, const ExportProgressSink& progress,
                   std::stop_token stop = {});

 private:
  struct Input;
  ExportRequest request_;
  std::string error_;
  ExportPlan plan_;
  std::unique_ptr<Input> input_;
  std::string separator_; // Windows-1252
};

// Exports the logger file. The question is asked for every output file that
// exists with content, all before any file is created or changed; Cancel
// leaves everything as it was. Replace empties the file, Append writes a new
// header block after the old content. A stop request ends the export between
// records, leaving the output files incomplete.
ExportResult ExportLoggerFile(const ExportRequest& request, const ExportProgressSink& progress,
                              const ExistingOutputQuestion& question,
                              std::stop_token stop = {});

// "Datei  '<name>'  existiert bereits." LF "soll es ersetzt werden ? "
std::string ReplaceQuestionText(std::string_view fileName);

// The message at the end of a completed export: "Ende der Ablesung", plus a
// note when a trailing fragment was ignored.
std::string FinishedMessage(const ExportResult& result);

// A path as UTF-8 text for messages.
std::string PathText(const std::filesystem::path& path);
// A UTF-8 file name as a path.
std::filesystem::path PathFromUtf8(std::string_view utf8);

} // namespace trelvan
