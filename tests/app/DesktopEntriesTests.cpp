#include <gtest/gtest.h>
#include <stdlib.h>

#include <QImage>
#include <QPainter>
#include <filesystem>
#include <fstream>

#include "app/settings/controls/AppIconView.hpp"
#include "platform/desktop/XdgDesktopEntries.hpp"
#include "platform/fake/FakeDesktopEntries.hpp"
#include "tests/app/WidgetApp.hpp"

namespace tovrel {
namespace {

namespace fs = std::filesystem;
using platform::DesktopEntry;
using platform::XdgDesktopEntries;

class DesktopEntries : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() /
            ("tovrel-entries-" + std::to_string(::getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    for (const char* dir : {"home/applications", "first/applications", "second/applications"})
      fs::create_directories(root_ / dir);
  }
  void TearDown() override { fs::remove_all(root_); }

  void write(const fs::path& relative, const std::string& text) {
    fs::create_directories((root_ / relative).parent_path());
    std::ofstream(root_ / relative) << text;
  }

  XdgDesktopEntries::Environment environment(std::string locale = "") const {
    return {(root_ / "home").string(), "/nonexistent",
            (root_ / "first").string() + ":relative/ignored:" + (root_ / "second").string(),
            locale};
  }

  fs::path root_;
};

TEST_F(DesktopEntries, FirstFolderWinsAndHidesLaterOnes) {
  write("second/applications/org.example.Editor.desktop",
        "[Desktop Entry]\nName=Second\nIcon=second\n");
  write("first/applications/org.example.Editor.desktop",
        "# comment\n[Desktop Entry]\nType=Application\nName = Editor\\sPro\nName[de]=Bearbeiter\n"
        "Name[de_AT]=Editor (AT)\nName[sr@latin]=Urednik\nIcon=accessories-text-editor\n"
        "[Desktop Action new]\nName=New Window\nIcon=other\n");
  write("home/applications/org.example.Gone.desktop", "[Desktop Entry]\nName=Gone\nHidden=true\n");
  write("second/applications/org.example.Gone.desktop", "[Desktop Entry]\nName=Gone\n");
  write("second/applications/kde4/okular.desktop", "[Desktop Entry]\nName=Okular\nIcon=/x.png\n");

  XdgDesktopEntries entries(environment("de_DE.UTF-8"));
  EXPECT_EQ(entries.directories(),
            (std::vector<std::string>{(root_ / "home/applications").string(),
                                      (root_ / "first/applications").string(),
                                      (root_ / "second/applications").string()}));
  const auto editor = entries.entry("org.example.Editor");
  ASSERT_TRUE(editor);
  EXPECT_EQ(editor->id, "org.example.Editor");
  EXPECT_EQ(editor->path, (root_ / "first/applications/org.example.Editor.desktop").string());
  EXPECT_EQ(editor->name, "Editor Pro");  // the action's keys are another group's
  EXPECT_EQ(editor->icon, "accessories-text-editor");
  EXPECT_EQ(editor->nameFor(entries.locale()), "Bearbeiter");
  // Locale matching: country, then language; modifiers; the encoding plays no part.
  for (const auto& [locale, name] :
       std::vector<std::pair<std::string, std::string>>{{"de_AT.UTF-8", "Editor (AT)"},
                                                        {"de_CH", "Bearbeiter"},
                                                        {"de_AT@euro", "Editor (AT)"},
                                                        {"sr_RS@latin", "Urednik"},
                                                        {"fr_FR", "Editor Pro"},
                                                        {"", "Editor Pro"}})
    EXPECT_EQ(editor->nameFor(locale), name) << locale;

  EXPECT_FALSE(entries.entry("org.example.Gone"));
  EXPECT_EQ(entries.entry("kde4-okular")->icon, "/x.png");
  for (const char* unknown : {"org.example.Missing", "", "../first/applications/x"})
    EXPECT_FALSE(entries.entry(unknown)) << unknown;
}

TEST_F(DesktopEntries, EnvironmentDefaultsAndLocale) {
  EXPECT_EQ(XdgDesktopEntries::applicationDirectories(nullptr, "/home/u", ""),
            (std::vector<std::string>{"/home/u/.local/share/applications",
                                      "/usr/local/share/applications", "/usr/share/applications"}));
  EXPECT_EQ(XdgDesktopEntries({{}, "/home/u", "/opt/share:/usr/share", {}}).iconDirectories(),
            (std::vector<std::string>{"/home/u/.local/share/icons", "/home/u/.icons",
                                      "/opt/share/icons", "/usr/share/icons"}));
  EXPECT_EQ(XdgDesktopEntries::applicationDirectories("rel", nullptr, "/opt/share"),
            std::vector<std::string>{"/opt/share/applications"});

  write("second/applications/org.example.Viewer.desktop",
        "[Desktop Entry]\nName=Viewer\nName[de]=Betrachter\n");
  ::setenv("XDG_DATA_HOME", (root_ / "home").c_str(), 1);
  ::setenv("XDG_DATA_DIRS", (root_ / "second").c_str(), 1);
  ::setenv("LC_ALL", "de_DE.UTF-8", 1);
  XdgDesktopEntries fromProcess;
  ::unsetenv("XDG_DATA_HOME");
  ::unsetenv("XDG_DATA_DIRS");
  ::unsetenv("LC_ALL");
  const auto viewer = fromProcess.entry("org.example.Viewer");
  ASSERT_TRUE(viewer);
  EXPECT_EQ(viewer->nameFor(fromProcess.locale()), "Betrachter");
  EXPECT_EQ(XdgDesktopEntries({{}, {}, {}, "C.UTF-8"}).locale(), "");
  EXPECT_FALSE(XdgDesktopEntries::parse("Name=No group\n"));
}

TEST_F(DesktopEntries, IconViewShowsTheIconOrTheDashedSymbol) {
  testapp::ensureWidgetApp();
  QImage red(32, 32, QImage::Format_ARGB32);
  red.fill(Qt::red);
  const fs::path png = root_ / "icon.png";
  ASSERT_TRUE(red.save(QString::fromStdString(png.string())));

  platform::fake::FakeDesktopEntries entries;
  entries.install({"org.example.Red", "", "Red", {}, png.string()});
  entries.install({"org.example.Broken", "", "Broken", {}, (root_ / "missing.png").string()});
  entries.install({"org.example.Themeless", "", "Themeless", {}, "no-such-icon-anywhere"});

  struct Row {
    const char* id;
    bool ownIcon;
  };
  for (const Row& row : {Row{"org.example.Red", true}, Row{"org.example.Broken", false},
                         Row{"org.example.Themeless", false}, Row{"org.example.Unknown", false}}) {
    SCOPED_TRACE(row.id);
    settings::AppIconView view(row.id, entries);
    EXPECT_EQ(view.showsApplicationIcon(), row.ownIcon);
    EXPECT_EQ(view.size(), QSize(24, 24));
    const QImage image = view.grab().toImage();
    const QColor centre = image.pixelColor(12, 12);
    EXPECT_EQ(centre == QColor(Qt::red), row.ownIcon);
    // Something is drawn: the icon, or the symbol's dashed outline.
    bool drawn = false;
    for (int y = 0; y < image.height() && !drawn; ++y)
      for (int x = 0; x < image.width() && !drawn; ++x)
        drawn = image.pixelColor(x, y) != view.palette().color(QPalette::Window);
    EXPECT_TRUE(drawn);
  }
  // A theme icon drawn only as SVG, in a theme folder the entries service names.
  write("icons/hicolor/index.theme",
        "[Icon Theme]\nName=Hicolor\nDirectories=scalable/apps\n\n"
        "[scalable/apps]\nSize=48\nMinSize=8\nMaxSize=512\nType=Scalable\n");
  write("icons/hicolor/scalable/apps/org.example.Svg.svg",
        "<svg xmlns='http://www.w3.org/2000/svg' width='48' height='48'>"
        "<rect width='48' height='48' fill='#0000ff'/></svg>");
  entries.iconFolders = {(root_ / "icons").string()};
  entries.install({"org.example.Svg", "", "Svg", {}, "org.example.Svg.svg"});
  settings::AppIconView svg("org.example.Svg", entries);
  ASSERT_TRUE(svg.showsApplicationIcon());
  EXPECT_EQ(svg.grab().toImage().pixelColor(12, 12), QColor(Qt::blue));

  // Each id is looked up afresh.
  settings::AppIconView view("org.example.Unknown", entries);
  const int reads = entries.reads;
  view.setBundleID("org.example.Red");
  EXPECT_EQ(entries.reads, reads + 1);
  EXPECT_TRUE(view.showsApplicationIcon());
}

}  // namespace
}  // namespace tovrel
