#include "app/tools/ToolOutput.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <mutex>
#include <vector>

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

// What "/dev/stdout", "/dev/fd/3" or "/proc/self/fd/3" names: a descriptor the process already
// holds. A shell's ">> run.log" opens it in append mode; opening the name again, or replacing the
// file it leads to, would write over what the log held.
std::optional<int> heldDescriptor(const std::filesystem::path& path) {
  std::error_code error;
  const std::filesystem::path name = std::filesystem::absolute(path, error).lexically_normal();
  if (error) return std::nullopt;
  if (name == "/dev/stdin") return 0;
  if (name == "/dev/stdout") return 1;
  if (name == "/dev/stderr") return 2;
  const std::filesystem::path folder = name.parent_path();
  if (folder != "/dev/fd" && folder != "/proc/self/fd" && folder != "/proc/thread-self/fd" &&
      folder != "/proc/" + std::to_string(::getpid()) + "/fd")
    return std::nullopt;
  const std::string number = name.filename().string();
  int descriptor = 0;
  const auto [end, problem] =
      std::from_chars(number.data(), number.data() + number.size(), descriptor);
  if (number.empty() || problem != std::errc() || end != number.data() + number.size() ||
      descriptor < 0)
    return std::nullopt;
  return descriptor;
}

// The descriptors the caller handed over, each with the file it led to then. Whatever else the
// program holds it opened itself (its display's connection, its bus, the pipe that wakes its loop),
// and a descriptor the caller closed can be one of those by now under the same number.
class HandedDescriptors {
 public:
  void take() {
    std::vector<Handed> found;
    const auto note = [&found](int descriptor) {
      struct stat info {};
      if (::fstat(descriptor, &info) == 0) found.push_back({descriptor, info.st_dev, info.st_ino});
    };
    if (DIR* folder = ::opendir("/proc/self/fd")) {
      const int own = ::dirfd(folder);
      while (const dirent* entry = ::readdir(folder)) {
        char* end = nullptr;
        const long number = std::strtol(entry->d_name, &end, 10);
        if (end != entry->d_name && *end == '\0' && number != own && number >= 0 &&
            number <= std::numeric_limits<int>::max())
          note(static_cast<int>(number));
      }
      ::closedir(folder);
    } else {
      // Without /proc only the standard three are looked for.
      for (int descriptor = 0; descriptor <= 2; ++descriptor)
        note(descriptor);
    }
    const std::lock_guard lock(mutex_);
    handed_ = std::move(found);
  }

  // Why the program must not write into `descriptor`, or nothing when the caller handed it over.
  std::optional<std::string> refusal(int descriptor) const {
    const std::string number = std::to_string(descriptor);
    const std::lock_guard lock(mutex_);
    const auto found = std::find_if(handed_.begin(), handed_.end(),
                                    [&](const Handed& h) { return h.descriptor == descriptor; });
    if (found == handed_.end())
      return "descriptor " + number +
             " was not open when Tovrel started, so whoever started it did not hand it over";
    struct stat info {};
    // Closed since: the write says so.
    if (::fstat(descriptor, &info) != 0) return std::nullopt;
    if (info.st_dev != found->device || info.st_ino != found->inode)
      return "descriptor " + number +
             " no longer leads where it led when Tovrel started: it was closed and its number "
             "taken again";
    return std::nullopt;
  }

 private:
  struct Handed {
    int descriptor;
    dev_t device;
    ino_t inode;
  };
  mutable std::mutex mutex_;
  std::vector<Handed> handed_;
};

HandedDescriptors& handed() {
  static HandedDescriptors descriptors;
  return descriptors;
}

// As the program loads, before it opens anything of its own.
[[maybe_unused]] const bool handedAtLoad = (handed().take(), true);

enum class Target { file, descriptor, stream, refused };

// What is at `path`: a descriptor held already, named by the path or by a link on the way, or
// else what the kernel finds with links followed ("/dev/stdout" of another process leads through
// /proc to a pipe whose link text names no path, so only the kernel can tell what it is).
Target targetAt(const std::string& path, int& descriptor, std::string& refusal) {
  std::optional<int> held;
  try {
    followLinks(FileSystem::real(), path, [&held](const std::filesystem::path& hop) {
      held = heldDescriptor(hop);
      return held.has_value();
    });
  } catch (const std::filesystem::filesystem_error&) {
    // A loop of links: the write says so.
  }
  if (held) {
    if (auto reason = handed().refusal(*held)) {
      refusal = std::move(*reason);
      return Target::refused;
    }
    descriptor = *held;
    return Target::descriptor;
  }
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

// Straight into a descriptor held already, at its own offset or its end, as a pipe is written.
std::optional<std::string> writeHeld(int descriptor, std::string_view bytes) {
  // What the process's own streams hold back comes first.
  std::fflush(nullptr);
  return writeAll(descriptor, bytes);
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

// A reader sees the old content or the new in full. The file a link leads to is replaced, never
// the link, and the replacement keeps the old file's permissions.
std::optional<std::string> replaceFile(const std::string& path, std::string_view bytes) {
  try {
    const std::filesystem::path target = followLinks(FileSystem::real(), path);
    struct stat old {};
    FileMode mode;
    if (::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode))
      mode = std::filesystem::perms(old.st_mode & 07777);
    writeFileAtomically(FileSystem::real(), target, bytes, mode);
    return std::nullopt;
  } catch (const std::filesystem::filesystem_error& error) {
    return error.code().message();
  }
}

}  // namespace

void takeHandedDescriptors() {
  handed().take();
}

std::optional<std::string> replaceAtomically(const std::string& path, std::string_view bytes) {
  int descriptor = -1;
  std::string refusal;
  switch (targetAt(path, descriptor, refusal)) {
    case Target::refused:
      return refusal;
    case Target::descriptor:
      return writeHeld(descriptor, bytes);
    case Target::stream:
      return writeStream(path, bytes, 0);
    case Target::file:
      break;
  }
  return replaceFile(path, bytes);
}

std::optional<std::string> writeAtomically(const std::string& path, std::string_view bytes) {
  if (auto reason = replaceAtomically(path, bytes)) return failure(path, *reason);
  return std::nullopt;
}

std::optional<std::string> writeDirectly(const std::string& path, std::string_view bytes) {
  int descriptor = -1;
  std::string refusal;
  std::optional<std::string> reason;
  switch (targetAt(path, descriptor, refusal)) {
    case Target::refused:
      reason = refusal;
      break;
    case Target::descriptor:
      reason = writeHeld(descriptor, bytes);
      break;
    case Target::stream:
    case Target::file:
      reason = writeStream(path, bytes, O_CREAT | O_TRUNC);
      break;
  }
  if (reason) return failure(path, *reason);
  return std::nullopt;
}

std::optional<std::string> writeDirectly(const std::string& path,
                                         const std::vector<std::uint8_t>& bytes) {
  return writeDirectly(path,
                       std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

}  // namespace tovrel::tools
