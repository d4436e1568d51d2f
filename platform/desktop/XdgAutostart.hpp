#pragma once

// The login item as the desktop's autostart entry: a Desktop Entry file in the user's autostart
// folder that starts the running binary with the login marker. Session managers (GNOME, KDE, XFCE,
// LXQt, MATE) start every entry there that is not switched off.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "core/FileSystem.hpp"
#include "platform/LoginItems.hpp"

namespace tovrel::platform {

class XdgAutostart : public LoginItemServices {
 public:
  using Path = std::filesystem::path;

  // What the entry depends on, read from the process unless a test gives it.
  struct Environment {
    std::optional<std::string> xdgConfigHome;
    std::optional<std::string> home;
    // The running binary; nothing when it cannot be told.
    std::optional<Path> executable;

    // XDG_CONFIG_HOME, HOME and /proc/self/exe.
    static Environment current();
  };

  static constexpr std::string_view fileName = "local.tovrel.Tovrel.desktop";

  explicit XdgAutostart(Environment environment = Environment::current(),
                        FileSystem& fileSystem = FileSystem::real());

  Status status() override;
  std::optional<std::string> setEnabled(bool on) override;

  // The entry's file; nothing when neither variable names an absolute folder.
  std::optional<Path> entryPath() const;

  // The Exec value that starts `executable` with the login marker: the path quoted, with the
  // escapes the Desktop Entry format asks for inside quotes, for field codes and for strings.
  static std::string execLine(const Path& executable);
  // The whole entry for `executable`.
  static std::string entryText(const Path& executable);

 private:
  Environment environment_;
  FileSystem* fileSystem_;
};

}  // namespace tovrel::platform
