// The station's files under stress: a save that dies half-way, an export onto
// a full disk and into a folder that cannot be written.

#include <gtest/gtest.h>

#include <QProcess>

#include <cstdint>
#include <cstdlib>
#include <string>

#if defined(__unix__)
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "core/channel_table.h"
#include "core/serial_settings.h"
#include "core/text_file.h"
#include "support/cli_processes.h"
#include "support/temp_folder.h"

namespace trelvan {
namespace {

using testing::TempFolder;

#if defined(__unix__)

// Runs `save` in a child process that dies between writing the temporary file
// and renaming it; returns true when the child died there.
template <typename Save>
bool SaveAndDieBeforeTheRename(Save save) {
  const pid_t child = fork();
  if (child == 0) {
    SetAtomicSaveHookForTesting([](const std::filesystem::path&) -> bool { _exit(42); });
    save();
    _exit(0); // the hook was never reached
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 42;
}

TEST(FilesUnderStress, ProcessKilledWhileSavingLeavesTheOldFilesIntact) {
  TempFolder dir;
  ChannelTable old;
  old[0] = {1, 2, "3", "Becken", true, false};
  ASSERT_TRUE(SaveChannelTable(old, dir.path()).ok());
  SerialSettings oldSerial;
  oldSerial.SetSpeed(1);
  ASSERT_TRUE(SaveSerialSettings(oldSerial, dir.path()).ok());
  const std::string oldChannelBytes = dir.read("config.txt");
  const std::string oldSerialBytes = dir.read("PortCom.dat");

  ChannelTable changed = old;
  changed[0].marker = "geändert";
  changed[3] = {1, 5, "9", "Zulauf", false, true};
  ASSERT_TRUE(SaveAndDieBeforeTheRename([&] { SaveChannelTable(changed, dir.path()); }));
  SerialSettings changedSerial;
  changedSerial.SetParity(2);
  ASSERT_TRUE(SaveAndDieBeforeTheRename([&] { SaveSerialSettings(changedSerial, dir.path()); }));

  EXPECT_EQ(dir.read("config.txt"), oldChannelBytes);
  EXPECT_EQ(dir.read("PortCom.dat"), oldSerialBytes);
  ChannelTable loaded;
  EXPECT_TRUE(LoadChannelTable(loaded, dir.path()).ok());
  EXPECT_EQ(loaded.channels, old.channels);

  // The next save goes through, over the temporary file the dead one left.
  ASSERT_TRUE(SaveChannelTable(changed, dir.path()).ok());
  ASSERT_TRUE(LoadChannelTable(loaded, dir.path()).ok());
  EXPECT_EQ(loaded.channels, changed.channels);
}

// A logger file of `records` records of one pH channel.
std::string LoggerFile(int records) {
  std::string bytes(58, '\0');
  bytes.replace(0, 16, "BECKEN 1        ");
  bytes.replace(18, 16, "                ");
  bytes.replace(36, 2, "03");
  for (int k = 0; k < records; ++k) {
    std::string r(21, '\0');
    r[0] = 0x25; r[1] = 0x03; r[2] = 0x12; r[3] = 0x09; r[4] = static_cast<char>(k % 60);
    r[9] = static_cast<char>(k & 0xFF); r[10] = 0x02; r[11] = static_cast<char>(0xD7);
    bytes += r;
  }
  return bytes;
}

struct ExportRun {
  int exitCode = -1;
  QString out, err;
};

ExportRun Export(const QString& logFile, const QString& outDir, const QString& mode = "--replace") {
  QProcess p;
  p.start(testing::CliPath(), {"export", logFile, "--out-dir", outDir, mode});
  ExportRun run;
  if (!p.waitForFinished(30000)) return run;
  run.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
  run.out = QString::fromUtf8(p.readAllStandardOutput());
  run.err = QString::fromUtf8(p.readAllStandardError());
  return run;
}

// A small file system of its own; needs the right to mount (root in CI).
class SmallDisk {
 public:
  explicit SmallDisk(const std::filesystem::path& where, const char* options) : where_(where) {
    std::filesystem::create_directories(where_);
    mounted_ = mount("tmpfs", where_.c_str(), "tmpfs", 0, options) == 0;
  }
  ~SmallDisk() {
    if (mounted_) umount(where_.c_str());
  }
  bool mounted() const { return mounted_; }

 private:
  std::filesystem::path where_;
  bool mounted_ = false;
};

// The disk fills half-way: a new file never appears, an appended one goes
// back to its old length, and the message says why in German.
TEST(FilesUnderStress, ExportOntoAFullDiskStopsWithAClearMessage) {
  if (!testing::CliBuilt()) GTEST_SKIP() << "trelvan-cli not built";
  TempFolder dir;
  dir.write("big.log", LoggerFile(6000)); // about 150 KB of text out
  SmallDisk disk(dir / "disk", "size=64k");
  if (!disk.mounted()) GTEST_SKIP() << "cannot mount a small tmpfs here (needs root)";
  const QString out = QString::fromStdString((dir / "disk").string());
  const QString log = QString::fromStdString((dir / "big.log").string());
  for (const char* mode : {"--replace", "--append"}) {
    if (std::string(mode) == "--append") dir.write("disk/pH_BECKEN 1.xls", "old");
    const std::string before = dir.read("disk/pH_BECKEN 1.xls");
    const ExportRun run = Export(log, out, mode);
    EXPECT_NE(run.exitCode, 0) << run.out.toStdString();
    EXPECT_TRUE(run.err.contains("pH_BECKEN 1.xls")) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("Datenträger voll")) << run.err.toStdString();
    EXPECT_FALSE(run.out.contains("Datensätze geschrieben")) << run.out.toStdString();
    EXPECT_EQ(dir.read("disk/pH_BECKEN 1.xls"), before) << mode;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir / "disk"),
                            std::filesystem::directory_iterator()),
              before.empty() ? 0 : 1)
        << mode;
  }
}

TEST(FilesUnderStress, ExportIntoAFolderThatCannotBeWrittenCreatesNothing) {
  if (!testing::CliBuilt()) GTEST_SKIP() << "trelvan-cli not built";
  TempFolder dir;
  dir.write("small.log", LoggerFile(3));
  SmallDisk disk(dir / "readonly", "ro,size=64k");
  if (!disk.mounted()) GTEST_SKIP() << "cannot mount a read-only tmpfs here (needs root)";
  const QString out = QString::fromStdString((dir / "readonly").string());
  const ExportRun run = Export(QString::fromStdString((dir / "small.log").string()), out);
  EXPECT_NE(run.exitCode, 0);
  EXPECT_TRUE(run.err.contains("pH_BECKEN 1.xls")) << run.err.toStdString();
  EXPECT_FALSE(run.out.contains("Datensätze geschrieben"));
  EXPECT_TRUE(std::filesystem::is_empty(dir / "readonly"));
}

#endif

} // namespace
} // namespace trelvan
