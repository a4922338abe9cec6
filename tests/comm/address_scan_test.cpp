// The address scan and the settings search against the simulator.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <tuple>

#include "comm/address_scan.h"
#include "simulator_line.h"

namespace trelvan {
namespace {

using testing::Instrument;

using Found = std::tuple<int, Block, int>; // station, block, exception code

using ScanLine = testing::SimulatorLine;

TEST_F(ScanLine, FindsStationsOnBothBlocksPassesOverSilentOnesAndStopsWhenCancelled) {
  sim::SimConfig config;
  config.instruments = {Instrument(2, 0, 2, {{0, 0, 0, 712, 215, 0, 0, 0}}), Instrument(2, 20, 5),
                        Instrument(4, 0, 1), Instrument(6, 0, 0), Instrument(7, 20, 3)};
  config.faults[6].silent = true;
  if (!Start(config)) GTEST_SKIP() << "no pseudo-terminal";

  AddressScan scan(line_);
  std::vector<Found> found;
  QObject::connect(&scan, &AddressScan::answered,
                   [&](const ScanAnswer& a) { found.emplace_back(a.station, a.block, a.exceptionCode); });
  QElapsedTimer clock;
  clock.start();
  ASSERT_TRUE(scan.Scan({1, 8, true, true, 100}));
  // Five silent stations, each asked once a round: 10 time-outs of 100 ms.
  EXPECT_LT(clock.elapsed(), 3000);

  // Master round first; a station without the block answers with an exception.
  const std::vector<Found> expected{{2, Block::Master, 0}, {4, Block::Master, 0}, {7, Block::Master, 2},
                                    {2, Block::Ext, 0},    {4, Block::Ext, 2},    {7, Block::Ext, 0}};
  EXPECT_EQ(found, expected);

  const ScanAnswer& ph = scan.answers().front();
  const auto pH = std::find_if(ph.readings.begin(), ph.readings.end(), [](auto& r) { return r.typeIndex == 2; });
  ASSERT_NE(pH, ph.readings.end());
  EXPECT_EQ(pH->text, "7.12 pH     21.5  °C");
  // A register 0 of 0 is no resistivity range, so that type is not offered.
  EXPECT_TRUE(std::none_of(ph.readings.begin(), ph.readings.end(), [](auto& r) { return r.typeIndex == 0; }));

  // A cancel ends the wait under way, not after the 2000 ms of silent station 1.
  AddressScan cancelled(line_);
  QTimer::singleShot(100, &cancelled, &AddressScan::Cancel);
  clock.restart();
  EXPECT_FALSE(cancelled.Scan({1, 14, true, true, 2000}));
  EXPECT_TRUE(cancelled.cancelled());
  EXPECT_LT(clock.elapsed(), 1000);
}

TEST_F(ScanLine, SettingsSearchFindsTheOneTheStationAnswersTo) {
  sim::SimConfig config;
  config.instruments = {Instrument(3, 0, 2)};
  config.answerOnly = sim::LineChoice{4800, 2};
  if (!Start(config)) GTEST_SKIP() << "no pseudo-terminal";

  AddressScan scan(line_);
  ASSERT_TRUE(scan.SearchSettings(3, 100));
  // A pseudo-terminal does not carry the parity: whatever answers answers
  // at the station's speed and stop bits.
  ASSERT_FALSE(scan.answers().empty());
  EXPECT_EQ(CompactSettingsText(scan.answers()[0].settings), "4800,n,8,2");
  for (const ScanAnswer& a : scan.answers())
    EXPECT_TRUE(a.settings.baudRate == 4800 && a.settings.stopBits == 2) << CompactSettingsText(a.settings);
  // The line is set back to what it was.
  EXPECT_EQ(line_.lineSettings(), LineSettings{});
}

} // namespace
} // namespace trelvan
