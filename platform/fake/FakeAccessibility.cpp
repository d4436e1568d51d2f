#include "platform/fake/FakeAccessibility.hpp"

#include <atomic>
#include <functional>

namespace tovrel::platform::fake {

class FakeAccessibility::Node : public AXNode {
 public:
  Node(FakeAccessibility& owner, NodeId id) : owner_(owner), id_(id) {}

  NodeId id() const { return id_; }

  bool sameObject(const AXNode& other) const override {
    const auto* node = dynamic_cast<const Node*>(&other);
    return node != nullptr && &node->owner_ == &owner_ && node->id_ == id_;
  }
  std::size_t hash() const override { return std::hash<int>{}(id_); }

  std::optional<std::int32_t> pid() const override {
    std::lock_guard lock(owner_.mutex_);
    const Data& data = owner_.nodes_.at(static_cast<std::size_t>(id_));
    if (data.pidUnreadable || data.destroyed) return std::nullopt;
    return data.pid;
  }

  void setMessagingTimeout(double seconds) override {
    timeout_.store(seconds);
    std::lock_guard lock(owner_.mutex_);
    owner_.nodes_.at(static_cast<std::size_t>(id_)).lastTimeout = seconds;
  }

  AXResult<AXValue> attribute(std::string_view name) override {
    std::lock_guard lock(owner_.mutex_);
    AXError error{};
    if (!owner_.begin(id_, timeout(), error)) return error;
    Data& data = owner_.nodes_.at(static_cast<std::size_t>(id_));
    ++data.reads[std::string(name)];
    if (auto failed = data.attributeErrors.find(name); failed != data.attributeErrors.end()) {
      return failed->second;
    }
    auto found = data.attributes.find(name);
    if (found == data.attributes.end()) return AXError::noValue;
    return owner_.toValue(found->second);
  }

  AXError setAttribute(std::string_view name, const AXValue& value) override {
    std::lock_guard lock(owner_.mutex_);
    AXError error{};
    if (!owner_.begin(id_, timeout(), error)) return error;
    owner_.writes_.push_back({id_, std::string(name), value});
    Data& data = owner_.nodes_.at(static_cast<std::size_t>(id_));
    AXError result = AXError::success;
    bool keep = true;
    if (auto configured = data.writeResults.find(name); configured != data.writeResults.end()) {
      result = configured->second.first;
      keep = configured->second.second;
    }
    if (result == AXError::success && keep) {
      Value stored;
      if (const auto* element = std::get_if<AXElement>(&value)) {
        auto id = owner_.idOf(*element);
        if (!id) return AXError::illegalArgument;
        stored = Ref{*id};
      } else if (std::holds_alternative<std::vector<AXElement>>(value)) {
        return AXError::illegalArgument;
      } else {
        std::visit(
            [&](const auto& plain) {
              using T = std::decay_t<decltype(plain)>;
              if constexpr (!std::is_same_v<T, AXElement> &&
                            !std::is_same_v<T, std::vector<AXElement>>) {
                stored = plain;
              }
            },
            value);
      }
      data.attributes[std::string(name)] = stored;
    }
    return result;
  }

  AXResult<std::vector<std::string>> actionNames() override {
    std::lock_guard lock(owner_.mutex_);
    AXError error{};
    if (!owner_.begin(id_, timeout(), error)) return error;
    const Data& data = owner_.nodes_.at(static_cast<std::size_t>(id_));
    if (data.actionNamesError) return *data.actionNamesError;
    return data.actions;
  }

  AXError performAction(std::string_view action) override {
    std::lock_guard lock(owner_.mutex_);
    AXError error{};
    if (!owner_.begin(id_, timeout(), error)) return error;
    const Data& data = owner_.nodes_.at(static_cast<std::size_t>(id_));
    AXError result = AXError::actionUnsupported;
    for (const auto& listed : data.actions) {
      if (listed == action) result = AXError::success;
    }
    if (auto configured = data.actionResults.find(action); configured != data.actionResults.end()) {
      result = configured->second;
    }
    if (result == AXError::success) owner_.performed_.push_back({id_, std::string(action)});
    return result;
  }

  AXResult<AXElement> elementAtPosition(float x, float y) override {
    std::lock_guard lock(owner_.mutex_);
    AXError error{};
    if (!owner_.begin(id_, timeout(), error)) return error;
    ++owner_.hitTests_;
    const Data& data = owner_.nodes_.at(static_cast<std::size_t>(id_));
    auto application = owner_.applications_.find(data.pid);
    if (application == owner_.applications_.end() || application->second != id_) {
      return AXError::illegalArgument;
    }
    const Point point{static_cast<double>(x), static_cast<double>(y)};
    for (auto hit = owner_.hits_.rbegin(); hit != owner_.hits_.rend(); ++hit) {
      if (hit->pid == data.pid && hit->area.contains(point)) {
        if (!hit->node) return AXError::noValue;
        return owner_.element(*hit->node);
      }
    }
    auto deepest = owner_.deepestAt(id_, point, 0);
    if (!deepest || *deepest == id_) return AXError::noValue;
    return owner_.element(*deepest);
  }

