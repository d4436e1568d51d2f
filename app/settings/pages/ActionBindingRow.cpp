#include "app/settings/pages/ActionBindingRow.hpp"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "app/settings/controls/ShortcutField.hpp"
#include "app/settings/pages/ModePageLogic.hpp"

namespace tovrel::settings {

namespace {

QString text(std::string_view value) {
  return QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size()));
}

constexpr int recorderSpacing = 8;

}  // namespace

ActionBindingRow::ActionBindingRow(AppModel& model, CursorAction action, QWidget* parent)
    : LabeledRow(nullptr, nullptr, parent), model_(model), action_(action) {
  setObjectName(text(rawValue(action_)));
  auto* label = new QWidget;
  auto* lines = new QVBoxLayout(label);
  lines->setContentsMargins(0, 0, 0, 0);
  lines->setSpacing(1);
  lines->addWidget(new ThemedLabel(text(title(action_)), TextStyle::body, Colour::primary));
  if (const std::string_view caption = heldCaption(action_); !caption.empty())
    lines->addWidget(new ThemedLabel(text(caption), TextStyle::caption, Colour::secondary));
  setLabel(label);

  auto* content = new QWidget;
  line_ = new QHBoxLayout(content);
  line_->setContentsMargins(0, 0, 0, 0);
  line_->setSpacing(recorderSpacing);
  add_ = new ShortcutField(
      model_.platform().application, text(addTitle(action_)), std::nullopt, RecorderKind::action,
      std::nullopt, false, text(addPlaceholder(false)), false,
      [this](std::optional<Gesture> gesture) { return add(gesture); },
      [this](Gesture gesture) { return takeOver(gesture, std::nullopt); });
  add_->setObjectName(QStringLiteral("addKey"));
  line_->addWidget(add_, 0, Qt::AlignTop);
  setControl(content);

  observer_ = model_.observe([this](AppModel::Property property) {
    if (property == AppModel::Property::config) refresh();
  });
  refresh();
}

ActionBindingRow::~ActionBindingRow() {
  model_.removeObserver(observer_);
}

Problems ActionBindingRow::replace(const Gesture& old, const std::optional<Gesture>& replacement) {
  const PageEdit edit = bindingEdit::replace(model_.config(), action_, old, replacement);
  return model_.commit(edit.config, edit.change);
}

Problems ActionBindingRow::add(const std::optional<Gesture>& gesture) {
  const std::optional<PageEdit> edit = bindingEdit::add(model_.config(), action_, gesture);
  return edit ? model_.commit(edit->config, edit->change) : Problems{};
}

Problems ActionBindingRow::takeOver(const Gesture& gesture, const std::optional<Gesture>& old) {
  const PageEdit edit = bindingEdit::takeOver(model_.config(), action_, gesture, old);
  return model_.commit(edit.config, edit.change);
}

ShortcutField* ActionBindingRow::makeField() {
  auto* field = new ShortcutField(model_.platform().application, text(title(action_)), std::nullopt,
                                  RecorderKind::action, std::nullopt, true, QStringLiteral("None"),
                                  false, {}, {});
  field->setObjectName(QStringLiteral("key"));
  return field;
}

void ActionBindingRow::refresh() {
  const std::vector<Gesture> gestures = gesturesOf(model_.config(), action_);
  std::vector<ShortcutField*> next(gestures.size(), nullptr);
  std::vector<bool> taken(fields_.size(), false);
  // First each recorder that still has its gesture (the first free one, for repeated gestures)…
  for (std::size_t i = 0; i < gestures.size(); ++i) {
    for (std::size_t j = 0; j < fields_.size(); ++j) {
      if (taken[j] || fields_[j]->gesture() != gestures[i]) continue;
      next[i] = fields_[j];
      taken[j] = true;
      break;
    }
  }
  // …then the others by position: a replaced gesture stays in its recorder.
  std::size_t free = 0;
  for (ShortcutField*& field : next) {
    if (field != nullptr) continue;
    while (free < fields_.size() && taken[free])
      ++free;
    if (free < fields_.size()) {
      field = fields_[free];
      taken[free] = true;
    } else {
      field = makeField();
    }
  }
  for (std::size_t j = 0; j < fields_.size(); ++j) {
    line_->removeWidget(fields_[j]);
    if (taken[j]) continue;
    // Its own remove button may be what got here.
    fields_[j]->hide();
    fields_[j]->deleteLater();
  }
  line_->removeWidget(add_);

  fields_ = std::move(next);
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    ShortcutField* field = fields_[i];
    const Gesture gesture = gestures[i];
    field->setGesture(gesture);
    field->setOnSave(
        [this, gesture](std::optional<Gesture> recorded) { return replace(gesture, recorded); });
    field->setOnReplace([this, gesture](Gesture recorded) { return takeOver(recorded, gesture); });
    line_->addWidget(field, 0, Qt::AlignTop);
    field->show();
  }
  add_->setPlaceholder(text(addPlaceholder(!gestures.empty())));
  line_->addWidget(add_, 0, Qt::AlignTop);
}

}  // namespace tovrel::settings
