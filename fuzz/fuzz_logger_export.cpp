// A whole logger file in, the export's output files out. The files live in a
// folder of their own under the temporary directory (point TMPDIR at a tmpfs
// to keep it off the disk) and are removed after each input.
//
// The decimal separator follows the input's length, so that one-byte and
// multi-byte separators are all exercised with every kind of file.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>
#include <system_error>

#include "fuzz_check.h"
#include "logger/logger_export.h"
#include "logger/logger_file.h"

using namespace trelvan;
namespace fs = std::filesystem;

namespace {

class Workspace {
 public:
  Workspace() {
    std::random_device rd;
    root_ = fs::temp_directory_path() / ("trelvan-fuzz-export-" + std::to_string(rd()));
    fs::create_directories(out());
  }
  ~Workspace() {
    std::error_code ec;
    fs::remove_all(root_, ec);
  }
  Workspace(const Workspace&) = delete;
  Workspace& operator=(const Workspace&) = delete;

  fs::path log() const { return root_ / "station.log"; }
  fs::path out() const { return root_ / "out"; }
  void clearOutput() const {
    for (const auto& entry : fs::directory_iterator(out())) fs::remove(entry.path());
  }

 private:
  fs::path root_;
};

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::size_t CountLines(std::string_view text) {
  std::size_t n = 0;
  for (std::size_t at = text.find("\r\n"); at != std::string_view::npos; at = text.find("\r\n", at + 2))
    ++n;
  return n;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const Workspace workspace;
  static constexpr const char* kSeparators[] = {".", ",", "€", "·"};
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  {
    std::ofstream(workspace.log(), std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  const ExportRequest request{workspace.log(), workspace.out(), kSeparators[size % 4]};
  bool asked = false;
  ExportProgress last;
  int reports = 0;
  const ExportResult result = ExportLoggerFile(
      request,
      [&](const ExportProgress& p) {
        last = p;
        ++reports;
      },
      [&](const PlannedOutput&) {
        asked = true;
        return ExistingOutput::Cancel;
      });
  FUZZ_CHECK(!asked, "the output folder is empty: nothing to ask");

  if (size < kLoggerHeaderSize) {
    FUZZ_CHECK(result.outcome.kind == LoggerResultKind::NotALoggerFile,
               "a file shorter than the header fails");
    FUZZ_CHECK(fs::is_empty(workspace.out()), "a failed start writes nothing");
    return 0;
  }
  FUZZ_CHECK(result.ok(), "a whole file exports");
  const std::size_t body = size - kLoggerHeaderSize;
  FUZZ_CHECK(result.recordsRead == body / kLoggerRecordSize, "every record is read");
  FUZZ_CHECK(result.trailingBytes == body % kLoggerRecordSize, "the fragment is counted");
  std::uint64_t nonEmpty = 0;
  for (std::size_t at = kLoggerHeaderSize; at + kLoggerRecordSize <= size; at += kLoggerRecordSize)
    nonEmpty += (data[at] | data[at + 1] | data[at + 2]) != 0;
  FUZZ_CHECK(result.linesWritten == nonEmpty, "one line per record that holds something");
  FUZZ_CHECK(reports >= 1, "the end is reported");
  FUZZ_CHECK(last.recordsRead == result.recordsRead, "the last report has the final count");
  FUZZ_CHECK(last.recordsExpected == body / kLoggerRecordSize, "the size promises the records");
  FUZZ_CHECK(last.text == result.lastProgressText, "the last report shows the last record");
  FUZZ_CHECK(last.text.empty() == (nonEmpty == 0), "a progress text exactly when a record held something");

  const auto header = LoggerFileHeader::Parse(bytes);
  FUZZ_CHECK(header.has_value(), "the header parses");
  FUZZ_CHECK(!result.outputs.empty() && result.outputs.size() <= 2, "one or two outputs");
  for (const PlannedOutput& output : result.outputs) {
    FUZZ_CHECK(output.path.parent_path() == workspace.out(), "outputs stay in the output folder");
    FUZZ_CHECK(output.path.filename() == PathFromUtf8(output.fileName), "the path is the name");
    const std::string text = ReadFile(output.path);
    const std::string& name = output.channel == 1 ? header->name1 : header->name2;
    const LoggerChannelLayout layout =
        output.channel == 1 ? LayoutForChannel(header->typeCode1, header->unitWord1, 1)
                            : LayoutForChannel(header->typeCode2, header->unitWord2, 2);
    const std::string block = OutputHeaderBlock(name, layout);
    FUZZ_CHECK(text.compare(0, block.size(), block) == 0, "the file opens with its header block");
    FUZZ_CHECK(CountLines(std::string_view(text).substr(block.size())) == nonEmpty,
               "the file holds one line per record that holds something");
  }
  if (result.outputs.size() == 2)
    FUZZ_CHECK(result.outputs[0].path != result.outputs[1].path, "two channels, two files");
  for (const auto& entry : fs::directory_iterator(workspace.out()))
    FUZZ_CHECK(entry.path().filename().string()[0] != '.', "no temporary file is left behind");
  workspace.clearOutput();
  return 0;
}
