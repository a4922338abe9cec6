#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "live/gauge_layout.h"

namespace trelvan {
namespace {

// Shown gauges stack from the top of the frame whatever their channel; a flow
// gauge is tall and pushes the next one down; hidden ones keep their design places.
TEST(GaugeLayout, ShownGaugesStackFromTheTopAndTheFrameFitsThem) {
  const struct {
    const char* name;
    std::vector<std::pair<int, int>> channelTypes;
    std::vector<std::pair<int, int>> labelAndPanelTops; // of the shown gauges, in order
    int frameHeight, pictureHeight;
  } cases[] = {
      {"none", {}, {}, 720, 470},
      {"pH on channel 2", {{2, 2}}, {{1095, 1035}}, 2205, 1955},
      {"flow, then resistivity", {{0, 5}, {1, 0}}, {{1095, 1035}, {2565, 2505}}, 3660, 3410},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ChannelTable t;
    for (auto [channel, type] : c.channelTypes) t[channel] = {1, static_cast<std::int16_t>(type), "1", "", true, false};
    const GaugeLayout l = LayoutGauges(t);
    std::vector<std::pair<int, int>> tops;
    for (const GaugeGeometry& g : l.gauges) if (g.shown) tops.emplace_back(g.labelTop, g.panelTop);
    EXPECT_EQ(tops, c.labelAndPanelTops);
    EXPECT_EQ(std::pair(l.frameHeight, l.pictureHeight), std::pair(c.frameHeight, c.pictureHeight));
    EXPECT_EQ(l.gauges[3].labelTop, 2790) << "a hidden gauge keeps its design place";
  }
}

} // namespace
} // namespace trelvan
