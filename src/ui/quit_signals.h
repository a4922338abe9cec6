#pragma once
// SIGINT and SIGTERM end the program the way "Quitter" does, on the event
// loop: windows close, and an export that is running leaves its files as they
// were. The handler itself only writes a byte into a socket pair.

#include <functional>

class QObject;

namespace trelvan {

// Calls `quit` on the event loop when SIGINT or SIGTERM arrives; `owner`
// keeps the notifier.
void QuitOnSignals(QObject* owner, std::function<void()> quit);

} // namespace trelvan
