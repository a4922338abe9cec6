#include "quit_signals.h"

#include <QSocketNotifier>

#include <sys/socket.h>
#include <unistd.h>

#include <csignal>

namespace trelvan {

namespace {

int g_quitSignal[2] = {-1, -1};

void OnQuitSignal(int) {
  const char c = 1;
  [[maybe_unused]] const auto n = ::write(g_quitSignal[1], &c, 1);
}

} // namespace

void QuitOnSignals(QObject* owner, std::function<void()> quit) {
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_quitSignal) != 0) return;
  auto* notifier = new QSocketNotifier(g_quitSignal[0], QSocketNotifier::Read, owner);
  QObject::connect(notifier, &QSocketNotifier::activated, owner, [quit = std::move(quit)] {
    char c;
    [[maybe_unused]] const auto n = ::read(g_quitSignal[0], &c, 1);
    quit();
  });
  std::signal(SIGINT, OnQuitSignal);
  std::signal(SIGTERM, OnQuitSignal);
}

} // namespace trelvan
