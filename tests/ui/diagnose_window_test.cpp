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
  station.frames.Add(FrameDirection::Sent, 5, Bytes{0x05, 0x03}, {});
  window.PassEnded(); // the end of a pass shows its frames at once
  EXPECT_EQ(window.monitor()->lineCount(), 1u);
  click("Zuruecksetzen");
  EXPECT_EQ(window.counterTable()->item(2, 4)->text(), "0");
}

// The monitor draws only what changes: new lines, and the picture moved up
// by as many rows. What the screen then shows must be what drawing the whole
// monitor afresh shows, with a few lines at the top of an empty monitor and
// with the newest at the bottom of a full one, the ends of long lines included.
TEST(FrameMonitor, ShowsWhatAFreshDrawingShowsWhenOnlyChangesAreDrawn) {
  FrameMonitor monitor(100);
  const int lineHeight = monitor.fontMetrics().lineSpacing();
  monitor.resize(900, 10 * lineHeight + 2 * monitor.frameWidth() + monitor.horizontalScrollBar()->sizeHint().height());
  monitor.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&monitor));
  const int rows = monitor.viewport()->height() / lineHeight;
  auto viewportPicture = [&](const QImage& window) {
    const QPoint origin = monitor.viewport()->mapTo(&monitor, QPoint(0, 0));
    return window.copy(QRect(origin, monitor.viewport()->size())).convertToFormat(QImage::Format_RGB32);
  };
  int total = 0;
  for (const int now : {3, 2, rows + 4, 1}) {
    QStringList lines;
    for (int k = 0; k < now; ++k, ++total)
      lines << QStringLiteral("12:00:00.%1  <  St   1  01 03 10 00 06 00 00 00 00 07 19 00 E7 00 00 00 00 00 00 E3 1F  ok")
                   .arg(total, 3, 10, QChar('0'));
    monitor.Append(lines);
    QTest::qWait(30); // the changes are drawn
    const QImage shown = viewportPicture(monitor.screen()->grabWindow(monitor.winId()).toImage());
    const QImage fresh = viewportPicture(monitor.grab().toImage());
    EXPECT_TRUE(shown == fresh) << total << " lines";
  }
}

} // namespace
} // namespace trelvan
