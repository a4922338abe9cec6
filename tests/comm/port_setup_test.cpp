#include <gtest/gtest.h>

#include <QProcess>

#include <fcntl.h>
#include <grp.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "comm/port_access.h"
#include "comm/port_directory.h"
#include "comm/qt_serial_line.h"
#include "support/event_loop.h"
#include "support/temp_folder.h"

namespace trelvan {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;

QString Q(const fs::path& p) { return QString::fromStdString(p.string()); }
QString CanonicalOf(const fs::path& p) { return Q(fs::canonical(p)); }

// A folder standing in for /dev with two USB adapters and a built-in port,
// and one standing in for /dev/serial/by-id.
TEST(PortDirectory, ListsDevicesByStableNameAndFindsAnAssignedAdapterInAnotherSocket) {
  using Source = PortDirectory::Source;
  TempFolder dir;
  fs::create_directories(dir / "dev");
  fs::create_directories(dir / "by-id");
  for (const char* name : {"ttyUSB0", "ttyUSB1", "ttyS0"}) dir.write(std::string("dev/") + name, "");
  const auto dev = [&](const char* kernel) { return Q(dir / "dev" / kernel); };
  const fs::path ftdi = dir / "by-id/usb-FTDI_RS485_A1-if00-port0", prolific = dir / "by-id/usb-Prolific_B2-if00-port0";
  const auto plug = [&](const fs::path& stable, const std::string& kernel) {
    fs::remove(stable);
    fs::create_symlink("../dev/" + kernel, stable);
  };
  plug(ftdi, "ttyUSB0");
  plug(prolific, "ttyUSB1");
  qunsetenv("TRELVAN_COM1");
  PortDirectory ports{Q(dir.path()), Q(dir / "by-id")};
  const auto resolved = [&] {
    const auto r = ports.Resolve(1);
    return std::pair(r.device.toStdString(), r.source);
  };

  const QList<SerialDevice> devices =
      ports.WithStableNames({{dev("ttyUSB0"), {}, "FTDI", "USB-RS485 Cable", "A1"}, {dev("ttyS0"), {}, {}, {}, {}}});
  ASSERT_EQ(devices.size(), 3);
  EXPECT_EQ(devices[0], (SerialDevice{dev("ttyS0"), {}, {}, {}, {}}));
  EXPECT_EQ(devices[1], (SerialDevice{dev("ttyUSB0"), Q(ftdi), "FTDI", "USB-RS485 Cable", "A1"}));
  // Known only by its stable name.
  EXPECT_EQ(devices[2], (SerialDevice{CanonicalOf(dir / "dev/ttyUSB1"), Q(prolific), {}, {}, {}}));

  // Chosen by its kernel name, stored by its stable one.
  ASSERT_TRUE(ports.Assign(1, dev("ttyUSB0")));
  EXPECT_EQ(PortDirectory(Q(dir.path()), Q(dir / "by-id")).Assignment(1), Q(ftdi));
  EXPECT_EQ(ports.Resolve(1).device, CanonicalOf(dir / "dev/ttyUSB0"));

  fs::remove(prolific);
  plug(ftdi, "ttyUSB1"); // replugged
  EXPECT_EQ(resolved(), std::pair(fs::canonical(dir / "dev/ttyUSB1").string(), Source::Assignment));
  fs::remove(ftdi); // unplugged: the open will say so
  EXPECT_EQ(ports.Resolve(1).device, Q(ftdi));

  qputenv("TRELVAN_COM1", "/dev/pts/9"); // the environment wins over the assignment
  EXPECT_EQ(resolved(), std::pair(std::string("/dev/pts/9"), Source::Environment));
  qunsetenv("TRELVAN_COM1");
  ASSERT_TRUE(ports.Assign(1, {})); // unassigned: the built-in port of its number
  EXPECT_EQ(resolved(), std::pair(std::string("/dev/ttyS0"), Source::Default));
  EXPECT_EQ(ports.Resolve(2).device, "/dev/ttyS1");
}

// What opening the device says to a child process that is no longer root;
// it writes to `out`, opened while it still may.
QString OpenedAsNobody(const QString& device, const fs::path& out) {
  const pid_t child = ::fork();
  if (child == 0) {
    std::ofstream text(out);
    if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
    QtSerialLine line;
    line.SelectDevice(device);
    QString error;
    text << (line.Open(&error) ? QByteArray("opened") : error.toUtf8()).toStdString() << std::flush;
    ::_exit(0);
  }
  ::waitpid(child, nullptr, 0);
  std::ifstream text(out);
  return QString::fromStdString(std::string(std::istreambuf_iterator<char>(text), {}));
}

TEST(PortAccess, SaysWhyADeviceCannotBeOpenedAndWhatHelps) {
  using State = PortAccess::State;
  TempFolder dir;
  dir.write("file", "");
  // A pseudo-terminal stands in for a serial device: a real character device
  // whose node the test can chmod. Its master end keeps it alive.
  int master = -1, slave = -1;
  char name[256];
  if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) GTEST_SKIP() << "no pseudo-terminal";
  ::close(slave);
  const std::shared_ptr<void> closeMaster(nullptr, [master](void*) { ::close(master); });
  const QString device = name;

  EXPECT_EQ(CheckPortAccess(Q(dir / "ttyUSB7")).state, State::Missing);
  EXPECT_EQ(CheckPortAccess(Q(dir / "file")).state, State::NotADevice);
  const PortAccess free = CheckPortAccess(device);
  EXPECT_EQ(free.state, State::Free) << free.text.toStdString();

  const int fd = ::open(device.toLocal8Bit(), O_RDWR | O_NOCTTY);
  EXPECT_EQ(CheckPortAccess(device).state, State::OpenHere);
  ::close(fd);

  QProcess holder;
  holder.start("sh", {"-c", "exec 3<>\"$0\"; exec sleep 30", device});
  ASSERT_TRUE(holder.waitForStarted());
  PortAccess held;
  EXPECT_TRUE(testing::WaitFor([&] { return (held = CheckPortAccess(device)).state == State::InUse; }));
  EXPECT_TRUE(held.text.contains(QStringLiteral("sleep (PID %1)").arg(holder.processId()))) << held.text.toStdString();
  holder.kill();
  holder.waitForFinished();

  if (::getuid() != 0) GTEST_SKIP() << "the permission case needs root to drop it";
  const group* dialout = ::getgrnam("dialout");
  ASSERT_NE(dialout, nullptr);
  ASSERT_EQ(::chown(device.toLocal8Bit(), 0, dialout->gr_gid), 0);
  ASSERT_EQ(::chmod(device.toLocal8Bit(), 0660), 0);
  const QString denied = OpenedAsNobody(device, dir / "opened.txt");
  for (const char* piece : {"Eigentümer root, Gruppe dialout, Rechte rw-rw----", "sudo usermod -aG dialout nobody",
                            "wieder anmelden"})
    EXPECT_TRUE(denied.contains(piece)) << denied.toStdString();
}

} // namespace
} // namespace trelvan
