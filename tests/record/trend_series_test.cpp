// The trend's reduction to pixel columns: no extreme may get lost, and a gap
// stays a gap.

#include <gtest/gtest.h>

#include <random>

#include "record/trend_series.h"

namespace trelvan {
namespace {

TEST(TrendDecimation, EveryColumnKeepsTheExtremesOfItsPoints) {
  std::mt19937 random(11);
  std::normal_distribution<double> noise(0, 1);
  std::vector<TrendPoint> points;
  for (std::int64_t t = 0; t < 100000; t += 37) {
    double v = noise(random);
    if (random() % 500 == 0) v *= 100; // spikes
    // Every third point is a minute's summary with its own spread.
    const double spread = t % 3 == 0 ? std::abs(noise(random)) : 0;
    points.push_back({t, v, v - spread, v + spread, random() % 300 == 0});
  }
  for (const auto& [from, to, width] : {std::tuple{0, 100000, 1000}, std::tuple{12345, 67890, 333},
                                        std::tuple{0, 100000, 7}, std::tuple{50000, 50400, 800}}) {
    const auto columns = DecimateTrend(points, from, to, width, 100);
    ASSERT_EQ(columns.size(), static_cast<std::size_t>(width));
    std::vector<TrendColumn> expected(static_cast<std::size_t>(width));
    for (const TrendPoint& p : points) {
      if (p.gap || p.timeMs < from || p.timeMs >= to) continue;
      auto& col = expected[static_cast<std::size_t>((p.timeMs - from) * width / (to - from))];
      col.min = col.hasData ? std::min(col.min, p.min) : p.min;
      col.max = col.hasData ? std::max(col.max, p.max) : p.max;
      col.hasData = true;
    }
    // What a column must show: whether it has data, and then its extremes.
    auto shown = [](const TrendColumn& c) {
      return c.hasData ? std::tuple(true, c.min, c.max) : std::tuple(false, 0.0, 0.0);
    };
    for (int c = 0; c < width; ++c)
      ASSERT_EQ(shown(columns[static_cast<std::size_t>(c)]), shown(expected[static_cast<std::size_t>(c)]))
          << "column " << c << " of " << width;
  }
}

TEST(TrendDecimation, AFailedReadingOrALongPauseBreaksTheLine) {
  const std::vector<TrendPoint> points{
      {0, 1, 1, 1, false},    {10, 2, 2, 2, false},   // joined
      {20, 0, 0, 0, true},    {30, 3, 3, 3, false},   // after a failed reading
      {40, 4, 4, 4, false},   {400, 5, 5, 5, false},  // after a pause longer than the gap time
      {410, 6, 6, 6, false},
  };
  const auto columns = DecimateTrend(points, 0, 500, 50, 100);
  for (const auto& [column, joins] : {std::pair{1, true}, {3, false}, {4, true}, {40, false}, {41, true}}) {
    ASSERT_TRUE(columns[static_cast<std::size_t>(column)].hasData) << column;
    EXPECT_EQ(columns[static_cast<std::size_t>(column)].joinsPrevious, joins) << column;
  }
}

} // namespace
} // namespace trelvan
