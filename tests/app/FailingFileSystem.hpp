#pragma once

// File-system faults for the settings tests: the machine's file system, whose writes fail on
// request with a recorded reason, as a full disk or a read-only folder makes them fail.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "core/FileSystem.hpp"

namespace tovrel::testapp {

class FailingFileSystem final : public FileSystem {
 public:
  bool exists(const Path& p) const override { return real().exists(p); }
  std::optional<Path> linkTarget(const Path& p) const override { return real().linkTarget(p); }
  std::string read(const Path& p) const override { return real().read(p); }
  void createDirectories(const Path& p) override { real().createDirectories(p); }
  Path writeTemporary(const Path& f, std::string_view x, std::string_view bytes,
                      const FileMode& mode) override {
    if (!failing) return real().writeTemporary(f, x, bytes, mode);
    std::filesystem::filesystem_error error("cannot write", f, std::make_error_code(cause));
    reason = error.what();
    throw error;
  }
  void rename(const Path& a, const Path& b) override { real().rename(a, b); }
  void remove(const Path& p) override { real().remove(p); }
  void syncFolder(const Path& f) override { real().syncFolder(f); }

  bool failing = false;
  std::errc cause = std::errc::io_error;
  std::string reason;
};

}  // namespace tovrel::testapp
