// trelvan-cli poll: the live measurement without a window. Loads "config.txt"
// and "PortCom.dat" from the current folder, opens the line and runs poll
// passes, printing each polled channel's label text.

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <optional>
#include <string>

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#include <unistd.h>
#endif

#include "commands.h"
#include "comm/measurement_requests.h"
#include "comm/qt_serial_line.h"
#include "comm/serial_line.h"
#include "core/channel_table.h"
#include "core/serial_settings.h"
#include "live/poll_cycle.h"
#include "live/station.h"
#include "live/user_locale.h"

namespace trelvan::cli {

namespace {

struct PollOptions {
  std::optional<long long> passes; // none: until SIGINT or SIGTERM
  int intervalMs = 1000;
  bool json = false;
  QString device;
  std::optional<std::string> decimal;
};

std::string JsonEscape(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    switch (c) {
    case '"': out += "\\\""; break;
    case '\\': out += "\\\\"; break;
    case '\r': out += "\\r"; break;
    case '\n': out += "\\n"; break;
    case '\t': out += "\\t"; break;
    default:
      if (c < 0x20) {
        char buf[8];
        std::snprintf(buf, sizeof buf, "\\u%04x", c);
        out += buf;
      } else {
        out += static_cast<char>(c);
      }
    }
  }
  return out;
}

std::string OneLine(std::string text) {
  for (std::size_t p; (p = text.find("\r\n")) != std::string::npos;) text.replace(p, 2, " | ");
  return text;
}

std::optional<PollOptions> ParseArgs(const QStringList& args, QTextStream& err) {
  PollOptions o;
  for (int i = 0; i < args.size(); ++i) {
    const QString& a = args[i];
    auto value = [&]() -> std::optional<QString> {
      if (i + 1 >= args.size()) {
        err << "trelvan-cli poll: " << a << " braucht einen Wert\n";
        return std::nullopt;
      }
      return args[++i];
    };
    bool ok = true;
    if (a == "--passes") {
      auto v = value();
      if (!v) return std::nullopt;
      o.passes = v->toLongLong(&ok);
      if (!ok || *o.passes < 1) {
        err << "trelvan-cli poll: --passes erwartet eine Zahl ab 1\n";
        return std::nullopt;
      }
    } else if (a == "--interval") {
      auto v = value();
      if (!v) return std::nullopt;
      o.intervalMs = v->toInt(&ok);
      if (!ok || o.intervalMs < 0) {
        err << "trelvan-cli poll: --interval erwartet Millisekunden ab 0\n";
        return std::nullopt;
      }
    } else if (a == "--json") {
      o.json = true;
    } else if (a == "--device") {
      auto v = value();
      if (!v) return std::nullopt;
      o.device = *v;
    } else if (a == "--decimal") {
      auto v = value();
      if (!v) return std::nullopt;
      o.decimal = v->toStdString();
    } else if (a == "--help" || a == "-h") {
      QTextStream(stdout)
          << "trelvan-cli poll [--passes N] [--interval MS] [--json] [--device PATH] [--decimal SEP]\n"
             "  Fragt die eingeschalteten Kanäle aus \"config.txt\" über die Leitung aus\n"
             "  \"PortCom.dat\" ab (beide im aktuellen Ordner). --device ersetzt das Gerät\n"
             "  des Ports. Ohne --passes läuft es bis SIGINT oder SIGTERM. Geht das Gerät\n"
             "  verloren, meldet es das einmal und öffnet die Leitung bei jedem Durchlauf\n"
             "  neu, bis das Gerät wieder da ist.\n";
      std::exit(0);
    } else {
      err << "trelvan-cli poll: unbekannte Option " << a << "\n";
      return std::nullopt;
    }
  }
  return o;
}

#ifdef Q_OS_UNIX
int g_signalPipe[2] = {-1, -1};
extern "C" void OnStopSignal(int) {
  const char c = 1;
  [[maybe_unused]] auto n = ::write(g_signalPipe[1], &c, 1);
}
#endif

} // namespace

