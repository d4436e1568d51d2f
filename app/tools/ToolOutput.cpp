#include "app/tools/ToolOutput.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "core/FileSystem.hpp"

namespace tovrel::tools {

namespace {

constexpr mode_t newFileMode = 0666;

std::string failure(const std::string& path, const std::string& reason) {
  return "Tovrel could not write " + path + ": " + reason + ".";
}

// What a file made with open() would get: the usual mode less the process's mask.
mode_t usualMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return newFileMode & ~mask;
}

// The permission bits of the file at `path`, when one is there.
std::optional<mode_t> permissionsOf(const std::filesystem::path& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  return info.st_mode & 07777;
}

}  // namespace

std::optional<std::string> replaceAtomically(const std::string& path, std::string_view bytes) {
  try {
    FileSystem& files = FileSystem::real();
    const std::filesystem::path target = followLinks(files, path);
    const std::optional<mode_t> kept = permissionsOf(target);
    writeFileAtomically(files, target, bytes);
    // The replacement is made private; a file that cannot be given its mode back still holds the
    // output, which is what the run is for.
    [[maybe_unused]] const int changed = ::chmod(target.c_str(), kept.value_or(usualMode()));
  } catch (const std::filesystem::filesystem_error& error) {
    return error.code().message();
  }
  return std::nullopt;
}

std::optional<std::string> writeAtomically(const std::string& path, std::string_view bytes) {
  if (auto reason = replaceAtomically(path, bytes)) return failure(path, *reason);
  return std::nullopt;
}

std::optional<std::string> writeDirectly(const std::string& path, std::string_view bytes) {
  const int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, newFileMode);
  if (file < 0) return failure(path, std::strerror(errno));
  while (!bytes.empty()) {
    const ssize_t count = ::write(file, bytes.data(), bytes.size());
    if (count < 0) {
      if (errno == EINTR) continue;
      const int error = errno;
      ::close(file);
      return failure(path, std::strerror(error));
    }
    bytes.remove_prefix(static_cast<std::size_t>(count));
  }
  // A failed write-back shows only here.
  if (::close(file) != 0) return failure(path, std::strerror(errno));
  return std::nullopt;
}

std::optional<std::string> writeDirectly(const std::string& path,
                                         const std::vector<std::uint8_t>& bytes) {
  return writeDirectly(path,
                       std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

}  // namespace tovrel::tools
