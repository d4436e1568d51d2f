#pragma once

// The one settings file: read with migration of the older version, refused when the configuration
// has problems, written atomically after keeping a copy of the previous file.

#include <cstdint>
#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/FileSystem.hpp"
#include "core/TovrelConfig.hpp"

namespace tovrel {

// A settings document Tovrel will not use, described in one sentence for the user.
class ConfigError : public std::exception {
 public:
  enum class Kind { unsupportedSchema, conflicts, unreadable };

  static ConfigError unsupportedSchema(std::int64_t version);
  static ConfigError conflicts(std::vector<std::string> problems);
  static ConfigError unreadable(std::string detail);

  Kind kind() const { return kind_; }
  // The payload of each kind; the others are empty.
  std::int64_t version() const { return version_; }
  const std::vector<std::string>& problems() const { return problems_; }
  const std::string& detail() const { return detail_; }

  // The sentence callers show unchanged.
  const std::string& description() const { return description_; }
  const char* what() const noexcept override { return description_.c_str(); }

  bool operator==(const ConfigError& other) const {
    return kind_ == other.kind_ && version_ == other.version_ && problems_ == other.problems_ &&
           detail_ == other.detail_;
  }

 private:
  ConfigError(Kind kind, std::int64_t version, std::vector<std::string> problems,
              std::string detail);

  Kind kind_;
  std::int64_t version_;
  std::vector<std::string> problems_;
  std::string detail_;
  std::string description_;
};

class ConfigStore {
 public:
  using Path = std::filesystem::path;

  // The longest part of a JSON error quoted in an unreadable-file sentence, in characters.
  static constexpr std::size_t detailLength = 160;

  explicit ConfigStore(Path fileURL, FileSystem& fileSystem = FileSystem::real());

  // "config.json" in `$XDG_CONFIG_HOME/Tovrel`, else `$HOME/.config/Tovrel`; the folder is
  // created. Throws std::filesystem::filesystem_error when there is no home or no folder.
  static ConfigStore defaultStore(FileSystem& fileSystem = FileSystem::real());
  // The settings folder for these environment values (relative paths are ignored, as XDG asks);
  // nothing when neither gives one.
  static std::optional<Path> defaultFolder(const char* xdgConfigHome, const char* home);

  const Path& fileURL() const { return fileURL_; }
  // The file loads and saves work on: the end of the chain of symbolic links at fileURL(), so a
  // settings file kept elsewhere through a link stays linked. Throws the file system's error for
  // a chain that loops.
  Path targetURL() const;
  // "config.previous.json" beside the file: the file as it was before the last save.
  Path backupURL() const;
  // "config.unreadable.json" beside the file: a file Tovrel could not read, kept before the
  // first save replaced it, so a hand-edited or newer file is never lost.
  Path unreadableCopyURL() const;

  // The defaults when there is no file, or a link to nothing (nothing is written). A file that
  // cannot be read throws the file system's error; a document Tovrel will not use throws
  // ConfigError.
  TovrelConfig load() const;

  // A migrated and validated configuration from the bytes of a settings document.
  static TovrelConfig decode(std::string_view bytes);
  // Pretty-printed JSON with sorted members. Throws json::EncodingError for a non-finite number.
  static std::string encode(const TovrelConfig& config);

  // Validates, keeps the backup and writes atomically over targetURL(), creating it when a link
  // leads nowhere. Throws ConfigError::conflicts (nothing touched), json::EncodingError (nothing
  // touched) or the file system's error (the settings file unchanged); a link into a missing
  // folder is such an error, naming the link and where it leads.
  void save(const TovrelConfig& config) const;

 private:
  void keepUnreadableFile(const Path& target) const;

  Path fileURL_;
  FileSystem* fileSystem_;
};

}  // namespace tovrel
