// The windows of the Extras menu: Diagnose and its frame monitor, the serial
// setup's station scan, the trend, the limits, the alarm list, the record
// export, and the outlets' MQTT restart.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>

#include "comm/qt_serial_line.h"
#include "comm/serial_line.h"
#include "core/channel_table.h"
#include "core/time_text.h"
#include "live/limit_settings.h"
#include "live/station.h"
#include "record/reading_generator.h"
#include "record/recorder.h"
#include "sim/sim_config.h"
#include "support/event_loop.h"
#include "support/running_broker.h"
#include "support/running_simulator.h"
#include "support/scripted_prompter.h"
#include "support/temp_folder.h"
#include "ui/alarm_list.h"
#include "ui/diagnose_window.h"
#include "ui/limits_dialog.h"
#include "ui/measurement_outlets.h"
#include "ui/record_export_dialog.h"
#include "ui/serial_setup_window.h"
#include "ui/trend_window.h"
#include "widget_helpers.h"

namespace trelvan {
namespace {

using testing::Control;
using testing::RunningBroker;
using testing::ScriptedPrompter;
using testing::Subscriber;
using testing::TempFolder;

// Passes of `generator` up to `untilMs`, written by `recorder`.
void WriteRecord(Recorder& recorder, ReadingGenerator& generator, std::int64_t untilMs) {
  std::vector<std::vector<Reading>> passes;
  while (generator.nextTimeMs() < untilMs) passes.push_back(generator.NextPass());
  ASSERT_EQ(recorder.RecordBulk(passes), std::nullopt);
}

TEST(DiagnoseWindow, ShowsTheCountersAndTheFramesAndPausesClearsAndSaves) {
  Station station;
  ScriptedPrompter prompter;
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
  EXPECT_EQ(window.monitor()->lineCount(), 1u);

  auto click = [&](const char* name) { window.findChild<QPushButton*>(name)->click(); };
  click("Anhalten");
  station.frames.Add(FrameDirection::Received, 5, {}, "timeout");
  window.Refresh();
  EXPECT_EQ(window.monitor()->lineCount(), 1u) << "paused";
  click("Anhalten"); // now "Fortsetzen"
  EXPECT_EQ(window.monitor()->lineCount(), 2u) << "what came meanwhile follows";

  TempFolder dir;
  QString error;
  ASSERT_TRUE(window.SaveMonitorTo(QString::fromStdString((dir / "rahmen.txt").string()), &error));
  EXPECT_NE(dir.read("rahmen.txt").find("timeout\n"), std::string::npos);
  EXPECT_FALSE(window.SaveMonitorTo(QString::fromStdString((dir / "nicht/da.txt").string()), &error));
  EXPECT_TRUE(error.contains("nicht vorhanden")) << error.toStdString();

  click("Leeren");
  window.Refresh();
  EXPECT_EQ(window.monitor()->lineCount(), 0u);
  station.frames.Add(FrameDirection::Sent, 5, Bytes{0x05, 0x03}, {});
  window.setMonitorInterval(100);
  window.PassEnded(); // the monitor took frames just now: it waits
  EXPECT_EQ(window.monitor()->lineCount(), 0u);
  QTest::qWait(120);
  window.PassEnded();
  EXPECT_EQ(window.monitor()->lineCount(), 1u);
  click("Zuruecksetzen");
  EXPECT_EQ(window.counterTable()->item(2, 4)->text(), "0");
}

// The monitor draws only what changes: new lines, the picture moved up when
// a page turns, and its scroll bar when the slider moves. What the screen
// then shows must be what drawing the whole monitor afresh shows, with a few lines at the top of an empty monitor,
// on a turned page and on a full one, the ends of long lines included. While
// new lines fit, the page stands; the newest line is always on it, and the
// scroll bar is there once the lines are more than a page.
TEST(FrameMonitor, TurnsPagesAndShowsWhatAFreshDrawingShows) {
  FrameMonitor monitor(100);
  const int lineHeight = monitor.fontMetrics().lineSpacing();
  monitor.resize(900, 10 * lineHeight + 2 * monitor.frameWidth() + monitor.horizontalScrollBar()->sizeHint().height());
  monitor.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&monitor));
  const int rows = monitor.viewport()->height() / lineHeight;
  auto picture = [&](const QImage& window) {
    return window.copy(monitor.rect()).convertToFormat(QImage::Format_RGB32);
  };
  int total = 0, top = 0;
  for (const int now : {3, 2, rows + 4, 1, rows, 2 * rows}) {
    QStringList lines;
    for (int k = 0; k < now; ++k, ++total)
      lines << QStringLiteral("12:00:00.%1  <  St   1  01 03 10 00 06 00 00 00 00 07 19 00 E7 00 00 00 00 00 00 E3 1F  ok")
                   .arg(total, 3, 10, QChar('0'));
    monitor.Append(lines);
    QTest::qWait(30); // the changes are drawn
    const QImage shown = picture(monitor.screen()->grabWindow(monitor.winId()).toImage());
    const QImage fresh = picture(monitor.grab().toImage());
    EXPECT_TRUE(shown == fresh) << total << " lines";
    const int value = monitor.verticalScrollBar()->value();
    EXPECT_TRUE(value <= total - 1 && total - 1 < value + rows) << total << " lines, page at " << value;
    EXPECT_EQ(monitor.verticalScrollBar()->isVisible(), total > rows) << total << " lines";
    if (total <= top + rows) {
      EXPECT_EQ(value, top) << total << " lines";
    }
    top = value;
  }
}

