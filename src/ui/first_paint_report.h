#pragma once

// Measuring aid for the start-up benchmark (bench/ui/measure-startup). When
// the environment variable TRELVAN_REPORT_FIRST_PAINT is 1, the first paint of
// the top-level window named `windowName` prints one line to stdout
//
//   first-paint <steady clock in ns> <peak RSS in KiB>
//
// once that paint has been delivered, and ends the program. The steady clock
// is CLOCK_MONOTONIC on Linux, so the caller subtracts its own reading taken
// before it started the process. Header only: the application and the empty
// window it is compared with use the same code.

#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

#include <chrono>
#include <cstdio>

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#endif

namespace trelvan {

class FirstPaintReport : public QObject {
public:
  FirstPaintReport(const QString& windowName, QObject* parent) : QObject(parent), name_(windowName) {}

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (!done_ && event->type() == QEvent::Paint && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->isWindow() && watched->objectName() == name_) {
      done_ = true;
      // Queued: runs after this paint and its flush to the screen.
      QTimer::singleShot(0, qApp, [] {
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                            std::chrono::steady_clock::now().time_since_epoch())
                            .count();
        long peakKiB = 0;
#ifdef Q_OS_UNIX
        rusage usage{};
        if (getrusage(RUSAGE_SELF, &usage) == 0) peakKiB = usage.ru_maxrss;
#endif
        std::printf("first-paint %lld %ld\n", static_cast<long long>(ns), peakKiB);
        std::fflush(stdout);
        QCoreApplication::exit(0);
      });
    }
    return false;
  }

private:
  QString name_;
  bool done_ = false;
};

inline void ReportFirstPaintIfAsked(QApplication& app, const QString& windowName) {
  if (qEnvironmentVariableIntValue("TRELVAN_REPORT_FIRST_PAINT") == 1)
    app.installEventFilter(new FirstPaintReport(windowName, &app));
}

} // namespace trelvan
