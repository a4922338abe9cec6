#pragma once
// Small helpers of the widget tests: controls by name, a window that has the
// keyboard focus.

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QWidget>

namespace trelvan::testing {

template <class W>
W* Control(QWidget& window, const QString& name) {
  W* w = window.findChild<W*>(name);
  EXPECT_NE(w, nullptr) << "no control " << name.toStdString();
  return w;
}

// Focus events only reach an active window.
inline bool MakeActive(QWidget& window) {
  window.show();
  window.activateWindow();
  return QTest::qWaitForWindowActive(&window);
}

} // namespace trelvan::testing