TEST(SerialSetupWindow, ScansOnlyAFreeLineAndTakesAStationIntoAChannel) {
  sim::SimConfig config;
  config.instruments = *sim::ParseScenario("2 master 2\n3 ext 5\n", nullptr);
  testing::RunningSimulator sim(config);
  if (!sim.available()) GTEST_SKIP() << "no pseudo-terminal";
  qputenv("TRELVAN_COM1", QByteArray::fromStdString(sim.devicePath()));
  TempFolder folder;
  QtSerialLine line;
  Station station;
  station.folder = folder.path();
  station.port = &line;
  ScriptedPrompter prompter;
  SerialSetupWindow window(station, prompter, nullptr, QString::fromStdString((folder / "by-id").string()));
  Control<QSpinBox>(window, "lastStation")->setValue(4);
  Control<QSpinBox>(window, "replyMs")->setValue(100);

  // A measurement holds the line: refused, and the line is left alone.
  ASSERT_TRUE(OpenPort(line, station.serialSettings).ok);
  window.ScanStations();
  ASSERT_EQ(prompter.messages.size(), 1u);
  EXPECT_NE(prompter.messages[0].text.find("Messung"), std::string::npos) << prompter.messages[0].text;
  EXPECT_TRUE(line.IsOpen());
  line.Close();

  window.ScanStations();
  ASSERT_EQ(window.answers().size(), 4u); // 2 and 3 on both blocks, one of them an exception each
  EXPECT_FALSE(line.IsOpen());

  auto* answers = Control<QTableWidget>(window, "answerTable");
  int flowRow = -1;
  for (int row = 0; row < answers->rowCount(); ++row)
    if (answers->item(row, 0)->text() == "3" && answers->item(row, 1)->text() == "Ext.") flowRow = row;
  ASSERT_GE(flowRow, 0);
  answers->selectRow(flowRow);
  Control<QComboBox>(window, "channel")->setCurrentIndex(1);
  auto* type = Control<QComboBox>(window, "type");
  type->setCurrentIndex(type->findData(kFlowTypeIndex));
  window.TakeIntoChannel();

  ChannelTable saved;
  ASSERT_TRUE(LoadChannelTable(saved, folder.path()).ok());
  EXPECT_EQ((std::tuple{saved[1].stationAddress, saved[1].isMaster, saved[1].isExt, saved[1].typeIndex}),
            (std::tuple{std::string("3"), false, true, kFlowTypeIndex}));
  EXPECT_EQ(station.channelTable[1], saved[1]);
  qunsetenv("TRELVAN_COM1");
}

// The trend window on a record that is being written: each channel in its
// base unit, the keys move the view, the cursor names time and values, and
// new readings appear while the window is open.
TEST(TrendWindow, ShowsARecordBeingWrittenInBaseUnitsWithKeysAndCursor) {
  TempFolder dir;
  const auto file = dir / "Messwerte.sqlite";
  const std::int64_t now = NowMs();
  ReadingGenerator generator(now - 20 * 60000, 1000, 2);
  Recorder recorder({.file = file});
  WriteRecord(recorder, generator, now - 5000);

  TrendWindow window(file);
  window.resize(900, 500);
  window.show();
  window.Open();
  window.SelectRange(TrendWindow::Range::TenMinutes);
  TrendPlot* plot = window.plot();

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
}

