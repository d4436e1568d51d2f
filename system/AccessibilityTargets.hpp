#pragma once

// Finding, in another application's accessibility tree, what click mode labels and scroll mode
// scrolls, and acting on it later. Everything is reentrant and may run on any thread; the only
// shared state is the two process-wide sets of applications whose trees were woken.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/Actions.hpp"
#include "core/HintTarget.hpp"
#include "core/ScrollSession.hpp"
#include "platform/Accessibility.hpp"
#include "platform/Clock.hpp"
#include "platform/DisplayServices.hpp"
#include "platform/Executor.hpp"
#include "platform/Platform.hpp"
#include "platform/Workspace.hpp"

namespace tovrel {

// What discovery talks to.
struct DiscoveryServices {
  platform::AccessibilityServices& accessibility;
  platform::WorkspaceServices& workspace;
  platform::DisplayServices& displays;
  platform::Clock& clock;
  platform::Executor& executor;

  static DiscoveryServices of(platform::Platform& platform) {
    return {platform.accessibility, platform.workspace, platform.displays, platform.clock,
            platform.executor};
  }
};

// One discovered element, paired with the target click mode labels for it.
struct AXElementBox {
  // The pseudo action of a target that is only to be hovered.
  static constexpr std::string_view hover = "Tovrel.hover";
  // The pseudo action of an item of a list, grid or tree that offers no press of its own: a
  // click at its visible centre presses it, as a person's click does.
  static constexpr std::string_view click = "Tovrel.click";

  platform::AXElement element;
  std::string role;
  HintTarget::Frame frame;
  std::vector<std::string> actions;
  std::optional<std::string> pressAction;
  std::optional<HintTarget::Frame> clickFrame;
};

using TargetPair = std::pair<HintTarget, AXElementBox>;

struct DiscoveryResult {
  std::vector<HintTarget> targets;     // reading order
  std::vector<AXElementBox> elements;  // parallel to `targets`
  bool truncated = false;
  double elapsed = 0;  // seconds
  int visitedNodes = 0;
  bool foundWindow = false;
  std::string scope = "no window";
  int contentTargets = 0;
  std::optional<HintTarget::Frame> windowFrame;
  bool windowCanBeFullScreen = false;
  int covered = 0;
  bool treeWasAsleep = false;
  // The toolkit the application names, read only when the window showed no content ("" when
  // it names none).
  std::string toolkit;

