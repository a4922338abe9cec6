#pragma once
// The channel table: for each of the four channels whether it is measured, its
// measurement type, station address, Master/Ext. register block and marker,
// stored in "config.txt".

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>

#include "config_status.h"

namespace trelvan {

inline constexpr int kChannelCount = 4;
inline constexpr const char* kChannelFileName = "config.txt";

struct ChannelConfig {
  std::int16_t enabled = 0;    // check state 0, 1 or 2; only 1 means measured
  std::int16_t typeIndex = -1; // 0..15, -1 = no type chosen
  std::string stationAddress;  // as typed, UTF-8
  std::string marker;          // UTF-8
  // The Master/Ext. choice is two exclusive flags; both may be clear, which
  // reads as not Master.
  bool isMaster = true;
  bool isExt = false;

  bool isEnabled() const { return enabled == 1; }
  bool operator==(const ChannelConfig&) const = default;
};

struct ChannelTable {
  std::array<ChannelConfig, kChannelCount> channels{};
  std::array<std::string, kChannelCount> ChannelCaption{}; // gauge captions

  ChannelConfig& operator[](int i) { return channels[static_cast<std::size_t>(i)]; }
  const ChannelConfig& operator[](int i) const { return channels[static_cast<std::size_t>(i)]; }
  int enabledCount() const;
};

// Reads "config.txt" in `folder` into the table's channels (captions untouched).
// A missing file leaves the defaults and says so; a malformed one keeps what
// could be read, defaults for the rest, and names the first faulty line and
// field. Loading never writes the file.
ConfigStatus LoadChannelTable(ChannelTable& table, const std::filesystem::path& folder);

// Writes the whole table to "config.txt" in `folder` atomically. Refuses (and
// writes nothing) when a text holds a double quote, a line break or a
// character that Windows-1252 cannot carry, since it would not load back.
ConfigStatus SaveChannelTable(const ChannelTable& table, const std::filesystem::path& folder);

// The bytes SaveChannelTable writes, or an error text.
struct ChannelFileBytes {
  std::string bytes;
  std::string error;
};
ChannelFileBytes FormatChannelFile(const ChannelTable& table);
ConfigStatus ParseChannelFile(ChannelTable& table, std::string_view bytes);

// The gauge caption of each channel: its marker, and for a flow channel the
// names of the daily and total volume lines below it.
void BuildChannelCaptions(ChannelTable& table);

// The Master flag of channel i; false for an index outside 0..3.
bool IsMasterChannel(const ChannelTable& table, int i);

// The leading decimal number of an address text ("3abc" -> 3, "" -> 0), as the
// poll cycle reads it.
double LeadingNumber(std::string_view text);

// Why a text cannot be stored in a quoted field of "config.txt", or "".
std::string QuotedFieldProblem(std::string_view utf8);

} // namespace trelvan
