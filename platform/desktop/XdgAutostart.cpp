#include "platform/desktop/XdgAutostart.hpp"

#include <cstdlib>
#include <exception>
#include <system_error>

#include "core/Unicode.hpp"
#include "platform/LoginItems.hpp"

namespace tovrel::platform {

namespace {

std::optional<std::string> variable(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

// A Desktop Entry is UTF-8 text whose strings can carry tab, newline and carriage return only
// as escapes, and no other control character at all.
bool representable(std::string_view text) {
  if (!unicode::isValidUtf8(text)) return false;
  for (unsigned char c : text) {
    if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7f) return false;
  }
  return true;
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
    text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
    text.remove_suffix(1);
  return text;
}

// Whether the entry's main group switches it off, as session managers read it.
bool switchedOff(std::string_view text) {
  bool inMainGroup = false;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = trimmed(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (line.empty() || line.front() == '#') continue;
    if (line.front() == '[') {
      inMainGroup = line == "[Desktop Entry]";
      continue;
    }
    const std::size_t equals = line.find('=');
    if (!inMainGroup || equals == std::string_view::npos) continue;
    const std::string_view key = trimmed(line.substr(0, equals));
    const std::string_view value = trimmed(line.substr(equals + 1));
    if (key == "Hidden" && value == "true") return true;
    if (key == "X-GNOME-Autostart-enabled" && value == "false") return true;
  }
  return false;
}

}  // namespace

XdgAutostart::Environment XdgAutostart::Environment::current() {
  Environment environment{variable("XDG_CONFIG_HOME"), variable("HOME"), std::nullopt};
  std::error_code error;
  Path executable = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error && executable.is_absolute()) environment.executable = std::move(executable);
  return environment;
}

XdgAutostart::XdgAutostart(Environment environment, FileSystem& fileSystem)
    : environment_(std::move(environment)), fileSystem_(&fileSystem) {}

std::optional<XdgAutostart::Path> XdgAutostart::entryPath() const {
  // Relative values are ignored, as the base directory rules ask.
  if (environment_.xdgConfigHome && Path(*environment_.xdgConfigHome).is_absolute())
    return Path(*environment_.xdgConfigHome) / "autostart" / fileName;
  if (environment_.home && Path(*environment_.home).is_absolute())
    return Path(*environment_.home) / ".config" / "autostart" / fileName;
  return std::nullopt;
}

std::string XdgAutostart::execLine(const Path& executable) {
  // Three layers, innermost first: "%" doubles so it is no field code; inside the double quotes
  // '"', '`', '$' and '\' take a backslash; then the string escapes of the value, which double
  // every backslash again and spell tab, newline and carriage return.
  std::string quoted = "\"";
  for (char c : executable.native()) {
    if (c == '%') {
      quoted += "%%";
      continue;
    }
    if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
    quoted += c;
  }
  quoted += "\" ";
  quoted += loginLaunchMarker;

  std::string value;
  for (char c : quoted) {
    switch (c) {
      case '\\':
        value += "\\\\";
        break;
      case '\t':
        value += "\\t";
        break;
      case '\n':
        value += "\\n";
        break;
      case '\r':
        value += "\\r";
        break;
      default:
        value += c;
    }
  }
  return value;
}

std::string XdgAutostart::entryText(const Path& executable) {
  return "[Desktop Entry]\n"
         "Type=Application\n"
         "Name=Tovrel\n"
         "Comment=Move the pointer, click controls and scroll with the keyboard\n"
         "Exec=" +
         execLine(executable) +
         "\n"
         "Icon=local.tovrel.Tovrel\n"
         "Terminal=false\n"
         "X-GNOME-Autostart-enabled=true\n";
}

LoginItemServices::Status XdgAutostart::status() {
  if (!environment_.executable) return Status::notFound;
  const std::optional<Path> path = entryPath();
  if (!path || !fileSystem_->exists(*path)) return Status::notRegistered;
  try {
    // An entry the session manager cannot read starts nothing either.
    return switchedOff(fileSystem_->read(*path)) ? Status::notRegistered : Status::enabled;
  } catch (const std::exception&) {
    return Status::notRegistered;
  }
}

std::optional<std::string> XdgAutostart::setEnabled(bool on) {
  const std::optional<Path> path = entryPath();
  if (!path) return "neither XDG_CONFIG_HOME nor HOME names a folder for the autostart entry";
  try {
    if (!on) {
      if (fileSystem_->exists(*path)) fileSystem_->remove(*path);
      return std::nullopt;
    }
    if (!environment_.executable) return "the program cannot tell where its own binary is";
    if (!representable(environment_.executable->native())) {
      return "the program's path " + unicode::sanitizedUtf8(environment_.executable->native()) +
             " holds characters an autostart entry cannot carry";
    }
    fileSystem_->createDirectories(path->parent_path());
    writeFileAtomically(*fileSystem_, *path, entryText(*environment_.executable));
    return std::nullopt;
  } catch (const std::exception& error) {
    return std::string(error.what());
  }
}

}  // namespace tovrel::platform
