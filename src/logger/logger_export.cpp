#include "logger_export.h"

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "core/cp1252.h"
#include "file_handle.h"
#include "number_text.h"

namespace trelvan {

namespace fs = std::filesystem;

namespace {

// Input is read and output written in pieces of about 1 MiB: large enough
// that system calls cost nothing, small enough to stay in the cache.
constexpr std::size_t kChunkRecords = (std::size_t{1} << 20) / kLoggerRecordSize;
constexpr std::size_t kOutputPiece = std::size_t{1} << 20;
// The longest data line: date 8, time 5, two values of 7 characters with a
// separator, volume 8, four TABs and CR LF, well under this.
constexpr std::size_t kLineRoom = 64;
// Progress is looked at every this many records; at tens of millions of
// records a second that is well under a millisecond apart.
constexpr std::uint64_t kProgressCheckEvery = 8192;
constexpr auto kProgressInterval = std::chrono::milliseconds(50);

std::int16_t Int16At(const unsigned char* bytes) {
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8)));
}

// One output file with its buffer and the record offsets of its channel.
struct Sink {
  const PlannedOutput* output = nullptr;
  const LoggerChannelLayout* layout = nullptr;
  FileHandle file;
  std::unique_ptr<char[]> buffer;
  char* cur = nullptr;
  char* flushAt = nullptr;
  std::size_t volumeOffset = 0;
  std::size_t primaryOffset = 0;
  std::size_t secondaryOffset = 0;
  int firstDecimals = 0;
  int secondDecimals = 0;

  void append(std::string_view bytes) {
    std::memcpy(cur, bytes.data(), bytes.size());
    cur += bytes.size();
  }
  // Writes out what is buffered; an error number, or 0.
  int flush() {
    const auto n = static_cast<std::size_t>(cur - buffer.get());
    cur = buffer.get();
    return file.write(buffer.get(), n);
  }
};

std::string WriteError(const PlannedOutput& output, int err) {
  return "Fehler beim Schreiben der Datei '" + PathText(output.path) + "': " +
         ErrorText(err) + ". Die Datei ist unvollständig.";
}

} // namespace

struct LoggerExport::Input {
  FileHandle file;
  std::uint64_t expectedRecords = 0;
};

std::string PathText(const fs::path& path) {
  const std::u8string text = path.u8string();
  return {reinterpret_cast<const char*>(text.data()), text.size()};
}

