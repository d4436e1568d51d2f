#pragma once

// The few file operations the settings store is built from. The store composes its atomic writes
// and backups out of these steps, so tests can stop a save between any two of them.
//
// Failures throw std::filesystem::filesystem_error carrying the path and the system's error code.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tovrel {

// The permissions of a file written whole: exactly these, or with none a new file's usual ones
// (0666 less the process's umask, or what the folder's default ACL gives).
using FileMode = std::optional<std::filesystem::perms>;
// The settings store's files and the self-test's reports are nobody else's business.
inline constexpr FileMode ownerOnly =
    std::filesystem::perms::owner_read | std::filesystem::perms::owner_write;

class FileSystem {
 public:
  using Path = std::filesystem::path;

  virtual ~FileSystem() = default;

  // Anything at the path, a folder included; a symbolic link counts even when it leads nowhere.
  virtual bool exists(const Path& path) const = 0;
  // What the symbolic link at `path` holds, as written in it; nothing when `path` is no link.
  virtual std::optional<Path> linkTarget(const Path& path) const = 0;
  // The whole content of a regular file; anything else (a folder, a named pipe, a device) or a
  // file over `maxReadSize` is an error, given at once.
  virtual std::string read(const Path& path) const = 0;
  virtual void createDirectories(const Path& path) = 0;
  // Writes `bytes` to a new file with a unique name beginning with `prefix`, in `folder`, gives
  // it `mode`, and waits until it is on the disk. On failure nothing is left of it.
  virtual Path writeTemporary(const Path& folder, std::string_view prefix, std::string_view bytes,
                              const FileMode& mode) = 0;
  // Atomically replaces whatever file is at `to`.
  virtual void rename(const Path& from, const Path& to) = 0;
  virtual void remove(const Path& path) = 0;
  // Waits until the folder's entries (a rename into it) are on the disk.
  virtual void syncFolder(const Path& folder) = 0;

  // The machine's own file system.
  static FileSystem& real();

  // Settings files are a few kilobytes; anything this large is not one.
  static constexpr std::size_t maxReadSize = 16 * 1024 * 1024;
  // Longer chains of symbolic links are taken for loops, as the kernel does.
  static constexpr int maxLinks = 40;
};

// An open file descriptor, closed on every way out.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor();
  int get() const { return fd_; }
  // Closes it now: close() can report a failed write-back, so a writer must see its result.
  int release();

 private:
  int fd_;
};

// The folder a file lies in; "." for a bare name.
FileSystem::Path folderOf(const FileSystem::Path& file);

// The path a chain of symbolic links starting at `path` ends in (a relative link counts from the
// link's own folder); `path` itself when it is no link. Nothing need exist at the end. The walk
// ends early at the first path of the chain that `stopAt` accepts. A chain longer than `maxLinks`
// throws, naming `path`.
FileSystem::Path followLinks(const FileSystem& fileSystem, const FileSystem::Path& path,
                             const std::function<bool(const FileSystem::Path&)>& stopAt = {});

// Writes `bytes` to a temporary file beside `target` and renames it over `target`, so a reader
// sees the old or the new content in full, never a mix. The new file has `mode` before it takes
// the name. On failure the temporary file is removed and the error thrown; `target` is then
// untouched. A link at `target` is replaced like a file: callers that keep links follow them
// first.
void writeFileAtomically(FileSystem& fileSystem, const FileSystem::Path& target,
                         std::string_view bytes, const FileMode& mode = ownerOnly);

// Copies `from` over `to` the same way, so a failed copy leaves the old `to` in place.
void copyFileAtomically(FileSystem& fileSystem, const FileSystem::Path& from,
                        const FileSystem::Path& to);

}  // namespace tovrel
