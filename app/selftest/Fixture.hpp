#pragma once

// What the self-test reads of the fixture application and of the program's own windows without
// waiting: the fixture's state file, the keys that type a text, and the field a settings check
// types into.

#include <QJsonObject>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class QLineEdit;
class QWidget;

namespace tovrel::selftest {

struct FixtureFrame {
  double x = 0;
  double y = 0;
  double width = 0;
  double height = 0;
  bool operator==(const FixtureFrame&) const = default;
};

// The fixture's state file as it is now; a missing, unreadable or malformed file, or one that is
// not a JSON object, reads as an empty object.
class FixtureState {
 public:
  static FixtureState read(const std::string& path);
  explicit FixtureState(QJsonObject state) : state_(std::move(state)) {}

  // The zero frame when the fixture lists no such frame or "frames" has another shape.
  FixtureFrame frame(std::string_view name) const;
  // 0 when the pad has no such counter.
  double padCount(std::string_view name) const;
  // A string member; empty when missing or of another type.
  std::string text(std::string_view member) const;
  // A number member; 0 when missing or of another type.
  double number(std::string_view member) const;
  // The fixture has drawn: "frames" is an object with at least one member.
  bool ready() const;

 private:
  QJsonObject state_;
};

// The key codes that type `text`, one per character a printable key carries (letters ignoring
// case); other characters are left out.
std::vector<std::uint16_t> typingCodes(std::string_view text);

// The first field to type into, depth first with a widget before its children: an enabled,
// editable line that is not the settings search field. Lines inside a spin box or combo box are
// passed over, and so is anything that takes every key for itself (the shortcut recorder).
QLineEdit* editableField(QWidget* root);

}  // namespace tovrel::selftest
