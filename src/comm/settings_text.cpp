#include "settings_text.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <vector>

namespace trelvan {

namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

std::optional<int> WholeNumber(std::string_view s) {
  int value = 0;
  const auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (s.empty() || ec != std::errc() || ptr != s.data() + s.size()) return std::nullopt;
  return value;
}

// The speeds a PC serial port offers.
constexpr std::array kBaudRates{110, 300, 600, 1200, 2400, 4800, 9600, 14400, 19200,
                                38400, 57600, 115200};

bool Fail(std::string* why, std::string text) {
  if (why) *why = std::move(text);
  return false;
}

} // namespace

std::optional<LineSettings> ParseSettingsText(std::string_view text, std::string* why) {
  std::vector<std::string_view> pieces;
  for (std::size_t start = 0;;) {
    const std::size_t comma = text.find(',', start);
    pieces.push_back(Trim(text.substr(start, comma == std::string_view::npos ? comma : comma - start)));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  const std::string quoted = "\"" + std::string(text) + "\"";
  if (pieces.size() != 4) {
    Fail(why, "Schnittstelleneinstellung " + quoted +
                  " hat nicht die Form Geschwindigkeit,Parität,Datenbits,Stoppbits");
    return std::nullopt;
  }

  LineSettings settings;
  const auto baud = WholeNumber(pieces[0]);
  if (!baud || std::find(kBaudRates.begin(), kBaudRates.end(), *baud) == kBaudRates.end()) {
    Fail(why, "Schnittstelleneinstellung " + quoted + ": unbekannte Geschwindigkeit \"" +
                  std::string(pieces[0]) + "\"");
    return std::nullopt;
  }
  settings.baudRate = *baud;

  if (pieces[1].size() != 1) {
    Fail(why, "Schnittstelleneinstellung " + quoted + ": unbekannte Parität \"" +
                  std::string(pieces[1]) + "\"");
    return std::nullopt;
  }
  switch (pieces[1][0]) {
    case 'n': case 'N': settings.parity = Parity::None; break;
    case 'e': case 'E': settings.parity = Parity::Even; break;
    case 'o': case 'O': settings.parity = Parity::Odd; break;
    case 'm': case 'M': settings.parity = Parity::Mark; break;
    case 's': case 'S': settings.parity = Parity::Space; break;
    default:
      Fail(why, "Schnittstelleneinstellung " + quoted + ": unbekannte Parität \"" +
                    std::string(pieces[1]) + "\"");
      return std::nullopt;
  }

  const auto dataBits = WholeNumber(pieces[2]);
  if (!dataBits || *dataBits < 5 || *dataBits > 8) {
    Fail(why, "Schnittstelleneinstellung " + quoted + ": unzulässige Datenbits \"" +
                  std::string(pieces[2]) + "\"");
    return std::nullopt;
  }
  settings.dataBits = *dataBits;

  const auto stopBits = WholeNumber(pieces[3]);
  if (!stopBits || (*stopBits != 1 && *stopBits != 2)) {
    Fail(why, "Schnittstelleneinstellung " + quoted + ": unzulässige Stoppbits \"" +
                  std::string(pieces[3]) + "\"");
    return std::nullopt;
  }
  settings.stopBits = *stopBits;
  return settings;
}

} // namespace trelvan
