#include <gtest/gtest.h>

#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "support/fake_serial_line.h"
#include "live/measurement_window.h"
#include "support/event_loop.h"
#include "support/modbus_frames.h"
#include "support/scripted_prompter.h"

namespace trelvan {
namespace {

using testing::WaitFor;

// A valid reply of station `address` with register 3 = value, register 4 = temperature.
Bytes Reply(std::uint8_t address, std::uint16_t value, std::int16_t tenthsCelsius) {
  return testing::ReadReply(address, {0, 0, 0, value, static_cast<std::uint16_t>(tenthsCelsius), 0, 0, 0});
}

class MeasurementWindowTest : public ::testing::Test {
 protected:
  MeasurementWindowTest() {
    station.AppTitle = "TRELVAN   V 2.19";
    station.port = &line;
    station.channelTable[1] = {1, 2, "5", "Becken", true, false}; // pH at station 5
    BuildChannelCaptions(station.channelTable);
    line.SetResponder([](const Bytes& request) {
      return FakeSerialLine::Answer{{1, Reply(request[0], 702, 215)}};
    });
    windowPtr = std::make_unique<F_Mesure>(station, prompter);
  }

  F_Mesure& window() { return *windowPtr; }
  QLabel* value(int i) { return windowPtr->findChild<QLabel*>(QString("Etiquette3_%1").arg(i)); }

  Station station;
  FakeSerialLine line;
  testing::ScriptedPrompter prompter;
  std::unique_ptr<F_Mesure> windowPtr;
};

TEST_F(MeasurementWindowTest, LoadsCaptionLayoutAndOpensTheLine) {
  window().Load();
  EXPECT_EQ(window().windowTitle(), "TRELVAN   V 2.19 [ Messung ]");
  EXPECT_EQ(window().findChild<QPushButton*>("Commande1")->text(), "Abrechen");
  EXPECT_EQ(window().findChild<QLabel*>("Etiquette2_0")->text(), "messung verfolgung");
  EXPECT_EQ(window().layout().gauges[1].labelTop, 1095);
  EXPECT_TRUE(line.IsOpen());
  window().show();
  EXPECT_TRUE(value(1)->isVisible());
  EXPECT_FALSE(value(0)->isVisible());
  EXPECT_EQ(window().findChild<QLabel*>("Etiquette1_1")->text(), "Becken");
}

TEST_F(MeasurementWindowTest, StopBetweenPassesClosesWindowAndLineAndBeeps) {
  window().Load();
  window().show();
  int unloads = 0;
  QObject::connect(&window(), &F_Mesure::unloaded, [&] { ++unloads; });
  window().StartPolling(20);
  ASSERT_TRUE(WaitFor([&] { return !value(1)->text().isEmpty(); }));
  EXPECT_EQ(value(1)->text(), "7.02 pH     21.5  °C");
  ASSERT_TRUE(WaitFor([&] { return !station.PollBusy; }));
  window().findChild<QPushButton*>("Commande1")->click();
  EXPECT_FALSE(window().isVisible());
  EXPECT_FALSE(line.IsOpen());
  EXPECT_FALSE(window().Minuterie1()->isActive());
  EXPECT_EQ(prompter.beeps, 1);
  EXPECT_EQ(unloads, 1);
}

TEST_F(MeasurementWindowTest, StopDuringAPassIsCompletedByTheNextTick) {
  line.SetResponder([](const Bytes& request) {
    return FakeSerialLine::Answer{{60, Reply(request[0], 702, 215)}};
  });
  window().Load();
  window().show();
  window().StartPolling(10);
  // The click arrives while the reply is awaited (the wait runs the event loop).
  bool busyAtClick = false, openAfterClick = false, shownAfterClick = false;
  QTimer::singleShot(40, [&] {
    busyAtClick = station.PollBusy;
    window().StopAction();
    openAfterClick = line.IsOpen();
    shownAfterClick = window().isVisible();
  });
  ASSERT_TRUE(WaitFor([&] { return !window().isVisible(); }));
  EXPECT_TRUE(busyAtClick);
  EXPECT_TRUE(openAfterClick);
  EXPECT_TRUE(shownAfterClick);
  EXPECT_FALSE(line.IsOpen());
  EXPECT_FALSE(value(1)->text().isEmpty()); // the running channel's label was written
}

TEST_F(MeasurementWindowTest, CloseQuestionNoKeepsPollingYesEndsTheProgram) {
  window().Load();
  window().show();
  window().StartPolling(20);
  int quits = 0;
  QObject::connect(&window(), &F_Mesure::quitRequested, [&] { ++quits; });

  prompter.answers = {false};
  window().close();
  ASSERT_EQ(prompter.messages.size(), 1u);
  EXPECT_EQ(prompter.messages[0].text, "Wollen sie die Anvendung verlassen ?");
  EXPECT_EQ(prompter.messages[0].title, "TRELVAN   V 2.19 [ Messung ]");
  EXPECT_TRUE(window().isVisible());
  EXPECT_TRUE(window().Minuterie1()->isActive());
  EXPECT_EQ(quits, 0);

  prompter.answers = {true};
  window().close();
  EXPECT_EQ(quits, 1);
  EXPECT_FALSE(line.IsOpen());
  EXPECT_FALSE(window().Minuterie1()->isActive());
}

TEST_F(MeasurementWindowTest, LineThatCannotBeOpenedIsShownAndChannelsFail) {
  line.FailNextOpen("Gerät /dev/ttyS7 nicht vorhanden");
  window().Load();
  window().show();
  EXPECT_FALSE(line.IsOpen());
  EXPECT_TRUE(window().lineMessage().contains("/dev/ttyS7")) << window().lineMessage().toStdString();
  window().StartPolling(10);
  ASSERT_TRUE(WaitFor([&] { return !value(1)->text().isEmpty(); }));
  EXPECT_EQ(value(1)->text(), "Außer Betrieb");
  EXPECT_TRUE(prompter.messages.empty()); // no message box, the window says it
}

TEST_F(MeasurementWindowTest, LostLineIsReportedOnceAndChannelsShowFailures) {
  window().Load();
  window().show();
  window().StartPolling(10);
  ASSERT_TRUE(WaitFor([&] { return value(1)->text().startsWith("7.02"); }));
  line.LoseLine("Das Gerät wurde entfernt");
  ASSERT_TRUE(WaitFor([&] { return value(1)->text() == "Außer Betrieb"; }));
  EXPECT_TRUE(window().lineMessage().contains("entfernt"));
  EXPECT_TRUE(window().isVisible());
}

} // namespace
} // namespace trelvan
