// trelvan-cli poll: the live measurement without a window. Loads "config.txt"
// and "PortCom.dat" from the working folder, opens the line and runs poll
// passes, printing each polled channel's label text or, with --json, its
// Reading as one line of JSON. Every reading goes through the same outlets as
// in the measurement window: the limits of "trelvan.ini", the record
// (--record) and the broker (--mqtt).

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "arguments.h"
#include "commands.h"
#include "live/stop_signals.h"
#include "comm/measurement_requests.h"
#include "comm/qt_serial_line.h"
#include "comm/reply_time_setting.h"
#include "comm/serial_line.h"
#include "core/catalogue.h"
#include "core/channel_table.h"
#include "core/decimal_separator.h"
#include "core/reading_json.h"
#include "core/serial_settings.h"
#include "core/system_error.h"
#include "live/limit_settings.h"
#include "live/poll_cycle.h"
#include "live/reading_outlets.h"
#include "live/station.h"
#include "live/user_locale.h"
#include "publish/mqtt_publisher.h"
#include "publish/mqtt_settings.h"
#include "record/recorder.h"

namespace trelvan::cli {

namespace {

constexpr int kExitNoAnswer = 3;

constexpr const char* kSummary =
    "Fragt die eingeschalteten Kanäle aus \"config.txt\" über die Leitung aus \"PortCom.dat\" ab\n"
    "und gibt je Kanal und Durchlauf den Text der Messanzeige aus. Ohne --passes läuft es bis\n"
    "SIGINT oder SIGTERM; eine dabei unterbrochene Anfrage gibt nichts aus. Geht das Gerät\n"
    "verloren, meldet es das einmal und öffnet die Leitung bei jedem Durchlauf neu, bis das\n"
    "Gerät wieder da ist. Die Grenzwerte aus \"trelvan.ini\" ([Limits]) gelten wie im Fenster:\n"
    "Ein Wert außerhalb trägt \"alarm\", Auslösen und Aufheben stehen auf stderr, in der\n"
    "Aufzeichnung und beim Broker. Hält ein anderes Programm die Leitung, sagt es welches.";

constexpr const char* kJsonFields =
    "  pass, channel  Durchlauf (ab 1) und Kanal (0..3)\n"
    "  ok, text       ob die Anfrage gelang; der Text der Messanzeige\n"
    "  time           Zeit der Ablesung, ISO 8601 mit Millisekunden und Zeitzone\n"
    "  station, block Stationsadresse; \"master\" (Register ab 0) oder \"ext\" (ab 20)\n"
    "  type, marker   Messtyp (Listenname) und Kennzeichnung des Kanals\n"
    "  error, reason  nur bei einem Fehler: timeout, held-back, crc, station, function,\n"
    "                 byte-count, exception, not-open, line-lost oder address; der Grund\n"
    "  exception_code nur bei einer Ausnahme-Antwort: ihr Code\n"
    "  values         die Zahlen der Anzeige mit Einheit: main, temperature, second,\n"
    "                 day_volume, total_volume, je nach Typ ({} bei einem Fehler)\n"
    "  alarm          nur außerhalb der Grenzwerte: \"low\" oder \"high\"";

constexpr const char* kTopics =
    "  trelvan/NAME/kanal/N  jede Ablesung als JSON wie --json, QoS 1, gehalten (retained)\n"
    "  trelvan/NAME/alarm    Auslösen und Aufheben eines Grenzwerts, QoS 1\n"
    "  trelvan/NAME/status   \"online\"; \"offline\" beim Ende (SIGINT, SIGTERM, Durchläufe\n"
    "                        fertig), sonst als letzter Wille nach dem Keep-Alive\n"
    "  Ist der Broker nicht erreichbar, warten bis zu 10000 Meldungen (die ältesten gehen\n"
    "  zuerst); kein Durchlauf wartet auf den Broker.";

constexpr const char* kEnvironment =
    "  TRELVAN_COM1..TRELVAN_COM4  das Gerät von \"Com k\" (statt \"trelvan.ini\" und /dev/ttyS(k-1))\n"
    "  TRELVAN_MQTT_USER, TRELVAN_MQTT_PASSWORD\n"
    "                              Benutzer und Passwort beim Broker, ohne --mqtt-credentials";

constexpr const char* kExitStatuses =
    "  0  die Durchläufe liefen (oder ein Interrupt beendete sie) und mindestens ein Wert\n"
    "     kam an, oder der Interrupt kam vor dem Ende des ersten Durchlaufs\n"
    "  1  Laufzeitfehler: Konfiguration unbrauchbar, keine Messung konfiguriert, Leitung\n"
    "     lässt sich nicht öffnen (auch: ein anderes Programm hält sie), Ausgabe lässt sich\n"
    "     nicht schreiben\n"
    "  2  falscher Aufruf\n"
    "  3  mindestens ein Durchlauf lief ganz, und kein Kanal antwortete je\n"
    "  Der Broker ändert den Rückgabewert nie.";

struct PollOptions {
  std::optional<long long> passes; // none: until SIGINT or SIGTERM
  int intervalMs = 1000;
  bool json = false;
  bool frames = false;
  std::optional<QString> device;
  std::optional<std::string> decimal;
  std::optional<int> replyMs; // none: from "trelvan.ini"
  std::optional<std::filesystem::path> record;
  MqttOptions mqtt; // enabled by --mqtt
};

void Describe(Arguments& a) {
  a.Option({"passes"}, "Nach N Durchläufen aufhören (ab 1); sonst bis SIGINT oder SIGTERM.", "N")
      .Option({"interval"}, "Abstand vom Beginn eines Durchlaufs zum nächsten (Vorgabe 1000).", "MS")
      .Option({"json"}, "Je Kanal und Durchlauf eine Zeile JSON (Felder unten).")
      .Option({"frames"}, "Jede Anfrage und Antwort hexadezimal auf stderr, wie der Frame-Monitor.")
      .Option({"device"}, "Dieses Gerät statt des Ports aus \"PortCom.dat\".", "PATH")
      .Option({"decimal"}, "Dezimaltrennzeichen der Werte (Vorgabe: Ländereinstellung).", "SEP")
      .Option({"reply-ms"},
              "Antwortfrist je Anfrage, 100 bis 10000 ms (Vorgabe: [Line] reply_ms aus\n"
              "\"trelvan.ini\", sonst 2000).",
              "N")
      .Option({"record"},
              "Jede Ablesung in die SQLite-Datei FILE aufzeichnen, ein Durchlauf je Transaktion\n"
              "(wird angelegt; wie \"Messwerte.sqlite\" des Fensters).",
              "FILE");
  for (const MqttCommandOption& o : MqttCommandOptions()) a.Option({o.name}, o.description, o.valueName);
  a.Section("JSON-Felder (--json)", kJsonFields)
      .Section("MQTT-Themen (--mqtt, NAME aus --site)", kTopics)
      .Section("Umgebung", kEnvironment)
      .Section("Rückgabewerte", kExitStatuses);
}

// The options, or nothing after a message (wrong use).
std::optional<PollOptions> ReadOptions(const Arguments& a) {
  PollOptions o;
  o.json = a.IsSet("json");
  o.frames = a.IsSet("frames");
  const auto passes = a.Number("passes", 1, 1'000'000'000'000, 0);
  const auto interval = a.Number("interval", 0, 86'400'000, 1000);
  const auto replyMs = a.Number("reply-ms", kMinReplyMs, kMaxReplyMs, 0);
  if (!passes || !interval || !replyMs) return std::nullopt;
  if (a.IsSet("passes")) o.passes = *passes;
  o.intervalMs = static_cast<int>(*interval);
  if (a.IsSet("reply-ms")) o.replyMs = static_cast<int>(*replyMs);
  for (const char* path : {"device", "record"}) {
    if (a.IsSet(path) && a.Value(path).isEmpty()) {
      a.Refuse(QStringLiteral("--%1 braucht einen Pfad").arg(path));
      return std::nullopt;
    }
  }
  if (a.IsSet("device")) o.device = a.Value("device");
  if (a.IsSet("record")) o.record = std::filesystem::path(a.Value("record").toStdString());
  if (a.IsSet("decimal")) {
    if (const auto problem = DecimalSeparatorProblem(a.Value("decimal").toStdString())) {
      a.Refuse("--decimal: " + QString::fromStdString(*problem));
      return std::nullopt;
    }
    o.decimal = a.Value("decimal").toStdString();
  }

  // The MQTT options as their own parser reads them.
  QStringList given;
  for (const MqttCommandOption& m : MqttCommandOptions()) {
    if (!a.IsSet(m.name)) continue;
    if (m.name != "mqtt" && !a.IsSet("mqtt")) {
      a.Refuse(QStringLiteral("--%1 gilt nur mit --mqtt URL").arg(m.name));
      return std::nullopt;
    }
    given << "--" + m.name;
    if (!m.valueName.isEmpty()) given << a.Value(m.name);
  }
  for (int i = 0; i < given.size(); ++i) {
    QString problem;
    TakeMqttOption(given, i, o.mqtt, problem);
    if (!problem.isEmpty()) {
      a.Refuse(problem);
      return std::nullopt;
    }
  }
  if (o.mqtt.enabled) {
    const std::vector<std::string> problems = MqttOptionProblems(o.mqtt);
    if (!problems.empty()) {
      a.Refuse(QString::fromStdString(problems.front()));
      return std::nullopt;
    }
  }
  return o;
}

void Tell(const std::string& message) { std::fprintf(stderr, "%s\n", message.c_str()); }

std::string OneLine(std::string text) {
  for (std::size_t p; (p = text.find("\r\n")) != std::string::npos;) text.replace(p, 2, " | ");
  return text;
}

// One run of the poller: the station, its line, the passes, the outlets and
// the output.
class Poller {
 public:
  explicit Poller(const PollOptions& options)
      : options_(options), requests_(line_, station_.sharedResults),
        cycle_(station_, requests_, [this](const Reading& reading) { Take(reading); }) {
    station_.port = &line_;
    station_.frames.SetCapacity(0); // --frames prints them; nothing shows a ring
  }

