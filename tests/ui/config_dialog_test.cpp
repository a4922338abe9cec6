#include "ui/config_dialog.h"

#include <gtest/gtest.h>

#include <cctype>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>

#include "core/catalogue.h"
#include "live/station.h"
#include "support/scripted_prompter.h"
#include "support/temp_folder.h"
#include "widget_helpers.h"

namespace trelvan {
namespace {

using testing::Control;
using testing::MakeActive;
using testing::ScriptedPrompter;
using testing::TempFolder;

const QColor kGreen(0, 255, 0), kWhite(255, 255, 255), kBlue(0, 0, 255), kGrey(128, 128, 128);

ChannelConfig Channel(int enabled, int type, std::string address, std::string marker,
                      bool master = true) {
  ChannelConfig c;
  c.enabled = static_cast<std::int16_t>(enabled);
  c.typeIndex = static_cast<std::int16_t>(type);
  c.stationAddress = std::move(address);
  c.marker = std::move(marker);
  c.isMaster = master;
  c.isExt = !master;
  return c;
}

class ConfigWTest : public ::testing::Test {
 protected:
  ConfigWTest() { station.folder = folder.path(); }

  void Store(std::array<ChannelConfig, kChannelCount> channels) {
    ChannelTable table;
    table.channels = channels;
    ASSERT_TRUE(SaveChannelTable(table, folder.path()).ok());
    folder.write("PortCom.dat", " 2             1 \r\n 0 \r\n 1 \r\n");
  }
  void StoreTwoChannelsAtThree(bool secondEnabled, bool secondMaster, std::string secondAddress = "3") {
    Store({Channel(1, 2, "3", "Becken"), Channel(0, -1, "", ""),
           Channel(secondEnabled ? 1 : 0, 4, secondAddress, "Ablauf", secondMaster),
           Channel(0, 0, "9", "")});
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
  QColor CheckBackground(int i) {
    QCheckBox* check = Get<QCheckBox>("Coche1", i);
    check->ensurePolished();
    return check->grab().toImage().pixelColor(2, 2);
  }
  QColor NameColour(int i) { return Get<QLabel>("Etiquette1", i)->palette().color(QPalette::WindowText); }
  // The list, frame, address and marker of a row, as the row look leaves them.
  bool RowControlsShown(int i) {
    return !Get<QComboBox>("ListeTypeMesure", i)->isHidden() && !Get<QGroupBox>("Frame1", i)->isHidden() &&
           !Address(i)->isHidden() && !Get<QLineEdit>("Texte2", i)->isHidden();
  }
  bool RowControlsHidden(int i) {
    return Get<QComboBox>("ListeTypeMesure", i)->isHidden() && Get<QGroupBox>("Frame1", i)->isHidden() &&
           Address(i)->isHidden() && Get<QLineEdit>("Texte2", i)->isHidden();
  }

  TempFolder folder;
  Station station;
  ScriptedPrompter prompter;
  std::unique_ptr<ConfigW> dialog;
};

TEST_F(ConfigWTest, StartLoadsBothFilesIntoTheRowsAndSetsTheTitle) {
  Store({Channel(1, 2, "3", "Becken"), Channel(0, -1, "", ""), Channel(1, 5, "07", "Zulauf", false),
         Channel(0, 15, "9", "x")});
  ConfigW& w = Started();

  EXPECT_TRUE(prompter.messages.empty());
  EXPECT_EQ(station.AppTitle, "TRELVAN   V 2.19");
  EXPECT_EQ(station.serialSettings.portNumber, 2);
  EXPECT_EQ(station.serialSettings.speedText, "4800");
  EXPECT_EQ(w.windowTitle(), "Konfigurieren [ Application ]  ");
  for (int i = 0; i < kChannelCount; ++i) {
    QComboBox* list = Get<QComboBox>("ListeTypeMesure", i);
    ASSERT_EQ(list->count(), kMeasurementTypeCount);
    EXPECT_EQ(list->itemText(kFlowTypeIndex).toStdString(),
              MeasurementTypeCatalogue()[kFlowTypeIndex].listLabel);
    EXPECT_FALSE(Get<QRadioButton>(qPrintable(QString("Option%1").arg(i + 1)), 1)->isHidden());
  }
  EXPECT_TRUE(Get<QCheckBox>("Coche1", 0)->isChecked());
  EXPECT_EQ(Get<QComboBox>("ListeTypeMesure", 0)->currentIndex(), 2);
  EXPECT_EQ(Get<QComboBox>("ListeTypeMesure", 1)->currentIndex(), -1);
  EXPECT_EQ(Address(2)->text(), "07");
  EXPECT_EQ(Get<QLineEdit>("Texte2", 2)->text(), "Zulauf");
  EXPECT_TRUE(Get<QRadioButton>("Option1", 0)->isChecked());
  EXPECT_TRUE(Get<QRadioButton>("Option3", 1)->isChecked());
  EXPECT_FALSE(Get<QRadioButton>("Option3", 0)->isChecked());
  // Creation does not build the captions; leaving the dialog does.
  EXPECT_EQ(station.channelTable.ChannelCaption[0], "");
}

TEST_F(ConfigWTest, MissingFilesAreToldOnceInOneMessageNamingThem) {
  ConfigW& w = Started();
  ASSERT_EQ(prompter.messages.size(), 1u);
  EXPECT_NE(prompter.messages[0].text.find("config.txt"), std::string::npos);
  EXPECT_NE(prompter.messages[0].text.find("PortCom.dat"), std::string::npos);
  EXPECT_EQ(w.startupProblems().size(), 2);
  EXPECT_EQ(station.channelTable.enabledCount(), 0);

  // Cancelling reloads the same missing file: nothing new to tell.
  w.Cancel();
  EXPECT_EQ(prompter.messages.size(), 1u);
}

TEST_F(ConfigWTest, RowLooksFollowEnabledAndADisabledRowStartsWithItsControlsShown) {
  StoreTwoChannelsAtThree(false, true);
  Started();

  EXPECT_EQ(CheckBackground(0), kGreen);
  EXPECT_EQ(NameColour(0), kBlue);
  EXPECT_TRUE(RowControlsShown(0));
  // Start look of a disabled row: white and grey, but the controls shown.
  EXPECT_EQ(CheckBackground(2), kWhite);
  EXPECT_EQ(NameColour(2), kGrey);
  EXPECT_TRUE(RowControlsShown(2));

  QLabel* name = Get<QLabel>("Etiquette1", 2);
  QTest::mouseClick(name, Qt::LeftButton);
  EXPECT_EQ(station.channelTable[2].enabled, 1);
  EXPECT_TRUE(Get<QCheckBox>("Coche1", 2)->isChecked());
  EXPECT_EQ(CheckBackground(2), kGreen);
  EXPECT_EQ(NameColour(2), kBlue);
  EXPECT_TRUE(RowControlsShown(2));

  QTest::mouseClick(name, Qt::LeftButton);
  EXPECT_EQ(station.channelTable[2].enabled, 0);
  EXPECT_FALSE(Get<QCheckBox>("Coche1", 2)->isChecked());
  EXPECT_EQ(CheckBackground(2), kWhite);
  EXPECT_EQ(NameColour(2), kGrey);
  EXPECT_TRUE(RowControlsHidden(2));

  // The check box toggles the same way.
  Get<QCheckBox>("Coche1", 0)->click();
  EXPECT_EQ(station.channelTable[0].enabled, 0);
  EXPECT_TRUE(RowControlsHidden(0));
}

TEST_F(ConfigWTest, EditsWriteTheTableAtOnce) {
  StoreTwoChannelsAtThree(true, true);
  Started();

  Address(0)->clear();
  QTest::keyClicks(Address(0), "12");
  QTest::keyClicks(Get<QLineEdit>("Texte2", 0), " Nord");
  Get<QComboBox>("ListeTypeMesure", 0)->setCurrentIndex(7);
  Get<QRadioButton>("Option1", 1)->click();

  const ChannelConfig& c = station.channelTable[0];
  EXPECT_EQ(c.stationAddress, "12");
  EXPECT_EQ(c.marker, "Becken Nord");
  EXPECT_EQ(c.typeIndex, 7);
  EXPECT_FALSE(c.isMaster);
  EXPECT_TRUE(c.isExt);

  // Clicking the text beside a button chooses it too.
  QTest::mouseClick(Get<QLabel>("Label1", 0), Qt::LeftButton);
  EXPECT_TRUE(station.channelTable[0].isMaster);
  EXPECT_FALSE(station.channelTable[0].isExt);
}

TEST_F(ConfigWTest, TextFieldsRefuseWhatConfigTxtCannotCarry) {
  StoreTwoChannelsAtThree(true, true);
  Started();
  for (QLineEdit* field : {Address(0), Get<QLineEdit>("Texte2", 0)}) {
    field->clear();
    QTest::keyClicks(field, "A\"B");
    EXPECT_EQ(field->text(), "AB");
  }
  EXPECT_EQ(station.channelTable[0].marker, "AB");
}

struct AddressCase {
  const char* name;
  bool secondEnabled;
  bool secondMaster;
  const char* secondAddress;
  bool saved;
};

std::string CaseName(const ::testing::TestParamInfo<AddressCase>& c) { return c.param.name; }

class EqualAddressTest : public ConfigWTest, public ::testing::WithParamInterface<AddressCase> {};

TEST_P(EqualAddressTest, ConfirmSavesOnlyWithoutAConflict) {
  const AddressCase& c = GetParam();
  StoreTwoChannelsAtThree(c.secondEnabled, c.secondMaster, c.secondAddress);
  const std::string stored = folder.read("config.txt");
  ConfigW& w = Started(true);
  QSignalSpy confirmed(&w, &ConfigW::confirmed);
  station.channelTable[0].marker = "geändert"; // an edit, to see whether it is saved

  w.Confirm();

  if (c.saved) {
    EXPECT_TRUE(prompter.messages.empty());
    EXPECT_EQ(confirmed.count(), 1);
    EXPECT_FALSE(w.isVisible());
    ChannelTable reread;
    ASSERT_TRUE(LoadChannelTable(reread, folder.path()).ok());
    EXPECT_EQ(reread.channels, station.channelTable.channels);
    EXPECT_EQ(station.channelTable.ChannelCaption[0], "geändert");
  } else {
    ASSERT_EQ(prompter.texts(), std::vector<std::string>{"Adressen mussen unterschiedlich sein"});
    EXPECT_EQ(prompter.beeps, 1);
    EXPECT_EQ(confirmed.count(), 0);
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(folder.read("config.txt"), stored);
    EXPECT_EQ(w.focusWidget(), Address(0));
  }
}

INSTANTIATE_TEST_SUITE_P(
    ConfigW, EqualAddressTest,
    ::testing::Values(AddressCase{"BothMaster", true, true, "3", false},
                      AddressCase{"MasterAndExt", true, false, "3", true},
                      AddressCase{"SecondDisabled", false, true, "3", true},
                      AddressCase{"ThreeAndZeroThree", true, true, "03", true}),
    CaseName);

TEST_F(ConfigWTest, TwoChannelsWithNeitherFlagAreBothNotMasterAndConflictWithExt) {
  StoreTwoChannelsAtThree(true, false);
  ConfigW& w = Started();
  station.channelTable[0].isMaster = false; // neither Master nor Ext.
  w.Confirm();
  EXPECT_EQ(prompter.texts(), std::vector<std::string>{"Adressen mussen unterschiedlich sein"});
}

TEST_F(ConfigWTest, AfterConflictsZeroThreeAndOneTwoTheFocusIsInChannelOne) {
  Store({Channel(1, 0, "4", ""), Channel(1, 0, "6", ""), Channel(1, 0, "6", ""), Channel(1, 0, "4", "")});
  ConfigW& w = Started(true);
  w.Confirm();
  EXPECT_EQ(prompter.texts(), std::vector<std::string>{"Adressen mussen unterschiedlich sein"});
  EXPECT_EQ(w.focusWidget(), Address(1));
}

TEST_F(ConfigWTest, LeavingAWrongAddressWarnsAndKeepsTheFocusThere) {
  StoreTwoChannelsAtThree(true, true);
  ConfigW& w = Started(true);
  ASSERT_TRUE(MakeActive(w));

  for (const char* wrong : {"15", "0", "", "zwei"}) {
    SCOPED_TRACE(wrong);
    prompter.messages.clear();
    prompter.beeps = 0;
    Address(0)->setFocus(Qt::OtherFocusReason);
    Address(0)->setText(wrong);
    QTest::keyClick(&w, Qt::Key_Tab);
    QCoreApplication::processEvents();
    EXPECT_EQ(prompter.texts(), std::vector<std::string>{"Falsche Adresse"});
    EXPECT_EQ(prompter.beeps, 1); // before the message
    EXPECT_EQ(QApplication::focusWidget(), Address(0));
    EXPECT_EQ(Address(0)->text(), wrong); // left as typed
  }

  prompter.messages.clear();
  for (const char* right : {"1", "14"}) {
    Address(0)->setFocus(Qt::OtherFocusReason);
    Address(0)->setText(right);
    QTest::keyClick(&w, Qt::Key_Tab);
    QCoreApplication::processEvents();
    EXPECT_NE(QApplication::focusWidget(), Address(0));
  }
  EXPECT_TRUE(prompter.messages.empty());
}

TEST_F(ConfigWTest, ConfirmRefusesAnEnabledChannelWithoutAStationAddress) {
  StoreTwoChannelsAtThree(false, true);
  const std::string stored = folder.read("config.txt");
  ConfigW& w = Started(true);
  station.channelTable[2].stationAddress = "";  // disabled: never polled, may stay empty
  station.channelTable[0].stationAddress = "0"; // enabled: would be polled at station 0
  w.Confirm();
  EXPECT_EQ(prompter.texts(), std::vector<std::string>{"Falsche Adresse"});
  EXPECT_EQ(folder.read("config.txt"), stored);
  EXPECT_EQ(w.focusWidget(), Address(0));

  prompter.messages.clear();
  station.channelTable[0].stationAddress = "1";
  w.Confirm();
  EXPECT_TRUE(prompter.messages.empty());
  EXPECT_FALSE(w.isVisible());
}

TEST_F(ConfigWTest, CancelGivesBackTheStoredTableAndTheRowLooksFollowIt) {
  StoreTwoChannelsAtThree(false, true);
  ConfigW& w = Started(true);
  QSignalSpy cancelled(&w, &ConfigW::cancelled);
  ChannelTable stored;
  ASSERT_TRUE(LoadChannelTable(stored, folder.path()).ok());

  QTest::mouseClick(Get<QLabel>("Etiquette1", 2), Qt::LeftButton); // channel 2 on
  QTest::mouseClick(Get<QLabel>("Etiquette1", 0), Qt::LeftButton); // channel 0 off
  Address(2)->setText("11");
  Get<QLineEdit>("Texte2", 3)->setText("neu");
  Get<QComboBox>("ListeTypeMesure", 3)->setCurrentIndex(9);
  Get<QRadioButton>("Option3", 1)->click();

  w.Cancel();

  EXPECT_EQ(station.channelTable.channels, stored.channels);
  EXPECT_EQ(station.channelTable.ChannelCaption[0], "Becken");
  EXPECT_EQ(cancelled.count(), 1);
  EXPECT_FALSE(w.isVisible());
  EXPECT_EQ(Address(2)->text(), "3");
  EXPECT_EQ(Get<QLineEdit>("Texte2", 3)->text(), "");
  EXPECT_EQ(Get<QComboBox>("ListeTypeMesure", 3)->currentIndex(), 0);
  EXPECT_TRUE(Get<QRadioButton>("Option3", 0)->isChecked());
  EXPECT_TRUE(Get<QCheckBox>("Coche1", 0)->isChecked());
  EXPECT_EQ(CheckBackground(0), kGreen);
  EXPECT_TRUE(RowControlsShown(0));
  EXPECT_FALSE(Get<QCheckBox>("Coche1", 2)->isChecked());
  EXPECT_EQ(CheckBackground(2), kWhite);
  EXPECT_EQ(NameColour(2), kGrey);
  EXPECT_TRUE(RowControlsHidden(2));
  EXPECT_TRUE(prompter.messages.empty());
}

TEST_F(ConfigWTest, ASaveErrorIsShownAndTheDialogStays) {
  StoreTwoChannelsAtThree(true, false);
  ConfigW& w = Started(true);
  QSignalSpy confirmed(&w, &ConfigW::confirmed);
  station.folder = folder / "nicht-da";
  w.Confirm();
  ASSERT_EQ(prompter.messages.size(), 1u);
  EXPECT_EQ(prompter.messages[0].icon, PromptIcon::Error);
  EXPECT_EQ(confirmed.count(), 0);
  EXPECT_TRUE(w.isVisible());
}

TEST_F(ConfigWTest, ClosingThroughTheFrameDiscardsUnsavedEdits) {
  StoreTwoChannelsAtThree(true, false);
  ConfigW& w = Started(true);
  QSignalSpy closed(&w, &ConfigW::closed);
  Get<QLineEdit>("Texte2", 0)->setText("verworfen");
  w.close();
  EXPECT_EQ(station.channelTable[0].marker, "Becken");
  EXPECT_EQ(closed.count(), 1);
}

} // namespace
} // namespace trelvan