// The limits dialog shows the stored limits in the operator's notation, names
// the channels whose stored limits are faulty (and shows them empty), and
// writes only what it checked into "trelvan.ini", leaving its other groups.
TEST(LimitsDialog, ShowsTheStoredLimitsNamesFaultyOnesAndSavesOnlyCheckedLimits) {
  TempFolder dir;
  dir.write("trelvan.ini",
            "[Ports]\nCom1=/dev/ttyUSB0\n[Limits]\nKanal0_oben=abc\nKanal1_unten=5\nKanal1_oben=7,5\nKanal3_unten=9\nKanal3_oben=1\n");
  ScriptedPrompter prompter;
  LimitsDialog dialog(dir.path(), ",", prompter);
  dialog.Start();
  auto field = [&](const char* name) { return Control<QLineEdit>(dialog, name); };
  ASSERT_EQ(prompter.messages.size(), 1u);
  EXPECT_NE(prompter.messages[0].text.find("Kanal 0"), std::string::npos);
  EXPECT_NE(prompter.messages[0].text.find("Kanal 3"), std::string::npos);
  EXPECT_EQ((QStringList{field("Upper_0")->text(), field("Lower_1")->text(), field("Upper_1")->text(), field("Lower_3")->text()}),
            (QStringList{"", "5", "7,5", ""}));

  struct Case {
    const char *lower, *upper, *hysteresis, *unit;
    bool saved;
    ChannelLimits expected; // channel 2 in the file afterwards
  };
  for (const Case& c : {
           Case{"abc", "8", "", "", false, {}},
           Case{"9", "8", "", "", false, {}},
           Case{"6,5", "8.5", "0,1", "pH", true, {.lower = 6.5, .upper = 8.5, .hysteresis = 0.1, .unit = "pH"}},
           Case{"", "500", "", "", true, {.upper = 500}},
           Case{"", "", "", "", true, {}},
       }) {
    SCOPED_TRACE(std::string(c.lower) + " / " + c.upper + " / " + c.hysteresis);
    prompter = {};
    field("Lower_2")->setText(c.lower);
    field("Upper_2")->setText(c.upper);
    field("Hysteresis_2")->setText(c.hysteresis);
    field("Unit_2")->setText(c.unit);
    EXPECT_EQ(dialog.Save(), c.saved);
    EXPECT_EQ(prompter.messages.size(), c.saved ? 0u : 1u);
    EXPECT_EQ(LoadLimitSettings(dir.path()).limits[2], c.expected);
  }
  const LimitSettings saved = LoadLimitSettings(dir.path());
  EXPECT_TRUE(saved.problems.empty());
  EXPECT_EQ(saved.limits[1], (ChannelLimits{.lower = 5, .upper = 7.5}));
  EXPECT_NE(dir.read("trelvan.ini").find("Com1=/dev/ttyUSB0"), std::string::npos);
}

// Raising, clearing and acknowledging all are seen through the main window;
// here, which row is acknowledged, when, and how many rows the list keeps.
TEST(AlarmList, AcknowledgesTheSelectedRowWithItsTimeAndKeepsABoundedList) {
  AlarmList list;
  list.Add({1000, 0, true, AlarmState::High, 8.6, 8.5, "pH", "Kanal 0: oberer Grenzwert überschritten"});
  list.Add({3000, 2, true, AlarmState::Low, 90, 100, "kOhm", "Kanal 2: unterer Grenzwert unterschritten"});
  auto* table = Control<QTableWidget>(list, "AlarmTable");
  QSignalSpy told(&list, &AlarmList::unacknowledgedChanged); // the menu's count
  table->selectRow(0); // newest first: channel 2
  list.AcknowledgeSelected();
  EXPECT_EQ(list.unacknowledged(), 1);
  EXPECT_EQ(told, (QList<QVariantList>{{1}}));
  EXPECT_TRUE(table->item(0, 4)->text().contains(QDateTime::currentDateTime().toString("dd.MM.yyyy")));
  EXPECT_EQ(table->item(1, 4)->text(), "nein");
  for (int k = 0; k < AlarmList::kMaxEntries + 5; ++k) list.Add({k, 1, true, AlarmState::High, 1, 0, "", "x"});
  EXPECT_EQ(list.entries(), AlarmList::kMaxEntries);
}

