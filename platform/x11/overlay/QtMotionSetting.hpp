#pragma once

// The desktop's wish for less motion: GNOME's animation switch, read through the desktop portal
// and kept current from the portal's change signal, so that a check costs no round trip.

#include <QDBusConnection>
#include <QString>

#include <memory>
#include <optional>

namespace tovrel::platform::x11 {

// Main thread only; needs the Qt application.
class QtMotionSetting {
 public:
  // A portal that does not answer within `timeoutMs` is taken as absent.
  explicit QtMotionSetting(QDBusConnection bus, int timeoutMs = 100);
  ~QtMotionSetting();
  QtMotionSetting(const QtMotionSetting&) = delete;
  QtMotionSetting& operator=(const QtMotionSetting&) = delete;

  // The switch as last known: read (blocking, briefly) the first time, then updated when the
  // portal reports a change or starts. Nothing when the portal does not answer.
  std::optional<bool> animationsEnabled();

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace tovrel::platform::x11
