#include "core/ConfigStore.hpp"

#include <fmt/format.h>

#include "core/ConfigValidator.hpp"
#include "core/Json.hpp"
#include "core/Unicode.hpp"

namespace tovrel {

namespace {

std::string describe(ConfigError::Kind kind, std::int64_t version,
                     const std::vector<std::string>& problems, const std::string& detail) {
  switch (kind) {
    case ConfigError::Kind::unsupportedSchema:
      return fmt::format("This file uses settings version {}, which this Tovrel cannot read.",
                         version);
    case ConfigError::Kind::conflicts:
      return fmt::format("{}", fmt::join(problems, "\n"));
    case ConfigError::Kind::unreadable:
      return "The file is not a Tovrel settings file (" + detail + ").";
  }
  return {};
}

const Gesture helpGesture = Gesture::key(Key::slash, Modifiers::shift);

// Version 1 had no help overlay: give it its key unless the user already has one, or uses the key.
void migrateFromVersion1(TovrelConfig& config) {
  for (const CursorBinding& binding : config.cursorBindings) {
    if (binding.action == CursorAction::help || binding.gesture == helpGesture) return;
  }
  config.cursorBindings.push_back(CursorBinding{CursorAction::help, helpGesture});
}

}  // namespace

ConfigError::ConfigError(Kind kind, std::int64_t version, std::vector<std::string> problems,
                         std::string detail)
    : kind_(kind),
      version_(version),
      problems_(std::move(problems)),
      detail_(std::move(detail)),
      description_(describe(kind_, version_, problems_, detail_)) {}

ConfigError ConfigError::unsupportedSchema(std::int64_t version) {
  return ConfigError(Kind::unsupportedSchema, version, {}, {});
}

ConfigError ConfigError::conflicts(std::vector<std::string> problems) {
  return ConfigError(Kind::conflicts, 0, std::move(problems), {});
}

ConfigError ConfigError::unreadable(std::string detail) {
  return ConfigError(Kind::unreadable, 0, {}, std::move(detail));
}

ConfigStore::ConfigStore(Path fileURL, FileSystem& fileSystem)
    : fileURL_(std::move(fileURL)), fileSystem_(&fileSystem) {}

std::optional<ConfigStore::Path> ConfigStore::defaultFolder(const char* xdgConfigHome,
                                                            const char* home) {
  if (xdgConfigHome != nullptr && Path(xdgConfigHome).is_absolute())
    return Path(xdgConfigHome) / "Tovrel";
  if (home != nullptr && Path(home).is_absolute()) return Path(home) / ".config" / "Tovrel";
  return std::nullopt;
}

ConfigStore ConfigStore::defaultStore(FileSystem& fileSystem) {
  std::optional<Path> folder = defaultFolder(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"));
  if (!folder) {
    throw std::filesystem::filesystem_error(
        "neither XDG_CONFIG_HOME nor HOME names a folder for the settings",
        std::make_error_code(std::errc::no_such_file_or_directory));
  }
  fileSystem.createDirectories(*folder);
  return ConfigStore(*folder / "config.json", fileSystem);
}

ConfigStore::Path ConfigStore::backupURL() const {
  return fileURL_.parent_path() / "config.previous.json";
}

ConfigStore::Path ConfigStore::unreadableCopyURL() const {
  return fileURL_.parent_path() / "config.unreadable.json";
}

ConfigStore::Path ConfigStore::targetURL() const {
  return followLinks(*fileSystem_, fileURL_);
}

TovrelConfig ConfigStore::load() const {
  const Path target = targetURL();
  if (!fileSystem_->exists(target)) return TovrelConfig::defaults();
  return decode(fileSystem_->read(target));
}

TovrelConfig ConfigStore::decode(std::string_view bytes) {
  TovrelConfig config;
  try {
    json::Value document = json::parse(bytes);
    config = TovrelConfig::fromJson(json::Reader(document));
  } catch (const json::DecodingError& error) {
    throw ConfigError::unreadable(
        unicode::prefixCharacters(unicode::sanitizedUtf8(error.what()), detailLength));
  }

  if (config.schemaVersion != 1 && config.schemaVersion != 2)
    throw ConfigError::unsupportedSchema(config.schemaVersion);
  if (config.schemaVersion == 1) migrateFromVersion1(config);
  config.schemaVersion = TovrelConfig::currentSchemaVersion;

  if (std::vector<std::string> problems = ConfigValidator::problems(config); !problems.empty())
    throw ConfigError::conflicts(std::move(problems));
  return config;
}

std::string ConfigStore::encode(const TovrelConfig& config) {
  return json::writePretty(config.toJson());
}

void ConfigStore::keepUnreadableFile(const Path& target) const {
  if (fileSystem_->exists(unreadableCopyURL())) return;
  // A read failure stops the save: a file that cannot be checked is not replaced.
  const std::string current = fileSystem_->read(target);
  try {
    decode(current);
    return;
  } catch (const ConfigError&) {
  }
  writeFileAtomically(*fileSystem_, unreadableCopyURL(), current);
}

void ConfigStore::save(const TovrelConfig& config) const {
  if (std::vector<std::string> problems = ConfigValidator::problems(config); !problems.empty())
    throw ConfigError::conflicts(std::move(problems));
  const std::string bytes = encode(config);

  // The copies stay beside fileURL(), where the user looks; the new content goes where the link
  // leads, so the link itself is never replaced by a plain file.
  const Path target = targetURL();
  if (fileSystem_->exists(target)) {
    // Kept before anything is replaced; if it cannot be kept, nothing is saved.
    keepUnreadableFile(target);
    try {
      copyFileAtomically(*fileSystem_, target, backupURL());
    } catch (const std::filesystem::filesystem_error&) {
      // A missing backup must not stop the user's change.
    }
  } else if (target != fileURL_) {
    const Path folder = target.has_parent_path() ? target.parent_path() : Path(".");
    if (!fileSystem_->exists(folder)) {
      throw std::filesystem::filesystem_error(
          "the settings file is a link into a missing folder", fileURL_, target,
          std::make_error_code(std::errc::no_such_file_or_directory));
    }
  }
  writeFileAtomically(*fileSystem_, target, bytes);
}

}  // namespace tovrel
