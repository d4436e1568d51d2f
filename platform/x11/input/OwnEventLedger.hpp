#pragma once

// X events carry no field for the program's marker, so the output side writes down every event it
// is about to post and the tap recognises an incoming synthetic event by matching the oldest entry.
// Synthetic input that some other code posts (a test driver, the self-test) is not in the ledger
// and is treated like hardware input.

#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>

namespace tovrel::platform::x11 {

class OwnEventLedger {
 public:
  enum class Kind : std::uint8_t { keyPress, keyRelease, buttonPress, buttonRelease, motion };

  // How long an entry waits for its event; an event the server dropped must not mark a later one.
  static constexpr double lifetime = 1.0;

  // Nothing is recorded while no tap hears the events: an entry whose event nobody reads would
  // stay for its whole lifetime and take another client's same event for the program's own.
  void record(Kind kind, unsigned detail, std::int64_t userData, double now);
  // A tap starts hearing raw input (once the server has its selection), or stops; while none does,
  // the ledger is empty.
  void listen(bool listening);
  // For a synthetic event just received: when it matches the oldest live entry of its kind and
  // detail, that entry is taken and its user data returned. Motion matches on kind alone.
  std::optional<std::int64_t> match(Kind kind, unsigned detail, double now);
  std::size_t size() const;

 private:
  struct Entry {
    Kind kind;
    unsigned detail;
    std::int64_t userData;
    double time;
  };
  void expire(double now);

  mutable std::mutex mutex_;
  std::deque<Entry> entries_;
  int listeners_ = 0;
};

}  // namespace tovrel::platform::x11
