#include "platform/x11/input/X11KeyGate.hpp"

namespace tovrel::platform::x11 {

bool X11KeyGate::rawPress(unsigned keycode, bool grabEventFollows) {
  if (grabEventFollows) return false;
  passed_.insert(keycode);
  heard_.insert(keycode);
  return true;
}

bool X11KeyGate::rawRelease(unsigned keycode) {
  passed_.erase(keycode);
  return heard_.erase(keycode) > 0;
}

void X11KeyGate::grabPress(unsigned keycode) {
  if (!grabStarter_) grabStarter_ = keycode;
  heard_.insert(keycode);
}

X11KeyGate::Answer X11KeyGate::answerPress(unsigned keycode, bool swallowed) {
  if (swallowed) {
    passed_.erase(keycode);
    return Answer::swallow;
  }
  passed_.insert(keycode);
  // Replaying releases the grab: the next press starts a new one.
  grabStarter_.reset();
  return Answer::replay;
}

X11KeyGate::Release X11KeyGate::grabRelease(unsigned keycode) {
  Release release;
  release.heard = heard_.erase(keycode) > 0;
  bool passed = passed_.erase(keycode) > 0;
  if (grabStarter_ == keycode) {
    grabStarter_.reset();
    release.answer = Answer::none;
  } else if (passed) {
    // Its press reached the application before this grab began: so must its release, or the
    // application keeps the key down.
    grabStarter_.reset();
    release.answer = Answer::replay;
  } else {
    release.answer = Answer::swallow;
  }
  return release;
}

void X11KeyGate::reset() {
  grabStarter_.reset();
  heard_.clear();
  passed_.clear();
}

}  // namespace tovrel::platform::x11
