#pragma once

// Accessibility trees a test builds node by node: typed attributes, actions with chosen results,
// hit tests, unanswering applications, parent cycles. Every message to a node can cost time on
// the virtual clock, and messages are counted, so budgets and time-outs are tested in virtual
// time.

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "platform/Accessibility.hpp"
#include "platform/DisplayServices.hpp"
#include "platform/fake/FakeClock.hpp"

namespace tovrel::platform::fake {

class FakeAccessibility : public AccessibilityServices {
 public:
  using NodeId = int;
  struct Ref {
    NodeId id;
  };
  struct RefList {
    std::vector<NodeId> ids;
  };
  // An attribute as stored: element references are node ids.
  using Value = std::variant<std::string, bool, double, Point, AXSize, Ref, RefList>;

  struct Write {
    NodeId node;
    std::string attribute;
    AXValue value;
  };
  struct Performed {
    NodeId node;
    std::string action;
  };

  explicit FakeAccessibility(FakeClock& clock) : clock_(clock) {}

  // ── Building ──
  // The application node of a process (role "AXApplication"); one per pid.
  NodeId addApplication(std::int32_t pid);
  // A node appended to `parent`'s "AXChildren", with "AXParent", "AXRole" and, when given,
  // "AXPosition" and "AXSize" set. Action names are read through actionNames().
  NodeId add(NodeId parent, const std::string& role, std::optional<Rect> frame = std::nullopt,
             std::vector<std::string> actions = {});
  void set(NodeId node, const std::string& attribute, Value value);
  void erase(NodeId node, const std::string& attribute);
  void setFrame(NodeId node, std::optional<Rect> frame);
  // Reading the attribute fails with this error instead.
  void failAttribute(NodeId node, const std::string& attribute, AXError error);
  void setActions(NodeId node, std::vector<std::string> actions);
  void failActionNames(NodeId node, AXError error);
  // Performing the action gives this result (success by default for listed actions,
  // actionUnsupported for others).
  void setActionResult(NodeId node, const std::string& action, AXError result);
  // Writing the attribute gives this result; a failed write stores nothing. With `keep` false a
  // successful write is not stored (a value that reads back unchanged).
  void setWriteResult(NodeId node, const std::string& attribute, AXError result, bool keep = true);
  // Every message to the node waits out the caller's time-out and fails with cannotComplete.
  void setUnresponsive(NodeId node, bool unresponsive = true);
  void setPidUnreadable(NodeId node, bool unreadable = true);
  // Gone: every message fails with invalidUIElement.
  void destroy(NodeId node);
  // Hit tests on `pid`'s application element inside `area` answer `node` (nothing when
  // `node` is absent), before the default: the deepest node under the point, later siblings on
  // top, searched from the application's children.
  void addHit(std::int32_t pid, Rect area, std::optional<NodeId> node);

  // The element of a node, as the backend would hand it out.
  AXElement element(NodeId node);
  std::optional<NodeId> idOf(const AXElement& element) const;
  NodeId systemWideNode();

  AXElement application(std::int32_t pid) override;
  AXElement systemWide() override;

  // ── Observing ──
  // Virtual seconds each answered message costs.
  double messageCost = 0;
  // The time-out an element has before anyone sets one.
  double defaultTimeout = 6.0;
  int messages() const;
  int messages(NodeId node) const;
  // How often each attribute of the node was read.
  std::map<std::string, int, std::less<>> reads(NodeId node) const;
  std::vector<Write> writes() const;
  std::vector<Performed> performed() const;
  int hitTests() const;
  // The time-out last set on any element of the node, 0 when none was set.
  double timeoutSetOn(NodeId node) const;

 private:
  class Node;
  struct Data {
    std::int32_t pid = 0;
    std::map<std::string, Value, std::less<>> attributes;
    std::map<std::string, AXError, std::less<>> attributeErrors;
    std::vector<std::string> actions;
    std::optional<AXError> actionNamesError;
    std::map<std::string, AXError, std::less<>> actionResults;
    std::map<std::string, std::pair<AXError, bool>, std::less<>> writeResults;
    bool unresponsive = false;
    bool pidUnreadable = false;
    bool destroyed = false;
    int messages = 0;
    std::map<std::string, int, std::less<>> reads;
    double lastTimeout = 0;
  };
  struct Hit {
    std::int32_t pid;
    Rect area;
    std::optional<NodeId> node;
  };

  // Counts the message and charges its cost; false (with `error` set) when it fails before
  // reaching the node's data.
  bool begin(NodeId id, double timeout, AXError& error);
  AXValue toValue(const Value& value);
  std::optional<NodeId> deepestAt(NodeId from, Point point, int depth) const;
  std::optional<Rect> frameOf(NodeId id) const;

  FakeClock& clock_;
  mutable std::recursive_mutex mutex_;
  std::vector<Data> nodes_;
  std::map<std::int32_t, NodeId> applications_;
  std::optional<NodeId> systemWide_;
  std::vector<Write> writes_;
  std::vector<Performed> performed_;
  std::vector<Hit> hits_;
  int hitTests_ = 0;
  int totalMessages_ = 0;
};

}  // namespace tovrel::platform::fake
