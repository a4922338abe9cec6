#include <gtest/gtest.h>

#include <functional>

#include <QDir>
#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "core/catalogue.h"
#include "core/geometry.h"
#include "core/live_display.h"
#include "support/fake_serial_line.h"
#include "live/measurement_window.h"
#include "live/value_label.h"
#include "support/event_loop.h"
#include "support/modbus_frames.h"
#include "support/scripted_prompter.h"
#include "support/temp_folder.h"

namespace trelvan {
namespace {

using testing::WaitFor;

// Station `address` answers pH 7.02 at 21.5 °C.
Bytes PhReply(std::uint8_t address) { return testing::ReadReply(address, {0, 0, 0, 702, 215, 0, 0, 0}); }

class MeasurementWindowTest : public ::testing::Test {
 protected:
  MeasurementWindowTest() {
    station.AppTitle = "TRELVAN   V 2.19";
    station.port = &line;
    station.channelTable[1] = {1, 2, "5", "Becken", true, false}; // pH at station 5
    BuildChannelCaptions(station.channelTable);
    RepliesAfter(1);
    windowPtr = std::make_unique<F_Mesure>(station, prompter);
  }

  F_Mesure& window() { return *windowPtr; }
  void RepliesAfter(int ms) {
    line.SetResponder([ms](const Bytes& request) { return FakeSerialLine::Answer{{ms, PhReply(request[0])}}; });
  }
  void Start(int tickMs) { window().Load(); window().show(); window().StartPolling(tickMs); }
  QLabel* value(int i) { return windowPtr->findChild<QLabel*>(QString("Etiquette3_%1").arg(i)); }
  QLabel* panel(int i) { return windowPtr->findChild<QLabel*>(QString("Dessin1_%1").arg(i)); }
  bool Stopped() { return !line.IsOpen() && !window().Minuterie1()->isActive(); } // line closed, no tick

