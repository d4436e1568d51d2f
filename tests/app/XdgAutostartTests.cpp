#include "platform/desktop/XdgAutostart.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <map>
#include <sstream>

namespace tovrel::platform {
namespace {

namespace fs = std::filesystem;
using Status = LoginItemServices::Status;

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

// The [Desktop Entry] group's keys with their raw values.
std::map<std::string, std::string> keys(const std::string& text) {
  std::map<std::string, std::string> found;
  std::istringstream lines(text);
  std::string line;
  std::getline(lines, line);
  EXPECT_EQ(line, "[Desktop Entry]");
  while (std::getline(lines, line)) {
    const std::size_t equals = line.find('=');
    EXPECT_NE(equals, std::string::npos) << line;
    EXPECT_TRUE(found.emplace(line.substr(0, equals), line.substr(equals + 1)).second) << line;
  }
  return found;
}

// Reads an Exec value back as a launcher does: string escapes, then quoting, then field codes.
std::vector<std::string> execArguments(const std::string& value) {
  std::string unescaped;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '\\') {
      unescaped += value[i];
      continue;
    }
    const char next = value.at(++i);
    const std::map<char, char> escapes = {
        {'s', ' '}, {'n', '\n'}, {'t', '\t'}, {'r', '\r'}, {'\\', '\\'}};
    EXPECT_TRUE(escapes.count(next)) << "stray escape \\" << next;
    unescaped += escapes.count(next) ? escapes.at(next) : '?';
  }
  std::vector<std::string> arguments;
  std::string current;
  bool quoted = false, started = false;
  for (std::size_t i = 0; i < unescaped.size(); ++i) {
    const char c = unescaped[i];
    if (quoted && c == '\\') {
      const char next = unescaped.at(++i);
      EXPECT_NE(std::string("\"`$\\").find(next), std::string::npos)
          << "bad quoted escape " << next;
      current += next;
    } else if (quoted && (c == '`' || c == '$')) {
      ADD_FAILURE() << "unescaped " << c << " inside quotes";
    } else if (c == '"') {
      quoted = !quoted;
      started = true;
    } else if (!quoted && c == ' ') {
      if (started) arguments.push_back(current);
      current.clear();
      started = false;
    } else {
      EXPECT_TRUE(quoted || std::string("\t\n'\\><~|&;$*?#()`").find(c) == std::string::npos)
          << "reserved character outside quotes: " << c;
      current += c;
      started = true;
    }
  }
  EXPECT_FALSE(quoted) << "unterminated quote";
  if (started) arguments.push_back(current);
  for (std::string& argument : arguments) {
    std::string plain;
    for (std::size_t i = 0; i < argument.size(); ++i) {
      if (argument[i] == '%') {
        EXPECT_EQ(argument.at(++i), '%') << "field code in " << argument;
      }
      plain += argument[i];
    }
    argument = plain;
  }
  return arguments;
}

class XdgAutostartTest : public ::testing::Test {
 protected:
  XdgAutostartTest() {
    std::string pattern = (fs::temp_directory_path() / "tovrel-autostart.XXXXXX").string();
    folder = ::mkdtemp(pattern.data());
  }
  ~XdgAutostartTest() override { fs::remove_all(folder); }
  XdgAutostart autostart(std::optional<std::string> xdg, std::optional<fs::path> executable) {
    return XdgAutostart({std::move(xdg), (folder / "home").string(), std::move(executable)});
  }
  fs::path folder;
};

