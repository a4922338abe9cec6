#pragma once
// The station logger's binary file and the pieces of its spreadsheet export:
// a 58-byte header naming up to two logged quantities, then 21-byte records
// with no count, end marker or checksum. All 16-bit integers are signed
// little-endian; text fields are Windows-1252 bytes.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace trelvan {

inline constexpr std::size_t kLoggerHeaderSize = 58;
inline constexpr std::size_t kLoggerRecordSize = 21;
inline constexpr std::size_t kLoggerNameSize = 16;

// Where the fields lie, the one definition every reader of the file uses.
//
// Header, 58 bytes:              Record, 21 bytes:
//    0  16  name of channel 1       0  3  date bytes, in file order
//   18  16  name of channel 2       3  1  hour        4  1  minute
//   36   2  type code of channel 1  channel 1: 5 volume (4, BCD, low byte
//   38   2  type code of channel 2             first), 9 first value,
//   42   2  unit word of channel 1            11 second value
//   44   2  unit word of channel 2  channel 2: 13, 17, 19 the same
// (16, 34, 40 and 46..57 are the logger's own and are not read.)
namespace logger_layout {
struct ChannelFields {
  std::size_t name;
  std::size_t typeCode;
  std::size_t unitWord;
  std::size_t volume;    // in the record
  std::size_t primary;   // in the record
  std::size_t secondary; // in the record
};
inline constexpr ChannelFields kChannel[2] = {
    {0, 36, 42, 5, 9, 11},
    {18, 38, 44, 13, 17, 19},
};
inline constexpr std::size_t kDate = 0;
inline constexpr std::size_t kHour = 3;
inline constexpr std::size_t kMinute = 4;
inline constexpr std::size_t kVolumeSize = 4;
// The fields of logger channel 1 or 2.
constexpr const ChannelFields& Channel(int channel) { return kChannel[channel == 2 ? 1 : 0]; }
} // namespace logger_layout

// A signed 16-bit little-endian field.
inline std::int16_t Int16At(const unsigned char* bytes) {
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8)));
}

struct LoggerFileHeader {
  std::string name1;     // 16 bytes as stored, padding included
  std::string name2;
  std::string typeCode1; // two characters
  std::string typeCode2;
  std::int16_t unitWord1 = 0;
  std::int16_t unitWord2 = 0;

  // Nothing when fewer than 58 bytes are given. The bytes the logger keeps
  // for itself (16, 34, 40, 46..57) are not looked at.
  static std::optional<LoggerFileHeader> Parse(std::string_view bytes);
};

struct LoggerRecord {
  std::array<std::uint8_t, 3> date{}; // in file order
  std::uint8_t hour = 0;
  std::uint8_t minute = 0;
  std::array<std::uint8_t, 4> volume1{}; // BCD, least significant byte first
  std::int16_t primary1 = 0;
  std::int16_t secondary1 = 0;
  std::array<std::uint8_t, 4> volume2{};
  std::int16_t primary2 = 0;
  std::int16_t secondary2 = 0;

  // Reads the first 21 bytes; nothing when fewer are given.
  static std::optional<LoggerRecord> Parse(std::string_view bytes);

  // The logger leaves unused space zero-filled: a record whose three date
  // bytes are zero holds nothing.
  bool empty() const { return date[0] == 0 && date[1] == 0 && date[2] == 0; }
};

// Date and time bytes hold BCD digits, so their hexadecimal value reads as the
// decimal number: each byte in uppercase hexadecimal without leading zero,
// "25/3/12" and "9:5". A byte that is not BCD shows its digits ("1A").
std::string DateText(const LoggerRecord& record);
std::string TimeText(const LoggerRecord& record);
// Eight digits, most significant byte first: 45 23 01 00 gives "00012345".
std::string VolumeText(const std::array<std::uint8_t, 4>& volume);

// How one logger channel is exported: everything the output file needs that
// follows from its type code and unit word.
struct LoggerChannelLayout {
  std::string typeName;    // UTF-8; empty for an unknown code
  std::string unitColumns; // UTF-8, the header columns after "Uhr", TAB-separated
  int firstDivisor = 1;
  int secondDivisor = 10;
  bool withVolume = false; // flow: the data line ends with the volume counter
};

// channel is 1 or 2: the dual resistivity type labels its second value
// "MOhm" on channel 1 and repeats the unit on channel 2. The 731 series and
// unknown codes have no unit columns and show the first value undivided.
LoggerChannelLayout LayoutForChannel(std::string_view typeCode, std::int16_t unitWord,
                                     int channel);

// The five lines that open an output file, Windows-1252 with CR LF: the
// logger name field exactly as stored, the type name and the header line.
std::string OutputHeaderBlock(std::string_view nameField, const LoggerChannelLayout& layout);

// Output file name (UTF-8, no directory): type name, "_", the first 15
// characters of the name field without surrounding padding, ".xls". Padding
// is blanks, and at the end also zero bytes. Characters that could leave the
// output folder or that file systems refuse become "_".
std::string OutputFileName(std::string_view typeName, std::string_view nameField);

// raw / divisor as exact decimal text: no trailing zeros, no separator for a
// whole number, "0" before the separator below 1, "-" for negatives.
// divisor is 1, 10, 100 or 1000; the separator is Windows-1252.
std::string FormatQuotient(int raw, int divisor, std::string_view decimalSeparator);

// The progress text of one record: position from 1, date, time, the raw
// values of channel 1 and its volume text (empty unless it is a flow channel).
std::string ProgressText(std::uint64_t position, const LoggerRecord& record,
                         bool channel1WithVolume);

} // namespace trelvan
