#include "platform/desktop/XdgDesktopEntries.hpp"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace tovrel::platform {
namespace {

std::optional<std::string> variable(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

const char* cString(const std::optional<std::string>& value) {
  return value ? value->c_str() : nullptr;
}

bool isAbsolute(std::string_view path) {
  return !path.empty() && path.front() == '/';
}

std::optional<std::string> readFile(const std::filesystem::path& path) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return std::nullopt;
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  std::ostringstream contents;
  contents << file.rdbuf();
  return contents.str();
}

// Every file name desktop-file id `id` may stand for, the plain one first.
std::vector<std::string> entryFiles(std::string_view id) {
  std::vector<std::string> files{std::string(id) + ".desktop"};
  for (std::size_t dash = id.find('-'); dash != std::string_view::npos;
       dash = id.find('-', dash + 1)) {
    std::string folder(id.substr(0, dash));
    for (char& c : folder)
      if (c == '-') c = '/';
    files.push_back(folder + '/' + std::string(id.substr(dash + 1)) + ".desktop");
  }
  return files;
}

std::string_view trimmed(std::string_view text) {
  const auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!text.empty() && space(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && space(text.back()))
    text.remove_suffix(1);
  return text;
}

// A string value with \s, \n, \t, \r and \\ undone; any other backslash stays as written.
std::string unescaped(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '\\' || i + 1 == value.size()) {
      out += value[i];
      continue;
    }
    switch (value[i + 1]) {
      case 's':
        out += ' ';
        break;
      case 'n':
        out += '\n';
        break;
      case 't':
        out += '\t';
        break;
      case 'r':
        out += '\r';
        break;
      case '\\':
        out += '\\';
        break;
      default:
        out += value[i];
        continue;
    }
    ++i;
  }
  return out;
}

}  // namespace

XdgDesktopEntries::Environment XdgDesktopEntries::Environment::current() {
  Environment environment;
  environment.xdgDataHome = variable("XDG_DATA_HOME");
  environment.home = variable("HOME");
  environment.xdgDataDirs = variable("XDG_DATA_DIRS");
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    if (auto value = variable(name); value && !value->empty()) {
      environment.locale = std::move(value);
      break;
    }
  }
  return environment;
}

XdgDesktopEntries::XdgDesktopEntries(Environment environment)
    : environment_(std::move(environment)) {}

std::optional<DesktopEntry> XdgDesktopEntries::entry(std::string_view applicationId) {
  return find(applicationId, directories());
}

std::string XdgDesktopEntries::locale() {
  const std::string value = environment_.locale.value_or("");
  // The C locale's names are the untranslated ones.
  if (value == "C" || value == "POSIX" || value.starts_with("C.")) return {};
  return value;
}

std::vector<std::string> XdgDesktopEntries::iconDirectories() {
  // The same base folders as the entries', with "icons" for "applications"; ~/.icons comes
  // second, for themes installed the old way.
  std::vector<std::string> folders = directories();
  constexpr std::string_view applications = "applications";
  for (std::string& folder : folders)
    folder.replace(folder.size() - applications.size(), applications.size(), "icons");
  if (environment_.home && isAbsolute(*environment_.home))
    folders.insert(folders.begin() + (folders.empty() ? 0 : 1), *environment_.home + "/.icons");
  return folders;
}

std::vector<std::string> XdgDesktopEntries::directories() const {
  return applicationDirectories(cString(environment_.xdgDataHome), cString(environment_.home),
                                cString(environment_.xdgDataDirs));
}

std::vector<std::string> XdgDesktopEntries::applicationDirectories(const char* dataHome,
                                                                   const char* home,
                                                                   const char* dataDirs) {
  std::vector<std::string> folders;
  if (dataHome != nullptr && isAbsolute(dataHome))
    folders.push_back(std::string(dataHome) + "/applications");
  else if (home != nullptr && isAbsolute(home))
    folders.push_back(std::string(home) + "/.local/share/applications");
  std::string_view dirs =
      dataDirs != nullptr && *dataDirs != '\0' ? dataDirs : "/usr/local/share:/usr/share";
  while (true) {
    const std::size_t colon = dirs.find(':');
    const std::string_view dir = dirs.substr(0, colon);
    if (isAbsolute(dir)) folders.push_back(std::string(dir) + "/applications");
    if (colon == std::string_view::npos) break;
    dirs.remove_prefix(colon + 1);
  }
  return folders;
}

std::optional<DesktopEntry> XdgDesktopEntries::find(std::string_view id,
                                                    const std::vector<std::string>& directories) {
  if (id.empty() || id.find('/') != std::string_view::npos) return std::nullopt;
  const std::vector<std::string> files = entryFiles(id);
  for (const std::string& directory : directories) {
    for (const std::string& file : files) {
      const std::filesystem::path path = std::filesystem::path(directory) / file;
      if (auto text = readFile(path)) {
        // The first entry found for an id hides every later one, even a hidden or broken one.
        std::optional<DesktopEntry> found = parse(*text);
        if (found) {
          found->id = std::string(id);
          found->path = path.string();
        }
        return found;
      }
    }
  }
  return std::nullopt;
}

std::optional<DesktopEntry> XdgDesktopEntries::parse(std::string_view text) {
  DesktopEntry entry;
  bool inGroup = false;
  bool seenGroup = false;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view line = trimmed(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (line.empty() || line.front() == '#') continue;
    if (line.front() == '[') {
      inGroup = line == "[Desktop Entry]";
      seenGroup = seenGroup || inGroup;
      continue;
    }
    if (!inGroup) continue;
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    const std::string_view key = trimmed(line.substr(0, equals));
    const std::string value = unescaped(trimmed(line.substr(equals + 1)));
    // An empty name names nothing.
    if (key == "Name") {
      if (!value.empty()) entry.name = value;
    } else if (key.starts_with("Name[") && key.ends_with(']') && key.size() > 6) {
      if (!value.empty()) entry.localizedNames[std::string(key.substr(5, key.size() - 6))] = value;
    } else if (key == "Icon") {
      if (!value.empty()) entry.icon = value;
    } else if (key == "Hidden" && value == "true") {
      return std::nullopt;
    }
  }
  if (!seenGroup) return std::nullopt;
  return entry;
}

}  // namespace tovrel::platform
