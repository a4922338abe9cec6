// The alarm list's acknowledgement and the export dialog's worker.

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTableWidget>

#include "core/time_text.h"
#include "record/reading_generator.h"
#include "record/recorder.h"
#include "support/event_loop.h"
#include "support/scripted_prompter.h"
#include "support/temp_folder.h"
#include "ui/alarm_list.h"
#include "ui/record_export_dialog.h"
#include "widget_helpers.h"

namespace trelvan {
namespace {

using testing::ScriptedPrompter;
using testing::TempFolder;

TEST(AlarmList, RaisedAlarmsStayOpenUntilAcknowledged) {
  AlarmList list;
  QSignalSpy spy(&list, &AlarmList::unacknowledgedChanged);
  list.Add({1000, 0, true, AlarmState::High, 8.6, 8.5, "pH", "Kanal 0: oberer Grenzwert überschritten"});
  list.Add({2000, 0, false, AlarmState::High, 8.3, 8.5, "pH", "Kanal 0: wieder unter dem oberen Grenzwert"});
  list.Add({3000, 2, true, AlarmState::Low, 90, 100, "kOhm", "Kanal 2: unterer Grenzwert unterschritten"});
  EXPECT_EQ(list.unacknowledged(), 2); // clearing a limit needs no acknowledgement
  auto* table = testing::Control<QTableWidget>(list, "AlarmTable");
  table->selectRow(0); // newest first: channel 2
  list.AcknowledgeSelected();
  EXPECT_EQ(list.unacknowledged(), 1);
  EXPECT_EQ(table->item(0, 4)->text().contains(QDateTime::currentDateTime().toString("dd.MM.yyyy")), true);
  list.AcknowledgeAll();
  EXPECT_EQ(list.unacknowledged(), 0);
  ASSERT_EQ(spy.size(), 4);
  EXPECT_EQ(spy.back().at(0).toInt(), 0);
  for (int k = 0; k < AlarmList::kMaxEntries + 5; ++k) list.Add({k, 1, true, AlarmState::High, 1, 0, "", "x"});
  EXPECT_EQ(list.entries(), AlarmList::kMaxEntries);
}

TEST(RecordExportDialog, ExportsTheChosenChannelsAndKeepsAFileTheOperatorKeeps) {
  TempFolder dir;
  const auto record = dir / "Messwerte.sqlite";
  const std::int64_t start = NowMs() - 3600000;
  {
    Recorder recorder({.file = record});
    ReadingGenerator generator(start, 1000, 4);
    std::vector<std::vector<Reading>> passes;
    for (int k = 0; k < 600; ++k) passes.push_back(generator.NextPass());
    ASSERT_EQ(recorder.RecordBulk(passes), std::nullopt);
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

} // namespace
} // namespace trelvan
