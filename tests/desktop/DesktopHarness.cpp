// The X side of the harness: finding and focusing windows, posting input, reading input state.
#include "DesktopHarness.hpp"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XInput.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace tovrel::desktoptest {
namespace {

using Clock = std::chrono::steady_clock;

// Hardware events closer than this can overtake each other's handling while a grab holds the
// keyboard frozen; real typing is never this fast anyway.
constexpr auto kHardwarePace = 20ms;
constexpr auto kPollInterval = 5ms;

// Windows come and go between a query and the next request; their errors must not end the test
// program, as Xlib's default handler would.
class ErrorTrap {
 public:
  explicit ErrorTrap(Display* display) : display_(display) {
    XSync(display_, False);
    lastError_ = 0;
    previous_ = XSetErrorHandler(&ErrorTrap::handle);
  }
  ~ErrorTrap() {
    XSync(display_, False);
    XSetErrorHandler(previous_);
  }
  ErrorTrap(const ErrorTrap&) = delete;
  ErrorTrap& operator=(const ErrorTrap&) = delete;

  bool failed() const {
    XSync(display_, False);
    return lastError_ != 0;
  }

 private:
  static int handle(Display*, XErrorEvent* event) {
    lastError_ = event->error_code;
    return 0;
  }

  static inline int lastError_ = 0;
  Display* display_;
  int (*previous_)(Display*, XErrorEvent*) = nullptr;
};

Atom atom(Display* display, const char* name) {
  return XInternAtom(display, name, False);
}

// The raw bytes of a property, empty when it is missing or of another type.
std::vector<unsigned char> property(Display* display, Window window, Atom name, Atom type) {
  Atom actualType = 0;
  int format = 0;
  unsigned long count = 0;
  unsigned long remaining = 0;
  unsigned char* data = nullptr;
  std::vector<unsigned char> bytes;
  if (XGetWindowProperty(display, window, name, 0, 1 << 16, False, type, &actualType, &format,
                         &count, &remaining, &data) == Success &&
      data != nullptr) {
    if (actualType == type) {
      // Format 32 is delivered as longs, whatever their size.
      const std::size_t unit = format == 32 ? sizeof(long) : static_cast<std::size_t>(format / 8);
      bytes.assign(data, data + count * unit);
    }
    XFree(data);
  }
  return bytes;
}

std::optional<unsigned long> cardinal(Display* display, Window window, Atom name, Atom type) {
  const auto bytes = property(display, window, name, type);
  if (bytes.size() < sizeof(long)) return std::nullopt;
  long value = 0;
  std::memcpy(&value, bytes.data(), sizeof(long));
  return static_cast<unsigned long>(value);
}

std::string title(Display* display, Window window) {
  const auto utf8 =
      property(display, window, atom(display, "_NET_WM_NAME"), atom(display, "UTF8_STRING"));
  if (!utf8.empty()) return std::string(utf8.begin(), utf8.end());
  char* name = nullptr;
  std::string result;
  if (XFetchName(display, window, &name) != 0 && name != nullptr) {
    result = name;
    XFree(name);
  }
  return result;
}

std::vector<Window> children(Display* display, Window window) {
  Window root = 0;
  Window parent = 0;
  Window* list = nullptr;
  unsigned int count = 0;
  std::vector<Window> result;
  if (XQueryTree(display, window, &root, &parent, &list, &count) != 0 && list != nullptr) {
    result.assign(list, list + count);
    XFree(list);
  }
  return result;
}

// The ancestor of `window` that is a child of the root: the window itself without a window
// manager, its frame with one.
Window topLevel(Display* display, Window window) {
  for (int depth = 0; depth < 16 && window != 0; ++depth) {
    Window root = 0;
    Window parent = 0;
    Window* list = nullptr;
    unsigned int count = 0;
    if (XQueryTree(display, window, &root, &parent, &list, &count) == 0) return 0;
    if (list != nullptr) XFree(list);
    if (parent == root || parent == 0) return window;
    window = parent;
  }
  return 0;
}

}  // namespace

// ----------------------------------------------------------------------------------------------
// Desktop