TEST(RecordExportDialog, ExportsTheChosenChannelsAndKeepsAFileTheOperatorKeeps) {
  TempFolder dir;
  const auto record = dir / "Messwerte.sqlite";
  const std::int64_t start = NowMs() - 3600000;
  ReadingGenerator generator(start, 1000, 4);
  {
    Recorder recorder({.file = record});
    WriteRecord(recorder, generator, start + 600000);
  }
  ScriptedPrompter prompter;
  RecordExportDialog dialog(record, ",", prompter);
  dialog.Start();
  dialog.SetRange(start, start + 60000); // the first minute
  dialog.SetChannels({false, true, false, true});
  dialog.SetFormat(RecordFormat::JsonLines);
  dialog.SetFile(dir / "out.jsonl");
  QSignalSpy finished(&dialog, &RecordExportDialog::finished);
  ASSERT_TRUE(dialog.StartExport());
  ASSERT_TRUE(testing::WaitFor([&] { return !finished.isEmpty(); }, 10000));
  EXPECT_TRUE(finished.front().at(0).toBool());
  const std::string out = dir.read("out.jsonl");
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 120);
  EXPECT_EQ(out.find("\"channel\":0"), std::string::npos);
  EXPECT_NE(out.find("\"channel\":3"), std::string::npos);

  // The file exists now; "Nein" to replacing it leaves it alone.
  prompter.answers = {false};
  EXPECT_FALSE(dialog.StartExport());
  EXPECT_EQ(prompter.messages.back().preselected, PromptDefault::No);
  EXPECT_EQ(dir.read("out.jsonl"), out);
}

// New MQTT settings restart publishing beside the window's thread: the old
// site says "offline" before the new one says "online" (the reverse would
// leave the broker holding "offline" for a site that runs), and the readings
// go to the new site.
TEST(MeasurementOutlets, NewMqttSettingsRestartPublishingTheOldSiteGoingOfflineFirst) {
  if (testing::MosquittoBinary().empty()) GTEST_SKIP() << "mosquitto is not installed (scripts/install-deps)";
  TempFolder folder;
  RunningBroker broker(folder.path());
  ASSERT_TRUE(broker.Start());
  Subscriber status(broker.port(), "trelvan/#");
  ASSERT_TRUE(status.WaitSubscribed());
  auto settings = [&](const char* site) {
    folder.write("trelvan.ini", "[MQTT]\nEnabled=true\nUrl=" + broker.url() + "\nSite=" + site + "\nKeepalive=5\n");
  };
  settings("alt");
  MeasurementOutlets outlets(folder.path(), ".");
  EXPECT_TRUE(outlets.StartPublisher().empty());
  ASSERT_TRUE(status.WaitForPayload("trelvan/alt/status", "online"));

  settings("neu");
  QSignalSpy started(&outlets, &MeasurementOutlets::publisherStarted);
  EXPECT_TRUE(outlets.StartPublisher().empty());
  ASSERT_TRUE(started.wait(10000));
  Reading reading;
  reading.channel = 2;
  reading.ok = true;
  reading.text = "7.02 pH";
  outlets.outlets().Take(reading);
  ASSERT_TRUE(status.WaitForPayload("trelvan/neu/status", "online"));
  ASSERT_TRUE(status.WaitFor([](const auto& m) {
    return std::any_of(m.begin(), m.end(), [](const auto& r) { return r.topic == "trelvan/neu/kanal/2"; });
  }));
  // Where a message came; one that never came counts as after all others.
  auto at = [m = status.messages()](const char* topic, const char* payload) {
    return std::find_if(m.begin(), m.end(), [&](const auto& r) { return r.topic == topic && r.payload == payload; }) - m.begin();
  };
  EXPECT_LT(at("trelvan/alt/status", "offline"), at("trelvan/neu/status", "online"));
  EXPECT_TRUE(status.On("trelvan/alt/kanal/2").empty());
}

} // namespace
} // namespace trelvan
