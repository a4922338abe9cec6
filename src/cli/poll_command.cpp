#include <QTextStream>

#include "commands.h"

namespace trelvan::cli {

int RunPoll(const QStringList&) {
  QTextStream(stderr) << "trelvan-cli poll: noch nicht verfügbar\n";
  return 2;
}

} // namespace trelvan::cli
