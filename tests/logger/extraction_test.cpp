#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <tuple>

#include "logger/extraction.h"
#include "logger_file_builder.h"
#include "support/scripted_prompter.h"
#include "support/temp_folder.h"

// Readable failure messages.
inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

namespace trelvan {
namespace {

namespace fs = std::filesystem;
using testing::LoggerFileBuilder;
using testing::ScriptedPrompter;
using testing::TempFolder;

QString Q(const fs::path& p) { return QString::fromStdString(p.string()); }
QString Canonical(const fs::path& p) { return QFileInfo(Q(p)).canonicalFilePath(); }
// What the operator is shown: icon, text, a question or not, and its preselected answer.
auto Shown(const ScriptedPrompter::Message& m) { return std::tuple(m.icon, m.text, m.question, m.preselected); }

class ExtractionTest : public ::testing::Test {
 protected:
  ExtractionTest() {
    fs::create_directories(media / "sub");
    fs::create_directories(out);
    window.setOutputFolder(Q(out));
    window.show();
  }

  template <class W>
  W* Control(const char* name) {
    W* w = window.findChild<W*>(name);
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  void Open(const fs::path& dir) { ASSERT_TRUE(window.setDirectory(Q(dir))); }
  void ClickFile(const QString& name) {
    auto* list = Control<QListWidget>("File1");
    const auto items = list->findItems(name, Qt::MatchExactly);
    ASSERT_EQ(items.size(), 1) << name.toStdString();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(items[0]).center());
  }
  void Click(const char* button) { QTest::mouseClick(Control<QPushButton>(button), Qt::LeftButton); }
  QStringList Files() {
    QStringList names;
    auto* list = Control<QListWidget>("File1");
    for (int i = 0; i < list->count(); ++i) names << list->item(i)->text();
    return names;
  }
  bool WaitForExport() { return QSignalSpy(&window, &Extraction::exportFinished).wait(20000); }

