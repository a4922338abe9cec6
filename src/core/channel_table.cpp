#include "channel_table.h"

#include <charconv>
#include <optional>

#include "catalogue.h"
#include "cp1252.h"
#include "text_file.h"
#include "texts.h"

namespace trelvan {

namespace {

namespace txt = core_texts;

constexpr const char* kCrLf = "\r\n";
constexpr std::string_view kTrue = "#TRUE#";
constexpr std::string_view kFalse = "#FALSE#";

std::string Quote(std::string_view cp1252) { return "\"" + std::string(cp1252) + "\""; }

// The kinds of field the program writes: bare whole numbers, quoted texts and
// the two flag words. Every stored file was written so; a field of another
// kind means the fields have shifted (a line is missing or was added), and
// nothing after it can be trusted.
enum class FieldKind { Number, Text, Flag };

bool HasKind(const TextField& f, FieldKind kind) {
  switch (kind) {
    case FieldKind::Number: return !f.quoted && ParseWholeNumber(f.text).has_value();
    case FieldKind::Text: return f.quoted;
    case FieldKind::Flag: return !f.quoted && (f.text == kTrue || f.text == kFalse);
  }
  return false;
}

std::string_view Expected(FieldKind kind) {
  switch (kind) {
    case FieldKind::Number: return txt::kANumber;
    case FieldKind::Text: return txt::kAQuotedText;
    case FieldKind::Flag: return txt::kAFlag;
  }
  return {};
}

} // namespace

int ChannelTable::enabledCount() const {
  int n = 0;
  for (const auto& c : channels) n += c.isEnabled() ? 1 : 0;
  return n;
}

std::string QuotedFieldProblem(std::string_view utf8) {
  if (utf8.find('"') != std::string_view::npos) return std::string(txt::kHoldsQuote);
  if (utf8.find_first_of("\r\n") != std::string_view::npos) return std::string(txt::kHoldsLineBreak);
  if (!Utf8ToCp1252(utf8)) return std::string(txt::kHoldsUnstorable);
  return {};
}

ChannelFileBytes FormatChannelFile(const ChannelTable& table) {
  ChannelFileBytes out;
  for (int i = 0; i < kChannelCount; ++i) {
    const ChannelConfig& c = table[i];
    for (auto [text, name] : {std::pair{std::string_view(c.stationAddress), txt::kAddress},
                              std::pair{std::string_view(c.marker), txt::kMarker}}) {
      if (auto problem = QuotedFieldProblem(text); !problem.empty()) {
        out.bytes.clear();
        out.status = {ConfigStatus::Kind::Invalid,
                      txt::NotSaved(kChannelFileName, txt::FieldOfChannel(name, i), problem)};
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
      line += (table[i].*flag) ? kTrue : kFalse;
    }
    return line + kCrLf;
  };
  out.bytes += flags(&ChannelConfig::isMaster);
  out.bytes += flags(&ChannelConfig::isExt);
  return out;
}

ConfigStatus ParseChannelFile(ChannelTable& table, std::string_view bytes) {
  std::array<ChannelConfig, kChannelCount> read{};
  FieldReader reader(bytes);
  std::string outOfRange; // the first number its field cannot take; the field keeps its default
  std::string shifted;    // the first field missing or of the wrong kind
  int firstUnread = kChannelCount;

  // The next field when it is there and of its kind; otherwise the reading
  // ends, and channel `channel` and all after it are unread.
  auto take = [&](int channel, std::string_view name, FieldKind kind) -> std::optional<TextField> {
    auto f = reader.Next();
    if (f && HasKind(*f, kind)) return f;
    const std::string what = f ? txt::FoundInsteadOf(f->text, f->quoted, Expected(kind))
                             : std::string(reader.unterminatedQuote() ? txt::kQuoteNotClosed
                                                                      : txt::kFileEndsEarly);
    shifted = txt::FieldProblem(f ? f->line : reader.line(), txt::FieldOfChannel(name, channel), what) +
              " " + txt::ChannelsSwitchedOff(channel, kChannelCount - 1);
    firstUnread = channel;
    return std::nullopt;
  };
  auto number = [&](int channel, std::string_view name, long long lo, long long hi,
                    std::int16_t& target) {
    auto f = take(channel, name, FieldKind::Number);
    if (!f) return false;
    const long long n = *ParseWholeNumber(f->text);
    if (n >= lo && n <= hi)
      target = static_cast<std::int16_t>(n);
    else if (outOfRange.empty())
      outOfRange = txt::FieldProblem(f->line, txt::FieldOfChannel(name, channel), txt::OutOfRange(n, lo, hi));
    return true;
  };
  auto text = [&](int channel, std::string_view name, std::string& target) {
    auto f = take(channel, name, FieldKind::Text);
    if (f) target = Cp1252ToUtf8(f->text);
    return f.has_value();
  };

  bool reading = true;
  for (int i = 0; reading && i < kChannelCount; ++i) {
    auto& c = read[static_cast<std::size_t>(i)];
    reading = number(i, txt::kCheckState, 0, 2, c.enabled) &&
              number(i, txt::kTypeIndex, -1, kMeasurementTypeCount - 1, c.typeIndex) &&
              text(i, txt::kAddress, c.stationAddress) && text(i, txt::kMarker, c.marker);
  }
  // Line 9 holds the Master flags, line 10 the Ext. flags; setting one flag
  // clears the other, so "#TRUE#" on both lines reads as Ext.
  for (int element = 0; reading && element < 2; ++element) {
    for (int i = 0; reading && i < kChannelCount; ++i) {
      auto& c = read[static_cast<std::size_t>(i)];
      const auto f = take(i, element == 0 ? txt::kMasterFlag : txt::kExtFlag, FieldKind::Flag);
      reading = f.has_value();
      if (!reading) break;
      const bool flag = f->text == kTrue;
      if (element == 0) {
        c.isMaster = flag;
        if (flag) c.isExt = false;
      } else {
        c.isExt = flag;
        if (flag) c.isMaster = false;
      }
    }
  }
  // Unread channels are off and never polled; those before them stand as read.
  for (int i = firstUnread; i < kChannelCount; ++i) read[static_cast<std::size_t>(i)] = ChannelConfig{};
  table.channels = read;

  if (outOfRange.empty() && shifted.empty()) return {};
  std::string problems = outOfRange;
  if (!shifted.empty()) problems += (problems.empty() ? "" : " ") + shifted;
  return {ConfigStatus::Kind::Invalid, txt::FileFaulty(kChannelFileName, problems)};
}

ConfigStatus LoadChannelTable(ChannelTable& table, const std::filesystem::path& folder) {
  const FileBytes file = ReadSmallFile(folder / kChannelFileName);
  if (file.status == ReadStatus::Missing) {
    table.channels = {};
    return {ConfigStatus::Kind::Missing, txt::FileMissing(kChannelFileName, txt::kChannelDefaults)};
  }
  if (file.status == ReadStatus::Unreadable) {
    table.channels = {};
    return {ConfigStatus::Kind::IoError,
            txt::FileUnreadable(kChannelFileName, file.reason, txt::kChannelDefaults)};
  }
  return ParseChannelFile(table, file.bytes);
}

ConfigStatus SaveChannelTable(const ChannelTable& table, const std::filesystem::path& folder) {
  const ChannelFileBytes formatted = FormatChannelFile(table);
  if (!formatted.status.ok()) return formatted.status;
  return WriteFileAtomically(folder / kChannelFileName, formatted.bytes);
}

void BuildChannelCaptions(ChannelTable& table) {
  for (int i = 0; i < kChannelCount; ++i) {
    auto& caption = table.ChannelCaption[static_cast<std::size_t>(i)];
    caption = table[i].marker;
    if (table[i].typeIndex == kFlowTypeIndex)
      caption = table[i].marker + kCrLf + std::string(txt::kDailyVolume) + kCrLf +
                std::string(txt::kTotalVolume);
  }
}

bool IsMasterChannel(const ChannelTable& table, int i) {
  if (i < 0 || i >= kChannelCount) return false;
  return table[i].isMaster;
}

int ChannelSharingStationAndBlock(const ChannelTable& table) {
  int channel = -1;
  for (int i = 0; i < kChannelCount; ++i)
    for (int j = i + 1; j < kChannelCount; ++j)
      if (table[i].isEnabled() && table[j].isEnabled() && table[i].stationAddress == table[j].stationAddress &&
          IsMasterChannel(table, i) == IsMasterChannel(table, j))
        channel = i;
  return channel;
}

} // namespace trelvan
