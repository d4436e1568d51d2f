#include "FixtureHarness.hpp"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QFile>
#include <QJsonDocument>

#include <spawn.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>
#include <vector>

extern char** environ;

namespace tovrel::desktoptest {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

}  // namespace

std::unique_ptr<FixtureApp> FixtureApp::start(const Options& options, std::string* error) {
  const auto fail = [error](std::string message) {
    if (error != nullptr) *error = std::move(message);
    return nullptr;
  };
#ifdef TOVREL_FIXTURE_PATH
  const std::string program = options.program.empty() ? TOVREL_FIXTURE_PATH : options.program;
#else
  const std::string program = options.program;
#endif
  if (program.empty()) return fail("the fixture application was not built");
  const char* tmp = std::getenv("TMPDIR");
  std::string dir =
      std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/tovrel-fixture.XXXXXX";
  if (mkdtemp(dir.data()) == nullptr) {
    return fail("cannot create a folder for the fixture: " + std::string(std::strerror(errno)));
  }
  std::unique_ptr<FixtureApp> app(new FixtureApp());
  app->dir_ = dir;
  app->statePath_ = dir + "/" + options.stateName;

  std::vector<std::string> args = {program, "--state", app->statePath_};
  if (options.canvas) args.emplace_back("--canvas");
  std::vector<char*> argv;
  for (auto& arg : args)
    argv.push_back(arg.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ);
  if (spawned != 0) return fail("cannot start " + args[0] + ": " + std::strerror(spawned));
  app->pid_ = pid;

  const bool ready = app->waitFor(
      [](const QJsonObject& state) { return !state.value("frames").toObject().isEmpty(); }, 10s);
  if (!ready) return fail("the fixture never listed its frames in " + app->statePath_);
  return app;
}

int FixtureApp::stop() {
  if (pid_ <= 0) return -1;
  const int status = stopChild(pid_);
  pid_ = -1;
  return status;
}

FixtureApp::~FixtureApp() {
  stop();
  std::error_code ignored;
  if (!dir_.empty()) std::filesystem::remove_all(dir_, ignored);
}

QJsonObject FixtureApp::state() const {
  QFile file(QString::fromStdString(statePath_));
  if (!file.open(QIODevice::ReadOnly)) return {};
  const QJsonDocument document = QJsonDocument::fromJson(file.readAll());
  return document.isObject() ? document.object() : QJsonObject();
}

std::optional<Rect> FixtureApp::frame(const std::string& name) const {
  const QJsonObject frames = state().value("frames").toObject();
  const QJsonValue value = frames.value(QString::fromStdString(name));
  if (!value.isObject()) return std::nullopt;
  const QJsonObject object = value.toObject();
  const auto whole = [&](const char* key) {
    return static_cast<int>(std::lround(object.value(key).toDouble()));
  };
  return Rect{whole("x"), whole("y"), whole("width"), whole("height")};
}

long long FixtureApp::number(const std::string& member) const {
  return static_cast<long long>(state().value(QString::fromStdString(member)).toDouble());
}

bool FixtureApp::waitFor(const std::function<bool(const QJsonObject&)>& done,
                         std::chrono::milliseconds timeout) const {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    if (done(state())) return true;
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(10ms);
  }
}

bool FixtureApp::signal(const std::string& member) {
  QDBusMessage message = QDBusMessage::createSignal("/local/tovrel/fixture", "local.tovrel.fixture",
                                                    QString::fromStdString(member));
  return QDBusConnection::sessionBus().send(message);
}

}  // namespace tovrel::desktoptest
