#pragma once
// The fixture application as a child process of a desktop test: started with a state file in a
// private folder, ready once that file lists its frames, and read back through the same file.

#include <sys/types.h>

#include <QJsonObject>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "DesktopHarness.hpp"

namespace tovrel::desktoptest {

class FixtureApp {
 public:
  struct Options {
    bool canvas = false;
    std::string stateName = "fixture-state.json";
    // The fixture program to start; empty for the one built beside these tests.
    std::string program;
  };

  // Starts it and waits (up to 10 s) until its state file lists frames; nullptr with `error` set
  // on failure.
  static std::unique_ptr<FixtureApp> start(const Options& options, std::string* error);
  ~FixtureApp();
  // Asks it to quit (SIGTERM), killing it after 3 s, and returns its wait status; -1 when it was
  // not running.
  int stop();
  FixtureApp(const FixtureApp&) = delete;
  FixtureApp& operator=(const FixtureApp&) = delete;

  pid_t pid() const { return pid_; }
  const std::string& statePath() const { return statePath_; }

  // The state as the file holds it now; empty when it is missing or unreadable.
  QJsonObject state() const;
  std::optional<Rect> frame(const std::string& name) const;
  long long number(const std::string& member) const;
  bool waitFor(const std::function<bool(const QJsonObject&)>& done,
               std::chrono::milliseconds timeout = std::chrono::milliseconds(3000)) const;

  // Sends one of the fixture's session-bus signals: "move", "remove" or "restore".
  static bool signal(const std::string& member);

 private:
  FixtureApp() = default;

  std::string dir_;
  std::string statePath_;
  pid_t pid_ = -1;
};

}  // namespace tovrel::desktoptest
