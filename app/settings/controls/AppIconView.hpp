#pragma once

// An application's icon, 24 × 24, found through its desktop entry: the theme icon it names, or
// the image file it points at. An application with no entry, or whose icon cannot be loaded,
// shows the dashed application symbol instead.

#include <QIcon>
#include <QWidget>
#include <optional>
#include <string>
#include <vector>

#include "platform/DesktopEntries.hpp"

namespace tovrel::settings {

// The icon a desktop entry's Icon value stands for: an absolute path is loaded as a file, a name
// is looked up in the icon theme (a name given with an image extension without it). Nothing when
// it cannot be loaded.
std::optional<QIcon> applicationIcon(const std::string& iconValue);

// Makes theme icons findable where the platform left Qt without an icon theme (no desktop
// session, the offscreen platform): adds the missing `folders` to the theme search path and
// takes the "hicolor" theme every desktop has when no theme is set.
void prepareIconTheme(const std::vector<std::string>& folders);

class AppIconView : public QWidget {
 public:
  static constexpr int side = 24;

  // `bundleID`: the application id (its desktop-file id without ".desktop").
  AppIconView(std::string bundleID, platform::DesktopEntryServices& entries,
              QWidget* parent = nullptr);

  const std::string& bundleID() const { return bundleID_; }
  // Looks the application up afresh.
  void setBundleID(std::string bundleID);

  // Whether the application's own icon is shown (else the dashed symbol).
  bool showsApplicationIcon() const { return icon_.has_value(); }

  QSize sizeHint() const override { return QSize(side, side); }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void lookUp();

  std::string bundleID_;
  platform::DesktopEntryServices& entries_;
  std::optional<QIcon> icon_;
};

}  // namespace tovrel::settings
