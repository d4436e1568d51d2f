#pragma once

// The program's own windows as accessibility elements, read in-process through Qt's accessibility
// interfaces: asking over the bus from the main thread would wait for an answer only the main
// thread can give.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Accessibility.hpp"

class QAccessibleInterface;

namespace tovrel::platform::atspi {

// The element standing for this process's application. Its elements may be used from any
// thread: a call from another thread is carried out on the main thread, which must be free to
// take it (a main thread waiting for that caller would never answer).
AXElement selfApplication(std::int32_t pid);

// Our toolkit's notions in AX names. Main thread only.
namespace qtself {

std::string role(QAccessibleInterface& interface);
// Only windows have one: "AXStandardWindow" or "AXDialog".
std::optional<std::string> subrole(QAccessibleInterface& interface, std::string_view role);
// The interface's actions: the first press or toggle as "AXPress", the menu and step actions
// by their AX names, the rest under the toolkit's own names.
std::vector<std::string> actionNames(QAccessibleInterface& interface);
// The toolkit action an AX action name stands for, when the interface offers it.
std::optional<std::string> toolkitAction(QAccessibleInterface& interface, std::string_view name);

}  // namespace qtself

}  // namespace tovrel::platform::atspi
