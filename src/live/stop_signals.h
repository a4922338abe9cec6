#pragma once
// SIGINT and SIGTERM as an event of the event loop: the handler only writes a
// byte into a socket pair, and `stop` runs in the loop, where it may end a
// wait, a pass or the loop itself. The normal way to end an endless poll or a
// long scan, and the way a service manager ends the application.

#include <functional>

class QObject;

namespace trelvan {

// Calls `stop` on the event loop at each SIGINT or SIGTERM; `owner` keeps the
// notifier.
void StopOnSignals(QObject* owner, std::function<void()> stop);

} // namespace trelvan