  // Drops the targets whose centre lies in one of the rectangles.
  void removeCovered(std::span<const HintTarget::Frame> rects);
  // Adds the pairs and puts everything back in reading order; an empty list changes nothing.
  void append(std::vector<TargetPair> pairs);
};

namespace AccessibilityTargets {

struct Budget {
  int maxNodes = 8000;
  int maxDepth = 60;
  int maxTargets = 400;
  double seconds = 0.8;
};

struct Extras {
  bool menuBar = true;
  bool dock = true;
};

struct StatusApp {
  std::int32_t pid = 0;
  std::optional<std::string> name;
};

// ── Role tables ──
bool isActionableRole(std::string_view role);
bool isTextRole(std::string_view role);
bool isMenuOpeningRole(std::string_view role);
bool isWindowChromeSubrole(std::string_view subrole);
bool isClickableRole(std::string_view role);
bool isContentRole(std::string_view role);
bool isClippingRole(std::string_view role);

// ── Attribute readers: any failure, absence or other type gives nothing ──
std::optional<std::string> stringAttribute(const platform::AXElement& element,
                                           std::string_view attribute);
std::optional<bool> boolAttribute(const platform::AXElement& element, std::string_view attribute);
std::optional<platform::AXElement> elementAttribute(const platform::AXElement& element,
                                                    std::string_view attribute);
std::optional<std::vector<platform::AXElement>> elementsAttribute(
    const platform::AXElement& element, std::string_view attribute);
std::optional<std::vector<platform::AXElement>> childrenOf(const platform::AXElement& element);
std::vector<std::string> actionNames(const platform::AXElement& element);
// Non-finite positions or sizes count as absent.
std::optional<HintTarget::Frame> frame(const platform::AXElement& element);

// ── Naming, visibility and search ──
std::optional<std::string> accessibleName(const platform::AXElement& element,
                                          std::string_view role);
bool isVisible(const HintTarget::Frame& rect, const HintTarget::Frame& clip,
               std::span<const platform::Rect> displays);
// Breadth first, `depth` levels down; it stops looking once `overdue` says so.
std::optional<platform::AXElement> firstDescendant(const platform::AXElement& element,
                                                   std::string_view role, int depth,
                                                   const std::function<bool()>& overdue = {});
// The element's own name, as it reports it, and nothing else.
std::optional<std::string> title(const platform::AXElement& element);
// How many levels below an element its texts are looked for, unless asked otherwise.
inline constexpr int textDepth = 3;
std::optional<std::string> firstText(const platform::AXElement& element, int depth);
// The texts shown within the element, first to last, at most `limit` and at most `maxDepth`
// levels down; each found as firstText() finds the first.
std::vector<std::string> texts(const platform::AXElement& element, std::size_t limit,
                               int maxDepth = textDepth);
// `displays` are the active display bounds the caller read.
std::optional<HintTarget::Frame> linkHitFrame(const platform::AXElement& link,
                                              const HintTarget::Frame& frame,
                                              std::span<const platform::Rect> displays);

// ── Waking and ordering ──
bool wakeTree(DiscoveryServices& services, const platform::AXElement& application,
              std::int32_t pid);
bool embedsChromium(DiscoveryServices& services, std::int32_t pid);
// Finds the application on the accessibility bus and learns its toolkit in the background, so
// that the first discovery in it after it came to the front does not wait for that.
void meet(DiscoveryServices& services, std::int32_t pid);
// Marks the process's enhanced interface as switched on; true when it was not before.
bool markEnhanced(std::int32_t pid);
void sortForLabels(std::vector<TargetPair>& pairs);

// ── The window walk (blocks its caller) ──
DiscoveryResult discoverSynchronously(DiscoveryServices& services, std::int32_t pid,
                                      const Budget& budget,
                                      std::span<const platform::Rect> displays);

// ── The discovery driver and its extras ──
// Blocks its caller until the result is ready; for this program's own process the walk runs on
// the main thread.
DiscoveryResult discoverNow(DiscoveryServices& services, std::int32_t pid, const Budget& budget,
                            const Extras& extras, bool checkCovering);
// Runs in the background and hands the result to `completion` on the main thread.
void discover(DiscoveryServices& services, std::int32_t pid, const Budget& budget,
              const Extras& extras, bool checkCovering,
              std::function<void(DiscoveryResult)> completion);
std::vector<TargetPair> notificationTargets(DiscoveryServices& services, std::int32_t pid,
                                            std::span<const platform::Rect> displays);
std::vector<HintTarget::Frame> windowsAbove(DiscoveryServices& services, std::int32_t pid);
std::vector<TargetPair> barItems(const std::vector<platform::AXElement>& elements,
                                 const std::optional<std::string>& fallbackName,
                                 std::span<const platform::Rect> displays);
std::vector<TargetPair> statusTargets(DiscoveryServices& services,
                                      const std::vector<StatusApp>& apps,
                                      std::span<const platform::Rect> displays);
std::vector<TargetPair> dockTargets(DiscoveryServices& services, std::int32_t pid,
                                    std::span<const platform::Rect> displays);
bool menuBarAutoHides(DiscoveryServices& services);
std::optional<std::int32_t> keyboardPanelApp(DiscoveryServices& services);

// ── Scroll-area search ──
struct ScrollContext {
  std::optional<HintTarget::Frame> window;
  std::vector<ScrollNode> clickChain;
  std::vector<ScrollNode> focusChain;
  std::optional<ScrollHover> hover;  // the pointer, when it is over the window
  std::vector<HintTarget::Frame> areas;
  bool treeWasAsleep = false;
};

std::vector<HintTarget::Frame> scrollAreasNow(DiscoveryServices& services, std::int32_t pid,
                                              bool afterWaking);
void scrollAreas(DiscoveryServices& services, std::int32_t pid, bool afterWaking,
                 std::function<void(std::vector<HintTarget::Frame>)> completion);
// The front window with the chains under the last click, under the pointer (`pointerAt`) and
// from the keyboard focus outward; with `areas`, also its scroll areas.
ScrollContext scrollContextNow(DiscoveryServices& services, std::int32_t pid,
                               std::optional<Point> clickedAt, std::optional<Point> pointerAt,
                               bool areas);
void scrollContext(DiscoveryServices& services, std::int32_t pid, std::optional<Point> clickedAt,
                   std::optional<Point> pointerAt, bool areas,
                   std::function<void(ScrollContext)> completion);
// Where the pointer can rest near `near` without hovering over a control. With the chosen `area`,
// also where the wheel reaches that area and no box nested in it that scrolls on its own; the
// search then widens over the whole area.
Point quietPointNow(DiscoveryServices& services, std::int32_t pid, Point near,
                    std::optional<HintTarget::Frame> area = std::nullopt);
void quietPoint(DiscoveryServices& services, std::int32_t pid, Point near,
                std::optional<HintTarget::Frame> area, std::function<void(Point)> completion);

// ── Activation ──
class Revalidation {
 public:
  static Revalidation valid(HintTarget::Frame frame) { return Revalidation(frame); }
  static Revalidation changed() { return Revalidation(std::nullopt); }
  bool isValid() const { return frame_.has_value(); }
  // The frame as read now; only for a valid one.
  const HintTarget::Frame& frame() const { return *frame_; }
  bool operator==(const Revalidation&) const = default;

