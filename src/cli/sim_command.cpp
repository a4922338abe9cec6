#include <QTextStream>

#include "commands.h"

namespace trelvan::cli {

int RunSim(const QStringList&) {
  QTextStream(stderr) << "trelvan-cli sim: noch nicht verfügbar\n";
  return 2;
}

} // namespace trelvan::cli
