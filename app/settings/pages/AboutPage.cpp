#include "app/settings/pages/AboutPage.hpp"

#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/settings/controls/SettingControls.hpp"
#include "app/settings/pages/AboutLogic.hpp"
#include "app/shell/ModeIcons.hpp"
#include "core/PlatformTexts.hpp"

namespace tovrel::settings {

namespace {

QString text(std::string_view value) {
  return QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size()));
}

constexpr int iconSide = 56;

// The program's icon, scaled to fit; the name beside it says what it is.
class ProgramIcon : public QWidget {
 public:
  ProgramIcon() : icon_(shell::appIcon()) {
    setFixedSize(iconSide, iconSide);
    hideFromAccessibility(this);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    icon_.paint(&painter, rect());
  }

 private:
  QIcon icon_;
};

QPushButton* button(const QString& title, const char* name) {
  auto* button = new QPushButton(title);
  button->setObjectName(QString::fromLatin1(name));
  button->setAutoDefault(false);
  return button;
}

}  // namespace

AboutPage::AboutPage(const PageContext& context)
    : model_(context.model), openSettings_(context.openAccessibilitySettings) {
  setObjectName(QStringLiteral("About"));

  auto* identity = new QWidget;
  auto* identityRow = new QHBoxLayout(identity);
  identityRow->setContentsMargins(0, 4, 0, 4);
  identityRow->setSpacing(14);
  identityRow->addWidget(new ProgramIcon, 0, Qt::AlignVCenter);
  auto* names = new QWidget;
  auto* nameColumn = new QVBoxLayout(names);
  nameColumn->setContentsMargins(0, 0, 0, 0);
  nameColumn->setSpacing(2);
  auto* name = new ThemedLabel(QStringLiteral("Tovrel"), TextStyle::title2, Colour::primary);
  name->setFont(settings::font(TextStyle::title2, QFont::DemiBold));
  name->setObjectName(QStringLiteral("programName"));
  auto* version =
      new ThemedLabel(QString::fromStdString(versionText(shortVersion(), buildNumber())),
                      TextStyle::body, Colour::secondary);
  version->setObjectName(QStringLiteral("programVersion"));
  version->setTextInteractionFlags(Qt::TextSelectableByMouse);
  nameColumn->addWidget(name);
  nameColumn->addWidget(version);
  identityRow->addWidget(names, 1, Qt::AlignVCenter);
  addSection()->addRow(identity);

  FormSection* state = addSection(
      {}, QStringLiteral("The report lists recent events and versions. It never includes what you "
                         "type or what is on screen."));
  access_ = new StatusLine(false, QStringLiteral("Keyboard access"), {});
  access_->setObjectName(QStringLiteral("keyboardAccess"));
  state->addRow(access_);
  secure_ = new StatusLine(false, QStringLiteral("Secure input is on"), {});
  secure_->setObjectName(QStringLiteral("secureInput"));
  state->addRow(secure_);

  actions_ = new QWidget;
  auto* actionRow = new QHBoxLayout(actions_);
  actionRow->setContentsMargins(0, 0, 0, 0);
  actionRow->setSpacing(8);
  open_ = button(text(platformText::openAccessibilitySettings), "openAccessibility");
  check_ = button(QStringLiteral("Check Again"), "checkAgain");
  copy_ = button(QStringLiteral("Copy Diagnostic Report"), "copyReport");
  actionRow->addWidget(open_, 0, Qt::AlignVCenter);
  actionRow->addWidget(check_, 0, Qt::AlignVCenter);
  actionRow->addStretch(1);
  actionRow->addWidget(copy_, 0, Qt::AlignVCenter);
  state->addRow(actions_);

  problem_ = new ThemedLabel({}, TextStyle::callout, Colour::orange);
  problem_->setObjectName(QStringLiteral("openProblem"));
  problem_->setWordWrap(true);
  state->addRow(problem_);

  QObject::connect(open_, &QPushButton::clicked, this, [this] {
    openProblem_ = openSettings_ ? openSettings_() : std::nullopt;
    refresh();
  });
  QObject::connect(check_, &QPushButton::clicked, this, [this] {
    openProblem_.reset();
    model_.navigation().recheckReadiness();
    refresh();
  });
  QObject::connect(copy_, &QPushButton::clicked, this, [this] {
    copyReport();
    copied_ = true;
    refresh();
  });

  watch_ = std::make_unique<ReadinessWatch>(model_, [this] { refresh(); });
  refresh();
}

AboutPage::~AboutPage() = default;

void AboutPage::refresh() {
  const NavigationService& navigation = model_.navigation();
  const PermissionReport& report = navigation.readiness();
  const bool assumed = model_.assumesAccessForSnapshots();
  const bool allowed = keyboardAccessAllowed(model_);
  access_->setStatus(allowed, QStringLiteral("Keyboard access"),
                     QString::fromStdString(keyboardAccessDetail(allowed)));
  secure_->setStatus(false, QStringLiteral("Secure input is on"),
                     QString::fromStdString(secureInputDetail(report.secureInputApp)));
  secure_->setVisible(report.secureInputActive && !assumed);
  open_->setVisible(!allowed);
  check_->setVisible(!allowed);
  if (allowed) openProblem_.reset();
  problem_->setText(QString::fromStdString(openProblem_.value_or("")));
  problem_->setVisible(openProblem_.has_value());
  // Every press copies a fresh report, also once the button says it did.
  copy_->setText(copied_ ? QStringLiteral("Copied") : QStringLiteral("Copy Diagnostic Report"));
}

void AboutPage::copyReport() {
  const std::string report = diagnosticReport(
      reportFacts(model_), [](double date) { return timeOfDay(date, QLocale::system()); });
  QClipboard* clipboard = QGuiApplication::clipboard();
  clipboard->clear();
  clipboard->setText(QString::fromStdString(report));
}

}  // namespace tovrel::settings