 private:
  double timeout() const {
    const double set = timeout_.load();
    return set > 0 ? set : owner_.defaultTimeout;
  }

  FakeAccessibility& owner_;
  NodeId id_;
  std::atomic<double> timeout_{0};
};

bool FakeAccessibility::begin(NodeId id, double timeout, AXError& error) {
  ++totalMessages_;
  Data& data = nodes_.at(static_cast<std::size_t>(id));
  ++data.messages;
  if (data.destroyed) {
    error = AXError::invalidUIElement;
    return false;
  }
  if (data.unresponsive) {
    clock_.advance(timeout);
    error = AXError::cannotComplete;
    return false;
  }
  clock_.advance(messageCost);
  return true;
}

AXValue FakeAccessibility::toValue(const Value& value) {
  return std::visit(
      [&](const auto& stored) -> AXValue {
        using T = std::decay_t<decltype(stored)>;
        if constexpr (std::is_same_v<T, Ref>) {
          return element(stored.id);
        } else if constexpr (std::is_same_v<T, RefList>) {
          std::vector<AXElement> elements;
          elements.reserve(stored.ids.size());
          for (NodeId id : stored.ids)
            elements.push_back(element(id));
          return elements;
        } else {
          return stored;
        }
      },
      value);
}

FakeAccessibility::NodeId FakeAccessibility::addApplication(std::int32_t pid) {
  std::lock_guard lock(mutex_);
  if (auto found = applications_.find(pid); found != applications_.end()) return found->second;
  const NodeId id = static_cast<NodeId>(nodes_.size());
  nodes_.push_back(Data{});
  nodes_.back().pid = pid;
  nodes_.back().attributes["AXRole"] = std::string("AXApplication");
  nodes_.back().attributes["AXChildren"] = RefList{};
  applications_[pid] = id;
  return id;
}

FakeAccessibility::NodeId FakeAccessibility::add(NodeId parent, const std::string& role,
                                                 std::optional<Rect> frame,
                                                 std::vector<std::string> actions) {
  std::lock_guard lock(mutex_);
  const NodeId id = static_cast<NodeId>(nodes_.size());
  Data data;
  data.pid = nodes_.at(static_cast<std::size_t>(parent)).pid;
  data.attributes["AXRole"] = role;
  data.attributes["AXParent"] = Ref{parent};
  data.attributes["AXChildren"] = RefList{};
  data.actions = std::move(actions);
  nodes_.push_back(std::move(data));
  setFrame(id, frame);
  auto& children = nodes_.at(static_cast<std::size_t>(parent)).attributes["AXChildren"];
  if (auto* list = std::get_if<RefList>(&children)) {
    list->ids.push_back(id);
  } else {
    children = RefList{{id}};
  }
  return id;
}

void FakeAccessibility::set(NodeId node, const std::string& attribute, Value value) {
  std::lock_guard lock(mutex_);
  nodes_.at(static_cast<std::size_t>(node)).attributes[attribute] = std::move(value);
}

void FakeAccessibility::erase(NodeId node, const std::string& attribute) {
  std::lock_guard lock(mutex_);
  nodes_.at(static_cast<std::size_t>(node)).attributes.erase(attribute);
}

void FakeAccessibility::setFrame(NodeId node, std::optional<Rect> frame) {
  std::lock_guard lock(mutex_);
  auto& attributes = nodes_.at(static_cast<std::size_t>(node)).attributes;
  if (frame) {
    attributes["AXPosition"] = Point{frame->x, frame->y};
    attributes["AXSize"] = AXSize{frame->width, frame->height};
  } else {
    attributes.erase("AXPosition");
    attributes.erase("AXSize");
  }
}

void FakeAccessibility::failAttribute(NodeId node, const std::string& attribute, AXError error) {
  std::lock_guard lock(mutex_);
  nodes_.at(static_cast<std::size_t>(node)).attributeErrors[attribute] = error;
}

void FakeAccessibility::setActions(NodeId node, std::vector<std::string> actions) {
  std::lock_guard lock(mutex_);
  nodes_.at(static_cast<std::size_t>(node)).actions = std::move(actions);
}

void FakeAccessibility::failActionNames(NodeId node, AXError error) {
  std::lock_guard lock(mutex_);
  nodes_.at(static_cast<std::size_t>(node)).actionNamesError = error;
}

void FakeAccessibility::setActionResult(NodeId node, const std::string& action, AXError result) {
  std::lock_guard lock(mutex_);
  nodes_.at(static_cast<std::size_t>(node)).actionResults[action] = result;
}

void FakeAccessibility::setWriteResult(NodeId node, const std::string& attribute, AXError result,
                                       bool keep) {
  std::lock_guard lock(mutex_);
  nodes_.at(static_cast<std::size_t>(node)).writeResults[attribute] = {result, keep};
}

void FakeAccessibility::setUnresponsive(NodeId node, bool unresponsive) {
  std::lock_guard lock(mutex_);
  nodes_.at(static_cast<std::size_t>(node)).unresponsive = unresponsive;
}

void FakeAccessibility::setPidUnreadable(NodeId node, bool unreadable) {
  std::lock_guard lock(mutex_);
  nodes_.at(static_cast<std::size_t>(node)).pidUnreadable = unreadable;
}

void FakeAccessibility::destroy(NodeId node) {
  std::lock_guard lock(mutex_);
  nodes_.at(static_cast<std::size_t>(node)).destroyed = true;
}

void FakeAccessibility::addHit(std::int32_t pid, Rect area, std::optional<NodeId> node) {
  std::lock_guard lock(mutex_);
  hits_.push_back({pid, area, node});
}

AXElement FakeAccessibility::element(NodeId node) {
  return AXElement(std::make_shared<Node>(*this, node));
}

std::optional<FakeAccessibility::NodeId> FakeAccessibility::idOf(const AXElement& element) const {
  const auto* node = dynamic_cast<const Node*>(element.node());
  if (node == nullptr) return std::nullopt;
  return node->id();
}

FakeAccessibility::NodeId FakeAccessibility::systemWideNode() {
  std::lock_guard lock(mutex_);
  if (!systemWide_) {
    systemWide_ = static_cast<NodeId>(nodes_.size());
    nodes_.push_back(Data{});
    nodes_.back().pid = -1;
    nodes_.back().attributes["AXRole"] = std::string("AXSystemWide");
  }
  return *systemWide_;
}

AXElement FakeAccessibility::application(std::int32_t pid) {
  std::lock_guard lock(mutex_);
  auto found = applications_.find(pid);
  if (found != applications_.end()) return element(found->second);
  // Like the desktop: an element for a process nobody serves; every read through it fails.
  const NodeId id = static_cast<NodeId>(nodes_.size());
  nodes_.push_back(Data{});
  nodes_.back().pid = pid;
  nodes_.back().destroyed = true;
  return element(id);
}

AXElement FakeAccessibility::systemWide() {
  return element(systemWideNode());
}

std::optional<Rect> FakeAccessibility::frameOf(NodeId id) const {
  const auto& attributes = nodes_.at(static_cast<std::size_t>(id)).attributes;
  auto position = attributes.find("AXPosition");
  auto size = attributes.find("AXSize");
  if (position == attributes.end() || size == attributes.end()) return std::nullopt;
  const auto* point = std::get_if<Point>(&position->second);
  const auto* extent = std::get_if<AXSize>(&size->second);
  if (point == nullptr || extent == nullptr) return std::nullopt;
  return Rect{point->x, point->y, extent->width, extent->height};
}

std::optional<FakeAccessibility::NodeId> FakeAccessibility::deepestAt(NodeId from, Point point,
                                                                      int depth) const {
  if (depth > 64) return from;  // a cycle in a test tree
  const auto& attributes = nodes_.at(static_cast<std::size_t>(from)).attributes;
  auto children = attributes.find("AXChildren");
  if (children != attributes.end()) {
    if (const auto* list = std::get_if<RefList>(&children->second)) {
      for (auto child = list->ids.rbegin(); child != list->ids.rend(); ++child) {
        if (nodes_.at(static_cast<std::size_t>(*child)).destroyed) continue;
        auto frame = frameOf(*child);
        if (frame && frame->contains(point)) return deepestAt(*child, point, depth + 1);
      }
    }
  }
  return from;
}

int FakeAccessibility::messages() const {
  std::lock_guard lock(mutex_);
  return totalMessages_;
}

int FakeAccessibility::messages(NodeId node) const {
  std::lock_guard lock(mutex_);
  return nodes_.at(static_cast<std::size_t>(node)).messages;
}

std::map<std::string, int, std::less<>> FakeAccessibility::reads(NodeId node) const {
  std::lock_guard lock(mutex_);
  return nodes_.at(static_cast<std::size_t>(node)).reads;
}

std::vector<FakeAccessibility::Write> FakeAccessibility::writes() const {
  std::lock_guard lock(mutex_);
  return writes_;
}

std::vector<FakeAccessibility::Performed> FakeAccessibility::performed() const {
  std::lock_guard lock(mutex_);
  return performed_;
}

int FakeAccessibility::hitTests() const {
  std::lock_guard lock(mutex_);
  return hitTests_;
}

double FakeAccessibility::timeoutSetOn(NodeId node) const {
  std::lock_guard lock(mutex_);
  return nodes_.at(static_cast<std::size_t>(node)).lastTimeout;
}

}  // namespace tovrel::platform::fake
