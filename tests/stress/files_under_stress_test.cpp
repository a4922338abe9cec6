// The station's files under stress: a save that dies half-way, an export onto
// a full disk and into a folder that cannot be written.

#include <gtest/gtest.h>

#include <QProcess>

#include <memory>
#include <string>

#if defined(__unix__)
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "core/channel_table.h"
#include "core/serial_settings.h"
#include "core/text_file.h"
#include "logger/logger_file_builder.h"
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
  const auto bytes = [&] { return dir.read("config.txt") + "|" + dir.read("PortCom.dat"); };
  const std::string oldBytes = bytes();

  ChannelTable changed = old;
  changed[0].marker = "geändert";
  changed[3] = {1, 5, "9", "Zulauf", false, true};
  ASSERT_TRUE(SaveAndDieBeforeTheRename([&] { SaveChannelTable(changed, dir.path()); }));
  SerialSettings changedSerial;
  changedSerial.SetParity(2);
  ASSERT_TRUE(SaveAndDieBeforeTheRename([&] { SaveSerialSettings(changedSerial, dir.path()); }));

  EXPECT_EQ(bytes(), oldBytes);

  // The next save goes through, over the temporary file the dead one left.
  ASSERT_TRUE(SaveChannelTable(changed, dir.path()).ok());
  ChannelTable loaded;
  ASSERT_TRUE(LoadChannelTable(loaded, dir.path()).ok());
  EXPECT_EQ(loaded.channels, changed.channels);
}

// The disk fills half-way through an append: the file goes back to its old
// length, and the message says why in German. Into a folder that cannot be
// written, nothing is created. (A write failing half-way in general, new or
// replaced files, is the export's own test.) Mounting needs root (as in CI).
TEST(FilesUnderStress, ExportOntoAFullOrReadOnlyDiskStopsWithAClearMessageAndLeavesTheFiles) {
  if (!testing::CliBuilt()) GTEST_SKIP() << "trelvan-cli not built";
  testing::LoggerFileBuilder log; // about 150 KB of text out
  log.channel1("03", "BECKEN 1", 0);
  for (int k = 0; k < 6000; ++k) log.record({.primary1 = 725, .secondary1 = 215});
  for (const bool full : {true, false}) {
    SCOPED_TRACE(full ? "full" : "read-only");
    TempFolder dir;
    dir.write("big.log", log.bytes());
    const auto disk = dir / "disk";
    std::filesystem::create_directories(disk);
    if (mount("tmpfs", disk.c_str(), "tmpfs", full ? 0 : MS_RDONLY, "size=64k") != 0)
      GTEST_SKIP() << "cannot mount a small tmpfs here (needs root)";
    const std::shared_ptr<void> unmount(nullptr, [&](void*) { umount2(disk.c_str(), MNT_DETACH); });
    if (full) dir.write("disk/pH_BECKEN 1.xls", "old");
    QProcess p;
    p.start(testing::CliPath(), {"export", QString::fromStdString((dir / "big.log").string()), "--out-dir",
                                 QString::fromStdString(disk.string()), "--append"});
    ASSERT_TRUE(p.waitForFinished(30000));
    const QString out = QString::fromUtf8(p.readAllStandardOutput()), err = QString::fromUtf8(p.readAllStandardError());
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_NE(p.exitCode(), 0) << out.toStdString();
    EXPECT_TRUE(err.contains("pH_BECKEN 1.xls")) << err.toStdString();
    EXPECT_TRUE(err.contains(full ? "Datenträger voll" : "schreibgeschützt")) << err.toStdString();
    EXPECT_FALSE(out.contains("Datensätze geschrieben")) << out.toStdString();
    EXPECT_EQ(dir.read("disk/pH_BECKEN 1.xls"), full ? "old" : "");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(disk), std::filesystem::directory_iterator()), full);
  }
}

#endif

} // namespace
} // namespace trelvan
