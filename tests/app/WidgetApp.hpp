#pragma once

// The one Qt widget application of the settings-window tests, on the offscreen platform: made by
// the first test that needs fonts or widgets and kept for the whole program.

#include <QApplication>

namespace tovrel::testapp {

inline void ensureWidgetApp() {
  if (QCoreApplication::instance() != nullptr) return;
  qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "TovrelAppTests";
  static char* argv[] = {name, nullptr};
  new QApplication(argc, argv);
}

}  // namespace tovrel::testapp
