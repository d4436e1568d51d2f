#pragma once

// Every key and grab decision of the input tap, as a value fed the X server's events in the order
// the tap's connection delivers them; the tap's thread only translates them into requests.
//
// What the X server does with a key, and what the gate mirrors:
//  - The keyboard's master device keeps one down/up state per key. A press of a key it has down,
//    or a release of one it has up, goes nowhere. Each key event first comes raw to the tap (not
//    while a grab of the tap's own on the root window holds the keyboard), then, when it changed
//    the state, goes to whoever holds the keyboard: a grab of the tap's, or the application.
//  - A press that meets one of the tap's synchronous passive grabs starts that grab and freezes
//    the keyboard until the tap answers. While the grab lasts every key event comes to the tap
//    and freezes the keyboard again, except the release of the key that started it, which ends
//    the grab. Answers: `sync` (the event is gone, the grab stays), `replay` (the event goes on as
//    if never grabbed, the grab ends), `ungrab` (the event is gone and the grab ends) and `hold`
//    (the event is gone and the tap holds the keyboard itself, synchronously, until it ends that
//    hold by an answer: its end is then the tap's alone).
//  - A key event the tap posts through a keyboard other than the one that typed the key changes
//    only the master's state: the tap can release a key the hand still holds ("let go": the hand's
//    release then goes nowhere), or press again one the hand released.
//
// The promise: for every key, the application sees a press followed by its release, or nothing;
// no event of a key the program took reaches it; the keyboard never stays frozen. The gate keeps,
// for every key, what the master has down and what the application has down. While a grab of the
// tap's holds the keyboard it brings the master to what the application has, with key events of
// its own that reach only that grab (a key the program took is let go; a key whose release the
// grab caught is pressed again). Once no grab holds the keyboard, it posts what the application
// is still owed, in the order the hand typed it: a press that had to wait, a release the grab
// caught. A grab ends only as an answer, or by the release of the key that started it, so that
// nothing of the hand's comes between the tap's own events and the grab they are meant for.
//
// A key the program takes is let go at once, so no grab outlives the press that started it. A
// modifier cannot be let go (a release of the tap's own would change the keyboard's state while
// the hand still holds it), nor a key typed through X's synthetic keyboard when the server has no
// real one to post through: such a key keeps the grab until it is released, and a key the
// application must have meanwhile ends the grab, so the held key's release then reaches the
// application.

