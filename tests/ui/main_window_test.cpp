#include <gtest/gtest.h>

#include <algorithm>

#include <QAction>
#include <QApplication>
#include <QDirIterator>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QPointer>
#include <QMenuBar>
#include <QMenu>
#include <QPushButton>

#include "live/measurement_window.h"
#include "live/value_label.h"
#include "logger/extraction.h"
#include "record/record_reader.h"
#include "support/event_loop.h"
#include "support/fake_serial_line.h"
#include "support/modbus_frames.h"
#include "support/scripted_prompter.h"
#include "support/temp_folder.h"
#include "ui/alarm_list.h"
#include "ui/application.h"
#include "ui/config_dialog.h"
#include "ui/main_window.h"

namespace trelvan {
namespace {

// The whole application on a fake line, started in a folder with a stored table.
class MainWindowTest : public ::testing::Test {
 protected:
  void StartWith(const ChannelTable& table) {
    ASSERT_TRUE(SaveChannelTable(table, folder.path()).ok());
    ASSERT_TRUE(SaveSerialSettings(SerialSettings{}, folder.path()).ok());
    Launch();
  }
  void Launch() {
    app = std::make_unique<Application>(QString::fromStdString(folder.path().string()), prompter,
                                        line, ".");
    app->Start();
    ASSERT_TRUE(app->configWindow()->isVisible());
    EXPECT_TRUE(app->configWindow()->isMaximized()); // the start window
    app->configWindow()->Cancel(); // leaves the start window: the main window shows
    ASSERT_NE(app->mainWindow(), nullptr);
  }

  QAction* Action(const char* name) { return app->mainWindow()->findChild<QAction*>(name); }

  // A measurement of channel 0 (pH at station 3) polling every 20 ms; the
  // instrument reads the pH values of `hundredths` in turn, then the last.
  F_Mesure* MeasurePh(std::vector<std::uint16_t> hundredths) {
    line.SetResponder([values = std::move(hundredths), n = std::size_t{0}](const Bytes& request) mutable {
      const std::uint16_t value = values[std::min(n++, values.size() - 1)];
      return FakeSerialLine::Answer{{1, testing::ReadReply(request[0], {0, 0, 0, value, 215, 0, 0, 0})}};
    });
    ChannelTable table;
    table[0] = {1, 2, "3", "Becken", true, false};
    StartWith(table);
    Action("Mesure")->trigger();
    F_Mesure* m = app->mainWindow()->measurementWindow();
    m->StartPolling(20);
    return m;
  }

