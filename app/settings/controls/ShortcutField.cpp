#include "app/settings/controls/ShortcutField.hpp"

#include <QEvent>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QShortcut>
#include <QToolButton>
#include <QVBoxLayout>
#include <utility>

#include "app/settings/Symbols.hpp"
#include "app/settings/Theme.hpp"
#include "app/settings/controls/KeyCaps.hpp"
#include "app/settings/controls/RecorderPill.hpp"

namespace tovrel::settings {

namespace {

constexpr int symbolPixels = 14;

QString text(const std::string& value) {
  return QString::fromStdString(value);
}

QPushButton* smallButton(const char* label, const char* name, QWidget* parent) {
  auto* button = new QPushButton(QString::fromUtf8(label), parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setFont(font(TextStyle::callout));
  button->setAutoDefault(false);
  button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  return button;
}

QToolButton* symbolButton(const char* name, QWidget* parent) {
  auto* button = new QToolButton(parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setAutoRaise(true);
  button->setFocusPolicy(Qt::StrongFocus);
  button->setCursor(Qt::PointingHandCursor);
  button->setIconSize(QSize(symbolPixels, symbolPixels));
  return button;
}

QLabel* captionLine(QWidget* parent) {
  auto* label = new QLabel(parent);
  label->setFont(font(TextStyle::caption));
  label->setWordWrap(true);
  label->setAlignment(Qt::AlignTrailing | Qt::AlignVCenter);
  label->setTextFormat(Qt::PlainText);
  return label;
}

void setTextColour(QWidget& widget, const QColor& colour) {
  QPalette palette = widget.palette();
  palette.setColor(QPalette::WindowText, colour);
  widget.setPalette(palette);
}

}  // namespace

ShortcutField::ShortcutField(platform::ApplicationServices& application, QString title,
                             std::optional<Gesture> gesture, RecorderKind kind,
                             std::optional<Gesture> defaultGesture, bool allowsClear,
                             QString placeholder, bool prominent, SaveFunction onSave,
                             ReplaceFunction onReplace, QWidget* parent)
    : QWidget(parent),
      application_(application),
      title_(std::move(title)),
      gesture_(gesture),
      kind_(kind),
      defaultGesture_(defaultGesture),
      allowsClear_(allowsClear),
      placeholder_(std::move(placeholder)),
      prominent_(prominent),
      onSave_(std::move(onSave)),
      onReplace_(std::move(onReplace)) {
  auto* stack = new QVBoxLayout(this);
  stack->setContentsMargins(0, 0, 0, 0);
  stack->setSpacing(6);

  auto* row = new QHBoxLayout;
  row->setSpacing(6);
  row->addStretch(1);
  pill_ = new RecorderPill(application_, this);
  pill_->setObjectName(QStringLiteral("pill"));
  pill_->setKind(kind_);
  pill_->setOnGesture([this](Gesture heard) {
    state_.gestureReported(heard);
    refresh();
  });
  pill_->setOnCancel([this] { cancel(); });
  cancel_ = smallButton(fieldText::cancel, "cancel", this);
  save_ = smallButton(fieldText::save, "save", this);
  save_->setDefault(true);
  keyCaps_ = new KeyCapsButton(this);
  keyCaps_->setObjectName(QStringLiteral("keyCaps"));
  restore_ = symbolButton("restore", this);
  remove_ = symbolButton("remove", this);
  for (QWidget* widget :
       std::initializer_list<QWidget*>{pill_, cancel_, save_, keyCaps_, restore_, remove_})
    row->addWidget(widget, 0, Qt::AlignVCenter);
  stack->addLayout(row);

  hint_ = captionLine(this);
  hint_->setObjectName(QStringLiteral("hint"));
  hint_->setText(QString::fromStdString(hintText(kind_)));
  stack->addWidget(hint_);

  problems_ = new QWidget(this);
  problems_->setObjectName(QStringLiteral("problems"));
  auto* problemStack = new QVBoxLayout(problems_);
  problemStack->setContentsMargins(0, 0, 0, 0);
  problemStack->setSpacing(4);
  problemLines_ = new QVBoxLayout;
  problemLines_->setContentsMargins(0, 0, 0, 0);
  problemLines_->setSpacing(4);
  problemStack->addLayout(problemLines_);
  auto* choices = new QHBoxLayout;
  choices->setSpacing(6);
  choices->addStretch(1);
  keepExisting_ = smallButton(fieldText::keepExisting, "keepExisting", problems_);
  replace_ = smallButton(fieldText::replace, "replace", problems_);
  chooseAnother_ = smallButton(fieldText::chooseAnother, "chooseAnother", problems_);
  choices->addWidget(keepExisting_);
  choices->addWidget(replace_);
  choices->addWidget(chooseAnother_);
  problemStack->addLayout(choices);
  stack->addWidget(problems_);

  QObject::connect(keyCaps_, &QAbstractButton::clicked, this, [this] { startRecording(); });
  QObject::connect(cancel_, &QAbstractButton::clicked, this, [this] { cancel(); });
  QObject::connect(save_, &QAbstractButton::clicked, this, [this] { save(); });
  QObject::connect(restore_, &QAbstractButton::clicked, this, [this] { askOwner(true); });
  QObject::connect(remove_, &QAbstractButton::clicked, this, [this] { askOwner(false); });
  QObject::connect(keepExisting_, &QAbstractButton::clicked, this, [this] {
    state_.keepExisting();
    refresh();
  });
  QObject::connect(replace_, &QAbstractButton::clicked, this, [this] { replace(); });
  QObject::connect(chooseAnother_, &QAbstractButton::clicked, this, [this] {
    state_.chooseAnother();
    refresh();
  });
  // Return saves from anywhere in the field but the pill, which records Return like any key.
  for (auto key : {Qt::Key_Return, Qt::Key_Enter}) {
    auto* shortcut = new QShortcut(QKeySequence(key), this);
    shortcut->setContext(Qt::WidgetWithChildrenShortcut);
    QObject::connect(shortcut, &QShortcut::activated, this, [this] {
      if (state_.recording()) save();
    });
  }

  refreshIcons();
  refresh();
}

ShortcutField::~ShortcutField() = default;

void ShortcutField::setGesture(std::optional<Gesture> gesture) {
  gesture_ = gesture;
  refresh();
}

void ShortcutField::setDefaultGesture(std::optional<Gesture> defaultGesture) {
  defaultGesture_ = defaultGesture;
  refresh();
}

void ShortcutField::setOnSave(SaveFunction onSave) {
  onSave_ = std::move(onSave);
}

void ShortcutField::setOnReplace(ReplaceFunction onReplace) {
  onReplace_ = std::move(onReplace);
  refresh();
}

void ShortcutField::setTitle(QString title) {
  title_ = std::move(title);
  refresh();
}

void ShortcutField::setPlaceholder(QString placeholder) {
  placeholder_ = std::move(placeholder);
  refresh();
}

void ShortcutField::startRecording() {
  state_.startRecording();
  refresh();
}

void ShortcutField::cancel() {
  state_.cancel();
  refresh();
}

void ShortcutField::save() {
  const auto gesture = state_.gestureToSave();
  if (!gesture) return;
  // The owner commits, and its refresh may replace its functions or delete this field.
  const QPointer<ShortcutField> alive(this);
  const SaveFunction onSave = onSave_;
  Problems problems = onSave ? onSave(*gesture) : Problems{};
  if (!alive) return;
  state_.saveAnswered(std::move(problems));
  refresh();
}

void ShortcutField::replace() {
  const auto gesture = state_.gestureToReplace();
  if (!gesture || !onReplace_) return;
  const QPointer<ShortcutField> alive(this);
  const ReplaceFunction onReplace = onReplace_;
  Problems problems = onReplace(*gesture);
  if (!alive) return;
  state_.replaceAnswered(std::move(problems));
  refresh();
}

void ShortcutField::askOwner(bool restore) {
  if (!onSave_) return;
  if (restore && !defaultGesture_) return;
  const QPointer<ShortcutField> alive(this);
  const SaveFunction onSave = onSave_;
  Problems problems = onSave(restore ? defaultGesture_ : std::nullopt);
  if (!alive) return;
  state_.buttonAnswered(std::move(problems));
  refresh();
}

void ShortcutField::refresh() {
  const std::string title = title_.toStdString();
  const bool recording = state_.recording();
  const bool pillHadFocus = pill_->hasFocus();

  pill_->setKind(kind_);
  pill_->setContent(title_, state_.pending());
  pill_->setVisible(recording);
  cancel_->setVisible(recording);
  save_->setVisible(recording);
  save_->setEnabled(state_.saveEnabled());
  hint_->setVisible(recording);

  keyCaps_->setCaps(text(fieldText::keyCaps(gesture_, placeholder_.toStdString())),
                    !gesture_.has_value(), prominent_);
  keyCaps_->setToolTip(text(fieldText::changeHelp(title)));
  keyCaps_->setAccessibleName(text(fieldText::keyCapsAccessibleName(title, gesture_)));
  keyCaps_->setVisible(!recording);

  const bool showsRestore =
      !recording && ShortcutFieldState::showsRestore(gesture_, defaultGesture_);
  if (defaultGesture_) {
    restore_->setToolTip(text(fieldText::restoreHelp(*defaultGesture_)));
    restore_->setAccessibleName(text(fieldText::restoreAccessibleName(title)));
  }
  restore_->setVisible(showsRestore);
  const bool showsRemove = !recording && ShortcutFieldState::showsRemove(gesture_, allowsClear_);
  if (gesture_) {
    remove_->setToolTip(QString::fromUtf8(fieldText::removeHelp));
    remove_->setAccessibleName(text(fieldText::removeAccessibleName(title, *gesture_)));
  }
  remove_->setVisible(showsRemove);

  if (state_.problems() != shownProblems_) {
    shownProblems_ = state_.problems();
    while (QLayoutItem* item = problemLines_->takeAt(0)) {
      if (QWidget* line = item->widget()) {
        line->hide();
        line->deleteLater();
      }
      delete item;
    }
    for (const std::string& problem : shownProblems_) {
      QLabel* line = captionLine(problems_);
      line->setObjectName(QStringLiteral("problem"));
      line->setText(text(problem));
      setTextColour(*line, colour(Colour::red, palette()));
      problemLines_->addWidget(line);
    }
  }
  replace_->setVisible(state_.showsReplace(static_cast<bool>(onReplace_)));
  problems_->setVisible(!shownProblems_.empty());

  // The keyboard stays in the field when the recorder closes.
  if (!recording && pillHadFocus) keyCaps_->setFocus(Qt::OtherFocusReason);
}

void ShortcutField::refreshIcons() {
  const QPalette& colours = palette();
  restore_->setIcon(
      symbolIcon("arrow.uturn.backward", colour(Colour::accent, colours), symbolPixels));
  remove_->setIcon(
      symbolIcon("xmark.circle.fill", colour(Colour::secondary, colours), symbolPixels));
  setTextColour(*hint_, colour(Colour::secondary, colours));
  for (QLabel* line : problems_->findChildren<QLabel*>(QStringLiteral("problem")))
    setTextColour(*line, colour(Colour::red, colours));
}

void ShortcutField::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::PaletteChange) refreshIcons();
}

}  // namespace tovrel::settings