  int Run() {
    if (!LoadStation()) return kExitFailed;
    SetReplyTimeOut();
    SetUpLimits();
    std::optional<MqttConfig> mqtt;
    if (options_.mqtt.enabled) {
      MqttConfigResult resolved = ResolveMqttConfig(options_.mqtt);
      for (const std::string& problem : resolved.problems) Tell("trelvan-cli poll: " + problem);
      if (!resolved.problems.empty()) return kExitFailed;
      mqtt = std::move(resolved.config);
    }
    if (options_.frames) {
      station_.frames.SetObserver([](const FrameRecord& record) {
        std::fprintf(stderr, "%s\n", FrameLine(record).c_str());
      });
    }
    if (!OpenLine()) return kExitFailed;
    if (options_.record) {
      recorder_ = std::make_unique<Recorder>(RecorderOptions{.file = *options_.record});
      outlets_.setRecorder(recorder_.get());
    }
    if (mqtt) {
      publisher_ = std::make_unique<MqttPublisher>(std::move(*mqtt));
      outlets_.setPublisher(publisher_.get());
    }
    WatchTheLine();
    // An interrupt is the normal way to end an endless poll.
    StopOnSignals(&timer_, [this] { End(Status()); });
    QObject::connect(&timer_, &QTimer::timeout, [this] { RunPass(); });
    timer_.setSingleShot(true);
    // The first pass runs at once, the next ones every interval.
    QTimer::singleShot(0, [this] { RunPass(); });
    const int status = QCoreApplication::exec();
    Finish();
    return status;
  }