fs::path PathFromUtf8(std::string_view utf8) {
  return fs::path(std::u8string(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

std::string ReplaceQuestionText(std::string_view fileName) {
  return "Datei  '" + std::string(fileName) + "'  existiert bereits.\nsoll es ersetzt werden ? ";
}

std::string FinishedMessage(const ExportResult& result) {
  std::string text = "Ende der Ablesung";
  if (result.trailingBytes > 0)
    text += "\n\nDie letzten " + std::to_string(result.trailingBytes) +
            " Byte der Datei ergeben keinen vollständigen Datensatz und wurden übergangen.";
  return text;
}

LoggerExport::LoggerExport(ExportRequest request)
    : request_(std::move(request)), input_(std::make_unique<Input>()) {
  const auto separator = Utf8ToCp1252(request_.decimalSeparator);
  if (!IsUsableDecimalSeparator(request_.decimalSeparator) || !separator) {
    error_ = "Ungültiges Dezimaltrennzeichen '" + request_.decimalSeparator + "'.";
    return;
  }
  separator_ = *separator;

  const std::string fileText = PathText(request_.loggerFile);
  std::error_code ec;
  if (fs::is_directory(request_.loggerFile, ec)) {
    error_ = "'" + fileText + "' ist ein Ordner, keine Loggerdatei.";
    return;
  }
  if (int err = input_->file.open(request_.loggerFile, FileHandle::Mode::Read)) {
    error_ = "Die Loggerdatei '" + fileText + "' kann nicht gelesen werden: " + ErrorText(err) + ".";
    return;
  }
  // Read the header byte by byte count rather than trusting the file's size,
  // which a pipe or a device does not have.
  std::string header(kLoggerHeaderSize, '\0');
  std::size_t got = 0;
  if (int err = input_->file.read(header.data(), header.size(), got)) {
    error_ = "Fehler beim Lesen der Loggerdatei '" + fileText + "': " + ErrorText(err) + ".";
    return;
  }
  if (got < kLoggerHeaderSize) {
    error_ = "Die Datei '" + fileText + "' ist keine Loggerdatei: sie ist " + std::to_string(got) +
             " Byte lang, kürzer als der Kopf von 58 Byte. Es wurde nichts geschrieben.";
    return;
  }
  const auto size = fs::is_regular_file(request_.loggerFile, ec)
                        ? fs::file_size(request_.loggerFile, ec)
                        : std::uintmax_t{0};
  if (!ec && size > kLoggerHeaderSize)
    input_->expectedRecords = (size - kLoggerHeaderSize) / kLoggerRecordSize;

  plan_.header = *LoggerFileHeader::Parse(header);
  plan_.channel1 = LayoutForChannel(plan_.header.typeCode1, plan_.header.unitWord1, 1);
  plan_.channel2 = LayoutForChannel(plan_.header.typeCode2, plan_.header.unitWord2, 2);

  auto planOutput = [&](int channel, const LoggerChannelLayout& layout, const std::string& name) {
    PlannedOutput out;
    out.channel = channel;
    out.fileName = OutputFileName(layout.typeName, name);
    if (!plan_.outputs.empty() && plan_.outputs.front().fileName == out.fileName) {
      // Both channels would write into one file through two handles and
      // garble it: the second one gets a file of its own.
      out.fileName.insert(out.fileName.size() - 4, " (2)");
    }
    out.path = request_.outputFolder / PathFromUtf8(out.fileName);
    std::error_code sizeError;
    const auto existing = fs::file_size(out.path, sizeError);
    out.existsWithContent = !sizeError && existing > 0;
    plan_.outputs.push_back(std::move(out));
  };
  // Channel 1 is exported whatever its type; channel 2 only when its type is known.
  planOutput(1, plan_.channel1, plan_.header.name1);
  if (!plan_.channel2.typeName.empty()) planOutput(2, plan_.channel2, plan_.header.name2);
}

LoggerExport::~LoggerExport() = default;

std::uint64_t LoggerExport::expectedRecords() const { return input_->expectedRecords; }

ExportResult LoggerExport::run(const ExistingOutputQuestion& question,
                               const ExportProgressSink& progress, std::stop_token stop) {
  ExportResult result;
  if (!error_.empty()) {
    result.message = error_;
    return result;
  }
  if (!input_->file.isOpen()) {
    result.message = "Das Auslesen ist bereits gelaufen.";
    return result;
  }
  result.outputs = plan_.outputs;
  FileHandle in = std::move(input_->file);
  const std::string loggerText = PathText(request_.loggerFile);

  // All questions first, so that Cancel leaves every file as it was.
  std::vector<ExistingOutput> answers;
  for (const PlannedOutput& out : plan_.outputs) {
    // An absent or empty file: appending to it is creating it.
    ExistingOutput answer = ExistingOutput::Append;
    if (out.existsWithContent) answer = question ? question(out) : ExistingOutput::Cancel;
    if (answer == ExistingOutput::Cancel) {
      result.status = ExportStatus::Cancelled;
      result.message = "Die Datei '" + PathText(out.path) +
                       "' existiert bereits; es wurde nichts geschrieben.";
      return result;
    }
    answers.push_back(answer);
  }

  // Open every output before emptying any, so that a file that cannot be
  // created does not cost the content of the other.
  std::vector<Sink> sinks(plan_.outputs.size());
  std::vector<bool> created(plan_.outputs.size(), false);
  auto abandon = [&](std::string message) {
    for (std::size_t i = 0; i < sinks.size(); ++i) {
      sinks[i].file.close();
      std::error_code ec;
      if (created[i]) fs::remove(plan_.outputs[i].path, ec);
    }
    result.message = std::move(message);
    return result;
  };
  for (std::size_t i = 0; i < sinks.size(); ++i) {
    const PlannedOutput& out = plan_.outputs[i];
    std::error_code ec;
    created[i] = !fs::exists(out.path, ec);
    if (int err = sinks[i].file.open(out.path, FileHandle::Mode::Append)) {
      created[i] = false;
      return abandon("Die Datei '" + PathText(out.path) + "' kann nicht angelegt werden: " +
                     ErrorText(err) + ". Es wurde nichts geschrieben.");
    }
  }
  for (std::size_t i = 0; i < sinks.size(); ++i) {
    if (answers[i] != ExistingOutput::Replace) continue;
    if (int err = sinks[i].file.open(plan_.outputs[i].path, FileHandle::Mode::Replace))
      return abandon("Die Datei '" + PathText(plan_.outputs[i].path) +
                     "' kann nicht ersetzt werden: " + ErrorText(err) + ".");
  }

  for (std::size_t i = 0; i < sinks.size(); ++i) {
    Sink& s = sinks[i];
    s.output = &plan_.outputs[i];
    const bool second = s.output->channel == 2;
    s.layout = second ? &plan_.channel2 : &plan_.channel1;
    s.volumeOffset = second ? 13 : 5;
    s.primaryOffset = second ? 17 : 9;
    s.secondaryOffset = second ? 19 : 11;
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

  const std::string_view sep = separator_;
  std::vector<unsigned char> chunk(kChunkRecords * kLoggerRecordSize);
  std::array<unsigned char, kLoggerRecordSize> lastRecord{};
  std::uint64_t counter = 0;
  std::uint64_t lastPosition = 0; // 0: no non-empty record yet
  auto lastReport = std::chrono::steady_clock::now();

  auto report = [&](const unsigned char* lastInChunk) {
    if (lastInChunk) std::memcpy(lastRecord.data(), lastInChunk, kLoggerRecordSize);
    if (!progress) return;
    ExportProgress p;
    p.recordsRead = counter;
    p.recordsExpected = input_->expectedRecords;
    if (lastPosition > 0) {
      const std::string_view bytes(reinterpret_cast<const char*>(lastRecord.data()),
                                   lastRecord.size());
      p.text = ProgressText(lastPosition, *LoggerRecord::Parse(bytes), plan_.channel1.withVolume);
    }
    progress(p);
  };

  bool atEnd = false;
  while (!atEnd) {
    std::size_t got = 0;
    if (int err = in.read(chunk.data(), chunk.size(), got)) {
      result.recordsRead = counter;
      for (auto& s : sinks) {
        s.flush();
        s.file.close();
      }
      result.message = "Fehler beim Lesen der Loggerdatei '" + loggerText + "' nach " +
                       std::to_string(counter) + " Datensätzen: " + ErrorText(err) +
                       ". Die Ausgabedateien sind unvollständig.";
      return result;
    }
    atEnd = got < chunk.size();
    const std::size_t records = got / kLoggerRecordSize;
    if (atEnd) result.trailingBytes = got % kLoggerRecordSize;

    const unsigned char* lastInChunk = nullptr;
    for (std::size_t k = 0; k < records; ++k) {
      const unsigned char* r = chunk.data() + k * kLoggerRecordSize;
      ++counter;
      if (counter % kProgressCheckEvery == 0) {
        if (stop.stop_requested()) {
          for (auto& s : sinks) {
            s.flush();
            s.file.close();
          }
          result.status = ExportStatus::Cancelled;
          result.recordsRead = counter - 1;
          result.message = "Das Auslesen wurde abgebrochen; die Ausgabedateien sind unvollständig.";
          return result;
        }
        const auto now = std::chrono::steady_clock::now();
        if (now - lastReport >= kProgressInterval) {
          lastReport = now;
          report(lastInChunk);
          lastInChunk = nullptr;
        }
      }
      if ((r[0] | r[1] | r[2]) == 0) continue; // empty: counted, not written

      lastInChunk = r;
      lastPosition = counter;
      ++result.linesWritten;

      // Date TAB time TAB, shared by both files.
      char prefix[24];
      char* p = number_text::AppendHex(prefix, r[0]);
      *p++ = '/';
      p = number_text::AppendHex(p, r[1]);
      *p++ = '/';
      p = number_text::AppendHex(p, r[2]);
      *p++ = '\t';
      p = number_text::AppendHex(p, r[3]);
      *p++ = ':';
      p = number_text::AppendHex(p, r[4]);
      *p++ = '\t';
      const auto prefixSize = static_cast<std::size_t>(p - prefix);

      for (Sink& s : sinks) {
        char* o = s.cur;
        std::memcpy(o, prefix, prefixSize);
        o += prefixSize;
        o = number_text::AppendQuotient(o, Int16At(r + s.primaryOffset), s.firstDecimals, sep);
        *o++ = '\t';
        o = number_text::AppendQuotient(o, Int16At(r + s.secondaryOffset), s.secondDecimals, sep);
        *o++ = '\t';
        if (s.layout->withVolume) {
          const unsigned char* v = r + s.volumeOffset;
          o = number_text::AppendHex2(o, v[3]);
          o = number_text::AppendHex2(o, v[2]);
          o = number_text::AppendHex2(o, v[1]);
          o = number_text::AppendHex2(o, v[0]);
        }
        *o++ = '\r';
        *o++ = '\n';
        s.cur = o;
        if (o >= s.flushAt) {
          if (int err = s.flush()) {
            for (auto& other : sinks) other.file.close();
            result.recordsRead = counter;
            result.message = WriteError(*s.output, err);
            return result;
          }
        }
      }
    }
    if (lastInChunk) std::memcpy(lastRecord.data(), lastInChunk, kLoggerRecordSize);
  }
  in.close();
  result.recordsRead = counter;

  // Close every file even when one fails, and report the first failure.
  std::string failure;
  for (Sink& s : sinks) {
    int err = s.flush();
    const int closeErr = s.file.close();
    if (!err) err = closeErr;
    if (err && failure.empty()) failure = WriteError(*s.output, err);
  }
  if (!failure.empty()) {
    result.message = failure;
    return result;
  }
  report(nullptr);
  if (lastPosition > 0) {
    const std::string_view bytes(reinterpret_cast<const char*>(lastRecord.data()), lastRecord.size());
    result.lastProgressText =
        ProgressText(lastPosition, *LoggerRecord::Parse(bytes), plan_.channel1.withVolume);
  }
  result.status = ExportStatus::Done;
  return result;
}

ExportResult ExportLoggerFile(const ExportRequest& request, const ExportProgressSink& progress,
                              const ExistingOutputQuestion& question, std::stop_token stop) {
  LoggerExport job(request);
  return job.run(question, progress, std::move(stop));
}

} // namespace trelvan
