#include "record_export.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>

#include "core/system_error.h"
#include "core/time_text.h"
#include "core/reading_json.h"
#include "record/record_schema.h"

#if defined(__unix__)
#include <unistd.h>
#endif

namespace trelvan {

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

constexpr std::array<std::string_view, 5> kValueHeaders{"Messwert", "Temperatur", "Zweiter Wert", "Tagesvolumen",
                                                         "Gesamtvolumen"};

} // namespace

std::optional<RecordFormat> RecordFormatFromName(std::string_view name) {
  if (name == "csv") return RecordFormat::Csv;
  if (name == "tsv") return RecordFormat::Tsv;
  if (name == "jsonl") return RecordFormat::JsonLines;
  return std::nullopt;
}

RecordLineWriter::RecordLineWriter(RecordFormat format, std::string decimalSeparator)
    : format_(format), separator_(std::move(decimalSeparator)) {}

std::string RecordLineWriter::Header() const {
  if (format_ == RecordFormat::JsonLines) return {};
  std::string out = format_ == RecordFormat::Csv ? std::string(kBom) : std::string();
  const char sep = format_ == RecordFormat::Csv ? ';' : '\t';
  out += "Zeit (lokal)";
  for (std::string_view name : {"Zeit (UTC)", "Durchlauf", "Kanal", "Station", "Block", "Typ", "Merkzeichen", "OK",
                                "Fehler", "Grund", "Ausnahmecode"}) {
    out += sep;
    out += name;
  }
  for (std::string_view name : kValueHeaders) {
    out += sep;
    out += name;
    out += sep;
    out += "Einheit";
  }
  out += sep;
  out += "Anzeige";
  out += sep;
  out += "Alarm";
  out += format_ == RecordFormat::Csv ? "\r\n" : "\n";
  return out;
}

std::string RecordLineWriter::Number(const std::optional<double>& number) const {
  if (!number || !std::isfinite(*number)) return {};
  if (*number == 0) return "0";
  char buf[400];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, *number, std::chars_format::fixed);
  if (ec != std::errc()) return {};
  std::string text(buf, end);
  if (const auto point = text.find('.'); point != std::string::npos) text.replace(point, 1, separator_);
  return text;
}

