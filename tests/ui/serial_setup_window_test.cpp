#include "ui/serial_setup_window.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QSpinBox>
#include <QTableWidget>

#include "comm/qt_serial_line.h"
#include "comm/serial_line.h"
#include "core/channel_table.h"
#include "live/station.h"
#include "support/running_simulator.h"
#include "support/scripted_prompter.h"
#include "support/temp_folder.h"
#include "widget_helpers.h"

namespace trelvan {
namespace {

using testing::Control;

sim::SimInstrument At(int station, int base, int typeIndex) {
  sim::SimInstrument i;
  i.station = station;
  i.registerBase = base;
  i.typeIndex = typeIndex;
  i.member = MeasurementTypeAt(typeIndex)->requestMember;
  return i;
}

TEST(SerialSetupWindow, ScansOnlyAFreeLineAndTakesAStationIntoAChannel) {
  sim::SimConfig config;
  config.instruments = {At(2, 0, 2), At(3, 20, 5)};
  testing::RunningSimulator sim(config);
  if (!sim.available()) GTEST_SKIP() << "no pseudo-terminal";
  qputenv("TRELVAN_COM1", QByteArray::fromStdString(sim.devicePath()));
  testing::TempFolder folder;
  QtSerialLine line;
  Station station;
  station.folder = folder.path();
  station.port = &line;
  testing::ScriptedPrompter prompter;
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
  EXPECT_EQ(saved[1].stationAddress, "3");
  EXPECT_TRUE(saved[1].isExt);
  EXPECT_FALSE(saved[1].isMaster);
  EXPECT_EQ(saved[1].typeIndex, kFlowTypeIndex);
  EXPECT_EQ(station.channelTable[1], saved[1]);
  qunsetenv("TRELVAN_COM1");
}

} // namespace
} // namespace trelvan
