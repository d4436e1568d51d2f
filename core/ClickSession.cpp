#include "core/ClickSession.hpp"

#include <algorithm>

#include "core/LabelGenerator.hpp"
#include "core/Unicode.hpp"

namespace tovrel {

namespace {

constexpr double arrowScroll = 120;

bool beginsWith(const std::vector<std::size_t>& label, const std::vector<std::size_t>& prefix) {
  return prefix.size() <= label.size() && std::equal(prefix.begin(), prefix.end(), label.begin());
}

// The lower-cased text the event types, when it is exactly one character. Keys that type no text
// (Return, Escape, Delete, page and function keys) carry control characters; those count as no
// character, so they never land invisibly in the query and pass on when they type nothing.
std::optional<std::string> typedCharacter(const KeyEvent& event) {
  if (!event.character) return std::nullopt;
  auto first = unicode::firstScalar(*event.character);
  if (!first || unicode::isControlCharacter(*first)) return std::nullopt;
  std::string lower = unicode::lowercased(*event.character);
  if (unicode::characterCount(lower) != 1) return std::nullopt;
  return lower;
}

}  // namespace

ClickSession::ClickSession(std::vector<std::string> alphabet, bool requireReturn, bool searchFirst)
    : substate_(searchFirst ? Substate::search : Substate::labels),
      alphabet_(std::move(alphabet)),
      requireReturn_(requireReturn) {}

void ClickSession::setTargets(std::vector<HintTarget> targets, std::int64_t snapshot) {
  targets_ = std::move(targets);
  labels_ = LabelGenerator::labels(static_cast<std::int64_t>(targets_.size()), alphabet_);
  snapshot_ = snapshot;
  hasSnapshot_ = true;

  preparedNames_.clear();
  preparedNames_.reserve(targets_.size());
  for (const auto& target : targets_)
    preparedNames_.push_back(TargetSearch::prepare(target.name));

  // Label i is i written in base |alphabet| with a fixed number of letters.
  labelAlphabet_ = alphabet_;
  labelAlphabetComposed_.clear();
  for (const auto& letter : labelAlphabet_)
    labelAlphabetComposed_.push_back(unicode::nfc(letter));
  labelDigits_.clear();
  if (!labels_.empty()) {
    const std::size_t base = labelAlphabet_.size();
    std::size_t length = 1;
    for (std::size_t capacity = base; capacity < labels_.size(); capacity *= base)
      ++length;
    labelDigits_.reserve(labels_.size());
    for (std::size_t i = 0; i < labels_.size(); ++i) {
      std::vector<std::size_t> digits(length);
      std::size_t rest = i;
      for (std::size_t position = length; position-- > 0; rest /= base)
        digits[position] = rest % base;
      labelDigits_.push_back(std::move(digits));
    }
  }

  clearTypedDigits();
  selection_ = 0;
}

void ClickSession::clearTypedLabel() {
  clearTypedDigits();
  selection_ = 0;
}

void ClickSession::clearTypedDigits() {
  typedDigits_.clear();
  typedPrefix_.clear();
}

bool ClickSession::someLabelBeginsWith(const std::vector<std::size_t>& digits) const {
  return std::any_of(labelDigits_.begin(), labelDigits_.end(),
                     [&](const auto& label) { return beginsWith(label, digits); });
}

std::vector<std::size_t> ClickSession::visible() const {
  if (substate_ == Substate::search)
    return TargetSearch::rank(query_, std::span<const TargetSearch::PreparedName>(preparedNames_));
  std::vector<std::size_t> result;
  for (std::size_t i = 0; i < labelDigits_.size(); ++i) {
    if (beginsWith(labelDigits_[i], typedDigits_)) result.push_back(i);
  }
  return result;
}

std::optional<std::size_t> ClickSession::selectedTarget() const {
  auto shown = visible();
  if (selection_ < shown.size()) return shown[selection_];
  return std::nullopt;
}

ClickSession::Decision ClickSession::handle(const KeyEvent& event, const ControlMap& controls) {
  if (event.kind == KeyEvent::Kind::up) return Decision::consumed();
  if (!owns(event, controls)) return Decision::unhandled();

  auto found = controls.find(Gesture::key(event.code, event.modifiers));
  if (found != controls.end()) return perform(found->second);

  if (event.code >= Key::leftArrow && event.code <= Key::upArrow) {
    if (substate_ == Substate::labels) {
      switch (event.code) {
        case Key::leftArrow:
          return Decision::scroll(-arrowScroll, 0);
        case Key::rightArrow:
          return Decision::scroll(arrowScroll, 0);
        case Key::downArrow:
          return Decision::scroll(0, -arrowScroll);
        default:
          return Decision::scroll(0, arrowScroll);
      }
    }
    if (event.code == Key::downArrow) moveSelection(1);
    if (event.code == Key::upArrow) moveSelection(-1);
    return Decision::consumed();
  }

  if (auto character = typedCharacter(event)) {
    if (substate_ == Substate::labels) return typeLabelCharacter(*character);
    query_ += *character;
    selection_ = 0;
  }
  return Decision::consumed();
}

bool ClickSession::owns(const KeyEvent& event, const ControlMap& controls) {
  if (controls.contains(Gesture::key(event.code, event.modifiers))) return true;
  if (!event.modifiers.isDisjoint(shortcutModifiers)) return false;
  const bool arrow = event.code >= Key::leftArrow && event.code <= Key::upArrow;
  return arrow || typedCharacter(event) || event.typesCharacter;
}

ClickSession::Decision ClickSession::perform(ClickControl control) {
  switch (control) {
    case ClickControl::startSearch:
      if (substate_ == Substate::labels) {
        substate_ = Substate::search;
        clearTypedDigits();
        selection_ = 0;
      }
      return Decision::consumed();
    case ClickControl::nextTarget:
      moveSelection(1);
      return Decision::consumed();
    case ClickControl::previousTarget:
      moveSelection(-1);
      return Decision::consumed();
    case ClickControl::activateSelected: {
      auto shown = visible();
      if (selection_ < shown.size()) return Decision::activate(shown[selection_], pendingAction_);
      return Decision::consumed();
    }
    case ClickControl::backspace:
      if (substate_ == Substate::search) {
        if (query_.empty()) {
          substate_ = Substate::labels;
        } else {
          query_ = unicode::prefixCharacters(query_, unicode::characterCount(query_) - 1);
        }
      } else if (!typedDigits_.empty()) {
        typedPrefix_.resize(typedPrefix_.size() - labelAlphabet_[typedDigits_.back()].size());
        typedDigits_.pop_back();
      }
      selection_ = 0;
      return Decision::consumed();
    case ClickControl::cycleAction:
      pendingAction_ = next(pendingAction_);
      return Decision::consumed();
    case ClickControl::refresh:
      clearTypedDigits();
      return Decision::refresh();
  }
  return Decision::consumed();
}

void ClickSession::moveSelection(std::int64_t delta) {
  const auto count = static_cast<std::int64_t>(visible().size());
  if (count == 0) {
    selection_ = 0;
    return;
  }
  const auto position = static_cast<std::int64_t>(selection_);
  selection_ = static_cast<std::size_t>(((position + delta) % count + count) % count);
}

ClickSession::Decision ClickSession::typeLabelCharacter(const std::string& character) {
  const std::string composed = unicode::nfc(character);
  const bool inAlphabet = std::any_of(alphabet_.begin(), alphabet_.end(), [&](const auto& letter) {
    return unicode::nfc(letter) == composed;
  });
  if (!inAlphabet) return Decision::consumed();

  auto letter = std::find(labelAlphabetComposed_.begin(), labelAlphabetComposed_.end(), composed);
  if (letter == labelAlphabetComposed_.end()) return Decision::consumed();
  const auto digit = static_cast<std::size_t>(letter - labelAlphabetComposed_.begin());
  std::vector<std::size_t> candidate = typedDigits_;
  candidate.push_back(digit);
  if (!someLabelBeginsWith(candidate)) return Decision::consumed();

  typedDigits_ = std::move(candidate);
  typedPrefix_ += labelAlphabet_[digit];
  selection_ = 0;

  auto complete = std::find(labelDigits_.begin(), labelDigits_.end(), typedDigits_);
  if (complete == labelDigits_.end()) return Decision::consumed();
  const auto target = static_cast<std::size_t>(complete - labelDigits_.begin());
  if (!requireReturn_) return Decision::activate(target, pendingAction_);
  auto shown = visible();
  auto position = std::find(shown.begin(), shown.end(), target);
  selection_ = position == shown.end() ? 0 : static_cast<std::size_t>(position - shown.begin());
  return Decision::consumed();
}

std::ostream& operator<<(std::ostream& stream, const ClickSession::Decision& decision) {
  using Decision = ClickSession::Decision;
  if (auto activate = decision.as<Decision::Activate>())
    return stream << "activate(target: " << activate->target << ", " << rawValue(activate->action)
                  << ")";
  if (auto scroll = decision.as<Decision::Scroll>())
    return stream << "scroll(dx: " << scroll->dx << ", dy: " << scroll->dy << ")";
  if (decision.as<Decision::Unhandled>()) return stream << "unhandled";
  if (decision.as<Decision::Consumed>()) return stream << "consumed";
  return stream << "refresh";
}

}  // namespace tovrel
