#include "system_error.h"

#include <cerrno>
#include <cstring>

namespace trelvan {

std::string SystemErrorText(int errorNumber) {
  switch (errorNumber) {
    case ENOENT: return "nicht vorhanden";
    case EACCES:
    case EPERM: return "keine Berechtigung";
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
      return "Datenträger voll";
    case EROFS: return "Datenträger schreibgeschützt";
    case EISDIR: return "ist ein Ordner";
    case ENOTDIR: return "ein Teil des Pfades ist kein Ordner";
    case EEXIST: return "existiert bereits";
    case EBUSY: return "belegt";
    case EIO: return "Ein-/Ausgabefehler";
    case ELOOP: return "ist eine symbolische Verknüpfung";
    case ENAMETOOLONG: return "Name zu lang";
    case EFBIG: return "Datei zu groß";
    case ENXIO:
    case ENODEV: return "Gerät nicht vorhanden";
    case EMFILE:
    case ENFILE: return "zu viele offene Dateien";
    case EAGAIN: return "vorübergehend nicht verfügbar";
    default: break;
  }
  return "Systemfehler " + std::to_string(errorNumber) + " (" + std::strerror(errorNumber) + ")";
}

} // namespace trelvan
