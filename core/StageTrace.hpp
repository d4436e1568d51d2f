#pragma once

// Where one discovery's time goes, stage by stage, for the benchmarks and developer tools that
// ask. Off unless switched on; then every scope adds its own time (less that of the scopes opened
// inside it on the same thread) to its stage. A scope whose work mixes stages (a batch of questions
// of several kinds sent together) splits its own time among them by weight: the price of a
// question is its message, not its answer.

#include <array>
#include <chrono>
#include <cstddef>
#include <string_view>

namespace tovrel::stageTrace {

enum class Stage : std::size_t {
  greeting,    // finding the application on the bus, its toolkit, waking its tree
  window,      // matching its front window and where it lies
  walk,        // role, states, frame and children of the nodes walked
  interfaces,  // which interfaces each node offers
  details,     // names, actions and texts of the nodes that may become targets
  covering,    // what covers the window
  extras,      // the menu bar, status items, dock and banners outside it
  count,
};
inline constexpr std::size_t stageCount = static_cast<std::size_t>(Stage::count);

std::string_view name(Stage stage);

void enable(bool on);
bool enabled();

// Seconds and messages per stage since the last take, then zero again.
struct Figures {
  std::array<double, stageCount> seconds{};
  std::array<long, stageCount> messages{};
};
Figures take();

class Scope {
 public:
  explicit Scope(Stage stage);
  ~Scope();
  Scope(const Scope&) = delete;
  Scope& operator=(const Scope&) = delete;

  // Counts messages of `stage` sent within the scope; once any are, the scope's own time goes to
  // the stages in proportion to their messages.
  void weigh(Stage stage, long messages);

 private:
  bool on_;
  Stage stage_;
  Scope* outer_ = nullptr;
  std::chrono::steady_clock::time_point start_;
  double inner_ = 0;
  std::array<long, stageCount> messages_{};
  long weighed_ = 0;
};

}  // namespace tovrel::stageTrace
