#include "app/settings/controls/AppIconView.hpp"

#include <QFileInfo>
#include <QPainter>

#include "app/settings/Symbols.hpp"
#include "app/settings/Theme.hpp"

namespace tovrel::settings {

std::optional<QIcon> applicationIcon(const std::string& iconValue) {
  if (iconValue.empty()) return std::nullopt;
  const QString value = QString::fromStdString(iconValue);
  QIcon icon;
  if (value.startsWith(u'/')) {
    if (QFileInfo(value).isFile()) icon = QIcon(value);
  } else {
    QString name = value;
    // Many entries give the file name of a theme icon; the theme knows it without the extension.
    for (const QString& extension : {QStringLiteral(".png"), QStringLiteral(".svg"),
                                     QStringLiteral(".svgz"), QStringLiteral(".xpm")}) {
      if (name.endsWith(extension, Qt::CaseInsensitive)) {
        name.chop(extension.size());
        break;
      }
    }
    icon = QIcon::fromTheme(name);
  }
  // A file that is no image, or a theme icon whose drawing cannot be read, gives no pixels.
  if (icon.isNull() || icon.pixmap(AppIconView::side, AppIconView::side).isNull())
    return std::nullopt;
  return icon;
}

void prepareIconTheme(const std::vector<std::string>& folders) {
  QStringList paths = QIcon::themeSearchPaths();
  bool added = false;
  for (const std::string& folder : folders) {
    const QString path = QString::fromStdString(folder);
    if (!paths.contains(path)) {
      paths.append(path);
      added = true;
    }
  }
  if (added) QIcon::setThemeSearchPaths(paths);
  if (QIcon::themeName().isEmpty()) QIcon::setThemeName(QStringLiteral("hicolor"));
}

AppIconView::AppIconView(std::string bundleID, platform::DesktopEntryServices& entries,
                         QWidget* parent)
    : QWidget(parent), bundleID_(std::move(bundleID)), entries_(entries) {
  setFixedSize(side, side);
  lookUp();
}

void AppIconView::setBundleID(std::string bundleID) {
  bundleID_ = std::move(bundleID);
  lookUp();
}

void AppIconView::lookUp() {
  icon_.reset();
  prepareIconTheme(entries_.iconDirectories());
  if (const auto entry = entries_.entry(bundleID_); entry && entry->icon)
    icon_ = applicationIcon(*entry->icon);
  update();
}

void AppIconView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
  const QRectF frame(0, 0, side, side);
  if (icon_) {
    icon_->paint(&painter, frame.toRect());
    return;
  }
  const QSizeF natural = symbolSize("app.dashed", settings::font(TextStyle::body).pixelSize());
  paintSymbol(painter, "app.dashed",
              QRectF(frame.center() - QPointF(natural.width() / 2, natural.height() / 2), natural),
              colour(Colour::secondary, palette()));
}

}  // namespace tovrel::settings
