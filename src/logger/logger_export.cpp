#include "logger_export.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <array>
#include <chrono>
#include <cstring>

#include "core/cp1252.h"
#include "core/decimal_separator.h"
#include "logger/logger_texts.h"
#include "logger/number_text.h"

namespace trelvan {

namespace fs = std::filesystem;
namespace layout = logger_layout;

namespace {

// Input is read and output written in pieces of about 1 MiB: large enough
// that system calls cost nothing, small enough to stay in the cache.
constexpr std::size_t kChunkRecords = (std::size_t{1} << 20) / kLoggerRecordSize;
constexpr std::size_t kOutputPiece = std::size_t{1} << 20;
// The longest data line: date 8, time 5, two values of 7 characters with a
// separator, volume 8, four TABs and CR LF, well under this.
constexpr std::size_t kLineRoom = 64;
// Progress and stop requests are looked at every this many records; at tens
// of millions of records a second that is well under a millisecond apart.
constexpr std::uint64_t kProgressCheckEvery = 8192;
constexpr auto kProgressInterval = std::chrono::milliseconds(50);

// "25/3/12" TAB "9:5" TAB: the columns both files share, written once.
constexpr std::size_t kDateAndTimeRoom = 16;
std::string_view DateAndTimeColumns(const unsigned char* record, char (&buffer)[kDateAndTimeRoom]) {
  char* p = number_text::AppendHex(buffer, record[layout::kDate]);
  *p++ = '/';
  p = number_text::AppendHex(p, record[layout::kDate + 1]);
  *p++ = '/';
  p = number_text::AppendHex(p, record[layout::kDate + 2]);
  *p++ = '\t';
  p = number_text::AppendHex(p, record[layout::kHour]);
  *p++ = ':';
  p = number_text::AppendHex(p, record[layout::kMinute]);
  *p++ = '\t';
  return {buffer, static_cast<std::size_t>(p - buffer)};
}

} // namespace

// One output file with its buffer and the record fields of its channel.
struct LoggerExport::Sink {
  const PlannedOutput* output = nullptr;
  const LoggerChannelLayout* layout = nullptr;
  const layout::ChannelFields* fields = nullptr;
  int firstDecimals = 0;
  int secondDecimals = 0;
  OutputFile file;
  std::unique_ptr<char[]> buffer;
  char* cur = nullptr;
  char* flushAt = nullptr;

