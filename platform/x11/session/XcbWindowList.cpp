#include "platform/x11/session/XcbWindowList.hpp"

#include <xcb/xcb.h>

#include <climits>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <string>

namespace tovrel::platform::x11 {
namespace {

template <class Reply>
struct Freed {
  void operator()(Reply* reply) const { std::free(reply); }
};
template <class Reply>
using ReplyPtr = std::unique_ptr<Reply, Freed<Reply>>;

// A reply, or nothing when the request failed (the window went away meanwhile).
template <class Reply, class Cookie>
ReplyPtr<Reply> await(xcb_connection_t* connection, Cookie cookie,
                      Reply* (*reply)(xcb_connection_t*, Cookie, xcb_generic_error_t**)) {
  xcb_generic_error_t* error = nullptr;
  ReplyPtr<Reply> answer(reply(connection, cookie, &error));
  std::free(error);
  return answer;
}

using PropertyPtr = ReplyPtr<xcb_get_property_reply_t>;

PropertyPtr awaitProperty(xcb_connection_t* connection, xcb_get_property_cookie_t cookie) {
  return await(connection, cookie, &xcb_get_property_reply);
}

std::vector<std::uint32_t> cardinals(const PropertyPtr& reply, xcb_atom_t type) {
  std::vector<std::uint32_t> values;
  if (!reply || reply->type != type || reply->format != 32) return values;
  const auto* items = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
  const int count = xcb_get_property_value_length(reply.get()) / 4;
  values.assign(items, items + count);
  return values;
}

// A text property of any 8-bit type (UTF8_STRING or STRING), without trailing NULs.
std::optional<std::string> text(const PropertyPtr& reply) {
  if (!reply || reply->type == XCB_NONE || reply->format != 8) return std::nullopt;
  std::string bytes(static_cast<const char*>(xcb_get_property_value(reply.get())),
                    static_cast<std::size_t>(xcb_get_property_value_length(reply.get())));
  while (!bytes.empty() && bytes.back() == '\0')
    bytes.pop_back();
  if (bytes.empty()) return std::nullopt;
  return bytes;
}

// What decides whether a window is an application's and whose.
struct Probe {
  bool managed = false;  // carries WM_STATE: the window an application made
  std::optional<std::int32_t> pid;
  std::vector<xcb_window_t> children;  // bottom to top
};

}  // namespace

struct XcbWindowList::State {
  std::mutex mutex;
  std::string display;
  WindowListAtoms atoms;
  xcb_connection_t* connection = nullptr;
  xcb_window_t root = 0;

  ~State() { disconnect(); }

  void disconnect() {
    if (connection != nullptr) xcb_disconnect(connection);
    connection = nullptr;
  }

  bool connected() {
    if (connection != nullptr && xcb_connection_has_error(connection) == 0) return true;
    disconnect();
    int screenNumber = 0;
    connection = xcb_connect(display.empty() ? nullptr : display.c_str(), &screenNumber);
    if (xcb_connection_has_error(connection) != 0) {
      disconnect();
      return false;
    }
    xcb_screen_iterator_t screen = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber && screen.rem > 0; ++i)
      xcb_screen_next(&screen);
    if (screen.rem == 0) {
      disconnect();
      return false;
    }
    root = screen.data->root;
    return true;
  }

  // Whether each window carries WM_STATE, its process and its children, all asked at once.
  std::vector<Probe> probe(const std::vector<xcb_window_t>& windows) {
    struct Cookies {
      xcb_get_property_cookie_t state;
      xcb_get_property_cookie_t pid;
      xcb_query_tree_cookie_t tree;
    };
    std::vector<Cookies> cookies;
    cookies.reserve(windows.size());
    for (xcb_window_t window : windows)
      cookies.push_back(
          {xcb_get_property(connection, 0, window, atoms.wmState, XCB_ATOM_ANY, 0, 0),
           xcb_get_property(connection, 0, window, atoms.wmPid, XCB_ATOM_CARDINAL, 0, 1),
           xcb_query_tree(connection, window)});
    std::vector<Probe> probes(windows.size());
    for (std::size_t i = 0; i < windows.size(); ++i) {
      const PropertyPtr state = awaitProperty(connection, cookies[i].state);
      probes[i].managed = state && state->type != XCB_NONE;
      const auto pid = cardinals(awaitProperty(connection, cookies[i].pid), XCB_ATOM_CARDINAL);
      if (!pid.empty() && pid.front() != 0 && pid.front() <= static_cast<std::uint32_t>(INT32_MAX))
        probes[i].pid = static_cast<std::int32_t>(pid.front());
      if (auto tree = await(connection, cookies[i].tree, &xcb_query_tree_reply)) {
        const xcb_window_t* kids = xcb_query_tree_children(tree.get());
        probes[i].children.assign(kids, kids + xcb_query_tree_children_length(tree.get()));
      }
    }
    return probes;
  }

