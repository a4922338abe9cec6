#pragma once
// The limits of the four channels in the program's own settings file
// "trelvan.ini" (beside "config.txt" in the working folder), group [Limits]:
//
//   [Limits]
//   Kanal1_unten=6.5        lower limit (absent: none)
//   Kanal1_oben=8.5         upper limit (absent: none)
//   Kanal1_Hysterese=0.1    hysteresis (absent: 0)
//   Kanal1_Einheit=pH       the base unit the limits are given in (absent: any)
//
// Numbers are written with "." and read with "." or ",".

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/limits.h"
#include "core/working_folder.h"

namespace trelvan {

struct LimitSettings {
  LimitTable limits;
  // German, one per channel whose entries cannot be used; that channel is
  // left without limits and the file is not changed.
  std::vector<std::string> problems;
};

LimitSettings LoadLimitSettings(const std::filesystem::path& folder);

// Writes the [Limits] group and leaves every other group of the file as it
// is. Returns the German reason of a failure, or nothing.
std::optional<std::string> SaveLimitSettings(const LimitTable& limits, const std::filesystem::path& folder);

} // namespace trelvan
