#include <gtest/gtest.h>

#include <QPushButton>
#include <QTableWidget>

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
  EXPECT_TRUE(window.counterTable()->item(2, 8)->text().endsWith("Station 5 antwortet nicht"));
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

} // namespace
} // namespace trelvan
