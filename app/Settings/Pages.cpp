#include "app/Settings/Pages.hpp"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/Settings/Theme.hpp"
#include "core/EnumTable.hpp"

namespace tovrel::settings {

namespace {

QString text(std::string_view value) {
  return QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size()));
}

// What the service says about hearing the keyboard and reading other applications.
QString readinessDetail(const PermissionReport& report, bool tapInstalled) {
  QStringList lines;
  switch (report.status()) {
    case ReadinessStatus::ready:
      lines << (tapInstalled ? QStringLiteral("Tovrel hears the keyboard.")
                             : QStringLiteral("Tovrel can hear the keyboard."));
      break;
    case ReadinessStatus::restricted:
      lines << QString::fromStdString(Permissions::secureInputReason(report.secureInputApp));
      break;
    case ReadinessStatus::unavailable:
    case ReadinessStatus::needsAccess:
      lines << QStringLiteral(
          "The desktop does not let Tovrel hear the keyboard. Tovrel needs an X11 session.");
      break;
  }
  if (report.accessibilityTrusted) {
    lines << QStringLiteral(
        "Accessibility is on: Tovrel can read the controls of other applications.");
  } else {
    lines << QStringLiteral(
        "Accessibility is off for this desktop session, so Clicking and Scrolling cannot read "
        "the controls of other applications.");
  }
  return lines.join(QLatin1Char('\n'));
}

// The readiness of the service and where the settings are kept, with the actions that help.
class StatePage : public QWidget {
 public:
  StatePage(const PageContext& context, SettingsPage page)
      : model_(context.model), open_(context.openAccessibilitySettings) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(24, 20, 24, 20);
    column->setSpacing(10);
    auto* title = new QLabel(text(rawValue(page)));
    title->setFont(settings::font(TextStyle::title2, QFont::DemiBold));
    column->addWidget(title);
    auto* access = new QHBoxLayout;
    line_ = new QLabel;
    line_->setObjectName(QStringLiteral("accessState"));
    open_button_ = new QPushButton(QStringLiteral("Open Settings"));
    check_ = new QPushButton(QStringLiteral("Check Again"));
    access->addWidget(line_, 1);
    access->addWidget(open_button_);
    access->addWidget(check_);
    column->addLayout(access);
    detail_ = new QLabel;
    detail_->setWordWrap(true);
    column->addWidget(detail_);
    storage_ = new QLabel;
    storage_->setWordWrap(true);
    storage_->setObjectName(QStringLiteral("storageNote"));
    column->addWidget(storage_);
    column->addStretch(1);
    QObject::connect(open_button_, &QPushButton::clicked, this, [this] {
      problem_ = open_ ? open_() : std::nullopt;
      refresh();
    });
    QObject::connect(check_, &QPushButton::clicked, this, [this] {
      problem_.reset();
      model_.navigation().recheckReadiness();
      refresh();
    });
    modelToken_ = model_.observe([this](AppModel::Property property) {
      if (property == AppModel::Property::storageNote ||
          property == AppModel::Property::assumesAccessForSnapshots)
        refresh();
    });
    navigationToken_ = model_.navigation().observe([this](NavigationService::Property property) {
      if (property == NavigationService::Property::readiness ||
          property == NavigationService::Property::tapInstalled)
        refresh();
    });
    refresh();
  }
  ~StatePage() override {
    model_.removeObserver(modelToken_);
    model_.navigation().removeObserver(navigationToken_);
  }

 private:
  void refresh() {
    const NavigationService& navigation = model_.navigation();
    const PermissionReport& report = navigation.readiness();
    const bool assumed = model_.assumesAccessForSnapshots();
    const ReadinessStatus status = assumed ? ReadinessStatus::ready : report.status();
    line_->setText(QStringLiteral("Status: ") + text(displayText(status)));
    QString detail = assumed ? QString() : readinessDetail(report, navigation.tapInstalled());
    if (problem_) detail += QStringLiteral("\n") + QString::fromStdString(*problem_);
    detail_->setText(detail);
    const bool needsAccess =
        !assumed && (!report.accessibilityTrusted || status != ReadinessStatus::ready);
    open_button_->setVisible(needsAccess);
    check_->setVisible(needsAccess);
    storage_->setVisible(model_.storageNote().has_value());
    storage_->setText(QString::fromStdString(model_.storageNote().value_or("")));
  }

  AppModel& model_;
  std::function<std::optional<std::string>()> open_;
  std::optional<std::string> problem_;
  QLabel* line_ = nullptr;
  QLabel* detail_ = nullptr;
  QLabel* storage_ = nullptr;
  QPushButton* open_button_ = nullptr;
  QPushButton* check_ = nullptr;
  std::uint64_t modelToken_ = 0;
  std::uint64_t navigationToken_ = 0;
};

}  // namespace

QWidget* makePage(const PageContext& context, SettingsPage page) {
  return new StatePage(context, page);
}

}  // namespace tovrel::settings
