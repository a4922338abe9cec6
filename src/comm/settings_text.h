#pragma once
// The line settings text "9600,n,8, 1": speed, parity letter, data bits and
// stop bits joined by commas. Blanks around a piece are allowed (the stop-bit
// piece carries one before its digit); anything else that does not read as a
// setting is refused, never guessed.

#include <optional>
#include <string>
#include <string_view>

namespace trelvan {

enum class Parity { None, Even, Odd, Mark, Space };

struct LineSettings {
  int baudRate = 9600;
  Parity parity = Parity::None;
  int dataBits = 8;  // 5..8
  int stopBits = 1;  // 1 or 2
  bool operator==(const LineSettings&) const = default;
};

// The settings of a text, or nothing with the reason (German) in `why`.
std::optional<LineSettings> ParseSettingsText(std::string_view text, std::string* why = nullptr);

// The settings in their compact form, "9600,n,8,1" (no blanks).
std::string CompactSettingsText(const LineSettings& settings);

// How long one character takes on the line: start bit, data bits, parity bit
// and stop bits at the speed. 9600 baud, 8 data bits, no parity, one stop
// bit: 10 bits, 1.04 ms.
double CharacterTimeMs(const LineSettings& settings);

} // namespace trelvan
