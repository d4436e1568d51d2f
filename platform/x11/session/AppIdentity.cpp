#include "platform/x11/session/AppIdentity.hpp"

#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/PlatformTexts.hpp"
#include "platform/desktop/XdgDesktopEntries.hpp"
#include "platform/x11/session/X11Access.hpp"

namespace tovrel::platform::x11 {

namespace {

std::optional<std::string> readFile(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  std::ostringstream contents;
  contents << file.rdbuf();
  return contents.str();
}

// An optional that counts as known only when it holds something.
const std::string* known(const std::optional<std::string>& value) {
  return value && !value->empty() ? &*value : nullptr;
}

// The executable a link in /proc points to; the kernel marks a replaced one " (deleted)".
std::optional<std::filesystem::path> executableOf(const std::string& procDir) {
  std::error_code error;
  std::filesystem::path path = std::filesystem::read_symlink(procDir + "/exe", error);
  if (error || path.empty()) return std::nullopt;
  std::string text = path.string();
  constexpr std::string_view deleted = " (deleted)";
  if (text.ends_with(deleted)) path = text.substr(0, text.size() - deleted.size());
  return path;
}

}  // namespace

std::optional<std::string> desktopFileId(std::string_view nameOrPath) {
  constexpr std::string_view folder = "/applications/";
  std::string id;
  if (std::size_t at = nameOrPath.rfind(folder); at != std::string_view::npos) {
    id = nameOrPath.substr(at + folder.size());
    for (char& c : id)
      if (c == '/') c = '-';
  } else {
    std::size_t slash = nameOrPath.rfind('/');
    id = nameOrPath.substr(slash == std::string_view::npos ? 0 : slash + 1);
  }
  constexpr std::string_view suffix = ".desktop";
  if (id.ends_with(suffix)) id.resize(id.size() - suffix.size());
  if (id.empty()) return std::nullopt;
  return id;
}

std::string applicationIdentifier(const IdentityClues& clues) {
  if (clues.isSelf) return std::string(platformIds::selfIdentifier);
  for (const auto* source :
       {&clues.gtkApplicationId, &clues.kdeDesktopFile, &clues.launchedDesktopFile}) {
    if (const std::string* value = known(*source))
      if (auto id = desktopFileId(*value)) return *id;
  }
  if (const std::string* windowClass = known(clues.windowClass)) return *windowClass;
  if (const std::string* executable = known(clues.executableName)) return *executable;
  return {};
}

std::optional<std::string> applicationName(const IdentityClues& clues,
                                           const std::optional<std::string>& desktopEntryName) {
  for (const auto* source : {&desktopEntryName, &clues.windowClass, &clues.executableName})
    if (const std::string* value = known(*source)) return *value;
  return std::nullopt;
}

std::optional<std::string> launchedDesktopFile(const std::vector<std::string>& environment,
                                               std::int32_t pid) {
  constexpr std::string_view fileKey = "GIO_LAUNCHED_DESKTOP_FILE=";
  constexpr std::string_view pidKey = "GIO_LAUNCHED_DESKTOP_FILE_PID=";
  std::optional<std::string> file;
  std::optional<std::string_view> launchedPid;
  for (const std::string& variable : environment) {
    if (variable.starts_with(fileKey)) file = variable.substr(fileKey.size());
    if (variable.starts_with(pidKey))
      launchedPid = std::string_view(variable).substr(pidKey.size());
  }
  if (!known(file)) return std::nullopt;
  if (launchedPid) {
    std::int64_t recorded = 0;
    auto [end, error] =
        std::from_chars(launchedPid->data(), launchedPid->data() + launchedPid->size(), recorded);
    if (error != std::errc{} || end != launchedPid->data() + launchedPid->size() || recorded != pid)
      return std::nullopt;
  }
  return file;
}

std::vector<std::string> applicationDirectories(const char* dataHome, const char* home,
                                                const char* dataDirs) {
  return XdgDesktopEntries::applicationDirectories(dataHome, home, dataDirs);
}

std::optional<std::string> desktopEntryNameFor(std::string_view id,
                                               const std::vector<std::string>& directories) {
  if (auto entry = XdgDesktopEntries::find(id, directories)) return entry->name;
  return std::nullopt;
}

std::optional<RunningApplication> describeApplication(std::int32_t pid, std::int32_t selfPid,
                                                      const WindowClues& window) {
  if (pid <= 0) return std::nullopt;
  const std::string procDir = "/proc/" + std::to_string(pid);
  std::error_code error;
  if (!std::filesystem::is_directory(procDir, error)) return std::nullopt;

  IdentityClues clues;
  clues.isSelf = pid == selfPid;
  clues.gtkApplicationId = window.gtkApplicationId;
  clues.kdeDesktopFile = window.kdeDesktopFile;
  clues.windowClass = window.windowClass;
  std::optional<std::filesystem::path> executable = executableOf(procDir);
  if (executable && !executable->filename().empty()) {
    clues.executableName = executable->filename().string();
  } else if (auto comm = readFile(procDir + "/comm")) {
    // Another user's process keeps its executable to itself, but not its (shortened) name.
    clues.executableName = comm->substr(0, comm->find('\n'));
  }
  if (auto environment = readFile(procDir + "/environ"))
    clues.launchedDesktopFile = launchedDesktopFile(splitNulSeparated(*environment), pid);

  RunningApplication app;
  app.pid = pid;
  app.bundleIdentifier = applicationIdentifier(clues);
  std::optional<std::string> entryName;
  const std::string* launched = known(clues.launchedDesktopFile);
  if (launched != nullptr && desktopFileId(*launched) == app.bundleIdentifier) {
    // The very file GLib launched, wherever it lies.
    if (auto text = readFile(*launched)) entryName = desktopEntryName(*text);
  } else {
    entryName = desktopEntryNameFor(
        app.bundleIdentifier,
        applicationDirectories(std::getenv("XDG_DATA_HOME"), std::getenv("HOME"),
                               std::getenv("XDG_DATA_DIRS")));
  }
  app.localizedName = applicationName(clues, entryName);
  if (executable && executable->has_parent_path())
    app.bundlePath = executable->parent_path().string();
  return app;
}

}  // namespace tovrel::platform::x11