 private:
  explicit Revalidation(std::optional<HintTarget::Frame> frame) : frame_(frame) {}
  std::optional<HintTarget::Frame> frame_;
};

class SemanticOutcome {
 public:
  enum class Kind { unsupported, pressed, focused };
  static SemanticOutcome unsupported(std::string reason) {
    return SemanticOutcome(Kind::unsupported, std::move(reason));
  }
  static SemanticOutcome pressed() { return SemanticOutcome(Kind::pressed, {}); }
  static SemanticOutcome focused() { return SemanticOutcome(Kind::focused, {}); }
  Kind kind() const { return kind_; }
  // Only for an unsupported one: a short reason in lower case.
  const std::string& reason() const { return reason_; }
  bool operator==(const SemanticOutcome&) const = default;

 private:
  SemanticOutcome(Kind kind, std::string reason) : kind_(kind), reason_(std::move(reason)) {}
  Kind kind_;
  std::string reason_;
};

Revalidation revalidate(const AXElementBox& box);
SemanticOutcome performSemantic(const AXElementBox& box, TargetAction action);
std::optional<platform::AXElement> rowContent(const AXElementBox& box);
bool isSelfOrDescendant(const platform::AXElement& candidate, const platform::AXElement& target);
// Sleeps on the calling thread between its two passes.
Point reachablePoint(DiscoveryServices& services, const AXElementBox& box, Point preferred);

// ── Diagnostics ──
std::string outline(DiscoveryServices& services, std::int32_t pid, int maxNodes);

}  // namespace AccessibilityTargets

namespace TargetAudit {

std::string runNow(DiscoveryServices& services, std::int32_t pid);
void run(DiscoveryServices& services, std::int32_t pid,
         std::function<void(std::string)> completion);
std::string report(DiscoveryServices& services, std::int32_t pid, const DiscoveryResult& result);
std::string describe(const HintTarget::Frame& frame);

}  // namespace TargetAudit

}  // namespace tovrel
