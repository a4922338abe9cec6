// The measurement window polling four instruments once a second, as the
// application runs it, with or without the Diagnose window open; prints the
// process's CPU time over a steady window. bench/live/measure-poll runs two
// of these side by side, each against its own simulator, and reports the
// ratio.
//
//   bench_window_cpu --folder DIR --device PATH [--diagnose] [--seconds S]
//
// DIR holds "config.txt" and "PortCom.dat"; PATH stands in for the port.
#include <sys/resource.h>

#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "comm/qt_serial_line.h"
#include "core/channel_table.h"
#include "core/serial_settings.h"
#include "live/measurement_window.h"
#include "ui/diagnose_window.h"

namespace {

class SilentPrompter : public trelvan::Prompter {
 public:
  using Prompter::ask;
  using Prompter::tell;
  void tell(trelvan::PromptIcon, const std::string& text, const std::string&) override {
    std::fprintf(stderr, "%s\n", text.c_str());
  }
  bool ask(trelvan::PromptIcon, const std::string&, const std::string&, trelvan::PromptDefault) override { return false; }
  void beep() override {}
};

double ProcessCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

} // namespace

int main(int argc, char** argv) {
  std::string folder = ".", device;
  bool diagnose = false;
  double seconds = 30;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--diagnose") == 0) diagnose = true;
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
  window.Load();
  window.showMaximized();
  window.StartPolling(1000);
  std::unique_ptr<trelvan::DiagnoseWindow> diagnoseWindow;
  if (diagnose) {
    diagnoseWindow = std::make_unique<trelvan::DiagnoseWindow>(station, prompter);
    diagnoseWindow->show();
  }

  // Past start-up and the first passes, then the steady window.
  double cpu0 = 0;
  int passes0 = 0;
  QTimer::singleShot(2000, [&] {
    cpu0 = ProcessCpuSeconds();
    passes0 = window.pollCycle().passCount();
  });
  QTimer::singleShot(2000 + static_cast<int>(seconds * 1000), [&] {
    const double cpu = ProcessCpuSeconds() - cpu0;
    std::printf("%s: %.1f ms CPU over %.1f s = %.4f %% of one core, %d passes, %lld frames recorded\n",
                diagnose ? "Diagnose open  " : "Diagnose closed", cpu * 1000, seconds, 100 * cpu / seconds,
                window.pollCycle().passCount() - passes0,
                static_cast<long long>(station.frames.lastSequence()));
    std::fflush(stdout);
    window.Shutdown();
    QApplication::quit();
  });
  return QApplication::exec();
}
