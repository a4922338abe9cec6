// The measurement window polling four instruments once a second, as the
// application runs it, with or without the Diagnose window open, with or
// without the outlets of its readings (limits, record, broker); prints the
// process's CPU time over a steady window and the times of its passes.
// bench/live/measure-poll runs two of these side by side, each against its
// own simulator, and compares them.
//
//   bench_window_cpu --folder DIR --device PATH [--diagnose] [--outlets] [--seconds S]
//
// DIR holds "config.txt" and "PortCom.dat" (and for --outlets "trelvan.ini"
// with its limits and MQTT settings; the record is "Messwerte.sqlite" there);
// PATH stands in for the port.
#include <sys/resource.h>

#include <QApplication>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bench_prompter.h"
#include "comm/qt_serial_line.h"
#include "core/channel_table.h"
#include "core/serial_settings.h"
#include "live/measurement_window.h"
#include "ui/diagnose_window.h"
#include "ui/measurement_outlets.h"

namespace {

using trelvan::bench::SilentPrompter;

double ProcessCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

// "median 41.2  p90 43.0  max 48.9" of times in ms.
std::string Spread(std::vector<double> ms) {
  if (ms.empty()) return "none";
  std::sort(ms.begin(), ms.end());
  auto at = [&](double q) { return ms[std::min(ms.size() - 1, static_cast<std::size_t>(q * static_cast<double>(ms.size())))]; };
  char text[96];
  std::snprintf(text, sizeof text, "median %.2f  p90 %.2f  max %.2f", at(0.5), at(0.9), ms.back());
  return text;
}

} // namespace

int main(int argc, char** argv) {
  std::string folder = ".", device;
  bool diagnose = false, withOutlets = false;
  double seconds = 30;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--diagnose") == 0) diagnose = true;
    else if (std::strcmp(argv[i], "--outlets") == 0) withOutlets = true;
    else if (std::strcmp(argv[i], "--folder") == 0 && i + 1 < argc) folder = argv[++i];
    else if (std::strcmp(argv[i], "--device") == 0 && i + 1 < argc) device = argv[++i];
    else if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) seconds = std::atof(argv[++i]);
  }
  QApplication app(argc, argv);
  trelvan::Station station;
  station.folder = folder;
  station.AppTitle = "TRELVAN   V 2.19";
  trelvan::LoadChannelTable(station.channelTable, station.folder);
  trelvan::LoadSerialSettings(station.serialSettings, station.folder);
  trelvan::BuildChannelCaptions(station.channelTable);
  if (!device.empty())
    qputenv(QByteArray("TRELVAN_COM") + QByteArray::number(station.serialSettings.portNumber), device.c_str());
  trelvan::QtSerialLine line;
  station.port = &line;
  SilentPrompter prompter;
  trelvan::F_Mesure window(station, prompter);
  std::unique_ptr<trelvan::MeasurementOutlets> outlets;
  if (withOutlets) {
    // As the main window sets them up.
    outlets = std::make_unique<trelvan::MeasurementOutlets>(station.folder, ".");
    for (const std::string& problem : outlets->LoadLimits()) std::fprintf(stderr, "%s\n", problem.c_str());
    for (const std::string& problem : outlets->StartPublisher()) std::fprintf(stderr, "%s\n", problem.c_str());
    window.setOutlets(&outlets->outlets());
  }
  window.Load();
  window.showMaximized();
  window.StartPolling(1000);
  std::unique_ptr<trelvan::DiagnoseWindow> diagnoseWindow;
  if (diagnose) {
    diagnoseWindow = std::make_unique<trelvan::DiagnoseWindow>(station, prompter);
    diagnoseWindow->show();
    // As the main window connects them.
    QObject::connect(&window, &trelvan::F_Mesure::passEnded, diagnoseWindow.get(), &trelvan::DiagnoseWindow::PassEnded);
  }

  // Past start-up and the first passes, then the steady window.
  double cpu0 = 0;
  int passes0 = 0;
  bool steady = false;
  std::vector<double> passMs, afterPassMs;
  int seenPasses = 0;
  // Runs after the window's own tick (connected later): the pass just made.
  QObject::connect(window.Minuterie1(), &QTimer::timeout, [&] {
    if (window.pollCycle().passCount() == seenPasses) return;
    seenPasses = window.pollCycle().passCount();
    if (!steady) return;
    passMs.push_back(static_cast<double>(window.lastPassTime().count()) / 1000);
    afterPassMs.push_back(static_cast<double>(window.lastEndPassTime().count()) / 1000);
  });
  QTimer::singleShot(2000, [&] {
    cpu0 = ProcessCpuSeconds();
    passes0 = window.pollCycle().passCount();
    steady = true;
  });
  QTimer::singleShot(2000 + static_cast<int>(seconds * 1000), [&] {
    const double cpu = ProcessCpuSeconds() - cpu0;
    const char* variant = withOutlets ? (diagnose ? "outlets, Diagnose open" : "outlets") : diagnose ? "Diagnose open" : "plain";
    std::printf("%-24s %8.1f ms CPU over %.1f s = %.4f %% of one core, %d passes, %lld frames\n", variant, cpu * 1000,
                seconds, 100 * cpu / seconds, window.pollCycle().passCount() - passes0,
                static_cast<long long>(station.frames.lastSequence()));
    std::printf("%-24s pass (ms): %s\n", "", Spread(passMs).c_str());
    if (withOutlets) std::printf("%-24s after the pass, outlets (ms): %s\n", "", Spread(afterPassMs).c_str());
    std::fflush(stdout);
    window.Shutdown();
    if (outlets) outlets->StopPublisher();
    QApplication::quit();
  });
  return QApplication::exec();
}
