// The window walk: reads the front application's accessibility tree from its focused window (or
// the sheet, popover or open menu in front of it) and picks what click mode labels. Every read is
// a message to another process, so the cheap tests (role, frame, visibility) come first and the
// expensive reads (names, enabled state, subrole, actions) only follow for elements that pass.

#include <algorithm>
#include <cmath>
#include <deque>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "core/StageTrace.hpp"
#include "system/AccessibilityTargets.hpp"
#include "system/DiscoveryText.hpp"

namespace tovrel::AccessibilityTargets {

namespace {

using platform::AXElement;
using stageTrace::Stage;
using Frame = HintTarget::Frame;

// Sizes in points by which the walk judges elements.
constexpr double clipMinimum = 20;
constexpr double pressableTextMinimum = 30;
constexpr double tinyToggle = 4;
constexpr double lendingParentMaxWidth = 400;
constexpr double lendingParentMaxHeight = 60;
constexpr double separatorHeight = 10;
constexpr double hoverHostMinHeight = 20;
constexpr double largestCandidateShare = 0.4;
constexpr double namelessCandidateMax = 80;
constexpr std::size_t candidateNameLimit = 80;
// Texts read from each item of a list whose items all begin with the same one.
constexpr std::size_t itemTextLimit = 4;
// How deep the texts of items named by their type are looked for: such items are often a widget
// of the application's own, wrapping its picture and label in boxes.
constexpr int typeNamedTextDepth = 7;
// The share of the walk's time the search for a pop-over in front of the window may take.
constexpr double popoverSearchShare = 0.25;
// The share of an item that a control within it covers when the item is nothing but that control.
constexpr double itemContentShare = 0.7;

// A rectangle covering nothing, as an intersection of disjoint rectangles.
constexpr Frame nullRect{std::numeric_limits<double>::infinity(),
                         std::numeric_limits<double>::infinity(), 0, 0};

bool isNull(const Frame& r) {
  return std::isinf(r.x) || std::isinf(r.y);
}

bool isEmpty(const Frame& r) {
  return isNull(r) || !(r.width > 0) || !(r.height > 0);
}

Frame intersection(const Frame& a, const Frame& b) {
  if (isNull(a) || isNull(b)) return nullRect;
  const double left = std::max(a.x, b.x);
  const double top = std::max(a.y, b.y);
  const double right = std::min(a.x + a.width, b.x + b.width);
  const double bottom = std::min(a.y + a.height, b.y + b.height);
  if (right < left || bottom < top) return nullRect;
  return {left, top, right - left, bottom - top};
}

bool intersects(const Frame& a, const Frame& b) {
  return !isEmpty(intersection(a, b));
}

// `inner` lies within `outer`, edges included.
bool containsRect(const Frame& outer, const Frame& inner) {
  return outer.x <= inner.x && outer.y <= inner.y &&
         inner.x + inner.width <= outer.x + outer.width &&
         inner.y + inner.height <= outer.y + outer.height;
}

std::string duplicateKey(std::string_view role, std::string_view name, const Frame& frame) {
  std::string key;
  key.append(role).append("|").append(name).append("|");
  key.append(discovery::wholeNumber(frame.x)).append("|").append(discovery::wholeNumber(frame.y));
  return key;
}

std::string labelForNameless(std::string_view role) {
  if (role == "AXTextField" || role == "AXSearchField" || role == "AXComboBox") return "Text field";
  if (role == "AXSecureTextField") return "Password field";
  if (role == "AXTextArea") return "Text area";
  return {};
}

struct Item {
  AXElement element;
  int depth = 0;
  Frame clip;
  std::optional<Frame> targetAncestorFrame;
  bool inRow = false;
  std::optional<std::size_t> host;
  int parent = 0;  // the same for every child of one element
};

// An item target, the list it belongs to, whether its first text named it, and the name it gave
// itself.
struct ItemTarget {
  std::size_t pair;
  int list;
  bool namedByText;
  std::string title;
};

// A name that reads as a program's type ("FileGridCell"): letters and digits only, a capital
// first, and a capital again after a small letter.
bool looksLikeTypeName(std::string_view name) {
  if (name.empty() || !(name.front() >= 'A' && name.front() <= 'Z')) return false;
  bool small = false;
  bool capitalAfterSmall = false;
  for (const char c : name) {
    const bool upper = c >= 'A' && c <= 'Z';
    const bool lower = c >= 'a' && c <= 'z';
    if (!upper && !lower && !(c >= '0' && c <= '9')) return false;
    capitalAfterSmall = capitalAfterSmall || (upper && small);
    small = small || lower;
  }
  return capitalAfterSmall;
}

struct HoverHost {
  AXElement element;
  Frame frame;
  std::string name;
  bool revealsControls = false;
};

struct Candidate {
  AXElement element;
  Frame frame;
  std::optional<std::size_t> host;
};

// What one element of the walk read about itself; the expensive parts on demand, at most once.
class NodeReads {
 public:
  explicit NodeReads(const AXElement& element) : element_(element) {}

