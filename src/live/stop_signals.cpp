#include "stop_signals.h"

#include <QSocketNotifier>

#include <sys/socket.h>
#include <unistd.h>

#include <csignal>

namespace trelvan {

namespace {

int g_stopSignal[2] = {-1, -1};

extern "C" void OnStopSignal(int) {
  const char c = 1;
  [[maybe_unused]] const auto n = ::write(g_stopSignal[1], &c, 1);
}

} // namespace

void StopOnSignals(QObject* owner, std::function<void()> stop) {
  if (g_stopSignal[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_stopSignal) != 0) return;
  auto* notifier = new QSocketNotifier(g_stopSignal[0], QSocketNotifier::Read, owner);
  QObject::connect(notifier, &QSocketNotifier::activated, owner, [stop = std::move(stop)] {
    char c;
    [[maybe_unused]] const auto n = ::read(g_stopSignal[0], &c, 1);
    stop();
  });
  std::signal(SIGINT, OnStopSignal);
  std::signal(SIGTERM, OnStopSignal);
}

} // namespace trelvan
