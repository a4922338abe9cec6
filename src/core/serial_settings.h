#pragma once
// The serial line settings: port, speed, parity and stop bits, as the operator's
// choices (indexes) and as the pieces of the settings text "9600,n,8, 1".
// Stored in "PortCom.dat".

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "config_status.h"

namespace trelvan {

inline constexpr const char* kSerialFileName = "PortCom.dat";

// Parity letters by parity index; entry 3 is reached by no choice.
inline constexpr std::array<std::string_view, 4> ParityLetters{"n", "e", "o", ""};
inline constexpr std::array<std::string_view, 3> kSpeedTexts{"9600", "4800", "2400"};

struct SerialSettings {
  std::int16_t portNumber = 1;    // 1..4, "Com1".."Com4"
  std::int16_t speedIndex = 0;    // 0..2
  std::int16_t parityIndex = 0;   // 0..2
  std::int16_t stopBitsIndex = 0; // 0..1
  std::string speedText = "9600";
  std::string parityLetter = "n";
  std::string dataBitsText = "8";
  std::string stopBitsText = " 1";

  // Each choice sets its text piece in the same step.
  void SetPort(int optionIndex) { portNumber = static_cast<std::int16_t>(optionIndex + 1); }
  void SetSpeed(int index);
  void SetParity(int index);
  void SetStopBits(int index);
  // Sets all four pieces from the indexes; a piece of an index that has no
  // choice is empty, which the port refuses to open with.
  void SetTextsFromIndexes();

  bool operator==(const SerialSettings&) const = default;
};

// speedText "," parityLetter "," dataBitsText "," stopBitsText, nothing trimmed:
// "9600,n,8, 1" for the first choices.
std::string SettingsText(const SerialSettings& settings);

// The stop-bit piece of a stop-bit index: the count with a leading sign place,
// " 1" or " 2".
std::string StopBitsPiece(int index);

// Reads the four numbers of "PortCom.dat" in `folder` (any blanks, commas and
// line ends between them). A missing or unreadable file (a folder, a device, a
// file of more than 64 KiB): defaults (Com1, 9600, no parity, one stop bit),
// and it says so. A number that cannot be read or lies outside its
// choices is reported with its line and takes its default.
ConfigStatus LoadSerialSettings(SerialSettings& settings, const std::filesystem::path& folder);

// Writes the four indexes in print zones, atomically.
ConfigStatus SaveSerialSettings(const SerialSettings& settings, const std::filesystem::path& folder);

std::string FormatSerialFile(const SerialSettings& settings);
ConfigStatus ParseSerialFile(SerialSettings& settings, std::string_view bytes);

} // namespace trelvan
