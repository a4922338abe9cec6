#include "ui/serial_line_dialog.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <QRadioButton>
#include <QScopeGuard>
#include <QSignalSpy>

#include "comm/qt_serial_line.h"
#include "live/station.h"
#include "support/fake_serial_line.h"
#include "support/scripted_prompter.h"
#include "support/temp_folder.h"
#include "widget_helpers.h"

namespace trelvan {
namespace {

using testing::Control;
using Choices = std::array<int, 4>; // the checked option of port, speed, parity, stop bits

// The line file of port 2 at 9600, no parity, one stop bit.
constexpr const char* kPortTwoFile = " 2             0 \r\n 0 \r\n 0 \r\n";

class ConfLSTest : public ::testing::Test {
 protected:
  ConfLSTest() {
    station.folder = folder.path();
    station.port = &line;
    folder.write("PortCom.dat", kPortTwoFile);
  }
  ConfLS& Started() {
    dialog = std::make_unique<ConfLS>(station, prompter);
    dialog->Start(true);
    return *dialog;
  }
  QRadioButton* Option(int frame, int k) {
    return Control<QRadioButton>(*dialog, QString("Option%1_%2").arg(frame).arg(k));
  }
  Choices Checked() {
    Choices checked{-1, -1, -1, -1};
    for (int frame = 1; frame <= 4; ++frame)
      for (int k = 0; auto* option = dialog->findChild<QRadioButton*>(QString("Option%1_%2").arg(frame).arg(k)); ++k)
        if (option->isChecked()) checked[static_cast<std::size_t>(frame - 1)] = k;
    return checked;
  }
  void Choose(std::initializer_list<std::pair<int, int>> options) {
    for (auto [frame, k] : options) Option(frame, k)->click();
  }

