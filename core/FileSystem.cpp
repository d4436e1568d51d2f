#include "core/FileSystem.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <random>
#include <system_error>
#include <vector>

namespace tovrel {

namespace {

[[noreturn]] void fail(const char* what, const FileSystem::Path& path, int error = errno) {
  throw std::filesystem::filesystem_error(what, path,
                                          std::error_code(error, std::generic_category()));
}

// A new file in `folder` under a name beginning with `prefix` that nobody uses, open for writing.
// mkostemp would fix its permissions at 0600, where a file meant to get the usual ones must be
// created with them for the umask and a default ACL to apply.
int createUnique(const FileSystem::Path& folder, std::string_view prefix, mode_t mode,
                 FileSystem::Path& made) {
  static constexpr char letters[] =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  thread_local std::mt19937 random{std::random_device{}()};
  std::uniform_int_distribution<std::size_t> pick(0, sizeof letters - 2);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = std::string(prefix) + ".";
    for (int i = 0; i < 6; ++i)
      name += letters[pick(random)];
    made = folder / name;
    const int fd = ::open(made.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0) return fd;
    if (errno != EEXIST) break;
  }
  fail("cannot create a temporary file in", folder);
}

class RealFileSystem final : public FileSystem {
 public:
  bool exists(const Path& path) const override {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
  }

  std::optional<Path> linkTarget(const Path& path) const override {
    std::vector<char> buffer(256);
    for (;;) {
      const ssize_t count = ::readlink(path.c_str(), buffer.data(), buffer.size());
      if (count < 0) {
        // Not a link, or nothing there: both mean the path is the file itself.
        if (errno == EINVAL || errno == ENOENT || errno == ENOTDIR) return std::nullopt;
        fail("cannot read the link", path);
      }
      // A full buffer may have cut the target short.
      if (static_cast<std::size_t>(count) < buffer.size())
        return Path(std::string(buffer.data(), static_cast<std::size_t>(count)));
      if (buffer.size() >= 64 * 1024) fail("cannot read the link", path, ENAMETOOLONG);
      buffer.resize(buffer.size() * 4);
    }
  }

  std::string read(const Path& path) const override {
    // open/read rather than a stream: a stream opens a folder and reads nothing from it. Opened
    // without waiting, so a named pipe is refused below rather than waited on until something
    // writes to it.
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (fd.get() < 0) fail("cannot open", path);
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) fail("cannot inspect", path);
    if (S_ISDIR(info.st_mode)) fail("cannot read", path, EISDIR);
    if (!S_ISREG(info.st_mode)) fail("cannot read what is not a regular file", path, EINVAL);
    if (S_ISREG(info.st_mode) && static_cast<std::size_t>(info.st_size) > maxReadSize)
      fail("cannot read", path, EFBIG);

    std::string content;
    std::vector<char> buffer(64 * 1024);
    for (;;) {
      ssize_t count = ::read(fd.get(), buffer.data(), buffer.size());
      if (count < 0) {
        if (errno == EINTR) continue;
        fail("cannot read", path);
      }
      if (count == 0) break;
      content.append(buffer.data(), static_cast<std::size_t>(count));
      if (content.size() > maxReadSize) fail("cannot read", path, EFBIG);
    }
    return content;
  }

  void createDirectories(const Path& path) override {
    std::error_code error;
    std::filesystem::create_directories(path, error);
    if (error) throw std::filesystem::filesystem_error("cannot create folder", path, error);
  }

  Path writeTemporary(const Path& folder, std::string_view prefix, std::string_view bytes,
                      const FileMode& mode) override {
    Path temporary;
    // Only the owner's until its permissions are set, so nobody opens it before they apply.
    FileDescriptor fd(createUnique(folder, prefix, mode ? 0600 : 0666, temporary));
    try {
      // Set before the bytes go in: a read-only mode leaves the open descriptor writable.
      if (mode && ::fchmod(fd.get(), static_cast<mode_t>(*mode)) != 0)
        fail("cannot set the permissions of", temporary);
      for (std::string_view rest = bytes; !rest.empty();) {
        const ssize_t count = ::write(fd.get(), rest.data(), rest.size());
        if (count < 0) {
          if (errno == EINTR) continue;
          fail("cannot write", temporary);
        }
        rest.remove_prefix(static_cast<std::size_t>(count));
      }
      if (::fsync(fd.get()) != 0) fail("cannot flush", temporary);
      if (fd.release() != 0) fail("cannot write", temporary);
    } catch (...) {
      ::unlink(temporary.c_str());
      throw;
    }
    return temporary;
  }

  void rename(const Path& from, const Path& to) override {
    if (::rename(from.c_str(), to.c_str()) != 0) {
      int error = errno;
      throw std::filesystem::filesystem_error("cannot replace", from, to,
                                              std::error_code(error, std::generic_category()));
    }
  }

  void remove(const Path& path) override {
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) fail("cannot remove", path);
  }

  void syncFolder(const Path& folder) override {
    FileDescriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() < 0) fail("cannot open", folder);
    if (::fsync(fd.get()) != 0) fail("cannot flush", folder);
  }
};

}  // namespace

FileDescriptor::~FileDescriptor() {
  if (fd_ >= 0) ::close(fd_);
}

int FileDescriptor::release() {
  const int result = ::close(fd_);
  fd_ = -1;
  return result;
}

FileSystem::Path folderOf(const FileSystem::Path& file) {
  FileSystem::Path folder = file.parent_path();
  return folder.empty() ? FileSystem::Path(".") : folder;
}

FileSystem& FileSystem::real() {
  static RealFileSystem fileSystem;
  return fileSystem;
}

FileSystem::Path followLinks(const FileSystem& fileSystem, const FileSystem::Path& path,
                             const std::function<bool(const FileSystem::Path&)>& stopAt) {
  FileSystem::Path current = path;
  for (int hop = 0; hop <= FileSystem::maxLinks; ++hop) {
    if (stopAt && stopAt(current)) return current;
    std::optional<FileSystem::Path> target = fileSystem.linkTarget(current);
    if (!target) return current;
    // Not normalised: ".." after a linked folder means that folder's parent, as the kernel reads
    // it.
    current = target->is_absolute() ? *target : current.parent_path() / *target;
  }
  fail("too many symbolic links at", path, ELOOP);
}

void writeFileAtomically(FileSystem& fileSystem, const FileSystem::Path& target,
                         std::string_view bytes, const FileMode& mode) {
  const FileSystem::Path folder = folderOf(target);
  const FileSystem::Path temporary =
      fileSystem.writeTemporary(folder, "." + target.filename().string(), bytes, mode);
  try {
    fileSystem.rename(temporary, target);
  } catch (...) {
    try {
      fileSystem.remove(temporary);
    } catch (...) {
      // The original failure is the one to report.
    }
    throw;
  }
  // The new file is in place; a failed folder flush only weakens durability across a power loss.
  try {
    fileSystem.syncFolder(folder);
  } catch (const std::filesystem::filesystem_error&) {
  }
}

void copyFileAtomically(FileSystem& fileSystem, const FileSystem::Path& from,
                        const FileSystem::Path& to) {
  writeFileAtomically(fileSystem, to, fileSystem.read(from));
}

}  // namespace tovrel