TEST_F(XdgAutostartTest, ExecQuotesAnyPathSoALauncherReadsItBack) {
  const std::vector<std::string> paths = {
      "/usr/bin/tovrel",          "/opt/my apps/tovrel",  "/opt/say \"hi\"/tovrel",
      "/opt/$HOME/`id`/tovrel",   "/opt/back\\slash/x\\", "/opt/100%/%f tovrel",
      "/opt/tab\there/new\nline", "/opt/ünï ‘q’/tovrel",  "/opt/'a'&b;c|d<e>*?#(~)/tovrel"};
  for (const std::string& path : paths) {
    SCOPED_TRACE(path);
    XdgAutostart item = autostart((folder / "config").string(), path);
    ASSERT_EQ(item.setEnabled(true), std::nullopt);
    const std::string text = slurp(folder / "config/autostart/local.tovrel.Tovrel.desktop");
    EXPECT_EQ(text.find('\t'), std::string::npos);
    std::map<std::string, std::string> entry = keys(text);
    EXPECT_EQ(execArguments(entry["Exec"]), (std::vector<std::string>{path, loginLaunchMarker}));
    for (const auto& [key, value] :
         std::map<std::string, std::string>{{"Type", "Application"},
                                            {"Name", "Tovrel"},
                                            {"Icon", "local.tovrel.Tovrel"},
                                            {"Terminal", "false"},
                                            {"X-GNOME-Autostart-enabled", "true"}})
      EXPECT_EQ(entry[key], value) << key;
    EXPECT_FALSE(entry["Comment"].empty());
  }
}

TEST_F(XdgAutostartTest, EnableDisableAndStatus) {
  // A relative XDG_CONFIG_HOME is ignored for HOME's .config.
  XdgAutostart item = autostart("relative/config", "/usr/bin/tovrel");
  const fs::path file = folder / "home/.config/autostart/local.tovrel.Tovrel.desktop";
  EXPECT_EQ(item.entryPath(), file);
  EXPECT_EQ(item.status(), Status::notRegistered);
  ASSERT_EQ(item.setEnabled(true), std::nullopt);
  EXPECT_EQ(item.status(), Status::enabled);
  for (const char* off : {"Hidden=true", "X-GNOME-Autostart-enabled = false"}) {
    std::ofstream(file, std::ios::app) << off << "\n";
    EXPECT_EQ(item.status(), Status::notRegistered) << off;
    ASSERT_EQ(item.setEnabled(true), std::nullopt);
    EXPECT_EQ(item.status(), Status::enabled);
  }
  // The same keys in another group switch nothing off.
  std::ofstream(file, std::ios::app) << "[Desktop Action quit]\nHidden=true\n";
  EXPECT_EQ(item.status(), Status::enabled);
  EXPECT_EQ(item.setEnabled(false), std::nullopt);
  EXPECT_FALSE(fs::exists(file));
  EXPECT_EQ(item.status(), Status::notRegistered);
  EXPECT_EQ(item.setEnabled(false), std::nullopt);

  EXPECT_EQ(autostart(std::nullopt, std::nullopt).status(), Status::notFound);
}

TEST_F(XdgAutostartTest, FailuresGiveAReasonAndWriteNothing) {
  std::ofstream(folder / "blocker") << "a file, not a folder";
  const std::vector<std::pair<const char*, XdgAutostart>> cases = {
      {"folder cannot be created", autostart((folder / "blocker/config").string(), "/bin/t")},
      {"no executable", autostart((folder / "config").string(), std::nullopt)},
      {"path not UTF-8", autostart((folder / "config").string(), "/opt/\xff/tovrel")},
      {"path with a control character", autostart((folder / "config").string(), "/opt/\x01")},
      {"no folder named", XdgAutostart({std::nullopt, std::nullopt, "/bin/t"})},
  };
  for (auto [name, item] : cases) {
    SCOPED_TRACE(name);
    const std::optional<std::string> reason = item.setEnabled(true);
    ASSERT_TRUE(reason.has_value());
    EXPECT_FALSE(reason->empty());
    EXPECT_NE(item.status(), Status::enabled);
    EXPECT_FALSE(fs::exists(folder / "config/autostart/local.tovrel.Tovrel.desktop"));
    EXPECT_EQ(slurp(folder / "blocker"), "a file, not a folder");
  }
}

}  // namespace
}  // namespace tovrel::platform
