#include "core/Keys.hpp"

#include <fmt/format.h>

namespace tovrel {

Modifiers Modifiers::fromJson(const json::Reader& reader) {
  return Modifiers(reader.integer<std::uint8_t>());
}

namespace Key {

namespace {

// The names a person sees are those printed on a PC keyboard and used by Linux desktops; the
// stored codes and modifier bits keep their own vocabulary (the Command bit is Super, Option is
// Alt, Control is Ctrl), so saved files read the same whatever the names.
const std::map<std::uint16_t, std::string_view>& namedKeys() {
  static const std::map<std::uint16_t, std::string_view> table = {
      {36, "Enter"},       {48, "Tab"},          {49, "Space"},       {51, "Backspace"},
      {53, "Escape"},      {54, "Right Super"},  {55, "Left Super"},  {56, "Left Shift"},
      {57, "Caps Lock"},   {58, "Left Alt"},     {59, "Left Ctrl"},   {60, "Right Shift"},
      {61, "Right Alt"},   {62, "Right Ctrl"},   {63, "Fn"},          {96, "F5"},
      {97, "F6"},          {98, "F7"},           {99, "F3"},          {100, "F8"},
      {101, "F9"},         {103, "F11"},         {109, "F10"},        {111, "F12"},
      {115, "Home"},       {116, "Page Up"},     {117, "Delete"},     {118, "F4"},
      {119, "End"},        {120, "F2"},          {121, "Page Down"},  {122, "F1"},
      {123, "Left Arrow"}, {124, "Right Arrow"}, {125, "Down Arrow"}, {126, "Up Arrow"},
  };
  return table;
}

}  // namespace

const std::map<std::uint16_t, std::string>& printableCodes() {
  static const std::map<std::uint16_t, std::string> table = {
      // letters
      {0, "A"},
      {1, "S"},
      {2, "D"},
      {3, "F"},
      {4, "H"},
      {5, "G"},
      {6, "Z"},
      {7, "X"},
      {8, "C"},
      {9, "V"},
      {11, "B"},
      {12, "Q"},
      {13, "W"},
      {14, "E"},
      {15, "R"},
      {16, "Y"},
      {17, "T"},
      {31, "O"},
      {32, "U"},
      {34, "I"},
      {35, "P"},
      {37, "L"},
      {38, "J"},
      {40, "K"},
      {45, "N"},
      {46, "M"},
      // digits
      {18, "1"},
      {19, "2"},
      {20, "3"},
      {21, "4"},
      {23, "5"},
      {22, "6"},
      {26, "7"},
      {28, "8"},
      {25, "9"},
      {29, "0"},
      // punctuation and Space
      {27, "-"},
      {24, "="},
      {33, "["},
      {30, "]"},
      {42, "\\"},
      {41, ";"},
      {39, "'"},
      {43, ","},
      {47, "."},
      {44, "/"},
      {50, "`"},
      {49, "Space"},
  };
  return table;
}

std::optional<std::string_view> printableText(std::uint16_t code) {
  const auto& table = printableCodes();
  auto found = table.find(code);
  if (found == table.end()) return std::nullopt;
  return found->second;
}

std::string name(std::uint16_t code) {
  const auto& named = namedKeys();
  if (auto found = named.find(code); found != named.end()) return std::string(found->second);
  if (auto text = printableText(code)) return std::string(*text);
  return fmt::format("Key {}", code);
}

std::string modifierName(Modifiers modifiers) {
  static constexpr std::array<std::pair<Modifiers, std::string_view>, 4> words = {{
      {Modifiers::control, "Ctrl"},
      {Modifiers::option, "Alt"},
      {Modifiers::command, "Super"},
      {Modifiers::shift, "Shift"},
  }};
  std::string result;
  for (const auto& [bit, word] : words) {
    if (!modifiers.contains(bit)) continue;
    if (!result.empty()) result += ' ';
    result += word;
  }
  return result;
}

Modifiers modifierFlag(std::uint16_t code) {
  switch (code) {
    case rightCommand:
    case leftCommand:
      return Modifiers::command;
    case leftShift:
    case rightShift:
      return Modifiers::shift;
    case leftOption:
    case rightOption:
      return Modifiers::option;
    case leftControl:
    case rightControl:
      return Modifiers::control;
    default:
      return Modifiers::none;
  }
}

}  // namespace Key

std::string Gesture::displayName() const {
  std::string keyName = Key::name(code_);
  if (isModifierTap()) return keyName + " tap";
  std::string modifierWords = Key::modifierName(modifiers_);
  if (modifierWords.empty()) return keyName;
  return modifierWords + ' ' + keyName;
}

json::Value Gesture::toJson() const {
  json::Value inner = json::Value::object();
  inner["code"] = code_;
  if (isKey()) {
    inner["modifiers"] = modifiers_.toJson();
    return json::Value{{"key", std::move(inner)}};
  }
  return json::Value{{"modifierTap", std::move(inner)}};
}

Gesture Gesture::fromJson(const json::Reader& reader) {
  reader.expectObject("Gesture");
  bool hasKey = reader.contains("key");
  bool hasTap = reader.contains("modifierTap");
  if (hasKey == hasTap) {
    reader.fail(json::DecodingError::Kind::typeMismatch,
                "Invalid number of keys found, expected one.");
  }
  if (hasKey) {
    json::Reader inner = reader.member("key");
    inner.expectObject();
    auto code = inner.member("code").integer<std::uint16_t>();
    auto modifiers = Modifiers::fromJson(inner.member("modifiers"));
    return Gesture::key(code, modifiers);
  }
  json::Reader inner = reader.member("modifierTap");
  inner.expectObject();
  return Gesture::modifierTap(inner.member("code").integer<std::uint16_t>());
}

}  // namespace tovrel
