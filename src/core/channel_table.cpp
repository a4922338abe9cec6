#include "channel_table.h"

#include <charconv>
#include <optional>

#include "catalogue.h"
#include "cp1252.h"
#include "text_file.h"

namespace trelvan {

namespace {

constexpr const char* kCrLf = "\r\n";

std::string Quote(std::string_view cp1252) { return "\"" + std::string(cp1252) + "\""; }

// Collects the problems of one load; the first one is reported.
struct LoadProblems {
  std::string first;
  void Add(int line, std::string_view field, std::string_view what) {
    if (!first.empty()) return;
    first = "Die Datei \"config.txt\" ist fehlerhaft: Zeile " + std::to_string(line) + ", " +
            std::string(field) + ": " + std::string(what) + ".";
  }
};

std::string ChannelField(int channel, std::string_view name) {
  return std::string(name) + " von Kanal " + std::to_string(channel);
}

std::optional<bool> ParseFlag(const TextField& f) {
  if (f.quoted) return std::nullopt;
  if (f.text == "#TRUE#") return true;
  if (f.text == "#FALSE#") return false;
  if (auto n = ParseWholeNumber(f.text)) return *n != 0;
  return std::nullopt;
}

} // namespace

int ChannelTable::enabledCount() const {
  int n = 0;
  for (const auto& c : channels) n += c.isEnabled() ? 1 : 0;
  return n;
}

std::string QuotedFieldProblem(std::string_view utf8) {
  if (utf8.find('"') != std::string_view::npos) return "enthält ein Anführungszeichen";
  if (utf8.find_first_of("\r\n") != std::string_view::npos) return "enthält einen Zeilenumbruch";
  if (!Utf8ToCp1252(utf8)) return "enthält ein Zeichen, das die Datei nicht speichern kann";
  return {};
}

ChannelFileBytes FormatChannelFile(const ChannelTable& table) {
  ChannelFileBytes out;
  for (int i = 0; i < kChannelCount; ++i) {
    const ChannelConfig& c = table[i];
    for (auto [text, name] : {std::pair{std::string_view(c.stationAddress), "Adresse"},
                              std::pair{std::string_view(c.marker), "Merkzeichen"}}) {
      if (auto problem = QuotedFieldProblem(text); !problem.empty()) {
        out.error = std::string(name) + " von Kanal " + std::to_string(i) + " " + problem + ".";
        out.bytes.clear();
        return out;
      }
    }
    out.bytes += std::to_string(c.enabled) + "," + std::to_string(c.typeIndex) + kCrLf;
    out.bytes += Quote(*Utf8ToCp1252(c.stationAddress)) + "," + Quote(*Utf8ToCp1252(c.marker)) + kCrLf;
  }
  auto flags = [&](bool ChannelConfig::*flag) {
    std::string line;
    for (int i = 0; i < kChannelCount; ++i) {
      if (i) line += ",";
      line += (table[i].*flag) ? "#TRUE#" : "#FALSE#";
    }
    return line + kCrLf;
  };
  out.bytes += flags(&ChannelConfig::isMaster);
  out.bytes += flags(&ChannelConfig::isExt);
  return out;
}

ConfigStatus ParseChannelFile(ChannelTable& table, std::string_view bytes) {
  std::array<ChannelConfig, kChannelCount> read{};
  LoadProblems problems;
  FieldReader reader(bytes);
  bool truncated = false;

  auto next = [&](int channel, std::string_view name) -> std::optional<TextField> {
    if (truncated) return std::nullopt;
    auto f = reader.Next();
    if (!f) {
      truncated = true;
      problems.Add(reader.line(), ChannelField(channel, name),
                   reader.unterminatedQuote() ? "schließendes Anführungszeichen fehlt"
                                              : "Datei endet zu früh");
    }
    return f;
  };
  auto number = [&](int channel, std::string_view name, long long lo, long long hi,
                    std::int16_t& target) {
    auto f = next(channel, name);
    if (!f) return;
    auto n = f->quoted ? std::nullopt : ParseWholeNumber(f->text);
    if (!n) {
      problems.Add(f->line, ChannelField(channel, name), "\"" + Cp1252ToUtf8(f->text) + "\" ist keine Zahl");
    } else if (*n < lo || *n > hi) {
      problems.Add(f->line, ChannelField(channel, name),
                   std::to_string(*n) + " liegt nicht zwischen " + std::to_string(lo) + " und " +
                       std::to_string(hi));
    } else {
      target = static_cast<std::int16_t>(*n);
    }
  };
  auto text = [&](int channel, std::string_view name, std::string& target) {
    auto f = next(channel, name);
    if (f) target = Cp1252ToUtf8(f->text);
  };

  for (int i = 0; i < kChannelCount; ++i) {
    auto& c = read[static_cast<std::size_t>(i)];
    number(i, "Auswahl", 0, 2, c.enabled);
    number(i, "Messung Typ", -1, kMeasurementTypeCount - 1, c.typeIndex);
    text(i, "Adresse", c.stationAddress);
    text(i, "Merkzeichen", c.marker);
  }
  // Line 9 holds the Master flags, line 10 the Ext. flags; setting one flag
  // clears the other, so "#TRUE#" on both lines reads as Ext.
  for (int element = 0; element < 2; ++element) {
    for (int i = 0; i < kChannelCount; ++i) {
      auto& c = read[static_cast<std::size_t>(i)];
      auto f = next(i, element == 0 ? "Master" : "Ext.");
      if (!f) break;
      auto flag = ParseFlag(*f);
      if (!flag) {
        problems.Add(f->line, ChannelField(i, element == 0 ? "Master" : "Ext."),
                     "\"" + Cp1252ToUtf8(f->text) + "\" ist kein Wahrheitswert");
        continue;
      }
      if (element == 0) {
        c.isMaster = *flag;
        if (*flag) c.isExt = false;
      } else {
        c.isExt = *flag;
        if (*flag) c.isMaster = false;
      }
    }
  }
  table.channels = read;
  if (problems.first.empty()) return {};
  return {ConfigStatus::Kind::Invalid, problems.first};
}

ConfigStatus LoadChannelTable(ChannelTable& table, const std::filesystem::path& folder) {
  const FileBytes file = ReadWholeFile(folder / kChannelFileName);
  if (file.status == ReadStatus::Missing) {
    table.channels = {};
    return {ConfigStatus::Kind::Missing,
            "Die Datei \"config.txt\" fehlt. Alle Kanäle sind ausgeschaltet; "
            "die Datei wird beim nächsten Speichern angelegt."};
  }
  if (file.status == ReadStatus::Unreadable) {
    table.channels = {};
    return {ConfigStatus::Kind::IoError,
            "Die Datei \"config.txt\" kann nicht gelesen werden: " + file.reason};
  }
  return ParseChannelFile(table, file.bytes);
}

ConfigStatus SaveChannelTable(const ChannelTable& table, const std::filesystem::path& folder) {
  const ChannelFileBytes formatted = FormatChannelFile(table);
  if (!formatted.error.empty())
    return {ConfigStatus::Kind::Invalid,
            "\"config.txt\" wurde nicht gespeichert: " + formatted.error};
  if (auto error = WriteFileAtomically(folder / kChannelFileName, formatted.bytes))
    return {ConfigStatus::Kind::IoError, *error};
  return {};
}

void BuildChannelCaptions(ChannelTable& table) {
  for (int i = 0; i < kChannelCount; ++i) {
    auto& caption = table.ChannelCaption[static_cast<std::size_t>(i)];
    caption = table[i].marker;
    if (table[i].typeIndex == kFlowTypeIndex)
      caption = table[i].marker + "\r\nTages Volumen\r\nGesamtvolumen";
  }
}

bool IsMasterChannel(const ChannelTable& table, int i) {
  if (i < 0 || i >= kChannelCount) return false;
  return table[i].isMaster;
}

double LeadingNumber(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  std::size_t end = i;
  if (end < text.size() && (text[end] == '-' || text[end] == '+')) ++end;
  const std::size_t digitsStart = end;
  while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
  if (end < text.size() && text[end] == '.') {
    ++end;
    while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
  }
  if (end == digitsStart) return 0;
  std::string_view number = text.substr(i, end - i);
  if (!number.empty() && number.front() == '+') number.remove_prefix(1);
  double value = 0;
  auto [ptr, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
  (void)ptr;
  return ec == std::errc() ? value : 0;
}

} // namespace trelvan