  testing::TempFolder folder;
  FakeSerialLine line;
  Station station;
  testing::ScriptedPrompter prompter;
  std::unique_ptr<ConfLS> dialog;
};

TEST_F(ConfLSTest, ProbeDisablesAbsentPortsAndTheStoredOneFallsBackToComOneInTheRecordOnly) {
  // Com1 and Com3 are pseudo-terminals, Com2 and Com4 names of nothing.
  std::vector<int> terminals;
  const auto restore = qScopeGuard([&] {
    for (int fd : terminals) close(fd);
    for (int k = 1; k <= 4; ++k) qunsetenv(qPrintable(QString("TRELVAN_COM%1").arg(k)));
  });
  for (int k = 1; k <= 4; ++k) {
    std::string device = (folder / ("kein-com" + std::to_string(k))).string();
    if (k % 2 == 1) {
      const int fd = posix_openpt(O_RDWR | O_NOCTTY);
      if (fd < 0 || grantpt(fd) != 0 || unlockpt(fd) != 0 || !ptsname(fd)) GTEST_SKIP() << "no pseudo-terminal";
      terminals.push_back(fd);
      device = ptsname(fd);
    }
    qputenv(qPrintable(QString("TRELVAN_COM%1").arg(k)), QByteArray::fromStdString(device));
  }
  QtSerialLine real;
  station.port = &real;

  Started();

  for (int k = 0; k < 4; ++k) EXPECT_EQ(Option(1, k)->isEnabled(), k % 2 == 0) << "Com" << k + 1;
  // Disabled silently; the tooltip says why, in the line's own German words.
  EXPECT_TRUE(Option(1, 1)->toolTip().contains("kein-com2 ist nicht vorhanden")) << Option(1, 1)->toolTip().toStdString();
  EXPECT_TRUE(Option(1, 0)->toolTip().isEmpty());
  EXPECT_FALSE(real.IsOpen());
  // Stored port 2 is not there: Com1 is chosen, silently, and the file
  // keeps port 2 until confirmed.
  EXPECT_TRUE(Option(1, 0)->isChecked());
  EXPECT_EQ(station.serialSettings.portNumber, 1);
  EXPECT_EQ(folder.read("PortCom.dat"), kPortTwoFile);
  EXPECT_TRUE(prompter.messages.empty());

  dialog->Confirm();
  EXPECT_EQ(folder.read("PortCom.dat"), " 1             0 \r\n 0 \r\n 0 \r\n");
}

// Stored indexes without an option fall back to the first option and are told
// once: cancelling reloads them without telling again.
TEST_F(ConfLSTest, CreationSelectsTheStoredChoices) {
  struct Case {
    const char* file;
    Choices checked;
    bool told;
  };
  for (const Case& c : {Case{" 3             2 \r\n 1 \r\n 1 \r\n", {2, 2, 1, 1}, false},
                        Case{" 7             5 \r\n 9 \r\n 3 \r\n", {0, 0, 0, 0}, true}}) {
    SCOPED_TRACE(c.file);
    prompter = {};
    folder.write("PortCom.dat", c.file);
    ConfLS& w = Started();
    EXPECT_EQ(w.windowTitle(), "Konfigurieren  (Serienverbindung)");
    EXPECT_EQ(Checked(), c.checked);
    EXPECT_EQ(!prompter.messages.empty() && prompter.messages[0].text.find("PortCom.dat") != std::string::npos, c.told);
    w.Cancel();
    EXPECT_EQ(prompter.messages.size(), c.told ? 1u : 0u);
  }
}

// Cancel, or closing through the frame while no poll pass runs, gives back the
// stored choices and their text pieces; a pass that runs keeps them.
TEST_F(ConfLSTest, CancelOrCloseGiveBackTheStoredChoicesUnlessAPollPassRuns) {
  ConfLS& w = Started();
  QSignalSpy cancelled(&w, &ConfLS::cancelled);
  const SerialSettings before = station.serialSettings;
  auto choose = [&] { Choose({{1, 3}, {2, 1}, {3, 2}, {4, 1}}); };
  choose();
  EXPECT_EQ(station.serialSettings.portNumber, 4);
  EXPECT_EQ(SettingsText(station.serialSettings), "4800,o,8, 2");
  w.Cancel();
  EXPECT_EQ(station.serialSettings, before);
  EXPECT_EQ(Checked(), (Choices{1, 0, 0, 0}));
  EXPECT_EQ(folder.read("PortCom.dat"), kPortTwoFile);
  EXPECT_FALSE(w.isVisible());
  EXPECT_EQ(cancelled.count(), 1);

  w.show();
  choose();
  w.close();
  EXPECT_EQ(station.serialSettings, before);
  w.show();
  choose();
  station.PollBusy = true;
  w.close();
  EXPECT_EQ(station.serialSettings.speedIndex, 1);
  EXPECT_FALSE(w.isVisible());
}

// A line a measurement holds open is neither probed nor touched by Confirm;
// the ports are probed when the dialog shows again with the line closed.
TEST_F(ConfLSTest, AnOpenLineIsLeftAloneAndOpenLineUsesTheChoicesAsTheyStand) {
  QString error;
  line.SelectPort(2);
  ASSERT_TRUE(line.Configure(LineSettings{}, &error));
  ASSERT_TRUE(line.Open(&error));
  ConfLS& w = Started();
  EXPECT_FALSE(w.portsProbed());
  EXPECT_EQ(line.openCount(), 1);
  EXPECT_TRUE(Option(1, 1)->isChecked());

  Choose({{2, 1}, {4, 1}});
  w.Confirm();
  EXPECT_EQ(folder.read("PortCom.dat"), " 2             1 \r\n 0 \r\n 1 \r\n");
  EXPECT_TRUE(line.IsOpen());
  EXPECT_EQ(line.selectedPort(), 2);
  EXPECT_EQ(line.openCount(), 1);
  EXPECT_EQ(line.lineSettings(), (LineSettings{9600, Parity::None, 8, 1}));
  EXPECT_FALSE(w.isVisible());

  line.Close();
  w.show();
  EXPECT_TRUE(w.portsProbed());
  EXPECT_EQ(line.openCount(), 5);

  // "Open" uses the choices as they stand, and says when it cannot.
  Choose({{1, 2}, {2, 2}, {3, 1}});
  w.OpenLine();
  EXPECT_TRUE(prompter.messages.empty());
  EXPECT_TRUE(line.IsOpen());
  EXPECT_EQ(line.selectedPort(), 3);
  EXPECT_EQ(line.lineSettings(), (LineSettings{2400, Parity::Even, 8, 2}));
  EXPECT_TRUE(w.isVisible());

  w.OpenLine();
  ASSERT_EQ(prompter.messages.size(), 1u);
  EXPECT_NE(prompter.messages[0].text.find("bereits geöffnet"), std::string::npos);

  line.Close();
  prompter = {};
  line.FailNextOpen("Gerät belegt");
  w.OpenLine();
  ASSERT_EQ(prompter.messages.size(), 1u);
  EXPECT_EQ(prompter.messages[0].icon, PromptIcon::Error);
  EXPECT_NE(prompter.messages[0].text.find("Gerät belegt"), std::string::npos);
  EXPECT_FALSE(line.IsOpen());
}

} // namespace
} // namespace trelvan
