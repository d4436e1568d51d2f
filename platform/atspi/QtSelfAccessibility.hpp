#pragma once

// The program's own windows as accessibility elements, read in-process through Qt's accessibility
// interfaces: asking over the bus from the main thread would wait for an answer only the main
// thread can give.

#include <cstdint>

#include "platform/Accessibility.hpp"

namespace tovrel::platform::atspi {

// The element standing for this process's application. Its elements must be used on the main
// thread only.
AXElement selfApplication(std::int32_t pid);

}  // namespace tovrel::platform::atspi