 private:
  // False when there is nothing to poll.
  bool LoadStation() {
    station_.folder = QDir::currentPath().toStdString();
    station_.decimalSeparator = options_.decimal ? *options_.decimal : UserDecimalSeparator();
    for (const ConfigStatus& status : {LoadChannelTable(station_.channelTable, station_.folder),
                                       LoadSerialSettings(station_.serialSettings, station_.folder)})
      if (!status.ok()) Tell(status.message);
    for (int i = 0; i < kChannelCount; ++i)
      if (station_.channelTable[i].isEnabled() && MeasurementTypeAt(station_.channelTable[i].typeIndex)) return true;
    Tell("trelvan-cli poll: Keine Messung konfiguriert: kein eingeschalteter Kanal mit Messtyp in \"config.txt\"");
    return false;
  }

  void SetReplyTimeOut() {
    std::string problem;
    const int replyMs = options_.replyMs ? *options_.replyMs : ConfiguredReplyMs(station_.folder, &problem);
    if (!problem.empty()) Tell(problem);
    requests_.SetWaitTimes({replyMs, replyMs});
  }

  // The limits as the window has them; a channel whose entries cannot be
  // used is said once and goes without limits.
  void SetUpLimits() {
    const LimitSettings settings = LoadLimitSettings(station_.folder);
    for (const std::string& problem : settings.problems) Tell(problem);
    limits_ = LimitWatch(settings.limits, station_.decimalSeparator);
    outlets_.setLimits(&limits_);
  }

