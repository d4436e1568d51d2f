#pragma once

// A small value model of what the X server does with key events, a client's synchronous passive
// key grabs and its active grab, as the input tap meets them: the master keyboard's one state per
// key (a press of a key it has down, a release of one it has up, goes nowhere), each key event
// coming raw first, then to a grab or the focused window; a grab started by a press freezing the
// keyboard until answered, later events queued meanwhile; replay; the release of the key that
// started a passive grab ending it; raw events kept from a client during its own grab on the root
// window; a grab replaced by the client's own active grab, or ended with its window. Two slave
// keyboards: the keyboard device and X's synthetic keyboard, each with the keys posted through it.

#include <algorithm>
#include <array>
#include <bitset>
#include <cstdint>
#include <deque>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace tovrel::platform::x11::model {

enum class Slave { device, xtest };

// What the tap's connection receives: a raw key event, a key event at a grab of the tap's, or the
// news that a window went away (the tap watches the windows it grabs keys on).
struct TapEvent {
  enum class Kind { raw, key, unmapped } kind = Kind::key;
  unsigned keycode = 0;
  bool press = false;
  bool repeat = false;
  Slave source = Slave::device;
  std::uint32_t time = 0;
  std::uint64_t serial = 0;
  unsigned long window = 0;
};

// What the focused application receives.
struct AppEvent {
  unsigned keycode = 0;
  bool press = false;
  bool repeat = false;
  unsigned long window = 0;
  bool menu = false;  // through another client's grab, a menu the application opened
};

class XServerModel {
 public:
  static constexpr unsigned long root = 1;
  static constexpr unsigned long firstWindow = 2;
  static constexpr unsigned long secondWindow = 3;

  explicit XServerModel(std::bitset<256> modifiers) : modifiers_(modifiers) {}

  // ---- the tap's passive grabs: every key on every application window, or keys on the root
  void grabAllKeys(bool on) { allKeys_ = on; }
  void grabOnRoot(std::set<unsigned> keys) { rootKeys_ = std::move(keys); }

  // ---- the world
  void advance(std::uint32_t ms) { now_ += ms; }
  std::uint32_t now() const { return now_; }
  void hand(Slave slave, unsigned keycode, bool press) { slaveEvent(slave, keycode, press); }
  // The server repeats the last key pressed while it is held (not a modifier).
  // (Its delay is far longer than the tap takes to answer: no release of the key waits in the
  // queue by then.)
  void repeat() {
    if (repeatKey_ == 0 || !master_[repeatKey_]) return;
    if (std::any_of(queue_.begin(), queue_.end(), [&](const Queued& queued) {
          return !queued.raw && !queued.press && queued.keycode == repeatKey_;
        }))
      return;
    masterEvent({false, repeatKey_, true, true, Slave::device, now_});
  }
  // The focused window goes away; the other one gets the focus. That takes the window's client
  // and the window manager a moment: presses either side of it are a millisecond apart at least.
  void unmapFocused() {
    const unsigned long gone = focus_;
    ++now_;
    for (unsigned keycode = 0; keycode < 256; ++keycode)
      if (master_[keycode]) heldAcross_.insert(keycode);
    mapped_.erase(gone);
    TapEvent news;
    news.kind = TapEvent::Kind::unmapped;
    news.serial = handled_;
    news.window = gone;
    tapInbox_.push_back(news);
    focus_ = gone == firstWindow ? secondWindow : firstWindow;
    if (grab_.active && grab_.window == gone) deactivate();
    ++now_;
  }

  // ---- the tap's requests, handled one at a time in the order sent
  enum class Allow { sync, replay };
  void allow(Allow mode, std::uint32_t time) {
    ++handled_;
    // Ignored unless a grab of the tap's holds the keyboard frozen, and stamped within the grab.
    if (!grab_.active || !grab_.ours || !frozen_) return;
    if (static_cast<std::int32_t>(time - grab_.time) < 0 ||
        static_cast<std::int32_t>(time - now_) > 0)
      return;
    if (time != frozen_->time) ++misapplied_;
    ++answers_;
    const Queued event = *frozen_;
    frozen_.reset();
    if (mode == Allow::sync) {
      play();
      return;
    }
    const unsigned long window = grab_.window;
    grab_ = {};
    replayed(event, window);
    play();
  }
  void ungrab() {
    ++handled_;
    if (!grab_.active || !grab_.ours) return;
    if (frozen_) ++answers_;
    deactivate();
  }
  // An active synchronous grab of the tap's on `window` from `time`, told to go on at once: it
  // replaces the tap's passive grab (whatever that grab had frozen is gone). False when another
  // client holds the keyboard or the window is not there.
  bool hold(unsigned long window, std::uint32_t time) {
    ++handled_;
    if (grab_.active && !grab_.ours) return false;
    if (window != root && !mapped_.contains(window)) return false;
    if (frozen_) ++answers_;
    frozen_.reset();
    grab_ = {true, true, false, 0, window, time};
    play();
    return true;
  }
  void post(Slave slave, unsigned keycode, bool press) {
    ++handled_;
    slaveEvent(slave, keycode, press);
  }
  // Another client takes the keyboard, as an open menu does, and lets it go.
  bool otherGrab(bool on) {
    if (on) {
      if (grab_.active) return false;
      grab_ = {true, false, false, 0, focus_, now_};
      otherGrabbed_ = true;
      return true;
    }
    if (grab_.active && !grab_.ours) deactivate();
    return true;
  }
  bool otherHolds() const { return grab_.active && !grab_.ours; }
  bool otherGrabbed() const { return otherGrabbed_; }

