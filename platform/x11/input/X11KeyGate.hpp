#pragma once

// The bookkeeping of the tap's key decisions. Key presses reach the tap in two ways: through its
// synchronous grabs (the keyboard waits for an answer) or, for keys nobody grabbed, as raw events
// that have already reached the application. Releases never wait: a swallowed press's release comes
// to the grab, a passed press's release goes to the application and is seen raw. The gate decides
// which events the router hears, so every press it hears has exactly one release, and which answer
// the X server gets. It mirrors the server's grab: the release of the key that started a grab ends
// that grab by itself, and an answer to it would be taken as the answer to the next grab.

#include <optional>
#include <set>

namespace tovrel::platform::x11 {

class X11KeyGate {
 public:
  enum class Answer {
    none,     // the keyboard is not waiting
    swallow,  // let the keyboard go on, keeping the grab: the event is gone
    replay,   // release the grab and deliver the event as if it had never been grabbed
  };

  // A raw press. When the grab's own event for the same press follows, the press is decided there
  // and the raw one is not heard; otherwise the application already has it.
  bool rawPress(unsigned keycode, bool grabEventFollows);
  // A raw release: heard when its press was.
  bool rawRelease(unsigned keycode);

  // A press delivered to the grab, then its answer once the router decided.
  void grabPress(unsigned keycode);
  Answer answerPress(unsigned keycode, bool swallowed);

  // A release delivered to the grab.
  struct Release {
    Answer answer = Answer::none;
    bool heard = false;
  };
  Release grabRelease(unsigned keycode);

  bool grabActive() const { return grabStarter_.has_value(); }
  // The key whose press started the grab the tap holds.
  std::optional<unsigned> grabStarter() const { return grabStarter_; }
  // The tap ended its grab before the key that started it was released: the tap hears that
  // release raw.
  void grabEnded() { grabStarter_.reset(); }
  // Whether the router heard this key's press and not yet its release.
  bool isHeld(unsigned keycode) const { return heard_.contains(keycode); }
  // Presses the router heard and whose release it has not.
  const std::set<unsigned>& heldKeys() const { return heard_; }
  void reset();

 private:
  std::optional<unsigned> grabStarter_;
  std::set<unsigned> heard_;
  std::set<unsigned> passed_;  // the application saw the press
};

}  // namespace tovrel::platform::x11
