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
// A missing or unreadable file (a folder, a device, a file of more than 64 KiB)
// leaves the defaults, all channels off, and says so. The fields must be of
// the kinds the program writes: check state and type index bare whole numbers,
// address and marker quoted texts, the flags #TRUE# or #FALSE#. The first
// field that is missing or of another kind ends the reading: its channel and
// every later one take the defaults (off, not polled), the channels before it
// stand as read, and the message names the line and that channel. A number its
// field cannot take leaves that field at its default. Loading never writes the
// file.
ConfigStatus LoadChannelTable(ChannelTable& table, const std::filesystem::path& folder);

// Writes the whole table to "config.txt" in `folder` atomically. Refuses (and
// writes nothing) when a text holds a double quote, a line break or a
// character that Windows-1252 cannot carry, since it would not load back.
ConfigStatus SaveChannelTable(const ChannelTable& table, const std::filesystem::path& folder);

// The bytes SaveChannelTable writes, or why it refuses.
struct ChannelFileBytes {
  std::string bytes;
  ConfigStatus status;
};
ChannelFileBytes FormatChannelFile(const ChannelTable& table);
ConfigStatus ParseChannelFile(ChannelTable& table, std::string_view bytes);

// The gauge caption of each channel: its marker, and for a flow channel the
// names of the daily and total volume lines below it.
void BuildChannelCaptions(ChannelTable& table);

// The Master flag of channel i; false for an index outside 0..3.
bool IsMasterChannel(const ChannelTable& table, int i);

// Two enabled channels on one station must read different register blocks;
// the addresses are compared as typed ("3" and "03" differ). The lower channel
// of the last pair that breaks the rule, or -1 when none does.
int ChannelSharingStationAndBlock(const ChannelTable& table);

// Why a text cannot be stored in a quoted field of "config.txt", or "".
std::string QuotedFieldProblem(std::string_view utf8);

} // namespace trelvan
