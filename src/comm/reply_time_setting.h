#pragma once
// The reply time-out of a station: 2000 ms unless "trelvan.ini" in its
// folder says otherwise:
//   [Line]
//   reply_ms=3000
// A slow radio link or a long cable may need more; a test, less.

#include <filesystem>
#include <string>

namespace trelvan {

inline constexpr int kMinReplyMs = 100;
inline constexpr int kMaxReplyMs = 10'000;

// The setting of "trelvan.ini" in `folder`, or 2000 without one. A value that
// is no whole number of 100..10000 ms is not taken: the default is, and
// `problem` (German) says why.
int ConfiguredReplyMs(const std::filesystem::path& folder, std::string* problem = nullptr);

} // namespace trelvan