  bool OpenLine() {
    // The device stands in for the configured port.
    if (options_.device) {
      qputenv(QStringLiteral("TRELVAN_COM%1").arg(station_.serialSettings.portNumber).toLatin1(),
              options_.device->toLocal8Bit());
    }
    const PortResult opened = OpenPort(line_, station_.serialSettings);
    if (!opened.ok) Tell(opened.message.toStdString());
    return opened.ok;
  }

  // A lost device is reported once; every pass then tries to reopen the line
  // quietly, and says so when the device is back.
  void WatchTheLine() {
    QObject::connect(&line_, &SerialPort::lineLost, [this](const QString& reason) {
      if (lineLost_) return;
      lineLost_ = true;
      Tell(reason.toStdString());
    });
  }

  void ReopenIfLost() {
    if (!lineLost_ && line_.IsOpen()) return;
    const PortResult reopened = OpenPort(line_, station_.serialSettings);
    if (reopened.ok && lineLost_) {
      lineLost_ = false;
      Tell("Leitung " + line_.DeviceName().toStdString() + " wieder geöffnet");
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
    // A pass cut short by the end is recorded as far as it went.
    for (const std::string& message : outlets_.EndPass()) Tell(message);
    if (station_.StopRequested) return;
    ++passesCompleted_;
    if (options_.passes && pass_ >= *options_.passes) return End(Status());
    timer_.start(static_cast<int>(std::max<qint64>(0, options_.intervalMs - sinceStart_.elapsed())));
  }

  // 0 when a reading came, or when no pass was complete; 3 when passes ran
  // and no channel ever answered.
  int Status() const { return anyReading_ || passesCompleted_ == 0 ? kExitOk : kExitNoAnswer; }

  // A reading goes to the outlets first (they set its alarm), then out.
  void Take(const Reading& polled) {
    Reading reading = polled;
    for (const AlarmEvent& event : outlets_.Take(reading)) Tell("Alarm " + event.text);
    anyReading_ = anyReading_ || reading.ok;
    const std::string line = options_.json ? ReadingJson(reading) + "\n"
                                           : "Kanal " + std::to_string(reading.channel) + ": " +
                                                 OneLine(reading.text) + "\n";
    errno = 0;
    if (std::fwrite(line.data(), 1, line.size(), stdout) == line.size() && std::fflush(stdout) == 0) return;
    // Nobody reads the output any more (a closed pipe): polling on would be
    // for nothing.
    Tell("trelvan-cli poll: Die Ausgabe lässt sich nicht schreiben: " + SystemErrorText(errno));
    End(kExitFailed);
  }

  // Ends the run: the pass under way stops after its channel, a wait under
  // way at once, and its request shows nothing.
  void End(int exitCode) {
    station_.StopRequested = true;
    line_.InterruptWaits();
    QCoreApplication::exit(exitCode);
  }

  // The line is given up first, so that another program can have it at
  // once; then the broker hears "offline" (after what still waits, for a few
  // seconds at most).
  void Finish() {
    timer_.stop();
    ClosePort(line_);
    if (publisher_) {
      publisher_->Stop();
      for (const std::string& notice : publisher_->TakeNotices()) Tell(notice);
    }
  }

  const PollOptions& options_;
  Station station_;
  QtSerialLine line_;
  MeasurementRequests requests_;
  PollCycle cycle_;
  LimitWatch limits_;
  std::unique_ptr<Recorder> recorder_;
  std::unique_ptr<MqttPublisher> publisher_;
  ReadingOutlets outlets_;
  QTimer timer_;
  QElapsedTimer sinceStart_;
  long long pass_ = 0;
  long long passesCompleted_ = 0;
  bool anyReading_ = false;
  bool lineLost_ = false;
};

} // namespace

int RunPoll(const QStringList& args) {
  Arguments arguments("poll", kSummary);
  Describe(arguments);
  if (const auto exit = arguments.Parse(args)) return *exit;
  const auto options = ReadOptions(arguments);
  if (!options) return kExitUsage;
  if (!arguments.EnterFolder()) return kExitFailed;
  Poller poller(*options);
  return poller.Run();
}

} // namespace trelvan::cli
