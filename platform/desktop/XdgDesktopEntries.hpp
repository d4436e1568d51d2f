#pragma once

// Desktop entries as the freedesktop rules find them: `<id>.desktop` in the "applications" folder
// of the user's data folder, then of each system data folder; the first one found for an id wins,
// even when it hides the application.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/DesktopEntries.hpp"

namespace tovrel::platform {

class XdgDesktopEntries : public DesktopEntryServices {
 public:
  // What the lookup depends on, read from the process unless a test gives it.
  struct Environment {
    std::optional<std::string> xdgDataHome;
    std::optional<std::string> home;
    std::optional<std::string> xdgDataDirs;
    std::optional<std::string> locale;  // LC_ALL, else LC_MESSAGES, else LANG

    static Environment current();
  };

  explicit XdgDesktopEntries(Environment environment = Environment::current());

  std::optional<DesktopEntry> entry(std::string_view applicationId) override;
  std::string locale() override;
  // $XDG_DATA_HOME/icons (default ~/.local/share/icons), ~/.icons, then each of $XDG_DATA_DIRS
  // with "/icons".
  std::vector<std::string> iconDirectories() override;

  // The folders entries are looked for in, first first.
  std::vector<std::string> directories() const;

  // $XDG_DATA_HOME (default ~/.local/share) then each of $XDG_DATA_DIRS (default
  // /usr/local/share:/usr/share), each with "/applications". Unset or empty variables take their
  // defaults; relative folders are ignored, as the base-directory rules ask.
  static std::vector<std::string> applicationDirectories(const char* dataHome, const char* home,
                                                         const char* dataDirs);

  // The entry of `id` in the first of `directories` that has one; an id with dashes may also
  // stand for an entry in a subfolder ("kde4-okular" for kde4/okular.desktop). Nothing when none
  // has, or the first one found is hidden.
  static std::optional<DesktopEntry> find(std::string_view id,
                                          const std::vector<std::string>& directories);

  // The [Desktop Entry] group of an entry file's text, with the string escapes undone; nothing
  // when the text has no such group or the entry is hidden (Hidden=true).
  static std::optional<DesktopEntry> parse(std::string_view text);

 private:
  Environment environment_;
};

}  // namespace tovrel::platform
