#pragma once
// Where the gauges of the measurement window stand, in twips relative to the
// frame: the enabled channels stacked in channel order, 345 twips between one
// value label's bottom and the next one's top. A small model so that the
// layout is checked without a window.

#include <array>

#include "core/channel_table.h"

namespace trelvan {

struct GaugeGeometry {
  bool shown = false;
  int captionTop = 0;   // Etiquette1
  int labelTop = 0;     // Etiquette3, the value text
  int labelHeight = 0;
  int panelTop = 0;     // Dessin1, the display panel behind the value
  int panelHeight = 0;
  bool tallPanel = false; // flow and R_862: multi-line values on the loaded panel picture
};

struct GaugeLayout {
  std::array<GaugeGeometry, kChannelCount> gauges{};
  int frameHeight = 0;   // Cadre1
  int pictureHeight = 0; // Dessin2
};

// Design places of the window's controls, in twips.
namespace design {
inline constexpr int kFrameLeft = 1800, kFrameTop = 750, kFrameWidth = 9555, kFrameHeight = 6315;
inline constexpr int kCaptionLeft = 4995, kCaptionHeight = 300;
inline constexpr int kPanelLeft = 5850, kPanelWidth = 3495, kPanelHeight = 525;
inline constexpr int kLabelLeft = 5940;
inline constexpr std::array<int, kChannelCount> kLabelWidth{3285, 3290, 3290, 3290};
inline constexpr std::array<int, kChannelCount> kLabelTop{650, 1350, 2070, 2790};
inline constexpr std::array<int, kChannelCount> kLabelHeight{375, 375, 390, 375};
inline constexpr std::array<int, kChannelCount> kPanelTop{570, 1290, 2010, 2730};
inline constexpr int kTallPanelHeight = 1225, kTallLabelHeight = 1125;
inline constexpr int kGap = 345, kFrameMargin = 720;
} // namespace design

// LayoutGauges: disabled channels keep their design places and are not shown.
GaugeLayout LayoutGauges(const ChannelTable& table, int frameTop = design::kFrameTop);

} // namespace trelvan
