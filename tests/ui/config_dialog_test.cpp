#include "ui/config_dialog.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>

#include "live/station.h"
#include "support/scripted_prompter.h"
#include "support/temp_folder.h"
#include "widget_helpers.h"

namespace trelvan {
namespace {

using testing::Control;
using testing::ScriptedPrompter;
using testing::TempFolder;
using Channels = std::array<ChannelConfig, kChannelCount>;

const QColor kGreen(0, 255, 0), kWhite(255, 255, 255), kBlue(0, 0, 255), kGrey(128, 128, 128);
const std::string kAddressesMustDiffer = "Adressen mussen unterschiedlich sein";
const std::string kWrongAddress = "Falsche Adresse";

// Channel 0 "Becken" at station 3 (Master), channel 2 "Ablauf" at `address`.
Channels TwoAtThree(bool secondEnabled, bool secondMaster, const std::string& address = "3") {
  Channels c{{{1, 2, "3", "Becken", true, false}, {}, {1, 4, address, "Ablauf", secondMaster, !secondMaster},
              {0, 0, "9", "", true, false}}};
  c[2].enabled = secondEnabled ? 1 : 0;
  return c;
}

class ConfigWTest : public ::testing::Test {
 protected:
  ConfigWTest() { station.folder = folder.path(); }

  void Store(const Channels& channels) {
    ASSERT_TRUE(SaveChannelTable({.channels = channels}, folder.path()).ok());
    folder.write("PortCom.dat", " 2             1 \r\n 0 \r\n 1 \r\n");
  }
  ConfigW& Started(bool show = false) {
    dialog = std::make_unique<ConfigW>(station, prompter);
    dialog->Start(show);
    return *dialog;
  }
  template <class W>
  W* Get(const char* base, int element) {
    return Control<W>(*dialog, QString("%1_%2").arg(base).arg(element));
  }
  QLineEdit* Address(int i) { return Get<QLineEdit>("AdresseStation", i); }
  // Row i as the operator sees it: the check box and its green or white
  // background, the blue or grey name, and whether the list, frame, address
  // and marker show.
  void ExpectRow(int i, bool on, bool controlsShown) {
    SCOPED_TRACE("row " + std::to_string(i));
    QCheckBox* check = Get<QCheckBox>("Coche1", i);
    check->ensurePolished();
    EXPECT_EQ(check->isChecked(), on);
    EXPECT_EQ(check->grab().toImage().pixelColor(2, 2), on ? kGreen : kWhite);
    EXPECT_EQ(Get<QLabel>("Etiquette1", i)->palette().color(QPalette::WindowText), on ? kBlue : kGrey);
    for (QWidget* control : std::initializer_list<QWidget*>{Get<QComboBox>("ListeTypeMesure", i),
                                                            Get<QGroupBox>("Frame1", i), Address(i),
                                                            Get<QLineEdit>("Texte2", i)})
      EXPECT_EQ(!control->isHidden(), controlsShown) << control->objectName().toStdString();
  }

