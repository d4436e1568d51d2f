#pragma once

// The one Qt application of the backend tests: widgets on the offscreen platform, made by the
// first test that needs it and kept for the whole program.

#include <QApplication>

namespace tovrel::platform::x11 {

// True when a widget application is there to test with (false when another test made one without
// widgets first).
inline bool offscreenWidgetApp() {
  if (QCoreApplication::instance() == nullptr) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "TovrelX11Tests";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
  }
  return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
}

}  // namespace tovrel::platform::x11
