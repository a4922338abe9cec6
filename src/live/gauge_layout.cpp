#include "gauge_layout.h"

#include "core/catalogue.h"

namespace trelvan {

GaugeLayout LayoutGauges(const ChannelTable& table, int frameTop) {
  using namespace design;
  GaugeLayout layout;
  for (int i = 0; i < kChannelCount; ++i) {
    auto& g = layout.gauges[static_cast<std::size_t>(i)];
    const auto k = static_cast<std::size_t>(i);
    g.captionTop = 720 * (i + 1);
    g.labelTop = kLabelTop[k];
    g.labelHeight = kLabelHeight[k];
    g.panelTop = kPanelTop[k];
    g.panelHeight = kPanelHeight;
  }

  // The first shown value label stands at the frame's top coordinate plus the
  // gap, whatever its channel number.
  int top = frameTop;
  int previousHeight = 0;
  int frameHeight = kFrameMargin;
  for (int i = 0; i < kChannelCount; ++i) {
    if (!table[i].isEnabled()) continue;
    auto& g = layout.gauges[static_cast<std::size_t>(i)];
    g.shown = true;
    g.labelTop = top + previousHeight + kGap;
    g.captionTop = g.labelTop;
    g.panelTop = g.labelTop - 60;
    const int type = table[i].typeIndex;
    if (type == kFlowTypeIndex || type == kDualResistivityTypeIndex) {
      g.tallPanel = true;
      g.panelHeight = kTallPanelHeight;
      g.labelHeight = kTallLabelHeight;
    }
    top = g.labelTop;
    previousHeight = g.labelHeight;
    frameHeight = g.labelTop + g.labelHeight + kFrameMargin;
  }
  layout.frameHeight = frameHeight;
  layout.pictureHeight = frameHeight - 250;
  return layout;
}

} // namespace trelvan
