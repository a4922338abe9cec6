#pragma once
// Lets the event loop run, in short slices, until a condition holds or the
// time is up; returns the condition.

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

namespace trelvan::testing {

template <typename Done>
bool WaitFor(Done done, int ms = 3000) {
  QElapsedTimer clock;
  clock.start();
  while (!done() && clock.elapsed() < ms) {
    QEventLoop loop;
    QTimer::singleShot(5, &loop, &QEventLoop::quit);
    loop.exec();
  }
  return done();
}

} // namespace trelvan::testing
