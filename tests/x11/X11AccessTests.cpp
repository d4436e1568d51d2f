#include "platform/x11/session/X11Access.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

namespace tovrel::platform::x11 {
namespace {

TEST(X11Access, OsReleaseValuesLoseTheirQuoting) {
  std::string_view text =
      "# comment\nNAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n"
      "ID=debian\nVERSION_CODENAME='book worm'\nVARIANT=\"say \\\"hi\\\" \\\\ $\"\nEMPTY=\n";
  EXPECT_EQ(osReleaseValue(text, "PRETTY_NAME"), "Debian GNU/Linux 12 (bookworm)");
  EXPECT_EQ(osReleaseValue(text, "ID"), "debian");
  EXPECT_EQ(osReleaseValue(text, "VERSION_CODENAME"), "book worm");
  EXPECT_EQ(osReleaseValue(text, "VARIANT"), "say \"hi\" \\ $");
  EXPECT_EQ(osReleaseValue(text, "EMPTY"), "");
  EXPECT_FALSE(osReleaseValue(text, "NAM"));
  EXPECT_FALSE(osReleaseValue(text, "comment"));
}

TEST(X11Access, DesktopEntryNameIsTheMainGroupsUntranslatedName) {
  std::string_view text =
      "[Desktop Action new]\nName=New Window\n\n[Desktop Entry]\nType=Application\n"
      "Name[de]=Textbearbeitung\nName = Text\\sEditor\\\\\nGenericName=Editor\n";
  EXPECT_EQ(desktopEntryName(text), "Text Editor\\");
  EXPECT_FALSE(desktopEntryName("[Desktop Action new]\nName=New Window\n"));
  EXPECT_FALSE(desktopEntryName("[Desktop Entry]\nName=\n"));
}

TEST(X11Access, NulSeparatedListsSplitWithoutATrailingEmptyPart) {
  using namespace std::string_view_literals;
  EXPECT_EQ(splitNulSeparated("tovrel\0--self-test\0\0out\0"sv),
            (std::vector<std::string>{"tovrel", "--self-test", "", "out"}));
  EXPECT_EQ(splitNulSeparated("one"sv), (std::vector<std::string>{"one"}));
  EXPECT_TRUE(splitNulSeparated(""sv).empty());
}

// These read this very process, so they need no desktop.
TEST(X11Access, DescribesTheRunningProcess) {
  X11Access access;
  auto path = access.executablePath();
  ASSERT_TRUE(path);
  EXPECT_TRUE(path->ends_with("/TovrelX11Tests")) << *path;
  auto arguments = access.processArguments();
  ASSERT_FALSE(arguments.empty());
  EXPECT_TRUE(arguments.front().ends_with("TovrelX11Tests")) << arguments.front();

  std::string comm;
  std::getline(std::ifstream("/proc/self/comm"), comm);
  EXPECT_EQ(access.runningApplicationName(getpid()), comm);
  EXPECT_FALSE(access.runningApplicationName(0));
  EXPECT_FALSE(access.runningApplicationName(-4));

  EXPECT_NE(access.operatingSystemVersion().find("Linux "), std::string::npos);
  EXPECT_EQ(access.bundleIdentifier(), "local.tovrel.Tovrel");
  EXPECT_FALSE(access.consoleUsers());
  EXPECT_FALSE(access.openURL("not a url"));
}

}  // namespace
}  // namespace tovrel::platform::x11
