// trelvan-cli sim: the station simulator on a pseudo-terminal.
#include <QTextStream>
#include <csignal>
#include <cstdio>
#include <unistd.h>

#include "commands.h"
#include "sim/simulator.h"

namespace trelvan::cli {

namespace {

volatile std::sig_atomic_t gStopDescriptor = -1;

void OnSimStopSignal(int) {
  const int fd = gStopDescriptor;
  if (fd >= 0) {
    const char byte = 1;
    [[maybe_unused]] const auto n = ::write(fd, &byte, 1);
  }
}

} // namespace

int RunSim(const QStringList& args) {
  QTextStream err(stderr);
  std::vector<std::string> arguments;
  for (const QString& a : args) arguments.push_back(a.toStdString());

  std::string error;
  auto options = sim::ParseSimArguments(arguments, &error);
  if (!options) {
    err << "trelvan-cli sim: " << QString::fromStdString(error) << "\n";
    return 2;
  }
  if (options->help) {
    QTextStream(stdout) << QString::fromStdString(sim::SimHelpText());
    return 0;
  }
  if (!sim::LoadInstruments(*options, &error)) {
    err << "trelvan-cli sim: " << QString::fromStdString(error) << "\n";
    return 2;
  }

  sim::Simulator simulator(options->config);
  if (!simulator.Open(&error)) {
    err << "trelvan-cli sim: " << QString::fromStdString(error) << "\n";
    return 1;
  }

  gStopDescriptor = simulator.StopDescriptor();
  struct sigaction action {};
  action.sa_handler = OnSimStopSignal;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);

  // The device path is the first line, so that a script can read it and go;
  // with --link it is the link, which outlives an unplug.
  const std::string& linkPath = options->config.linkPath;
  std::printf("%s\n", linkPath.empty() ? simulator.DevicePath().c_str() : linkPath.c_str());
  std::fflush(stdout);
  if (!linkPath.empty()) {
    err << QString::fromStdString(linkPath) << " -> " << QString::fromStdString(simulator.DevicePath()) << "\n";
  }
  for (const sim::SimInstrument& i : options->config.instruments) {
    err << "Station " << i.station << ", Register ab " << i.registerBase << ": Typ " << i.typeIndex << "\n";
  }
  err.flush();

  simulator.Run();
  gStopDescriptor = -1;
  return 0;
}

} // namespace trelvan::cli
