#pragma once
// Emptying a logger file on the medium, or creating an empty one, which is
// what the station's logger expects to find. Nothing is written into the
// file: its header and records come from the logger.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace trelvan {

inline constexpr std::string_view kNewLoggerFileName = "Kestrane.log";

// Truncates the file to 0 bytes (creating it if it has gone). Returns an
// error text naming the file, or nothing.
std::optional<std::string> ResetLoggerFile(const std::filesystem::path& file);

// Creates an empty "Kestrane.log" in the folder. Returns an error text, or nothing.
std::optional<std::string> CreateLoggerFile(const std::filesystem::path& folder);

} // namespace trelvan