  const std::vector<std::string>& actions() {
    if (!actions_) actions_ = actionNames(element_);
    return *actions_;
  }
  const std::optional<std::string>& roleDescription() {
    if (!roleDescription_) roleDescription_ = stringAttribute(element_, "AXRoleDescription");
    return *roleDescription_;
  }

 private:
  const AXElement& element_;
  std::optional<std::vector<std::string>> actions_;
  std::optional<std::optional<std::string>> roleDescription_;
};

class WindowWalk {
 public:
  WindowWalk(DiscoveryServices& services, std::int32_t pid, const Budget& budget,
             std::span<const platform::Rect> displays)
      : services_(services), pid_(pid), budget_(budget), displays_(displays) {}

  DiscoveryResult run();

 private:
  bool budgetSpent(double start) const;
  void visit(const Item& item);
  void descend(const Item& item, const std::optional<Frame>& frame, Item childTemplate);
  void nameItems();
  void nameBySharedText(const std::vector<ItemTarget*>& list, int depth);
  void dropFilledItems();
  void addCandidates();
  void addHoverTargets();

  DiscoveryServices& services_;
  std::int32_t pid_;
  const Budget& budget_;
  std::span<const platform::Rect> displays_;

  // Breadth first: a read cut short by the budget has labelled the window's upper levels (its
  // bars and their buttons) rather than one deep corner of its content.
  std::deque<Item> queue_;
  std::vector<TargetPair> pairs_;
  std::vector<HoverHost> hosts_;
  std::vector<Candidate> candidates_;
  std::vector<ItemTarget> items_;
  std::unordered_set<std::string> keys_;
  int visited_ = 0;
  int parents_ = 0;
  int windowChrome_ = 0;
  bool truncated_ = false;
  Frame rootFrame_;
};

DiscoveryResult WindowWalk::run() {
  DiscoveryResult result;
  const double start = services_.clock.uptime();
  const AXElement application = services_.accessibility.application(pid_);
  application.setMessagingTimeout(discovery::messagingTimeout);
  {
    stageTrace::Scope greeting(Stage::greeting);
    result.treeWasAsleep = wakeTree(services_, application, pid_);
  }

  std::optional<stageTrace::Scope> match(std::in_place, Stage::window);
  auto window = elementAttribute(application, "AXFocusedWindow");
  if (!window) window = elementAttribute(application, "AXMainWindow");
  // An early return keeps the wake result: a tree that was only just switched on often shows no
  // window yet, and the caller retries only when told the tree was asleep.
  if (!window) {
    result.toolkit = stringAttribute(application, "AXToolkitName").value_or("");
    return result;
  }
  window->setMessagingTimeout(discovery::messagingTimeout);

  AXElement root = *window;
  std::string scope = "focused window";
  bool foundSheet = false;
  if (auto children = childrenOf(*window)) {
    for (const AXElement& child : *children) {
      child.setMessagingTimeout(discovery::messagingTimeout);
      if (stringAttribute(child, "AXRole") == "AXSheet") {
        root = child;
        scope = "sheet";
        foundSheet = true;
        break;
      }
    }
  }
  if (!foundSheet) {
    // A window whose first two levels alone take longer than a share of the walk's time is
    // walked rather than searched: reading them whole would leave the walk no time to label them.
    const auto overdue = [&] {
      return services_.clock.uptime() - start > budget_.seconds * popoverSearchShare;
    };
    if (auto popover = firstDescendant(*window, "AXPopover", 2, overdue)) {
      root = *popover;
      scope = "popover";
    }
  }
  if (auto children = childrenOf(application)) {
    for (auto child = children->rbegin(); child != children->rend(); ++child) {
      child->setMessagingTimeout(discovery::messagingTimeout);
      if (stringAttribute(*child, "AXRole") == "AXMenu") {
        root = *child;
        scope = "menu";
        break;
      }
    }
  }
  result.foundWindow = true;
  result.scope = scope;

  const auto rootFrame = frame(root);
  if (!rootFrame) return result;
  rootFrame_ = *rootFrame;
  match.reset();

  {
    stageTrace::Scope walk(Stage::walk);
    queue_.push_back({root, 0, *rootFrame, std::nullopt, false, std::nullopt});
    while (!queue_.empty()) {
      Item item = std::move(queue_.front());
      queue_.pop_front();
      if (budgetSpent(start)) {
        truncated_ = true;
        break;
      }
      visit(item);
    }
  }

  stageTrace::Scope naming(Stage::details);
  nameItems();
  dropFilledItems();
  addCandidates();
  addHoverTargets();
  sortForLabels(pairs_);
  result.targets.reserve(pairs_.size());
  result.elements.reserve(pairs_.size());
  for (auto& [target, box] : pairs_) {
    result.targets.push_back(std::move(target));
    result.elements.push_back(std::move(box));
  }
  result.contentTargets = static_cast<int>(result.targets.size()) - windowChrome_;
  const double end = services_.clock.uptime();
  // Some toolkits show their content only when asked to: the message for an empty window says how.
  if (result.contentTargets == 0)
    result.toolkit = stringAttribute(application, "AXToolkitName").value_or("");

  result.windowFrame = frame(*window);
  result.windowCanBeFullScreen = boolAttribute(*window, "AXFullScreen") == true ||
                                 stringAttribute(*window, "AXSubrole") == "AXStandardWindow";

  // A page whose links offer no press action usually exposes them properly only with the
  // enhanced interface on; switch it on once per process so the retry finds them.
  int links = 0;
  bool anyLinkPresses = false;
  for (const AXElementBox& box : result.elements) {
    if (box.role != "AXLink") continue;
    ++links;
    anyLinkPresses = anyLinkPresses || discovery::hasAction(box.actions, "AXPress");
  }
  if (links >= 2 && !anyLinkPresses && markEnhanced(pid_)) {
    application.setAttribute("AXEnhancedUserInterface", true);
    result.treeWasAsleep = true;
  }

  result.truncated = truncated_;
  result.elapsed = end - start;
  result.visitedNodes = visited_;
  result.covered = 0;
  return result;
}

bool WindowWalk::budgetSpent(double start) const {
  return visited_ >= std::max(budget_.maxNodes, 0) ||
         static_cast<long long>(pairs_.size()) >= budget_.maxTargets ||
         services_.clock.uptime() - start > budget_.seconds;
}

void WindowWalk::visit(const Item& item) {
  const AXElement& element = item.element;
  element.setMessagingTimeout(discovery::messagingTimeout);
  const std::string role = stringAttribute(element, "AXRole").value_or("");
  const std::optional<Frame> ownFrame = frame(element);
  NodeReads reads(element);

  Frame clip = item.clip;
  if (ownFrame && isClippingRole(role) && role != "AXGroup" && ownFrame->width >= clipMinimum &&
      ownFrame->height >= clipMinimum)
    clip = intersection(clip, *ownFrame);

  const bool pressableText =
      role == "AXStaticText" && ownFrame && ownFrame->width >= pressableTextMinimum &&
      ownFrame->height >= pressableTextMinimum && discovery::hasAction(reads.actions(), "AXPress");

  std::optional<Frame> targetFrame = ownFrame;
  bool usesParentFrame = false;
  if ((role == "AXCheckBox" || role == "AXRadioButton") && ownFrame &&
      (ownFrame->width < tinyToggle || ownFrame->height < tinyToggle)) {
    targetFrame.reset();
    if (auto parent = elementAttribute(element, "AXParent")) {
      parent->setMessagingTimeout(discovery::messagingTimeout);
      auto parentFrame = frame(*parent);
      if (parentFrame && parentFrame->width <= lendingParentMaxWidth &&
          parentFrame->height <= lendingParentMaxHeight) {
        targetFrame = parentFrame;
        usesParentFrame = true;
      }
    }
  }

  const bool separator = role == "AXMenuItem" && ownFrame && ownFrame->height < separatorHeight;

  // An item of a list, grid or tree that a person can land on (it takes the focus or can be
  // selected): its toolkit acts on a click, and on nothing an assistive technology can do —
  // selecting a tile of a grid view opens nothing, and the "activate" a tree view's cell offers
  // changes nothing in a file manager — so a click presses it.
  const bool listItem = (role == "AXRow" || role == "AXCell") && ownFrame &&
                        isVisible(*ownFrame, clip, displays_) &&
                        (boolAttribute(element, "AXFocusable") == true ||
                         boolAttribute(element, "AXSelectable") == true);

  // What the children inherit unless this element becomes a target or a hover host.
  Item child{{}, item.depth + 1, clip, item.targetAncestorFrame, item.inRow, item.host};

  const bool passes = !separator && (isActionableRole(role) || pressableText || listItem) &&
                      ownFrame && targetFrame && isVisible(*targetFrame, clip, displays_);
  if (passes) {
    const std::optional<bool> enabled = boolAttribute(element, "AXEnabled");
    // An item is named by what it shows unless it names itself: a tool tip, which some toolkits
    // hand over as an item's description, says what the item does, not what a person reads on it.
    const bool isItem = role == "AXRow" || listItem;
    const std::string ownTitle = isItem ? title(element).value_or("") : "";
    std::string name = ownTitle;
    const bool namedByText = isItem && name.empty();
    if (namedByText) name = firstText(element, 0).value_or("");
    if (name.empty()) name = accessibleName(element, role).value_or("");
    if (name.empty() && (role == "AXButton" || role == "AXLink"))
      name = reads.roleDescription().value_or("");
    // An item without a text of its own is a part of one (a tree view's icon cell), or nothing.
    if (name.empty() && !listItem &&
        (pressableText || discovery::hasAction(reads.actions(), "AXPress")))
      name = reads.roleDescription().value_or("Item");

    // A text field inside a row is reached through the row; its children stay in the row. So
    // is an item inside one (a cell of a row), which would be a second label for the same row.
    const bool inRowOnly = item.inRow && (isTextRole(role) || listItem);
    const bool eligible = !inRowOnly && enabled != false &&
                          (!item.targetAncestorFrame || *ownFrame != *item.targetAncestorFrame);
    bool makeTarget = eligible && (!name.empty() || isTextRole(role));
    std::string key;
    if (makeTarget) {
      key = duplicateKey(role, name, *ownFrame);
      makeTarget = keys_.count(key) == 0;
    }
    if (makeTarget) {
      keys_.insert(key);
      const std::string label = name.empty() ? labelForNameless(role) : name;

      const Frame visible = intersection(*targetFrame, clip);
      const bool clipped =
          visible.width < targetFrame->width - 1 || visible.height < targetFrame->height - 1;
      Frame shown = *ownFrame;
      std::optional<Frame> clickFrame;
      if (role == "AXLink") {
        if (auto hit = linkHitFrame(element, *ownFrame, displays_)) {
          shown = *hit;
          clickFrame = hit;
        }
      } else if (usesParentFrame) {
        shown = *targetFrame;
        clickFrame = targetFrame;
      } else if (clipped) {
        shown = visible;
        clickFrame = visible;
      }

      std::optional<std::string> pressAction;
      if (listItem) pressAction = std::string(AXElementBox::click);
      pairs_.emplace_back(
          HintTarget{label, role, shown},
          AXElementBox{element, role, *ownFrame, reads.actions(), pressAction, clickFrame});
      if (listItem) items_.push_back({pairs_.size() - 1, item.parent, namedByText, ownTitle});
      if (auto subrole = stringAttribute(element, "AXSubrole");
          subrole && isWindowChromeSubrole(*subrole))
        ++windowChrome_;
      child.targetAncestorFrame = *ownFrame;
      child.inRow = role == "AXRow" || listItem;
    }
  }

  // An actionable control with no extent inside a hover host: the host hides its controls until
  // the pointer rests on it.
  if (ownFrame && item.host && isActionableRole(role) &&
      (ownFrame->width == 0 || ownFrame->height == 0))
    hosts_[*item.host].revealsControls = true;

  if (isClickableRole(role) && !listItem && ownFrame && isVisible(*ownFrame, clip, displays_) &&
      discovery::hasAction(reads.actions(), "AXPress")) {
    std::optional<std::size_t> becameHost;
    if (role == "AXGroup" && ownFrame->height >= hoverHostMinHeight) {
      hosts_.push_back({element, *ownFrame, accessibleName(element, role).value_or(""), false});
      becameHost = hosts_.size() - 1;
      child.host = becameHost;
    }
    if (!item.targetAncestorFrame) candidates_.push_back({element, *ownFrame, becameHost});
  }

  ++visited_;
  descend(item, ownFrame, std::move(child));
}

void WindowWalk::descend(const Item& item, const std::optional<Frame>& ownFrame,
                         Item childTemplate) {
  const Frame& clip = childTemplate.clip;
  if (isEmpty(clip)) return;
  if (item.depth > 0 && ownFrame && ownFrame->width > 0 && ownFrame->height > 0 &&
      !intersects(*ownFrame, clip))
    return;
  if (item.depth >= budget_.maxDepth) {
    truncated_ = true;
    return;
  }
  auto children = childrenOf(item.element);
  if (!children) return;
  childTemplate.parent = ++parents_;
  if (item.depth == 0) {
    // The window's chrome (title-bar buttons, toolbars) first, so it is labelled even when the
    // budget runs out inside a long document.
    std::vector<AXElement> chrome;
    std::vector<AXElement> content;
    for (const AXElement& child : *children) {
      child.setMessagingTimeout(discovery::messagingTimeout);
      auto role = stringAttribute(child, "AXRole");
      (role && isContentRole(*role) ? content : chrome).push_back(child);
    }
    *children = std::move(chrome);
    children->insert(children->end(), content.begin(), content.end());
  }
  for (const AXElement& child : *children) {
    Item next = childTemplate;
    next.element = child;
    queue_.push_back(std::move(next));
  }
}

void WindowWalk::nameItems() {
  std::map<int, std::vector<ItemTarget*>> lists;
  for (ItemTarget& item : items_)
    lists[item.list].push_back(&item);
  // Asked once, when a name first reads as a type.
  std::optional<bool> typeNames;
  for (auto& [list, members] : lists) {
    // A toolkit that reports a widget nobody named by its type ("NautilusGridCell") names an item
    // so when the application gave it no name of its own: the item is named by what it shows,
    // which may lie deeper than a plain row's texts. A name the item shows is its own, however it
    // reads, and so is every name where the toolkit never stands in a type.
    int depth = textDepth;
    for (ItemTarget* item : members) {
      if (!looksLikeTypeName(item->title)) continue;
      if (!typeNames)
        typeNames = boolAttribute(services_.accessibility.application(pid_),
                                  "AXTypeNamesForNoName") == true;
      if (!*typeNames) break;
      const auto shown =
          texts(pairs_[item->pair].second.element, itemTextLimit, typeNamedTextDepth);
      if (shown.empty() || std::find(shown.begin(), shown.end(), item->title) != shown.end())
        continue;
      pairs_[item->pair].first.name = shown.front();
      item->namedByText = true;
      depth = typeNamedTextDepth;
    }
    nameBySharedText(members, depth);
  }
}

void WindowWalk::nameBySharedText(const std::vector<ItemTarget*>& list, int depth) {
  // Items of one list that all begin with the same text (a grid of fonts whose every tile shows
  // "Aa" above the font's name) are told apart by what follows it: a text every item shows is
  // the name of none of them.
  std::vector<std::size_t> members;
  for (const ItemTarget* item : list) {
    if (item->namedByText) members.push_back(item->pair);
  }
  if (members.size() < 2) return;
  const std::string& first = pairs_[members.front()].first.name;
  if (!std::all_of(members.begin(), members.end(),
                   [&](std::size_t pair) { return pairs_[pair].first.name == first; }))
    return;
  std::vector<std::vector<std::string>> shown;
  for (std::size_t pair : members)
    shown.push_back(texts(pairs_[pair].second.element, itemTextLimit, depth));
  std::size_t shared = 0;
  while (std::all_of(shown.begin(), shown.end(), [&](const std::vector<std::string>& own) {
    return own.size() > shared + 1 && own[shared] == shown.front()[shared];
  }))
    ++shared;
  if (shared == 0) return;
  for (std::size_t i = 0; i < members.size(); ++i)
    pairs_[members[i]].first.name = shown[i][shared];
}

void WindowWalk::dropFilledItems() {
  // An item that one control fills (a flow box's child holding a button) is that control, which
  // has a label of its own. What lies within an item follows it in the walk's order.
  std::vector<bool> filled(pairs_.size(), false);
  for (const ItemTarget& item : items_) {
    const Frame& own = pairs_[item.pair].second.frame;
    for (std::size_t inner = item.pair + 1; inner < pairs_.size() && !filled[item.pair]; ++inner) {
      const Frame& content = pairs_[inner].second.frame;
      filled[item.pair] =
          containsRect(own, content) &&
          content.width * content.height >= itemContentShare * own.width * own.height;
    }
  }
  std::vector<TargetPair> kept;
  kept.reserve(pairs_.size());
  for (std::size_t i = 0; i < pairs_.size(); ++i) {
    if (!filled[i]) kept.push_back(std::move(pairs_[i]));
  }
  pairs_ = std::move(kept);
}

void WindowWalk::addCandidates() {
  const double windowArea = rootFrame_.width * rootFrame_.height;
  for (const Candidate& candidate : candidates_) {
    if (static_cast<long long>(pairs_.size()) >= budget_.maxTargets) break;
    const Frame& f = candidate.frame;
    if (f.width * f.height > largestCandidateShare * windowArea) continue;
    const bool overlapsTarget = std::any_of(pairs_.begin(), pairs_.end(), [&](const auto& pair) {
      return containsRect(f, pair.first.frame) || containsRect(pair.first.frame, f);
    });
    if (overlapsTarget) continue;
    if (candidate.host && hosts_[*candidate.host].revealsControls) continue;

    const std::string role = stringAttribute(candidate.element, "AXRole").value_or("AXGroup");
    auto found = accessibleName(candidate.element, role);
    if (!found) found = firstText(candidate.element, 0);
    std::string name = found.value_or("");
    if (name.empty()) {
      if (f.width > namelessCandidateMax || f.height > namelessCandidateMax) continue;
      name = "Button";
    } else {
      name = discovery::cutName(name, candidateNameLimit);
    }
    pairs_.emplace_back(HintTarget{name, role, f},
                        AXElementBox{candidate.element, role, f, actionNames(candidate.element),
                                     std::nullopt, std::nullopt});
  }
}

void WindowWalk::addHoverTargets() {
  const double windowArea = rootFrame_.width * rootFrame_.height;
  for (const HoverHost& host : hosts_) {
    if (static_cast<long long>(pairs_.size()) >= budget_.maxTargets) break;
    if (!host.revealsControls) continue;
    if (host.frame.width * host.frame.height > largestCandidateShare * windowArea) continue;
    const std::string name =
        discovery::cutName(host.name.empty() ? "Show actions" : host.name, candidateNameLimit);
    pairs_.emplace_back(HintTarget{name, "AXGroup", host.frame},
                        AXElementBox{host.element,
                                     "AXGroup",
                                     host.frame,
                                     {},
                                     std::string(AXElementBox::hover),
                                     std::nullopt});
  }
}

}  // namespace

DiscoveryResult discoverSynchronously(DiscoveryServices& services, std::int32_t pid,
                                      const Budget& budget,
                                      std::span<const platform::Rect> displays) {
  return WindowWalk(services, pid, budget, displays).run();
}

}  // namespace tovrel::AccessibilityTargets