#include <bitset>
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
  // Which of the keyboards the tap posts through an event came from, if either.
  enum class Via {
    none,       // another real keyboard: never the tap's own
    synthetic,  // X's synthetic keyboard
    spare,      // the real keyboard the tap lets synthetic keys go through
  };

  // A key event as the server reported it.
  struct Event {
    unsigned keycode = 0;
    bool press = false;
    bool repeat = false;  // the server's repeat of a held key (grab events only)
    Via via = Via::none;
    int sourceid = 0;          // handed on with what the router hears
    unsigned state = 0;        // the modifiers and group the server gave the event
    std::uint32_t time = 0;    // the server's time
    std::uint64_t serial = 0;  // the last request of the tap's the server had handled
    unsigned long window = 0;  // the grab window (grab events)
  };

  struct Action {
    enum class Kind {
      sync,    // answer the event in hand: it is gone, the grab stays
      replay,  // answer the event in hand: it goes on as if never grabbed, the grab ends
      ungrab,  // end the tap's grab; an event the keyboard waits on is gone
      hold,    // take the keyboard on `window` (0: the focused window), synchronously, from `time`
      post,    // a key event of the tap's own, through `via`
      hear,    // a key event the router hears
      decide,  // a press the router decides: `decided` gives the answer
      tapUp,   // the release that ends a lone tap of a modifier, for the router
    };
    Kind kind;
    unsigned keycode = 0;
    bool press = false;
    bool repeat = false;
    Via via = Via::none;
    int sourceid = 0;
    unsigned state = 0;
    std::uint32_t time = 0;    // answers: the time to stamp them with
    unsigned long window = 0;  // hold
    bool passed = false;       // hear: a press that reached the application already
    bool outside = false;      // ungrab, hold: report its request number with `sent`
    bool operator==(const Action&) const = default;
  };

  // What the gate must know of the keys and the grabs.
  void setAllKeys(bool on) { allKeys_ = on; }  // a mode is on: every key is grabbed
  void setSpare(bool present) { spare_ = present; }
  void setRoot(unsigned long root) { root_ = root; }
  // Whether a press that reached no grab of the tap's went to another client's grab (an open
  // menu, a window switcher): the router then hears nothing of it.
  void setForeign(std::function<bool(unsigned keycode, unsigned state)> foreign) {
    foreign_ = std::move(foreign);
  }
  void setModifiers(const std::bitset<256>& modifiers) { modifiers_ = modifiers; }
  // Modifiers whose lone tap the program takes, and of those the ones grabbed so that a press that
  // may begin a tap reaches no application.
  void setTapModifiers(std::set<unsigned> taps, std::set<unsigned> withheld) {
    taps_ = std::move(taps);
    withheld_ = std::move(withheld);
  }

  // ---- events, in the connection's order
  // A raw key event of the master keyboard.
  void raw(const Event& event);
  // A key event delivered to a grab of the tap's.
  void grabbed(const Event& event);
  // A round trip brought nothing new: whatever came before it has come.
  void quiet();
  // A window the tap grabs keys on went away: a grab on it ended with it, and the application now
  // in front has none of the keys down.
  void windowGone(unsigned long window);
  // The router's answer for the press handed out with `decide`.
  void decided(bool swallow);
  void button();
  // A click or an action needs the keyboard free of the tap's grabs.
  void freeWanted();
  void tick(double now);
  // The request number of an `ungrab` or `hold` marked `outside` (sent while the keyboard waited
  // on nothing of the tap's): an event the server made before it met the grab as it was.
  void sent(std::uint64_t request);
  // A hold was taken, on this window; or it could not be (another client holds the keyboard, or
  // the window went away).
  void held(unsigned long window);
  void holdFailed();
  // A press let through on its raw event, before its grab's event came: `request` is the answer's
  // request number, `time` the press's server time.
  bool canAnswerEarly(unsigned keycode) const;
  void answeredEarly(std::uint64_t request, std::uint32_t time);
  // Listening starts: the keys the server has down.
  void resync(const std::bitset<256>& down);
  void reset();

  // ---- what to do, in order
  std::vector<Action> take() { return std::exchange(actions_, {}); }
  bool deciding() const { return !deciding_.empty(); }
  // A raw press whose grab event may still come: worth a moment's wait before a round trip.
  bool pendingRawPress() const { return pending_ && pending_->event.press; }
  // Something only a round trip settles, at once: a raw event, an early answer, a grab nothing
  // needs; or in a moment: the tap's own events not back yet.
  bool wantsRoundTripNow() const { return pending_ || early_ || idleGrab(); }
  bool wantsRoundTrip() const { return wantsRoundTripNow() || !own_.empty(); }
  // The window whose keys the last grab event came from.
  unsigned long frontWindow() const { return front_; }
  bool grabActive() const { return grab_.kind != Grab::none; }
  std::optional<double> deadline() const { return deadline_; }
  // Presses the router heard and whose release it has not.
  std::set<unsigned> heldKeys() const;

 private:
  enum class Grab { none, passive, hold };
  struct GrabState {
    Grab kind = Grab::none;
    unsigned activator = 0;    // passive: the key that started it
    unsigned long window = 0;  // the window it is on
  };
  enum class Purpose {
    fix,    // brings the master to what the application has: reaches only a grab of the tap's
    owed,   // what the application is owed: reaches it
    clean,  // a release that balances a press of the tap's on its keyboard: goes nowhere
  };
  struct Own {
    unsigned keycode;
    bool press;
    Via via;
    Purpose purpose;
    int quiets = 0;  // round trips it has not come back through
  };
  struct Key {
    bool master = false;        // the server's keyboard has it down
    bool app = false;           // the application saw its press and not its release
    std::optional<Via> hand;    // the hand holds it, typed on this keyboard
    Via typedOn = Via::none;    // the keyboard the hand last typed it on
    bool taken = false;         // the hand's press is the program's
    bool exposed = false;       // left down without the application's knowing: it gets the release
    bool heard = false;         // the router heard its press and not its release
    std::optional<Via> posted;  // a press of the tap's through this keyboard, not released there
  };
  struct Pending {
    Event event;
    std::optional<Own> own;
    bool dropped = false;  // the master had it so already: it went nowhere
  };
  struct InHand {
    Event event;
    bool activation = false;  // it started the grab
    bool gone = false;        // a request of the tap's already ended the wait on it
  };
  struct Early {
    std::uint64_t request = 0;
    std::uint32_t time = 0;
  };
  struct Outside {
    std::optional<std::uint64_t> request;
    GrabState before;
  };

  Key& key(unsigned keycode) { return keys_[keycode]; }
  // Keys that cannot be let go while held: a modifier, a synthetic key with no keyboard to post
  // it through.
  bool keeps(unsigned keycode, const Key& k) const;
  bool canPost(const Key& k) const { return k.typedOn != Via::synthetic || spare_; }
  static Via through(const Key& k) {
    return k.typedOn == Via::synthetic ? Via::spare : Via::synthetic;
  }
  bool diverges(unsigned keycode, const Key& k) const;
  bool anyDivergence(std::optional<unsigned> except = std::nullopt) const;
  bool fixInFlight(unsigned keycode) const;
  bool needsFixes() const;
  bool keepsGrab() const;
  bool ownInFlight(bool owedOnly = false) const;
  bool anyInFlight() const;
  bool canEndWithout(unsigned keycode) const;
  bool idleGrab() const;
  bool dirty(unsigned keycode, const Key& k) const;
  bool needsCleaning() const;
  bool owesPress(unsigned keycode) const;
  bool releaseOwed(unsigned keycode) const;
  void decide(const InHand& inHand);

  std::optional<Own> takeOwn(const Event& event);
  Pending arrive(const Event& event);
  void resolvePending();
  void handReleased(const Event& event);
  void reachedDirectly(const Event& event);
  void popOwed(const Event& event);
  void ownAway(const Event& event, const Own& own, bool dropped);
  void ownArrived(const InHand& inHand, const Own& own);
  void settle(const InHand& inHand, bool swallow);
  void swallowHere(const InHand& inHand);
  void converge();
  void closeGrab();
  void outside(Action::Kind kind);

  void answer(Action::Kind kind, const Event& event, std::uint32_t time);
  void answer(Action::Kind kind, const Event& event) { answer(kind, event, event.time); }
  void post(unsigned keycode, bool press, Purpose purpose, std::optional<Via> via = std::nullopt);
  void hear(const Event& event, bool passed = false);
  static Action forRouter(Action::Kind kind, const Event& event);

  std::map<unsigned, Key> keys_;
  GrabState grab_;
  unsigned long front_ = 0;  // the window whose keys the last grab event came from
  std::deque<Own> own_;      // posted, in order, until they come back
  std::deque<Event> owed_;   // what the application must still see, in the hand's order
  std::optional<Pending> pending_;
  std::deque<InHand> deciding_;    // presses handed to the router, in order
  std::optional<InHand> holding_;  // the event a hold answers, until the hold is taken
  bool awaitingHold_ = false;      // a hold was asked for: nothing is posted until it holds
  std::optional<Early> early_;
  std::deque<Outside> outside_;
  std::optional<unsigned> tapCandidate_;
  std::optional<double> deadline_;
  bool endAnyway_ = false;  // a click needs the keyboard: a key that keeps the grab is exposed
  double now_ = 0;
  std::uint32_t newest_ = 0;  // the newest event's server time
  std::vector<Action> actions_;

  bool allKeys_ = false;
  bool spare_ = false;
  unsigned long root_ = 0;
  std::bitset<256> modifiers_;
  std::set<unsigned> taps_;
  std::set<unsigned> withheld_;
  std::function<bool(unsigned, unsigned)> foreign_;
};

}  // namespace tovrel::platform::x11
