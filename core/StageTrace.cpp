#include "core/StageTrace.hpp"

#include <atomic>
#include <mutex>

namespace tovrel::stageTrace {
namespace {

std::atomic<bool> on{false};
std::mutex mutex;
Figures figures;
thread_local Scope* innermost = nullptr;

}  // namespace

std::string_view name(Stage stage) {
  switch (stage) {
    case Stage::greeting:
      return "greeting and toolkit";
    case Stage::window:
      return "window match";
    case Stage::walk:
      return "walk";
    case Stage::interfaces:
      return "interface questions";
    case Stage::details:
      return "detail questions";
    case Stage::covering:
      return "covering";
    case Stage::extras:
      return "extras";
    case Stage::count:
      break;
  }
  return "";
}

void enable(bool enabled) {
  on.store(enabled);
}

bool enabled() {
  return on.load(std::memory_order_relaxed);
}

Figures take() {
  std::lock_guard lock(mutex);
  Figures taken = figures;
  figures = {};
  return taken;
}

Scope::Scope(Stage stage) : on_(enabled()), stage_(stage) {
  if (!on_) return;
  outer_ = innermost;
  innermost = this;
  start_ = std::chrono::steady_clock::now();
}

Scope::~Scope() {
  if (!on_) return;
  const double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  innermost = outer_;
  if (outer_) outer_->inner_ += elapsed;
  const double own = elapsed - inner_;
  std::lock_guard lock(mutex);
  if (weighed_ <= 0) {
    figures.seconds[static_cast<std::size_t>(stage_)] += own;
    return;
  }
  for (std::size_t stage = 0; stage < stageCount; ++stage) {
    figures.seconds[stage] += own * static_cast<double>(messages_[stage]) / weighed_;
    figures.messages[stage] += messages_[stage];
  }
}

void Scope::weigh(Stage stage, long messages) {
  if (!on_ || messages <= 0) return;
  messages_[static_cast<std::size_t>(stage)] += messages;
  weighed_ += messages;
}

}  // namespace tovrel::stageTrace
