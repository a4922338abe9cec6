#include <gtest/gtest.h>

#include "live/gauge_layout.h"

namespace trelvan {
namespace {

TEST(GaugeLayout, SingleChannelStandsAtTheTopOfTheFrame) {
  ChannelTable t;
  t[2].enabled = 1;
  t[2].typeIndex = 2; // pH
  const GaugeLayout l = LayoutGauges(t);
  const GaugeGeometry& g = l.gauges[2];
  EXPECT_TRUE(g.shown);
  EXPECT_EQ(g.labelTop, 1095);
  EXPECT_EQ(g.panelTop, 1035);
  EXPECT_EQ(l.frameHeight, 2205); // 1095 + 390 + 720
  EXPECT_EQ(l.pictureHeight, 1955);
  EXPECT_FALSE(l.gauges[0].shown);
  EXPECT_FALSE(l.gauges[1].shown);
  EXPECT_FALSE(l.gauges[3].shown);
  EXPECT_EQ(l.gauges[0].labelTop, 650); // hidden gauges keep their design places
}

TEST(GaugeLayout, FlowGaugeIsTallAndPushesTheNextOneDown) {
  ChannelTable t;
  t[0].enabled = 1;
  t[0].typeIndex = 5; // flow
  t[1].enabled = 1;
  t[1].typeIndex = 0; // resistivity
  const GaugeLayout l = LayoutGauges(t);
  EXPECT_EQ(l.gauges[0].labelTop, 1095);
  EXPECT_EQ(l.gauges[0].labelHeight, 1125);
  EXPECT_EQ(l.gauges[0].panelHeight, 1225);
  EXPECT_TRUE(l.gauges[0].tallPanel);
  EXPECT_EQ(l.gauges[1].labelTop, 2565); // 1095 + 1125 + 345
  EXPECT_EQ(l.gauges[1].panelTop, 2505);
  EXPECT_EQ(l.frameHeight, 3660);        // 2565 + 375 + 720
}

TEST(GaugeLayout, NoChannelLeavesTheEmptyFrame) {
  const GaugeLayout l = LayoutGauges(ChannelTable{});
  EXPECT_EQ(l.frameHeight, 720);
  EXPECT_EQ(l.pictureHeight, 470);
}

} // namespace
} // namespace trelvan
