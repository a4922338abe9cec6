#pragma once

namespace trelvan {

inline constexpr const char* VersionText = " V 2.19";
// "TRELVAN  " followed by VersionText.
inline constexpr const char* kAppTitle = "TRELVAN   V 2.19";

} // namespace trelvan