void RecordLineWriter::Field(std::string_view text, bool isText, std::string& out) const {
  if (format_ == RecordFormat::Tsv) {
    for (const char c : text) {
      switch (c) {
        case '\t': out += "\\t"; break;
        case '\r': out += "\\r"; break;
        case '\n': out += "\\n"; break;
        case '\\': out += "\\\\"; break;
        default: out += c;
      }
    }
    return;
  }
  // A spreadsheet would run "=…", "+…", "-…" or "@…" as a formula.
  const bool formulaLike = isText && !text.empty() && std::string_view("=+-@").find(text.front()) != std::string_view::npos;
  const bool quote = formulaLike || text.find_first_of(";\"\r\n") != std::string_view::npos;
  if (!quote) {
    out += text;
    return;
  }
  out += '"';
  if (formulaLike) out += '\'';
  for (const char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

void RecordLineWriter::Append(const Reading& r, std::string& out) const {
  if (format_ == RecordFormat::JsonLines) {
    out += ReadingJson(r);
    out += '\n';
    return;
  }
  const char sep = format_ == RecordFormat::Csv ? ';' : '\t';
  auto field = [&](std::string_view text, bool isText = false) {
    Field(text, isText, out);
    out += sep;
  };
  field(IsoLocalTime(r.timeMs));
  field(IsoUtcTime(r.timeMs));
  field(std::to_string(r.pass));
  field(std::to_string(r.channel));
  field(std::to_string(r.station));
  field(r.block == Block::Ext ? "Ext." : "Master");
  field(r.type, true);
  field(r.marker, true);
  field(r.ok ? "ja" : "nein");
  field(FailureKindId(r.failure));
  field(r.reason, true);
  field(!r.ok && r.failure == FailureKind::Exception ? std::to_string(r.exceptionCode) : std::string());
  for (std::string_view name : kRecordValueColumns) {
    const ReadingValue* v = r.Value(name);
    field(v ? Number(v->number) : std::string());
    field(v ? std::string_view(v->unit) : std::string_view(), true);
  }
  field(r.text, true);
  Field(r.alarm == AlarmState::Low ? "unten" : r.alarm == AlarmState::High ? "oben" : "", false, out);
  out += format_ == RecordFormat::Csv ? "\r\n" : "\n";
}

namespace {

// Writes the range through `write` in pieces of about 64 KiB; `write` returns
// false when the output failed. Sets readings, error for a read failure or a
// cancel; the caller names an output failure.
RecordExportResult Export(RecordReader& reader, const RecordRange& range, RecordFormat format,
                          const std::string& decimalSeparator, const std::function<bool(const std::string&)>& write,
                          const std::function<bool(std::int64_t)>& progress, bool* writeFailed) {
  RecordExportResult result;
  const RecordLineWriter writer(format, decimalSeparator);
  std::string buffer = writer.Header();
  bool cancelled = false;
  *writeFailed = false;
  const bool read = reader.ForEachReading(range, [&](const Reading& r) {
    writer.Append(r, buffer);
    ++result.readings;
    if (buffer.size() >= (1 << 16)) {
      *writeFailed = !write(buffer);
      buffer.clear();
      if (*writeFailed) return false;
    }
    if (progress && result.readings % 10000 == 0 && !progress(result.readings)) {
      cancelled = true;
      return false;
    }
    return true;
  });
  if (!*writeFailed) *writeFailed = !write(buffer);
  if (!read) result.error = "Die Aufzeichnung kann nicht gelesen werden: " + reader.error();
  else if (cancelled) result.error = "Export abgebrochen";
  result.ok = read && !cancelled && !*writeFailed;
  return result;
}

} // namespace

RecordExportResult ExportRecord(RecordReader& reader, const RecordRange& range, RecordFormat format,
                                const std::string& decimalSeparator, std::ostream& out,
                                const std::function<bool(std::int64_t)>& progress) {
  bool writeFailed = false;
  RecordExportResult result = Export(
      reader, range, format, decimalSeparator,
      [&out](const std::string& bytes) {
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return static_cast<bool>(out.flush());
      },
      progress, &writeFailed);
  if (writeFailed && result.error.empty()) result.error = "Die Ausgabe kann nicht geschrieben werden";
  return result;
}

RecordExportResult ExportRecordToFile(RecordReader& reader, const RecordRange& range, RecordFormat format,
                                      const std::string& decimalSeparator, const std::filesystem::path& file,
                                      const std::function<bool(std::int64_t)>& progress) {
  const std::filesystem::path temp = file.string() + ".tmp";
  const std::string name = "\"" + file.filename().string() + "\"";
  std::FILE* f = std::fopen(temp.c_str(), "wb");
  if (!f) return {false, 0, name + " kann nicht angelegt werden: " + SystemErrorText(errno)};
  int err = 0;
  bool writeFailed = false;
  RecordExportResult result = Export(
      reader, range, format, decimalSeparator,
      [&](const std::string& bytes) {
        if (std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) err = errno ? errno : EIO;
        return err == 0;
      },
      progress, &writeFailed);
  if (err == 0 && std::fflush(f) != 0) err = errno;
#if defined(__unix__)
  if (err == 0 && ::fsync(::fileno(f)) != 0) err = errno;
#endif
  if (std::fclose(f) != 0 && err == 0) err = errno;
  std::error_code ec;
  if (err != 0 && result.error.empty()) result.error = name + " kann nicht geschrieben werden: " + SystemErrorText(err);
  if (!result.error.empty()) {
    result.ok = false;
    std::filesystem::remove(temp, ec);
    return result;
  }
  std::filesystem::rename(temp, file, ec);
  if (ec) {
    std::filesystem::remove(temp, ec);
    return {false, result.readings, name + " kann nicht gespeichert werden: " + SystemErrorText(ec.value())};
  }
  return result;
}

} // namespace trelvan
