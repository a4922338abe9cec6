// The trend window on a record that is being written: each channel in its
// base unit, the keys move the view, the cursor names time and values, and
// new readings appear while the window is open.

#include <gtest/gtest.h>

#include <QTest>

#include "core/time_text.h"
#include "record/reading_generator.h"
#include "record/recorder.h"
#include "support/event_loop.h"
#include "support/temp_folder.h"
#include "ui/trend_window.h"

namespace trelvan {
namespace {

using testing::TempFolder;

TEST(TrendWindow, ShowsARecordBeingWrittenInBaseUnitsWithKeysAndCursor) {
  TempFolder dir;
  const auto file = dir / "Messwerte.sqlite";
  const std::int64_t now = NowMs();
  ReadingGenerator generator(now - 20 * 60000, 1000, 2);
  Recorder recorder({.file = file});
  std::vector<std::vector<Reading>> passes;
  while (generator.nextTimeMs() < now - 5000) passes.push_back(generator.NextPass());
  ASSERT_EQ(recorder.RecordBulk(passes), std::nullopt);

  TrendWindow window(file);
  window.resize(900, 500);
  window.show();
  window.Open();
  window.SelectRange(TrendWindow::Range::TenMinutes);
  TrendPlot* plot = window.plot();
  std::vector<std::string> units;
  for (const TrendSeries& s : plot->loaded().series) units.push_back(s.unit);
  EXPECT_EQ(units, (std::vector<std::string>{"pH", "µS", "kOhm", "m3/h"}));

  // A writer beside the open window: live mode shows its readings.
  const std::int64_t newest = generator.nextTimeMs();
  recorder.RecordPass(generator.NextPass());
  EXPECT_TRUE(testing::WaitFor(
      [&] {
        const auto& series = plot->loaded().series;
        return !series.empty() && !series[0].points.empty() && series[0].points.back().timeMs >= newest;
      },
      4000));

  // Keys: a pan leaves live mode, Home returns to it; + zooms in.
  plot->setFocus();
  const std::int64_t from = plot->viewFrom(), span = plot->viewTo() - plot->viewFrom();
  QTest::keyClick(plot, Qt::Key_Left);
  EXPECT_EQ(plot->viewFrom(), from - span / 10);
  EXPECT_FALSE(window.live());
  QTest::keyClick(plot, Qt::Key_Plus);
  EXPECT_EQ(plot->viewTo() - plot->viewFrom(), span * 8 / 10);
  QTest::keyClick(plot, Qt::Key_Home);
  EXPECT_TRUE(window.live());
  EXPECT_GE(plot->viewTo(), now);

  QTest::keyClick(plot, Qt::Key_Right, Qt::ControlModifier);
  const QString cursor = plot->cursorText();
  EXPECT_TRUE(cursor.contains(QDateTime::currentDateTime().toString("dd.MM.yyyy"))) << cursor.toStdString();
  EXPECT_TRUE(cursor.contains(QRegularExpression("Kanal 0: [0-9.…–  ]+ pH"))) << cursor.toStdString();

  // Seven days read the per-minute table.
  window.SelectRange(TrendWindow::Range::SevenDays);
  EXPECT_EQ(plot->loaded().source, TrendSource::Minutes);
  EXPECT_EQ(plot->loaded().series.size(), 4u);
}

} // namespace
} // namespace trelvan
