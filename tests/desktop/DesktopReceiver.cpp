// The receiver's side of the harness: its process, its log, and the test fixture.
#include "DesktopHarness.hpp"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <sstream>
#include <thread>

extern char** environ;

namespace tovrel::desktoptest {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kPollInterval = 5ms;

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string percentDecode(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const int high = text[i] == '%' && i + 2 < text.size() ? hexDigit(text[i + 1]) : -1;
    const int low = high >= 0 ? hexDigit(text[i + 2]) : -1;
    if (low >= 0) {
      out += static_cast<char>(high * 16 + low);
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

ReceiverEvent parseLine(const std::string& line) {
  ReceiverEvent event;
  event.line = line;
  std::istringstream words(line);
  words >> event.kind;
  std::string word;
  while (words >> word) {
    const auto equals = word.find('=');
    if (equals == std::string::npos) continue;
    event.fields[word.substr(0, equals)] = word.substr(equals + 1);
  }
  return event;
}

}  // namespace

// ----------------------------------------------------------------------------------------------
// Receiver events and log

long ReceiverEvent::number(const std::string& field, long fallback) const {
  const auto found = fields.find(field);
  if (found == fields.end()) return fallback;
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(found->second.c_str(), &end, 0);
  return errno == 0 && end != found->second.c_str() && *end == '\0' ? value : fallback;
}

std::string ReceiverEvent::text() const {
  const auto found = fields.find("text");
  return found == fields.end() ? std::string() : percentDecode(found->second);
}

std::ostream& operator<<(std::ostream& out, const ReceiverEvent& event) {
  return out << event.line;
}

EventPredicate keyPress(Keycode code) {
  return [code](const ReceiverEvent& e) {
    return e.is("key-press") && e.number("code") == static_cast<long>(code);
  };
}

EventPredicate keyRelease(Keycode code) {
  return [code](const ReceiverEvent& e) {
    return e.is("key-release") && e.number("code") == static_cast<long>(code);
  };
}

EventPredicate mousePress(int button) {
  return [button](const ReceiverEvent& e) {
    return e.is("mouse-press") && e.number("button") == button;
  };
}

EventPredicate mouseRelease(int button) {
  return [button](const ReceiverEvent& e) {
    return e.is("mouse-release") && e.number("button") == button;
  };
}

EventPredicate ofKind(std::string kind) {
  return [kind = std::move(kind)](const ReceiverEvent& e) { return e.kind == kind; };
}

void ReceiverLog::readNew() {
  std::ifstream file(path_, std::ios::binary);
  if (!file) return;
  file.seekg(static_cast<std::streamoff>(offset_));
  std::string chunk((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  offset_ += chunk.size();
  partial_ += chunk;
  std::size_t start = 0;
  for (std::size_t end; (end = partial_.find('\n', start)) != std::string::npos; start = end + 1) {
    events_.push_back(parseLine(partial_.substr(start, end - start)));
  }
  partial_.erase(0, start);
}

const std::vector<ReceiverEvent>& ReceiverLog::events() {
  readNew();
  return events_;
}

std::vector<ReceiverEvent> ReceiverLog::since(std::size_t mark) {
  readNew();
  if (mark >= events_.size()) return {};
  return {events_.begin() + static_cast<std::ptrdiff_t>(mark), events_.end()};
}

std::optional<ReceiverEvent> ReceiverLog::waitFor(const EventPredicate& predicate,
                                                  std::chrono::milliseconds timeout,
                                                  std::size_t from) {
  const auto deadline = Clock::now() + timeout;
  std::size_t checked = from;
  for (;;) {
    readNew();
    for (; checked < events_.size(); ++checked) {
      if (predicate(events_[checked])) return events_[checked];
    }
    if (Clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(kPollInterval);
  }
}

std::string ReceiverLog::typedText(std::size_t from) {
  std::string text;
  for (const auto& event : since(from)) {
    if (event.is("key-press")) text += event.text();
  }
  return text;
}

// ----------------------------------------------------------------------------------------------
// Receiver

std::unique_ptr<Receiver> Receiver::start(Desktop& desktop, const Options& options,
                                          std::string* error) {
  const auto fail = [error](std::string message) {
    if (error != nullptr) *error = std::move(message);
    return nullptr;
  };
  const char* tmp = std::getenv("TMPDIR");
  std::string dirTemplate =
      std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/tovrel-receiver.XXXXXX";
  if (mkdtemp(dirTemplate.data()) == nullptr) {
    return fail("cannot create a directory for the receiver's log: " +
                std::string(std::strerror(errno)));
  }
  const std::string logPath = dirTemplate + "/events.log";
  std::ofstream(logPath).close();
  std::unique_ptr<Receiver> receiver(new Receiver(desktop, dirTemplate, logPath));

  std::vector<std::string> args = {TOVREL_RECEIVER_PATH,
                                   "--log",
                                   logPath,
                                   "--title",
                                   options.title,
                                   "--position",
                                   std::to_string(options.x) + "," + std::to_string(options.y)};
  std::vector<char*> argv;
  for (auto& arg : args)
    argv.push_back(arg.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ);
  if (spawned != 0) {
    return fail("cannot start " + args[0] + ": " + std::strerror(spawned));
  }
  receiver->pid_ = pid;

  const auto window = desktop.waitForWindow(options.title, pid);
  if (!window) {
    return fail("the receiver's window \"" + options.title + "\" did not appear");
  }
  receiver->window_ = *window;
  // The window manager gives a new window the focus a moment after it appears. Waited for, so
  // that it cannot overtake a focus the test asks for next; a manager that leaves the new window
  // unfocused only costs the wait.
  if (desktop.hasWindowManager()) {
    receiver->log_.waitFor(ofKind("focus-in"), 5s);
  }
  return receiver;
}

int stopChild(pid_t pid) {
  kill(pid, SIGTERM);
  const auto deadline = Clock::now() + 3s;
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (Clock::now() >= deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      break;
    }
    std::this_thread::sleep_for(kPollInterval);
  }
  return status;
}

pid_t spawnSelf(const std::vector<std::string>& environment) {
  std::vector<std::string> entries = environment;
  auto overridden = [&](std::string_view entry) {
    const auto name = entry.substr(0, entry.find('=') + 1);
    return std::any_of(environment.begin(), environment.end(),
                       [&](const std::string& set) { return set.starts_with(name); });
  };
  for (char** entry = environ; *entry != nullptr; ++entry)
    if (!overridden(*entry)) entries.emplace_back(*entry);
  std::vector<char*> envp;
  for (auto& entry : entries)
    envp.push_back(entry.data());
  envp.push_back(nullptr);
  char exe[] = "/proc/self/exe";
  char* argv[] = {exe, nullptr};
  pid_t pid = -1;
  return posix_spawn(&pid, exe, nullptr, nullptr, argv, envp.data()) == 0 ? pid : -1;
}

Receiver::~Receiver() {
  if (pid_ > 0) stopChild(pid_);
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
}

bool Receiver::activate(std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  if (!desktop_.focus(window_, timeout)) return false;
  // Qt reports focus-out only some time after the server moved the focus away, and not at all
  // when the focus came back meanwhile: what counts is the application's latest word.
  const auto focusedNow = [this] {
    const auto& events = log_.events();
    const auto last = std::find_if(events.rbegin(), events.rend(), [](const ReceiverEvent& e) {
      return e.is("focus-in") || e.is("focus-out");
    });
    return last != events.rend() && last->is("focus-in");
  };
  while (!focusedNow()) {
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(kPollInterval);
  }
  return true;
}

// ----------------------------------------------------------------------------------------------
// Fixture

void DesktopTest::SetUp() {
  const char* display = std::getenv("DISPLAY");
  if (display == nullptr || *display == '\0') {
    GTEST_SKIP() << "DISPLAY is not set: desktop tests run inside the private desktop, e.g. "
                    "scripts/desktop.sh run -- ctest --test-dir build/<preset> -L desktop";
  }
  desktop_ = Desktop::open();
  ASSERT_NE(desktop_, nullptr) << "cannot open display " << display;
  if (!desktop_->hasHardwareDevices()) {
    // Only Xvfb has these devices; posting input into someone's real desktop would be rude.
    desktop_.reset();
    GTEST_SKIP() << "display " << display << " is not an Xvfb server: desktop tests post input "
                 << "and run only inside scripts/desktop.sh";
  }
}

void DesktopTest::TearDown() {
  if (desktop_ == nullptr) return;
  const auto keys = desktop_->keysDown();
  const auto buttons = desktop_->buttonsDown();
  if (!keys.empty() || !buttons.empty()) {
    std::ostringstream held;
    for (Keycode code : keys)
      held << " key " << code;
    for (int button : buttons)
      held << " button " << button;
    ADD_FAILURE() << "the test left input held:" << held.str();
    desktop_->releaseAll();
  }
  desktop_.reset();
}

std::unique_ptr<Receiver> DesktopTest::startReceiver(const Receiver::Options& options) {
  std::string error;
  auto receiver = Receiver::start(desktop(), options, &error);
  if (receiver == nullptr) ADD_FAILURE() << error;
  return receiver;
}

}  // namespace tovrel::desktoptest