  testing::TempFolder folder;
  testing::ScriptedPrompter prompter;
  FakeSerialLine line;
  std::unique_ptr<Application> app;
};

// The menus' captions, one logger window for both of its commands, windows
// closed through the frame kept for the next command, the Extras windows.
TEST_F(MainWindowTest, MenusCarryTheirGermanCaptionsAndOpenTheirWindows) {
  StartWith(ChannelTable{});
  TRELVAN* main = app->mainWindow();
  EXPECT_EQ(main->windowTitle(), "TRELVAN   V 2.19");
  EXPECT_TRUE(main->isVisible());
  EXPECT_TRUE(main->isMaximized());
  for (const auto& [action, caption] : {std::pair{"Quitter", "&Beenden"}, {"LS", "&Serienverbindung"}, {"ConfApp", "&Anwendung"},
                                        {"Mesure", "&Messung"}, {"RAZfich", "&Init/Rücksetzung"}, {"Extract", "&Daten Förderung"}})
    EXPECT_EQ(Action(action)->text(), caption) << action;
  QStringList menus;
  for (QAction* a : main->menuBar()->actions()) menus << a->text();
  EXPECT_EQ(menus, (QStringList{"&Datei", "&Konfiguration", "&Messung", "&Logger", "E&xtras"}));

  Action("RAZfich")->trigger();
  Extraction* logger = app->mainWindow()->loggerWindow();
  ASSERT_NE(logger, nullptr);
  auto* exportButton = logger->findChild<QPushButton*>("Command3");
  auto* resetButton = logger->findChild<QPushButton*>("Command1");
  EXPECT_FALSE(exportButton->isEnabled());
  EXPECT_TRUE(resetButton->isEnabled());
  Action("Extract")->trigger();
  EXPECT_EQ(app->mainWindow()->loggerWindow(), logger);
  EXPECT_TRUE(exportButton->isEnabled());
  EXPECT_FALSE(resetButton->isEnabled());
  EXPECT_EQ(logger->windowTitle(), "TRELVAN   V 2.19 [Datei Logging]");

  // Closed through its frame it is kept for the next command, not deleted.
  const QPointer<Extraction> kept(logger);
  logger->close();
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  ASSERT_FALSE(kept.isNull());
  Action("Extract")->trigger();
  EXPECT_EQ(app->mainWindow()->loggerWindow(), kept.data());

  // So is the start window: edits thrown away, the window shown again.
  ConfigW* config = app->configWindow();
  config->close();
  Action("ConfApp")->trigger();
  EXPECT_EQ(app->configWindow(), config);
  EXPECT_TRUE(config->isVisible());

  // Each Extras entry opens its window once, with an access key of its own.
  const std::vector<std::pair<const char*, QString>> entries{
      {"Diagnose", "Diagnose"},          {"SerielleSchnittstelle", "SerialSetupWindow"},
      {"Verlauf", "TrendWindow"},        {"Alarme", "AlarmList"},
      {"Grenzwerte", "LimitsDialog"},    {"MesswerteExportieren", "RecordExportDialog"},
      {"Mqtt", "MqttSettingsDialog"}};
  auto windows = [](const QString& name) {
    QList<QWidget*> found;
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->objectName() == name) found << w;
    return found;
  };
  for (const auto& [action, window] : entries) {
    SCOPED_TRACE(action);
    Action(action)->trigger();
    const QList<QWidget*> first = windows(window);
    ASSERT_EQ(first.size(), 1);
    EXPECT_TRUE(first[0]->isVisible());
    first[0]->close();
    Action(action)->trigger(); // shown again, not made anew
    EXPECT_EQ(windows(window), first);
    EXPECT_TRUE(first[0]->isVisible());
    first[0]->hide();
  }
  QStringList keys;
  for (QAction* a : app->mainWindow()->findChild<QMenu*>("Extras")->actions())
    if (!a->isSeparator()) keys << a->text().section('&', 1).left(1).toLower();
  EXPECT_FALSE(keys.contains("")) << keys.join(' ').toStdString();
  EXPECT_EQ(keys.removeDuplicates(), 0) << keys.join(' ').toStdString();
  EXPECT_TRUE(prompter.messages.empty());
}

// Refused with no channel enabled; then the window opens once, ticks every
// second, and ends with the program.
TEST_F(MainWindowTest, MeasurementIsRefusedWithoutChannelsOpensOnceAndEndsWithTheProgram) {
  ChannelTable table;
  table[2] = {0, 2, "3", "Becken", true, false}; // configured but switched off
  StartWith(table);
  Action("Mesure")->trigger();
  EXPECT_EQ(prompter.beeps, 1);
  ASSERT_EQ(prompter.texts(), std::vector<std::string>{"Keine Messung konfiguriert"});
  EXPECT_EQ(prompter.messages[0].icon, PromptIcon::Warning);
  EXPECT_EQ(app->mainWindow()->measurementWindow(), nullptr);
  EXPECT_EQ(line.openCount(), 0);

  app->station().channelTable[2].enabled = 1;
  for (int chosen = 1; chosen <= 2; ++chosen) {
    SCOPED_TRACE(chosen);
    app->station().StopRequested = true; // left over from an earlier stop
    Action("Mesure")->trigger();
    F_Mesure* m = app->mainWindow()->measurementWindow();
    ASSERT_NE(m, nullptr);
    EXPECT_TRUE(m->isVisible());
    EXPECT_FALSE(app->station().StopRequested);
    EXPECT_TRUE(m->Minuterie1()->isActive());
    EXPECT_EQ(m->Minuterie1()->interval(), 1000);
    EXPECT_TRUE(line.IsOpen());
    EXPECT_EQ(line.openCount(), 1); // chosen again: not loaded again, the line stays as it is
  }
  F_Mesure* m = app->mainWindow()->measurementWindow();
  // The caption of a gauge is built when the start window is left.
  EXPECT_EQ(m->findChild<QLabel*>("Etiquette1_2")->text(), "Becken");

  // Closing the main window (or "Beenden", the same way) while measuring with
  // dialogs open ends everything, without a question on the way.
  Action("ConfApp")->trigger();
  Action("LS")->trigger();
  ASSERT_TRUE(app->configWindow()->isVisible());
  app->mainWindow()->close();
  EXPECT_FALSE(m->Minuterie1()->isActive());
  EXPECT_FALSE(line.IsOpen());
  for (QWidget* w : QApplication::topLevelWidgets()) EXPECT_FALSE(w->isVisible()) << w->objectName().toStdString();
  EXPECT_EQ(prompter.messages.size(), 1u); // the refusal only
}

// Upper limit 7.5 with a hysteresis of 0.3: 7.60 raises the alarm, 7.30
// keeps it (not yet at 7.2), 7.10 clears it.
TEST_F(MainWindowTest, ValueBeyondItsLimitFramesTheGaugeListsTheAlarmAndClearsPastTheHysteresis) {
  folder.write("trelvan.ini", "[Limits]\nKanal0_oben=7.5\nKanal0_Hysterese=0.3\n");
  F_Mesure* m = MeasurePh({700, 760, 730, 730, 730, 730, 730, 710});
  auto* gauge = m->findChild<ValueLabel*>("Etiquette3_0");
  QWidget* frame = m->findChild<QWidget*>("AlarmFrame_0");
  AlarmList* alarms = app->mainWindow()->alarmList();

  ASSERT_TRUE(testing::WaitFor([&] { return gauge->text().startsWith("7.60"); }));
  EXPECT_TRUE(frame->isVisible());
  EXPECT_EQ(gauge->text(), "7.60 pH     21.5  °C"); // the text as ever
  EXPECT_TRUE(gauge->toolTip().contains("oberer Grenzwert überschritten")) << gauge->toolTip().toStdString();
  EXPECT_EQ(alarms->entries(), 1);
  EXPECT_EQ(Action("Alarme")->text(), "A&larme (1)");

  ASSERT_TRUE(testing::WaitFor([&] { return gauge->text().startsWith("7.30"); }));
  EXPECT_TRUE(frame->isVisible());
  ASSERT_TRUE(testing::WaitFor([&] { return gauge->text().startsWith("7.10"); }));
  EXPECT_FALSE(frame->isVisible());
  EXPECT_FALSE(gauge->toolTip().contains("Grenzwert"));
  EXPECT_EQ(alarms->entries(), 2); // raised, then back within its limits
  EXPECT_EQ(alarms->unacknowledged(), 1);
  alarms->AcknowledgeAll();
  EXPECT_EQ(Action("Alarme")->text(), "A&larme");
  EXPECT_TRUE(prompter.messages.empty());
  app->mainWindow()->Quitter();
}

TEST_F(MainWindowTest, RecordingSwitchedOffStoresNothingMoreAndStaysOff) {
  F_Mesure* m = MeasurePh({700});
  ASSERT_TRUE(Action("Aufzeichnung")->isChecked()); // on by default
  auto stored = [&] {
    RecordReader reader;
    if (reader.Open(folder / "Messwerte.sqlite")) return -1;
    int n = 0;
    reader.ForEachReading({}, [&](const Reading&) { return ++n, true; });
    return n;
  };
  ASSERT_TRUE(testing::WaitFor([&] { return stored() >= 2; }));
  Action("Aufzeichnung")->trigger();
  EXPECT_FALSE(Action("Aufzeichnung")->isChecked());
  const int passes = m->pollCycle().passCount();
  const int before = stored();
  ASSERT_TRUE(testing::WaitFor([&] { return m->pollCycle().passCount() >= passes + 3; }));
  EXPECT_EQ(stored(), before);
  app->mainWindow()->Quitter();
  app.reset();
  Launch(); // the next start finds it off
  EXPECT_FALSE(Action("Aufzeichnung")->isChecked());
}

// A record that cannot be written (here a folder takes its name) pauses
// recording; the window says so in its notice line, once, and no message box
// holds up the passes.
TEST_F(MainWindowTest, RecordThatCannotBeWrittenIsToldOnceInTheWindowNotInABox) {
  std::filesystem::create_directory(folder / "Messwerte.sqlite");
  F_Mesure* m = MeasurePh({700});
  ASSERT_TRUE(testing::WaitFor([&] { return m->pollCycle().passCount() >= 4; }));
  EXPECT_EQ(m->notices().count("Aufzeichnung angehalten"), 1) << m->notices().toStdString();
  EXPECT_TRUE(prompter.messages.empty());
  app->mainWindow()->Quitter();
}

// Every picture the program names is embedded in it and loads, and so does
// everything else beside them (a resource that the linker dropped loads nothing).
TEST(EmbeddedPictures, AreLinkedIntoTheProgramAndLoad) {
  const QStringList named{kPanelResource, kBannerResource, kIconResource};
  QStringList found;
  for (const QString& picture : named) {
    for (QDirIterator it(QFileInfo(picture).path(), QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
      const QString path = it.next();
      if (found.contains(path)) continue;
      found << path;
      EXPECT_FALSE(QImage(path).isNull()) << path.toStdString();
    }
  }
  for (const QString& picture : named) EXPECT_TRUE(found.contains(picture)) << picture.toStdString();
}

} // namespace
} // namespace trelvan
