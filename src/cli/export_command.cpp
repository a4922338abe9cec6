#include <QTextStream>

#include "commands.h"

namespace trelvan::cli {

int RunExport(const QStringList&) {
  QTextStream(stderr) << "trelvan-cli export: noch nicht verfügbar\n";
  return 2;
}

} // namespace trelvan::cli
