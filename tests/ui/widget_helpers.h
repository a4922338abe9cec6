#pragma once
// Small helper of the widget tests: controls by name.

#include <gtest/gtest.h>

#include <QWidget>

namespace trelvan::testing {

template <class W>
W* Control(QWidget& window, const QString& name) {
  W* w = window.findChild<W*>(name);
  EXPECT_NE(w, nullptr) << "no control " << name.toStdString();
  return w;
}

} // namespace trelvan::testing
