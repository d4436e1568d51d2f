#include "platform/x11/input/X11KeyGate.hpp"

#include <algorithm>

namespace tovrel::platform::x11 {

namespace {

using Event = X11KeyGate::Event;
using Kind = X11KeyGate::Action::Kind;

bool sameKeyEvent(const Event& a, const Event& b) {
  return a.keycode == b.keycode && a.press == b.press && a.via == b.via;
}

// How many round trips an event of the tap's own may fail to come back through before it counts
// as lost. It always comes raw, unless a grab of the tap's on the root window held the keyboard
// and the event changed nothing; another client's synchronous grab may keep it longer.
constexpr int ownQuietsLost = 3;

// How long a click waits for the release of a key that keeps the grab (typed through X's
// synthetic keyboard on a server with no real one); within the fence's bound.
constexpr double releaseWait = 0.08;

}  // namespace

// ---- what the gate tells the tap to do

void X11KeyGate::answer(Kind kind, const Event& event, std::uint32_t time) {
  Action action{kind};
  action.keycode = event.keycode;
  action.press = event.press;
  action.time = time;
  if (kind == Kind::hold) {
    // Not on the root window: a grab there keeps raw events from the tap, and a release that goes
    // nowhere would go unheard.
    action.window = grab_.window != root_ ? grab_.window : 0;
    holding_ = InHand{event};
    awaitingHold_ = true;
  }
  actions_.push_back(action);
}

// An ungrab or a hold while the keyboard waits on nothing of the tap's: an event the server made
// before it met the grab as it was.
void X11KeyGate::outside(Kind kind) {
  Action action{kind};
  action.outside = true;
  // A hold stamped with the newest event's time: the grabs before it are older, and the events
  // after it are answered with their own times.
  action.time = newest_;
  actions_.push_back(action);
  outside_.push_back({std::nullopt, grab_});
  if (kind == Kind::hold) {
    grab_ = {Grab::hold, 0, 0};
    awaitingHold_ = true;
  } else {
    closeGrab();
  }
}

void X11KeyGate::post(unsigned keycode, bool press, Purpose purpose, std::optional<Via> via) {
  Key& k = key(keycode);
  const Via through = via.value_or(X11KeyGate::through(k));
  // A press through a keyboard that has the key down from an earlier press of the tap's would go
  // nowhere: that keyboard lets it go first (the master has it up, so the release goes nowhere).
  if (press && k.posted == through) post(keycode, false, Purpose::clean, through);
  Action action{Kind::post};
  action.keycode = keycode;
  action.press = press;
  action.via = through;
  actions_.push_back(action);
  own_.push_back({keycode, press, through, purpose});
  if (press) k.posted = through;
}

// What the router is to hear or decide of the hand's event.
X11KeyGate::Action X11KeyGate::forRouter(Kind kind, const Event& event) {
  Action action{kind};
  action.keycode = event.keycode;
  action.press = event.press;
  action.repeat = event.repeat;
  action.via = event.via;
  action.sourceid = event.sourceid;
  action.state = event.state;
  action.time = event.time;
  return action;
}

void X11KeyGate::hear(const Event& event, bool passed) {
  Key& k = key(event.keycode);
  Action action = forRouter(Kind::hear, event);
  action.passed = passed;
  if (event.press) {
    if (!event.repeat) k.heard = true;
  } else {
    if (!k.heard) return;
    k.heard = false;
    if (tapCandidate_ == event.keycode) {
      action.kind = Kind::tapUp;
      tapCandidate_.reset();
    }
  }
  actions_.push_back(action);
}

// ---- the keys

bool X11KeyGate::keeps(unsigned, const Key& k) const {
  return k.taken && k.master && k.hand && !k.exposed && !canPost(k);
}

// The master and the application differ on the key, and the tap can bring them together: not for
// a key typed through X's synthetic keyboard when there is no other to post it through.
bool X11KeyGate::diverges(unsigned keycode, const Key& k) const {
  return k.master != k.app && !k.exposed && !keeps(keycode, k) && canPost(k);
}

bool X11KeyGate::anyDivergence(std::optional<unsigned> except) const {
  return std::any_of(keys_.begin(), keys_.end(), [&](const auto& entry) {
    return entry.first != except && diverges(entry.first, entry.second);
  });
}

// A fix on its way that will still change the master when it comes.
bool X11KeyGate::fixInFlight(unsigned keycode) const {
  const auto found = keys_.find(keycode);
  const bool down = found != keys_.end() && found->second.master;
  return std::any_of(own_.begin(), own_.end(), [&](const Own& own) {
    return own.keycode == keycode && own.purpose == Purpose::fix && own.press != down;
  });
}

bool X11KeyGate::needsFixes() const {
  return std::any_of(keys_.begin(), keys_.end(), [&](const auto& entry) {
    return diverges(entry.first, entry.second) && !fixInFlight(entry.first);
  });
}

bool X11KeyGate::keepsGrab() const {
  return std::any_of(keys_.begin(), keys_.end(),
                     [&](const auto& entry) { return keeps(entry.first, entry.second); });
}

// Events of the tap's own on their way that something waits for. A fix the master has come to by
// itself meanwhile (the hand released the key the tap was letting go) goes nowhere.
bool X11KeyGate::ownInFlight(bool owedOnly) const {
  return std::any_of(own_.begin(), own_.end(), [&](const Own& own) {
    if (own.purpose == Purpose::owed) return true;
    if (owedOnly || own.purpose == Purpose::clean) return false;
    const auto found = keys_.find(own.keycode);
    return found == keys_.end() || found->second.master != own.press;
  });
}

// Events of the tap's own on their way to a hold: even one the master has come to meanwhile may
// change it again when the hand does, so a hold ends only once each has come or gone nowhere.
bool X11KeyGate::anyInFlight() const {
  return std::any_of(own_.begin(), own_.end(),
                     [](const Own& own) { return own.purpose != Purpose::clean; });
}

// The grab may end with this event: nothing of the tap's own is on its way, nothing the
// application is owed waits, and no other key needs the grab to be brought back. A key that keeps
// the grab does not stop it: its release then reaches the application.
bool X11KeyGate::canEndWithout(unsigned keycode) const {
  const bool inFlight = grab_.kind == Grab::hold ? anyInFlight() : ownInFlight();
  return !inFlight && owed_.empty() && !anyDivergence(keycode);
}

// Whether the application is to see a press of this key it has not seen yet: one it is owed, or
// one on its way to it.
bool X11KeyGate::owesPress(unsigned keycode) const {
  bool owes = false;
  for (const Event& owed : owed_)
    if (owed.keycode == keycode) owes = owed.press;
  return owes;
}

void X11KeyGate::closeGrab() {
  grab_ = {};
  deadline_.reset();
  endAnyway_ = false;
  // A key still keeping the grab is exposed: its release reaches the application.
  for (auto& [code, k] : keys_)
    if (keeps(code, k)) k.exposed = true;
}

// ---- arrival

std::optional<X11KeyGate::Own> X11KeyGate::takeOwn(const Event& event) {
  if (event.via == Via::none || event.repeat) return std::nullopt;
  const auto found = std::find_if(own_.begin(), own_.end(), [&](const Own& own) {
    return own.keycode == event.keycode && own.press == event.press && own.via == event.via;
  });
  if (found == own_.end()) return std::nullopt;
  const Own own = *found;
  // The server handles the tap's events in order: an earlier one not seen by now went where the
  // tap does not hear it.
  own_.erase(own_.begin(), found + 1);
  return own;
}

// The master's state follows every key event, whatever it reaches.
X11KeyGate::Pending X11KeyGate::arrive(const Event& event) {
  Pending pending{event, takeOwn(event)};
  Key& k = key(event.keycode);
  newest_ = event.time;
  if (event.repeat) return pending;
  pending.dropped = k.master == event.press;
  k.master = event.press;
  if (pending.own) {
    if (!event.press && k.posted == event.via) k.posted.reset();
    return pending;
  }
  if (event.press) {
    // A lone tap of a modifier begins with a press while no other key is down.
    const bool alone = std::none_of(keys_.begin(), keys_.end(), [&](const auto& entry) {
      return entry.first != event.keycode && entry.second.hand.has_value();
    });
    tapCandidate_.reset();
    if (taps_.contains(event.keycode) && alone) tapCandidate_ = event.keycode;
    k.hand = event.via;
    k.typedOn = event.via;
    k.exposed = false;
  } else {
    k.hand.reset();
  }
  return pending;
}

void X11KeyGate::raw(const Event& event) {
  resolvePending();
  pending_ = arrive(event);
  // A release never starts a grab: with none of the tap's holding the keyboard, it went where it
  // went already.
  if (!event.press && grab_.kind == Grab::none && !awaitingHold_ && outside_.empty()) {
    resolvePending();
    converge();
  }
}

// A raw event whose grab event did not follow: it reached the application (or another client's
// grab), or went nowhere.
void X11KeyGate::resolvePending() {
  if (!pending_) return;
  const Pending pending = std::exchange(pending_, std::nullopt).value();
  const Event& event = pending.event;
  Key& k = key(event.keycode);
  if (pending.own) {
    ownAway(event, *pending.own, pending.dropped);
  } else if (!event.press) {
    // Reached the application, or went nowhere (a key the tap let go, or pressed again for it):
    // then the application is owed the release of a press it saw or is owed.
    if (!pending.dropped) {
      reachedDirectly(event);
    } else if (!k.taken && (k.app || owesPress(event.keycode))) {
      owed_.push_back(event);
    }
    handReleased(event);
  } else if (!pending.dropped) {
    reachedDirectly(event);
    k.taken = false;
    if (!foreign_ || !foreign_(event.keycode, event.state)) hear(event);
  } else if (!k.taken && releaseOwed(event.keycode)) {
    // Pressed again while the tap held it down for the application, whose release the application
    // is still owed: a new press, which the router decides, and which if it passes is owed after
    // that release. Nothing waits on it.
    decide(InHand{event, false, true});
  }
}

bool X11KeyGate::releaseOwed(unsigned keycode) const {
  return std::any_of(owed_.begin(), owed_.end(),
                     [&](const Event& owed) { return owed.keycode == keycode && !owed.press; });
}

void X11KeyGate::decide(const InHand& inHand) {
  deciding_.push_back(inHand);
  actions_.push_back(forRouter(Kind::decide, inHand.event));
  if (!inHand.event.repeat) key(inHand.event.keycode).heard = true;
}

// A key event of the hand's reached the application directly while the application was still
// owed earlier events of that key: to the application it stands for the first of them, and it is
// itself owed after the rest.
void X11KeyGate::reachedDirectly(const Event& event) {
  key(event.keycode).app = event.press;
  const auto first = std::find_if(owed_.begin(), owed_.end(),
                                  [&](const Event& owed) { return owed.keycode == event.keycode; });
  if (first == owed_.end()) return;
  owed_.erase(first);
  owed_.push_back(event);
}

void X11KeyGate::handReleased(const Event& event) {
  Key& k = key(event.keycode);
  hear(event);
  k.taken = false;
  k.exposed = false;
}

void X11KeyGate::grabbed(const Event& event) {
  Pending pending;
  if (pending_ && !event.repeat && sameKeyEvent(pending_->event, event)) {
    pending = std::exchange(pending_, std::nullopt).value();
    pending.event = event;
  } else {
    // No raw event: a repeat, or a grab of the tap's on the root window kept it.
    resolvePending();
    pending = arrive(event);
  }
  Key& k = key(event.keycode);

  // An early answer replayed the first grab made before the server read it, unless that grab is
  // younger than the answer's time (server times wrap around).
  if (const auto early = std::exchange(early_, std::nullopt);
      early && event.press && grab_.kind == Grab::none && event.serial < early->request &&
      static_cast<std::int32_t>(event.time - early->time) <= 0) {
    k.app = true;
    k.taken = false;
    hear(event, true);
    converge();
    return;
  }

  // The grab the event met: the one an ungrab or hold of the tap's, sent after the server made
  // the event, then ended.
  while (!outside_.empty() && outside_.front().request && event.serial >= *outside_.front().request)
    outside_.pop_front();
  const bool before = !outside_.empty();
  GrabState& met = before ? outside_.front().before : grab_;
  // A grab whose window went away ended with it.
  if (met.kind != Grab::none && event.window != met.window) {
    if (before)
      met = {};
    else
      closeGrab();
  }

  if (met.kind == Grab::passive && !event.press && event.keycode == met.activator) {
    // The release of the key that started the grab ends it; the keyboard waits on nothing. An
    // answer stamped a moment before the release frees the keyboard should the grab be another
    // one after all, and any grab started since ignores it.
    if (before) {
      met = {};
    } else {
      closeGrab();
      answer(Kind::sync, event, event.time - 1);
    }
    if (pending.own)
      ownAway(event, *pending.own, false);
    else
      handReleased(event);
    converge();
    return;
  }
  if (met.kind == Grab::none && !event.press) {
    // A release at a grab the gate did not know of: answered as above, it cannot keep the
    // keyboard frozen, and what the application has is brought back as for any key.
    if (!before) answer(Kind::sync, event, event.time - 1);
    if (pending.own) {
      ownAway(event, *pending.own, true);
    } else {
      if (k.app && !k.taken) owed_.push_back(event);
      handReleased(event);
    }
    converge();
    return;
  }

  if (event.window != 0 && (met.kind == Grab::none || met.kind == Grab::passive))
    front_ = event.window;
  const InHand inHand{event, met.kind == Grab::none, before};
  if (inHand.activation && !before) grab_ = {Grab::passive, event.keycode, event.window};
  if (pending.own) return ownArrived(inHand, *pending.own);

  if (!event.press) {
    // The hand's release, caught by the grab: the application's when it saw the press or is owed
    // it.
    const bool deliver = !k.taken && (k.app || owesPress(event.keycode));
    handReleased(event);
    return settle(inHand, !deliver);
  }
  if (!event.repeat && inHand.activation && withheld_.contains(event.keycode) &&
      (tapCandidate_ == event.keycode || !allKeys_)) {
    // A press that may begin a tap the program takes reaches no application, and the grab it
    // started ends at once: what follows (an Alt chord, an AltGr character, the window manager's
    // shortcuts) goes where it always went, with the modifier set. Its release reaches the
    // application.
    if (!before) answer(Kind::ungrab, event);
    closeGrab();
    k.taken = false;
    k.exposed = true;
    hear(event);
    converge();
    return;
  }
  decide(inHand);
}

void X11KeyGate::decided(bool swallow) {
  if (deciding_.empty()) return;
  const InHand inHand = deciding_.front();
  deciding_.pop_front();
  if (!inHand.event.repeat) key(inHand.event.keycode).taken = swallow;
  settle(inHand, swallow);
}

// The answer for the hand's event the keyboard waits on: it reaches the application now, once
// no grab holds the keyboard, or never.
void X11KeyGate::settle(const InHand& inHand, bool swallow) {
  const Event& event = inHand.event;
  Key& k = key(event.keycode);
  if (!swallow && !inHand.gone && (canEndWithout(event.keycode) || !canPost(k))) {
    answer(Kind::replay, event);
    closeGrab();
    k.app = event.press;
  } else {
    // A repeat the application misses is no loss.
    if (!swallow && !event.repeat) owed_.push_back(event);
    if (!inHand.gone) swallowHere(inHand);
  }
  converge();
}

// Answers the event the keyboard waits on so that it is gone. The grab stays while the tap's own
// events are to reach it, and becomes the tap's own hold when events of the tap's must reach it
// and its end is not the tap's.
void X11KeyGate::swallowHere(const InHand& inHand) {
  const Event& event = inHand.event;
  const Key& k = key(event.keycode);
  if (grab_.kind == Grab::hold) {
    if (!needsFixes() && !anyInFlight() && !keepsGrab() && owed_.empty()) {
      answer(Kind::ungrab, event);
      closeGrab();
    } else {
      answer(Kind::sync, event);
    }
    return;
  }
  // A grab on the root window keeps raw events from the tap, so a release that goes nowhere
  // meanwhile would go unheard: the tap holds the keyboard on the focused window instead.
  if (inHand.activation && event.press && !event.repeat && k.taken && grab_.window != root_ &&
      !anyDivergence(event.keycode) && !ownInFlight()) {
    answer(Kind::sync, event);
    // Let go at once: the release of the tap's own ends the grab. A key that cannot be let go
    // keeps the grab until the hand releases it.
    if (diverges(event.keycode, k)) post(event.keycode, false, Purpose::fix);
    return;
  }
  // The passive grab is the right place for the tap's own events only when none is on its way
  // but the release that lets its key go, which ends it.
  const bool othersOnTheirWay = std::any_of(own_.begin(), own_.end(), [&](const Own& own) {
    if (own.purpose == Purpose::clean) return false;
    if (own.purpose == Purpose::fix && key(own.keycode).master == own.press) return false;
    return inHand.activation || own.purpose != Purpose::fix || own.press ||
           own.keycode != grab_.activator;
  });
  if (!needsFixes() && !othersOnTheirWay && !(grab_.window == root_ && !inHand.activation)) {
    // Nothing to bring back: a grab started by a repeat or by a key of the application's has no
    // use; one whose end is on its way goes on.
    if (inHand.activation) {
      answer(Kind::ungrab, event);
      closeGrab();
    } else {
      answer(Kind::sync, event);
    }
    return;
  }
  answer(Kind::hold, event);
  grab_.kind = Grab::hold;
}

// An event of the tap's own, delivered to a grab of the tap's.
void X11KeyGate::ownArrived(const InHand& inHand, const Own& own) {
  const Event& event = inHand.event;
  Key& k = key(event.keycode);
  if (own.purpose == Purpose::owed) {
    popOwed(event);
    // The events owed after it go on once it is through, each in a hold of its own.
    const bool others = grab_.kind == Grab::hold ? anyInFlight() : ownInFlight();
    if (!inHand.gone && (inHand.activation || (!others && !anyDivergence(event.keycode)))) {
      // Pressed for the application, it met the mode's grab: on to the application.
      answer(Kind::replay, event);
      closeGrab();
      k.app = event.press;
    } else {
      // Still owed, first: the master has it now, so it is brought back before it goes again.
      owed_.push_front(event);
      if (!inHand.gone) swallowHere(inHand);
    }
  } else if (inHand.activation) {
    // Meant for a grab that had ended already: it is gone all the same.
    if (!inHand.gone) answer(Kind::ungrab, event);
    closeGrab();
  } else if (!inHand.gone) {
    swallowHere(inHand);
  }
  converge();
}

// An event of the tap's own that reached no grab of the tap's: the application has it, unless
// it went nowhere.
void X11KeyGate::ownAway(const Event& event, const Own& own, bool dropped) {
  if (dropped) return;
  key(event.keycode).app = event.press;
  if (own.purpose == Purpose::owed) popOwed(event);
}

void X11KeyGate::popOwed(const Event& event) {
  if (!owed_.empty() && owed_.front().keycode == event.keycode &&
      owed_.front().press == event.press)
    owed_.pop_front();
}

// While a hold of the tap's keeps the keyboard, brings the master to what the application has,
// then posts what the application is owed, one event at a time: each reaches the hold, and the
// answer that lets it on to the application ends the hold, so that nothing of the hand's for the
// same key comes between. Takes such a hold when a key needs it and nothing of the tap's holds the
// keyboard.
void X11KeyGate::converge() {
  // A raw event whose grab event may still follow changes what the application has.
  if (!deciding_.empty() || awaitingHold_ || pending_) return;
  // A grab that must end while the keyboard waits on nothing ends after a round trip brought
  // nothing new (`quiet`): a press the server froze meanwhile ends it as an answer instead.
  if (grab_.kind == Grab::passive || idleGrab()) return;
  if (grab_.kind == Grab::none && (needsFixes() || !owed_.empty() || needsCleaning()))
    return outside(Kind::hold);
  if (grab_.kind != Grab::hold) return;
  for (auto& [code, k] : keys_)
    if (diverges(code, k) && !fixInFlight(code)) post(code, k.app, Purpose::fix);
  if (anyInFlight()) return;
  while (!owed_.empty()) {
    const Event event = owed_.front();
    const Key& k = key(event.keycode);
    if (k.app != event.press && k.master == k.app && canPost(k)) {
      post(event.keycode, event.press, Purpose::owed);
      return;
    }
    owed_.pop_front();
  }
  // A press of the tap's whose key is up again is balanced on its keyboard, in a hold: should the
  // hand press the key again meanwhile, the balancing release reaches the hold after it, not the
  // application.
  for (auto& [code, k] : keys_)
    if (dirty(code, k)) post(code, false, Purpose::clean, k.posted);
}

bool X11KeyGate::dirty(unsigned keycode, const Key& k) const {
  return k.posted && !k.master && !k.hand &&
         std::none_of(own_.begin(), own_.end(),
                      [&](const Own& own) { return own.keycode == keycode; });
}

bool X11KeyGate::needsCleaning() const {
  return std::any_of(keys_.begin(), keys_.end(),
                     [&](const auto& entry) { return dirty(entry.first, entry.second); });
}

// ---- other input

void X11KeyGate::quiet() {
  resolvePending();
  early_.reset();
  for (Own& own : own_)
    ++own.quiets;
  std::erase_if(own_, [](const Own& own) { return own.quiets >= ownQuietsLost; });
  converge();
  if (deciding_.empty() && !awaitingHold_ && idleGrab()) {
    outside(Kind::ungrab);
    converge();
  }
}

// A grab of the tap's that nothing needs any more and no answer can end: a hold whose events have
// all come or gone nowhere, or one a key keeps that a click needs ended.
bool X11KeyGate::idleGrab() const {
  if (grab_.kind == Grab::passive) return endAnyway_ && !ownInFlight();
  return grab_.kind == Grab::hold && !needsFixes() && own_.empty() && owed_.empty() &&
         !needsCleaning() && (!keepsGrab() || endAnyway_);
}

void X11KeyGate::windowGone(unsigned long window) {
  resolvePending();
  for (Outside& entry : outside_)
    if (entry.before.window == window) entry.before = {};
  if (grab_.kind != Grab::none && grab_.window == window) closeGrab();
  if (window == front_) {
    // The window that goes on has none of the keys down: a modifier the hand holds stays down in
    // the server, as it does when the focus moves, and its release reaches the window in front;
    // any other key is let go, so that none of its events reach a window that never saw it.
    for (auto& [code, k] : keys_) {
      if (!k.app) continue;
      k.app = false;
      if (k.hand && (modifiers_[code] || !canPost(k))) k.exposed = true;
    }
    front_ = 0;
  }
  converge();
}

void X11KeyGate::button() {
  tapCandidate_.reset();
}

void X11KeyGate::freeWanted() {
  // A key that keeps the grab (typed through X's synthetic keyboard on a server with no real one)
  // is awaited a moment; then its grab ends as it is, and its release reaches the application.
  if (grab_.kind != Grab::none && keepsGrab() && !deadline_) deadline_ = now_ + releaseWait;
}

void X11KeyGate::tick(double now) {
  now_ = now;
  if (!deadline_ || now < *deadline_) return;
  deadline_.reset();
  if (grab_.kind == Grab::none || !keepsGrab()) return;
  endAnyway_ = true;
  converge();
}

void X11KeyGate::sent(std::uint64_t request) {
  for (Outside& entry : outside_) {
    if (entry.request) continue;
    entry.request = request;
    break;
  }
}

void X11KeyGate::held(unsigned long window) {
  awaitingHold_ = false;
  holding_.reset();
  grab_.kind = Grab::hold;
  grab_.window = window;
  converge();
}

void X11KeyGate::holdFailed() {
  awaitingHold_ = false;
  if (holding_) {
    // The grab the event met still waits for an answer: the tap's own events reach it, and the
    // grab goes on until its key is released.
    const InHand inHand = std::exchange(holding_, std::nullopt).value();
    answer(Kind::sync, inHand.event);
    grab_.kind = Grab::passive;
    for (auto& [code, k] : keys_)
      if (diverges(code, k) && !fixInFlight(code)) post(code, k.app, Purpose::fix);
    return;
  }
  // Another client holds the keyboard: nothing can be brought back meanwhile.
  if (!outside_.empty()) outside_.pop_back();
  grab_ = {};
  for (auto& [code, k] : keys_)
    if (k.master != k.app) k.exposed = true;
}

bool X11KeyGate::canAnswerEarly(unsigned keycode) const {
  const auto found = keys_.find(keycode);
  return !early_ && grab_.kind == Grab::none && deciding_.empty() && own_.empty() &&
         owed_.empty() && outside_.empty() && pending_ && pending_->event.keycode == keycode &&
         pending_->event.press && !pending_->own && !pending_->dropped && !anyDivergence(keycode) &&
         (found == keys_.end() || !found->second.heard);
}

void X11KeyGate::answeredEarly(std::uint64_t request, std::uint32_t time) {
  early_ = Early{request, time};
}

void X11KeyGate::resync(const std::bitset<256>& down) {
  reset();
  for (unsigned code = 0; code < down.size(); ++code) {
    if (!down[code]) continue;
    Key& k = key(code);
    k.master = k.app = true;
    k.hand = Via::none;
  }
}

void X11KeyGate::reset() {
  keys_.clear();
  grab_ = {};
  own_.clear();
  owed_.clear();
  pending_.reset();
  deciding_.clear();
  holding_.reset();
  awaitingHold_ = false;
  early_.reset();
  outside_.clear();
  tapCandidate_.reset();
  deadline_.reset();
  endAnyway_ = false;
}

std::set<unsigned> X11KeyGate::heldKeys() const {
  std::set<unsigned> held;
  for (const auto& [code, k] : keys_)
    if (k.heard) held.insert(code);
  return held;
}

}  // namespace tovrel::platform::x11
