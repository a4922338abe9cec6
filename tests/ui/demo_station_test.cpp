#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <csignal>

#include "support/event_loop.h"
#include "support/temp_folder.h"

namespace trelvan {
namespace {

// The processes that `pid`'s main thread started, from /proc.
std::vector<qint64> ChildrenOf(qint64 pid) {
  QFile file(QString("/proc/%1/task/%1/children").arg(pid));
  std::vector<qint64> children;
  if (file.open(QIODevice::ReadOnly))
    for (const QByteArray& child : file.readAll().split(' '))
      if (!child.trimmed().isEmpty()) children.push_back(child.toLongLong());
  return children;
}

bool Running(qint64 pid) {
  QFile stat(QString("/proc/%1/stat").arg(pid));
  if (!stat.open(QIODevice::ReadOnly)) return false;
  const QByteArray text = stat.readAll();
  return text.mid(text.lastIndexOf(')') + 2, 1) != "Z";
}

// --help and --version answer without a window system, in German.
TEST(ProgramOptions, HelpAndVersionNeedNoDisplay) {
  struct Case {
    const char* option;
    const char* says;
  };
  for (const Case& c : {Case{"--version", "trelvan 2."}, Case{"--help", "Aufruf: trelvan"}}) {
    QProcess app;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(name);
    app.setProcessEnvironment(env);
    app.start(TRELVAN_APP_PATH, {c.option});
    ASSERT_TRUE(app.waitForFinished(10000)) << c.option;
    EXPECT_EQ(app.exitCode(), 0) << c.option;
    EXPECT_TRUE(app.readAllStandardOutput().startsWith(c.says)) << c.option;
  }
}

// `trelvan --simulate` started its simulator; however the application ends,
// killed included, the simulator ends with it.
TEST(DemoStation, SimulatorEndsWithTheApplication) {
#ifndef Q_OS_LINUX
  GTEST_SKIP() << "Linux only";
#endif
  for (int signal : {SIGTERM, SIGKILL}) {
    SCOPED_TRACE(signal);
    testing::TempFolder folder;
    QProcess app;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    app.setProcessEnvironment(env);
    app.start(TRELVAN_APP_PATH, {"--simulate", "--folder", QString::fromStdString(folder.path().string())});
    ASSERT_TRUE(app.waitForStarted(5000));
    ASSERT_TRUE(testing::WaitFor([&] { return app.canReadLine(); }, 10000)) << app.readAllStandardError().toStdString();
    const std::vector<qint64> children = ChildrenOf(app.processId());
    ASSERT_EQ(children.size(), 1u) << app.readAllStandardOutput().toStdString();
    const qint64 simulator = children[0];

    ::kill(static_cast<pid_t>(app.processId()), signal);
    ASSERT_TRUE(app.waitForFinished(5000));
    EXPECT_TRUE(testing::WaitFor([&] { return !Running(simulator); }, 5000));
    if (Running(simulator)) ::kill(static_cast<pid_t>(simulator), SIGKILL);
  }
}

} // namespace
} // namespace trelvan
