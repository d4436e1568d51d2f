#include "platform/x11/input/X11KeyGate.hpp"

#include <algorithm>

namespace tovrel::platform::x11 {

namespace {

// How long a posted event may take to come back before it counts as lost. A posted event that
// reached no grab of ours (the hand's release overtook it on a loaded server) never comes back,
// and while it is expected it would take a script's or an on-screen keyboard's next press of the
// same key for the tap's own: a busy server takes milliseconds, not a quarter of a second.
constexpr double ownEventLifetime = 0.25;

}  // namespace

bool X11KeyGate::rawPress(unsigned keycode, bool grabEventFollows) {
  if (grabEventFollows) return false;
  passed_.insert(keycode);
  heard_.insert(keycode);
  return true;
}

bool X11KeyGate::rawRelease(unsigned keycode) {
  passed_.erase(keycode);
  origins_.erase(keycode);
  releaseChased(keycode);
  return heard_.erase(keycode) > 0;
}

void X11KeyGate::releaseChased(unsigned keycode) {
  const auto chased = chased_.find(keycode);
  if (chased == chased_.end()) return;
  const Post release{keycode, false, false, chased->second};
  chased_.erase(chased);
  // Released before its turn to be pressed again: the application gets the whole key, after the
  // holder is let go. A release posted now would come before that press and leave the key down.
  if (std::any_of(repress_.begin(), repress_.end(),
                  [&](const Post& press) { return press.keycode == keycode; }))
    releaseAfter_.push_back(release);
  else
    settle_.push_back(release);
}

X11KeyGate::Origin X11KeyGate::originOf(unsigned keycode) const {
  const auto found = origins_.find(keycode);
  return found == origins_.end() ? Origin{} : found->second;
}

bool X11KeyGate::ownRaw(unsigned keycode, bool press, Via via, double now) {
  now_ = now;
  if (via == Via::none) return false;
  const Post event{keycode, press, false, via};
  auto found = std::find_if(expected_.begin(), expected_.end(), [&](const Expected& expected) {
    return expected.rawDue && expected.post == event;
  });
  if (found == expected_.end()) return false;
  // The server handles posted events in order: an earlier one not seen raw never will be.
  for (auto earlier = expected_.begin(); earlier <= found; ++earlier)
    earlier->rawDue = false;
  dropSettled();
  return true;
}

std::optional<X11KeyGate::Expected> X11KeyGate::takeOwnGrabEvent(const Post& event) {
  if (event.via == Via::none) return std::nullopt;
  auto found = std::find_if(expected_.begin(), expected_.end(), [&](const Expected& expected) {
    return expected.grabDue && expected.post == event;
  });
  if (found == expected_.end()) return std::nullopt;
  const Expected own = *found;
  // A raw event comes before its grab event or not at all, and earlier own events that reached no
  // grab (a press X dropped as the key was down) never will.
  for (auto earlier = expected_.begin(); earlier <= found; ++earlier)
    earlier->rawDue = earlier->grabDue = false;
  dropSettled();
  return own;
}

void X11KeyGate::dropSettled() {
  while (!expected_.empty() && !expected_.front().rawDue && !expected_.front().grabDue)
    expected_.pop_front();
}

std::optional<X11KeyGate::Answer> X11KeyGate::grabPress(unsigned keycode, Origin origin) {
  if (const auto own = takeOwnGrabEvent({keycode, true, false, origin.via})) {
    if (own->post.held) return Answer::none;
    if (own->repress) {
      // The chased key, pressed again for the application: as if never grabbed.
      grabStarter_.reset();
      lettingGo_ = false;
      return Answer::replay;
    }
    // The press that goes with a let-go release. When the key was up already it starts a grab
    // of its own, which that release ends.
    if (!grabStarter_) {
      grabStarter_ = keycode;
      starterOrigin_ = {};
      lettingGo_ = true;
    }
    return Answer::swallow;
  }
  if (!grabStarter_) {
    grabStarter_ = keycode;
    starterOrigin_ = origin;
    lettingGo_ = false;
  }
  heard_.insert(keycode);
  origins_[keycode] = origin;
  return std::nullopt;
}

X11KeyGate::Answer X11KeyGate::answerPress(unsigned keycode, bool swallowed) {
  const Origin origin = originOf(keycode);
  const Via via = through(origin);
  const bool underAnotherKey = grabStarter_ && *grabStarter_ != keycode;
  if (swallowed) {
    passed_.erase(keycode);
    // The grab stays with the key that holds it; this one is let go at once.
    if (underAnotherKey && canLetGo(origin)) {
      settle_.push_back({keycode, true, true, via});
      settle_.push_back({keycode, false, true, via});
    }
    return Answer::swallow;
  }
  const bool holderCanGo =
      lettingGo_ || holderLetGoWanted_ || (canLetGo(starterOrigin_) && isDown(*grabStarter_));
  if (underAnotherKey && canPressAgain(origin) && holderCanGo) {
    settle_.push_back({keycode, true, true, via});
    settle_.push_back({keycode, false, true, via});
    if (!lettingGo_) holderLetGoWanted_ = true;
    repress_.push_back({keycode, true, false, via});
    chased_[keycode] = via;
    return Answer::swallow;
  }
  passed_.insert(keycode);
  // Replaying releases the grab: the next press starts a new one.
  grabStarter_.reset();
  lettingGo_ = false;
  return Answer::replay;
}

bool X11KeyGate::canAnswerEarly(unsigned keycode) const {
  return !early_ && !grabStarter_ && !hasPosts() && expected_.empty() && !heard_.contains(keycode);
}

void X11KeyGate::answeredEarly(std::uint64_t request, std::uint32_t time) {
  early_ = Early{request, time};
}

bool X11KeyGate::grabPressAnsweredEarly(unsigned keycode, Origin origin, std::uint64_t serial,
                                        std::uint32_t time) {
  const std::optional<Early> early = std::exchange(early_, std::nullopt);
  // Server times wrap around: the grab is younger when its time lies less than half the range
  // after the answer's.
  if (!early || serial >= early->request || static_cast<std::int32_t>(time - early->time) > 0)
    return false;
  heard_.insert(keycode);
  passed_.insert(keycode);
  origins_[keycode] = origin;
  return true;
}

X11KeyGate::Release X11KeyGate::grabRelease(unsigned keycode, Via via) {
  Release release;
  if (const auto own = takeOwnGrabEvent({keycode, false, false, via})) {
    if (own->post.held) return release;
    if (grabStarter_ == keycode) {
      grabEnded();
      return release;
    }
    release.answer = Answer::swallow;
    return release;
  }
  release.heard = heard_.erase(keycode) > 0;
  bool passed = passed_.erase(keycode) > 0;
  origins_.erase(keycode);
  releaseChased(keycode);
  if (grabStarter_ == keycode) {
    grabEnded();
    release.answer = Answer::none;
  } else if (passed) {
    // Its press reached the application before this grab began: so must its release, or the
    // application keeps the key down.
    grabEnded();
    release.answer = Answer::replay;
  } else {
    release.answer = Answer::swallow;
  }
  return release;
}

X11KeyGate::Freeing X11KeyGate::freeInput() {
  if (!grabStarter_) return Freeing::free;
  if (lettingGo_ || holderLetGoWanted_) return Freeing::posted;
  if (canLetGo(starterOrigin_)) {
    // Released already: its release, on its way, ends the grab.
    if (!isDown(*grabStarter_)) return Freeing::waiting;
    holderLetGoWanted_ = true;
    return Freeing::posted;
  }
  if (!starterOrigin_.modifier) return Freeing::waiting;
  grabEnded();
  return Freeing::ungrab;
}

void X11KeyGate::expect(std::vector<Post>& posts, Post post, bool repress) {
  posts.push_back(post);
  expected_.push_back({post, now_, repress});
}

std::vector<X11KeyGate::Post> X11KeyGate::takePosts() {
  const std::size_t first = expected_.size();
  std::vector<Post> posts;
  for (Post settled : std::exchange(settle_, {})) {
    settled.held = settled.swallowed && !grabStarter_;
    expect(posts, settled);
  }
  // A holder released meanwhile ended the grab by itself.
  if (std::exchange(holderLetGoWanted_, false) && grabStarter_ && !lettingGo_) {
    const Via via = through(starterOrigin_);
    expect(posts, {*grabStarter_, true, true, via});
    expect(posts, {*grabStarter_, false, true, via});
    lettingGo_ = true;
  }
  for (const Post& press : std::exchange(repress_, {})) {
    expect(posts, press, true);
    if (chased_.contains(press.keycode)) passed_.insert(press.keycode);
  }
  for (const Post& release : std::exchange(releaseAfter_, {}))
    expect(posts, release);
  // A release reaches a grab only while one is held: one posted outside any grab, with no press
  // before it that could start one, goes to the application and never comes to a grab; still
  // awaited, it would be taken for a later post of the same key.
  bool grabPossible = grabStarter_.has_value();
  for (auto own = expected_.begin() + static_cast<std::ptrdiff_t>(first); own != expected_.end();
       ++own) {
    const Post& post = own->post;
    if (post.held) continue;
    if (post.press) {
      grabPossible = true;
    } else {
      if (!grabPossible) own->grabDue = false;
      // The holder's own release ends the grab.
      if (post.swallowed && grabStarter_ == post.keycode) grabPossible = false;
    }
  }
  return posts;
}

void X11KeyGate::holdFailed() {
  for (Expected& own : expected_)
    if (own.post.held) own.grabDue = false;
  dropSettled();
}

bool X11KeyGate::ownReleaseMissedGrab() const {
  return lettingGo_ && std::any_of(expected_.begin(), expected_.end(), [&](const Expected& own) {
           return own.post.keycode == *grabStarter_ && !own.post.press && !own.rawDue &&
                  own.grabDue;
         });
}

void X11KeyGate::grabMissed() {
  if (!ownReleaseMissedGrab()) return;
  grabEnded();
  for (Expected& own : expected_)
    own.grabDue = false;
  dropSettled();
}

void X11KeyGate::expire(double now) {
  now_ = now;
  const auto startersRelease = [&](const Post& post) {
    return !post.press && grabStarter_ == post.keycode;
  };
  bool lost = false;
  while (!expected_.empty() && now - expected_.front().postedAt > ownEventLifetime) {
    lost = lost || startersRelease(expected_.front().post);
    expected_.pop_front();
  }
  // The release that was to end the grab never came: nothing is held any more. An older one of
  // the same key, lost, says nothing while the holder's own is still on its way.
  if (lost && lettingGo_ &&
      std::none_of(expected_.begin(), expected_.end(),
                   [&](const Expected& own) { return startersRelease(own.post); }))
    grabEnded();
}

void X11KeyGate::grabEnded() {
  grabStarter_.reset();
  lettingGo_ = false;
  holderLetGoWanted_ = false;
}

void X11KeyGate::reset() {
  grabEnded();
  early_.reset();
  heard_.clear();
  passed_.clear();
  origins_.clear();
  settle_.clear();
  repress_.clear();
  releaseAfter_.clear();
  expected_.clear();
  chased_.clear();
}

}  // namespace tovrel::platform::x11