  Station station;
  FakeSerialLine line;
  testing::ScriptedPrompter prompter;
  std::unique_ptr<F_Mesure> windowPtr;
};

// The close question: No keeps polling, Yes ends the program. Abrechen
// between passes closes the line and the window with a beep.
TEST_F(MeasurementWindowTest, CaptionsTheCloseQuestionAndAStopBetweenPasses) {
  int unloads = 0, quits = 0;
  QObject::connect(&window(), &F_Mesure::unloaded, [&] { ++unloads; });
  QObject::connect(&window(), &F_Mesure::quitRequested, [&] { ++quits; });
  Start(20);
  EXPECT_EQ(window().windowTitle(), "TRELVAN   V 2.19 [ Messung ]");
  EXPECT_EQ(window().findChild<QPushButton*>("Commande1")->text(), "Abrechen");
  EXPECT_EQ(window().findChild<QLabel*>("Etiquette2_0")->text(), "messung verfolgung");
  EXPECT_TRUE(value(1)->isVisible() && !value(0)->isVisible());
  ASSERT_TRUE(WaitFor([&] { return !value(1)->text().isEmpty(); }));
  EXPECT_EQ(value(1)->text(), "7.02 pH     21.5  °C");

  prompter.answers = {false};
  window().close();
  ASSERT_EQ(prompter.messages.size(), 1u);
  EXPECT_EQ(prompter.messages[0].text, "Wollen sie die Anvendung verlassen ?");
  EXPECT_EQ(prompter.messages[0].title, "TRELVAN   V 2.19 [ Messung ]");
  EXPECT_TRUE(window().isVisible() && window().Minuterie1()->isActive()); // still polling

  ASSERT_TRUE(WaitFor([&] { return !station.PollBusy; }));
  window().findChild<QPushButton*>("Commande1")->click();
  EXPECT_TRUE(!window().isVisible() && Stopped());
  EXPECT_EQ(std::pair(prompter.beeps, unloads), std::pair(1, 1));

  Start(20);
  prompter.answers = {true};
  window().close();
  EXPECT_TRUE(quits == 1 && Stopped());
}

// The click or the program's end arrives while channel 1's reply is awaited.
// A stop leaves the line open until that channel is done, channel 2 is not
// asked, and the tick after the pass completes the stop with a beep; the
// program's end cuts the wait short and unloads silently.
TEST_F(MeasurementWindowTest, StopOrProgramEndDuringAPass) {
  RepliesAfter(60);
  station.channelTable[2] = {1, 2, "6", "Ablauf", true, false};
  for (bool end : {false, true}) {
    SCOPED_TRACE(end ? "program end" : "stop");
    station.StopRequested = false; // as the main window does before a measurement
    const std::size_t writes = line.written().size();
    const int beeps = prompter.beeps;
    Start(10);
    bool busy = false, openAndShown = false, done = false;
    QTimer::singleShot(40, [&] {
      busy = station.PollBusy;
      end ? window().Shutdown() : window().StopAction();
      openAndShown = line.IsOpen() && window().isVisible();
      done = true;
    });
    ASSERT_TRUE(WaitFor([&] { return end ? done && !station.PollBusy : !window().isVisible(); }));
    EXPECT_TRUE(busy);
    EXPECT_EQ(openAndShown, !end);
    EXPECT_TRUE(Stopped());
    EXPECT_EQ(prompter.beeps - beeps, end ? 0 : 1);
    if (!end) {
      EXPECT_FALSE(value(1)->text().isEmpty()); // the running channel's label was written
      EXPECT_TRUE(value(2)->text().isEmpty());
      EXPECT_EQ(line.written().size() - writes, 1u);
    }
  }
}

// A line that cannot be opened, or that is lost while measuring, is said in
// the window, never in a box, and a failed retry does not replace the reason;
// the channels fail until the window has opened the line again by itself.
TEST_F(MeasurementWindowTest, ALineThatCannotBeOpenedOrIsLostIsShownAndOpenedAgain) {
  line.FailNextOpen("Gerät /dev/ttyS7 nicht vorhanden");
  Start(10);
  EXPECT_TRUE(window().lineMessage().contains("/dev/ttyS7")) << window().lineMessage().toStdString();
  ASSERT_TRUE(WaitFor([&] { return value(1)->text() == "Außer Betrieb"; }));
  window().setReopenIntervalMs(30);
  ASSERT_TRUE(WaitFor([&] { return value(1)->text().startsWith("7.02"); }));
  EXPECT_TRUE(window().lineMessage().isEmpty());

  line.FailNextOpen("Gerät /dev/ttyUSB0 nicht vorhanden"); // the first try comes too early
  line.LoseLine("Das Gerät wurde entfernt");
  ASSERT_TRUE(WaitFor([&] { return value(1)->text() == "Außer Betrieb"; }));
  EXPECT_EQ(window().lineMessage(), "Das Gerät wurde entfernt");
  ASSERT_TRUE(WaitFor([&] { return value(1)->text().startsWith("7.02"); }));
  EXPECT_TRUE(window().lineMessage().isEmpty());
  EXPECT_TRUE(window().Minuterie1()->isActive());
  EXPECT_TRUE(prompter.messages.empty());
}

// What the window tells of each channel beyond its label, after a scripted
// sequence of faults on the line: the reason in the gauge's tooltip, and the
// counters of the run.
TEST_F(MeasurementWindowTest, EachFailureShowsItsReasonInTheTooltipAndTheCountersAddUp) {
  testing::TempFolder dir;
  dir.write("trelvan.ini", "[Line]\nreply_ms=100\n"); // the window's reply time-out
  station.folder = dir.path();
  station.channelTable[0] = {1, 2, "3", "A", true, false};   // pH, station 3, Master
  station.channelTable[1] = {1, 3, "3", "B", false, true};   // redox, station 3, Ext.
  station.channelTable[2] = {1, 2, "5", "C", true, false};   // pH, station 5
  station.channelTable[3] = {1, 2, "abc", "D", true, false}; // no station
  window().Load();
  auto tooltip = [&](int i) { return value(i)->toolTip().toStdString(); };
  Bytes badCrc = PhReply(5);
  badCrc.back() ^= 0x01;
  // Pass 1: station 3 is silent (its Ext. block is then held back), station 5 sends a bad CRC.
  line.StaySilentOnNextWrite();
  line.AnswerNextWrite(badCrc, 2);
  // Pass 2: station 3 answers its Master block and refuses its Ext. block, a foreign station answers for 5.
  line.AnswerNextWrite(PhReply(3), 2);
  line.AnswerNextWrite(testing::ExceptionReply(3, 2), 2);
  line.AnswerNextWrite(PhReply(9), 2);

  window().pollCycle().RunPass();
  window().pollCycle().RunPass();
  // The reason texts are the request layer's (read in the poll command's tests).
  EXPECT_EQ(tooltip(0), "Letzter gültiger Wert vor 0 s");
  EXPECT_NE(tooltip(1).find("Ausnahme 2 (unzulässige Datenadresse)"), std::string::npos) << tooltip(1);
  EXPECT_NE(tooltip(2).find("anderen Station"), std::string::npos) << tooltip(2);
  EXPECT_NE(tooltip(2).find("Noch kein gültiger Wert"), std::string::npos) << tooltip(2);
  EXPECT_NE(tooltip(3).find("\"abc\" nennt keine Station"), std::string::npos) << tooltip(3);

  const auto& c = station.diagnostics.channels;
  using N = std::array<std::int64_t, 4>;
  EXPECT_EQ((N{c[0].requests, c[0].answers, c[0].timeOuts, c[0].replies}), (N{2, 1, 1, 1}));
  EXPECT_EQ((N{c[1].requests, c[1].answers, c[1].exceptions, c[3].requests}), (N{2, 0, 1, 2})); // 3: no station
  EXPECT_EQ((N{c[2].requests, c[2].crcErrors, c[2].badReplies, c[2].replies}), (N{2, 1, 1, 2})) << "bad replies took their time";
  EXPECT_TRUE(c[0].replyMinMs && *c[0].replyMinMs >= 1.0);
  EXPECT_EQ(station.frames.Since(0).size(), 10u) << "five requests, four replies and one time-out";
  window().Shutdown();
}

// Every gauge shows its panel; a tall one (flow, R_862) the picture file of
// the working folder when there is one. Each load starts from the design
// look, so a channel that was flow loses its tall panel.
TEST_F(MeasurementWindowTest, PanelsStartFromTheirDesignAtEachLoad) {
  const QString previous = QDir::currentPath();
  for (bool fileInFolder : {true, false}) {
    SCOPED_TRACE(fileInFolder ? "instrum1.bmp in the folder" : "no picture file");
    testing::TempFolder folder;
    ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(folder.path().string())));
    QImage red(229, 31, QImage::Format_RGB32);
    red.fill(Qt::red);
    ASSERT_TRUE(!fileInFolder || red.save(QDir::current().filePath(kPanelPictureFile), "BMP"));
    auto centre = [&](int i) {
      const QImage image = panel(i)->pixmap().toImage();
      return image.isNull() ? QColor() : image.pixelColor(image.width() / 2, image.height() / 2);
    };
    const QColor designBlue = QPixmap(kPanelResource).toImage().pixelColor(114, 15);
    station.channelTable[0] = {1, kFlowTypeIndex, "5", "Zulauf", true, false};
    BuildChannelCaptions(station.channelTable);
    window().Load();
    EXPECT_EQ(panel(0)->height(), TwipsToPixels(1225, panel(0)->logicalDpiY()));
    EXPECT_EQ(centre(0), fileInFolder ? QColor(Qt::red) : designBlue);
    for (int i : {1, 2, 3}) EXPECT_EQ(centre(i), designBlue) << "panel " << i;

