// The smallest Qt Widgets program with a maximised main window. Run it with
// TRELVAN_REPORT_FIRST_PAINT=1 to have it print the time of its first paint
// and its peak RSS, and end (see bench/ui/measure-startup).

#include <QApplication>
#include <QMainWindow>

#include "ui/first_paint_report.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  trelvan::ReportFirstPaintIfAsked(app, "EmptyWindow");
  QMainWindow window;
  window.setObjectName("EmptyWindow");
  window.showMaximized();
  return QApplication::exec();
}
