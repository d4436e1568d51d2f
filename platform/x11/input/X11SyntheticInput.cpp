#include "platform/x11/input/X11SyntheticInput.hpp"

// Xlib after everything else: its macros (None, Bool, KeyPress) clash with later headers.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XKBrules.h>
#include <X11/extensions/XTest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <string>

#include "platform/x11/RootOrigin.hpp"
#include "platform/x11/input/X11KeyTable.hpp"
#include "platform/x11/input/X11SyntheticChords.hpp"

namespace tovrel::platform::x11 {

namespace {

constexpr const char* xkbRulesDirectory = "/usr/share/X11/xkb/rules/";
// US letters, with right Alt choosing a third level that differs from the plain key (Alt-A types
// "å"): what a chord with Alt typed tells whether the chord arrived whole.
constexpr const char* knownLayout = "us";
constexpr const char* knownVariant = "mac";

struct XPointerState {
  int rootX = 0;
  int rootY = 0;
  unsigned mask = 0;
};

std::optional<XPointerState> queryPointer(Display* display) {
  Window root = 0, child = 0;
  int windowX = 0, windowY = 0;
  XPointerState state;
  if (!XQueryPointer(display, DefaultRootWindow(display), &root, &child, &state.rootX, &state.rootY,
                     &windowX, &windowY, &state.mask))
    return std::nullopt;
  return state;
}

std::string take(char* text) {
  std::string result = text != nullptr ? text : "";
  std::free(text);
  return result;
}

// The rule names the keymap was chosen by, as setxkbmap reads and writes them on the root window.
struct RuleNames {
  std::string rules, model, layout, variant, options;
};

std::optional<RuleNames> readRuleNames(Display* display) {
  char* rulesFile = nullptr;
  XkbRF_VarDefsRec defs{};
  if (!XkbRF_GetNamesProp(display, &rulesFile, &defs)) return std::nullopt;
  return RuleNames{take(rulesFile), take(defs.model), take(defs.layout), take(defs.variant),
                   take(defs.options)};
}

void writeRuleNames(Display* display, const RuleNames& names) {
  std::string rules = names.rules, model = names.model, layout = names.layout,
              variant = names.variant, options = names.options;
  XkbRF_VarDefsRec defs{};
  defs.model = model.empty() ? nullptr : model.data();
  defs.layout = layout.empty() ? nullptr : layout.data();
  defs.variant = variant.empty() ? nullptr : variant.data();
  defs.options = options.empty() ? nullptr : options.data();
  XkbRF_SetNamesProp(display, rules.data(), &defs);
}

// The components the server built its keymap from: loading them again gives the same keymap.
struct Components {
  std::string keycodes, types, compat, symbols, geometry;
};

std::optional<Components> readComponents(Display* display) {
  XkbDescPtr keyboard = XkbAllocKeyboard();
  if (keyboard == nullptr) return std::nullopt;
  keyboard->device_spec = XkbUseCoreKbd;
  constexpr unsigned mask = XkbKeycodesNameMask | XkbTypesNameMask | XkbCompatNameMask |
                            XkbSymbolsNameMask | XkbGeometryNameMask;
  std::optional<Components> result;
  if (XkbGetNames(display, mask, keyboard) == Success && keyboard->names != nullptr) {
    auto name = [display](Atom atom) {
      if (atom == 0) return std::string();
      char* text = XGetAtomName(display, atom);
      std::string result = text != nullptr ? text : "";
      if (text != nullptr) XFree(text);
      return result;
    };
    const XkbNamesRec& names = *keyboard->names;
    result = Components{name(names.keycodes), name(names.types), name(names.compat),
                        name(names.symbols), name(names.geometry)};
  }
  XkbFreeKeyboard(keyboard, 0, True);
  return result;
}

bool loadComponents(Display* display, Components components) {
  auto field = [](std::string& text) { return text.empty() ? nullptr : text.data(); };
  XkbComponentNamesRec names{};
  names.keycodes = field(components.keycodes);
  names.types = field(components.types);
  names.compat = field(components.compat);
  names.symbols = field(components.symbols);
  names.geometry = field(components.geometry);
  XkbDescPtr loaded = XkbGetKeyboardByName(display, XkbUseCoreKbd, &names, XkbGBN_AllComponentsMask,
                                           XkbGBN_AllComponentsMask & ~XkbGBN_GeometryMask, True);
  if (loaded == nullptr) return false;
  XkbFreeKeyboard(loaded, 0, True);
  return true;
}

// What the rules make of a layout, as setxkbmap would compute it.
std::optional<Components> componentsFor(const RuleNames& names) {
  std::string path = xkbRulesDirectory + names.rules;
  std::string locale = "C";
  XkbRF_RulesPtr rules = XkbRF_Load(path.data(), locale.data(), True, True);
  if (rules == nullptr) return std::nullopt;
  RuleNames copy = names;
  XkbRF_VarDefsRec defs{};
  defs.model = copy.model.data();
  defs.layout = copy.layout.data();
  defs.variant = copy.variant.empty() ? nullptr : copy.variant.data();
  defs.options = copy.options.empty() ? nullptr : copy.options.data();
  XkbComponentNamesRec found{};
  std::optional<Components> result;
  if (XkbRF_GetComponents(rules, &defs, &found))
    result = Components{take(found.keycodes), take(found.types), take(found.compat),
                        take(found.symbols), take(found.geometry)};
  else
    for (char* text :
         {found.keymap, found.keycodes, found.types, found.compat, found.symbols, found.geometry})
      std::free(text);
  if (result) std::free(found.keymap);
  XkbRF_Free(rules, True);
  return result;
}

class X11RunConditions : public SyntheticRunConditions {
 public:
  explicit X11RunConditions(DisplayPtr display) : display_(std::move(display)) {
    Display* dpy = display_.get();
    XKeyboardState keyboard{};
    XGetKeyboardControl(dpy, &keyboard);
    repeatWasOn_ = keyboard.global_auto_repeat == AutoRepeatModeOn;
    if (repeatWasOn_) setAutoRepeat(false);
    XKeyboardState after{};
    XGetKeyboardControl(dpy, &after);
    autoRepeatOff_ = after.global_auto_repeat == AutoRepeatModeOff;
    if (!autoRepeatOff_) problem_ = "The X server kept key auto-repeat on.";
    setKnownKeymap();
    XSync(dpy, False);
  }

