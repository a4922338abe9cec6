// What one pass of the Diagnose window costs, without a line: the counters
// and frames of a pass of four channels (eight frames) are added, the window
// refreshes and paints, table and monitor, as it does after each pass when
// the passes are 1.5 s apart or more (at one pass a second the monitor takes
// every other pass).
// Prints the CPU time per refresh, split into the refresh itself and the
// painting that follows.
//
//   bench_diagnose_refresh [--refreshes N]
#include <time.h>

#include <QApplication>
#include <QTest>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "bench_prompter.h"
#include "live/station.h"
#include "ui/diagnose_window.h"

namespace {

using trelvan::bench::SilentPrompter;

double CpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// A pass as the simulated station answers it: a request and a reply per channel.
void AddPass(trelvan::Station& station, int pass) {
  using namespace trelvan;
  const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
                       std::chrono::system_clock::now().time_since_epoch()).count();
  for (int channel = 0; channel < kChannelCount; ++channel) {
    const int st = channel + 1;
    station.frames.Add(FrameDirection::Sent, st, Bytes{static_cast<std::uint8_t>(st), 0x03, 0x00, 0x00, 0x00, 0x08, 0x44, 0x0C}, {});
    Bytes reply{static_cast<std::uint8_t>(st), 0x03, 0x10};
    for (int k = 0; k < 16; ++k) reply.push_back(static_cast<std::uint8_t>((pass * 7 + k * 13 + channel) & 0xFF));
    reply.push_back(0xE3);
    reply.push_back(0x1F);
    station.frames.Add(FrameDirection::Received, st, reply, "ok");
    Reading reading;
    reading.channel = channel;
    reading.station = st;
    reading.ok = true;
    reading.timeMs = now;
    station.diagnostics.Count(reading, 0.1 * (pass % 37) + channel);
  }
}

} // namespace

int main(int argc, char** argv) {
  int refreshes = 600;
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "--refreshes") == 0 && i + 1 < argc) refreshes = std::atoi(argv[++i]);
  QApplication app(argc, argv);
  trelvan::Station station;
  station.AppTitle = "TRELVAN   V 2.19";
  SilentPrompter prompter;
  trelvan::DiagnoseWindow window(station, prompter);
  window.setMonitorInterval(0); // the monitor takes every pass, as with passes 1.5 s apart or more
  window.show();
  if (!QTest::qWaitForWindowExposed(&window)) return 1;
  // Past the first screenful, as after a few seconds of measuring.
  for (int pass = 0; pass < 200; ++pass) AddPass(station, pass);
  window.Refresh();
  QCoreApplication::processEvents();

  double refresh = 0, paint = 0;
  for (int pass = 0; pass < refreshes; ++pass) {
    AddPass(station, pass);
    const double t0 = CpuSeconds();
    window.Refresh();
    const double t1 = CpuSeconds();
    QCoreApplication::sendPostedEvents(); // the repaint it asked for
    QCoreApplication::processEvents();
    const double t2 = CpuSeconds();
    refresh += t1 - t0;
    paint += t2 - t1;
  }
  const double n = refreshes;
  std::printf("%d refreshes: refresh %.1f µs, paint %.1f µs, in all %.1f µs CPU each "
              "(at one a second: %.4f %% of one core)\n",
              refreshes, 1e6 * refresh / n, 1e6 * paint / n, 1e6 * (refresh + paint) / n,
              100 * (refresh + paint) / n);
  return 0;
}
