#pragma once

// What the navigation engine asks of the pointer: moves, scrolls and button presses. The engine
// never posts anything itself; the pointer output carries these out.

#include <ostream>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>

#include "core/EnumTable.hpp"
#include "core/VariantValue.hpp"

namespace tovrel {

enum class MouseButton { left, right, middle, back, forward };

template <>
struct EnumInfo<MouseButton> {
  static constexpr std::string_view typeName = "MouseButton";
  static constexpr std::array<std::string_view, 5> raw = {"left", "right", "middle", "back",
                                                          "forward"};
};

class CursorCommand {
 public:
  // Moves the pointer by this many points; y grows downward.
  struct Move {
    double dx = 0;
    double dy = 0;
    bool operator==(const Move&) const = default;
  };
  // Scrolls by this many pixels; a positive dy scrolls up, a positive dx right.
  struct Scroll {
    double dx = 0;
    double dy = 0;
    bool operator==(const Scroll&) const = default;
  };
  // Button down, kept held (a drag).
  struct Press {
    MouseButton button = MouseButton::left;
    bool operator==(const Press&) const = default;
  };
  // Button up of a pressed button.
  struct Release {
    MouseButton button = MouseButton::left;
    bool operator==(const Release&) const = default;
  };
  // A down and an up with this click count.
  struct Click {
    MouseButton button = MouseButton::left;
    int clickCount = 1;
    bool operator==(const Click&) const = default;
  };
  struct ButtonDown {
    MouseButton button = MouseButton::left;
    int clickCount = 1;
    bool operator==(const ButtonDown&) const = default;
  };
  struct ButtonUp {
    MouseButton button = MouseButton::left;
    int clickCount = 1;
    bool operator==(const ButtonUp&) const = default;
  };

  using Value = std::variant<Move, Scroll, Press, Release, Click, ButtonDown, ButtonUp>;

  static constexpr CursorCommand move(double dx, double dy) { return Move{dx, dy}; }
  static constexpr CursorCommand scroll(double dx, double dy) { return Scroll{dx, dy}; }
  static constexpr CursorCommand press(MouseButton button) { return Press{button}; }
  static constexpr CursorCommand release(MouseButton button) { return Release{button}; }
  static constexpr CursorCommand click(MouseButton button, int clickCount) {
    return Click{button, clickCount};
  }
  static constexpr CursorCommand buttonDown(MouseButton button, int clickCount) {
    return ButtonDown{button, clickCount};
  }
  static constexpr CursorCommand buttonUp(MouseButton button, int clickCount) {
    return ButtonUp{button, clickCount};
  }

  TOVREL_VARIANT_VALUE(CursorCommand)
};

// "move(1.5, -2)", "buttonUp(right, 2)": for logs and test messages.
std::string describe(const CursorCommand& command);
inline std::ostream& operator<<(std::ostream& stream, const CursorCommand& command) {
  return stream << describe(command);
}

}  // namespace tovrel