    station.channelTable[0].typeIndex = 2; // pH: a short panel again
    window().StopAction();
    window().Load();
    EXPECT_EQ(panel(0)->height(), TwipsToPixels(525, panel(0)->logicalDpiY()));
    EXPECT_EQ(centre(0), designBlue);
    window().StopAction();
  }
  QDir::setCurrent(previous);
}

// The widest values shown in service fit their label at the window's sizes,
// every line of them, in a legible size: the widest one-line texts (chlorine,
// 731; the other types' are narrower) and the tall types' lines.
TEST(ValueLabel, LongestValuesFitTheLabel) {
  const std::pair<int, std::function<void(SharedResults&)>> cases[] = {
      {kFlowTypeIndex, [](SharedResults& r) {
         r.FlowRange = 30, r.FlowRate = 65535, r.FlowVolume1 = r.FlowVolume2 = BcdCounter{99999999, "99999999", true}; }},
      {6, [](SharedResults& r) { r.ChlorineValue = 99.999; }},
      {kDualResistivityTypeIndex, [](SharedResults& r) {
         r.ResistivityRange = 7, r.ResistivityRaw = 9999, r.SecondResistivityRaw = 9999; }},
      {15, [](SharedResults& r) { r.OxidantPointCode = 4, r.OxidantRaw = 9999, r.OxidantUnit = "ppm"; }},
  };
  ValueLabel label;
  for (const auto& [type, set] : cases) {
    SharedResults r;
    r.Temperature = -10.5;
    set(r);
    const QString text = QString::fromStdString(BuildLiveLabelText(type, r, "."));
    SCOPED_TRACE(text.toStdString());
    const bool tall = type == kFlowTypeIndex || type == kDualResistivityTypeIndex;
    label.resize(TwipsToPixels(design::kLabelWidth[0], label.logicalDpiX()),
                 TwipsToPixels(tall ? design::kTallLabelHeight : design::kLabelHeight[0], label.logicalDpiY()));
    const QStringList lines = ValueLabel::DrawnLines(text);
    const QFont font = ValueLabel::FittedFont(lines, label.TextRoom());
    const QFontMetrics metrics(font);
    for (const QString& line : lines) EXPECT_LE(metrics.horizontalAdvance(line), label.TextRoom().width());
    for (const QString& line : lines) EXPECT_FALSE(line.startsWith(' ')); // one column
    EXPECT_LE(metrics.lineSpacing() * (lines.size() - 1) + metrics.height(), label.height());
    EXPECT_GE(font.pointSizeF(), 11);
    EXPECT_EQ(lines.size(), type == kFlowTypeIndex ? 3 : type == kDualResistivityTypeIndex ? 2 : 1);
  }
}

} // namespace
} // namespace trelvan
