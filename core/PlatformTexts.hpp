#pragma once

// Every user-facing text that names the operating system lives here, so that what Tovrel says
// about the desktop it runs on is visible in one place.

#include <array>
#include <string_view>

namespace tovrel::platformText {

// Completes "… may already be used by <system> for <function>." in the settings.
inline constexpr std::string_view systemName = "the desktop";

// The readiness shown while another application holds secure keyboard input.
inline constexpr std::string_view restrictedReadiness = "Restricted by the desktop";

// Where a privacy settings pane is asked for: the pane's anchor follows the "?". The desktop
// backend decides whether it knows a settings page for the anchor and can open it.
inline constexpr std::string_view privacySettingsURLBase = "x-tovrel-settings:privacy?";

// Why navigation stopped when the desktop switched the event tap off.
inline constexpr std::string_view tapPaused =
    "The desktop paused Tovrel’s keyboard access, so navigation stopped.";

// The storage note while there is no folder to keep the settings in.
inline constexpr std::string_view noSettingsFolder =
    "The settings folder is unavailable; changes will not be saved.";

// Begins the sentence shown when turning the login item on or off failed; the reason follows.
inline constexpr std::string_view loginItemFailure = "The desktop did not change the login item: ";

// The units lengths and speeds on the screen are shown in: X measures in pixels.
inline constexpr std::string_view lengthUnit = "px";
inline constexpr std::string_view speedUnit = "px/s";

// The Clicking page's switch over the menu bar and the desktop's panels and docks; the stored
// settings keep their names (clickLabelsMenuBar, clickLabelsDock).
inline constexpr std::string_view labelMenuBarAndPanel = "Label the menu bar and panel";
inline constexpr std::string_view labelMenuBarAndPanelDetail =
    "Menus, status icons and panel items get labels too.";
inline constexpr std::string_view menuBarAndPanelLabelled = "Menu bar and panel labelled";
inline constexpr std::string_view menuBarAndPanelNotLabelled = "Menu bar and panel not labelled";

// The About page while Tovrel cannot read the keyboard, and its button that switches the
// desktop's accessibility on.
inline constexpr std::string_view keyboardAccessNotAllowed =
    "Not allowed yet. Turn on accessibility in the desktop’s settings.";
inline constexpr std::string_view openAccessibilitySettings = "Open Accessibility Settings";

// Begins the diagnostic report's line that names the operating system and its version.
inline constexpr std::string_view reportSystemLine = "System: ";

// The self-test report's line saying how its input reached Tovrel.
inline constexpr std::string_view selfTestInput =
    "synthetic input posted through the X server’s test extension, routed through Tovrel’s real "
    "tap. Not a hardware test.";

// The login switch's detail and the hint while the desktop waits for the user to approve the login
// item.
inline constexpr std::string_view loginItemDetail =
    "Start Tovrel when you log in to your computer.";
inline constexpr std::string_view loginItemApproval =
    "Approve Tovrel in the desktop’s settings › Login Items";

// Chromium and every application built on it (Electron, CEF) show their content to accessibility
// clients only when told to at start, by this switch or this environment setting; the bus's own
// switches no longer do it.
inline constexpr std::string_view chromiumAccessibilitySwitch = "--force-renderer-accessibility";
inline constexpr std::string_view chromiumAccessibilityEnvironment = "ACCESSIBILITY_ENABLED=1";

// What click mode says in a Chromium-based window that shows no content, in the pieces around the
// two above: the switch follows the first piece, the environment setting the second, and the
// gesture that starts Moving, then ").", the last.
inline constexpr std::string_view chromiumHiddenBeforeSwitch =
    "Chromium-based apps show their content to Accessibility only when started with ";
inline constexpr std::string_view chromiumHiddenBeforeEnvironment = " or with ";
inline constexpr std::string_view chromiumHiddenBeforeGesture =
    " set. Restart this app that way, or use Moving here (";

}  // namespace tovrel::platformText

namespace tovrel::platformIds {

// The desktop's own applications that click mode may label beside the front window: the panel
// that keeps application launchers and the daemon that shows notification banners. The first
// running application whose identity is listed counts; with none, that extra is not running.
inline constexpr std::array<std::string_view, 6> dockApplications = {
    "plank", "xfce4-panel", "mate-panel", "lxpanel", "tint2", "cairo-dock"};
inline constexpr std::array<std::string_view, 3> notificationCenterApplications = {
    "xfce4-notifyd", "mate-notification-daemon", "notification-daemon"};

// The preference domain and key consulted for a hiding dock and for a hiding menu bar (the empty
// domain is the global one). No Linux desktop keeps either where it can be read, so both read as
// absent.
inline constexpr std::string_view dockDomain = "dock";
inline constexpr std::string_view dockAutoHideKey = "autohide";
inline constexpr std::string_view menuBarAutoHideKey = "_HIHideMenuBar";

// Below an application's folder: present when it embeds a Chromium browser, whose tree stays
// asleep until asked for.
inline constexpr std::string_view chromiumEmbeddedMarker = "libcef.so";

// Screenshot tools: while one is in front the pointer is left alone and the tool never counts as
// the application navigation works on.
inline constexpr std::array<std::string_view, 10> screenshotApplications = {
    "org.gnome.Screenshot",
    "gnome-screenshot",
    "org.kde.spectacle",
    "spectacle",
    "org.flameshot.Flameshot",
    "flameshot",
    "xfce4-screenshooter",
    "org.ksnip.ksnip",
    "ksnip",
    "shutter"};

// The program's own identity.
inline constexpr std::string_view selfIdentifier = "local.tovrel.Tovrel";

}  // namespace tovrel::platformIds