  ~X11RunConditions() override {
    Display* dpy = display_.get();
    if (connectionLost(dpy)) return;
    if (savedComponents_) {
      loadComponents(dpy, *savedComponents_);
      if (savedNames_) writeRuleNames(dpy, *savedNames_);
    }
    if (repeatWasOn_) setAutoRepeat(true);
    XSync(dpy, False);
  }

  bool autoRepeatOff() const override { return autoRepeatOff_; }
  bool keymapKnown() const override { return keymapKnown_; }
  std::string problem() const override { return problem_; }

 private:
  void setAutoRepeat(bool on) {
    XKeyboardControl control{};
    control.auto_repeat_mode = on ? AutoRepeatModeOn : AutoRepeatModeOff;
    XChangeKeyboardControl(display_.get(), KBAutoRepeatMode, &control);
  }

  void note(std::string text) {
    if (!problem_.empty()) problem_ += " ";
    problem_ += std::move(text);
  }

  void setKnownKeymap() {
    Display* dpy = display_.get();
    int opcode = 0, event = 0, error = 0, major = XkbMajorVersion, minor = XkbMinorVersion;
    if (!XkbQueryExtension(dpy, &opcode, &event, &error, &major, &minor))
      return note("The X server has no keyboard extension: the keymap stays as it is.");
    auto names = readRuleNames(dpy);
    if (names && names->layout == knownLayout && names->variant == knownVariant &&
        names->options.empty()) {
      keymapKnown_ = true;
      return;
    }
    auto components = readComponents(dpy);
    if (!components) return note("The current keymap could not be read, so it is left alone.");
    RuleNames wanted{names && !names->rules.empty() ? names->rules : "evdev",
                     names && !names->model.empty() ? names->model : "pc105", knownLayout,
                     knownVariant, ""};
    auto usComponents = componentsFor(wanted);
    if (!usComponents)
      return note("The keyboard rules \"" + wanted.rules + "\" could not be read.");
    if (!loadComponents(dpy, *usComponents)) return note("The X server refused the US keymap.");
    savedComponents_ = components;
    savedNames_ = names;
    writeRuleNames(dpy, wanted);
    keymapKnown_ = true;
  }

