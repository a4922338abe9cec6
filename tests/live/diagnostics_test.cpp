// What the measurement window tells of each channel beyond its label: the
// counters of the run and the gauge's tooltip, after a scripted sequence of
// faults on the line.
#include <gtest/gtest.h>

#include <QLabel>

#include "live/measurement_window.h"
#include "support/fake_serial_line.h"
#include "support/modbus_frames.h"
#include "support/scripted_prompter.h"
#include "support/temp_folder.h"

namespace trelvan {
namespace {

using testing::ReadReply;

Bytes Good(std::uint8_t station) { return ReadReply(station, {0, 0, 0, 702, 215, 0, 0, 0}); }

TEST(Diagnostics, EachFailureShowsItsReasonInTheTooltipAndTheCountersAddUp) {
  testing::TempFolder dir;
  dir.write("trelvan.ini", "[Line]\nreply_ms=100\n"); // the window's reply time-out
  Station station;
  station.folder = dir.path();
  FakeSerialLine line;
  station.port = &line;
  station.channelTable[0] = {1, 2, "3", "A", true, false};   // pH, station 3, Master
  station.channelTable[1] = {1, 3, "3", "B", false, true};   // redox, station 3, Ext.
  station.channelTable[2] = {1, 2, "5", "C", true, false};   // pH, station 5
  station.channelTable[3] = {1, 2, "abc", "D", true, false}; // no station
  testing::ScriptedPrompter prompter;
  F_Mesure window(station, prompter);
  window.Load();
  auto tooltip = [&](int i) {
    return window.findChild<QLabel*>(QString("Etiquette3_%1").arg(i))->toolTip().toStdString();
  };

  Bytes badCrc = Good(5);
  badCrc.back() ^= 0x01;
  // Pass 1: station 3 is silent (its Ext. block is then held back), station 5 sends a bad CRC.
  line.StaySilentOnNextWrite();
  line.AnswerNextWrite(badCrc, 2);
  // Pass 2: station 3 answers its Master block and refuses its Ext. block, a foreign station answers for 5.
  line.AnswerNextWrite(Good(3), 2);
  line.AnswerNextWrite(testing::ExceptionReply(3, 2), 2);
  line.AnswerNextWrite(Good(9), 2);

  const char* afterPass[2][4] = {
      {"Station 3 antwortet nicht", "nicht erneut gefragt", "Prüfsumme falsch", "\"abc\" nennt keine Station"},
      {"", "Ausnahme 2 (unzulässige Datenadresse)", "anderen Station", "\"abc\" nennt keine Station"},
  };
  for (int pass = 0; pass < 2; ++pass) {
    window.pollCycle().RunPass();
    for (int i = 0; i < 4; ++i) {
      EXPECT_NE(tooltip(i).find(afterPass[pass][i]), std::string::npos) << "pass " << pass + 1 << ": " << tooltip(i);
    }
  }
  EXPECT_EQ(tooltip(0), "Letzter gültiger Wert vor 0 s");
  EXPECT_NE(tooltip(2).find("Noch kein gültiger Wert"), std::string::npos);

  const auto& c = station.diagnostics.channels;
  EXPECT_EQ((std::array{c[0].requests, c[0].answers, c[0].timeOuts}), (std::array<std::int64_t, 3>{2, 1, 1}));
  EXPECT_EQ((std::array{c[1].requests, c[1].answers, c[1].exceptions}), (std::array<std::int64_t, 3>{2, 0, 1}));
  EXPECT_EQ((std::array{c[2].requests, c[2].crcErrors, c[2].badReplies}), (std::array<std::int64_t, 3>{2, 1, 1}));
  EXPECT_EQ(c[3].requests, 2);
  EXPECT_EQ(c[0].replies, 1);
  EXPECT_EQ(c[2].replies, 2) << "bad replies came, and took their time";
  EXPECT_TRUE(c[0].replyMinMs && *c[0].replyMinMs >= 1.0);
  EXPECT_EQ(station.frames.Since(0).size(), 10u) << "five requests, four replies and one time-out";

  window.Shutdown();
}

} // namespace
} // namespace trelvan
