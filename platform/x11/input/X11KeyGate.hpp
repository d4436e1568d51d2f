#pragma once

// The bookkeeping of the tap's key decisions. Key presses reach the tap in two ways: through its
// synchronous grabs (the keyboard waits for an answer) or, for keys nobody grabbed, as raw events
// that have already reached the application. Releases never wait: a swallowed press's release comes
// to the grab, a passed press's release goes to the application and is seen raw. The gate decides
// which events the router hears, so every press it hears has exactly one release, and which answer
// the X server gets. It mirrors the server's grab: the release of the key that started a grab ends
// that grab by itself, and an answer to it would be taken as the answer to the next grab.
//
// A key the program takes stays its own from press to release, however keys overlap. The grab
// is held by one swallowed key at most, the one that started it; X ends the grab when that key is
// released and sends the release to nobody else. Every other key is settled at once:
//  - a key swallowed while the grab is held is let go by the tap itself: a synthetic press, which X
//    drops since the key is down, and a synthetic release, which comes to the grab. The hand's
//    release then reaches no application (X drops the release of a key it holds up); the tap
//    still hears it raw;
//  - a key that must reach the application while the grab is held cannot simply be replayed: that
//    ends the grab, and the holding key's release would then reach the application. It is
//    swallowed, released under the grab, the holding key is let go, and the key is pressed again
//    by the tap for the application ("chased");
//  - when a click or an action needs the keyboard free, the holding key is let go the same way.
// A key is let go through a keyboard other than the one that typed it, so that X still sends the
// hand's own release raw: a key of a real keyboard through X's one synthetic keyboard, a key
// typed through the synthetic keyboard (on-screen keyboards, remote desktops, scripts) through a
// real one, the spare. Without a spare such a key cannot be let go, and a synthetic press of a
// modifier or lock key changes the keyboard's state: such a key keeps the grab until it is
// released; an action waits for that release (bounded by the tap), and a key that must pass
// meanwhile is replayed, its release reaching the application.
//
// Every event of the two keyboards the tap posts through is matched against what the tap posted
// through that keyboard, in order: the tap's own events are never heard, and every one of them
// that reaches a grab is answered.

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <utility>
#include <vector>

namespace tovrel::platform::x11 {

class X11KeyGate {
 public:
  enum class Answer {
    none,     // the keyboard is not waiting
    swallow,  // let the keyboard go on, keeping the grab: the event is gone
    replay,   // release the grab and deliver the event as if it had never been grabbed
  };

  // Which of the keyboards the tap posts through an event came from, if either.
  enum class Via {
    none,       // another real keyboard: never the tap's own
    synthetic,  // X's synthetic keyboard
    spare,      // the real keyboard the tap lets synthetic keys go through
  };

  // Where a press came from.
  struct Origin {
    Via via = Via::none;
    bool modifier = false;
    bool synthetic() const { return via == Via::synthetic; }
  };

  // A key event the tap posts, in order, once it has answered the event in hand.
  struct Post {
    unsigned keycode = 0;
    bool press = false;
    // Posted to be swallowed: a key let go, not one meant for the application.
    bool swallowed = false;
    // Through which keyboard: never the one that typed the key.
    Via via = Via::synthetic;
    // Posted while no grab of ours holds the keyboard: the tap holds it itself, without freezing
    // it, so what reaches that grab wants no answer (one given later would answer the next grab).
    bool held = false;
    bool operator==(const Post& other) const {
      return keycode == other.keycode && press == other.press && via == other.via;
    }
  };

  // Whether a real keyboard is there to let synthetic keys go through.
  void setSpareKeyboard(bool present) { spare_ = present; }

  // A raw press. When the grab's own event for the same press follows, the press is decided there
  // and the raw one is not heard; otherwise the application already has it.
  bool rawPress(unsigned keycode, bool grabEventFollows);
  // A raw release: heard when its press was.
  bool rawRelease(unsigned keycode);

  // A raw event of a keyboard the tap posts through: true when it is one the tap posted (never
  // heard). Each posted event may come raw (not while a grab of ours holds the keyboard), and may
  // come to a grab (from the same keyboard, at once or once the keyboard moves on from an earlier
  // grab event): the two are matched apart, and a grab event settles whatever raw event of an
  // earlier post is still missing.
  bool ownRaw(unsigned keycode, bool press, Via via, double now);

  // A press delivered to the grab. An answer when the press is the tap's own; otherwise the router
  // decides it, and `answerPress` gives the answer.
  std::optional<Answer> grabPress(unsigned keycode, Origin origin);
  std::optional<Answer> grabPress(unsigned keycode) { return grabPress(keycode, Origin{}); }
  Answer answerPress(unsigned keycode, bool swallowed);