std::unique_ptr<Desktop> Desktop::open() {
  const char* name = std::getenv("DISPLAY");
  if (name == nullptr || *name == '\0') return nullptr;
  Display* display = XOpenDisplay(name);
  if (display == nullptr) return nullptr;
  std::unique_ptr<Desktop> desktop(new Desktop);
  desktop->display_ = display;
  desktop->root_ = DefaultRootWindow(display);

  int major = 2;
  int minor = 2;
  XIQueryVersion(display, &major, &minor);

  int count = 0;
  XDeviceInfo* devices = XListInputDevices(display, &count);
  for (int i = 0; i < count; ++i) {
    const std::string_view deviceName = devices[i].name != nullptr ? devices[i].name : "";
    void** slot = deviceName == "Xvfb keyboard" ? &desktop->keyboard_
                  : deviceName == "Xvfb mouse"  ? &desktop->mouse_
                                                : nullptr;
    if (slot == nullptr || *slot != nullptr) continue;
    ErrorTrap trap(display);
    XDevice* device = XOpenDevice(display, devices[i].id);
    if (trap.failed() || device == nullptr) continue;
    *slot = device;
    if (slot != &desktop->mouse_) continue;
    auto* info = devices[i].inputclassinfo;
    for (int k = 0; k < devices[i].num_classes; ++k) {
      if (info->c_class == ButtonClass) {
        desktop->mouseButtons_ = reinterpret_cast<XButtonInfo*>(info)->num_buttons;
      }
      info = reinterpret_cast<XAnyClassPtr>(reinterpret_cast<char*>(info) + info->length);
    }
  }
  if (devices != nullptr) XFreeDeviceList(devices);
  return desktop;
}

Desktop::~Desktop() {
  if (display_ == nullptr) return;
  for (void* device : {keyboard_, mouse_}) {
    if (device != nullptr) XCloseDevice(display_, static_cast<XDevice*>(device));
  }
  XCloseDisplay(display_);
}

bool Desktop::hasWindowManager() const {
  const auto check =
      cardinal(display_, root_, atom(display_, "_NET_SUPPORTING_WM_CHECK"), XA_WINDOW);
  return check.has_value() && *check != 0;
}

std::optional<WindowId> Desktop::findWindow(std::string_view wanted, pid_t pid) const {
  ErrorTrap trap(display_);
  const Atom pidAtom = atom(display_, "_NET_WM_PID");
  // Breadth first from the root: the client sits one level down under a manager's frame.
  std::vector<Window> level{root_};
  for (int depth = 0; depth < 4 && !level.empty(); ++depth) {
    std::vector<Window> next;
    for (Window parent : level) {
      for (Window window : children(display_, parent)) {
        XWindowAttributes attributes{};
        if (XGetWindowAttributes(display_, window, &attributes) == 0) continue;
        if (attributes.map_state != IsViewable) continue;
        next.push_back(window);
        if (title(display_, window) != wanted) continue;
        if (pid != 0 && cardinal(display_, window, pidAtom, XA_CARDINAL) !=
                            std::optional<unsigned long>(static_cast<unsigned long>(pid))) {
          continue;
        }
        return window;
      }
    }
    level = std::move(next);
  }
  return std::nullopt;
}

std::optional<WindowId> Desktop::waitForWindow(std::string_view wanted, pid_t pid,
                                               std::chrono::milliseconds timeout) const {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    if (auto window = findWindow(wanted, pid)) return window;
    if (Clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(10ms);
  }
}

bool Desktop::hasFocus(WindowId window) const {
  ErrorTrap trap(display_);
  Window focused = 0;
  int revert = 0;
  XGetInputFocus(display_, &focused, &revert);
  if (focused == window) return true;
  if (focused == None || focused == PointerRoot) return false;
  const Window mine = topLevel(display_, window);
  return mine != 0 && topLevel(display_, focused) == mine;
}

