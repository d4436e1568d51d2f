#pragma once

// The desktop entries that describe installed applications: what an application id is called and
// which icon stands for it. An application id is the desktop-file id without ".desktop"
// ("org.gnome.Calculator"), the identity the rest of the program knows applications by.

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tovrel::platform {

struct DesktopEntry {
  std::string id;
  std::string path;                                   // the file it was read from
  std::optional<std::string> name;                    // Name
  std::map<std::string, std::string> localizedNames;  // Name[de], Name[pt_BR], … by locale
  std::optional<std::string> icon;  // Icon: a theme icon's name, or an absolute path
  bool operator==(const DesktopEntry&) const = default;

  // The name for a locale given as the environment spells it ("de_AT.UTF-8@euro"): the
  // Name[…] that matches it most closely (language, country and modifier, then language and
  // country, then language and modifier, then language alone), else the untranslated Name.
  std::optional<std::string> nameFor(std::string_view locale) const {
    std::string_view rest = locale;
    std::string_view modifier;
    if (const std::size_t at = rest.find('@'); at != std::string_view::npos) {
      modifier = rest.substr(at + 1);
      rest = rest.substr(0, at);
    }
    rest = rest.substr(0, rest.find('.'));  // the encoding plays no part
    const std::size_t underscore = rest.find('_');
    const std::string language(rest.substr(0, underscore));
    const std::string country(underscore == std::string_view::npos ? std::string_view()
                                                                   : rest.substr(underscore + 1));
    const std::string at = modifier.empty() ? std::string() : "@" + std::string(modifier);
    for (const std::string& key :
         {country.empty() || at.empty() ? std::string() : language + "_" + country + at,
          country.empty() ? std::string() : language + "_" + country,
          at.empty() ? std::string() : language + at, language}) {
      if (key.empty()) continue;
      if (const auto found = localizedNames.find(key); found != localizedNames.end())
        return found->second;
    }
    return name;
  }
};

class DesktopEntryServices {
 public:
  virtual ~DesktopEntryServices() = default;
  // The entry of the application id, read afresh: nothing when no entry is installed for it or
  // the one that is hides it.
  virtual std::optional<DesktopEntry> entry(std::string_view applicationId) = 0;
  // The locale names are shown in ("de_DE.UTF-8"); empty for the untranslated names.
  virtual std::string locale() = 0;
  // The folders icon themes are looked for in, first first ("~/.local/share/icons",
  // "/usr/share/icons", …).
  virtual std::vector<std::string> iconDirectories() = 0;
};

}  // namespace tovrel::platform
