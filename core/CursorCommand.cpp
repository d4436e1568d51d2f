#include "core/CursorCommand.hpp"

#include <fmt/format.h>

namespace tovrel {

namespace {

struct Describer {
  std::string operator()(const CursorCommand::Move& c) const {
    return fmt::format("move({}, {})", c.dx, c.dy);
  }
  std::string operator()(const CursorCommand::Scroll& c) const {
    return fmt::format("scroll({}, {})", c.dx, c.dy);
  }
  std::string operator()(const CursorCommand::Press& c) const {
    return fmt::format("press({})", rawValue(c.button));
  }
  std::string operator()(const CursorCommand::Release& c) const {
    return fmt::format("release({})", rawValue(c.button));
  }
  std::string operator()(const CursorCommand::Click& c) const {
    return fmt::format("click({}, {})", rawValue(c.button), c.clickCount);
  }
  std::string operator()(const CursorCommand::ButtonDown& c) const {
    return fmt::format("buttonDown({}, {})", rawValue(c.button), c.clickCount);
  }
  std::string operator()(const CursorCommand::ButtonUp& c) const {
    return fmt::format("buttonUp({}, {})", rawValue(c.button), c.clickCount);
  }
};

}  // namespace

std::string describe(const CursorCommand& command) {
  return std::visit(Describer{}, command.value());
}

}  // namespace tovrel