  // A press passed on its raw event, before its grab's event came. The server makes both events of
  // a press in one go, so the answer (a replay stamped with the press's time) reaches the server
  // after the press started our grab, if it did: the keyboard goes on a trip through this thread
  // sooner. Only while nothing of ours is held, posted or answered early, and for a key not down.
  bool canAnswerEarly(unsigned keycode) const;
  // `request` is the answer's request number, `time` the press's server time.
  void answeredEarly(std::uint64_t request, std::uint32_t time);
  // A press delivered to the grab, first of all: false unless an early answer is out. The server
  // holds one grab of ours at a time and only an answer of ours ends it, so the early answer ended
  // the first grab made before the server read it (the event's request number is lower), unless the
  // grab is younger than the answer's time. That press, whichever it is, has reached the
  // application: true, and the gate has it as passed. Otherwise the answer met no grab and the
  // press is decided as any.
  bool grabPressAnsweredEarly(unsigned keycode, Origin origin, std::uint64_t serial,
                              std::uint32_t time);
  // A round trip since the early answer brought no grab event: it met no grab.
  void earlyAnswerUnmet() { early_.reset(); }

  // A release delivered to the grab.
  struct Release {
    Answer answer = Answer::none;
    bool heard = false;
  };
  Release grabRelease(unsigned keycode, Via via = Via::none);

  // What a click or an action that needs the keyboard free gets.
  enum class Freeing {
    free,     // no grab is held
    posted,   // the holding key is being let go: the grab ends when the tap's release reaches it
    waiting,  // the holding key cannot be let go: the grab ends with its release
    ungrab,   // a modifier holds it: end the grab as it is (its release reaches the application)
  };
  Freeing freeInput();
  // How the gate asks whether the keyboard still holds a key down before it lets it go or chases
  // another past it: a key released meanwhile is settled by its own release. Unset, every key
  // counts as down.
  void setKeyDownQuery(std::function<bool(unsigned)> query) { keyDown_ = std::move(query); }

  // The synthetic events to post now, in order: first every key settled under the grab, then the
  // holder let go, then the chased keys pressed again. Taken once the server has sent every event
  // it had, so that a key that came behind an answer is settled under the grab before the grab
  // ends, not after. A key can still come between the holder's own press and release, which the
  // tap posted already: it is settled after the grab is over, and its swallowed posts must then go
  // under a grab the tap takes itself (when `grabActive()` no longer holds).
  bool hasPosts() const {
    return !settle_.empty() || holderLetGoWanted_ || !repress_.empty() || !releaseAfter_.empty();
  }
  std::vector<Post> takePosts();
  // The tap's own release that is to end the grab came raw and its grab event has not: once the
  // server has sent everything, a release still missing found no grab (its window went away), and
  // the grab is over.
  bool ownReleaseMissedGrab() const;
  void grabMissed();
  // Own events that did not come back in time are forgotten.
  void expire(double now);
  bool expecting() const { return !expected_.empty(); }

  bool grabActive() const { return grabStarter_.has_value(); }
  // Another client holds the keyboard: the posts meant to go under the tap's own hold go to it.
  void holdFailed();
  // The key whose press started the grab the tap holds.
  std::optional<unsigned> grabStarter() const { return grabStarter_; }
  // The tap ended its grab before the key that started it was released: the tap hears that
  // release raw.
  void grabEnded();
  // Whether the router heard this key's press and not yet its release.
  bool isHeld(unsigned keycode) const { return heard_.contains(keycode); }
  // Presses the router heard and whose release it has not.
  const std::set<unsigned>& heldKeys() const { return heard_; }
  void reset();

 private:
  struct Expected {
    Post post;
    double postedAt = 0;
    bool repress = false;  // a chased key pressed again for the application
    bool rawDue = true;
    bool grabDue = true;
  };
  void expect(std::vector<Post>& posts, Post post, bool repress = false);
  // The tap's own event this grab event is, if it is one (never one of another keyboard).
  std::optional<Expected> takeOwnGrabEvent(const Post& event);
  // Whether the tap can post a release and a press of this key through another keyboard.
  bool canPressAgain(const Origin& origin) const { return !origin.synthetic() || spare_; }
  bool canLetGo(const Origin& origin) const { return !origin.modifier && canPressAgain(origin); }
  // The keyboard the tap posts this key's events through.
  static Via through(const Origin& origin) {
    return origin.synthetic() ? Via::spare : Via::synthetic;
  }
  Origin originOf(unsigned keycode) const;
  void dropSettled();
  bool isDown(unsigned keycode) const { return !keyDown_ || keyDown_(keycode); }
  // The tap's own press of a chased key is balanced by a release once the hand's release came, or
  // the keyboard it went through would count the key as down.
  void releaseChased(unsigned keycode);

  struct Early {
    std::uint64_t request = 0;
    std::uint32_t time = 0;
  };
  std::optional<Early> early_;
  std::optional<unsigned> grabStarter_;
  Origin starterOrigin_;
  std::set<unsigned> heard_;
  std::set<unsigned> passed_;  // the application saw the press
  std::map<unsigned, Origin> origins_;

  std::vector<Post> settle_;  // keys let go (press, release) under the grab
  bool holderLetGoWanted_ = false;
  std::vector<Post> repress_;       // chased keys, pressed again once the grab is over
  std::vector<Post> releaseAfter_;  // chased keys the hand released before their turn
  std::deque<Expected> expected_;   // posted, in order, until both their events came or cannot
  std::map<unsigned, Via> chased_;  // pressed again by the tap, and not yet released
  bool lettingGo_ = false;          // the starter's own release is on its way
  double now_ = 0;
  bool spare_ = false;
  std::function<bool(unsigned)> keyDown_;
};

}  // namespace tovrel::platform::x11
