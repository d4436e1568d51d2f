#include "app/tools/ToolOutput.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>

#include "core/FileSystem.hpp"

namespace tovrel::tools {

namespace {

// Before the process's mask; the kernel takes it off (or applies the folder's default ACL).
constexpr mode_t newFileMode = 0666;

std::string failure(const std::string& path, const std::string& reason) {
  return "Tovrel could not write " + path + ": " + reason + ".";
}

// While this lives a write into a pipe nobody reads fails with EPIPE in this thread instead of
// ending the process, so the run still reports why and exits with its status. Only this thread's
// mask changes: other threads keep their own handling of the signal.
class HeldBrokenPipe {
 public:
  HeldBrokenPipe() {
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    held_ = ::pthread_sigmask(SIG_BLOCK, &pipe, &previous_) == 0 &&
            sigismember(&previous_, SIGPIPE) == 0;
  }
  ~HeldBrokenPipe() {
    if (!held_) return;
    // The signal a failed write raised is pending now; taken here it is never delivered.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    sigset_t pending;
    if (::sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1) {
      const timespec now{};
      ::sigtimedwait(&pipe, nullptr, &now);
    }
    ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
  }
  HeldBrokenPipe(const HeldBrokenPipe&) = delete;
  HeldBrokenPipe& operator=(const HeldBrokenPipe&) = delete;

 private:
  sigset_t previous_{};
  bool held_ = false;
};

// The system's reason, or nothing when every byte went out.
std::optional<std::string> writeAll(int file, std::string_view bytes) {
  const HeldBrokenPipe guard;
  while (!bytes.empty()) {
    const ssize_t count = ::write(file, bytes.data(), bytes.size());
    if (count < 0) {
      if (errno == EINTR) continue;
      return std::strerror(errno);
    }
    bytes.remove_prefix(static_cast<std::size_t>(count));
  }
  return std::nullopt;
}

enum class Target { file, stream, refused };

// What is at `path`, links followed by the kernel: "/dev/stdout" leads through /proc to a pipe
// whose link text names no path, so only the kernel can tell what it is.
Target targetAt(const std::string& path, std::string& refusal) {
  struct stat info {};
  // Nothing there yet (or a reason the write will give): a new file.
  if (::stat(path.c_str(), &info) != 0 || S_ISREG(info.st_mode)) return Target::file;
  if (S_ISFIFO(info.st_mode) || S_ISCHR(info.st_mode)) return Target::stream;
  const char* kind = S_ISDIR(info.st_mode)    ? "a folder"
                     : S_ISSOCK(info.st_mode) ? "a socket"
                     : S_ISBLK(info.st_mode)  ? "a block device"
                                              : "of an unknown kind";
  refusal = std::string("it is ") + kind +
            "; only a file, a pipe, a terminal or another character device can take the output";
  return Target::refused;
}

// Pipes, terminals and devices: what goes in is read as it comes, and there is no file to
// replace, so the bytes go straight in.
std::optional<std::string> writeStream(const std::string& path, std::string_view bytes,
                                       int createFlags) {
  FileDescriptor file(
      ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | createFlags, newFileMode));
  if (file.get() < 0) return std::strerror(errno);
  if (auto reason = writeAll(file.get(), bytes)) return reason;
  if (file.release() != 0) return std::strerror(errno);
  return std::nullopt;
}

// A new file beside `target` under a name nobody uses, open for writing, or -1 with `error` set.
// Its mode is a new file's usual one, or only the owner's until it is given the old file's.
int createTemporary(const std::filesystem::path& target, bool ownerOnly,
                    std::filesystem::path& temporary, int& error) {
  static constexpr char letters[] =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  thread_local std::mt19937 random{std::random_device{}()};
  std::uniform_int_distribution<std::size_t> pick(0, sizeof letters - 2);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = "." + target.filename().string() + ".";
    for (int i = 0; i < 6; ++i)
      name += letters[pick(random)];
    temporary = folderOf(target) / name;
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                          ownerOnly ? mode_t{0600} : newFileMode);
    error = errno;
    if (fd >= 0 || error != EEXIST) return fd;
  }
  return -1;
}

// A reader sees the old content or the new in full: the bytes go to a file beside `target` that
// is renamed over it once complete. The replacement keeps the old file's permissions.
std::optional<std::string> replaceFile(const std::filesystem::path& target,
                                       std::string_view bytes) {
  struct stat old {};
  const bool kept = ::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode);
  std::filesystem::path temporary;
  int error = 0;
  FileDescriptor file(createTemporary(target, kept, temporary, error));
  if (file.get() < 0) return std::strerror(error);
  std::optional<std::string> reason;
  if (kept && ::fchmod(file.get(), old.st_mode & 07777) != 0) reason = std::strerror(errno);
  if (!reason) reason = writeAll(file.get(), bytes);
  if (!reason && ::fsync(file.get()) != 0) reason = std::strerror(errno);
  if (!reason && file.release() != 0) reason = std::strerror(errno);
  if (!reason && ::rename(temporary.c_str(), target.c_str()) != 0) reason = std::strerror(errno);
  if (reason) {
    ::unlink(temporary.c_str());
    return reason;
  }
  // The new file is in place; a folder that cannot be flushed only weakens it against a power
  // loss.
  FileDescriptor folder(::open(folderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.get() >= 0) ::fsync(folder.get());
  return std::nullopt;
}

}  // namespace

std::optional<std::string> replaceAtomically(const std::string& path, std::string_view bytes) {
  std::string refusal;
  switch (targetAt(path, refusal)) {
    case Target::refused:
      return refusal;
    case Target::stream:
      return writeStream(path, bytes, 0);
    case Target::file:
      break;
  }
  try {
    // The file a link leads to is replaced, never the link.
    return replaceFile(followLinks(FileSystem::real(), path), bytes);
  } catch (const std::filesystem::filesystem_error& error) {
    return error.code().message();
  }
}

std::optional<std::string> writeAtomically(const std::string& path, std::string_view bytes) {
  if (auto reason = replaceAtomically(path, bytes)) return failure(path, *reason);
  return std::nullopt;
}

std::optional<std::string> writeDirectly(const std::string& path, std::string_view bytes) {
  std::string refusal;
  if (targetAt(path, refusal) == Target::refused) return failure(path, refusal);
  if (auto reason = writeStream(path, bytes, O_CREAT | O_TRUNC)) return failure(path, *reason);
  return std::nullopt;
}

std::optional<std::string> writeDirectly(const std::string& path,
                                         const std::vector<std::uint8_t>& bytes) {
  return writeDirectly(path,
                       std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

}  // namespace tovrel::tools