  DisplayPtr display_;
  bool repeatWasOn_ = false;
  bool autoRepeatOff_ = false;
  bool keymapKnown_ = false;
  std::optional<Components> savedComponents_;
  std::optional<RuleNames> savedNames_;
  std::string problem_;
};

}  // namespace

X11SyntheticInput::X11SyntheticInput(const char* displayName)
    : displayName_(displayName != nullptr ? displayName : ""),
      useDefaultDisplay_(displayName == nullptr) {}

X11SyntheticInput::~X11SyntheticInput() {
  releaseAll();
}

Display* X11SyntheticInput::connection() {
  if (!triedToOpen_) {
    triedToOpen_ = true;
    installErrorHandlers();
    DisplayPtr display = openDisplay(useDefaultDisplay_ ? nullptr : displayName_.c_str());
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    if (display && XTestQueryExtension(display.get(), &eventBase, &errorBase, &major, &minor)) {
      // Like a real device, the input reaches the server even while another client grabs it.
      XTestGrabControl(display.get(), True);
      display_ = std::move(display);
    }
  }
  if (!display_ || connectionLost(display_.get())) return nullptr;
  return display_.get();
}

bool X11SyntheticInput::fail(std::string problem) {
  problem_ = std::move(problem);
  return false;
}

bool X11SyntheticInput::available() {
  std::lock_guard lock(mutex_);
  return connection() != nullptr;
}

bool X11SyntheticInput::post(std::uint16_t keyCode, bool down) {
  Display* display = connection();
  if (display == nullptr) return fail("No X server with the XTEST extension answers.");
  auto xKeycode = xKeycodeForKeyCode(keyCode);
  if (!xKeycode)
    return fail("Key code " + std::to_string(keyCode) + " has no key on this keyboard.");
  XTestFakeKeyEvent(display, *xKeycode, down ? True : False, CurrentTime);
  XFlush(display);
  auto held = std::find(heldKeys_.begin(), heldKeys_.end(), keyCode);
  if (down && held == heldKeys_.end()) heldKeys_.push_back(keyCode);
  if (!down && held != heldKeys_.end()) heldKeys_.erase(held);
  return true;
}

bool X11SyntheticInput::key(std::uint16_t keyCode, bool down, Modifiers modifiers) {
  std::lock_guard lock(mutex_);
  problem_.clear();
  // Refuse before pressing any modifier, so a bad code leaves nothing behind.
  if (!xKeycodeForKeyCode(keyCode))
    return fail("Key code " + std::to_string(keyCode) + " has no key on this keyboard.");
  for (const KeyStep& step : chordSteps(keyCode, down, modifiers, heldKeys_, avoided_))
    if (!post(step.keyCode, step.down)) return false;
  return true;
}

bool X11SyntheticInput::modifierKey(std::uint16_t keyCode, bool down) {
  std::lock_guard lock(mutex_);
  problem_.clear();
  return post(keyCode, down);
}

void X11SyntheticInput::setAvoidedModifierKeys(std::vector<std::uint16_t> keyCodes) {
  std::lock_guard lock(mutex_);
  avoided_ = std::move(keyCodes);
}

bool X11SyntheticInput::movePointer(Point to) {
  std::lock_guard lock(mutex_);
  problem_.clear();
  Display* display = connection();
  if (display == nullptr) return fail("No X server with the XTEST extension answers.");
  XTestFakeMotionEvent(display, -1, rootOrigin::rootX(static_cast<int>(std::lround(to.x))),
                       rootOrigin::rootY(static_cast<int>(std::lround(to.y))), CurrentTime);
  XFlush(display);
  return true;
}

bool X11SyntheticInput::leftButton(bool down, Point at) {
  std::lock_guard lock(mutex_);
  problem_.clear();
  Display* display = connection();
  if (display == nullptr) return fail("No X server with the XTEST extension answers.");
  const int rootX = rootOrigin::rootX(static_cast<int>(std::lround(at.x)));
  const int rootY = rootOrigin::rootY(static_cast<int>(std::lround(at.y)));
  auto pointer = queryPointer(display);
  if (!pointer || pointer->rootX != rootX || pointer->rootY != rootY) {
    XTestFakeMotionEvent(display, -1, rootX, rootY, CurrentTime);
    XFlush(display);
  }
  XTestFakeButtonEvent(display, Button1, down ? True : False, CurrentTime);
  XFlush(display);
  leftHeld_ = down;
  return true;
}

std::optional<Point> X11SyntheticInput::pointerLocation() {
  std::lock_guard lock(mutex_);
  Display* display = connection();
  if (display == nullptr) return std::nullopt;
  auto pointer = queryPointer(display);
  if (!pointer) return std::nullopt;
  return Point{static_cast<double>(rootOrigin::globalX(pointer->rootX)),
               static_cast<double>(rootOrigin::globalY(pointer->rootY))};
}

bool X11SyntheticInput::leftButtonDown() {
  std::lock_guard lock(mutex_);
  Display* display = connection();
  if (display == nullptr) return false;
  auto pointer = queryPointer(display);
  return pointer && (pointer->mask & Button1Mask) != 0;
}

void X11SyntheticInput::releaseAll() {
  std::lock_guard lock(mutex_);
  if (!display_ || connectionLost(display_.get())) {
    heldKeys_.clear();
    leftHeld_ = false;
    return;
  }
  Display* display = display_.get();
  while (!heldKeys_.empty()) {
    std::uint16_t last = heldKeys_.back();
    if (!post(last, false)) heldKeys_.pop_back();  // a code with no key was never held
  }
  if (leftHeld_) {
    XTestFakeButtonEvent(display, Button1, False, CurrentTime);
    leftHeld_ = false;
  }
  XSync(display, False);
}

std::unique_ptr<SyntheticRunConditions> X11SyntheticInput::holdRunConditions() {
  std::lock_guard lock(mutex_);
  // A connection of its own, so the conditions are put back even after this input is gone.
  DisplayPtr display = openDisplay(useDefaultDisplay_ ? nullptr : displayName_.c_str());
  if (!display) {
    fail("No X server answers.");
    return nullptr;
  }
  return std::make_unique<X11RunConditions>(std::move(display));
}

std::string X11SyntheticInput::lastProblem() const {
  std::lock_guard lock(mutex_);
  return problem_;
}

}  // namespace tovrel::platform::x11
