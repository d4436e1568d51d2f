#pragma once

// Other applications' user interfaces as trees of accessibility elements, in the vocabulary the
// discovery code is written in: attribute names ("AXRole", "AXChildren", "AXPosition"), role
// names ("AXButton"), action names ("AXPress") and numeric error codes. The backends translate
// their own toolkit's notions into these names; nothing above them knows how. Four names are
// this program's own: an application element's "AXToolkitName" names the toolkit its user
// interface is made with, as the toolkit calls itself ("GTK", "Qt", "Chromium"), and its
// "AXTypeNamesForNoName" says whether that toolkit reports an element nobody named by its widget
// type's name instead ("NautilusGridCell"); an element's "AXFocusable" and "AXSelectable" say
// whether it can take the keyboard focus and whether it can be selected (an element that does not
// answer can do neither).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "core/HintTarget.hpp"

namespace tovrel::platform {

// The numeric codes callers may show (as signed decimals) or compare against.
enum class AXError : int {
  success = 0,
  failure = -25200,
  illegalArgument = -25201,
  invalidUIElement = -25202,
  cannotComplete = -25204,  // also: the application did not answer within the time-out
  attributeUnsupported = -25205,
  actionUnsupported = -25206,
  notImplemented = -25208,
  noValue = -25212,
};

inline int code(AXError error) {
  return static_cast<int>(error);
}

struct AXSize {
  double width = 0;
  double height = 0;
  bool operator==(const AXSize&) const = default;
};

class AXNode;
class AXElement;
template <class T>
class AXResult;

// What an attribute holds. Numbers and flags share `double` and `bool` the way the toolkits
// report them; readers that want a truth value accept both.
using AXValue =
    std::variant<std::string, bool, double, Point, AXSize, AXElement, std::vector<AXElement>>;

// A reference to one element of some application's tree. Copies refer to the same element and
// share its messaging time-out. A default-constructed reference refers to nothing; every read
// through it fails with invalidUIElement.
class AXElement {
 public:
  AXElement() = default;
  explicit AXElement(std::shared_ptr<AXNode> node) : node_(std::move(node)) {}

  explicit operator bool() const { return node_ != nullptr; }
  AXNode* node() const { return node_.get(); }

  // The same element of the same application, however it was reached.
  bool operator==(const AXElement& other) const;
  std::size_t hash() const;

  std::optional<std::int32_t> pid() const;
  // Bounds every later message to this element (and its copies); 0 restores the default.
  void setMessagingTimeout(double seconds) const;

  AXResult<AXValue> attribute(std::string_view name) const;
  AXError setAttribute(std::string_view name, const AXValue& value) const;
  AXResult<std::vector<std::string>> actionNames() const;
  AXError performAction(std::string_view action) const;
  // Only application elements answer: the deepest element under the point (global points).
  AXResult<AXElement> elementAtPosition(float x, float y) const;

 private:
  std::shared_ptr<AXNode> node_;
};

// A value or the error that kept it from being read.
template <class T>
class AXResult {
 public:
  AXResult(T value) : value_(std::move(value)) {}  // NOLINT(google-explicit-constructor)
  AXResult(AXError error)
      : error_(error == AXError::success ? AXError::failure : error) {}  // NOLINT

  bool ok() const { return value_.has_value(); }
  AXError error() const { return value_ ? AXError::success : error_; }
  const T& value() const { return *value_; }
  const T* operator->() const { return &*value_; }
  const std::optional<T>& optional() const { return value_; }

 private:
  std::optional<T> value_;
  AXError error_ = AXError::success;
};

// A backend's element. Every call may be made from any thread and may block for at most the
// element's messaging time-out (or the backend's default, a fraction of a second).
class AXNode {
 public:
  virtual ~AXNode() = default;
  virtual bool sameObject(const AXNode& other) const = 0;
  virtual std::size_t hash() const = 0;
  virtual std::optional<std::int32_t> pid() const = 0;
  virtual void setMessagingTimeout(double seconds) = 0;
  virtual AXResult<AXValue> attribute(std::string_view name) = 0;
  virtual AXError setAttribute(std::string_view name, const AXValue& value) = 0;
  virtual AXResult<std::vector<std::string>> actionNames() = 0;
  virtual AXError performAction(std::string_view action) = 0;
  virtual AXResult<AXElement> elementAtPosition(float x, float y) = 0;
};

inline bool AXElement::operator==(const AXElement& other) const {
  if (node_ == other.node_) return true;
  if (!node_ || !other.node_) return false;
  return node_->sameObject(*other.node_);
}
inline std::size_t AXElement::hash() const {
  return node_ ? node_->hash() : 0;
}
inline std::optional<std::int32_t> AXElement::pid() const {
  return node_ ? node_->pid() : std::nullopt;
}
inline void AXElement::setMessagingTimeout(double seconds) const {
  if (node_) node_->setMessagingTimeout(seconds);
}
inline AXResult<AXValue> AXElement::attribute(std::string_view name) const {
  return node_ ? node_->attribute(name) : AXResult<AXValue>(AXError::invalidUIElement);
}
inline AXResult<std::vector<std::string>> AXElement::actionNames() const {
  return node_ ? node_->actionNames()
               : AXResult<std::vector<std::string>>(AXError::invalidUIElement);
}
inline AXResult<AXElement> AXElement::elementAtPosition(float x, float y) const {
  return node_ ? node_->elementAtPosition(x, y) : AXResult<AXElement>(AXError::invalidUIElement);
}
inline AXError AXElement::setAttribute(std::string_view name, const AXValue& value) const {
  return node_ ? node_->setAttribute(name, value) : AXError::invalidUIElement;
}
inline AXError AXElement::performAction(std::string_view action) const {
  return node_ ? node_->performAction(action) : AXError::invalidUIElement;
}

struct AXElementHash {
  std::size_t operator()(const AXElement& element) const { return element.hash(); }
};

class AccessibilityServices {
 public:
  virtual ~AccessibilityServices() = default;
  // The element standing for a whole application. Always made; when no such application is
  // reachable, reads through it fail.
  virtual AXElement application(std::int32_t pid) = 0;
  // The element standing for the whole desktop ("AXFocusedApplication").
  virtual AXElement systemWide() = 0;
};

}  // namespace tovrel::platform