  TempFolder folder;
  Station station;
  ScriptedPrompter prompter;
  std::unique_ptr<ConfigW> dialog;
};

// The rows show both files; edits write the table at once, without what
// "config.txt" cannot carry.
TEST_F(ConfigWTest, StartLoadsBothFilesIntoTheRowsAndEditsWriteTheTableAtOnce) {
  Store({{{1, 2, "3", "Becken", true, false}, {}, {1, 5, "07", "Zulauf", false, true}, {0, 15, "9", "x", true, false}}});
  ConfigW& w = Started();

  EXPECT_TRUE(prompter.messages.empty());
  EXPECT_EQ(station.serialSettings.portNumber, 2);
  EXPECT_EQ(w.windowTitle(), "Konfigurieren [ Application ]  ");
  for (const char* ext : {"Option1", "Option2", "Option3", "Option4"}) EXPECT_FALSE(Get<QRadioButton>(ext, 1)->isHidden());
  EXPECT_EQ(Get<QComboBox>("ListeTypeMesure", 1)->currentIndex(), -1);
  EXPECT_EQ(Get<QComboBox>("ListeTypeMesure", 3)->currentIndex(), 15);
  EXPECT_EQ(Address(2)->text(), "07");
  EXPECT_TRUE(Get<QRadioButton>("Option3", 1)->isChecked());
  // Creation does not build the captions; leaving the dialog does.
  EXPECT_EQ(station.channelTable.ChannelCaption[0], "");

  Address(0)->clear();
  QTest::keyClicks(Address(0), "1\"2");
  QTest::keyClicks(Get<QLineEdit>("Texte2", 0), " \"Nord");
  Get<QComboBox>("ListeTypeMesure", 0)->setCurrentIndex(7);
  Get<QRadioButton>("Option1", 1)->click();

  const ChannelConfig& c = station.channelTable[0];
  EXPECT_EQ(Address(0)->text(), "12");
  EXPECT_EQ(c, (ChannelConfig{1, 7, "12", "Becken Nord", false, true}));

  // Clicking the text beside a button chooses it too.
  QTest::mouseClick(Get<QLabel>("Label1", 0), Qt::LeftButton);
  EXPECT_EQ(std::pair(c.isMaster, c.isExt), std::pair(true, false));
}

TEST_F(ConfigWTest, MissingFilesAreToldOnceAndAFailedSaveKeepsTheDialog) {
  ConfigW& w = Started(true);
  ASSERT_EQ(prompter.messages.size(), 1u);
  EXPECT_NE(prompter.messages[0].text.find("config.txt"), std::string::npos);
  EXPECT_NE(prompter.messages[0].text.find("PortCom.dat"), std::string::npos);
  EXPECT_EQ(w.startupProblems().size(), 2);
  EXPECT_EQ(station.channelTable.enabledCount(), 0);

  // Cancelling reloads the same missing file: nothing new to tell.
  w.Cancel();
  EXPECT_EQ(prompter.messages.size(), 1u);

  w.show();
  station.folder = folder / "nicht-da";
  QSignalSpy confirmed(&w, &ConfigW::confirmed);
  w.Confirm();
  ASSERT_EQ(prompter.messages.size(), 2u);
  EXPECT_EQ(prompter.messages[1].icon, PromptIcon::Error);
  EXPECT_EQ(confirmed.count(), 0);
  EXPECT_TRUE(w.isVisible());
}

// Confirm saves only a table the poll cycle can use: every enabled channel at
// a station 1 to 14, and no two enabled channels asking the same station and
// block. A refusal beeps, says why, keeps the dialog and the stored file, and
// puts the focus into the address to change.
TEST_F(ConfigWTest, ConfirmSavesOnlyATableThePollCycleCanUse) {
  Channels neither = TwoAtThree(true, false);
  neither[0].isMaster = false; // neither Master nor Ext.: not Master, so it asks the Ext. block
  Channels atZero = TwoAtThree(false, true, ""); // disabled: never polled, may stay empty
  atZero[0].stationAddress = "0";                // enabled: would be polled at station 0
  struct Case {
    const char* name;
    Channels channels;
    std::string refusal; // empty: saved
    int focus;
  };
  const Case cases[] = {
      {"both Master", TwoAtThree(true, true), kAddressesMustDiffer, 0},
      {"Master and Ext.", TwoAtThree(true, false), "", -1},
      {"second disabled", TwoAtThree(false, true), "", -1},
      {"3 and 03", TwoAtThree(true, true, "03"), "", -1},
      {"disabled without address", TwoAtThree(false, true, ""), "", -1},
      {"neither flag and Ext.", neither, kAddressesMustDiffer, 0},
      {"0 and 3 conflict, 1 and 2 conflict",
       {{{1, 0, "4", "", true, false}, {1, 0, "6", "", true, false},
         {1, 0, "6", "", true, false}, {1, 0, "4", "", true, false}}},
       kAddressesMustDiffer, 1},
      {"enabled at station 0", atZero, kWrongAddress, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    prompter = {};
    Store(c.channels);
    const std::string stored = folder.read("config.txt");
    ConfigW& w = Started(true);
    QSignalSpy confirmed(&w, &ConfigW::confirmed);
    station.channelTable[0].marker = "geändert"; // an edit, to see whether it is saved

    w.Confirm();

    if (c.refusal.empty()) {
      EXPECT_TRUE(prompter.messages.empty());
      EXPECT_EQ(confirmed.count(), 1);
      EXPECT_FALSE(w.isVisible());
      ChannelTable reread;
      ASSERT_TRUE(LoadChannelTable(reread, folder.path()).ok());
      EXPECT_EQ(reread.channels, station.channelTable.channels);
      EXPECT_EQ(station.channelTable.ChannelCaption[0], "geändert");
    } else {
      EXPECT_EQ(prompter.texts(), std::vector<std::string>{c.refusal});
      EXPECT_EQ(prompter.beeps, 1);
      EXPECT_EQ(confirmed.count(), 0);
      EXPECT_TRUE(w.isVisible());
      EXPECT_EQ(folder.read("config.txt"), stored);
      EXPECT_EQ(w.focusWidget(), Address(c.focus));
    }
  }
}

TEST_F(ConfigWTest, LeavingAWrongAddressWarnsAndKeepsTheFocusThere) {
  Store(TwoAtThree(true, true));
  ConfigW& w = Started(true);
  w.activateWindow(); // focus events only reach an active window
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
  // Which texts are addresses is the station address rule's own table; here,
  // what the dialog does with either kind.
  for (const char* text : {"15", "", "zwei", "14"}) {
    SCOPED_TRACE(text);
    const bool wrong = std::string(text) != "14";
    prompter = {};
    Address(0)->setFocus(Qt::OtherFocusReason);
    Address(0)->setText(text);
    QTest::keyClick(&w, Qt::Key_Tab); // leaves the field
    QCoreApplication::processEvents();
    EXPECT_EQ(prompter.texts(), wrong ? std::vector<std::string>{kWrongAddress} : std::vector<std::string>{});
    EXPECT_EQ(prompter.beeps, wrong ? 1 : 0); // before the message
    EXPECT_EQ(QApplication::focusWidget() == Address(0), wrong);
    EXPECT_EQ(Address(0)->text(), text); // left as typed
  }
}

TEST_F(ConfigWTest, RowLooksFollowEnabledAndCancelOrCloseGiveBackTheStoredTable) {
  Store(TwoAtThree(false, true));
  ConfigW& w = Started(true);
  QSignalSpy cancelled(&w, &ConfigW::cancelled), closed(&w, &ConfigW::closed);
  ChannelTable stored;
  ASSERT_TRUE(LoadChannelTable(stored, folder.path()).ok());
  ExpectRow(0, true, true);
  ExpectRow(2, false, true);

  QTest::mouseClick(Get<QLabel>("Etiquette1", 2), Qt::LeftButton);
  EXPECT_EQ(station.channelTable[2].enabled, 1);
  ExpectRow(2, true, true);
  Get<QCheckBox>("Coche1", 0)->click();
  EXPECT_EQ(station.channelTable[0].enabled, 0);
  ExpectRow(0, false, false);
  Address(2)->setText("11");
  Get<QLineEdit>("Texte2", 3)->setText("neu");
  Get<QComboBox>("ListeTypeMesure", 3)->setCurrentIndex(9);
  Get<QRadioButton>("Option3", 1)->click();

  w.Cancel();
  EXPECT_EQ(station.channelTable.channels, stored.channels);
  EXPECT_EQ(station.channelTable.ChannelCaption[0], "Becken");
  EXPECT_EQ(cancelled.count(), 1);
  EXPECT_FALSE(w.isVisible());
  ExpectRow(0, true, true);
  ExpectRow(2, false, false);

  w.show();
  Get<QLineEdit>("Texte2", 0)->setText("verworfen");
  w.close();
  EXPECT_EQ(station.channelTable[0].marker, "Becken");
  EXPECT_EQ(closed.count(), 1);
  EXPECT_TRUE(prompter.messages.empty());
}

} // namespace
} // namespace trelvan
