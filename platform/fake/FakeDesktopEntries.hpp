#pragma once

// Installed applications as a test sets them: entries by application id, and a locale.

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/DesktopEntries.hpp"

namespace tovrel::platform::fake {

class FakeDesktopEntries : public DesktopEntryServices {
 public:
  std::optional<DesktopEntry> entry(std::string_view applicationId) override {
    ++reads;
    const auto found = entries.find(std::string(applicationId));
    if (found == entries.end()) return std::nullopt;
    return found->second;
  }
  std::string locale() override { return currentLocale; }
  std::vector<std::string> iconDirectories() override { return iconFolders; }

  // Adds an entry under its id.
  void install(DesktopEntry entry) {
    std::string id = entry.id;
    entries[std::move(id)] = std::move(entry);
  }

  std::map<std::string, DesktopEntry> entries;
  std::string currentLocale;
  std::vector<std::string> iconFolders;
  int reads = 0;
};

}  // namespace tovrel::platform::fake
