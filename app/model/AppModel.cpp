#include "app/model/AppModel.hpp"

#include <exception>
#include <utility>

#include "core/ConfigValidator.hpp"
#include "core/PlatformTexts.hpp"

namespace tovrel {

namespace {

constexpr std::string_view unreadableNote =
    "Saved settings could not be read, so defaults are in use. The file was not changed. ";
constexpr std::string_view unwrittenNote = "Settings could not be written: ";
constexpr std::string_view unsavedProblem = "Settings could not be saved: ";

std::string joined(std::string_view head, const char* tail) {
  std::string text(head);
  text += tail;
  return text;
}

// Problem sentences on one line.
std::string sentences(const std::vector<std::string>& problems) {
  std::string text;
  for (const std::string& problem : problems) {
    if (!text.empty()) text += ' ';
    text += problem;
  }
  return text;
}

}  // namespace

template <class T>
void AppModel::set(T& field, T value, Property property) {
  if (field == value) return;
  field = std::move(value);
  notify(property);
}

AppModel::AppModel(std::optional<ConfigStore> store, platform::Platform& platform,
                   platform::LoginItemServices& loginItems)
    : store_(std::move(store)), platform_(platform), loginItems_(loginItems) {
  if (!store_) {
    storageNote_ = std::string(platformText::noSettingsFolder);
  } else {
    try {
      config_ = store_->load();
    } catch (const std::exception& error) {
      // ConfigError's what() is its sentence; a file-system error's names the path and the cause.
      // The store stays, so the next commit replaces the file (ConfigStore keeps a copy of it).
      storageNote_ = joined(unreadableNote, error.what());
    }
  }
  navigation_ = std::make_unique<NavigationService>(platform, config_);
}

AppModel::~AppModel() = default;

std::vector<std::string> AppModel::commit(const TovrelConfig& config, const std::string& change) {
  if (config == config_) return {};
  if (std::vector<std::string> problems = ConfigValidator::problems(config); !problems.empty()) {
    report(sentences(problems), true);
    return problems;
  }

  if (store_) {
    try {
      store_->save(config);
    } catch (const std::exception& error) {
      set(storageNote_, std::optional<std::string>(joined(unwrittenNote, error.what())),
          Property::storageNote);
      std::string problem = joined(unsavedProblem, error.what());
      report(problem, true);
      return {std::move(problem)};
    }
  }

  undoStack_.push_back(config_);
  if (undoStack_.size() > undoLimit) undoStack_.erase(undoStack_.begin());
  notify(Property::undoStack);
  set(config_, config, Property::config);
  report(change, false);
  navigation_->apply(config_);
  return {};
}

void AppModel::report(std::string text, bool failed) {
  // Told even when the text is the one before: the banner shows every commit for its full time.
  lastChange_ = std::move(text);
  lastChangeFailed_ = failed;
  ++changeCount_;
  notify(Property::lastChange);
}

void AppModel::undo() {
  if (undoStack_.empty()) return;
  TovrelConfig previous = std::move(undoStack_.back());
  undoStack_.pop_back();
  notify(Property::undoStack);

  if (store_) {
    try {
      store_->save(previous);
    } catch (const std::exception& error) {
      // The undo still holds in memory; the note tells the user the file did not follow, or the
      // next launch would bring back what they undid without a word.
      set(storageNote_, std::optional<std::string>(joined(unwrittenNote, error.what())),
          Property::storageNote);
    }
  }
  set(config_, std::move(previous), Property::config);
  dismissChange();
  navigation_->apply(config_);
}

void AppModel::dismissChange() {
  lastChangeFailed_ = false;
  set(lastChange_, std::optional<std::string>(), Property::lastChange);
}

std::string AppModel::exportData() const {
  return ConfigStore::encode(config_);
}

std::variant<TovrelConfig, ConfigError> AppModel::previewImport(std::string_view data) const {
  try {
    return ConfigStore::decode(data);
  } catch (const ConfigError& error) {
    return error;
  } catch (const std::exception& error) {
    return ConfigError::unreadable(error.what());
  }
}

std::optional<std::string> AppModel::setLaunchAtLogin(bool on) {
  std::optional<std::string> reason;
  try {
    reason = loginItems_.setEnabled(on);
  } catch (const std::exception& error) {
    reason = error.what();
  }
  if (!reason) return std::nullopt;
  return std::string(platformText::loginItemFailure) + *reason;
}

std::uint64_t AppModel::observe(std::function<void(Property)> changed) {
  const std::uint64_t token = nextToken_++;
  observers_.emplace(token, std::move(changed));
  return token;
}

void AppModel::removeObserver(std::uint64_t token) {
  observers_.erase(token);
}

void AppModel::setPage(SettingsPage page) {
  set(page_, page, Property::page);
}

void AppModel::setAssumesAccessForSnapshots(bool assumes) {
  set(assumesAccessForSnapshots_, assumes, Property::assumesAccessForSnapshots);
}

void AppModel::setHighlightedSetting(std::optional<std::string> identifier) {
  set(highlightedSetting_, std::move(identifier), Property::highlightedSetting);
}

void AppModel::notify(Property property) {
  // An observer may add or remove observers (a window closing stops watching); each one still
  // registered when its turn comes is called, those added meanwhile wait for the next change.
  std::vector<std::uint64_t> tokens;
  tokens.reserve(observers_.size());
  for (const auto& [token, changed] : observers_)
    tokens.push_back(token);
  for (std::uint64_t token : tokens) {
    auto found = observers_.find(token);
    if (found == observers_.end()) continue;
    // A copy: the observer may remove itself while it runs.
    std::function<void(Property)> changed = found->second;
    changed(property);
  }
}

}  // namespace tovrel
