#include "ui/serial_line_dialog.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <QRadioButton>
#include <QSignalSpy>
#include <optional>

#include "support/fake_serial_line.h"
#include "comm/qt_serial_line.h"
#include "live/station.h"
#include "support/scripted_prompter.h"
#include "support/temp_folder.h"
#include "widget_helpers.h"

namespace trelvan {
namespace {

using testing::Control;
using testing::ScriptedPrompter;
using testing::TempFolder;

// The line file of port 2 at 9600, no parity, one stop bit.
constexpr const char* kPortTwoFile = " 2             0 \r\n 0 \r\n 0 \r\n";

class ConfLSTest : public ::testing::Test {
 protected:
  ConfLSTest() {
    station.folder = folder.path();
    station.port = &line;
    folder.write("PortCom.dat", kPortTwoFile);
  }
  ConfLS& Started(bool show = true) {
    dialog = std::make_unique<ConfLS>(station, prompter);
    dialog->Start(show);
    return *dialog;
  }
  QRadioButton* Option(int frame, int k) {
    return Control<QRadioButton>(*dialog, QString("Option%1_%2").arg(frame).arg(k));
  }
  SerialSettings Stored() {
    SerialSettings s;
    EXPECT_TRUE(LoadSerialSettings(s, folder.path()).ok());
    return s;
  }

  TempFolder folder;
  FakeSerialLine line;
  Station station;
  ScriptedPrompter prompter;
  std::unique_ptr<ConfLS> dialog;
};

// A pseudo-terminal whose slave side stands in for a serial device.
class PseudoTerminal {
 public:
  PseudoTerminal() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0)
      if (const char* name = ptsname(master_)) device_ = name;
  }
  ~PseudoTerminal() {
    if (master_ >= 0) close(master_);
  }
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;
  const std::string& device() const { return device_; }

 private:
  int master_ = -1;
  std::string device_;
};

// Points "Com k" somewhere for the life of the object.
class ComVariable {
 public:
  ComVariable(int k, const std::string& device) : name_("TRELVAN_COM" + std::to_string(k)) {
    if (const char* old = getenv(name_.c_str())) old_ = old;
    setenv(name_.c_str(), device.c_str(), 1);
  }
  ~ComVariable() {
    if (old_)
      setenv(name_.c_str(), old_->c_str(), 1);
    else
      unsetenv(name_.c_str());
  }
  ComVariable(const ComVariable&) = delete;
  ComVariable& operator=(const ComVariable&) = delete;

 private:
  std::string name_;
  std::optional<std::string> old_;
};

TEST_F(ConfLSTest, ProbeDisablesAbsentPortsAndTheStoredOneFallsBackToComOneInTheRecordOnly) {
  PseudoTerminal com1, com3;
  if (com1.device().empty() || com3.device().empty()) GTEST_SKIP() << "no pseudo-terminal";
  const ComVariable v1(1, com1.device()), v3(3, com3.device());
  const ComVariable v2(2, (folder / "kein-com2").string()), v4(4, (folder / "kein-com4").string());
  QtSerialLine real;
  station.port = &real;

  Started();

  EXPECT_TRUE(Option(1, 0)->isEnabled());
  EXPECT_FALSE(Option(1, 1)->isEnabled());
  EXPECT_TRUE(Option(1, 2)->isEnabled());
  EXPECT_FALSE(Option(1, 3)->isEnabled());
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
  EXPECT_EQ(Stored().portNumber, 1);
}

TEST_F(ConfLSTest, CreationSelectsTheStoredChoices) {
  folder.write("PortCom.dat", " 3             2 \r\n 1 \r\n 1 \r\n");
  ConfLS& w = Started();
  EXPECT_EQ(w.windowTitle(), "Konfigurieren  (Serienverbindung)");
  EXPECT_TRUE(Option(1, 2)->isChecked());
  EXPECT_TRUE(Option(2, 2)->isChecked());
  EXPECT_TRUE(Option(3, 1)->isChecked());
  EXPECT_TRUE(Option(4, 1)->isChecked());
  EXPECT_EQ(SettingsText(station.serialSettings), "2400,e,8, 2");
  EXPECT_EQ(line.openCount(), 4); // every port tried once
  EXPECT_FALSE(line.IsOpen());
}

