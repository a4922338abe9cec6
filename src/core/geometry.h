#pragma once
// Window geometry is stated in twips (1/1440 inch): 15 twips make one pixel at
// 96 dpi.

namespace trelvan {

inline constexpr int kTwipsPerInch = 1440;

inline int TwipsToPixels(int twips, double logicalDpi = 96.0) {
  const double px = twips * logicalDpi / kTwipsPerInch;
  return static_cast<int>(px < 0 ? px - 0.5 : px + 0.5);
}

} // namespace trelvan