  TempFolder folder;
  fs::path media = folder / "media";
  fs::path out = folder / "out";
  ScriptedPrompter prompter;
  Extraction window{"TRELVAN   V 2.19", ",", prompter};
};

// Reset: in a folder without logger files it offers to create one; else it
// needs a clicked file and a confirmation. A reset that fails is shown as an
// error naming the file, not taken for done.
TEST_F(ExtractionTest, ResetCreatesOrEmptiesTheClickedFileOnlyWhenConfirmed) {
  folder.write("media/a.log", std::string(79, 'x'));
  folder.write("media/B.LOG", "y");
  folder.write("media/notes.txt", "z");
  Open(media / "sub");
  window.setMode(ExtractionMode::Reset);
  Click("Command1"); // No
  EXPECT_EQ(prompter.texts(), std::vector<std::string>{"Datei anlegen ? "});
  EXPECT_EQ(prompter.messages[0].icon, PromptIcon::Question);
  EXPECT_FALSE(fs::exists(media / "sub/Kestrane.log"));
  prompter.answers = {true};
  Click("Command1");
  EXPECT_EQ(fs::file_size(media / "sub/Kestrane.log"), 0u);
  EXPECT_EQ(Files(), QStringList{"Kestrane.log"});
  EXPECT_EQ(window.selectedFile(), Canonical(media / "sub") + "/Kestrane.log");
  EXPECT_EQ(prompter.beeps, 1);

  Open(media);
  EXPECT_EQ(Files(), (QStringList{"a.log", "B.LOG"}));
  prompter.messages.clear();
  Click("Command1");
  EXPECT_EQ(prompter.texts(), std::vector<std::string>{"Datei Auswahlen"});
  ClickFile("a.log");
  EXPECT_EQ(window.selectedFile(), "a.log");
  Click("Command1"); // No
  EXPECT_EQ(Shown(prompter.messages.back()),
            Shown({PromptIcon::Warning, "Rücksetzung bestätigen", "", true, PromptDefault::No}));
  EXPECT_EQ(fs::file_size(media / "a.log"), 79u);
  prompter.answers = {true};
  Click("Command1");
  EXPECT_EQ(fs::file_size(media / "a.log"), 0u);
  EXPECT_EQ(window.selectedFile(), Canonical(media / "a.log"));
  EXPECT_EQ(prompter.messages.size(), 3u); // no confirmation afterwards

  fs::remove(media / "a.log");
  fs::create_directories(media / "a.log");
  prompter.answers = {true};
  Click("Command1");
  EXPECT_EQ(prompter.messages.back().icon, PromptIcon::Error);
  EXPECT_NE(prompter.messages.back().text.find("a.log"), std::string::npos) << prompter.messages.back().text;
}

// Another folder forgets the selection; Beenden hides the window and keeps
// it; closed through the frame the window goes back to the working directory,
// but selectedFile stays.
TEST_F(ExtractionTest, TheSelectionIsKeptWhenHiddenAndForgottenInAnotherFolder) {
  folder.write("media/a.log", "x");
  folder.write("media/sub/c.log", "x");
  Open(media);
  ClickFile("a.log");
  Click("Command2");
  EXPECT_FALSE(window.isVisible());
  window.show();
  EXPECT_EQ(window.selectedFile(), "a.log");
  EXPECT_EQ(window.directory(), Canonical(media));
  window.close();
  window.show();
  EXPECT_EQ(window.directory(), QFileInfo(QDir::currentPath()).canonicalFilePath());
  EXPECT_EQ(window.selectedFile(), "a.log");

  Open(media);
  ClickFile("a.log");
  auto* dirs = Control<QListWidget>("Dir1");
  for (int i = 0; i < dirs->count(); ++i)
    if (dirs->item(i)->data(Qt::UserRole).toString() == Canonical(media / "sub")) dirs->setCurrentRow(i);
  QTest::keyClick(dirs, Qt::Key_Return);
  QCoreApplication::processEvents();
  EXPECT_EQ(window.directory(), Canonical(media / "sub"));
  EXPECT_EQ(window.selectedFile(), "");
  EXPECT_EQ(Files(), QStringList{"c.log"});
}

// Export: it needs a clicked file; a file that is no logger file is shown as
// an error naming it, and nothing is written; a second export asks before it
// replaces.
TEST_F(ExtractionTest, ExportWritesTheFilesAndAsksBeforeReplacing) {
  EXPECT_EQ(Control<QGroupBox>("Frame1")->title(), "Auswahl der Datei");
  for (const auto& [name, caption] :
       {std::pair{"Command3", "&Auslesen"}, {"Command1", "Auswahl der &Datei"}, {"Command2", "&Beenden"}})
    EXPECT_EQ(Control<QPushButton>(name)->text(), caption);
  folder.write("media/station.log",
               LoggerFileBuilder().channel1("03", "BECKEN 1", 0).record({.primary1 = 725}).bytes());
  folder.write("media/short.log", "too short");
  Open(media);

  Click("Command3");
  EXPECT_EQ(prompter.texts(), std::vector<std::string>{"Datei Auswahlen"});
  ClickFile("short.log");
  Click("Command3");
  EXPECT_FALSE(window.exportRunning());
  EXPECT_EQ(prompter.messages.back().icon, PromptIcon::Error);
  EXPECT_NE(prompter.messages.back().text.find("short.log"), std::string::npos) << prompter.messages.back().text;
  EXPECT_TRUE(fs::is_empty(out));

  const int beeps = prompter.beeps;
  ClickFile("station.log");
  Click("Command3");
  ASSERT_TRUE(WaitForExport());
  // The station's separator, as the window was given it.
  const std::string block =
      "Logger : BECKEN 1        \r\n\r\npH\r\n\r\nDatum\tUhr\tpH\t\xB0" "C\r\n25/3/12\t9:5\t7,25\t0\t\r\n";
  EXPECT_EQ(folder.read("out/pH_BECKEN 1.xls"), block);
  EXPECT_EQ(Shown(prompter.messages.back()), Shown({PromptIcon::Information, "Ende der Ablesung", "", false}));
  EXPECT_EQ(prompter.beeps, beeps + 1);
  EXPECT_EQ(Control<QLabel>("Label2")->text(), "1 : 25/3/12 9:5  725 0 ");
  EXPECT_EQ(window.selectedFile(), Canonical(media / "station.log"));

  // Again, answering No: the new block is appended.
  Click("Command3");
  ASSERT_TRUE(WaitForExport());
  EXPECT_EQ(Shown(prompter.messages[prompter.messages.size() - 2]),
            Shown({PromptIcon::Error, "Datei  'pH_BECKEN 1.xls'  existiert bereits.\nsoll es ersetzt werden ? ", "",
                   true, PromptDefault::No}));
  EXPECT_EQ(folder.read("out/pH_BECKEN 1.xls"), block + block);
}

// The program ends (window deleted) while an export runs: the export stops
// and leaves no file behind, not even a temporary one.
TEST_F(ExtractionTest, EndingDuringAnExportLeavesNoFileBehind) {
  LoggerFileBuilder log;
  log.channel1("03", "A", 0);
  testing::RecordBytes r;
  for (int i = 0; i < 1000000; ++i) log.record(r); // far longer than the test takes to end it
  folder.write("media/big.log", log.bytes());
  auto* second = new Extraction("TRELVAN", ",", prompter);
  second->setOutputFolder(Q(out));
  second->setDirectory(Q(media));
  second->findChild<QListWidget*>("File1")->setCurrentRow(0);
  QTest::mouseClick(second->findChild<QPushButton*>("Command3"), Qt::LeftButton);
  ASSERT_TRUE(second->exportRunning());
  delete second;
  EXPECT_TRUE(fs::is_empty(out));
}

TEST_F(ExtractionTest, ResetIsRefusedWhileAnExportRuns) {
  folder.write("media/slow.log", "");
  Open(media);
  ClickFile("slow.log");
  // Swap the file for a pipe the test feeds: the export waits for its end.
  fs::remove(media / "slow.log");
  ASSERT_EQ(mkfifo((media / "slow.log").c_str(), 0600), 0);
  const int feed = ::open((media / "slow.log").c_str(), O_RDWR);
  ASSERT_GE(feed, 0);
  const std::string bytes = LoggerFileBuilder().channel1("03", "A", 0).record({}).bytes();
  ASSERT_EQ(::write(feed, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));

  Click("Command3");
  ASSERT_TRUE(window.exportRunning());
  EXPECT_FALSE(Control<QPushButton>("Command3")->isEnabled());
  window.setMode(ExtractionMode::Reset);
  prompter.answers = {true};
  Click("Command1");
  ASSERT_EQ(prompter.messages.size(), 1u);
  EXPECT_FALSE(prompter.messages[0].question);
  EXPECT_NE(prompter.messages[0].text.find("Auslesens"), std::string::npos);

  ::close(feed);
  ASSERT_TRUE(WaitForExport());
  EXPECT_EQ(prompter.messages.back().text, "Ende der Ablesung");
  EXPECT_EQ(folder.read("out/pH_A.xls").substr(0, 10), "Logger : A");
}

TEST_F(ExtractionTest, UnreadableDriveGoesBackToThePreviousOne) {
  // The volumes are the test's own, whatever the machine mounts.
  const QString root = Canonical(media);
  window.setVolumeSource(
      {[&] { return std::vector<Volume>{{root, "", false}, {"/nonexistent-card-reader", "", true}}; },
       [&](const QString& path) { return path.startsWith(root) ? root : QString("/"); }});
  Open(media / "sub");
  auto* drives = Control<QComboBox>("Drive1");
  EXPECT_EQ(drives->currentData().toString(), root);
  drives->setCurrentIndex(drives->findData("/nonexistent-card-reader"));
  EXPECT_EQ(prompter.texts(), std::vector<std::string>{"Leser nicht vorhanden"});
  EXPECT_EQ(prompter.messages[0].icon, PromptIcon::Error);
  EXPECT_EQ(drives->currentData().toString(), root);
  EXPECT_EQ(window.directory(), Canonical(media / "sub"));
}

} // namespace
} // namespace trelvan
