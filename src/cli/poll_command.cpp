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
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <memory>
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
#include "core/decimal_separator.h"
#include "core/reading_json.h"
#include "core/serial_settings.h"
#include "core/system_error.h"
#include "live/poll_cycle.h"
#include "live/station.h"
#include "live/user_locale.h"

namespace trelvan::cli {

namespace {

constexpr const char* kUsage =
    "trelvan-cli poll [--passes N] [--interval MS] [--json] [--device PATH] [--decimal SEP] [--reply-ms N]\n";

constexpr const char* kHelp =
    "  Fragt die eingeschalteten Kanäle aus \"config.txt\" über die Leitung aus\n"
    "  \"PortCom.dat\" ab (beide im aktuellen Ordner). --device ersetzt das Gerät\n"
    "  des Ports. --reply-ms setzt die Antwortfrist je Anfrage (100..10000 ms,\n"
    "  Vorgabe 2000). Ohne --passes läuft es bis SIGINT oder SIGTERM; eine dabei\n"
    "  unterbrochene Anfrage gibt nichts aus. Geht das Gerät verloren, meldet es\n"
    "  das einmal und öffnet die Leitung bei jedem Durchlauf neu, bis das Gerät\n"
    "  wieder da ist.\n"
    "\n"
    "  Rückgabewerte: 0 Durchläufe beendet oder unterbrochen, 1 Laufzeitfehler\n"
    "  (Leitung lässt sich nicht öffnen, Ausgabe lässt sich nicht schreiben),\n"
    "  2 falscher Aufruf.\n";

struct PollOptions {
  std::optional<long long> passes; // none: until SIGINT or SIGTERM
  int intervalMs = 1000;
  bool json = false;
  std::optional<QString> device;
  std::optional<std::string> decimal;
  int replyMs = kDefaultTimeOutMs;
};

std::string OneLine(std::string text) {
  for (std::size_t p; (p = text.find("\r\n")) != std::string::npos;) text.replace(p, 2, " | ");
  return text;
}

// The options, or nothing after a message on `err` (wrong use).
std::optional<PollOptions> ParseArgs(const QStringList& args, QTextStream& err) {
  PollOptions o;
  auto refuse = [&](const QString& message) -> std::optional<PollOptions> {
    err << "trelvan-cli poll: " << message << "\n" << kUsage;
    return std::nullopt;
  };
  for (int i = 0; i < args.size(); ++i) {
    const QString& a = args[i];
    if (a == "--json") {
      o.json = true;
      continue;
    }
    if (a == "--help" || a == "-h") {
      QTextStream(stdout) << kUsage << kHelp;
      std::exit(0);
    }
    if (a != "--passes" && a != "--interval" && a != "--device" && a != "--decimal" && a != "--reply-ms")
      return refuse("unbekannte Option " + a);
    if (i + 1 >= args.size()) return refuse(a + " braucht einen Wert");
    const QString value = args[++i];
    bool ok = true;
    if (a == "--passes") {
      o.passes = value.toLongLong(&ok);
      if (!ok || *o.passes < 1) return refuse("--passes erwartet eine Zahl ab 1");
    } else if (a == "--interval") {
      o.intervalMs = value.toInt(&ok);
      if (!ok || o.intervalMs < 0) return refuse("--interval erwartet Millisekunden ab 0");
    } else if (a == "--reply-ms") {
      o.replyMs = value.toInt(&ok);
      if (!ok || o.replyMs < 100 || o.replyMs > 10'000) return refuse("--reply-ms erwartet Millisekunden von 100 bis 10000");
    } else if (a == "--device") {
      if (value.isEmpty()) return refuse("--device braucht einen Gerätepfad");
      o.device = value;
    } else {
      if (const auto problem = DecimalSeparatorProblem(value.toStdString()))
        return refuse("--decimal: " + QString::fromStdString(*problem));
      o.decimal = value.toStdString();
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

// One run of the poller: the station, its line, the passes and the output.
class Poller {
 public:
  explicit Poller(const PollOptions& options)
      : options_(options), requests_(line_, station_.sharedResults),
        cycle_(station_, requests_, [this](int channel, const std::string& text, bool ok) { Print(channel, text, ok); }) {
    station_.port = &line_;
    requests_.SetWaitTimes({options.replyMs, options.replyMs});
  }

  int Run() {
    LoadStation();
    if (!OpenLine()) return 1;
    WatchTheLine();
    WatchStopSignals();
    QObject::connect(&timer_, &QTimer::timeout, [this] { RunPass(); });
    timer_.setSingleShot(true);
    // The first pass runs at once, the next ones every interval.
    QTimer::singleShot(0, [this] { RunPass(); });
    const int rc = QCoreApplication::exec();
    timer_.stop();
    ClosePort(line_);
    return rc;
  }

 private:
  void LoadStation() {
    station_.folder = QDir::currentPath().toStdString();
    station_.decimalSeparator = options_.decimal ? *options_.decimal : UserDecimalSeparator();
    for (const ConfigStatus& status : {LoadChannelTable(station_.channelTable, station_.folder),
                                       LoadSerialSettings(station_.serialSettings, station_.folder)})
      if (!status.ok()) std::fprintf(stderr, "%s\n", status.message.c_str());
  }

  bool OpenLine() {
    // The device stands in for the configured port.
    if (options_.device) {
      qputenv(QStringLiteral("TRELVAN_COM%1").arg(station_.serialSettings.portNumber).toLatin1(),
              options_.device->toLocal8Bit());
    }
    const PortResult opened = OpenPort(line_, station_.serialSettings);
    if (!opened.ok) std::fprintf(stderr, "%s\n", opened.message.toStdString().c_str());
    return opened.ok;
  }

  // A lost device is reported once; every pass then tries to reopen the line
  // quietly, and says so when the device is back.
  void WatchTheLine() {
    QObject::connect(&line_, &SerialPort::lineLost, [this](const QString& reason) {
      if (lineLost_) return;
      lineLost_ = true;
      std::fprintf(stderr, "%s\n", reason.toStdString().c_str());
    });
  }

  void ReopenIfLost() {
    if (!lineLost_ && line_.IsOpen()) return;
    const PortResult reopened = OpenPort(line_, station_.serialSettings);
    if (reopened.ok && lineLost_) {
      lineLost_ = false;
      std::fprintf(stderr, "Leitung %s wieder geöffnet\n", line_.DeviceName().toStdString().c_str());
    }
  }

  // Each pass is scheduled from the start of the one before, never while one
  // runs: a repeating timer would keep firing inside the reply wait's event
  // loop, and with --interval 0 turn every wait for an instrument into a spin.
  void RunPass() {
    if (station_.PollBusy || station_.StopRequested) return;
    sinceStart_.start();
    ReopenIfLost();
    ++pass_;
    cycle_.RunPass();
    if (station_.StopRequested) return;
    if (options_.passes && pass_ >= *options_.passes) return End(0);
    timer_.start(static_cast<int>(std::max<qint64>(0, options_.intervalMs - sinceStart_.elapsed())));
  }

  void Print(int channel, const std::string& text, bool ok) {
    std::string line;
    if (options_.json) {
      line = "{\"pass\":" + std::to_string(pass_) + ",\"channel\":" + std::to_string(channel) +
             ",\"ok\":" + (ok ? "true" : "false") + ",\"text\":" + JsonString(text) + "}\n";
    } else {
      line = "Kanal " + std::to_string(channel) + ": " + OneLine(text) + "\n";
    }
    errno = 0;
    if (std::fwrite(line.data(), 1, line.size(), stdout) == line.size() && std::fflush(stdout) == 0) return;
    // Nobody reads the output any more (a closed pipe): polling on would be
    // for nothing.
    std::fprintf(stderr, "trelvan-cli poll: Die Ausgabe lässt sich nicht schreiben: %s\n",
                 SystemErrorText(errno).c_str());
    End(1);
  }

  // Ends the run: the pass under way stops after its channel, a wait under
  // way at once, and its request shows nothing.
  void End(int exitCode) {
    station_.StopRequested = true;
    line_.InterruptWaits();
    QCoreApplication::exit(exitCode);
  }

  void WatchStopSignals() {
#ifdef Q_OS_UNIX
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0) return;
    signalNotifier_ = std::make_unique<QSocketNotifier>(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(signalNotifier_.get(), &QSocketNotifier::activated, [this] {
      char c;
      [[maybe_unused]] auto n = ::read(g_signalPipe[0], &c, 1);
      End(0); // an interrupt is the normal way to end an endless poll
    });
    std::signal(SIGINT, OnStopSignal);
    std::signal(SIGTERM, OnStopSignal);
#endif
  }

  const PollOptions& options_;
  Station station_;
  QtSerialLine line_;
  MeasurementRequests requests_;
  PollCycle cycle_;
  QTimer timer_;
  QElapsedTimer sinceStart_;
  long long pass_ = 0;
  bool lineLost_ = false;
  std::unique_ptr<QSocketNotifier> signalNotifier_;
};

} // namespace

int RunPoll(const QStringList& args) {
  QTextStream err(stderr);
  const auto options = ParseArgs(args, err);
  if (!options) return 2;
  Poller poller(*options);
  return poller.Run();
}

} // namespace trelvan::cli
