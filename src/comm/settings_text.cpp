#include "settings_text.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <vector>

#include "comm/operator_texts.h"
#include "core/trim.h"

namespace trelvan {

namespace {

std::optional<int> WholeNumber(std::string_view s) {
  int value = 0;
  const auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (s.empty() || ec != std::errc() || ptr != s.data() + s.size()) return std::nullopt;
  return value;
}

// The speeds a PC serial port offers.
constexpr std::array kBaudRates{110, 300, 600, 1200, 2400, 4800, 9600, 14400, 19200,
                                38400, 57600, 115200};

std::optional<Parity> ParityOfLetter(std::string_view letter) {
  if (letter.size() != 1) return std::nullopt;
  switch (letter[0]) {
    case 'n': case 'N': return Parity::None;
    case 'e': case 'E': return Parity::Even;
    case 'o': case 'O': return Parity::Odd;
    case 'm': case 'M': return Parity::Mark;
    case 's': case 'S': return Parity::Space;
    default: return std::nullopt;
  }
}

} // namespace

std::optional<LineSettings> ParseSettingsText(std::string_view text, std::string* why) {
  auto refuse = [&](SettingsPiece piece, std::string_view pieceText = {}) -> std::optional<LineSettings> {
    if (why) *why = SettingsTextProblem(text, piece, pieceText);
    return std::nullopt;
  };
  std::vector<std::string_view> pieces;
  for (std::size_t start = 0;;) {
    const std::size_t comma = text.find(',', start);
    pieces.push_back(Trim(text.substr(start, comma == std::string_view::npos ? comma : comma - start)));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  if (pieces.size() != 4) return refuse(SettingsPiece::Shape);

  LineSettings settings;
  const auto baud = WholeNumber(pieces[0]);
  if (!baud || std::find(kBaudRates.begin(), kBaudRates.end(), *baud) == kBaudRates.end())
    return refuse(SettingsPiece::Speed, pieces[0]);
  settings.baudRate = *baud;

  const auto parity = ParityOfLetter(pieces[1]);
  if (!parity) return refuse(SettingsPiece::Parity, pieces[1]);
  settings.parity = *parity;

  const auto dataBits = WholeNumber(pieces[2]);
  if (!dataBits || *dataBits < 5 || *dataBits > 8) return refuse(SettingsPiece::DataBits, pieces[2]);
  settings.dataBits = *dataBits;

  const auto stopBits = WholeNumber(pieces[3]);
  if (!stopBits || (*stopBits != 1 && *stopBits != 2)) return refuse(SettingsPiece::StopBits, pieces[3]);
  settings.stopBits = *stopBits;
  return settings;
}

double CharacterTimeMs(const LineSettings& settings) {
  const int bits = 1 + settings.dataBits + (settings.parity == Parity::None ? 0 : 1) + settings.stopBits;
  return 1000.0 * bits / settings.baudRate;
}

std::string CompactSettingsText(const LineSettings& s) {
  return std::to_string(s.baudRate) + ',' + "neoms"[static_cast<int>(s.parity)] + ',' + std::to_string(s.dataBits) +
         ',' + std::to_string(s.stopBits);
}

} // namespace trelvan