TEST_F(ConfLSTest, CancelGivesBackTheStoredChoicesAndTheirTextPieces) {
  ConfLS& w = Started();
  QSignalSpy cancelled(&w, &ConfLS::cancelled);
  const SerialSettings before = station.serialSettings;

  Option(1, 3)->click();
  Option(2, 1)->click();
  Option(3, 2)->click();
  Option(4, 1)->click();
  EXPECT_EQ(station.serialSettings.portNumber, 4);
  EXPECT_EQ(SettingsText(station.serialSettings), "4800,o,8, 2");

  w.Cancel();
  EXPECT_EQ(station.serialSettings, before);
  EXPECT_EQ(SettingsText(station.serialSettings), "9600,n,8, 1");
  EXPECT_TRUE(Option(1, 1)->isChecked());
  EXPECT_TRUE(Option(2, 0)->isChecked());
  EXPECT_TRUE(Option(3, 0)->isChecked());
  EXPECT_TRUE(Option(4, 0)->isChecked());
  EXPECT_EQ(folder.read("PortCom.dat"), kPortTwoFile);
  EXPECT_FALSE(w.isVisible());
  EXPECT_EQ(cancelled.count(), 1);
}

TEST_F(ConfLSTest, ClosingThroughTheFrameCancelsUnlessAPollPassRuns) {
  ConfLS& w = Started();
  Option(2, 2)->click();
  w.close();
  EXPECT_EQ(station.serialSettings.speedIndex, 0);
  EXPECT_EQ(station.serialSettings.speedText, "9600");

  w.show();
  Option(2, 2)->click();
  station.PollBusy = true;
  w.close();
  EXPECT_EQ(station.serialSettings.speedIndex, 2);
  EXPECT_FALSE(w.isVisible());
}

TEST_F(ConfLSTest, ConfirmSavesWithoutTouchingTheOpenLine) {
  ConfLS& w = Started();
  QString error;
  line.SelectPort(2);
  ASSERT_TRUE(line.Configure(LineSettings{}, &error));
  ASSERT_TRUE(line.Open(&error));
  const int opens = line.openCount();

  Option(2, 1)->click();
  Option(4, 1)->click();
  w.Confirm();

  const SerialSettings stored = Stored();
  EXPECT_EQ(stored.speedIndex, 1);
  EXPECT_EQ(stored.stopBitsIndex, 1);
  EXPECT_TRUE(line.IsOpen());
  EXPECT_EQ(line.openCount(), opens);
  EXPECT_EQ(line.lineSettings(), (LineSettings{9600, Parity::None, 8, 1}));
  EXPECT_FALSE(w.isVisible());
}

TEST_F(ConfLSTest, OpenLineUsesTheChoicesAsTheyStandAndSaysWhenItCannot) {
  ConfLS& w = Started();
  Option(1, 2)->click();
  Option(2, 2)->click();
  Option(3, 1)->click();

  w.OpenLine();
  EXPECT_TRUE(prompter.messages.empty());
  EXPECT_TRUE(line.IsOpen());
  EXPECT_EQ(line.selectedPort(), 3);
  EXPECT_EQ(line.lineSettings(), (LineSettings{2400, Parity::Even, 8, 1}));
  EXPECT_TRUE(w.isVisible());

  w.OpenLine();
  ASSERT_EQ(prompter.messages.size(), 1u);
  EXPECT_NE(prompter.messages[0].text.find("bereits geöffnet"), std::string::npos);

  line.Close();
  prompter.messages.clear();
  line.FailNextOpen("Gerät belegt");
  w.OpenLine();
  ASSERT_EQ(prompter.messages.size(), 1u);
  EXPECT_EQ(prompter.messages[0].icon, PromptIcon::Error);
  EXPECT_NE(prompter.messages[0].text.find("Gerät belegt"), std::string::npos);
  EXPECT_FALSE(line.IsOpen());
}

TEST_F(ConfLSTest, AnOpenLineIsNotProbedAtCreationButWhenItIsClosedAgain) {
  QString error;
  line.SelectPort(2);
  ASSERT_TRUE(line.Open(&error));
  ConfLS& w = Started();
  EXPECT_FALSE(w.portsProbed());
  EXPECT_TRUE(line.IsOpen());
  EXPECT_EQ(line.selectedPort(), 2);
  EXPECT_EQ(line.openCount(), 1);
  EXPECT_TRUE(Option(1, 1)->isChecked());

  w.hide();
  line.Close();
  w.show();
  EXPECT_TRUE(w.portsProbed());
  EXPECT_EQ(line.openCount(), 5);
}

TEST_F(ConfLSTest, StoredIndexesWithoutAnOptionFallBackToTheFirstOptionAndAreToldOnce) {
  folder.write("PortCom.dat", " 7             5 \r\n 9 \r\n 3 \r\n");
  ConfLS& w = Started();
  for (int frame = 1; frame <= 4; ++frame) EXPECT_TRUE(Option(frame, 0)->isChecked()) << frame;
  EXPECT_EQ(SettingsText(station.serialSettings), "9600,n,8, 1");
  ASSERT_EQ(prompter.messages.size(), 1u);
  EXPECT_NE(prompter.messages[0].text.find("PortCom.dat"), std::string::npos);

  w.Cancel();
  EXPECT_EQ(prompter.messages.size(), 1u);
}

} // namespace
} // namespace trelvan
