#include "program_options.h"

#include <cstdio>
#include <string_view>

#include "core/version.h"

namespace trelvan {

namespace {

constexpr const char* kHelp =
    "Aufruf: trelvan [--simulate] [--folder DIR]\n"
    "\n"
    "TRELVAN: Messstation für Wasserqualität. Zeigt die Messwerte der vier Kanäle,\n"
    "wandelt Loggerdateien in \".xls\"-Dateien um und bearbeitet \"config.txt\" und\n"
    "\"PortCom.dat\".\n"
    "\n"
    "Optionen:\n"
    "  --simulate     mit der eingebauten simulierten Station arbeiten (in einem\n"
    "                 Demo-Ordner)\n"
    "  --folder DIR   in DIR arbeiten. Ohne diese Option: im aktuellen Ordner, wenn\n"
    "                 er eine \"config.txt\" hat, sonst im Datenordner des Benutzers\n"
    "                 ($XDG_DATA_HOME/trelvan, beim ersten Start angelegt)\n"
    "  -h, --help     diese Hilfe\n"
    "  -v, --version  die Version\n"
    "\n"
    "Umgebung: TRELVAN_COM1 ... TRELVAN_COM4 nennen das Gerät von \"Com k\" und gehen\n"
    "der Zuordnung in \"trelvan.ini\" vor.\n";

} // namespace

bool AnswerHelpOrVersion(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view a = argv[i];
    if (a == "--") break;
    if (a == "-h" || a == "--help" || a == "-?") {
      std::fputs(kHelp, stdout);
      return true;
    }
    if (a == "-v" || a == "--version") {
      std::printf("trelvan %s\n", VersionNumber);
      return true;
    }
  }
  return false;
}

} // namespace trelvan
