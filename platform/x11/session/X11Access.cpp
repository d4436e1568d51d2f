#include "platform/x11/session/X11Access.hpp"

#include "platform/desktop/XdgDesktopEntries.hpp"

#include "core/PlatformTexts.hpp"

#include <sys/utsname.h>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QUrl>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace tovrel::platform::x11 {

namespace {

std::string_view trim(std::string_view text) {
  constexpr std::string_view space = " \t\r";
  std::size_t first = text.find_first_not_of(space);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(space) - first + 1);
}

// Every line of `text`, without its line break.
std::vector<std::string_view> lines(std::string_view text) {
  std::vector<std::string_view> result;
  while (!text.empty()) {
    std::size_t end = text.find('\n');
    result.push_back(text.substr(0, end));
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return result;
}

std::optional<std::string> readFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  std::ostringstream contents;
  contents << file.rdbuf();
  return contents.str();
}

}  // namespace

std::optional<std::string> osReleaseValue(std::string_view text, std::string_view key) {
  for (std::string_view line : lines(text)) {
    line = trim(line);
    std::size_t equals = line.find('=');
    if (line.empty() || line.front() == '#' || equals == std::string_view::npos) continue;
    if (line.substr(0, equals) != key) continue;
    std::string_view raw = line.substr(equals + 1);
    if (raw.size() < 2 || (raw.front() != '"' && raw.front() != '\'') || raw.back() != raw.front())
      return std::string(raw);
    // Shell-style quoting: inside double quotes a backslash escapes the next character.
    bool doubleQuoted = raw.front() == '"';
    raw = raw.substr(1, raw.size() - 2);
    std::string value;
    for (std::size_t i = 0; i < raw.size(); ++i) {
      if (doubleQuoted && raw[i] == '\\' && i + 1 < raw.size()) ++i;
      value += raw[i];
    }
    return value;
  }
  return std::nullopt;
}

std::optional<std::string> desktopEntryName(std::string_view text) {
  if (auto entry = XdgDesktopEntries::parse(text)) return entry->name;
  return std::nullopt;
}

std::vector<std::string> splitNulSeparated(std::string_view bytes) {
  std::vector<std::string> parts;
  while (!bytes.empty()) {
    std::size_t end = bytes.find('\0');
    parts.emplace_back(bytes.substr(0, end));
    if (end == std::string_view::npos) break;
    bytes.remove_prefix(end + 1);
  }
  return parts;
}

// --- X11Access ---------------------------------------------------------------------------------

namespace {

constexpr int dbusTimeoutMs = 500;

std::optional<QDBusMessage> callA11yBus(const QDBusConnection& bus, const QString& interface,
                                        const QString& method, const QVariantList& arguments) {
  QDBusMessage call = QDBusMessage::createMethodCall(
      QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"), interface, method);
  call.setArguments(arguments);
  QDBusMessage reply = bus.call(call, QDBus::Block, dbusTimeoutMs);
  if (reply.type() != QDBusMessage::ReplyMessage) return std::nullopt;
  return reply;
}

}  // namespace

bool X11Access::isProcessTrusted(bool prompt) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return false;
  auto address = callA11yBus(bus, QStringLiteral("org.a11y.Bus"), QStringLiteral("GetAddress"), {});
  if (!address || address->arguments().isEmpty() ||
      address->arguments().constFirst().toString().isEmpty())
    return false;

  const QString properties = QStringLiteral("org.freedesktop.DBus.Properties");
  const QString status = QStringLiteral("org.a11y.Status");
  const QString enabled = QStringLiteral("IsEnabled");
  // No desktop asks the user here; switching accessibility on is what the prompt would grant.
  if (prompt)
    callA11yBus(bus, properties, QStringLiteral("Set"),
                {status, enabled, QVariant::fromValue(QDBusVariant(true))});
  auto reply = callA11yBus(bus, properties, QStringLiteral("Get"), {status, enabled});
  if (!reply || reply->arguments().isEmpty()) return false;
  return reply->arguments().constFirst().value<QDBusVariant>().variant().toBool();
}

std::optional<std::string> X11Access::runningApplicationName(std::int64_t pid) {
  if (pid <= 0) return std::nullopt;
  std::string base = "/proc/" + std::to_string(pid);
  // Launched from a desktop entry through GLib: that entry names the application as menus do.
  if (auto environment = readFile(base + "/environ")) {
    constexpr std::string_view key = "GIO_LAUNCHED_DESKTOP_FILE=";
    for (const std::string& variable : splitNulSeparated(*environment)) {
      if (!variable.starts_with(key)) continue;
      if (auto entry = readFile(variable.substr(key.size())))
        if (auto name = desktopEntryName(*entry)) return name;
    }
  }
  auto comm = readFile(base + "/comm");
  if (!comm) return std::nullopt;
  std::string name(trim(std::string_view(*comm).substr(0, comm->find('\n'))));
  if (name.empty()) return std::nullopt;
  return name;
}

bool X11Access::openURL(const std::string& url) {
  // The privacy panes have no page of their own here: what they would grant is done directly.
  // The accessibility bus is switched on for the whole session (as applications do to publish
  // their trees); raw input needs no grant on X.
  const std::string_view base = platformText::privacySettingsURLBase;
  if (url.starts_with(base)) {
    std::string_view anchor = std::string_view(url).substr(base.size());
    if (anchor == "Privacy_Accessibility") return isProcessTrusted(true);
    return anchor == "Privacy_ListenEvent";
  }
  if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr) return false;
  QUrl parsed(QString::fromStdString(url), QUrl::StrictMode);
  if (!parsed.isValid() || parsed.scheme().isEmpty()) return false;
  return QDesktopServices::openUrl(parsed);
}

std::optional<std::string> X11Access::executablePath() {
  std::error_code error;
  std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error || path.empty()) return std::nullopt;
  return path.string();
}

std::vector<std::string> X11Access::processArguments() {
  if (QCoreApplication::instance() != nullptr) {
    std::vector<std::string> arguments;
    for (const QString& argument : QCoreApplication::arguments())
      arguments.push_back(argument.toStdString());
    return arguments;
  }
  auto commandLine = readFile("/proc/self/cmdline");
  return commandLine ? splitNulSeparated(*commandLine) : std::vector<std::string>{};
}

std::string X11Access::operatingSystemVersion() {
  std::optional<std::string> name;
  for (const char* path : {"/etc/os-release", "/usr/lib/os-release"}) {
    if (auto text = readFile(path)) {
      name = osReleaseValue(*text, "PRETTY_NAME");
      if (!name || name->empty()) name = osReleaseValue(*text, "NAME");
      break;
    }
  }
  utsname system{};
  std::string kernel = uname(&system) == 0 ? std::string("Linux ") + system.release : "Linux";
  if (!name || name->empty()) return kernel;
  return *name + ", " + kernel;
}

}  // namespace tovrel::platform::x11
