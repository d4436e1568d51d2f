#pragma once

// Who an application is, decided in one place for the whole program: its freedesktop application
// id (the desktop-file id without ".desktop") when anything names one, else the class of its
// window, else its executable's name; this program is always "local.tovrel.Tovrel". The name
// shown for it is its desktop entry's untranslated Name, else the window class, else the
// executable's name.
//
// The decision itself is pure; the readers below gather what it needs from /proc and the
// desktop-entry folders. Nothing here talks to the X server: the window's clues come in.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Workspace.hpp"

namespace tovrel::platform::x11 {

// What may name an application. Empty strings count as unknown.
struct IdentityClues {
  bool isSelf = false;
  std::optional<std::string> gtkApplicationId;     // _GTK_APPLICATION_ID of its window
  std::optional<std::string> kdeDesktopFile;       // _KDE_NET_WM_DESKTOP_FILE of its window
  std::optional<std::string> launchedDesktopFile;  // the entry GLib launched this process from
  std::optional<std::string> windowClass;          // the class half of WM_CLASS
  std::optional<std::string> executableName;
};

// The desktop-file id a property or a path names: below an "applications" folder the path with
// '/' turned into '-', elsewhere the file's name; ".desktop" removed. Nothing when empty.
std::optional<std::string> desktopFileId(std::string_view nameOrPath);

// The application's identity (see the top of this file).
std::string applicationIdentifier(const IdentityClues& clues);

// The name shown for the application, given the Name of the desktop entry of its identity (when
// one was found).
std::optional<std::string> applicationName(const IdentityClues& clues,
                                           const std::optional<std::string>& desktopEntryName);

// GIO_LAUNCHED_DESKTOP_FILE from a process's environment. GLib also records the pid it launched
// (GIO_LAUNCHED_DESKTOP_FILE_PID) and every child inherits both, so a program started from a
// terminal that was itself launched from an entry would otherwise pass for that terminal: the
// entry counts only when the recorded pid is the process's own (or none is recorded).
std::optional<std::string> launchedDesktopFile(const std::vector<std::string>& environment,
                                               std::int32_t pid);

// The folders desktop entries live in, most important first: $XDG_DATA_HOME (default
// ~/.local/share) then each of $XDG_DATA_DIRS (default /usr/local/share:/usr/share), each with
// "/applications". Null or empty variables take their defaults.
std::vector<std::string> applicationDirectories(const char* dataHome, const char* home,
                                                const char* dataDirs);

// The untranslated Name of the entry of desktop-file id `id` in the first folder that has it;
// an id with dashes may also stand for an entry in a subfolder ("kde4-okular" for
// kde4/okular.desktop).
std::optional<std::string> desktopEntryNameFor(std::string_view id,
                                               const std::vector<std::string>& directories);

// What the window of an application says about it (all absent for a process without windows).
struct WindowClues {
  std::optional<std::string> gtkApplicationId;
  std::optional<std::string> kdeDesktopFile;
  std::optional<std::string> windowClass;
};

// The process described from /proc and the desktop entries, together with its window's clues.
// Nothing when /proc does not know the process.
std::optional<RunningApplication> describeApplication(std::int32_t pid, std::int32_t selfPid,
                                                      const WindowClues& window);

}  // namespace tovrel::platform::x11