  // ---- what came of it
  std::deque<TapEvent>& tapInbox() { return tapInbox_; }
  const std::vector<AppEvent>& application() const { return application_; }
  bool tapGrabs() const { return grab_.active && grab_.ours; }
  bool frozen() const { return frozen_.has_value() || !queue_.empty(); }
  std::uint64_t handled() const { return handled_; }
  int answers() const { return answers_; }
  int freezes() const { return freezes_; }
  int misapplied() const { return misapplied_; }
  bool masterDown(unsigned keycode) const { return master_[keycode]; }
  bool anyDown() const { return master_.any(); }
  unsigned long focus() const { return focus_; }
  // Keys down when the focused window went away: the next one may see their release alone, as it
  // does whenever the focus moves while a key is held.
  const std::set<unsigned>& heldAcross() const { return heldAcross_; }
  bool unmapped() const { return !mapped_.contains(firstWindow); }

 private:
  struct Queued {
    bool raw = false;
    unsigned keycode = 0;
    bool press = false;
    bool repeat = false;
    Slave source = Slave::device;
    std::uint32_t time = 0;
  };
  struct Grab {
    bool active = false;
    bool ours = false;
    bool passive = false;
    unsigned activator = 0;
    unsigned long window = 0;
    std::uint32_t time = 0;
  };

  void slaveEvent(Slave slave, unsigned keycode, bool press) {
    auto& posted = posted_[static_cast<int>(slave)];
    // A slave drops a press of a key it has down when the key does not repeat (a modifier).
    if (press && posted[keycode] && modifiers_[keycode]) return;
    posted[keycode] = press;
    masterEvent({true, keycode, press, false, slave, now_});
    masterEvent({false, keycode, press, false, slave, now_});
  }

  void masterEvent(const Queued& event) {
    // A release queued behind a frozen event stops the key's repeat at once.
    if (!event.raw && !event.press && repeatKey_ == event.keycode) repeatKey_ = 0;
    if (frozen_ || !queue_.empty()) {
      queue_.push_back(event);
      return;
    }
    process(event);
  }

  void play() {
    while (!queue_.empty() && !frozen_) {
      const Queued event = queue_.front();
      queue_.pop_front();
      process(event);
    }
  }

  void toTap(const Queued& event, bool raw, unsigned long window) {
    tapInbox_.push_back({raw ? TapEvent::Kind::raw : TapEvent::Kind::key, event.keycode,
                         event.press, event.repeat, event.source, event.time, handled_, window});
  }

  void process(const Queued& event) {
    const unsigned k = event.keycode;
    if (event.raw) {
      // A client gets no raw events during its own grab on the root window.
      if (!(grab_.active && grab_.ours && grab_.window == root)) toTap(event, true, 0);
      return;
    }
    if (event.press) {
      if (master_[k] && !event.repeat) return;
      master_[k] = true;
      if (!modifiers_[k]) repeatKey_ = k;
    } else {
      if (!master_[k]) return;
      master_[k] = false;
      if (repeatKey_ == k) repeatKey_ = 0;
    }
    if (!grab_.active) {
      if (event.press && passiveGrab(event, 0)) return;
      application_.push_back({k, event.press, event.repeat, focus_, true});
      return;
    }
    if (!grab_.ours) {
      // Another client's grab (a menu the application opened): the application's all the same.
      application_.push_back({k, event.press, event.repeat, focus_, true});
      return;
    }
    if (grab_.passive && !event.press && k == grab_.activator) {
      toTap(event, false, grab_.window);
      deactivate();
      return;
    }
    toTap(event, false, grab_.window);
    freeze(event);
  }

  // The tap's passive grabs, from the outermost window in; a replayed press skips the grab
  // window and those above it.
  bool passiveGrab(const Queued& event, unsigned long replayedFrom) {
    unsigned long window = 0;
    if (replayedFrom == 0 && rootKeys_.contains(event.keycode))
      window = root;
    else if (allKeys_ && mapped_.contains(focus_) && (replayedFrom == 0 || replayedFrom == root))
      window = focus_;
    if (window == 0) return false;
    grab_ = {true, true, true, event.keycode, window, event.time};
    toTap(event, false, window);
    freeze(event);
    return true;
  }

  void freeze(const Queued& event) {
    frozen_ = event;
    ++freezes_;
  }

  void replayed(const Queued& event, unsigned long window) {
    if (event.press && passiveGrab(event, window)) return;
    application_.push_back({event.keycode, event.press, event.repeat, focus_});
  }

  void deactivate() {
    grab_ = {};
    frozen_.reset();
    play();
  }

  std::bitset<256> modifiers_;
  std::array<std::bitset<256>, 2> posted_{};
  std::bitset<256> master_;
  unsigned repeatKey_ = 0;
  Grab grab_;
  std::optional<Queued> frozen_;
  std::deque<Queued> queue_;
  std::set<unsigned long> mapped_{firstWindow, secondWindow};
  std::set<unsigned> heldAcross_;
  bool otherGrabbed_ = false;
  unsigned long focus_ = firstWindow;
  bool allKeys_ = false;
  std::set<unsigned> rootKeys_;
  std::uint32_t now_ = 1000;
  std::uint64_t handled_ = 0;
  std::deque<TapEvent> tapInbox_;
  std::vector<AppEvent> application_;
  int answers_ = 0;
  int freezes_ = 0;
  int misapplied_ = 0;
};

}  // namespace tovrel::platform::x11::model
