// Back-to-back exchanges with the station simulator over a pseudo-terminal:
// our master (QtSerialLine, AwaitReply, a measurement request) beside
// libmodbus's own master (modbus_read_registers) on the same simulator, in
// alternating blocks, with the wall time and the CPU time of this thread per
// exchange. Then the CPU cost of one 2000 ms wait for a silent station.
//
//   bench_comm [--exchanges N] [--rounds R]
//
// Run QT_NO_GLIB=1 bench_comm to compare with Qt's own event dispatcher.

#include <modbus.h>
#include <time.h>

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "comm/measurement_requests.h"
#include "comm/qt_serial_line.h"
#include "sim/simulator.h"

namespace {

using trelvan::RequestMember;

double ThreadCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

double WallSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

struct Samples {
  std::vector<double> wall, cpu;
  int failures = 0;
  void Add(double w, double c) {
    wall.push_back(w);
    cpu.push_back(c);
  }
};

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
  return v[v.size() / 2];
}

double Mean(const std::vector<double>& v) {
  double sum = 0;
  for (double x : v) sum += x;
  return v.empty() ? 0 : sum / static_cast<double>(v.size());
}

template <typename Exchange>
void Measure(Samples& samples, int count, Exchange exchange) {
  for (int i = 0; i < count; ++i) {
    const double w0 = WallSeconds(), c0 = ThreadCpuSeconds();
    const bool ok = exchange();
    const double c1 = ThreadCpuSeconds(), w1 = WallSeconds();
    if (ok) samples.Add(w1 - w0, c1 - c0);
    else ++samples.failures;
  }
}

void Print(const char* name, const Samples& s) {
  std::printf("%-22s %8.1f us %8.1f us   %8.1f us %8.1f us   %zu ok, %d failed\n", name, Median(s.wall) * 1e6,
              Median(s.cpu) * 1e6, Mean(s.wall) * 1e6, Mean(s.cpu) * 1e6, s.wall.size(), s.failures);
}

} // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  int exchanges = 1000, rounds = 5;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--exchanges") == 0) exchanges = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--rounds") == 0) rounds = std::atoi(argv[i + 1]);
  }

  trelvan::sim::SimConfig config;
  trelvan::sim::SimInstrument ph;
  ph.station = 3;
  ph.typeIndex = 2;
  ph.member = RequestMember::Ph;
  config.instruments.push_back(ph);
  trelvan::sim::Simulator simulator(config);
  std::string error;
  if (!simulator.Open(&error)) {
    std::fprintf(stderr, "no pseudo-terminal: %s\n", error.c_str());
    return 1;
  }
  std::thread serving([&] { simulator.Run(); });
  const QString device = QString::fromStdString(simulator.DevicePath());

  trelvan::QtSerialLine line;
  line.SelectDevice(device);
  QString qtError;
  line.Configure(trelvan::LineSettings{}, &qtError);
  trelvan::SharedResults results;
  trelvan::MeasurementRequests requests(line, results);

  modbus_t* ctx = modbus_new_rtu(simulator.DevicePath().c_str(), 9600, 'N', 8, 1);
  modbus_set_slave(ctx, 3);
  modbus_set_response_timeout(ctx, 2, 0);

  Samples ours, theirs;
  for (int round = 0; round < rounds; ++round) {
    if (!line.Open(&qtError)) {
      std::fprintf(stderr, "%s\n", qtError.toStdString().c_str());
      return 1;
    }
    Samples warmUp;
    Measure(warmUp, 50, [&] { return requests.RequestPh(3, 0).ok(); });
    Measure(ours, exchanges, [&] { return requests.RequestPh(3, 0).ok(); });
    line.Close();

    if (modbus_connect(ctx) != 0) {
      std::fprintf(stderr, "modbus_connect: %s\n", modbus_strerror(errno));
      return 1;
    }
    std::uint16_t registers[8];
    Measure(warmUp, 50, [&] { return modbus_read_registers(ctx, 0, 8, registers) == 8; });
    Measure(theirs, exchanges, [&] { return modbus_read_registers(ctx, 0, 8, registers) == 8; });
    modbus_close(ctx);
  }
  modbus_free(ctx);

  std::printf("event dispatcher: %s; %d rounds x %d exchanges each, alternating\n",
              QAbstractEventDispatcher::instance()->metaObject()->className(), rounds, exchanges);
  std::printf("%-22s %11s %11s   %11s %11s\n", "per exchange", "median wall", "median CPU", "mean wall", "mean CPU");
  Print("ours (QtSerialLine)", ours);
  Print("libmodbus master", theirs);
  std::printf("ratio ours/libmodbus: time %.2f, CPU %.2f (medians)\n", Median(ours.wall) / Median(theirs.wall),
              Median(ours.cpu) / Median(theirs.cpu));

  // A station that does not answer: the full 2000 ms reply wait.
  line.Open(&qtError);
  const double w0 = WallSeconds(), c0 = ThreadCpuSeconds();
  const bool answered = requests.RequestPh(9, 0).ok();
  const double c1 = ThreadCpuSeconds(), w1 = WallSeconds();
  line.Close();
  std::printf("silent station: %s after %.3f s, CPU %.4f s\n", answered ? "answered?!" : "failed", w1 - w0, c1 - c0);

  simulator.Stop();
  serving.join();
  return 0;
}
