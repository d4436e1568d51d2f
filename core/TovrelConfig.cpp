#include "core/TovrelConfig.hpp"

#include "core/Presets.hpp"

namespace tovrel {

TovrelConfig::TovrelConfig()
    : schemaVersion(currentSchemaVersion),
      profileName(Presets::standard().name),
      cursorEntry{Gesture::modifierTap(Key::rightOption), true, Gesture::key(Key::escape)},
      clickEntry{Gesture::key(Key::space, {Modifiers::command, Modifiers::shift}), true,
                 Gesture::key(Key::escape)},
      scrollEntry{Gesture::key(Key::j, {Modifiers::command, Modifiers::shift}), true,
                  Gesture::key(Key::escape)},
      cursorBindings(Presets::standard().cursorBindings),
      clickControls(Presets::standardClickControls()),
      motion(MotionProfile::gentle()),
      scrolling(ScrollProfile::standard()),
      dragStyle(DragStyle::hold),
      exitCursorOnMouse(false),
      confineToCurrentDisplay(false),
      clickSearchFirst(false),
      clickRequireReturn(false),
      clickStaysActive(false),
      clickPointerFallback(true),
      clickLabelsMenuBar(true),
      clickLabelsDock(true),
      clickAlphabet(defaultAlphabet),
      modifierTapMaxMilliseconds(250),
      excludedBundleIDs(),
      appearance(),
      showMenuBarIcon(false) {}

const TovrelConfig& TovrelConfig::defaults() {
  static const TovrelConfig config;
  return config;
}

std::array<std::pair<InteractionMode, EntryConfig>, 3> TovrelConfig::entries() const {
  return {{
      {InteractionMode::cursor, cursorEntry},
      {InteractionMode::click, clickEntry},
      {InteractionMode::scroll, scrollEntry},
  }};
}

std::optional<EntryConfig> TovrelConfig::entry(InteractionMode mode) const {
  switch (mode) {
    case InteractionMode::cursor:
      return cursorEntry;
    case InteractionMode::click:
      return clickEntry;
    case InteractionMode::scroll:
      return scrollEntry;
    case InteractionMode::off:
      break;
  }
  return std::nullopt;
}

void TovrelConfig::setEntry(const EntryConfig& entry, InteractionMode mode) {
  switch (mode) {
    case InteractionMode::cursor:
      cursorEntry = entry;
      break;
    case InteractionMode::click:
      clickEntry = entry;
      break;
    case InteractionMode::scroll:
      scrollEntry = entry;
      break;
    case InteractionMode::off:
      break;
  }
}

namespace {

// The click-mode and pointer switches, read and written alike.
constexpr std::array<std::pair<std::string_view, bool TovrelConfig::*>, 8> flags = {{
    {"exitCursorOnMouse", &TovrelConfig::exitCursorOnMouse},
    {"confineToCurrentDisplay", &TovrelConfig::confineToCurrentDisplay},
    {"clickSearchFirst", &TovrelConfig::clickSearchFirst},
    {"clickRequireReturn", &TovrelConfig::clickRequireReturn},
    {"clickStaysActive", &TovrelConfig::clickStaysActive},
    {"clickPointerFallback", &TovrelConfig::clickPointerFallback},
    {"clickLabelsMenuBar", &TovrelConfig::clickLabelsMenuBar},
    {"clickLabelsDock", &TovrelConfig::clickLabelsDock},
}};

}  // namespace

json::Value TovrelConfig::toJson() const {
  json::Value bindings = json::Value::array();
  for (const CursorBinding& binding : cursorBindings)
    bindings.push_back(binding.toJson());
  json::Value controls = json::Value::object();
  for (const auto& [control, gesture] : clickControls)
    controls[std::string(rawValue(control))] = gesture.toJson();

  json::Value document = {
      {"schemaVersion", schemaVersion},
      {"profileName", profileName},
      {"cursorEntry", cursorEntry.toJson()},
      {"clickEntry", clickEntry.toJson()},
      {"scrollEntry", scrollEntry.toJson()},
      {"cursorBindings", std::move(bindings)},
      {"clickControls", std::move(controls)},
      {"motion", motion.toJson()},
      {"scrolling", scrolling.toJson()},
      {"dragStyle", json::enumToJson(dragStyle)},
      {"clickAlphabet", clickAlphabet},
      {"modifierTapMaxMilliseconds", modifierTapMaxMilliseconds},
      {"excludedBundleIDs", excludedBundleIDs},
      {"appearance", appearance.toJson()},
      {"showMenuBarIcon", showMenuBarIcon},
  };
  for (const auto& [key, flag] : flags)
    document[std::string(key)] = this->*flag;
  return document;
}

namespace {

// A member that is present, whatever its value; a bad value of any kind means the defaults.
std::map<ClickControl, Gesture> readClickControls(const json::Reader& reader) {
  std::map<ClickControl, Gesture> controls = Presets::standardClickControls();
  std::optional<json::Reader> member = reader.optionalMember("clickControls");
  if (!member) return controls;
  try {
    member->expectObject();
    std::map<ClickControl, Gesture> read = controls;
    for (const auto& [name, value] : member->value().items()) {
      Gesture gesture = Gesture::fromJson(member->member(name));
      if (auto control = fromRaw<ClickControl>(name)) read[*control] = gesture;
    }
    return read;
  } catch (const json::DecodingError&) {
    return controls;
  }
}

template <class T, class Read>
void readOptional(const json::Reader& reader, std::string_view key, T& field, Read read) {
  if (std::optional<json::Reader> member = reader.optionalMember(key)) field = read(*member);
}

}  // namespace

TovrelConfig TovrelConfig::fromJson(const json::Reader& reader) {
  reader.expectObject();
  TovrelConfig config;

  auto integer = [](const json::Reader& r) { return r.integer<std::int64_t>(); };
  auto boolean = [](const json::Reader& r) { return r.boolean(); };
  auto string = [](const json::Reader& r) { return r.string(); };
  auto entry = [](const json::Reader& r) { return EntryConfig::fromJson(r); };

  // A file without a version predates versioning and is migrated by the store.
  config.schemaVersion = 1;
  readOptional(reader, "schemaVersion", config.schemaVersion, integer);
  readOptional(reader, "profileName", config.profileName, string);
  readOptional(reader, "cursorEntry", config.cursorEntry, entry);
  readOptional(reader, "clickEntry", config.clickEntry, entry);
  readOptional(reader, "scrollEntry", config.scrollEntry, entry);
  readOptional(reader, "cursorBindings", config.cursorBindings, [](const json::Reader& r) {
    std::vector<CursorBinding> list;
    for (const json::Reader& element : r.elements())
      list.push_back(CursorBinding::fromJson(element));
    return list;
  });
  config.clickControls = readClickControls(reader);
  readOptional(reader, "motion", config.motion,
               [](const json::Reader& r) { return MotionProfile::fromJson(r); });
  readOptional(reader, "scrolling", config.scrolling,
               [](const json::Reader& r) { return ScrollProfile::fromJson(r); });
  readOptional(reader, "dragStyle", config.dragStyle,
               [](const json::Reader& r) { return r.enumeration<DragStyle>(); });
  for (const auto& [key, flag] : flags)
    readOptional(reader, key, config.*flag, boolean);
  readOptional(reader, "clickAlphabet", config.clickAlphabet, string);
  readOptional(reader, "modifierTapMaxMilliseconds", config.modifierTapMaxMilliseconds, integer);
  readOptional(reader, "excludedBundleIDs", config.excludedBundleIDs, [](const json::Reader& r) {
    std::vector<std::string> list;
    for (const json::Reader& element : r.elements())
      list.push_back(element.string());
    return list;
  });
  readOptional(reader, "appearance", config.appearance,
               [](const json::Reader& r) { return AppearanceSettings::fromJson(r); });
  readOptional(reader, "showMenuBarIcon", config.showMenuBarIcon, boolean);
  return config;
}

}  // namespace tovrel