  std::vector<atspi::ScreenWindow> windowsOf(std::int32_t wanted) {
    std::vector<atspi::ScreenWindow> windows;
    if (!connected()) return windows;
    const auto treeCookie = xcb_query_tree(connection, root);
    const auto activeCookie =
        xcb_get_property(connection, 0, root, atoms.activeWindow, XCB_ATOM_WINDOW, 0, 1);
    const auto tree = await(connection, treeCookie, &xcb_query_tree_reply);
    const auto activeList = cardinals(awaitProperty(connection, activeCookie), XCB_ATOM_WINDOW);
    if (!tree) return windows;
    // 0 (none) when no window is active.
    const xcb_window_t active = activeList.empty() ? 0 : activeList.front();

    // The root's viewable children, topmost first (the server lists them from the bottom up).
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    const int count = xcb_query_tree_children_length(tree.get());
    std::vector<xcb_get_window_attributes_cookie_t> attributes;
    attributes.reserve(static_cast<std::size_t>(count));
    for (int i = count - 1; i >= 0; --i)
      attributes.push_back(xcb_get_window_attributes(connection, children[i]));
    std::vector<xcb_window_t> tops;
    for (int i = count - 1, k = 0; i >= 0; --i, ++k) {
      const auto attrs = await(connection, attributes[static_cast<std::size_t>(k)],
                               &xcb_get_window_attributes_reply);
      if (attrs && attrs->map_state == XCB_MAP_STATE_VIEWABLE) tops.push_back(children[i]);
    }

    // Each top-level's client: itself when it carries WM_STATE, else the first of its children,
    // then of its grandchildren, that does; else itself. A level's questions go out together.
    const std::vector<Probe> topProbes = probe(tops);
    std::vector<xcb_window_t> clients(tops);
    std::vector<std::optional<std::int32_t>> clientPids(tops.size());
    std::vector<std::size_t> open;  // the tops whose client is still looked for
    for (std::size_t i = 0; i < tops.size(); ++i) {
      clientPids[i] = topProbes[i].pid;
      if (!topProbes[i].managed) open.push_back(i);
    }
    std::vector<std::vector<xcb_window_t>> levelOf(tops.size());
    for (std::size_t i : open)
      levelOf[i] = topProbes[i].children;
    for (int depth = 0; depth < 2 && !open.empty(); ++depth) {
      std::vector<xcb_window_t> asked;
      for (std::size_t i : open)
        asked.insert(asked.end(), levelOf[i].begin(), levelOf[i].end());
      const std::vector<Probe> probes = probe(asked);
      std::vector<std::size_t> still;
      std::size_t at = 0;
      for (std::size_t i : open) {
        std::vector<xcb_window_t> next;
        bool found = false;
        for (xcb_window_t window : levelOf[i]) {
          const Probe& p = probes[at++];
          if (found) continue;
          if (p.managed) {
            found = true;
            clients[i] = window;
            clientPids[i] = p.pid;
            continue;
          }
          next.insert(next.end(), p.children.begin(), p.children.end());
        }
        levelOf[i] = std::move(next);
        if (!found) still.push_back(i);
      }
      open = std::move(still);
    }

    // The wanted process's windows: where each lies, its title and margins.
    struct Details {
      std::size_t top;
      xcb_get_geometry_cookie_t geometry;
      xcb_translate_coordinates_cookie_t origin;
      xcb_get_property_cookie_t netName;
      xcb_get_property_cookie_t name;
      xcb_get_property_cookie_t margins;
    };
    std::vector<Details> details;
    for (std::size_t i = 0; i < tops.size(); ++i) {
      std::optional<std::int32_t> owner = clientPids[i];
      if (!owner && clients[i] != tops[i]) owner = topProbes[i].pid;
      if (owner != wanted) continue;
      const xcb_window_t client = clients[i];
      details.push_back(
          {i, xcb_get_geometry(connection, client),
           xcb_translate_coordinates(connection, client, root, 0, 0),
           xcb_get_property(connection, 0, client, atoms.netWmName, XCB_ATOM_ANY, 0, 1U << 16),
           xcb_get_property(connection, 0, client, XCB_ATOM_WM_NAME, XCB_ATOM_ANY, 0, 1U << 16),
           xcb_get_property(connection, 0, client, atoms.gtkFrameExtents, XCB_ATOM_CARDINAL, 0,
                            4)});
    }
    for (const Details& d : details) {
      const auto geometry = await(connection, d.geometry, &xcb_get_geometry_reply);
      const auto origin = await(connection, d.origin, &xcb_translate_coordinates_reply);
      const PropertyPtr netName = awaitProperty(connection, d.netName);
      const PropertyPtr name = awaitProperty(connection, d.name);
      const auto margins = cardinals(awaitProperty(connection, d.margins), XCB_ATOM_CARDINAL);
      if (!geometry || !origin || origin->same_screen == 0) continue;
      atspi::ScreenWindow window{origin->dst_x, origin->dst_y, geometry->width, geometry->height,
                                 std::nullopt};
      window.title = text(netName).value_or(text(name).value_or(std::string()));
      window.active = active != 0 && (active == clients[d.top] || active == tops[d.top]);
      if (margins.size() >= 4)
        window.margins = {static_cast<int>(margins[0]), static_cast<int>(margins[1]),
                          static_cast<int>(margins[2]), static_cast<int>(margins[3])};
      windows.push_back(std::move(window));
    }
    return windows;
  }
};

XcbWindowList::XcbWindowList(const char* display, WindowListAtoms atoms)
    : state_(std::make_unique<State>()) {
  state_->display = display != nullptr ? display : "";
  state_->atoms = atoms;
}

XcbWindowList::~XcbWindowList() = default;

std::vector<atspi::ScreenWindow> XcbWindowList::windowsOf(std::int32_t pid) {
  std::lock_guard lock(state_->mutex);
  return state_->windowsOf(pid);
}

}  // namespace tovrel::platform::x11
