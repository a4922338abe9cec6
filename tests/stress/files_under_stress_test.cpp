// The station's files under stress: a save that dies half-way, an export onto
// a full disk and into a folder that cannot be written.

#include <gtest/gtest.h>

#include <QProcess>

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
// back to its old length, and the message says why in German. Into a folder
// that cannot be written, nothing is created.
TEST(FilesUnderStress, ExportOntoAFullOrReadOnlyDiskStopsWithAClearMessageAndLeavesTheFiles) {
  if (!testing::CliBuilt()) GTEST_SKIP() << "trelvan-cli not built";
  struct Case {
    const char* name;
    const char* mountOptions;
    const char* mode;
    const char* before; // the output file before, nullptr: none
    const char* why;    // in the message, besides the file's name
  };
  testing::LoggerFileBuilder log; // about 150 KB of text out
  log.channel1("03", "BECKEN 1", 0);
  testing::RecordBytes r;
  r.primary1 = 725;
  r.secondary1 = 215;
  for (int k = 0; k < 6000; ++k) log.record(r);
  const Case cases[] = {
      {"full, replacing", "size=64k", "--replace", nullptr, "Datenträger voll"},
      {"full, appending", "size=64k", "--append", "old", "Datenträger voll"},
      {"read-only", "ro,size=64k", "--replace", nullptr, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder dir;
    dir.write("big.log", log.bytes());
    SmallDisk disk(dir / "disk", c.mountOptions);
    if (!disk.mounted()) GTEST_SKIP() << "cannot mount a small tmpfs here (needs root)";
    if (c.before) dir.write("disk/pH_BECKEN 1.xls", c.before);
    QProcess p;
    p.start(testing::CliPath(), {"export", QString::fromStdString((dir / "big.log").string()), "--out-dir",
                                 QString::fromStdString((dir / "disk").string()), c.mode});
    ASSERT_TRUE(p.waitForFinished(30000));
    const QString out = QString::fromUtf8(p.readAllStandardOutput()), err = QString::fromUtf8(p.readAllStandardError());
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_NE(p.exitCode(), 0) << out.toStdString();
    EXPECT_TRUE(err.contains("pH_BECKEN 1.xls")) << err.toStdString();
    EXPECT_TRUE(err.contains(c.why)) << err.toStdString();
    EXPECT_FALSE(out.contains("Datensätze geschrieben")) << out.toStdString();
    EXPECT_EQ(dir.read("disk/pH_BECKEN 1.xls"), c.before ? c.before : "");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir / "disk"), std::filesystem::directory_iterator()),
              c.before ? 1 : 0);
  }
}

#endif

} // namespace
} // namespace trelvan
