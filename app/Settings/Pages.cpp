#include "app/Settings/Pages.hpp"

#include <QLabel>
#include <QVBoxLayout>

#include "app/Settings/AboutPage.hpp"
#include "app/Settings/AccessCard.hpp"
#include "app/Settings/ClickModePage.hpp"
#include "app/Settings/EntrySection.hpp"
#include "app/Settings/Form.hpp"
#include "app/Settings/GeneralPage.hpp"
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

// The readiness of the service and where the settings are kept.
class StatePage : public QWidget {
 public:
  StatePage(const PageContext& context, SettingsPage page) : model_(context.model) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(24, 20, 24, 20);
    column->setSpacing(10);
    auto* title = new QLabel(text(rawValue(page)));
    title->setFont(settings::font(TextStyle::title2, QFont::DemiBold));
    column->addWidget(title);
    column->addWidget(new AccessCard(model_, context.openAccessibilitySettings));
    line_ = new QLabel;
    line_->setObjectName(QStringLiteral("accessState"));
    column->addWidget(line_);
    detail_ = new QLabel;
    detail_->setWordWrap(true);
    column->addWidget(detail_);
    storage_ = new QLabel;
    storage_->setWordWrap(true);
    storage_->setObjectName(QStringLiteral("storageNote"));
    column->addWidget(storage_);
    column->addStretch(1);
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
    detail_->setText(assumed ? QString() : readinessDetail(report, navigation.tapInstalled()));
    storage_->setVisible(model_.storageNote().has_value());
    storage_->setText(QString::fromStdString(model_.storageNote().value_or("")));
  }

  AppModel& model_;
  QLabel* line_ = nullptr;
  QLabel* detail_ = nullptr;
  QLabel* storage_ = nullptr;
  std::uint64_t modelToken_ = 0;
  std::uint64_t navigationToken_ = 0;
};

}  // namespace

QWidget* makePage(const PageContext& context, SettingsPage page) {
  if (page == SettingsPage::click) return new ClickModePage(context);
  if (page == SettingsPage::about) return new AboutPage(context);
  if (page == SettingsPage::general) return new GeneralPage(context);
  std::optional<InteractionMode> mode;
  if (page == SettingsPage::click) mode = InteractionMode::click;
  if (page == SettingsPage::scroll) mode = InteractionMode::scroll;
  if (page == SettingsPage::cursor) mode = InteractionMode::cursor;
  if (!mode) return new StatePage(context, page);
  auto* form = new FormPage;
  form->setObjectName(text(rawValue(page)));
  form->addWidget(new EntrySection(context.model, *mode, context.openAccessibilitySettings));
  return form;
}

}  // namespace tovrel::settings
