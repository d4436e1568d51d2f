#include "app/selftest/Fixture.hpp"

#include <QAbstractSpinBox>
#include <QComboBox>
#include <QFile>
#include <QJsonDocument>
#include <QLineEdit>

#include "core/Keys.hpp"
#include "platform/Application.hpp"

namespace tovrel::selftest {

namespace {

QString key(std::string_view name) {
  return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
}

// The first character of UTF-8 `text` and its length in bytes; a malformed byte counts alone.
std::pair<char32_t, std::size_t> firstCharacter(std::string_view text) {
  const auto lead = static_cast<unsigned char>(text.front());
  std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
  if (length > text.size()) length = 1;
  if (length == 1) return {lead, 1};
  char32_t value = lead & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i)
    value = (value << 6) | (static_cast<unsigned char>(text[i]) & 0x3F);
  return {value, length};
}

char32_t lowered(char32_t c) {
  return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c;
}

// Printable keys carry ASCII texts: a one-character text per key, by its lower-cased character.
std::optional<std::uint16_t> codeTyping(char32_t character) {
  for (const auto& [code, text] : Key::printableCodes()) {
    if (text.size() != 1) continue;
    if (lowered(static_cast<unsigned char>(text.front())) == lowered(character)) return code;
  }
  return std::nullopt;
}

bool insideBoxOrRecorder(const QWidget* widget) {
  for (const QWidget* w = widget; w != nullptr; w = w->parentWidget()) {
    if (dynamic_cast<const platform::SuspendsNavigation*>(w) != nullptr) return true;
    if (w != widget && (qobject_cast<const QAbstractSpinBox*>(w) != nullptr ||
                        qobject_cast<const QComboBox*>(w) != nullptr))
      return true;
  }
  return false;
}

}  // namespace

FixtureState FixtureState::read(const std::string& path) {
  QFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::ReadOnly)) return FixtureState(QJsonObject());
  QJsonParseError error{};
  const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
  if (error.error != QJsonParseError::NoError || !document.isObject())
    return FixtureState(QJsonObject());
  return FixtureState(document.object());
}

FixtureFrame FixtureState::frame(std::string_view name) const {
  const QJsonObject frame =
      state_.value(QStringLiteral("frames")).toObject().value(key(name)).toObject();
  return FixtureFrame{frame.value(QStringLiteral("x")).toDouble(),
                      frame.value(QStringLiteral("y")).toDouble(),
                      frame.value(QStringLiteral("width")).toDouble(),
                      frame.value(QStringLiteral("height")).toDouble()};
}

double FixtureState::padCount(std::string_view name) const {
  return state_.value(QStringLiteral("pad")).toObject().value(key(name)).toDouble();
}

std::string FixtureState::text(std::string_view member) const {
  return state_.value(key(member)).toString().toStdString();
}

double FixtureState::number(std::string_view member) const {
  return state_.value(key(member)).toDouble();
}

bool FixtureState::ready() const {
  const QJsonValue frames = state_.value(QStringLiteral("frames"));
  return frames.isObject() && !frames.toObject().isEmpty();
}

std::vector<std::uint16_t> typingCodes(std::string_view text) {
  std::vector<std::uint16_t> codes;
  while (!text.empty()) {
    const auto [character, length] = firstCharacter(text);
    text.remove_prefix(length);
    if (auto code = codeTyping(character)) codes.push_back(*code);
  }
  return codes;
}

QLineEdit* editableField(QWidget* root) {
  if (root == nullptr) return nullptr;
  if (auto* line = qobject_cast<QLineEdit*>(root);
      line != nullptr && line->isEnabled() && !line->isReadOnly() &&
      line->placeholderText() != QStringLiteral("Search settings") && !insideBoxOrRecorder(line))
    return line;
  for (QObject* child : root->children())
    if (auto* widget = qobject_cast<QWidget*>(child))
      if (QLineEdit* found = editableField(widget)) return found;
  return nullptr;
}

}  // namespace tovrel::selftest
