// trelvan-cli sim: the station simulator on a pseudo-terminal.
#include <QTextStream>
#include <csignal>
#include <cstdio>
#include <unistd.h>

#include "arguments.h"
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

// The simulator's options, each taking a value; its own parser checks them.
struct SimOption {
  const char* name;
  const char* valueName;
  const char* description;
};
constexpr SimOption kSimOptions[] = {
    {"config", "FILE", "Die Instrumente aus dieser Szenariodatei (unten) statt aus \"config.txt\"."},
    {"silent", "LIST", "Diese Stationen antworten nicht."},
    {"bad-crc", "LIST", "Antwort mit falscher Prüfsumme."},
    {"short", "LIST", "Antwort ohne ihr letztes Byte."},
    {"extra", "A[:N],...", "N Bytes hinter der Antwort (Vorgabe 4)."},
    {"delay", "A:MS,...", "Antwort erst nach MS Millisekunden (die anderen Stationen antworten\nderweil weiter)."},
    {"exception", "A[:CODE],...", "Ausnahmeantwort (Vorgabe Code 4, Gerätefehler)."},
    {"foreign", "LIST", "Antwort mit der Adresse einer anderen Station."},
    {"trickle", "LIST", "Antwort Byte für Byte, 2 ms Abstand."},
    {"line", "SPEED,STOP",
     "Alle Stationen antworten nur, solange der Master diese Geschwindigkeit und\n"
     "Stoppbitzahl eingestellt hat, z. B. 4800,2 (Vorgabe: unter allen; die Parität\n"
     "verrät ein Pseudo-Terminal nicht)."},
    {"random-faults", "SEED[:FAST[:SLOW]]",
     "Eine fehlerhafte Leitung für Dauertests: Jede Anfrage zieht ihren eigenen Fehler,\n"
     "wiederholbar je SEED. FAST Prozent (Vorgabe 20) bekommen falsche Prüfsumme,\n"
     "Extrabytes, eine Ausnahme, eine fremde Stationsadresse oder Byte-für-Byte; SLOW\n"
     "Prozent (Vorgabe 2) Schweigen, eine Antwort ohne letztes Byte oder eine Verzögerung\n"
     "um die Antwortfrist des Masters (90..115 %). Das Temperaturregister trägt dann die\n"
     "laufende Nummer der Anfrage modulo 1000."},
    {"reply-ms", "N", "Antwortfrist des Masters in ms für --random-faults (100..10000, Vorgabe 2000)."},
    {"log", "FILE",
     "Je Anfrage eine Zeile: Nummer, Station, erstes Register, Anzahl, Fehler (none,\n"
     "silent, line, bad-crc, short, extra:N, delay:MS, exception:CODE, foreign, trickle)\n"
     "und die acht Registerwerte des Blocks."},
    {"link", "PATH",
     "Einen symbolischen Link PATH auf das aktuelle Pseudo-Terminal halten; die erste\n"
     "Ausgabezeile ist dann PATH. Ein PATH, der schon besteht und kein solcher Link ist,\n"
     "wird abgelehnt."},
    {"close-after", "N", "Das Pseudo-Terminal nach N Anfragen schließen (ein abgezogener Adapter)."},
    {"reopen-after", "MS", "MS Millisekunden danach ein neues öffnen."},
};

void Describe(Arguments& a) {
  for (const SimOption& o : kSimOptions) a.Option({o.name}, o.description, o.valueName);
  a.Section("Szenariodatei (--config FILE)",
            "  Ein Instrument je Zeile, # leitet Kommentare ein:\n"
            "    <Adresse> <Block> <Typ> [<r0> ... <r7>]\n"
            "  Adresse  1..247\n"
            "  Block    master (Register ab 0), ext (ab 20) oder eine Registernummer\n"
            "  Typ      Typnummer 0..15, Listenname (pH, Durchfluss, Trübung, C_TOR, 458, ...)\n"
            "           oder Familie: resistivity conductivity ph redox oxygen flow chlorine\n"
            "           turbidity dual-resistivity multi-unit oxidant\n"
            "  r0..r7   wahlweise acht feste Registerwerte (dezimal oder 0x...); ohne sie\n"
            "           bewegen sich die Werte von Messung zu Messung\n"
            "  Beispiel:\n"
            "    3 master pH\n"
            "    3 ext    Durchfluss\n"
            "    5 master 458 0x0042 0 0 845 215 0 0 0")
      .Section("LIST", "  Stationsadressen mit Komma, z. B. 3,4; jede Fehleroption ist mehrfach angebbar.")
      .Section("Rückgabewerte",
               "  0  beendet mit SIGINT oder SIGTERM\n"
               "  1  das Pseudo-Terminal lässt sich nicht anlegen\n"
               "  2  falscher Aufruf, ein Szenario, das sich nicht lesen lässt, oder keine Instrumente");
}

} // namespace

int RunSim(const QStringList& args) {
  Arguments arguments("sim",
                      "Stationssimulator: ein Modbus-RTU-Slave auf einem Pseudo-Terminal. Die erste\n"
                      "Ausgabezeile ist der Gerätepfad, den der Master öffnet (z. B. mit TRELVAN_COM1=<Pfad>\n"
                      "oder trelvan-cli poll --device <Pfad>). Ohne --config wird je Kanal von \"config.txt\"\n"
                      "im Arbeitsordner ein Instrument simuliert (Messtyp, Stationsadresse, Master = Register\n"
                      "ab 0, Ext. = ab 20). Volumenzähler laufen 60-mal schneller als die Uhr. Ende mit\n"
                      "Strg+C oder SIGTERM.");
  Describe(arguments);
  if (const auto exit = arguments.Parse(args)) return *exit;
  if (!arguments.EnterFolder()) return kExitFailed;
  QTextStream err(stderr);
  std::vector<std::string> given;
  for (const SimOption& o : kSimOptions) {
    for (const QString& value : arguments.Values(o.name)) {
      given.push_back(std::string("--") + o.name);
      given.push_back(value.toStdString());
    }
  }
  std::string error;
  auto options = sim::ParseSimArguments(given, &error);
  if (!options) {
    err << "trelvan-cli sim: " << QString::fromStdString(error) << "\n";
    return kExitUsage;
  }
  if (!sim::LoadInstruments(*options, &error)) {
    err << "trelvan-cli sim: " << QString::fromStdString(error) << "\n";
    return kExitUsage;
  }

  sim::Simulator simulator(options->config);
  if (!simulator.Open(&error)) {
    err << "trelvan-cli sim: " << QString::fromStdString(error) << "\n";
    return kExitFailed;
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
  return kExitOk;
}

} // namespace trelvan::cli
