#pragma once
// Emptying a logger file on the medium, or creating an empty one, which is
// what the station's logger expects to find. Nothing is written into the
// file: its header and records come from the logger.

#include <filesystem>
#include <string_view>

#include "logger/logger_result.h"

namespace trelvan {

inline constexpr std::string_view kNewLoggerFileName = "Kestrane.log";

// Truncates the file to 0 bytes, creating it if it has gone meanwhile.
// Refuses (ResetFailed) a symbolic link or anything but a plain file.
LoggerResult ResetLoggerFile(const std::filesystem::path& file);

// Creates an empty "Kestrane.log" in the folder; refuses when that name is
// taken (by anything, a dangling link included).
LoggerResult CreateLoggerFile(const std::filesystem::path& folder);

} // namespace trelvan
