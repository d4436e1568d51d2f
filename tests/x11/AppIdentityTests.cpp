#include "platform/x11/session/AppIdentity.hpp"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "core/PlatformTexts.hpp"

namespace tovrel::platform::x11 {
namespace {

using Text = std::optional<std::string>;

TEST(AppIdentity, TheFirstKnownClueNamesTheApplication) {
  const std::string self(platformIds::selfIdentifier);
  struct Case {
    IdentityClues clues;
    Text entryName;
    std::string identifier;
    Text name;
  };
  const Case cases[] = {
      {{true, "org.gnome.Maps", "org.kde.kate", std::nullopt, "Maps", "maps"},
       "Tovrel",
       self,
       "Tovrel"},
      {{true, {}, {}, {}, "Tovrel", "tovrel"}, std::nullopt, self, "Tovrel"},
      {{false, "org.gnome.Maps", "org.kde.kate", "/usr/share/applications/x.desktop", "Maps",
        "maps"},
       "Maps Entry",
       "org.gnome.Maps",
       "Maps Entry"},
      {{false, "", "org.kde.kate", {}, "kate", "kate"}, std::nullopt, "org.kde.kate", "kate"},
      {{false, {}, "/usr/share/applications/org.kde.dolphin.desktop", {}, {}, "dolphin"},
       std::nullopt,
       "org.kde.dolphin",
       "dolphin"},
      {{false, {}, {}, "/usr/share/applications/kde4/okular.desktop", "Okular", "okular"},
       "Okular Entry",
       "kde4-okular",
       "Okular Entry"},
      {{false, {}, {}, "/home/me/Desktop/tool.desktop", {}, "tool-bin"},
       std::nullopt,
       "tool",
       "tool-bin"},
      {{false, {}, {}, "/opt/.desktop", "Firefox-esr", "firefox-esr"},
       "",
       "Firefox-esr",
       "Firefox-esr"},
      {{false, {}, {}, {}, "", "xterm"}, std::nullopt, "xterm", "xterm"},
      {{false, {}, {}, {}, {}, {}}, std::nullopt, "", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.identifier);
    EXPECT_EQ(applicationIdentifier(c.clues), c.identifier);
    EXPECT_EQ(applicationName(c.clues, c.entryName), c.name);
  }
}

TEST(AppIdentity, ALaunchedEntryCountsOnlyForTheProcessGLibLaunched) {
  const std::string file = "GIO_LAUNCHED_DESKTOP_FILE=/usr/share/applications/term.desktop";
  const Text term = "/usr/share/applications/term.desktop";
  EXPECT_EQ(launchedDesktopFile({"A=1", file, "GIO_LAUNCHED_DESKTOP_FILE_PID=42"}, 42), term);
  EXPECT_EQ(launchedDesktopFile({file}, 42), term);
  EXPECT_FALSE(launchedDesktopFile({file, "GIO_LAUNCHED_DESKTOP_FILE_PID=42"}, 4242));
  EXPECT_FALSE(launchedDesktopFile({file, "GIO_LAUNCHED_DESKTOP_FILE_PID=42x"}, 42));
  EXPECT_FALSE(launchedDesktopFile({"GIO_LAUNCHED_DESKTOP_FILE=", "X=1"}, 42));
  EXPECT_FALSE(launchedDesktopFile({"GIO_LAUNCHED_DESKTOP_FILE_PID=42"}, 42));
}

TEST(AppIdentity, EntryFoldersFollowTheBaseDirectoryRules) {
  using List = std::vector<std::string>;
  EXPECT_EQ(applicationDirectories(nullptr, "/home/me", nullptr),
            (List{"/home/me/.local/share/applications", "/usr/local/share/applications",
                  "/usr/share/applications"}));
  EXPECT_EQ(applicationDirectories("/data", "/home/me", "/a::relative:/b"),
            (List{"/data/applications", "/a/applications", "/b/applications"}));
  EXPECT_EQ(applicationDirectories("relative", nullptr, ""),
            (List{"/usr/local/share/applications", "/usr/share/applications"}));
}

class DesktopEntries : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = ::testing::TempDir() + "/entries.XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    write("home/org.example.App.desktop",
          "[Desktop Action new]\nName=New Window\n\n[Desktop Entry]\nName[de]=Beispiel\n"
          "Name=Example\n");
    write("system/org.example.App.desktop", "[Desktop Entry]\nName=Shadowed\n");
    write("system/kde4/okular.desktop", "[Desktop Entry]\nName=Okular\n");
    write("home/nameless.desktop", "[Desktop Entry]\nExec=nameless\n");
    write("system/nameless.desktop", "[Desktop Entry]\nName=Hidden Behind\n");
    write("system/other.desktop", "[Desktop Entry]\nName=Other\n");
  }
  void TearDown() override { std::filesystem::remove_all(root_); }

  void write(const std::string& file, const std::string& text) {
    std::filesystem::path path = root_ / file;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path) << text;
  }
  std::vector<std::string> folders() const {
    return {(root_ / "home").string(), (root_ / "missing").string(), (root_ / "system").string()};
  }

  std::filesystem::path root_;
};

TEST_F(DesktopEntries, TheFirstEntryOfAnIdNamesIt) {
  EXPECT_EQ(desktopEntryNameFor("org.example.App", folders()), "Example");
  EXPECT_EQ(desktopEntryNameFor("kde4-okular", folders()), "Okular");
  EXPECT_EQ(desktopEntryNameFor("other", folders()), "Other");
  EXPECT_FALSE(desktopEntryNameFor("nameless", folders()));
  EXPECT_FALSE(desktopEntryNameFor("absent", folders()));
  EXPECT_FALSE(desktopEntryNameFor("system/other", {root_.string()}));
  EXPECT_FALSE(desktopEntryNameFor("", folders()));
}

TEST(AppIdentity, DescribesProcessesFromProc) {
  const std::int32_t self = getpid();
  const auto exe = std::filesystem::read_symlink("/proc/self/exe");
  auto asSelf = describeApplication(self, self, {});
  ASSERT_TRUE(asSelf);
  EXPECT_EQ(asSelf->pid, self);
  EXPECT_EQ(asSelf->bundleIdentifier, platformIds::selfIdentifier);
  EXPECT_EQ(asSelf->bundlePath, exe.parent_path().string());

  auto asOther = describeApplication(self, self + 1, {{}, {}, "Test Class"});
  ASSERT_TRUE(asOther);
  EXPECT_EQ(asOther->bundleIdentifier, "Test Class");
  auto byExecutable = describeApplication(self, self + 1, {});
  ASSERT_TRUE(byExecutable);
  EXPECT_EQ(byExecutable->bundleIdentifier, exe.filename().string());

  EXPECT_FALSE(describeApplication(0, self, {}));
  EXPECT_FALSE(describeApplication(-3, self, {}));
  EXPECT_FALSE(describeApplication(INT32_MAX, self, {}));
}

}  // namespace
}  // namespace tovrel::platform::x11