void Desktop::close(WindowId window) {
  ErrorTrap trap(display_);
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = atom(display_, "_NET_CLOSE_WINDOW");
  event.xclient.format = 32;
  event.xclient.data.l[0] = CurrentTime;
  event.xclient.data.l[1] = 2;  // a pager: obeyed as the person's own request
  XSendEvent(display_, root_, False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
  XFlush(display_);
}

bool Desktop::focus(WindowId window, std::chrono::milliseconds timeout) {
  // The request is repeated until it takes: a window that asked for the focus a moment earlier (a
  // program's first window, on a loaded machine) may be given it after this request.
  constexpr auto kRepeat = std::chrono::milliseconds(500);
  const auto deadline = Clock::now() + timeout;
  while (true) {
    {
      ErrorTrap trap(display_);
      if (hasWindowManager()) {
        // Source 2 ("pager") asks the manager to obey rather than weigh focus stealing.
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = atom(display_, "_NET_ACTIVE_WINDOW");
        event.xclient.format = 32;
        event.xclient.data.l[0] = 2;
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(display_, root_, False, SubstructureRedirectMask | SubstructureNotifyMask,
                   &event);
      } else {
        XRaiseWindow(display_, window);
        XSetInputFocus(display_, window, RevertToPointerRoot, CurrentTime);
      }
    }
    const auto retry = std::min(deadline, Clock::now() + kRepeat);
    while (!hasFocus(window)) {
      if (Clock::now() >= retry) break;
      std::this_thread::sleep_for(kPollInterval);
    }
    if (hasFocus(window)) return true;
    if (Clock::now() >= deadline) return false;
  }
}

std::optional<Rect> Desktop::windowRect(WindowId window) const {
  ErrorTrap trap(display_);
  XWindowAttributes attributes{};
  if (XGetWindowAttributes(display_, window, &attributes) == 0) return std::nullopt;
  int x = 0;
  int y = 0;
  Window child = 0;
  XTranslateCoordinates(display_, window, root_, 0, 0, &x, &y, &child);
  if (trap.failed()) return std::nullopt;
  return Rect{x, y, attributes.width, attributes.height};
}

std::string Desktop::titleOf(WindowId window) const {
  ErrorTrap trap(display_);
  return title(display_, window);
}

std::optional<WindowId> Desktop::activeWindow() const {
  const auto active = cardinal(display_, root_, atom(display_, "_NET_ACTIVE_WINDOW"), XA_WINDOW);
  if (!active || *active == 0) return std::nullopt;
  return static_cast<WindowId>(*active);
}

std::string Desktop::focusReport() const {
  ErrorTrap trap(display_);
  auto named = [&](Window window) {
    if (window == None) return std::string("none");
    if (window == PointerRoot) return std::string("pointer root");
    char id[32];
    std::snprintf(id, sizeof id, " (0x%lx)", window);
    return "\"" + title(display_, window) + "\"" + id;
  };
  Window focused = 0;
  int revert = 0;
  XGetInputFocus(display_, &focused, &revert);
  const auto active = activeWindow();
  std::string report =
      "focus on " + named(focused) + ", active " + named(active.value_or(None)) + "; managed:";
  const auto list = property(display_, root_, atom(display_, "_NET_CLIENT_LIST"), XA_WINDOW);
  for (std::size_t at = 0; at + sizeof(long) <= list.size(); at += sizeof(long)) {
    long window = 0;
    std::memcpy(&window, list.data() + at, sizeof(long));
    report += " " + named(static_cast<Window>(window));
  }
  return report;
}

void Desktop::pace() {
  std::this_thread::sleep_until(lastHardware_ + kHardwarePace);
}

void Desktop::hardwareKey(Keycode code, bool press) {
  pace();
  hardwareKeyNow(code, press);
}

void Desktop::hardwareKeyNow(Keycode code, bool press) {
  if (keyboard_ == nullptr) {
    ADD_FAILURE() << "this display has no \"Xvfb keyboard\" device";
    return;
  }
  ErrorTrap trap(display_);
  XTestFakeDeviceKeyEvent(display_, static_cast<XDevice*>(keyboard_), code, press ? True : False,
                          nullptr, 0, CurrentTime);
  if (trap.failed()) ADD_FAILURE() << "the server refused hardware key " << code;
  lastHardware_ = Clock::now();
}

void Desktop::hardwareButton(int button, bool press) {
  if (mouse_ == nullptr) {
    ADD_FAILURE() << "this display has no \"Xvfb mouse\" device";
    return;
  }
  if (button < 1 || button > mouseButtons_) {
    ADD_FAILURE() << "the \"Xvfb mouse\" has buttons 1 to " << mouseButtons_ << ", not " << button
                  << " (post wheel steps with xtestButton)";
    return;
  }
  pace();
  ErrorTrap trap(display_);
  XTestFakeDeviceButtonEvent(display_, static_cast<XDevice*>(mouse_), static_cast<unsigned>(button),
                             press ? True : False, nullptr, 0, CurrentTime);
  if (trap.failed()) ADD_FAILURE() << "the server refused hardware button " << button;
  lastHardware_ = Clock::now();
}

void Desktop::hardwareMove(int x, int y) {
  if (mouse_ == nullptr) {
    ADD_FAILURE() << "this display has no \"Xvfb mouse\" device";
    return;
  }
  pace();
  int axes[2] = {x, y};
  ErrorTrap trap(display_);
  XTestFakeDeviceMotionEvent(display_, static_cast<XDevice*>(mouse_), False, 0, axes, 2,
                             CurrentTime);
  if (trap.failed()) ADD_FAILURE() << "the server refused hardware motion to " << x << "," << y;
  lastHardware_ = Clock::now();
}

void Desktop::hardwareClick(int x, int y, int button) {
  hardwareMove(x, y);
  hardwareButton(button, true);
  hardwareButton(button, false);
}

bool Desktop::needsShift(Keycode code, Keysym sym) const {
  const auto keycode = static_cast<KeyCode>(code);
  return XkbKeycodeToKeysym(display_, keycode, 0, 0) != sym &&
         XkbKeycodeToKeysym(display_, keycode, 0, 1) == sym;
}

void Desktop::tap(Keysym sym, void (Desktop::*key)(Keycode, bool)) {
  const Keycode code = keycode(sym);
  if (code == 0) {
    ADD_FAILURE() << "no key produces keysym 0x" << std::hex << sym;
    return;
  }
  const bool shift = needsShift(code, sym);
  const Keycode shiftCode = keycode(XK_Shift_L);
  if (shift) (this->*key)(shiftCode, true);
  (this->*key)(code, true);
  (this->*key)(code, false);
  if (shift) (this->*key)(shiftCode, false);
}

void Desktop::hardwareTap(Keysym sym) {
  tap(sym, &Desktop::hardwareKey);
}

void Desktop::hardwareChord(std::initializer_list<Keysym> syms) {
  std::vector<Keycode> codes;
  for (Keysym sym : syms)
    codes.push_back(keycode(sym));
  for (Keycode code : codes)
    hardwareKey(code, true);
  for (auto code = codes.rbegin(); code != codes.rend(); ++code)
    hardwareKey(*code, false);
}

void Desktop::hardwareType(std::string_view ascii) {
  // Printable ASCII characters are their own keysyms.
  for (char c : ascii)
    hardwareTap(static_cast<Keysym>(static_cast<unsigned char>(c)));
}

void Desktop::xtestKey(Keycode code, bool press) {
  XTestFakeKeyEvent(display_, code, press ? True : False, CurrentTime);
  XSync(display_, False);
}

void Desktop::xtestTap(Keysym sym) {
  tap(sym, &Desktop::xtestKey);
}

void Desktop::xtestButton(int button, bool press) {
  XTestFakeButtonEvent(display_, static_cast<unsigned>(button), press ? True : False, CurrentTime);
  XSync(display_, False);
}

void Desktop::xtestMove(int x, int y) {
  XTestFakeMotionEvent(display_, -1, x, y, CurrentTime);
  XSync(display_, False);
}

Keycode Desktop::keycode(Keysym sym) const {
  return XKeysymToKeycode(display_, sym);
}

std::vector<Keycode> Desktop::keysDown() const {
  char keys[32] = {};
  XQueryKeymap(display_, keys);
  std::vector<Keycode> down;
  for (Keycode code = 0; code < 256; ++code) {
    if ((static_cast<unsigned char>(keys[code / 8]) >> (code % 8)) & 1U) down.push_back(code);
  }
  return down;
}

std::vector<int> Desktop::buttonsDown() const {
  // XI2 sees every button; the core pointer mask stops at button 5.
  int pointerDevice = 0;
  XIGetClientPointer(display_, None, &pointerDevice);
  Window root = 0;
  Window child = 0;
  double rootX = 0;
  double rootY = 0;
  double windowX = 0;
  double windowY = 0;
  XIButtonState buttons{};
  XIModifierState modifiers{};
  XIGroupState group{};
  std::vector<int> down;
  if (XIQueryPointer(display_, pointerDevice, root_, &root, &child, &rootX, &rootY, &windowX,
                     &windowY, &buttons, &modifiers, &group) != 0) {
    for (int button = 1; button < buttons.mask_len * 8; ++button) {
      if (XIMaskIsSet(buttons.mask, button)) down.push_back(button);
    }
  }
  if (buttons.mask != nullptr) XFree(buttons.mask);
  return down;
}

std::pair<int, int> Desktop::pointer() const {
  Window root = 0;
  Window child = 0;
  int rootX = 0;
  int rootY = 0;
  int windowX = 0;
  int windowY = 0;
  unsigned int mask = 0;
  XQueryPointer(display_, root_, &root, &child, &rootX, &rootY, &windowX, &windowY, &mask);
  return {rootX, rootY};
}

void Desktop::releaseAll() {
  // A key or button is down while any device holds it; releasing it on a device that does not
  // hold it is ignored by the server, so release it on both.
  for (Keycode code : keysDown()) {
    if (keyboard_ != nullptr) hardwareKey(code, false);
    xtestKey(code, false);
  }
  for (int button : buttonsDown()) {
    if (mouse_ != nullptr && button <= mouseButtons_) hardwareButton(button, false);
    xtestButton(button, false);
  }
  sync();
}

bool keyboardIsGrabbed() {
  Display* display = XOpenDisplay(nullptr);
  if (!display) return false;
  const int result = XGrabKeyboard(display, DefaultRootWindow(display), False, GrabModeAsync,
                                   GrabModeAsync, CurrentTime);
  if (result == GrabSuccess) XUngrabKeyboard(display, CurrentTime);
  XCloseDisplay(display);
  return result == AlreadyGrabbed || result == GrabFrozen;
}

void Desktop::sync() const {
  XSync(display_, False);
}

}  // namespace tovrel::desktoptest