  void append(std::string_view bytes) {
    std::memcpy(cur, bytes.data(), bytes.size());
    cur += bytes.size();
  }
  // One data line: the shared date and time columns, the two values, the
  // volume counter for flow, CR LF.
  void appendLine(std::string_view dateAndTime, const unsigned char* record, std::string_view sep) {
    char* o = cur;
    std::memcpy(o, dateAndTime.data(), dateAndTime.size());
    o += dateAndTime.size();
    o = number_text::AppendQuotient(o, Int16At(record + fields->primary), firstDecimals, sep);
    *o++ = '\t';
    o = number_text::AppendQuotient(o, Int16At(record + fields->secondary), secondDecimals, sep);
    *o++ = '\t';
    if (layout->withVolume) {
      const unsigned char* v = record + fields->volume; // most significant byte last
      for (int i = static_cast<int>(layout::kVolumeSize) - 1; i >= 0; --i)
        o = number_text::AppendHex2(o, v[i]);
    }
    *o++ = '\r';
    *o++ = '\n';
    cur = o;
  }
  LoggerResult flush() {
    const auto n = static_cast<std::size_t>(cur - buffer.get());
    cur = buffer.get();
    return file.write(buffer.get(), n);
  }
};

std::optional<std::string> ExportSeparatorProblem(std::string_view utf8) {
  if (auto problem = DecimalSeparatorProblem(utf8)) return problem;
  if (!Utf8ToCp1252(utf8)) return logger_text::SeparatorNotInCodePage(utf8);
  return std::nullopt;
}

// ---- plan ----------------------------------------------------------------

LoggerExport::LoggerExport(ExportRequest request) : request_(std::move(request)) {
  if (auto problem = ExportSeparatorProblem(request_.decimalSeparator)) {
    planResult_ = LoggerFailure(LoggerResultKind::BadSeparator, *problem);
    return;
  }
  separator_ = *Utf8ToCp1252(request_.decimalSeparator);
  planResult_ = planInput();
  if (planResult_.ok()) planResult_ = folder_.open(request_.outputFolder);
  if (planResult_.ok()) planResult_ = planOutputs();
}

LoggerExport::~LoggerExport() = default;

LoggerResult LoggerExport::planInput() {
  const fs::path& file = request_.loggerFile;
  auto unreadable = [&](int err) {
    return LoggerFailure(LoggerResultKind::LoggerFileUnreadable,
                         logger_text::LoggerFileUnreadable(file, err), err);
  };
  const int fd = ::open(file.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return unreadable(LastError());
  input_ = UniqueFd(fd);
  struct stat st {};
  if (fstat(fd, &st) != 0) return unreadable(LastError());
  if (S_ISDIR(st.st_mode)) return unreadable(EISDIR);
  inputId_ = {st.st_dev, st.st_ino};

  // Read the header by count rather than trusting the file's size, which a
  // pipe or a device does not have.
  std::string header(kLoggerHeaderSize, '\0');
  std::size_t got = 0;
  if (const int err = ReadUpTo(fd, header.data(), header.size(), got)) return unreadable(err);
  if (got < kLoggerHeaderSize)
    return LoggerFailure(LoggerResultKind::NotALoggerFile, logger_text::NotALoggerFile(file, got));
  const auto size = static_cast<std::uint64_t>(st.st_size);
  if (S_ISREG(st.st_mode) && size > kLoggerHeaderSize)
    expectedRecords_ = (size - kLoggerHeaderSize) / kLoggerRecordSize;

  plan_.header = *LoggerFileHeader::Parse(header);
  plan_.channel1 = LayoutForChannel(plan_.header.typeCode1, plan_.header.unitWord1, 1);
  plan_.channel2 = LayoutForChannel(plan_.header.typeCode2, plan_.header.unitWord2, 2);
  return {};
}

LoggerResult LoggerExport::planOutputs() {
  auto planOutput = [&](int channel, const LoggerChannelLayout& layout, const std::string& name) {
    PlannedOutput out;
    out.channel = channel;
    out.fileName = OutputFileName(layout.typeName, name);
    if (!plan_.outputs.empty() && plan_.outputs.front().fileName == out.fileName) {
      // Both channels would write into one file and garble it: the second
      // one gets a file of its own.
      out.fileName.insert(out.fileName.size() - 4, " (2)");
    }
    out.path = folder_.pathOf(out.fileName);
    plan_.outputs.push_back(std::move(out));
  };
  // Channel 1 is exported whatever its type; channel 2 only when its type is known.
  planOutput(1, plan_.channel1, plan_.header.name1);
  if (!plan_.channel2.typeName.empty()) planOutput(2, plan_.channel2, plan_.header.name2);

  // Refused here already, before any question is asked.
  for (PlannedOutput& out : plan_.outputs) {
    const Entry entry = folder_.look(out.fileName);
    if (entry.error != 0)
      return LoggerFailure(LoggerResultKind::WriteFailed,
                           logger_text::CannotCreate(out.path, entry.error), entry.error);
    if (entry.type == EntryType::File && entry.id == inputId_)
      return LoggerFailure(LoggerResultKind::OutputIsLoggerFile,
                           logger_text::OutputIsLoggerFile(out.path));
    if (entry.type != EntryType::File && entry.type != EntryType::Absent)
      return LoggerFailure(LoggerResultKind::OutputNotAFile,
                           logger_text::OutputNotAFile(out.path, entry.type));
    out.existsWithContent = entry.type == EntryType::File && entry.size > 0;
  }
  return {};
}

// ---- run -----------------------------------------------------------------

ExportResult LoggerExport::run(const ExistingOutputQuestion& question,
                               const ExportProgressSink& progress, std::stop_token stop) {
  ExportResult result;
  result.outputs = plan_.outputs;
  if (!planResult_.ok()) {
    result.outcome = planResult_;
    return result;
  }
  if (!input_.valid()) {
    result.outcome = LoggerFailure(LoggerResultKind::WriteFailed, std::string(logger_text::kAlreadyRun));
    return result;
  }

  // All questions first, so that Cancel leaves every file as it was.
  std::vector<ExistingOutput> answers;
  for (const PlannedOutput& out : plan_.outputs) {
    // An absent or empty file: appending to it is creating it.
    ExistingOutput answer = ExistingOutput::Append;
    if (out.existsWithContent) answer = question ? question(out) : ExistingOutput::Cancel;
    if (answer == ExistingOutput::Cancel) {
      result.outcome = LoggerFailure(LoggerResultKind::Cancelled, logger_text::OutputKept(out.path));
      return result;
    }
    answers.push_back(answer);
  }

  LoggerResult outcome = open(answers, stop);
  if (outcome.ok()) outcome = write(progress, stop, result);
  if (outcome.ok()) outcome = finish();
  if (!outcome.ok()) outcome = abandon(std::move(outcome));
  folder_.unlock();
  input_.reset();
  result.outcome = std::move(outcome);
  if (result.ok() && progress) {
    ExportProgress last;
    last.recordsRead = result.recordsRead;
    last.recordsExpected = expectedRecords_;
    last.text = result.lastProgressText;
    progress(last);
  }
  return result;
}

LoggerResult LoggerExport::open(const std::vector<ExistingOutput>& answers,
                                const std::stop_token& stop) {
  if (stop.stop_requested())
    return LoggerFailure(LoggerResultKind::Interrupted, std::string(logger_text::kInterrupted));
  if (LoggerResult locked = folder_.lock(); !locked.ok()) return locked;

  sinks_ = std::vector<Sink>(plan_.outputs.size());
  for (std::size_t i = 0; i < sinks_.size(); ++i) {
    const PlannedOutput& out = plan_.outputs[i];
    // Looked at again under the lock: the question may have been open for
    // a while, and others than exports may write into the folder.
    const Entry now = folder_.look(out.fileName);
    if (!out.existsWithContent && now.type == EntryType::File && now.size > 0)
      return LoggerFailure(LoggerResultKind::OutputChanged, logger_text::OutputChanged(out.path));
    const OutputFile::Mode mode = now.type == EntryType::Absent          ? OutputFile::Mode::New
                                  : answers[i] == ExistingOutput::Replace ? OutputFile::Mode::Replace
                                                                          : OutputFile::Mode::Append;
    if (LoggerResult opened = sinks_[i].file.open(folder_, out.fileName, mode, inputId_); !opened.ok())
      return opened;
  }

  for (std::size_t i = 0; i < sinks_.size(); ++i) {
    Sink& s = sinks_[i];
    s.output = &plan_.outputs[i];
    const bool second = s.output->channel == 2;
    s.layout = second ? &plan_.channel2 : &plan_.channel1;
    s.fields = &layout::Channel(s.output->channel);
    s.firstDecimals = number_text::DecimalsOf(s.layout->firstDivisor);
    s.secondDecimals = number_text::DecimalsOf(s.layout->secondDivisor);
    const std::string block =
        OutputHeaderBlock(second ? plan_.header.name2 : plan_.header.name1, *s.layout);
    const std::size_t room = kOutputPiece + block.size() + kLineRoom + 2 * separator_.size();
    s.buffer = std::make_unique<char[]>(room);
    s.cur = s.buffer.get();
    s.flushAt = s.buffer.get() + kOutputPiece;
    s.append(block);
  }
  return {};
}

LoggerResult LoggerExport::write(const ExportProgressSink& progress, const std::stop_token& stop,
                                 ExportResult& result) {
  const std::string_view sep = separator_;
  std::vector<unsigned char> chunk(kChunkRecords * kLoggerRecordSize);
  std::array<unsigned char, kLoggerRecordSize> lastRecord{};
  std::uint64_t counter = 0;
  std::uint64_t lastPosition = 0; // 0: no non-empty record yet
  auto lastReport = std::chrono::steady_clock::now();

  auto lastText = [&] {
    if (lastPosition == 0) return std::string();
    const std::string_view bytes(reinterpret_cast<const char*>(lastRecord.data()), lastRecord.size());
    return ProgressText(lastPosition, *LoggerRecord::Parse(bytes), plan_.channel1.withVolume);
  };
  auto report = [&] {
    if (!progress) return;
    ExportProgress p;
    p.recordsRead = counter;
    p.recordsExpected = expectedRecords_;
    p.text = lastText();
    progress(p);
  };

  bool atEnd = false;
  while (!atEnd) {
    std::size_t got = 0;
    if (const int err = ReadUpTo(input_.get(), chunk.data(), chunk.size(), got))
      return LoggerFailure(LoggerResultKind::LoggerFileUnreadable,
                           logger_text::LoggerFileReadFailed(request_.loggerFile, counter, err), err);
    atEnd = got < chunk.size();
    const std::size_t records = got / kLoggerRecordSize;
    if (atEnd) result.trailingBytes = got % kLoggerRecordSize;

    const unsigned char* lastInChunk = nullptr;
    for (std::size_t k = 0; k < records; ++k) {
      const unsigned char* r = chunk.data() + k * kLoggerRecordSize;
      ++counter;
      if (counter % kProgressCheckEvery == 0) {
        if (stop.stop_requested())
          return LoggerFailure(LoggerResultKind::Interrupted, std::string(logger_text::kInterrupted));
        const auto now = std::chrono::steady_clock::now();
        if (now - lastReport >= kProgressInterval) {
          lastReport = now;
          if (lastInChunk) std::memcpy(lastRecord.data(), lastInChunk, kLoggerRecordSize);
          lastInChunk = nullptr;
          report();
        }
      }
      if ((r[layout::kDate] | r[layout::kDate + 1] | r[layout::kDate + 2]) == 0)
        continue; // empty: counted, not written

      lastInChunk = r;
      lastPosition = counter;
      ++result.linesWritten;

      char buffer[kDateAndTimeRoom];
      const std::string_view dateAndTime = DateAndTimeColumns(r, buffer);
      for (Sink& s : sinks_) {
        s.appendLine(dateAndTime, r, sep);
        if (s.cur >= s.flushAt) {
          if (LoggerResult flushed = s.flush(); !flushed.ok()) return flushed;
        }
      }
    }
    if (lastInChunk) std::memcpy(lastRecord.data(), lastInChunk, kLoggerRecordSize);
    result.recordsRead = counter;
  }
  result.lastProgressText = lastText();
  return {};
}

LoggerResult LoggerExport::finish() {
  for (Sink& s : sinks_) {
    if (LoggerResult flushed = s.flush(); !flushed.ok()) return flushed;
  }
  for (Sink& s : sinks_) {
    if (LoggerResult completed = s.file.complete(); !completed.ok()) return completed;
  }
  for (Sink& s : sinks_) {
    if (LoggerResult published = s.file.publish(); !published.ok()) return published;
  }
  return {};
}

// The one clean-up path: every output file that is not under its final name
// yet goes back to how it was, and the failure says which they are.
LoggerResult LoggerExport::abandon(LoggerResult failure) {
  std::vector<fs::path> notCompleted;
  std::string rollBackFailures;
  for (std::size_t i = 0; i < plan_.outputs.size(); ++i) {
    const fs::path& path = plan_.outputs[i].path;
    if (i < sinks_.size()) {
      OutputFile& file = sinks_[i].file;
      if (file.published()) continue;
      if (const int err = file.rollBack())
        rollBackFailures += "\n" + logger_text::CannotRollBack(path, err);
    }
    notCompleted.push_back(path);
  }
  if (!notCompleted.empty()) failure.text += "\n" + logger_text::NotCompleted(notCompleted);
  failure.text += rollBackFailures;
  return failure;
}

ExportResult ExportLoggerFile(const ExportRequest& request, const ExportProgressSink& progress,
                              const ExistingOutputQuestion& question, std::stop_token stop) {
  LoggerExport job(request);
  return job.run(question, progress, std::move(stop));
}

} // namespace trelvan