int RunPoll(const QStringList& args) {
  QTextStream err(stderr);
  const auto options = ParseArgs(args, err);
  if (!options) return 2;

  Station station;
  station.folder = QDir::currentPath().toStdString();
  station.decimalSeparator = options->decimal ? *options->decimal : UserDecimalSeparator();
  for (const ConfigStatus& status : {LoadChannelTable(station.channelTable, station.folder),
                                     LoadSerialSettings(station.serialSettings, station.folder)})
    if (!status.ok()) err << QString::fromStdString(status.message) << "\n";
  err.flush();

  if (!options->device.isEmpty()) {
    // The device stands in for the configured port.
    qputenv(QStringLiteral("TRELVAN_COM%1").arg(station.serialSettings.portNumber).toLatin1(),
            options->device.toLocal8Bit());
  }
  QtSerialLine line;
  station.port = &line;
  const PortResult opened = OpenPort(line, station.serialSettings);
  if (!opened.ok) {
    err << opened.message << "\n";
    return 1;
  }

  MeasurementRequests requests(line, station.sharedResults);
  QTextStream out(stdout);
  long long pass = 0;
  PollCycle cycle(
      station,
      [&](RequestMember member, double address, double base) {
        return requests.Request(member, address, base);
      },
      [&](int channel, const std::string& text, bool ok) {
        if (options->json) {
          out << "{\"pass\":" << pass << ",\"channel\":" << channel << ",\"ok\":"
              << (ok ? "true" : "false") << ",\"text\":\""
              << QString::fromStdString(JsonEscape(text)) << "\"}\n";
        } else {
          out << "Kanal " << channel << ": " << QString::fromStdString(OneLine(text)) << "\n";
        }
        out.flush();
      });

  // A lost device is reported once; every pass then tries to reopen the line
  // quietly, and says so when the device is back.
  bool lineLost = false;
  QObject::connect(&line, &SerialPort::lineLost, [&](const QString& reason) {
    if (lineLost) return;
    lineLost = true;
    err << reason << "\n";
    err.flush();
  });

  // Each pass is scheduled from the start of the one before, never while one
  // runs: a repeating timer would keep firing inside the reply wait's event
  // loop, and with --interval 0 turn every wait for an instrument into a spin.
  QTimer timer;
  timer.setSingleShot(true);
  QElapsedTimer sinceStart;
  auto runPass = [&] {
    if (station.PollBusy) return;
    sinceStart.start();
    if (lineLost || !line.IsOpen()) {
      const PortResult reopened = OpenPort(line, station.serialSettings);
      if (reopened.ok && lineLost) {
        lineLost = false;
        err << "Leitung " << line.DeviceName() << " wieder geöffnet\n";
        err.flush();
      }
    }
    ++pass;
    cycle.RunPass();
    if (station.StopRequested) return;
    if (options->passes && pass >= *options->passes) {
      QCoreApplication::exit(0);
      return;
    }
    timer.start(static_cast<int>(std::max<qint64>(0, options->intervalMs - sinceStart.elapsed())));
  };
  QObject::connect(&timer, &QTimer::timeout, runPass);

#ifdef Q_OS_UNIX
  std::unique_ptr<QSocketNotifier> notifier;
  if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) == 0) {
    notifier = std::make_unique<QSocketNotifier>(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, [&] {
      char c;
      [[maybe_unused]] auto n = ::read(g_signalPipe[0], &c, 1);
      station.StopRequested = true; // a running pass ends after its channel
      QCoreApplication::exit(0);
    });
    std::signal(SIGINT, OnStopSignal);
    std::signal(SIGTERM, OnStopSignal);
  }
#endif

  // The first pass runs at once, the next ones every interval.
  QTimer::singleShot(0, runPass);
  const int rc = QCoreApplication::exec();
  timer.stop();
  ClosePort(line);
  return rc;
}

} // namespace trelvan::cli
