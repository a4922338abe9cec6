#include <gtest/gtest.h>

#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTableWidget>
#include <QTest>

#include "support/scripted_prompter.h"
#include "support/temp_folder.h"
#include "ui/diagnose_window.h"

namespace trelvan {
namespace {

TEST(DiagnoseWindow, ShowsTheCountersAndTheFramesAndPausesClearsAndSaves) {
  Station station;
  testing::ScriptedPrompter prompter;
  DiagnoseWindow window(station, prompter);
  Reading failed;
  failed.channel = 2;
  failed.station = 5;
  failed.failure = FailureKind::TimedOut;
  failed.reason = "Station 5 antwortet nicht";
  station.diagnostics.Count(failed, std::nullopt);
  station.frames.Add(FrameDirection::Sent, 5, Bytes{0x05, 0x03}, {});
  window.show();
  EXPECT_EQ(window.counterTable()->item(2, 1)->text(), "5 Master");
  EXPECT_EQ(window.counterTable()->item(2, 4)->text(), "1");
  EXPECT_TRUE(window.counterTable()->item(2, 10)->text().endsWith("Station 5 antwortet nicht"));
  EXPECT_TRUE(window.monitor()->Text().endsWith(">  St   5  05 03\n"));

  auto click = [&](const char* name) { window.findChild<QPushButton*>(name)->click(); };
  click("Anhalten");
  station.frames.Add(FrameDirection::Received, 5, {}, "timeout");
  window.Refresh();
  EXPECT_EQ(window.monitor()->lineCount(), 1u) << "paused";
  click("Anhalten"); // now "Fortsetzen"
  EXPECT_EQ(window.monitor()->lineCount(), 2u) << "what came meanwhile follows";

  testing::TempFolder dir;
  QString error;
  ASSERT_TRUE(window.SaveMonitorTo(QString::fromStdString((dir / "rahmen.txt").string()), &error));
  EXPECT_NE(dir.read("rahmen.txt").find("timeout\n"), std::string::npos);
  EXPECT_FALSE(window.SaveMonitorTo(QString::fromStdString((dir / "nicht/da.txt").string()), &error));
  EXPECT_TRUE(error.contains("nicht vorhanden")) << error.toStdString();

  click("Leeren");
  window.Refresh();
  EXPECT_EQ(window.monitor()->lineCount(), 0u);
  click("Zuruecksetzen");
  EXPECT_EQ(window.counterTable()->item(2, 4)->text(), "0");
}

// The monitor draws only the rows that change. What the screen then shows
// must have every line in its row: a few lines at the top of an empty
// monitor, and the newest at the bottom of a full one.
TEST(FrameMonitor, NewLinesAppearInTheirRowsWhenOnlyTheyAreDrawn) {
  FrameMonitor monitor(100);
  const int lineHeight = monitor.fontMetrics().lineSpacing();
  constexpr int kRows = 10;
  monitor.resize(500, kRows * lineHeight + 2 * monitor.frameWidth() + monitor.horizontalScrollBar()->sizeHint().height());
  monitor.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&monitor));
  const int rows = monitor.viewport()->height() / lineHeight;
  auto inkedRows = [&] {
    QTest::qWait(30); // the changed rows are drawn
    const QImage shot = monitor.screen()->grabWindow(monitor.winId()).toImage();
    const QPoint origin = monitor.viewport()->mapTo(&monitor, QPoint(0, 0));
    std::vector<int> inked;
    for (int row = 0; row < rows; ++row) {
      bool ink = false;
      for (int y = row * lineHeight; y < (row + 1) * lineHeight && !ink; ++y)
        for (int x = 0; x < monitor.viewport()->width() && !ink; ++x)
          ink = qGray(shot.pixel(origin + QPoint(x, y))) < 128;
      if (ink) inked.push_back(row);
    }
    return inked;
  };
  auto rowsUpTo = [](int n) {
    std::vector<int> r(static_cast<std::size_t>(n));
    for (int k = 0; k < n; ++k) r[static_cast<std::size_t>(k)] = k;
    return r;
  };
  int total = 0;
  for (const int now : {3, 2, rows + 4, 1}) {
    QStringList lines;
    for (int k = 0; k < now; ++k) lines << QStringLiteral("12:00:00.%1  >  St   1  01 03 00 00 00 08").arg(total++);
    monitor.Append(lines);
    EXPECT_EQ(inkedRows(), rowsUpTo(std::min(total, rows))) << total << " lines";
  }
}

} // namespace
} // namespace trelvan
